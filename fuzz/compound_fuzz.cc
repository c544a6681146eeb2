// Copyright the kvstore authors.
//
// extract_compound_str_ex on the text that the input stands for (see
// fuzz_text). Two strings that it extracts, packed again with
// build_compound_str_ex, must extract to themselves. The input split at its
// first "|" also gives two strings to pack and extract: they come back as
// UTF-8 carries them, and extraction fails exactly when one is empty.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_util.h"
#include "kvstore/gx_string.h"
#include "kvstore/kv_convert.h"
#include "platform/codepage.h"
#include "toolkit/u16_text.h"

namespace {

bool same(const GX_String& s, const std::u16string& t) {
  return u16_equal(s.c_str(), t.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = fuzz_text(data, size);
  GX_String first;
  GX_String second;
  first.copy(u"unchanged");
  if (extract_compound_str_ex(text.c_str(), first, second)) {
    FUZZ_CHECK(first.c_str()[0] != 0 && second.c_str()[0] != 0);
    GX_String packed;
    FUZZ_CHECK(build_compound_str_ex(first.c_str(), second.c_str(), packed));
    GX_String first2;
    GX_String second2;
    FUZZ_CHECK(extract_compound_str_ex(packed.c_str(), first2, second2));
    FUZZ_CHECK(u16_equal(first.c_str(), first2.c_str()));
    FUZZ_CHECK(u16_equal(second.c_str(), second2.c_str()));
  } else {
    FUZZ_CHECK(u16_equal(first.c_str(), u"unchanged"));
  }

  const std::size_t bar = text.find(u'|');
  const std::u16string a = text.substr(0, bar);
  const std::u16string b = bar == std::u16string::npos ? u"" : text.substr(bar + 1);
  GX_String packed;
  FUZZ_CHECK(build_compound_str_ex(a.c_str(), b.c_str(), packed));
  GX_String a2;
  GX_String b2;
  const bool extracted = extract_compound_str_ex(packed.c_str(), a2, b2);
  FUZZ_CHECK(extracted == (!a.empty() && !b.empty()));
  if (extracted) {
    FUZZ_CHECK(same(a2, kv_utf8_to_u16(kv_u16_to_utf8(a.c_str()).c_str())));
    FUZZ_CHECK(same(b2, kv_utf8_to_u16(kv_u16_to_utf8(b.c_str()).c_str())));
  }
  return 0;
}
