#include <gtest/gtest.h>

#include "test_support.h"

namespace quorvex {
namespace {

using build::Bytes;
using testing::Hex;

struct SnapshotCase {
  const char* name;
  Bytes file;
  std::string verdict;
  std::string trace;  // behind the kind's own trace line
  CheckStatus status;
};

void PrintTo(const SnapshotCase& c, std::ostream* os) { *os << c.name; }

Bytes Changed(Bytes b, std::size_t at, std::uint8_t value) {
  b[at] = value;
  return b;
}

Bytes SealedBmp() { return build::SealBmp(build::TinyBmp()); }

// A sealed snapshot whose stored checksum ends in the bytes that mark an
// unsealed file: searched for by changing the image until it does.
Bytes SealedEndingIn(Bytes image, std::uint8_t a, std::uint8_t b) {
  for (std::uint32_t n = 0;; ++n) {
    build::PutLe32(image, image.size() - 4, n);
    const Bytes sealed = build::SealJpegOrPng(image);
    if (sealed[sealed.size() - 2] == a && sealed.back() == b) return sealed;
  }
}

std::vector<SnapshotCase> Cases() {
  const Bytes jpeg8 = Hex("FFD8FFD9 10F02A67");
  const Bytes bmp = SealedBmp();
  return {
      {"EightByteJpegIsCorrect", jpeg8, "This JPEG's check sum is correct\n",
       "check_sum = 0x10f02a67\nfile_check_sum = 0x10f02a67,tmp_file_size = 8\n",
       CheckStatus::kIntact},
      {"JpegThirdByteChanged", Changed(jpeg8, 2, 0xFE), "This JPEG's check sum is error\n", "",
       CheckStatus::kDamaged},
      {"JpegFourthByteChanged", Changed(jpeg8, 3, 0xD8), "This JPEG's check sum is error\n", "",
       CheckStatus::kDamaged},
      {"JpegStoredChecksumChanged", Changed(jpeg8, 7, 0x68), "This JPEG's check sum is error\n",
       "check_sum = 0x10f02a67\nfile_check_sum = 0x10f02a68,tmp_file_size = 8\n",
       CheckStatus::kDamaged},
      {"JpegEndingInEndOfImageHasNoSeal", Hex("FFD8FFD9"),
       "Can't find crc code, it's the invalid file.\n", "", CheckStatus::kUnsealed},
      {"FourByteJpegChecksumOfNothing", Hex("FFD80000"), "This JPEG's check sum is error\n",
       "check_sum = 0x0\nfile_check_sum = 0xffd80000,tmp_file_size = 4\n", CheckStatus::kDamaged},
      {"TwoByteJpegHasNoSeal", Hex("FFD8"), "Can't find crc code, it's the invalid file.\n", "",
       CheckStatus::kUnsealed},
      {"ThreeByteJpegHasNoSeal", Hex("FFD8AA"), "Can't find crc code, it's the invalid file.\n", "",
       CheckStatus::kUnsealed},
      {"SealedJpegWhoseChecksumEndsFFD9", SealedEndingIn(build::TinyJpeg(), 0xFF, 0xD9),
       "Can't find crc code, it's the invalid file.\n", "", CheckStatus::kUnsealed},
      {"SealedPngIsCorrect", build::SealJpegOrPng(build::TinyPng()),
       "This PNG's check sum is correct\n", "", CheckStatus::kIntact},
      {"UnsealedPngHasNoFullStop", build::TinyPng(), "Can't find crc code, it's the invalid file\n",
       "", CheckStatus::kUnsealed},
      {"SealedPngWhoseChecksumEnds6082", SealedEndingIn(build::TinyPng(), 0x60, 0x82),
       "Can't find crc code, it's the invalid file\n", "", CheckStatus::kUnsealed},
      {"FourBytePngChecksumOfNothing", Hex("89504E47"), "This PNG's check sum is error\n",
       "check_sum = 0x0\nfile_check_sum = 0x89504e47,tmp_file_size = 4\n", CheckStatus::kDamaged},
      {"SealedBmpIsCorrect", bmp, "This BMP's check sum is correct\n", "", CheckStatus::kIntact},
      {"BmpImageChanged", Changed(bmp, 60, 0x00), "This BMP's check sum is error\n", "",
       CheckStatus::kDamaged},
      {"BmpMarkerFirstLetterChanged", Changed(bmp, bmp.size() - 12, 'W'),
       "Can't find crc code, it's the invalid file.\n", "", CheckStatus::kUnsealed},
      {"BmpMarkerLastLetterChanged", Changed(bmp, bmp.size() - 5, 'M'),
       "Can't find crc code, it's the invalid file.\n", "", CheckStatus::kUnsealed},
      {"BmpMarkerInLowerCase", Changed(bmp, bmp.size() - 9, 'k'),
       "Can't find crc code, it's the invalid file.\n", "", CheckStatus::kUnsealed},
      {"BmpStoredChecksumChanged", Changed(bmp, bmp.size() - 1, 0x00),
       "This BMP's check sum is error\n", "", CheckStatus::kDamaged},
      {"UnsealedBmp", build::TinyBmp(), "Can't find crc code, it's the invalid file.\n", "",
       CheckStatus::kUnsealed},
      {"ElevenByteBmpHasNoSeal", Hex("424D0B 0000000000000000"),
       "Can't find crc code, it's the invalid file.\n", "", CheckStatus::kUnsealed},
      {"TwelveByteBmpHasNoSeal", Hex("424D41 000000000000000000"),
       "Can't find crc code, it's the invalid file.\n", "", CheckStatus::kUnsealed},
      {"SmallestSealedBmp", build::SealBmp(Hex("424D")), "This BMP's check sum is correct\n", "",
       CheckStatus::kIntact},
  };
}

class SnapshotCheckTest : public ::testing::TestWithParam<SnapshotCase> {};

TEST_P(SnapshotCheckTest, GivesVerdictAndTrace) {
  const SnapshotCase& c = GetParam();
  const testing::CheckRun run = testing::RunCheck(c.file);
  EXPECT_EQ(run.panel.text(IDC_RESULT), c.verdict + "...Finish\n--------------------------\n");
  EXPECT_EQ(run.summary.status, c.status);
  const std::string kind_line = run.summary.kind == "jpg" ? "read picture sucess\n" : "";
  if (!c.trace.empty()) {
    EXPECT_EQ(run.trace, kind_line + c.trace);
  }
  if (c.status == CheckStatus::kUnsealed) {
    EXPECT_EQ(run.trace, kind_line);
  }
  // A snapshot check writes no format or progress and never enables Detail.
  EXPECT_EQ(run.panel.text(IDC_VIDEO_FORMAT), "Video Format: ");
  EXPECT_EQ(run.panel.text(IDC_AUDIO_FORMAT), "Audio Format: ");
  EXPECT_EQ(run.panel.text(IDC_PROGRESS), "");
  EXPECT_FALSE(run.panel.detail_enabled());
  EXPECT_EQ(run.summary.walk_end, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Snapshots, SnapshotCheckTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SnapshotCheck, BmpChecksumCoversMarkerButNotTrailer) {
  const Bytes bmp = SealedBmp();
  const std::uint32_t crc = build::ReferenceCrc32(bmp.data(), bmp.size() - 4);
  char expected[64];
  std::snprintf(expected, sizeof expected, "check_sum = 0x%x\n", crc);
  const testing::CheckRun run = testing::RunCheck(bmp);
  EXPECT_EQ(run.trace.substr(0, run.trace.find('\n') + 1), expected);
  EXPECT_NE(run.trace.find(",tmp_file_size = 114\n"), std::string::npos);
}

}  // namespace
}  // namespace quorvex
