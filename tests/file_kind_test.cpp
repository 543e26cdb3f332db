#include "file_kind.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace quorvex {
namespace {

struct KindCase {
  const char* name;
  std::string hex;
  std::string kind;
  std::string trace;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

class DetectFileKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(DetectFileKindTest, DecidesFromLeadingBytes) {
  testing::WindowOver w(testing::Hex(GetParam().hex));
  StringTraceSink trace;
  EXPECT_EQ(DetectFileKind(w.window, trace), GetParam().kind);
  EXPECT_EQ(trace.text(), GetParam().trace);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DetectFileKindTest,
    ::testing::Values(
        KindCase{"RiffIsAvi", "52494646 00000000 41564920", "avi", "read RIFF sucess\r\n"},
        KindCase{"WaveIsAviToo", "52494646 24000000 57415645", "avi", "read RIFF sucess\r\n"},
        KindCase{"JpegNeedsTwoBytes", "FFD8", "jpg", "read picture sucess\n"},
        KindCase{"JpegWhateverFollows", "FFD8 0000 1234", "jpg", "read picture sucess\n"},
        KindCase{"PngFirstFourBytesOnly", "89504E47 00000000", "png", ""},
        KindCase{"PngOfJustFourBytes", "89504E47", "png", ""},
        KindCase{"BmpWithNonZeroThirdByte", "424D 66 000000", "bmp", ""},
        KindCase{"BmpWithZeroThirdByteIsUnknown", "424D 00 010000", "",
                 "read RIFF or picture error\r\n"},
        KindCase{"BmpOfTwoBytesIsUnknown", "424D", "", "read RIFF or picture error\r\n"},
        KindCase{"RiffCutShortIsUnknown", "524946", "", "read RIFF or picture error\r\n"},
        KindCase{"PngCutShortIsUnknown", "89504E", "", "read RIFF or picture error\r\n"},
        KindCase{"OneByteIsUnknown", "FF", "", "read RIFF or picture error\r\n"},
        KindCase{"EmptyIsUnknown", "", "", "read RIFF or picture error\r\n"},
        KindCase{"TextIsUnknown", "68656C6C6F", "", "read RIFF or picture error\r\n"},
        KindCase{"LowerCaseRiffIsUnknown", "72696666 00000000", "",
                 "read RIFF or picture error\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvex
