// Copyright the kvstore authors.
//
// The device settings of a driver description (pens, media defaults,
// copies, duplexing, model names, user-interface ownership, I/O defaults),
// its localizable model texts, and the ability texts that every step of the
// import collected.
//
// "Misc Non-Localizable Info.pdt" is no list: line n holds setting n, for n
// from 3 to 68 (kv_pdt_settings.cc holds the table of the 66 settings, row by
// row). Field 1 is a label and is ignored; the value is field 2, and for the
// settings that take several names fields 2, 3, ... up to the first empty
// one. A setting whose field 2 is empty writes nothing and marks nothing,
// except where the table says so. Lines after 68 are not read; a file that
// ends before line 68 reads the missing lines as empty, and so does a last
// line without a line break, as in every capability file.
//
// The step marks groups of the import's media ("M"), resolution/colour/memory
// ("R") and plotter I/O ("I") abilities and of sets of its own: pen ("P", 19
// groups), init/term ("T", 3) and line type (2) abilities, a model ability
// set (12 groups, which no setting changes), and the five user-interface
// ownership sets. A yes/no setting that writes no property marks its group
// when the answer is yes; every other setting marks its groups whenever it
// is written (a "N" answer too), and "max_npens" only for more than 0 pens.
//
// User-interface ownership: lines 44 to 63 are five blocks of four lines,
// for the init/term, pen, resolution/colour/memory, I/O and media groups. The
// lines of a block give states 0, 1, 2 and 3 to the names they list: "ALL"
// stands for every name of the block's vocabulary, a name of the vocabulary
// for its group, any other name for nothing. Later lines override earlier
// ones. After the fourth line of a block its set's text is written
// (\init_term\ui_owner, \physical_pen\ui_owner, \res_color_mem\ui_owner,
// \io\ui_owner, \media\ui_owner), also when the file lacks those lines.
//
// After line 68, in this order: \io\abilities; the resolution/colour/memory
// combinations (kv_pdt_write_resolution_color_memory); \media\landscape =
// true with M flag 12 when the media sizes had a landscape and a portrait
// one; M flag 24; then \res_color_mem\abilities, \physical_pen\abilities,
// \init_term\abilities, \meta\model_abilities and \media\abilities, each the
// text of its set.
#ifndef KVSTORE_DRIVERS_KV_PDT_SETTINGS_H_
#define KVSTORE_DRIVERS_KV_PDT_SETTINGS_H_

class kv_pdt_import;

// "Misc Non-Localizable Info.pdt" and what follows line 68 (see above).
void kv_pdt_convert_device_settings(kv_pdt_import& import);

// "Misc Localizable Information.pdt": lines 3, 4 and 5 name the model, its
// family and the driver's tag line; for each whose field 2 is given, the
// text that the key lookup finds for its row is written to
// \meta\localized_model_name, \meta\localized_family_name or
// \meta\driver_tag_line.
void kv_pdt_convert_model_texts(kv_pdt_import& import);

#endif  // KVSTORE_DRIVERS_KV_PDT_SETTINGS_H_
