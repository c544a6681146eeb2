// Copyright the kvstore authors.
//
// The custom capabilities of a driver description: device-specific settings
// with a typed default value and either a range or a list of values, written
// under \custom_name\<name>.
//
// "Custom Capability.pdt": 1 name (cleaned), 3 verifiable, 4 default value,
// 5 range maximum, 6 range minimum, 7 data type, 8 range flag, 9 list value.
// The step keeps the current capability N, its data type t (-1 before the
// first named line) and a value count n. With K = \custom_name\<N>:
//   - a named line first writes the previous capability's
//     K\number_of_values = n when n is above 0. Then, for the new N:
//     K\localized_name (key lookup), K\custom_caps_type, K\verifiable (true
//     when field 3 starts with "Y" or "y"); the fourth character of field 7
//     selects t ("S" 0 string, "L" 1 integer, "D" 2 real, "B" 3 yes/no, "R" 4
//     raw bytes; any other character keeps the t of the line before) and
//     K\data_type = t; K\default_value = field 4 as a typed value when field
//     4 is given; K\range_type (true when field 8 starts with "Y", upper case
//     only); for a range K\range_max and K\range_min (reals, fields 5 and 6)
//     and n = 0, otherwise K\value_list\0\value = field 9 as a typed value,
//     K\value_list\0\caps_type and n = 1;
//   - a line with an empty name adds K\value_list\<n>\value (field 9 typed)
//     and K\value_list\<n>\caps_type, and n grows by one; this holds after a
//     range too, and before the first named line, where N is empty and K is
//     \custom_name itself;
//   - at the end of the file K\number_of_values = n when n is at least 1.
//
// Typed values (kv_pdt_put_typed): t 0 the text as a string; 1 the text read
// as an integer; 2 as a real; 3 true when it starts with "Y"; 4 raw bytes
// from the hexadecimal digits after the text's first two characters (its
// "0x"), two digits a byte, high digit first, length / 2 - 1 bytes, so that
// "0x0A0B" gives the bytes 0A 0B. Any other t writes nothing.
//
// Decisions where the format leaves the choice open: raw digits in lower
// case read like their upper-case forms, and any other character that is
// not a hexadecimal digit reads as 0; a raw text of fewer than four
// characters gives no byte and writes nothing (an empty raw value could not
// be saved); a trailing odd digit is ignored.
#ifndef KVSTORE_DRIVERS_KV_PDT_CUSTOM_H_
#define KVSTORE_DRIVERS_KV_PDT_CUSTOM_H_

#include <cstdint>
#include <string>
#include <string_view>

class kv_pdt_import;

// The data types of custom capabilities.
enum kv_pdt_custom_type : int32_t {
  kv_pdt_custom_none = -1,  // before the first named line
  kv_pdt_custom_string = 0,
  kv_pdt_custom_long = 1,
  kv_pdt_custom_double = 2,
  kv_pdt_custom_bool = 3,
  kv_pdt_custom_raw = 4,
};

// The bytes of a raw typed value (see above); empty when it has none.
std::string kv_pdt_raw_bytes(std::u16string_view text);

// Writes text at path as a typed value of type t (see above), index as for
// the import's writers.
void kv_pdt_put_typed(kv_pdt_import& import, std::u16string_view path, int32_t t,
                      std::u16string_view text, int index = -1);

// "Custom Capability.pdt" into the tree (see above).
void kv_pdt_convert_custom_capabilities(kv_pdt_import& import);

#endif  // KVSTORE_DRIVERS_KV_PDT_CUSTOM_H_
