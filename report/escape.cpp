#include "escape.h"

#include <cstddef>
#include <cstdint>

namespace quorvex::report {
namespace {

constexpr char kHex[] = "0123456789abcdef";

bool IsEscapedCodePoint(std::uint32_t code) {
  return (code >= 0x80 && code <= 0x9F) || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

bool IsEscapedByte(std::uint8_t byte, NameStyle style) {
  return byte < 0x20 || byte == 0x7F || (byte == '\\' && style == NameStyle::kPosix);
}

void AppendByteEscape(std::string& out, std::uint8_t byte) {
  switch (byte) {
    case '\\':
      out += "\\\\";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xFu];
  }
}

void AppendCodePointEscape(std::string& out, std::uint32_t code) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[code >> shift & 0xFu];
}

}  // namespace

std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, std::uint32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(at);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  std::size_t length = 0;
  std::uint32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
    min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
    min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
    min = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t next = byte(at + i);
    if ((next & 0xC0u) != 0x80u) return 0;
    code = code << 6 | (next & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    std::uint32_t code = 0;
    const std::size_t length = Utf8SequenceAt(text, at, code);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

bool IsPlainName(std::string_view name, NameStyle style) {
  for (std::size_t at = 0; at < name.size();) {
    std::uint32_t code = 0;
    const std::size_t length = Utf8SequenceAt(name, at, code);
    if (length == 0) return false;
    if (length == 1 ? IsEscapedByte(static_cast<std::uint8_t>(code), style)
                    : IsEscapedCodePoint(code)) {
      return false;
    }
    at += length;
  }
  return true;
}

std::string EscapeText(std::string_view name, NameStyle style) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t at = 0; at < name.size();) {
    std::uint32_t code = 0;
    const std::size_t length = Utf8SequenceAt(name, at, code);
    if (length == 0) {
      AppendByteEscape(out, static_cast<std::uint8_t>(name[at]));
      ++at;
      continue;
    }
    if (length == 1 && IsEscapedByte(static_cast<std::uint8_t>(code), style)) {
      AppendByteEscape(out, static_cast<std::uint8_t>(code));
    } else if (length > 1 && IsEscapedCodePoint(code)) {
      AppendCodePointEscape(out, code);
    } else {
      out.append(name.substr(at, length));
    }
    at += length;
  }
  return out;
}

std::string EscapeName(std::string_view name, NameStyle style) {
  if (IsPlainName(name, style)) return std::string(name);
  return "\\" + EscapeText(name, style);
}

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t left = bytes.size() - at;
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) << 16;
    if (left > 1)
      group |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 1])) << 8;
    if (left > 2) group |= static_cast<std::uint8_t>(bytes[at + 2]);
    out += kAlphabet[group >> 18 & 0x3Fu];
    out += kAlphabet[group >> 12 & 0x3Fu];
    out += left > 1 ? kAlphabet[group >> 6 & 0x3Fu] : '=';
    out += left > 2 ? kAlphabet[group & 0x3Fu] : '=';
  }
  return out;
}

}  // namespace quorvex::report
