// Copyright the kvstore authors.
//
// The media steps of a driver description import: media descriptions, sizes
// and types written into the tree; sources with their entries; destinations
// with their collating, stapling, folding and cutting options. "Media
// Collating", "Media Cutting", "Media Folding", "Media Stapling", "Media
// Destination" and "Media Source Entry" are only read into their lists; the
// destinations and the sources write them where they name their records.
//
// Each step reads its file to its end. "flag n" below is group n of the
// import's media abilities, set to kv_pdt_present. Paths are relative to the
// load's root; "*" takes the index given.
//
// Lists. An option list ("Media Collating", "Cutting", "Folding",
// "Stapling") holds one record per named line; lines with an empty name are
// ignored. "Media Destination" and "Media Source Entry" keep one pending
// record: a named line appends it when it is not on the first data row
// (row 3), so a first data line with an empty name gives a first record with
// all fields empty; lines with an empty name add options or size names to the
// pending record; the end of the file appends it when at least one data line
// was read. A line counts as named when its first field is not empty before
// the name is cleaned.
#ifndef KVSTORE_DRIVERS_KV_PDT_MEDIA_H_
#define KVSTORE_DRIVERS_KV_PDT_MEDIA_H_

class kv_pdt_import;

// "Media Collating.pdt" into the collating list: 1 name, 3 collating_type
// (collating types; a name outside them gives 65535).
void kv_pdt_read_media_collating(kv_pdt_import& import);

// "Media Cutting.pdt" into the cutting list: 1 name, 3 when (cutting times;
// outside them 0).
void kv_pdt_read_media_cutting(kv_pdt_import& import);

// "Media Description.pdt", no key lookup. Named line i: flag 9,
// \media\description\*\caps_type and \name; field 3 (media groups, 65535
// gives 0): \media\size\*\media_group with the description's index, flag 33;
// field 5: \dimensional, false when it starts with "U", flag 17; field 8:
// \printable_area, flag 16; field 13: \media_bounds_urx and _ury from fields
// 13 and 14, flag 14; field 15: \printable_bounds_llx, _lly, _urx and _ury
// from fields 15 to 18, flag 15.
void kv_pdt_convert_media_descriptions(kv_pdt_import& import);

// "Media Destination.pdt" into the destination list: 1 name, 3 to 6 the
// default collating, stapling, cutting and folding option, 7 to 10 one more
// collating, stapling, cutting and folding option (all cleaned). Named
// lines set flags 8 and 7.
void kv_pdt_read_media_destinations(kv_pdt_import& import);

// "Media Folding.pdt" into the folding list: 1 name, 3 folding_type (folding
// types), 4 when (folding times); outside them 0.
void kv_pdt_read_media_folding(kv_pdt_import& import);

// "Media Size.pdt", key column "C". Named line i: flags 6 and 5,
// \media\size\*\caps_type, \name, \localized_name; field 4 non-empty: flag
// 12 and \landscape_mode, true when it starts with "L" ("L" also records a
// landscape size, "P" a portrait one); always \media_description_name =
// field 5 cleaned.
void kv_pdt_convert_media_sizes(kv_pdt_import& import);

// "Media Source Entry.pdt" into the entry list: 1 name, 3 default size
// (cleaned), 4 width, 5 frame height (32-bit floats; an empty field keeps the
// value of the entry before), 6 a size name (cleaned, on any line). Named
// lines set flag 3; a width flag 48, a frame height flag 49.
void kv_pdt_read_media_source_entries(kv_pdt_import& import);

// "Media Source.pdt". A named line S writes, below \media\source\S,
// caps_type, localized_name and default_entry (field 5 cleaned, also when
// empty) and sets flags 2 and 1; field 3 in the feed kinds writes feed and
// sets flag 32 (a name outside them writes nothing). Any line whose field 4
// names an entry E of the entry list writes, below \media\source\S\entry\E,
// default_size, width, frame_height, localized_name, caps_type and for
// each size name k size_names\k\name and caps_type, and sets flag 4.
void kv_pdt_convert_media_sources(kv_pdt_import& import);

// "Media Stapling.pdt" into the stapling list: 1 name, 3 location (stapling
// locations; outside them 0), 4 when (stapling times; outside them -1), 5
// orientation (integer).
void kv_pdt_read_media_stapling(kv_pdt_import& import);

// "Media Type.pdt". Named line i: flags 11 and 10, \media\type\*\name,
// caps_type, localized_name; field 3: flag 31, max_resolution_x and _y from
// fields 3 and 4; field 5: flag 30, drying_time.
void kv_pdt_convert_media_types(kv_pdt_import& import);

// The destinations from the lists (no file). For each destination D, with
// P = \media\destination\D: P\localized_name and caps_type; each default
// that names a record of its list: default_collating (flag 19),
// default_stapling (18), default_folding (20), default_cutting (21); each
// option that names a record of its list: P\collating\O\... (flag 36),
// P\stapling\O\... (35), P\folding\O\... (37), P\cutting\O\... (no flag).
// Names that are in no list are skipped.
void kv_pdt_write_media_destinations(kv_pdt_import& import);

#endif  // KVSTORE_DRIVERS_KV_PDT_MEDIA_H_
