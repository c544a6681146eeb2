// Copyright the kvstore authors.
#include "commands.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <sstream>

#include "atomic_file.h"
#include "error_report.h"
#include "json_tree.h"
#include "tool_error.h"
#include "utf.h"

namespace {

// ---- Files and paths.

FileKind kind_of_existing(const CommonOptions& common, const std::string& file) {
  return common.kind ? *common.kind : recognise_file(file);
}

// A tree path from the command line. "*" is refused: the library would put
// an index in its place.
std::u16string tree_path(const std::string& path) {
  if (path.find('*') != std::string::npos) {
    throw UsageError("the path " + path + " holds \"*\", which the library reads as an index");
  }
  return normalize_path(utf8_to_utf16(path));
}

// The kind that OUT is written as: --to, else OUT's extension when it names
// a kind that can be written, else PIA.
FileKind output_kind(const std::optional<std::string>& to, const std::string& out) {
  if (to) return kind_from_name(*to).value_or(FileKind::kPia);
  const std::optional<FileKind> kind = kind_from_extension(out);
  if (kind == FileKind::kDpia || kind == FileKind::kDoc || kind == FileKind::kJson) return *kind;
  return FileKind::kPia;
}

// A DPIA file loads as its directory only: saving that back would drop
// every section, so the editing commands leave such files alone.
void refuse_sectioned(FileKind kind, const std::string& command) {
  if (kind == FileKind::kDpia) {
    throw ToolError(command +
                    " does not edit DPIA files (a load reads only their directory); "
                    "edit the source tree and convert it again");
  }
}

void write_stdout(const std::string& bytes) {
  std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// ---- Values for set.

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The value that a PIA property line "x=<text>" stores, as the library's own
// PIA reader recognises it. The command line is UTF-8, so the reader reads
// this one line as UTF-8 whatever the code page of the files is.
StoredValue value_from_pia_form(const std::string& text, unsigned codepage) {
  if (text.find_first_of("\r\n") != std::string::npos) {
    throw UsageError("VALUE must be a single line (use --as string for other text)");
  }
  std::stringstream line(std::ios::in | std::ios::out | std::ios::binary);
  line << "PIAFILEVERSION_2.0,\r\nx=" << text << "\n";
  KV_Object scratch;
  kv_set_ansi_codepage(65001);
  try {
    scratch.load(&line, KV_Object::FT_PIA, u"\\");
  } catch (const GX_Exception& e) {
    kv_set_ansi_codepage(codepage);
    throw ToolError("VALUE \"" + text + "\" is no PIA value: " + describe_exception(e));
  } catch (...) {
    kv_set_ansi_codepage(codepage);
    throw;
  }
  kv_set_ansi_codepage(codepage);
  PropertyEntry stored;
  if (!find_property(scratch, u"\\x", stored)) {
    throw ToolError("VALUE \"" + text + "\" is no PIA value");
  }
  return stored.value;
}

StoredValue value_as(const std::string& text, const std::string& as) {
  StoredValue value;
  auto refuse = [&]() { throw UsageError("VALUE \"" + text + "\" is not a valid " + as); };
  if (as == "int") {
    value.type = PROP_INT;
    errno = 0;
    char* end = nullptr;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE ||
        number < std::numeric_limits<int32_t>::min() ||
        number > std::numeric_limits<int32_t>::max()) {
      refuse();
    }
    const auto stored = static_cast<int32_t>(number);
    value.bytes.resize(sizeof(stored));
    std::memcpy(value.bytes.data(), &stored, sizeof(stored));
  } else if (as == "double") {
    value.type = PROP_DOUBLE;
    double number = 0;
    if (stringtodouble(utf8_to_utf16(text).c_str(), &number) != 1) refuse();
    value.bytes.resize(sizeof(number));
    std::memcpy(value.bytes.data(), &number, sizeof(number));
  } else if (as == "bool") {
    value.type = PROP_BOOL;
    const std::string word = lower(text);
    if (word == "true" || word == "1") {
      value.bytes.assign(1, 1);
    } else if (word == "false" || word == "0") {
      value.bytes.assign(1, 0);
    } else {
      refuse();
    }
  } else if (as == "string") {
    value.type = PROP_STRING;
    const std::u16string wide = utf8_to_utf16(text);
    value.bytes.resize((wide.size() + 1) * sizeof(char16_t));
    std::memcpy(value.bytes.data(), wide.c_str(), value.bytes.size());
  } else {
    value.type = PROP_VOID;
    if (text.size() % 2 != 0) refuse();
    for (std::size_t i = 0; i < text.size(); i += 2) {
      const std::string pair = text.substr(i, 2);
      if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
          !std::isxdigit(static_cast<unsigned char>(pair[1]))) {
        refuse();
      }
      value.bytes.push_back(static_cast<unsigned char>(std::strtoul(pair.c_str(), nullptr, 16)));
    }
  }
  return value;
}

