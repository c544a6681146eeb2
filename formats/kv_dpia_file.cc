// Copyright the kvstore authors.
#include "formats/kv_dpia_file.h"

#include <cerrno>
#include <cstring>
#include <istream>
#include <limits>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>

#include "formats/kv_pia_file.h"
#include "formats/kv_srcstreambuf.h"
#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_iterator.h"
#include "platform/codepage.h"
#include "platform/file_stream.h"
#include "platform/stream_check.h"
#include "toolkit/byte_order.h"
#include "toolkit/u16_text.h"
#include "tree/kv_alloc.h"
#include "tree/kv_revision.h"

namespace {

constexpr const char16_t* kLoadSource = u"KV_DPIAFile::load()";
constexpr const char16_t* kSaveSource = u"KV_DPIAFile::save()";
constexpr const char16_t* kVersionSource = u"KV_DPIAFile::getVersion()";
constexpr const char16_t* kOpenSource = u"KV_DPIAFile::open()";
constexpr const char16_t* kDirectorySource = u"KV_DPIAFile::write_directory";
constexpr const char16_t* kSectionSource = u"load_section";

constexpr uint32_t kVersionWord1 = 0x10000;
constexpr uint32_t kVersionWord2 = 0x20000;
constexpr const char16_t* kVersionText1 = u"DPIA_VERSION_1.0";
constexpr const char16_t* kVersionText2 = u"DPIA_VERSION_2.0";
constexpr const char16_t* kSectionHeader = u"DPIA_SECTION_1.0,compress";

// The smallest directory entry: L, offset and size (and M in version 2.0).
constexpr uint64_t kMinEntry1 = 12;
constexpr uint64_t kMinEntry2 = 16;
// The id of the stream check for a read past the end (errno 0).
constexpr unsigned kPastTheEnd = 82;

[[noreturn]] void refuse(const char16_t* source, const char16_t* detail) {
  throw KV_Severe(kPastTheEnd, source, detail, kRevKvdpia);
}

// The info text of a section: the string property taken as wide text up to
// its first zero unit; empty when it is missing or of another type.
std::u16string read_info(const KV_Object& object, const std::u16string& path) {
  const std::size_t bytes = object.getPropertySize(path.c_str());
  if (bytes == 0) return {};
  // Whole units and room for a terminator, whatever the stored size.
  std::u16string buffer(bytes / 2 + 1, u'\0');
  if (!object.GetProperty(path.c_str(), buffer.data(), buffer.size() * sizeof(char16_t))) {
    return {};
  }
  buffer.resize(u16_length(buffer.c_str()));
  return buffer;
}

// True when path names a node that can be walked.
bool node_exists(const KV_Object& object, const std::u16string& path) {
  std::unique_ptr<KV_Iterator> probe(object.newIterator(path.c_str(), -1));
  return probe != nullptr && probe->currentNode() != nullptr;
}

}  // namespace

KV_DPIAFile::KV_DPIAFile(GX_Error_Handler* handler)
    : KV_File(handler),
      m_directoryOffset(4),
      m_stream(nullptr),
      m_directorySize(0),
      m_streamSize(0) {}

KV_DPIAFile::~KV_DPIAFile() {
  if (m_ownedStream != nullptr && m_ownedStream->is_open()) m_ownedStream->close();
}

void KV_DPIAFile::setStream(std::iostream* stream) {
  m_stream = stream;
  setFileName(nullptr);
}

void KV_DPIAFile::open(const char16_t* fileName, int mode) {
  if (m_ownedStream == nullptr) {
    m_ownedStream = std::make_unique<kv_file_stream>();
    m_stream = m_ownedStream.get();
  }
  if (m_ownedStream->is_open()) return;
  if (mode == 0 && !kv_file_exists(fileName)) {
    throw KV_Severe(63, kLoadSource, fileName, kRevKvdpia);
  }
  m_ownedStream->open(fileName, mode == 0 ? std::ios::in : std::ios::out | std::ios::trunc);
  kv_stream_check(kOpenSource, fileName, *m_stream, kRevKvdpia);
  setFileName(fileName);
}

void KV_DPIAFile::close() {
  if (m_ownedStream != nullptr && m_ownedStream->is_open()) m_ownedStream->close();
}

void KV_DPIAFile::check(const char16_t* operation, const char16_t* detail) const {
  kv_stream_check(operation, detail, *m_stream, kRevKvdpia);
}

void KV_DPIAFile::readU32(uint32_t& value, const char16_t* operation, const char16_t* detail) {
  unsigned char bytes[4];
  m_stream->read(reinterpret_cast<char*>(bytes), sizeof bytes);
  check(operation, detail);
  value = get_le32(bytes);
}

void KV_DPIAFile::writeU32(uint32_t value, const char16_t* operation, const char16_t* detail) {
  unsigned char bytes[4];
  put_le32(bytes, value);
  m_stream->write(reinterpret_cast<const char*>(bytes), sizeof bytes);
  check(operation, detail);
}

