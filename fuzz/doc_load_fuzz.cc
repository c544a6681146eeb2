// Copyright the kvstore authors.
//
// The input is a DOC document, loaded through KV_DOCFile (from memory, as a
// file would be after opening) below the root and below a deeper node. A
// load that succeeds must give a tree that saves as a document and loads
// again into the same tree, unless the tree holds what the format cannot
// carry back (see portable below).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/kv_doc_file.h"
#include "fuzz/fuzz_util.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_iterator.h"
#include "kvstore/kv_object.h"
#include "platform/compound_file.h"
#include "tree/kv_property.h"

namespace {

// The tree as text: per node its name, per property its name, type and bytes.
// portable turns false for a string with a zero unit before its terminator
// (a save stops at the first), for a string of more than 511 characters (its
// wide form passes the 1024-byte limit of a save) and for a property without
// value (no save takes it).
std::string describe(const KV_Object& object, bool& portable) {
  std::unique_ptr<KV_Iterator> it(object.newIterator(u"\\", 0));
  FUZZ_CHECK(it != nullptr);
  std::string out;
  auto props = [&]() {
    char* data = nullptr;
    std::size_t size = 0;
    PropType type;
    for (;;) {
      const char16_t* name = nullptr;
      try {
        name = it->nextProp(data, size, type);
      } catch (const GX_Exception&) {
        portable = false;  // a property without value
        return;
      }
      if (name == nullptr) break;
      const KV_Property* prop = it->currentProp();
      out += "p " + std::string(reinterpret_cast<const char*>(name),
                                std::char_traits<char16_t>::length(name) * 2);
      out += " " + std::to_string(prop->m_type) + " ";
      out.append(reinterpret_cast<const char*>(prop->data()), prop->size());
      out += "\n";
      if (prop->m_type == PROP_STRING && prop->size() > KV_DOCFile::kMaxValueBytes) {
        portable = false;
      }
      if (prop->m_type == PROP_STRING) {
        const std::size_t units = prop->size() / 2;
        for (std::size_t i = 0; i + 1 < units; ++i) {
          if (prop->data()[2 * i] == 0 && prop->data()[2 * i + 1] == 0) portable = false;
        }
      }
    }
    if (data != nullptr && size != 0) KV_Mem_Obj::operator delete(data);
  };
  props();
  KV_Object::NodeType move;
  while (const char16_t* name = it->nextNode(move)) {
    out += "n " + std::to_string(move) + " " +
           std::string(reinterpret_cast<const char*>(name),
                       std::char_traits<char16_t>::length(name) * 2) +
           "\n";
    if (move != KV_Object::NODE_UP) props();
  }
  return out;
}

// True when a name of the document holds a "*": the store puts "-1" in its
// place, which may make a name too long for a document or equal to another.
bool has_star(kv_compound_file& doc) {
  std::vector<kv_cfb_enumerator> stack{kv_cfb_enumerator(doc.root())};
  while (!stack.empty()) {
    kv_cfb_entry e;
    if (!stack.back().next(e)) {
      stack.pop_back();
      continue;
    }
    if (e.name.find(u'*') != std::u16string_view::npos) return true;
    if (e.kind == kv_cfb_kind::storage) stack.emplace_back(e.storage());
  }
  return false;
}

// Loads document below root into object; false when the load raised.
bool load(std::unique_ptr<kv_compound_file> document, KV_Object& object, const char16_t* root) {
  KV_DOCFile format(nullptr);
  format.attach(std::move(document), u"fuzz.doc");
  try {
    format.load(&object, root, KV_Object::FT_DOC);
  } catch (const GX_Exception&) {
    return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv_cfb_status status;
  {
    KV_Object object;
    auto doc = kv_compound_file::parse(data, size, status);
    if (doc == nullptr) return 0;
    load(std::move(doc), object, u"\\below\\the\\root");
  }
  auto doc = kv_compound_file::parse(data, size, status);
  if (has_star(*doc)) return 0;
  KV_Object first;
  if (!load(std::move(doc), first, u"\\")) return 0;
  bool portable = true;
  const std::string before = describe(first, portable);
  if (!portable) return 0;

  // Saved into a document in memory, and that document's bytes loaded again.
  KV_DOCFile writer(nullptr);
  auto target = kv_compound_file::create_in_memory();
  kv_compound_file* saved = target.get();
  std::string bytes;
  writer.attach(std::move(target), u"saved.doc");
  try {
    writer.save(&first, u"\\", KV_Object::FT_DOC, u"");
  } catch (const GX_Exception& e) {
    std::fprintf(stderr, "save failed: id %u\n", e.id());
    FUZZ_CHECK(false);
  }
  FUZZ_CHECK(saved->serialize(bytes));
  writer.close();
  KV_Object second;
  FUZZ_CHECK(load(kv_compound_file::parse(bytes.data(), bytes.size(), status), second, u"\\"));
  bool also = true;
  FUZZ_CHECK(describe(second, also) == before);
  return 0;
}