// ---- Codecs.

using CodecRun = bool (*)(const unsigned char* data, uint32_t size, GX_Error_Handler* handler,
                          unsigned char*& out, uint32_t& out_size);

template <typename Codec, bool (Codec::*Operation)(unsigned char*&, uint32_t&)>
bool run_codec_operation(const unsigned char* data, uint32_t size, GX_Error_Handler* handler,
                         unsigned char*& out, uint32_t& out_size) {
  Codec codec(data, size, handler);
  return (codec.*Operation)(out, out_size);
}

struct CodecEntry {
  const char* name;
  CodecRun encode;  // null: not part of this build
  CodecRun decode;
};

const CodecEntry kCodecs[] = {
    {"zlib", run_codec_operation<KV_zlib_Codec, &KV_zlib_Codec::encode>,
     run_codec_operation<KV_zlib_Codec, &KV_zlib_Codec::decode>},
    {"zlib-crc", run_codec_operation<KV_zlib_Codec, &KV_zlib_Codec::encodeCRC>,
     run_codec_operation<KV_zlib_Codec, &KV_zlib_Codec::decodeCRC>},
    {"huffman", run_codec_operation<KV_Huffman_Codec, &KV_Huffman_Codec::encode>,
     run_codec_operation<KV_Huffman_Codec, &KV_Huffman_Codec::decode>},
};

std::string read_input(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw ToolError("cannot read " + path);
  return bytes;
}

}  // namespace

void run_dump(const CommonOptions& common, const std::string& file, const std::string& path,
              bool json) {
  ToolTree tree;
  const std::optional<std::string> header =
      load_tree(tree, file, kind_of_existing(common, file), common.load);
  const std::u16string subtree = tree_path(path);
  if (!json) {
    write_stdout(pia_body(tree, subtree));
    return;
  }
  const Activity activity("the JSON text of " + utf16_to_utf8(subtree));
  JsonTree document;
  if (!read_subtree(tree, subtree, document.root)) {
    throw ToolError("no node at " + utf16_to_utf8(subtree));
  }
  document.header = header;
  write_stdout(tree_to_json(document));
}

void run_convert(const CommonOptions& common, const std::string& in, const std::string& out,
                 const std::optional<std::string>& to, const std::optional<std::string>& header,
                 bool utf8, const std::string& path) {
  ToolTree tree;
  const std::optional<std::string> in_header =
      load_tree(tree, in, kind_of_existing(common, in), common.load);
  SaveOptions options;
  options.subtree = tree_path(path);
  options.header = header ? header : in_header;
  options.utf8 = utf8;
  save_tree(tree, out, output_kind(to, out), options);
}

void run_section(const CommonOptions& common, const std::string& file,
                 const std::string& descriptor, const std::string& path, bool json) {
  ToolTree tree;
  tree.load_section(utf8_to_utf16(file).c_str(), KV_Object::FT_DPIA, common.load.root.c_str(),
                    utf8_to_utf16(descriptor).c_str());
  const std::u16string subtree = tree_path(path);
  if (!json) {
    write_stdout(pia_body(tree, subtree));
    return;
  }
  JsonTree document;
  if (!read_subtree(tree, subtree, document.root)) {
    throw ToolError("no node at " + utf16_to_utf8(subtree));
  }
  write_stdout(tree_to_json(document));
}