KV_DPIAFile::Version KV_DPIAFile::readVersion() {
  errno = 0;
  m_stream->seekg(0);
  uint32_t word = 0;
  readU32(word, kVersionSource, fileName());
  if (word == kVersionWord1) return Version::k1;
  if (word == kVersionWord2) return Version::k2;
  report(KV_Error(69, kVersionSource, fileName(), kRevKvdpia));
  return Version::kUnknown;
}

void KV_DPIAFile::getVersion(char16_t* buffer, std::size_t size) {
  const Version version = readVersion();
  if (version == Version::kUnknown || buffer == nullptr || size == 0) return;
  const char16_t* text = version == Version::k1 ? kVersionText1 : kVersionText2;
  const std::size_t length = u16_length(text);
  const std::size_t copied = length < size - 1 ? length : size - 1;
  std::memcpy(buffer, text, copied * sizeof(char16_t));
  buffer[copied] = 0;
}

void KV_DPIAFile::readDirectory(Version version, const char16_t* wanted) {
  const bool withInfo = version == Version::k2;
  m_sections.clear();
  m_stream->seekg(0, std::ios::end);
  const std::streamoff end = m_stream->tellg();
  check(kLoadSource, fileName());
  const auto fileSize = static_cast<uint64_t>(end < 0 ? 0 : end);
  m_streamSize = fileSize;

  // A descriptor is compared as the bytes of the file when that gives the
  // same answer as comparing it decoded: when the wanted text comes back
  // unchanged from UTF-8 and holds no U+FFFD (which an invalid sequence of
  // the file would decode to).
  std::string wantedBytes;
  bool byBytes = false;
  if (wanted != nullptr) {
    const std::size_t length = u16_length(wanted);
    kv_u16_to_utf8(wanted, length, wantedBytes);
    std::u16string back;
    kv_utf8_to_u16(wantedBytes.data(), wantedBytes.size(), back);
    byBytes = back == wanted && back.find(u'\uFFFD') == std::u16string::npos;
  }

  m_stream->seekg(m_directoryOffset);
  uint32_t count = 0;
  readU32(count, kLoadSource, fileName());
  uint64_t position = 8;
  const uint64_t minEntry = withInfo ? kMinEntry2 : kMinEntry1;
  if (count > static_cast<uint32_t>(std::numeric_limits<int>::max()) ||
      position + count * minEntry > fileSize) {
    refuse(kLoadSource, fileName());
  }
  if (wanted == nullptr) m_sections.reserve(count);
  bool found = false;
  std::string bytes;
  for (uint32_t i = 0; i < count; ++i) {
    DPIA_Section section{};
    // Each text must leave room for the rest of its entry.
    const uint64_t rest = withInfo ? 12 : 8;
    uint32_t length = 0;
    readU32(length, kLoadSource, fileName());
    if (position + 4 + length + rest > fileSize) refuse(kLoadSource, fileName());
    bytes.resize(length);
    m_stream->read(bytes.data(), length);
    check(kLoadSource, fileName());
    bool keep = wanted == nullptr;
    if (wanted == nullptr || (!found && !byBytes)) {
      kv_utf8_to_u16(bytes.data(), bytes.size(), section.descriptor);
      if (!keep) keep = section.descriptor == wanted;
    } else if (!found) {
      keep = bytes == wantedBytes;
      if (keep) section.descriptor = wanted;
    }
    position += 4 + uint64_t{length};
    if (withInfo) {
      readU32(length, kLoadSource, fileName());
      if (position + 4 + length + 8 > fileSize) refuse(kLoadSource, fileName());
      if (wanted == nullptr) {
        bytes.resize(length);
        m_stream->read(bytes.data(), length);
        kv_utf8_to_u16(bytes.data(), bytes.size(), section.info);
      } else {
        m_stream->ignore(length);
      }
      check(kLoadSource, fileName());
      position += 4 + uint64_t{length};
    }
    readU32(section.offset, kLoadSource, fileName());
    readU32(section.size, kLoadSource, fileName());
    position += 8;
    if (keep) {
      found = true;
      m_sections.push_back(std::move(section));
    }
  }
  m_directorySize = position;
}

void KV_DPIAFile::load(KV_Object* object, const char16_t* root, KV_Object::FileType) {
  const Version version = readVersion();
  if (version == Version::kUnknown) return;
  readDirectory(version, nullptr);
  const std::u16string base(root != nullptr ? root : u"");
  const std::u16string descriptorPath = base + u"\\DPIA_directory\\*\\descriptor";
  for (std::size_t i = 0; i < m_sections.size(); ++i) {
    const std::u16string& text = m_sections[i].descriptor;
    store(object, descriptorPath.c_str(), text.c_str(), (text.size() + 1) * sizeof(char16_t),
          PROP_STRING, static_cast<int>(i));
  }
  if (version != Version::k2) return;
  const std::u16string infoPath = base + u"\\DPIA_directory\\*\\info";
  for (std::size_t i = 0; i < m_sections.size(); ++i) {
    const std::u16string& text = m_sections[i].info;
    store(object, infoPath.c_str(), text.c_str(), (text.size() + 1) * sizeof(char16_t), PROP_STRING,
          static_cast<int>(i));
  }
}

void KV_DPIAFile::load_section(KV_Object* object, const char16_t* path,
                               const char16_t* descriptor) {
  if (object == nullptr || path == nullptr || descriptor == nullptr) {
    throw KV_Severe(83, kSectionSource, descriptor, kRevKvdpia);
  }
  const Version version = readVersion();
  if (version == Version::kUnknown) return;
  readDirectory(version, descriptor);
  if (m_sections.empty()) throw KV_Severe(83, kSectionSource, descriptor, kRevKvdpia);
  const DPIA_Section* found = &m_sections.front();

  const uint64_t start = m_directorySize + found->offset;
  if (start + found->size > m_streamSize) refuse(kSectionSource, descriptor);
  m_stream->seekg(static_cast<std::streamoff>(start));
  check(kSectionSource, descriptor);
  struct Free {
    void operator()(char* p) const { kv_free(p); }
  };
  std::unique_ptr<char, Free> buffer(static_cast<char*>(kv_alloc(std::size_t{found->size} + 1)));
  buffer.get()[found->size] = 0;
  m_stream->read(buffer.get(), found->size);
  check(kSectionSource, descriptor);

  kv_srcstreambuf source(buffer.get(), found->size);
  std::iostream in(&source);
  KV_PIAFile reader(m_errorHandler);
  reader.setUtf8(true);
  reader.setStream(&in);
  reader.load(object, path, KV_Object::FT_PIA);
  reader.close();
}

void KV_DPIAFile::save(const KV_Object* object, const char16_t* path, KV_Object::FileType type,
                       const char16_t*) {
  errno = 0;
  m_sections.clear();
  m_stream->seekp(0);
  if (type == KV_Object::FT_DPIA) writeU32(kVersionWord2, kSaveSource, fileName());

  const std::u16string base(path != nullptr ? path : u"");
  {
    std::unique_ptr<KV_Iterator> it(object->newIterator(path, 1));
    if (it == nullptr) throw KV_Memory_Exception(55, kSaveSource, u"pIter", kRevKvdpia);
    KV_Object::NodeType move;
    while (const char16_t* name = it->nextNode(move)) {
      if (move == KV_Object::NODE_UP) break;
      DPIA_Section section{name, read_info(*object, base + u"\\" + name + u"\\info"), 0, 0};
      m_sections.push_back(std::move(section));
    }
  }
  writeDirectory();

  uint64_t offset = 0;
  for (DPIA_Section& section : m_sections) {
    std::stringstream text(std::ios::in | std::ios::out | std::ios::binary);
    const std::u16string data = base + u"\\" + section.descriptor + u"\\data";
    if (node_exists(*object, data)) {
      object->save(&text, KV_Object::FT_PIA, kSectionHeader, data.c_str(), true);
    } else {
      KV_Object empty;
      empty.save(&text, KV_Object::FT_PIA, kSectionHeader, u"\\", true);
    }
    const std::string bytes = text.str();
    if (offset + bytes.size() > std::numeric_limits<uint32_t>::max()) {
      refuse(kSaveSource, fileName());
    }
    section.offset = static_cast<uint32_t>(offset);
    section.size = static_cast<uint32_t>(bytes.size());
    offset += bytes.size();
    errno = 0;
    m_stream->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    check(kSaveSource, fileName());
  }
  writeDirectory();
  // Data still buffered would otherwise meet a full disk only at close,
  // where nobody hears of it.
  m_stream->flush();
  check(kSaveSource, fileName());
}

void KV_DPIAFile::writeDirectory() {
  errno = 0;
  m_stream->seekp(m_directoryOffset);
  writeU32(static_cast<uint32_t>(m_sections.size()), kDirectorySource, nullptr);
  std::string text;
  for (const DPIA_Section& section : m_sections) {
    const char16_t* detail = section.descriptor.c_str();
    kv_u16_to_utf8(section.descriptor.data(), section.descriptor.size(), text);
    writeU32(static_cast<uint32_t>(text.size()), kDirectorySource, detail);
    m_stream->write(text.data(), static_cast<std::streamsize>(text.size()));
    check(kDirectorySource, detail);
    kv_u16_to_utf8(section.info.data(), section.info.size(), text);
    writeU32(static_cast<uint32_t>(text.size()), kDirectorySource, detail);
    m_stream->write(text.data(), static_cast<std::streamsize>(text.size()));
    check(kDirectorySource, detail);
    writeU32(section.offset, kDirectorySource, detail);
    writeU32(section.size, kDirectorySource, detail);
  }
}
