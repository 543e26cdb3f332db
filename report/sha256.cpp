#include "sha256.h"

#include <algorithm>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace quorvex::report {
namespace {

constexpr std::size_t kDigestBytes = 32;

std::string Hex(const unsigned char* digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < kDigestBytes; ++i) {
    text.push_back(kDigits[digest[i] >> 4]);
    text.push_back(kDigits[digest[i] & 15]);
  }
  return text;
}

}  // namespace

#if defined(_WIN32)

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.ok = BCRYPT_SUCCESS(
             ::BCryptOpenAlgorithmProvider(&s.algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
         BCRYPT_SUCCESS(::BCryptCreateHash(s.algorithm, &s.hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() {
  if (state_->hash != nullptr) ::BCryptDestroyHash(state_->hash);
  if (state_->algorithm != nullptr) ::BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

void Sha256::Update(const std::uint8_t* data, std::size_t size) {
  State& s = *state_;
  // BCryptHashData takes a 32-bit count.
  while (s.ok && size > 0) {
    const ULONG n = static_cast<ULONG>(std::min<std::size_t>(size, 0x40000000u));
    s.ok = BCRYPT_SUCCESS(::BCryptHashData(s.hash, const_cast<PUCHAR>(data), n, 0));
    data += n;
    size -= n;
  }
}

std::string Sha256::HexDigest() {
  State& s = *state_;
  unsigned char digest[kDigestBytes];
  if (!s.ok || !BCRYPT_SUCCESS(::BCryptFinishHash(s.hash, digest, kDigestBytes, 0))) return {};
  s.ok = false;
  return Hex(digest);
}

#else

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
  bool ok = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.context = EVP_MD_CTX_new();
  s.ok = s.context != nullptr && EVP_DigestInit_ex(s.context, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() { EVP_MD_CTX_free(state_->context); }

void Sha256::Update(const std::uint8_t* data, std::size_t size) {
  State& s = *state_;
  if (s.ok && size > 0) s.ok = EVP_DigestUpdate(s.context, data, size) == 1;
}

std::string Sha256::HexDigest() {
  State& s = *state_;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!s.ok || EVP_DigestFinal_ex(s.context, digest, &length) != 1 || length != kDigestBytes) {
    return {};
  }
  s.ok = false;
  return Hex(digest);
}

#endif

}  // namespace quorvex::report
