// Copyright the kvstore authors.
//
// The file operations of KV_Object: the dispatch from a FileType to the
// format object that serves it.
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "drivers/kv_pdt_file.h"
#include "formats/kv_doc_file.h"
#include "formats/kv_dpia_file.h"
#include "formats/kv_file.h"
#include "formats/kv_pia_file.h"
#include "kvstore/kv_exceptions.h"
#include "kvstore/kv_object.h"
#include "legacy/kv_pc2_file.h"
#include "legacy/kv_pcp_file.h"
#include "platform/replace_file.h"
#include "platform/stream_check.h"
#include "tree/kv_revision.h"

namespace {

constexpr const char16_t* kLoad = u"KV_Object::load()";
constexpr const char16_t* kSave = u"KV_Object::save()";
constexpr const char16_t* kVersion = u"KV_Object::getFileVersion()";

// The format object for a load of the given type, or null when the type is
// not served.
std::unique_ptr<KV_File> make_loader(KV_Object::FileType type, GX_Error_Handler* handler) {
  switch (type) {
    case KV_Object::FT_PIA:
      return std::make_unique<KV_PIAFile>(handler);
    case KV_Object::FT_DOC:
      return std::make_unique<KV_DOCFile>(handler);
    case KV_Object::FT_DPIA:
      return std::make_unique<KV_DPIAFile>(handler);
    case KV_Object::FT_PCP:
      return std::make_unique<KV_PCPFile>(handler);
    case KV_Object::FT_PC2:
      return std::make_unique<KV_PC2File>(handler);
    case KV_Object::FT_PDT:
      return std::make_unique<KV_PDTFile>(handler);
    default:
      return nullptr;
  }
}

// A compound document is read through its own file layer, never a stream. A
// driver description set read from a stream takes its key-text file from the
// stream and, having no path, its capability files from the working folder.
bool loads_from_stream(KV_Object::FileType type) { return type != KV_Object::FT_DOC; }

std::unique_ptr<KV_File> make_saver(KV_Object::FileType type, bool utf8) {
  switch (type) {
    case KV_Object::FT_PIA: {
      auto pia = std::make_unique<KV_PIAFile>(nullptr);
      pia->setUtf8(utf8);
      return pia;
    }
    case KV_Object::FT_DOC:
      return std::make_unique<KV_DOCFile>(nullptr);
    case KV_Object::FT_DPIA:
      return std::make_unique<KV_DPIAFile>(nullptr);
    default:
      return nullptr;
  }
}

// Replaces every occurrence of from in e's argument by to (null: nothing),
// keeping e's class, id, source and everything else.
void rename_in_argument(GX_Exception& e, const char16_t* from, const char16_t* to) {
  if (e.argument() == nullptr || from == nullptr || *from == 0) return;
  const std::u16string_view old_name(from);
  std::u16string argument(e.argument());
  bool changed = false;
  for (std::size_t at = argument.find(old_name); at != std::u16string::npos;
       at = argument.find(old_name, at)) {
    const std::u16string_view new_name(to != nullptr ? to : u"");
    argument.replace(at, old_name.size(), new_name);
    at += new_name.size();
    changed = true;
  }
  if (!changed) return;
  GX_Exception renamed(e.module(), e.id(), e.source(), argument.c_str(), e.file(), e.arg_count(),
                       e.args());
  // The source may be a text that e owns, gone once e is assigned.
  renamed.own_source();
  static_cast<GX_Exception&>(e) = renamed;
}

[[noreturn]] void refuse(const char16_t* source) {
  throw KV_Warning(67, source, nullptr, kRevKvobj);
}

}  // namespace

void KV_Object::load(const char16_t* fileName, FileType type, const char16_t* root) {
  if (m_root == nullptr) throw KV_Severe(50, kLoad, u"m_root", kRevKvobj);
  std::unique_ptr<KV_File> format = make_loader(type, m_errorHandler);
  if (format == nullptr) refuse(kLoad);
  format->open(fileName, 0);
  format->load(this, root, type);
  format->close();
}

