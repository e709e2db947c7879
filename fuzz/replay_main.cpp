// A plain main for a fuzz target, so any compiler builds it without libFuzzer: feeds every
// file named on the command line, and every file inside a named folder (in name order), to
// LLVMFuzzerTestOneInput once. A crash or a sanitizer report ends the process; a name that
// holds no input at all is an error, so an emptied or moved corpus cannot pass unnoticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(const fs::path& name) {
  std::vector<fs::path> files;
  std::error_code ec;
  if (fs::is_directory(name, ec)) {
    for (const fs::directory_entry& e : fs::directory_iterator(name, ec))
      if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
  } else if (fs::is_regular_file(name, ec)) {
    files.push_back(name);
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE|FOLDER...\n", argv[0]);
    return 2;
  }
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  size_t total = 0;
  for (int i = 1; i < argc; ++i) {
    const std::vector<fs::path> files = InputsOf(argv[i]);
    if (files.empty()) {
      std::fprintf(stderr, "%s: no input in %s\n", argv[0], argv[i]);
      return 1;
    }
    for (const fs::path& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], file.c_str());
        return 1;
      }
      // Each input in a buffer of its own exact size, as libFuzzer hands it over, so a read
      // past its end is caught by the sanitizers.
      const std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[bytes.size()]);
      std::copy(bytes.begin(), bytes.end(), data.get());
      LLVMFuzzerTestOneInput(data.get(), bytes.size());
      ++total;
    }
  }
  std::printf("%s: replayed %zu inputs\n", fs::path(argv[0]).filename().c_str(), total);
  return 0;
}
