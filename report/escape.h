#ifndef QUORVEX_REPORT_ESCAPE_H
#define QUORVEX_REPORT_ESCAPE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvex::report {

// How names are escaped: on Windows a name cannot hold control characters
// and the backslash is the separator, so the backslash stands for itself.
enum class NameStyle { kPosix, kWindows };

#if defined(_WIN32)
inline constexpr NameStyle kNativeNameStyle = NameStyle::kWindows;
#else
inline constexpr NameStyle kNativeNameStyle = NameStyle::kPosix;
#endif

// True when `name` is written as it is: valid UTF-8 made only of printable
// characters (and, in the POSIX style, no backslash).
bool IsPlainName(std::string_view name, NameStyle style = kNativeNameStyle);

// `name` with every character that could change what a reader sees escaped:
// "\\" for a backslash (POSIX style only), "\n", "\r", "\t", "\xHH" for any
// other byte below 0x20, for 0x7F and for every byte that is not part of
// valid UTF-8, and "\uXXXX" for the C1 controls U+0080-U+009F and the
// bidirectional formatting characters U+202A-U+202E and U+2066-U+2069.
std::string EscapeText(std::string_view name, NameStyle style = kNativeNameStyle);

// A name as it goes into a line of text: as it is when plain, otherwise
// escaped with a backslash in front, as sha256sum marks such lines, so that
// no name can end a line, forge another, or move the terminal's cursor.
std::string EscapeName(std::string_view name, NameStyle style = kNativeNameStyle);

// The length of the valid UTF-8 sequence at `text[at]`, with its code point
// in `code`; 0 when the byte there starts none.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, std::uint32_t& code);

// True when `text` is valid UTF-8 throughout (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// `bytes` in base64: the standard alphabet, padded with "=".
std::string Base64(std::string_view bytes);

}  // namespace quorvex::report

#endif
