// Copyright the kvstore authors.
//
// The input of the pdt_load target: a driver description set packed into
// one byte string, so that a fuzzer mutates every file of it at once.
//
// The input is a sequence of chunks. Each chunk starts with the two bytes
// "@@" and a selector byte, and its contents run to the next "@@" or the end
// of the input; bytes before the first chunk are ignored. The selector's
// low 7 bits modulo 25 name the file: 0 to 23 the capability files in the
// reader's numbering, 24 the key-text file. With the high bit set the file is
// removed from the set instead. Files that no chunk names hold two header
// lines (the key-text file is empty); a later chunk for a file replaces an
// earlier one.
#ifndef KVSTORE_FUZZ_PDT_SET_INPUT_H_
#define KVSTORE_FUZZ_PDT_SET_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr int kPdtSetFiles = 25;  // 24 capability files and the key-text file
inline constexpr int kPdtKeyTextFile = 24;

// The contents of each file of the set (nullopt: the file is missing).
inline std::vector<std::optional<std::string>> pdt_unpack(const uint8_t* data, std::size_t size) {
  std::vector<std::optional<std::string>> files(kPdtSetFiles, std::string("h1\nh2\n"));
  files[kPdtKeyTextFile] = std::string();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t at = input.find("@@");
  while (at != std::string_view::npos && at + 2 < input.size()) {
    const auto selector = static_cast<uint8_t>(input[at + 2]);
    const std::size_t start = at + 3;
    const std::size_t next = input.find("@@", start);
    const int file = (selector & 0x7F) % kPdtSetFiles;
    if (selector & 0x80) {
      files[file].reset();
    } else {
      files[file] = std::string(input.substr(
          start, next == std::string_view::npos ? std::string_view::npos : next - start));
    }
    at = next;
  }
  return files;
}

// The input for a set given as (file, contents) pairs; a negative file
// removes file -1 - file.
inline std::string pdt_pack(const std::vector<std::pair<int, std::string>>& files) {
  std::string out;
  for (const auto& [file, contents] : files) {
    out += "@@";
    if (file < 0) {
      out.push_back(static_cast<char>(0x80 | (-1 - file)));
    } else {
      out.push_back(static_cast<char>(file));
      out += contents;
    }
  }
  return out;
}

#endif  // KVSTORE_FUZZ_PDT_SET_INPUT_H_
