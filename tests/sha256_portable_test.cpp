#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "sha256.h"

namespace quorvex::report {
namespace {

struct DigestCase {
  const char* name;
  std::string input;
  std::size_t piece;  // given in pieces of this many bytes
  const char* digest;
};

class PortableSha256Test : public ::testing::TestWithParam<DigestCase> {};

// Digests from FIPS 180-2's examples and sha256sum.
TEST_P(PortableSha256Test, DigestOfPieces) {
  const DigestCase& c = GetParam();
  Sha256 hash;
  for (std::size_t i = 0; i < c.input.size(); i += c.piece) {
    const std::string part = c.input.substr(i, c.piece);
    hash.Update(reinterpret_cast<const std::uint8_t*>(part.data()), part.size());
  }
  EXPECT_EQ(hash.HexDigest(), c.digest);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, PortableSha256Test,
    ::testing::Values(
        DigestCase{"Empty", "", 1,
                   "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        DigestCase{"Abc", "abc", 1,
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        DigestCase{"TwoBlocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 7,
                   "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        DigestCase{"MillionAsInLargePieces", std::string(1000000, 'a'), 4096,
                   "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        DigestCase{"FiftySixBytesSpillThePadding", std::string(56, 'x'), 3,
                   "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e"},
        DigestCase{"FiftyFiveBytesFillOneBlock", std::string(55, 'x'), 55,
                   "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvex::report
