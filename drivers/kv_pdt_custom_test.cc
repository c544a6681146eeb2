// Copyright the kvstore authors.
//
// The custom capabilities step, through whole loads of small sets.
#include "drivers/kv_pdt_custom.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "drivers/pdt_test_fixture.h"

namespace {

// A custom capability line: field 1 and then fields 3 to 9 by number.
std::string line(const std::string& name, const std::vector<std::pair<int, std::string>>& fields) {
  return data_line(9, name, fields);
}

// Loads a set whose custom capabilities are lines into o.
void load(KV_Object& o, const std::vector<std::string>& lines, const std::string& keys = "") {
  PdtSet set;
  set.keys(keys);
  set.file("Custom Capability", lines);
  set.load(o);
}

// The PIA lines of capability name that hold its type and values, in
// order, without indentation.
std::string typed(const KV_Object& o, const char16_t* name) {
  std::istringstream lines(pia_text(o, (u"\\M\\custom_name\\" + std::u16string(name)).c_str()));
  std::string line;
  std::string out;
  while (std::getline(lines, line)) {
    line.erase(0, line.find_first_not_of(' '));
    for (const char* kept : {"data_type=", "default_value=", "value=", "number_of_values="}) {
      if (line.rfind(kept, 0) == 0) out += line + "\n";
    }
  }
  return out;
}

const std::u16string kCustom = u"\\M\\custom_name\\";

TEST(PdtCustom, EveryDataTypeAsDefaultAndListValue) {
  KV_Object o;
  load(o,
       {line("\"Print Quality\"",
             {{3, "Y"}, {4, "Normal"}, {7, "DT_String"}, {9, "Draft mode // first"}}),
        line("Copies", {{3, "y"}, {4, "12abc"}, {7, "DT_Long"}, {9, "-3"}}),
        line("Density", {{3, "N"}, {4, "1.25"}, {7, "DT_Double"}, {9, "x"}}),
        line("Enhance", {{4, "Yes"}, {7, "DT_Bool"}, {9, "yes"}}),
        line("Table", {{4, "0x0A0B"}, {7, "DT_Raw"}, {9, "0xc0ffEE"}})},
       "ORVA_CUSTOM_CAPABILITY_B3 \"Print quality\"\nORVA_CUSTOM_CAPABILITY_B7 \"Table\"\n");
  // The PIA forms show the types: a quote for text, a "." for reals, TRUE
  // or FALSE, backslashes around raw bytes.
  EXPECT_EQ(typed(o, u"Print_Quality"),
            "data_type=0\ndefault_value=\"Normal\nnumber_of_values=1\nvalue=\"Draft mode\n");
  EXPECT_EQ(typed(o, u"Copies"), "data_type=1\ndefault_value=12\nnumber_of_values=1\nvalue=-3\n");
  EXPECT_EQ(typed(o, u"Density"),
            "data_type=2\ndefault_value=1.25\nnumber_of_values=1\nvalue=0.0\n");
  EXPECT_EQ(typed(o, u"Enhance"),
            "data_type=3\ndefault_value=TRUE\nnumber_of_values=1\nvalue=FALSE\n");
  EXPECT_EQ(typed(o, u"Table"),
            "data_type=4\ndefault_value=\\0A0B\\\nnumber_of_values=1\nvalue=\\C0FFEE\\\n");
  const std::string head =
      "localized_name=\"Print quality\n"
      "custom_caps_type=0\n"
      "verifiable=TRUE\n"
      "data_type=0\n"
      "default_value=\"Normal\n"
      "range_type=FALSE\n";
  EXPECT_EQ(pia_text(o, (kCustom + u"Print_Quality").c_str()).substr(0, head.size()), head);
  EXPECT_EQ(get_int(o, kCustom + u"Print_Quality\\value_list\\0\\caps_type"), 0);
  // Row 4 has no key: the last text found.
  EXPECT_EQ(get_text(o, kCustom + u"Copies\\localized_name"), "Print quality");
  EXPECT_EQ(get_bool(o, kCustom + u"Copies\\verifiable"), "true");
  EXPECT_EQ(get_bool(o, kCustom + u"Density\\verifiable"), "false");
  EXPECT_EQ(get_bool(o, kCustom + u"Enhance\\verifiable"), "false");
  EXPECT_EQ(get_text(o, kCustom + u"Table\\localized_name"), "Table");
}

TEST(PdtCustom, RangesListsAndTheirCounts) {
  KV_Object o;
  load(o, {line("Delay", {{4, "30"}, {5, "600"}, {6, "-0.5"}, {7, "DT_Long"}, {8, "Y"}, {9, "7"}}),
           line("Mode", {{7, "DT_String"}, {8, "y"}, {9, "A"}}), line("", {{9, "B"}}),
           line("", {{9, "C"}}), line("Plain", {{7, "DT_String"}, {8, "N"}}),
           line("Last", {{8, "Y"}}), line("", {{9, "after a range"}})});
  // A range: its bounds, no value list, no count.
  EXPECT_EQ(pia_text(o, (kCustom + u"Delay").c_str()),
            "localized_name=\"\n"
            "custom_caps_type=0\n"
            "verifiable=FALSE\n"
            "data_type=1\n"
            "default_value=30\n"
            "range_type=TRUE\n"
            "range_max=600.0\n"
            "range_min=-0.5\n");
  // "y" is no range: three values, counted when the next name comes.
  EXPECT_EQ(get_bool(o, kCustom + u"Mode\\range_type"), "false");
  EXPECT_EQ(typed(o, u"Mode"),
            "data_type=0\nnumber_of_values=3\nvalue=\"A\nvalue=\"B\nvalue=\"C\n");
  EXPECT_EQ(get_int(o, kCustom + u"Mode\\value_list\\2\\caps_type"), 0);
  // An empty list value of a string is the empty text.
  EXPECT_EQ(typed(o, u"Plain"), "data_type=0\nnumber_of_values=1\nvalue=\"\n");
  // A value after a range counts from 0; the end of the file writes the
  // count.
  EXPECT_EQ(get_double(o, kCustom + u"Last\\range_max"), 0.0);
  EXPECT_EQ(typed(o, u"Last"), "data_type=0\nnumber_of_values=1\nvalue=\"after a range\n");
}

TEST(PdtCustom, TypeLetterIsTheFourthCharacter) {
  KV_Object o;
  load(o, {
              // Before any named line the type is unknown: no value, only
              // caps_type, at the branch itself; the next name counts it.
              line("", {{9, "lost"}}),
              line("A", {{7, "xxxB"}, {9, "Y"}}),     // bool
              line("B", {{7, "DT_long"}, {9, "Y"}}),  // lower case: still bool
              line("C", {{7, "DT"}, {9, "N"}}),       // too short: still bool
              line("D", {{7, "DT_Double"}, {9, "2"}}),
              line("E", {{7, "DT_Xyz"}, {9, "2.5"}}),  // unknown letter: still double
              line("F", {{7, "DT_Raw"}, {4, "0x1"}, {9, "0xAB"}}),
          });
  const std::u16string& k = kCustom;
  EXPECT_FALSE(has(o, k + u"value_list\\0\\value"));
  EXPECT_EQ(get_int(o, k + u"value_list\\0\\caps_type"), 0);
  EXPECT_EQ(get_int(o, k + u"number_of_values"), 1);
  EXPECT_EQ(get_int(o, k + u"A\\data_type"), 3);
  EXPECT_EQ(get_bool(o, k + u"A\\value_list\\0\\value"), "true");
  EXPECT_EQ(get_int(o, k + u"B\\data_type"), 3);
  EXPECT_EQ(get_bool(o, k + u"B\\value_list\\0\\value"), "true");
  EXPECT_EQ(get_int(o, k + u"C\\data_type"), 3);
  EXPECT_EQ(get_bool(o, k + u"C\\value_list\\0\\value"), "false");
  EXPECT_EQ(get_double(o, k + u"D\\value_list\\0\\value"), 2.0);
  EXPECT_EQ(get_int(o, k + u"E\\data_type"), 2);
  EXPECT_EQ(get_double(o, k + u"E\\value_list\\0\\value"), 2.5);
  // Three characters give no byte: nothing is written.
  EXPECT_EQ(get_int(o, k + u"F\\data_type"), 4);
  EXPECT_FALSE(has(o, k + u"F\\default_value"));
  EXPECT_EQ(o.getPropertySize((k + u"F\\value_list\\0\\value").c_str()), 1u);
}

TEST(PdtCustom, RawBytes) {
  struct Case {
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {u"0x0A0B", std::string("\x0A\x0B", 2)},
      {u"0x00", std::string(1, '\0')},
      {u"0xFF7", "\xFF"},  // a trailing odd digit is ignored
      {u"##12", "\x12"},   // the first two characters are skipped, whatever they are
      {u"0xab", "\xAB"},   // lower case reads like upper case
      {u"0xG1", "\x01"},   // not a digit: 0
      {u"0x1", ""},
      {u"0x", ""},
      {u"0", ""},
      {u"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kv_pdt_raw_bytes(c.text), c.bytes) << std::string(c.text.begin(), c.text.end());
  }
}

}  // namespace
