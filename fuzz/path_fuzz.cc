// Copyright the kvstore authors.
//
// Path parsing through the value operations of KV_Object. The input is a
// script of at most 64 operations on one object; each is an operation byte,
// an index byte and a path:
//   operation byte  low 4 bits: the operation (below); high bit set: the
//                   setters store with typeChecked false
//   index byte      0 gives -1 (no index), 1 to 239 give 0 to 238, and 240
//                   up give the extreme values of kIndices
//   path            a length byte (255: two more bytes give a length up to
//                   65535), then that many units: one byte each, or 0xFE and
//                   two bytes of a little-endian code unit
// Operations: 0-7 the setters (int, long, bool, double, float, wide text,
// narrow text, raw bytes), 8 every getter, 9 getPropertySize, 10 pathExists,
// 11 deletePath, 12 a walk with an iterator, 13 duplicate from the previous
// path, 14 and 15 a walk of the whole tree. A value that a setter stored must
// read back through the getter of its type at the same path and index.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "kvstore/gx_exception.h"
#include "kvstore/kv_iterator.h"
#include "kvstore/kv_object.h"
#include "toolkit/u16_text.h"
#include "tree/kv_alloc.h"

namespace {

constexpr int kIndices[] = {INT_MIN, INT_MIN + 1, -2, 255, 256, 1000000, INT_MAX - 1, INT_MAX};
constexpr int kMaxOperations = 64;
constexpr int kMaxDuplicates = 4;
constexpr int kMaxWalkSteps = 20000;

class Script {
 public:
  Script(const uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  bool done() const { return m_pos >= m_size; }
  uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
  int index() {
    const uint8_t b = byte();
    if (b == 0) return -1;
    if (b < 240) return b - 1;
    return kIndices[(b - 240) % (sizeof(kIndices) / sizeof(kIndices[0]))];
  }
  std::u16string path() {
    std::size_t length = byte();
    if (length == 255) length = byte() | std::size_t{byte()} << 8;
    std::u16string text;
    while (text.size() < length && !done()) {
      uint8_t b = byte();
      if (b == 0xFE) {
        text.push_back(static_cast<char16_t>(byte() | byte() << 8));
      } else {
        text.push_back(b);
      }
    }
    return text;
  }

 private:
  const uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

// A rendering handed out by nextProp, released as the iterator's contract
// says: the caller keeps the last one.
struct Rendering {
  char* data = nullptr;
  std::size_t size = 0;
  PropType type = PROP_NONE;
  ~Rendering() {
    if (data != nullptr && size != 0) kv_free(data);
  }
};

void walk(const KV_Object& object, const char16_t* path, int depth) {
  std::unique_ptr<KV_Iterator> it;
  try {
    it.reset(object.newIterator(path, depth));
  } catch (const GX_Exception&) {
    return;
  }
  if (it == nullptr) return;
  Rendering r;
  int steps = 0;
  try {
    for (;;) {
      while (it->nextProp(r.data, r.size, r.type) != nullptr && ++steps < kMaxWalkSteps) {
      }
      KV_Object::NodeType move;
      if (it->nextNode(move) == nullptr || ++steps >= kMaxWalkSteps) break;
    }
  } catch (const GX_Exception&) {
    // A raw value of zero bytes cannot be rendered.
  }
}

// Calls every getter; their results are not predicted here.
void read_all(const KV_Object& object, const char16_t* path, int index) {
  int i = 0;
  long l = 0;
  bool b = false;
  double d = 0;
  float f = 0;
  unsigned char small[4];
  char16_t text[64];
  object.GetProperty(path, i, index);
  object.GetProperty(path, l, index);
  object.GetProperty(path, b, index);
  object.GetProperty(path, d, index);
  object.GetProperty(path, f, index);
  object.GetProperty(path, small, sizeof small, index);
  object.GetProperty(path, text, sizeof text, index);
  object.getVoidProperty(path, small, sizeof small, index);
}

// The stored value at path and index as the string getter copies it out.
std::vector<unsigned char> read_bytes(const KV_Object& object, const char16_t* path, int index,
                                      bool raw) {
  const std::size_t size = object.getPropertySize(path, index);
  std::vector<unsigned char> out(size + 1, 0xAA);
  const bool ok = raw ? object.getVoidProperty(path, out.data(), static_cast<unsigned>(size), index)
                      : object.GetProperty(path, out.data(), size, index);
  FUZZ_CHECK(ok);
  FUZZ_CHECK(out[size] == 0xAA);  // nothing written past the stored size
  out.resize(size);
  return out;
}

template <typename T>
void check_scalar(const KV_Object& object, const char16_t* path, int index, T expected) {
  T read{};
  FUZZ_CHECK(object.GetProperty(path, read, index));
  FUZZ_CHECK(std::memcmp(&read, &expected, sizeof read) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Script script(data, size);
  KV_Object object;
  std::u16string previous = u"\\";
  int duplicates = 0;
  for (int n = 0; n < kMaxOperations && !script.done(); ++n) {
    const uint8_t op = script.byte();
    const bool typeChecked = (op & 0x80) == 0;
    const int index = script.index();
    const std::u16string path_text = script.path();
    const char16_t* path = path_text.c_str();
    const int value = n * 7919 - 100000;
    try {
      switch (op & 0x0F) {
        case 0:
          object.SetProperty(path, value, index, typeChecked);
          check_scalar(object, path, index, value);
          break;
        case 1: {
          // Beyond 32 bits: the stored int keeps the low 32 bits.
          const long wide = static_cast<long>(value) * (1L << 20);
          object.SetProperty(path, wide, index, typeChecked);
          check_scalar(object, path, index, static_cast<long>(static_cast<int32_t>(wide)));
          break;
        }
        case 2:
          object.SetProperty(path, (value & 1) != 0, index, typeChecked);
          check_scalar(object, path, index, (value & 1) != 0);
          break;
        case 3: {
          const double d = value / 3.0;
          object.SetProperty(path, d, index, typeChecked);
          check_scalar(object, path, index, d);
          break;
        }
        case 4: {
          const float f = static_cast<float>(value) / 7.0f;
          object.SetProperty(path, f, index, typeChecked);
          check_scalar(object, path, index, f);
          break;
        }
        case 5: {
          const char16_t* text = path;
          object.SetProperty(path, text, index, typeChecked);
          const std::size_t length = u16_length(path);
          const std::size_t units = length < 4096 ? length : 4096;
          std::vector<unsigned char> stored = read_bytes(object, path, index, false);
          FUZZ_CHECK(stored.size() == (units + 1) * 2);
          FUZZ_CHECK(std::memcmp(stored.data(), path, units * 2) == 0);
          FUZZ_CHECK(stored[units * 2] == 0 && stored[units * 2 + 1] == 0);
          break;
        }
        case 6: {
          const unsigned char* text = reinterpret_cast<const unsigned char*>("narrow text");
          object.SetProperty(path, text, index, typeChecked);
          std::vector<unsigned char> stored = read_bytes(object, path, index, false);
          FUZZ_CHECK(stored.size() == 12 && std::memcmp(stored.data(), text, 12) == 0);
          break;
        }
        case 7: {
          const unsigned bytes = static_cast<unsigned>(path_text.size() * 2);
          object.setVoidProperty(path, path, bytes, index, typeChecked);
          if (bytes != 0) {
            std::vector<unsigned char> stored = read_bytes(object, path, index, true);
            FUZZ_CHECK(stored.size() == bytes && std::memcmp(stored.data(), path, bytes) == 0);
          }
          break;
        }
        case 8:
          read_all(object, path, index);
          break;
        case 9:
          object.getPropertySize(path, index);
          break;
        case 10:
          object.pathExists(path);
          break;
        case 11:
          object.deletePath(path);
          break;
        case 12:
          walk(object, path, index);
          break;
        case 13:
          if (duplicates++ < kMaxDuplicates) object.duplicate(previous.c_str(), path);
          break;
        default:
          walk(object, u"\\", 0);
          break;
      }
    } catch (const GX_Exception&) {
      // Refused requests (missing paths, bound types, too many components)
      // leave the object usable.
    }
    previous = path_text;
  }
  walk(object, u"\\", 0);
  return 0;
}
