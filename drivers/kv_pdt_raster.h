// Copyright the kvstore authors.
//
// The raster steps of a driver description import: memory areas,
// resolutions and the resolution/colour/memory combinations that a device
// offers, its dithering methods with their matrices, its raster abilities
// and orientation preferences, and the widths of its hardware line types.
// "R flag n" is group n of the import's resolution/colour/memory abilities,
// set to kv_pdt_present. Paths are relative to the load's root; "*" takes
// the index given.
//
// Lists. "Memory Area" holds one record per named line, like the media
// option lists (lines with an empty name add no record). "Resolution" and
// "Resolution Color Memory" keep one pending record, like the media
// destinations: a named line appends it when it is not on the first data row
// (row 3), so a first data line with an empty name gives a first record
// whose name is empty; lines with an empty name add memory areas or
// resolutions to the pending record; the end of the file appends it when at
// least one data line was read. A named line sets only the fields it names:
// a combination whose fields 7 and 8 are not both given keeps the default
// resolution of the combination before it.
//
// Decisions where the format leaves the choice open:
//   - a line type name outside the vocabulary sets no bit and writes no
//     width: its index would be -1, a width for no line type;
//   - dithering matrix cells are numbered with a counter that cannot
//     overflow: a cell whose number would pass 2^31 - 1 is not written, and
//     a matrix width larger than the line's fields costs no more than the
//     fields the line has;
//   - a matrix name is cut to 7 code units, or 6 when the seventh would be
//     the first half of a surrogate pair.
#ifndef KVSTORE_DRIVERS_KV_PDT_RASTER_H_
#define KVSTORE_DRIVERS_KV_PDT_RASTER_H_

class kv_pdt_import;

// "Memory Area.pdt": 1 name (cleaned), 3 device memory (integer), 4
// printable area (real). Any line with field 4 sets R flag 6. A named line
// A = \res_color_mem\mem_area_list\<name> writes A\caps_type,
// A\localized_name, A\device_memory and, when field 4 is given,
// A\printable_area, and makes a record of the memory area list (its
// printable_area is field 4 read as an integer).
void kv_pdt_convert_memory_areas(kv_pdt_import& import);

// "Raster Capability.pdt", no key lookup. Field 1 (cleaned) in the raster
// abilities marks that group of a 4-group set; field 2 (as written) in the
// raster orientations is ORed into a mask (a name outside them ORs in all
// bits). Writes \RASTER\abilities (the set's text) and
// \RASTER\orientation_prefs (the mask), also for a file without data lines.
void kv_pdt_convert_raster_abilities(kv_pdt_import& import);

// "Resolution.pdt" into the resolution list: 1 name, 3 to 8 the physical,
// addressable and effective x and y resolutions (reals, kept as 32-bit
// floats), 9 dithering (cleaned), 10 a memory area (cleaned, on any line; a
// named line's own memory area is also its default).
void kv_pdt_read_resolutions(kv_pdt_import& import);

// "Resolution Color Memory.pdt" into the combination list: 1 name, 3 number
// of colours, 4 colour depth, 5 undithered colours (integers), 6 colour
// system (colour systems; a name outside them gives 5), 7 a resolution
// (cleaned, on any line: R flag 2), 8 default resolution (cleaned, taken
// when field 7 is given too), 9 "Y" or "y": R flag 23. Named lines set R
// flag 0.
void kv_pdt_read_resolution_color_memory(kv_pdt_import& import);

// The combinations from the lists (no file). For each combination K, with
// Q = \res_color_mem\rcm_list\<K>: R flag 1; Q\localized_name,
// number_of_colors, color_depth, undithered_colors, color_system,
// default_resolution (when not empty), caps_type. For each resolution N of K
// that the resolution list holds, with Z = Q\resolution_list\<N>: R flag 3,
// Z\caps_type, Z\localized_name; physical_resolution_x and _y (R flag 8),
// addressable_ (9) and effective_ (10), each when its x is not 0;
// Z\default_mem_area when given; Z\res_color_mem\dithering_list = the
// dithering when given (R flag 4); for each of its memory areas that the
// memory area list holds, m from 0: Z\mem_area\m\caps_type and name (R flag
// 7). Names that are in no list are skipped.
void kv_pdt_write_resolution_color_memory(kv_pdt_import& import);

// "Dithering Method.pdt": 1 name (cleaned), 3 pixel expansion ratio, 4
// dithering type, 5 source pixel ratio, 6 threshold, 7 renderers, 8 matrix
// width, 9 matrix height, 10 matrix name, from 11 on matrix values. A named
// line D = \res_color_mem\dithering_list\<name> sets R flag 5 and writes
// D\localized_name, pixel_expansion_ratio (1 when field 3 is empty),
// source_pixel_ratio (1 when field 5 is empty), renderers ("Neither" 0,
// "FrameBuffer" 1, "BothDitherAndFB" 2, another text -1, empty 0),
// caps_type, dithering_type (when given; a name outside the vocabulary
// gives -1), threshold (when given), matrix_size_x and matrix_size_y.
// Any line whose field 10 is given starts a matrix of that name and of the
// current height in rows; while rows remain, each line gives the next
// matrix-width cells from its fields 11 on, numbered row by row from 0, and
// each non-empty cell writes D\matrix_list\<matrix name>\<cell>\data.
void kv_pdt_convert_dithering_methods(kv_pdt_import& import);

// "Line Type Capabilities.pdt", no key lookup. Each line whose field 1
// (cleaned) is a line type v adds bit v mod 4 to group v / 4 of a 9-group
// set and writes \linetype\font\<v>\width = field 2 as a 32-bit float (0
// when empty). Writes \linetype\capabilities (the set's text) at the end.
void kv_pdt_convert_line_types(kv_pdt_import& import);

#endif  // KVSTORE_DRIVERS_KV_PDT_RASTER_H_
