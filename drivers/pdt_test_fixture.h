// Copyright the kvstore authors.
//
// What the tests of the import steps share: a reader that has loaded a
// small set (so that its lists and ability sets can be looked at), the
// groups that an ability set marked, ability texts, and data lines built
// field by field.
#ifndef KVSTORE_DRIVERS_PDT_TEST_FIXTURE_H_
#define KVSTORE_DRIVERS_PDT_TEST_FIXTURE_H_

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "drivers/kv_pdt_file.h"
#include "testutil/pdt_set.h"

// A reader that has loaded set into object under \M.
class PdtLoad {
 public:
  PdtLoad(const PdtSet& set, KV_Object& object) : m_reader(nullptr) {
    m_reader.open(set.key_file().c_str(), 0);
    m_reader.load(&object, u"\\M", KV_Object::FT_PDT);
  }
  const kv_pdt_import& state() const { return m_reader.state(); }

 private:
  KV_PDTFile m_reader;
};

// The groups of a flag set that hold 5.
inline std::set<int> marked(const GX_Flags& flags) {
  std::set<int> groups;
  for (int g = 0; g < flags.count(); ++g) {
    if (flags.get_flag(g) == 5) groups.insert(g);
  }
  return groups;
}

// The ability text of count groups with the given groups at 5: "5,0,0".
inline std::string groups_text(int count, const std::set<int>& present) {
  std::string text;
  for (int g = 0; g < count; ++g)
    text += std::string(g ? "," : "") + (present.count(g) ? "5" : "0");
  return text;
}

// A data line of count TAB-separated fields: field 1 and then the others by
// number (from 2), empty where none is given.
inline std::string data_line(std::size_t count, const std::string& first,
                             const std::vector<std::pair<int, std::string>>& fields) {
  std::vector<std::string> cells(count);
  cells[0] = first;
  for (const auto& [field, value] : fields) cells[field - 1] = value;
  std::string out;
  for (std::size_t i = 0; i < cells.size(); ++i) out += (i ? "\t" : "") + cells[i];
  return out;
}

#endif  // KVSTORE_DRIVERS_PDT_TEST_FIXTURE_H_
