// Copyright the kvstore authors.
//
// Replays corpora through a fuzz target without libFuzzer, so that the
// normal test run checks every seed and every input that once found a bug.
// Usage: <target>_replay <file or folder>...; a folder's files are replayed
// in name order. A crash, a sanitizer report or a failed check of the target
// ends the run; a folder without files fails it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return false;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // An empty input still gets a valid pointer, as libFuzzer gives it.
  std::vector<uint8_t> input(bytes.begin(), bytes.end());
  input.reserve(1);
  LLVMFuzzerTestOneInput(input.data(), input.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <file or folder>...\n", argv[0]);
    return 2;
  }
  std::size_t total = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      if (files.empty()) {
        std::fprintf(stderr, "%s holds no input\n", argv[i]);
        return 1;
      }
    } else {
      files.push_back(arg);
    }
    for (const auto& file : files) {
      if (!replay(file)) return 1;
      ++total;
    }
  }
  std::printf("%zu inputs replayed\n", total);
  return 0;
}