void KV_Object::load(std::iostream* stream, FileType type, const char16_t* root) {
  if (m_root == nullptr) throw KV_Severe(50, kLoad, u"m_root", kRevKvobj);
  std::unique_ptr<KV_File> format =
      loads_from_stream(type) ? make_loader(type, m_errorHandler) : nullptr;
  if (format == nullptr) refuse(kLoad);
  format->setStream(stream);
  format->load(this, root, type);
  format->close();
}

void KV_Object::load_section(const char16_t* fileName, FileType type, const char16_t* path,
                             const char16_t* descriptor) {
  if (m_root == nullptr) throw KV_Severe(50, kLoad, u"m_root", kRevKvobj);
  if (type != FT_DPIA) refuse(kLoad);
  auto format = std::make_unique<KV_DPIAFile>(m_errorHandler);
  format->open(fileName, 0);
  format->load_section(this, path, descriptor);
  format->close();
}

void KV_Object::load_cfg_section(const char16_t* fileName, FileType type, const char16_t* root,
                                 int section) {
  if (m_root == nullptr) throw KV_Severe(50, kLoad, u"m_root", kRevKvobj);
  if (type != FT_CFG) refuse(kLoad);
  auto format = std::make_unique<KV_CFGFile>(m_errorHandler);
  format->open(fileName, 0);
  format->load_section(this, root, section);
  format->close();
}

// A save to a file name writes a new file beside the target and renames it
// over the target once it is complete (see platform/replace_file.h), so that
// a failed save leaves the previous file as it was and no new file behind.
// The format writes the name it is given; the errors it raises name the
// caller's file, as they would without the new file.
void KV_Object::save(const char16_t* fileName, FileType type, const char16_t* options,
                     const char16_t* path, bool utf8) const {
  if (m_root == nullptr) throw KV_Severe(50, kSave, u"m_root", kRevKvobj);
  std::unique_ptr<KV_File> format = make_saver(type, utf8);
  if (format == nullptr) refuse(kSave);
  kv_replace_file target(fileName);
  if (target.error() != 0) kv_raise_file_error(kSave, fileName, target.error(), kRevKvobj);
  try {
    format->open(target.write_name(), 1);
    format->save(this, path, type, options);
    format->close();
    format.reset();
    if (const int error = target.commit()) kv_raise_file_error(kSave, fileName, error, kRevKvobj);
  } catch (GX_Exception& e) {
    if (!target.in_place()) rename_in_argument(e, target.write_name(), fileName);
    throw;  // target removes the new file
  }
}

void KV_Object::save(const char16_t* fileName, FileType type, const char16_t* options,
                     const char16_t* path) const {
  save(fileName, type, options, path, false);
}

void KV_Object::save(std::iostream* stream, FileType type, const char16_t* options,
                     const char16_t* path, bool utf8) const {
  if (m_root == nullptr) throw KV_Severe(50, kSave, u"m_root", kRevKvobj);
  std::unique_ptr<KV_File> format = type == FT_DOC ? nullptr : make_saver(type, utf8);
  if (format == nullptr) refuse(kSave);
  format->setStream(stream);
  format->save(this, path, type, options);
  format->close();
}

void KV_Object::save(std::iostream* stream, FileType type, const char16_t* options,
                     const char16_t* path) const {
  save(stream, type, options, path, false);
}

void KV_Object::getFileVersion(const char16_t* fileName, char16_t* buffer, std::size_t size,
                               FileType type) const {
  if (m_root == nullptr) throw KV_Severe(50, kVersion, u"m_root", kRevKvobj);
  std::unique_ptr<KV_File> format;
  if (type == FT_PCP) format = std::make_unique<KV_PIAFile>(nullptr);
  if (type == FT_DOC) format = std::make_unique<KV_DOCFile>(nullptr);
  if (format == nullptr) refuse(kVersion);
  format->open(fileName, 0);
  format->getVersion(buffer, size);
  format->close();
}

void KV_Object::getFileVersion(const char16_t* fileName, char16_t* buffer, FileType type) const {
  getFileVersion(fileName, buffer, std::numeric_limits<std::size_t>::max(), type);
}
