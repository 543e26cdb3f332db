#ifndef QUORVEX_REPORT_SHA256_H
#define QUORVEX_REPORT_SHA256_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quorvex::report {

// SHA-256 of a stream of bytes, from the system's cryptography library
// (OpenSSL's libcrypto, or CNG on Windows).
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const std::uint8_t* data, std::size_t size);
  // The digest of everything given, in lower-case hex; empty when the
  // library failed. Ends the hash.
  std::string HexDigest();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quorvex::report

#endif
