// Runs a fuzz target once over every file named, or every file in the
// folders named, without libFuzzer: the regression inputs and the seed corpus
// in an ordinary build.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void RunOne(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // An exactly sized copy, so that a read past the input is caught.
  std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  data.shrink_to_fit();
  LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg = argv[i];
    if (!std::filesystem::exists(arg)) {
      std::fprintf(stderr, "%s: not found\n", argv[i]);
      return 2;
    }
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(arg);
    }
    for (const auto& f : files) {
      RunOne(f);
      ++count;
    }
  }
  std::printf("%d inputs replayed\n", count);
  return 0;
}