void run_get(const CommonOptions& common, const std::string& file, const std::string& path) {
  ToolTree tree;
  load_tree(tree, file, kind_of_existing(common, file), common.load);
  PropertyEntry property;
  if (!find_property(tree, tree_path(path), property)) {
    throw ToolError("no value at " + path);
  }
  const StoredValue& value = property.value;
  if (value.type != PROP_STRING) {
    write_stdout(value.text + "\n");
    return;
  }
  // Wide text is printed as UTF-8; narrow text as its bytes.
  if (value.bytes.size() % 2 == 0 && value.bytes.size() >= 2) {
    std::u16string text(value.bytes.size() / 2, u'\0');
    std::memcpy(text.data(), value.bytes.data(), value.bytes.size());
    if (text.back() == 0) {
      write_stdout(utf16_to_utf8(text.c_str()) + "\n");
      return;
    }
  }
  const std::size_t length =
      strnlen(reinterpret_cast<const char*>(value.bytes.data()), value.bytes.size());
  write_stdout(std::string(value.bytes.begin(), value.bytes.begin() + length) + "\n");
}

void run_set(const CommonOptions& common, const std::string& file, const std::string& path,
             const std::string& value, const std::string& as,
             const std::optional<std::string>& header) {
  const std::u16string target = tree_path(path);
  const StoredValue stored =
      as.empty() ? value_from_pia_form(value, common.codepage) : value_as(value, as);
  std::error_code ignored;
  const bool exists = std::filesystem::exists(file, ignored);
  const FileKind kind = exists ? kind_of_existing(common, file)
                               : common.kind.value_or(output_kind(std::nullopt, file));
  refuse_sectioned(kind, "set");
  ToolTree tree;
  std::optional<std::string> file_header;
  if (exists) file_header = load_tree(tree, file, kind, common.load);
  tree.store(target, stored);
  SaveOptions options;
  options.subtree = normalize_path(common.load.root);
  options.header = header ? header : file_header;
  save_tree(tree, file, kind, options);
}

void run_rm(const CommonOptions& common, const std::string& file, const std::string& path) {
  const FileKind kind = kind_of_existing(common, file);
  refuse_sectioned(kind, "rm");
  ToolTree tree;
  const std::optional<std::string> header = load_tree(tree, file, kind, common.load);
  tree.deletePath(tree_path(path).c_str());
  SaveOptions options;
  options.subtree = normalize_path(common.load.root);
  options.header = header;
  save_tree(tree, file, kind, options);
}

void run_version(const CommonOptions& common, const std::string& file) {
  write_stdout(file_version(file, kind_of_existing(common, file)) + "\n");
}

void run_codec(const std::string& codec, const std::string& direction, const std::string& in,
               const std::string& out) {
  const CodecEntry* entry = nullptr;
  for (const CodecEntry& candidate : kCodecs) {
    if (codec == candidate.name) entry = &candidate;
  }
  if (entry == nullptr) throw UsageError("no codec named " + codec);
  const CodecRun run = direction == "encode" ? entry->encode : entry->decode;
  if (run == nullptr) throw ToolError("the " + codec + " codec is not part of this build");
  const Activity activity("the " + direction + "d bytes of " + in);
  const std::string input = read_input(in);
  if (input.size() > std::numeric_limits<uint32_t>::max()) {
    throw ToolError(in + " is larger than a codec block can be (4 GiB)");
  }
  FirstErrorHandler handler;
  unsigned char* output = nullptr;
  uint32_t output_size = 0;
  const bool ok = run(reinterpret_cast<const unsigned char*>(input.data()),
                      static_cast<uint32_t>(input.size()), &handler, output, output_size);
  if (!ok) throw ToolError(handler.first().value_or("the " + codec + " codec failed on " + in));
  std::string bytes;
  try {
    bytes.assign(reinterpret_cast<const char*>(output), output_size);
  } catch (...) {
    KV_Mem_Obj::operator delete(output);
    throw;
  }
  KV_Mem_Obj::operator delete(output);
  write_file_atomically(out, bytes);
}

std::vector<std::string> codec_names() {
  std::vector<std::string> names;
  for (const CodecEntry& entry : kCodecs) names.emplace_back(entry.name);
  return names;
}
