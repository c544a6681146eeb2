// Copyright the kvstore authors.
#include "drivers/kv_pdt_table.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "kvstore/kv_exceptions.h"
#include "testutil/temp_dir.h"

namespace {

std::u16string folder_of(const TempDir& dir) {
  std::string path = dir.path().string() + "/";
  return std::u16string(path.begin(), path.end());
}

// The rows that a file's reading loop processes, as "row:field1|field2|...".
std::vector<std::string> rows_of(const std::string& bytes, int fields = 4) {
  TempDir dir;
  write_file(dir.path() / "Media Type.pdt", bytes);
  kv_pdt_table table(folder_of(dir), kv_pdt_media_type);
  std::vector<std::string> rows;
  while (table.next_row()) {
    std::string row = std::to_string(table.row()) + ":";
    for (int i = 1; i <= fields; ++i) {
      std::u16string_view f = table.field(i);
      row += std::string(f.begin(), f.end()) + (i < fields ? "|" : "");
    }
    rows.push_back(row);
  }
  return rows;
}

using Rows = std::vector<std::string>;

TEST(PdtTable, RowsCountEveryLineAfterTheHeaders) {
  // Row numbers are line numbers: lines with an empty name still count.
  EXPECT_EQ(rows_of("h1\nh2\na\tb\n\n\tx\nc\n"), (Rows{"3:a|b||", "4:|||", "5:|x||", "6:c|||"}));
  // A last line without a line break is read but not processed.
  EXPECT_EQ(rows_of("h1\nh2\na\nlast"), (Rows{"3:a|||"}));
  EXPECT_EQ(rows_of("h1\nh2\n"), Rows{});
  EXPECT_EQ(rows_of("h1\nh2"), Rows{});
  EXPECT_EQ(rows_of(""), Rows{});
  EXPECT_EQ(rows_of("h1\nh2\nno break"), Rows{});
  // CR LF ends lines like LF; a CR elsewhere stays.
  EXPECT_EQ(rows_of("h1\r\nh2\r\na\tb\r\nc\rd\r\n"), (Rows{"3:a|b||", "4:c\rd|||"}));
}

TEST(PdtTable, CommentsEndFields) {
  EXPECT_EQ(rows_of("h\nh\nA4   // note\t12 // twelve\t/x/\t// only\tnext\n", 5),
            (Rows{"3:A4|12|/x/||next"}));
  // Only blanks before the comment are dropped; a tab would end the field.
  EXPECT_EQ(rows_of("h\nh\n a b //c\t\t1/2//\n", 3), (Rows{"3: a b||1/2"}));
}

TEST(PdtTable, LongLinesAreCutAndTheirRestSkipped) {
  const std::string longName(3000, 'n');
  const Rows rows = rows_of("h\nh\n" + longName + "\tx\nnext\n", 2);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], "3:" + std::string(2047, 'n') + "|");
  EXPECT_EQ(rows[1], "4:next|");
  // A zero byte ends the line's text.
  EXPECT_EQ(rows_of(std::string("h\nh\nab\0cd\tx\n", 12), 2), (Rows{"3:ab|"}));
}

TEST(PdtTable, FieldsAreReadInTheAnsiCodePage) {
  TempDir dir;
  write_file(dir.path() / "Media Type.pdt", "h\nh\nGl\xE4nzend\t\x80\n");
  kv_pdt_table table(folder_of(dir), kv_pdt_media_type);
  ASSERT_TRUE(table.next_row());
  EXPECT_EQ(std::u16string(table.field(1)), u"Gl\u00E4nzend");
  EXPECT_EQ(std::u16string(table.field(2)), u"\u20AC");
}

// A missing file (63) and a folder in its place (68) are checked through
// whole loads (kv_pdt_file_test.cc); a name too long for the file system
// can only be given here.
TEST(PdtTable, OpenOfANameTooLongForTheFileSystem) {
  TempDir dir;
  const std::u16string deep = folder_of(dir) + std::u16string(300, u'd') + u"/";
  try {
    kv_pdt_table table(deep, kv_pdt_media_size);
    ADD_FAILURE() << "opened";
  } catch (const KV_Severe& e) {
    EXPECT_EQ(e.id(), 56u);
    EXPECT_EQ(std::u16string(e.source()), u"KV_PDTFile::load()");
  }
}

TEST(PdtTable, SetFolderIsThePathUpToItsLastSlash) {
  EXPECT_EQ(kv_pdt_set_folder(u"/sets/plotter/keys.txt"), u"/sets/plotter/");
  EXPECT_EQ(kv_pdt_set_folder(u"keys.txt"), u"");
  EXPECT_EQ(kv_pdt_set_folder(u"/keys.txt"), u"/");
  EXPECT_EQ(kv_pdt_set_folder(nullptr), u"");
  EXPECT_EQ(std::u16string(kv_pdt_file_name(kv_pdt_protocol)), u"Protocol ");
  EXPECT_EQ(std::u16string(kv_pdt_file_name(kv_pdt_media_source_entry)), u"Media Source Entry");
}

TEST(PdtTable, NamesAreCleanedAndNumbersReadLikeTheRuntime) {
  // clang-format off
  const std::pair<std::u16string, std::u16string> names[] = {
      {u"\"Roll Feed 1\"", u"Roll_Feed_1"}, {u"\"Roll Feed 1\"   ", u"Roll_Feed_1"},
      {u" A4 ", u"_A4"}, {u"\"\"x\"\"", u"\"x\""}, {u"\"", u""}, {u"\"open", u"open"},
      {u"close\"", u"close"}, {u"\"Vellum \"", u"Vellum_"}, {u"", u""}};
  const std::pair<std::u16string, int> integers[] = {
      {u"  42abc", 42}, {u"-7", -7}, {u"+7", 7}, {u"x7", 0}, {u"", 0}, {u"- 7", 0},
      {u"99999999999999999999", 2147483647}, {u"-2147483648", -2147483647 - 1},
      {u"-99999999999", -2147483647 - 1}};
  // clang-format on
  for (const auto& [in, out] : names) EXPECT_EQ(kv_pdt_clean(in), out);
  for (const auto& [in, out] : integers) EXPECT_EQ(kv_pdt_integer(in), out);

  EXPECT_EQ(kv_pdt_real(u" 2.5mm"), 2.5);
  EXPECT_EQ(kv_pdt_real(u"1e3"), 1000.0);
  EXPECT_EQ(kv_pdt_real(u"-.5"), -0.5);
  EXPECT_EQ(kv_pdt_real(u"0x10"), 16.0);
  EXPECT_EQ(kv_pdt_real(u"abc"), 0.0);
  EXPECT_EQ(kv_pdt_real(u""), 0.0);
  EXPECT_EQ(kv_pdt_real(u"1\u00B72"), 1.0);
  EXPECT_TRUE(std::isinf(kv_pdt_real(u"1e999")));
  EXPECT_EQ(kv_pdt_float(u"914.4"), 914.4f);
  EXPECT_TRUE(std::isinf(kv_pdt_float(u"1e300")));
  // The host's locale does not change the decimal point.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
    EXPECT_EQ(kv_pdt_real(u"2.5"), 2.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
  }

  EXPECT_TRUE(kv_pdt_yes(u"Yes"));
  EXPECT_TRUE(kv_pdt_yes(u"Y"));
  EXPECT_FALSE(kv_pdt_yes(u"yes"));
  EXPECT_FALSE(kv_pdt_yes(u""));
}

}  // namespace
