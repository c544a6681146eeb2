// Copyright the kvstore authors.
//
// The protocol and I/O method steps, through whole loads of small sets.
#include "drivers/kv_pdt_io.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "drivers/pdt_test_fixture.h"

namespace {

// A method line: field 1 and then fields 2 to 14 by number.
std::string line(const std::string& type, const std::vector<std::pair<int, std::string>>& fields) {
  return data_line(14, type, fields);
}

// Loads the set under \M; returns the I/O groups it marked.
std::set<int> load(const PdtSet& set, KV_Object& object) {
  return marked(PdtLoad(set, object).state().io_abilities);
}

// The abilities text of a method whose groups are marked.
std::string abilities(const std::set<int>& groups) {
  return groups_text(20, groups);
}

const std::u16string kMethod = u"\\M\\io\\method\\";

TEST(PdtIo, ProtocolsAndBaudRatesRunOnAcrossMethods) {
  PdtSet set;
  set.keys("ORVA_PROTOCOL__B3 \"eight, none, one\"\n");
  set.file("Protocol ", {"\"8 N 1\"\t\tDataBits_8\tOneStopBit = ONESTOPBIT\tNone",
                         "7E2\t\tDataBits_7\tTwoStopBits\tEven", "\t\tDataBits_5"});
  set.file("IO Method",
           {line("RS232", {{3, "8_N_1"}, {14, "9600"}}), line("", {{3, "7E2"}, {14, "19200"}}),
            line("Parallel", {{3, "8 N 1"}, {14, "300"}}), line("", {{3, "Unknown"}})});
  KV_Object o;
  load(set, o);
  const std::u16string rs = kMethod + u"4\\";
  EXPECT_EQ(get_text(o, rs + u"protocol\\0\\canonical_name"), "8_N_1");
  EXPECT_EQ(get_int(o, rs + u"protocol\\0\\data_bits"), 3);
  EXPECT_EQ(get_int(o, rs + u"protocol\\0\\stop_bits"), 0);
  EXPECT_EQ(get_int(o, rs + u"protocol\\0\\parity"), 0);
  EXPECT_EQ(get_text(o, rs + u"protocol\\0\\localized_name"), "eight, none, one");
  // A stop bits name without its " = ..." part is no name: -1.
  EXPECT_EQ(get_int(o, rs + u"protocol\\1\\data_bits"), 2);
  EXPECT_EQ(get_int(o, rs + u"protocol\\1\\stop_bits"), -1);
  EXPECT_EQ(get_int(o, rs + u"protocol\\1\\parity"), 2);
  EXPECT_EQ(get_int(o, rs + u"baudrates\\0\\rate"), 9600);
  EXPECT_EQ(get_int(o, rs + u"baudrates\\1\\rate"), 19200);
  EXPECT_EQ(get_int(o, rs + u"baudrates\\1\\caps_type"), 0);
  // The second method goes on at index 2; a protocol named with blanks is
  // stored cleaned, so the name with blanks does not find it.
  const std::u16string par = kMethod + u"5\\";
  EXPECT_FALSE(has_node(o, par + u"protocol\\0"));
  EXPECT_EQ(get_text(o, par + u"protocol\\2\\canonical_name"), "8 N 1");
  EXPECT_EQ(get_int(o, par + u"protocol\\2\\caps_type"), 0);
  EXPECT_FALSE(has(o, par + u"protocol\\2\\data_bits"));
  EXPECT_FALSE(has(o, par + u"protocol\\2\\localized_name"));
  EXPECT_EQ(get_text(o, par + u"protocol\\3\\canonical_name"), "Unknown");
  EXPECT_EQ(get_int(o, par + u"baudrates\\2\\rate"), 300);
}

TEST(PdtIo, MethodFieldsMasksAndAbilities) {
  PdtSet set;
  set.file("IO Method",
           {line("RS232 // serial", {{2, "Model = 0x1"},
                                     {4, "120"},
                                     {5, "5"},
                                     {6, "60"},
                                     {7, "1"},
                                     {8, "30"},
                                     {9, "15"},
                                     {10, "Rts_Enable = 0x10"},
                                     {11, "9600"},
                                     {12, "8N1"},
                                     {13, "Dtr_Enable = 0x100"}}),
            line("", {{13, "Rts_Enable = 0x10"}, {10, "Rts_Enable"}}), line("File", {{8, "0"}}),
            line("", {{2, "Jams"}}), line("Network", {{2, "Jams = 0x2000"}, {13, "Cts"}})});
  KV_Object o;
  EXPECT_EQ(load(set, o), (std::set<int>{0, 2, 4, 5, 6, 7, 8, 9, 10, 11}));
  const std::u16string rs = kMethod + u"4\\";
  EXPECT_EQ(get_int(o, rs + u"caps_type"), 0);
  EXPECT_EQ(get_int(o, rs + u"max_output_timeout"), 120);
  EXPECT_EQ(get_int(o, rs + u"min_output_timeout"), 5);
  EXPECT_EQ(get_int(o, rs + u"max_input_timeout"), 60);
  EXPECT_EQ(get_int(o, rs + u"min_input_timeout"), 1);
  EXPECT_EQ(get_int(o, rs + u"default_output_timeout"), 30);
  EXPECT_EQ(get_int(o, rs + u"default_input_timeout"), 15);
  EXPECT_EQ(get_int(o, rs + u"default_baud_rate"), 9600);
  EXPECT_EQ(get_text(o, rs + u"default_protocol"), "8N1");
  // 0x100 | 0x10 from two lines; a default handshake outside the vocabulary
  // ORs in 65535.
  EXPECT_EQ(get_int(o, rs + u"handshakes"), 272);
  EXPECT_EQ(get_int(o, rs + u"default_handshake"), 65535 | 16);
  EXPECT_EQ(get_int(o, rs + u"bidi_flags"), 1);
  EXPECT_EQ(get_text(o, rs + u"abilities"),
            abilities({0, 1, 2, 3, 4, 5, 6, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
  // File: no handshakes were given, so none is written; a feature outside
  // the vocabulary ORs in 65535.
  const std::u16string file = kMethod + u"2\\";
  EXPECT_EQ(get_int(o, file + u"default_output_timeout"), 0);
  EXPECT_FALSE(has(o, file + u"handshakes"));
  EXPECT_FALSE(has(o, file + u"default_handshake"));
  EXPECT_EQ(get_int(o, file + u"bidi_flags"), 65535);
  EXPECT_EQ(get_text(o, file + u"abilities"), abilities({0, 10, 11, 13}));
  // The bidirectional mask runs on into later methods; the handshake masks
  // start again; the last method is finished too.
  const std::u16string net = kMethod + u"6\\";
  EXPECT_EQ(get_int(o, net + u"bidi_flags"), 65535 | 0x2000);
  EXPECT_EQ(get_int(o, net + u"handshakes"), 65535);
  EXPECT_EQ(get_text(o, net + u"abilities"), abilities({10, 11, 12, 18}));
}

TEST(PdtIo, UnknownTypesAndRepeatedTypes) {
  PdtSet set;
  set.file("IO Method", {line("RS232", {{4, "1"}, {14, "110"}}), line("USB", {{5, "2"}}),
                         line("", {{14, "220"}, {13, "Cts = 0x4"}}), line("rs232", {}),
                         line("RS232", {{6, "3"}})});
  KV_Object o;
  load(set, o);
  const std::u16string rs = kMethod + u"4\\";
  // An unknown type skips its own line; the lines after it stay with the
  // method before it, whose node a second "RS232" line writes into again.
  EXPECT_FALSE(has(o, rs + u"min_output_timeout"));
  EXPECT_EQ(get_int(o, rs + u"max_output_timeout"), 1);
  EXPECT_EQ(get_int(o, rs + u"max_input_timeout"), 3);
  EXPECT_EQ(get_int(o, rs + u"baudrates\\0\\rate"), 110);
  EXPECT_EQ(get_int(o, rs + u"baudrates\\1\\rate"), 220);
  EXPECT_EQ(get_int(o, rs + u"handshakes"), 4);
  EXPECT_FALSE(has_node(o, u"\\M\\io\\method\\65535"));
  // The last finish wrote the second RS232 line's abilities.
  EXPECT_EQ(get_text(o, rs + u"abilities"), abilities({4, 10, 14, 16}));
}

TEST(PdtIo, LinesBeforeTheFirstMethod) {
  PdtSet set;
  set.file("IO Method", {line("", {{14, "50"}}), line("File", {})});
  KV_Object o;
  load(set, o);
  // They write below \io\method itself, and are finished as a method.
  EXPECT_EQ(get_int(o, u"\\M\\io\\method\\baudrates\\0\\rate"), 50);
  EXPECT_EQ(get_text(o, u"\\M\\io\\method\\abilities"), abilities({9}));
  EXPECT_EQ(get_text(o, kMethod + u"2\\abilities"), abilities({10}));
}

TEST(PdtIo, EmptyFilesWriteNothing) {
  PdtSet set;
  set.file("Protocol ", {"8N1\t\tDataBits_8"});
  KV_Object o;
  EXPECT_EQ(load(set, o), std::set<int>{});
  EXPECT_FALSE(has_node(o, u"\\M\\io\\method"));
  // A method line that ends the file without a line break is not read.
  set.raw("IO Method", "h\nh\nRS232\t\t\t1");
  KV_Object last;
  EXPECT_EQ(load(set, last), std::set<int>{});
  EXPECT_FALSE(has_node(last, u"\\M\\io\\method"));
}

}  // namespace
