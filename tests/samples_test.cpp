// The bundled samples are exactly what the generator makes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Samples, GeneratorRemakesBundledFiles) {
  const std::filesystem::path out = std::filesystem::path(::testing::TempDir()) / "quorvex-samples";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  const std::string command =
      std::string("'") + QUORVEX_MAKE_SAMPLES_EXE + "' '" + out.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    ++count;
    const std::filesystem::path bundled =
        std::filesystem::path(QUORVEX_SAMPLES_DIR) / entry.path().filename();
    ASSERT_TRUE(std::filesystem::exists(bundled)) << bundled;
    EXPECT_EQ(ReadAll(entry.path()), ReadAll(bundled)) << entry.path().filename();
  }
  EXPECT_EQ(count, 9);
  std::filesystem::remove_all(out);
}

}  // namespace
