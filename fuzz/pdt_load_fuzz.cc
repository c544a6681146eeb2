// Copyright the kvstore authors.
//
// The input is a driver description set (layout in pdt_set_input.h), written
// into a temporary folder of the process and loaded through the dispatch
// twice, into two objects: the two trees must save to the same PIA text,
// and a load that fails must fail alike both times. The version query of
// the set runs too.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "drivers/kv_pdt_file.h"
#include "drivers/kv_pdt_table.h"
#include "fuzz/fuzz_util.h"
#include "fuzz/pdt_set_input.h"
#include "fuzz/pia_roundtrip.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_object.h"

namespace {

namespace fs = std::filesystem;

// One folder for the life of the process (every input rewrites or removes
// each file of the set), removed when the process ends.
class SetFolder {
 public:
  SetFolder() {
    std::string pattern = (fs::temp_directory_path() / "kvfuzz-pdt-XXXXXX").string();
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    m_path = pattern;
  }
  ~SetFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  const fs::path& path() const { return m_path; }

 private:
  fs::path m_path;
};

const fs::path& set_folder() {
  static const SetFolder folder;
  return folder.path();
}

fs::path file_path(int file) {
  if (file == kPdtKeyTextFile) return set_folder() / "keys.txt";
  const std::u16string name = kv_pdt_file_name(static_cast<kv_pdt_file_id>(file));
  return set_folder() / (std::string(name.begin(), name.end()) + ".pdt");
}

// Loads the set; returns the PIA text of the tree and the id of the error
// that ended the load (0 when none did).
std::pair<std::string, unsigned> load_set(const std::u16string& keys) {
  KV_Object object;
  unsigned error = 0;
  try {
    object.load(keys.c_str(), KV_Object::FT_PDT, u"\\Model");
  } catch (const GX_Exception& e) {
    error = e.id();
    FUZZ_CHECK(error != 0);
  }
  return {fuzz_save_tree(object), error};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto files = pdt_unpack(data, size);
  for (int file = 0; file < kPdtSetFiles; ++file) {
    std::error_code ignored;
    fs::remove(file_path(file), ignored);
    if (!files[file]) continue;
    std::ofstream out(file_path(file), std::ios::binary | std::ios::trunc);
    out.write(files[file]->data(), static_cast<std::streamsize>(files[file]->size()));
    FUZZ_CHECK(out.good());
  }
  const std::string keys8 = file_path(kPdtKeyTextFile).string();
  const std::u16string keys(keys8.begin(), keys8.end());

  const auto first = load_set(keys);
  const auto second = load_set(keys);
  FUZZ_CHECK(first == second);

  KV_PDTFile reader(nullptr);
  try {
    reader.open(keys.c_str(), 0);
    char16_t version[64];
    reader.getVersion(version, sizeof(version) / sizeof(version[0]));
  } catch (const GX_Exception&) {
  }
  reader.close();
  return 0;
}
