#include "escape.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvex::report {
namespace {

struct EscapeCase {
  const char* name;
  std::string text;
  std::string posix;    // as written with the POSIX style
  std::string windows;  // as written with the Windows style
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

class EscapeNameTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeNameTest, WritesTheNameSoThatNothingCanBeForged) {
  const EscapeCase& c = GetParam();
  EXPECT_EQ(EscapeName(c.text, NameStyle::kPosix), c.posix);
  EXPECT_EQ(EscapeName(c.text, NameStyle::kWindows), c.windows);
  EXPECT_EQ(IsPlainName(c.text, NameStyle::kPosix), c.posix == c.text);
  EXPECT_EQ(IsPlainName(c.text, NameStyle::kWindows), c.windows == c.text);
}

// Whatever the name, its escaped form is one line of printable ASCII and
// UTF-8 that holds no escape or control character.
TEST_P(EscapeNameTest, EscapedNamesHoldNoControlCharacter) {
  for (const NameStyle style : {NameStyle::kPosix, NameStyle::kWindows}) {
    const std::string written = EscapeName(GetParam().text, style);
    EXPECT_TRUE(IsValidUtf8(written));
    for (const char c : written) {
      EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << written;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, EscapeNameTest,
    ::testing::Values(
        EscapeCase{"Plain", "cam1/snap-0001.jpg", "cam1/snap-0001.jpg", "cam1/snap-0001.jpg"},
        EscapeCase{"Empty", "", "", ""},
        EscapeCase{"SpacesAndPunctuation", "rec 1 (copy) #2!.avi", "rec 1 (copy) #2!.avi",
                   "rec 1 (copy) #2!.avi"},
        EscapeCase{"Cyrillic", "камера-1.jpg", "камера-1.jpg", "камера-1.jpg"},
        EscapeCase{"Cjk", "摄像机.jpg", "摄像机.jpg", "摄像机.jpg"},
        EscapeCase{"Emoji", "\xF0\x9F\x93\xB7.jpg", "\xF0\x9F\x93\xB7.jpg", "\xF0\x9F\x93\xB7.jpg"},
        EscapeCase{"ReplacementCharacterItself", "cam\xEF\xBF\xBD.jpg", "cam\xEF\xBF\xBD.jpg",
                   "cam\xEF\xBF\xBD.jpg"},
        EscapeCase{"LineFeedForgesAVerdict", "x.jpg: This JPEG's check sum is correct\ny.jpg",
                   "\\x.jpg: This JPEG's check sum is correct\\ny.jpg",
                   "\\x.jpg: This JPEG's check sum is correct\\ny.jpg"},
        EscapeCase{"CarriageReturn", "a\rb", "\\a\\rb", "\\a\\rb"},
        EscapeCase{"Tab", "a\tb", "\\a\\tb", "\\a\\tb"},
        EscapeCase{"OtherLowControl",
                   std::string("a\x01"
                               "b\x1F",
                               4),
                   "\\a\\x01b\\x1f", "\\a\\x01b\\x1f"},
        EscapeCase{"Backslash", "a\\nb", "\\a\\\\nb", "a\\nb"},
        EscapeCase{"WindowsPath", "C:\\rec\\cam.jpg", "\\C:\\\\rec\\\\cam.jpg", "C:\\rec\\cam.jpg"},
        EscapeCase{"CursorUpAndEraseLine", "\x1B[1A\x1B[2Kx.jpg", "\\\\x1b[1A\\x1b[2Kx.jpg",
                   "\\\\x1b[1A\\x1b[2Kx.jpg"},
        EscapeCase{"HiddenText", "\x1B[8mx.jpg", "\\\\x1b[8mx.jpg", "\\\\x1b[8mx.jpg"},
        EscapeCase{"OscWindowTitle", "\x1B]0;owned\x07x.jpg", "\\\\x1b]0;owned\\x07x.jpg",
                   "\\\\x1b]0;owned\\x07x.jpg"},
        EscapeCase{"OscLink", "\x1B]8;;http://h/\x1B\\x.jpg", "\\\\x1b]8;;http://h/\\x1b\\\\x.jpg",
                   "\\\\x1b]8;;http://h/\\x1b\\x.jpg"},
        EscapeCase{"Delete", "x\x7F.jpg", "\\x\\x7f.jpg", "\\x\\x7f.jpg"},
        EscapeCase{"C1ControlSequenceIntroducer",
                   "x\xC2\x9B"
                   "2K.jpg",
                   "\\x\\u009b2K.jpg", "\\x\\u009b2K.jpg"},
        EscapeCase{"C1Bounds", "\xC2\x80\xC2\x9F\xC2\xA0", "\\\\u0080\\u009f\xC2\xA0",
                   "\\\\u0080\\u009f\xC2\xA0"},
        EscapeCase{"RightToLeftOverride", "x\xE2\x80\xAEgpj.exe", "\\x\\u202egpj.exe",
                   "\\x\\u202egpj.exe"},
        EscapeCase{"EmbeddingBounds", "\xE2\x80\xAA\xE2\x80\xAD", "\\\\u202a\\u202d",
                   "\\\\u202a\\u202d"},
        EscapeCase{"IsolateBounds", "\xE2\x81\xA6x\xE2\x81\xA9", "\\\\u2066x\\u2069",
                   "\\\\u2066x\\u2069"},
        // Next to the escaped ranges, and written as they are.
        EscapeCase{"NeighboursOfTheBidiRanges", "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
                   "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
                   "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA"},
        EscapeCase{"InvalidByte", "cam\xFF.jpg", "\\cam\\xff.jpg", "\\cam\\xff.jpg"},
        EscapeCase{"Latin1", "cam\xE9ra.jpg", "\\cam\\xe9ra.jpg", "\\cam\\xe9ra.jpg"},
        EscapeCase{"LoneContinuation", "\x80x", "\\\\x80x", "\\\\x80x"},
        EscapeCase{"CutSequenceAtTheEnd", "x\xE2\x80", "\\x\\xe2\\x80", "\\x\\xe2\\x80"},
        EscapeCase{"CutSequenceBeforeAscii",
                   "\xE6\x91"
                   "a",
                   "\\\\xe6\\x91a", "\\\\xe6\\x91a"},
        EscapeCase{"Overlong", "\xC0\xAF", "\\\\xc0\\xaf", "\\\\xc0\\xaf"},
        EscapeCase{"OverlongThreeBytes", "\xE0\x80\xAF", "\\\\xe0\\x80\\xaf", "\\\\xe0\\x80\\xaf"},
        EscapeCase{"Surrogate", "\xED\xA0\x80", "\\\\xed\\xa0\\x80", "\\\\xed\\xa0\\x80"},
        EscapeCase{"AboveTheLastCodePoint", "\xF4\x90\x80\x80", "\\\\xf4\\x90\\x80\\x80",
                   "\\\\xf4\\x90\\x80\\x80"}),
    [](const auto& info) { return std::string(info.param.name); });

struct Base64Case {
  const char* name;
  std::string bytes;
  const char* encoded;
};

class Base64Test : public ::testing::TestWithParam<Base64Case> {};

TEST_P(Base64Test, StandardAlphabetPadded) {
  EXPECT_EQ(Base64(GetParam().bytes), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, Base64Test,
    ::testing::Values(Base64Case{"Empty", "", ""}, Base64Case{"One", "f", "Zg=="},
                      Base64Case{"Two", "fo", "Zm8="}, Base64Case{"Three", "foo", "Zm9v"},
                      Base64Case{"Four", "foob", "Zm9vYg=="},
                      Base64Case{"Five", "fooba", "Zm9vYmE="},
                      Base64Case{"Six", "foobar", "Zm9vYmFy"},
                      Base64Case{"PlusAndSlash", "\xFB\xFF", "+/8="},
                      Base64Case{"NulAndHighBytes", std::string("\0\xFF\xFE", 3), "AP/+"},
                      Base64Case{"InvalidUtf8Name", "cam\xFF.jpg", "Y2Ft/y5qcGc="}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvex::report
