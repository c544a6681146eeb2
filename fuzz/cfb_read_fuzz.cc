// Copyright the kvstore authors.
//
// The input is a compound file, read by the compound file layer. A file that
// the reader accepts must be readable to its end (every storage enumerated,
// every stream read whole); written again it must read back as the same
// hierarchy, and writing that copy must give the very same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "platform/compound_file.h"

namespace {

struct Element {
  std::u16string path;  // names joined by "/" (a unit that names cannot hold)
  kv_cfb_kind kind;
  std::string data;
  bool operator==(const Element& o) const {
    return path == o.path && kind == o.kind && data == o.data;
  }
};

// Every element depth first, in enumeration order.
std::vector<Element> read_all(kv_compound_file& doc) {
  std::vector<Element> out;
  struct Level {
    kv_cfb_enumerator it;
    std::u16string prefix;
  };
  std::vector<Level> stack;
  stack.push_back({kv_cfb_enumerator(doc.root()), u""});
  while (!stack.empty()) {
    kv_cfb_entry e;
    if (!stack.back().it.next(e)) {
      stack.pop_back();
      continue;
    }
    Element element{stack.back().prefix + std::u16string(e.name), e.kind, {}};
    if (e.kind == kv_cfb_kind::storage) {
      stack.push_back({kv_cfb_enumerator(e.storage()), element.path + u"/"});
      FUZZ_CHECK(e.size == 0);
    } else {
      kv_cfb_stream s = e.stream();
      FUZZ_CHECK(s.size() == e.size);
      element.data.resize(static_cast<std::size_t>(e.size));
      FUZZ_CHECK(s.read(element.data.data(), element.data.size()) == element.data.size());
      char extra;
      FUZZ_CHECK(s.read(&extra, 1) == 0);
    }
    out.push_back(std::move(element));
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv_cfb_status status;
  auto doc = kv_compound_file::parse(data, size, status);
  if (doc == nullptr) {
    FUZZ_CHECK(status.error != kv_cfb_error::none);
    return 0;
  }
  FUZZ_CHECK(status.ok());
  const std::vector<Element> elements = read_all(*doc);
  // Everything read lies in the input: nothing is invented.
  std::size_t total = 0;
  for (const Element& e : elements) total += e.data.size();
  FUZZ_CHECK(total <= size);

  std::string written;
  FUZZ_CHECK(doc->serialize(written));
  auto again = kv_compound_file::parse(written.data(), written.size(), status);
  FUZZ_CHECK(again != nullptr);
  FUZZ_CHECK(read_all(*again) == elements);
  std::string rewritten;
  FUZZ_CHECK(again->serialize(rewritten));
  FUZZ_CHECK(rewritten == written);
  return 0;
}
