#ifndef QUORVEX_ENGINE_TEXT_FORMAT_H
#define QUORVEX_ENGINE_TEXT_FORMAT_H

#include <string>

namespace quorvex {

// printf-style formatting into a string that grows to fit what it holds.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
FormatText(const char* format, ...);

}  // namespace quorvex

#endif
