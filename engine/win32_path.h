#ifndef QUORVEX_ENGINE_WIN32_PATH_H
#define QUORVEX_ENGINE_WIN32_PATH_H

#include <string>

namespace quorvex {

// A path in the process's code page (UTF-8 where the executable's manifest
// asks for it) as the wide calls take it. A path too long for the 8-bit
// calls is made absolute and given the "\\?\" prefix, which lifts the limit
// of MAX_PATH characters. Empty when the text cannot be converted.
std::wstring WidePath(const std::string& path);

// A wide name back in the process's code page.
std::string NarrowName(const wchar_t* name);

}  // namespace quorvex

#endif
