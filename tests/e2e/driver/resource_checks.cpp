#include <cstdio>
#include <cstring>

#include "e2e.h"

namespace e2e {
namespace {

std::string Narrow(const std::wstring& wide) {
  std::string out;
  for (wchar_t c : wide) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// Reads a dialog template (the extended form) field by field.
class TemplateReader {
 public:
  TemplateReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  std::uint32_t U16() { return Take(2); }
  std::uint32_t U32() { return Take(4); }
  std::uint32_t U8() { return Take(1); }
  int S16() { return static_cast<std::int16_t>(Take(2)); }
  void Align4() { pos_ = (pos_ + 3) & ~std::size_t{3}; }
  void Skip(std::size_t n) { pos_ += n; }
  std::wstring Wide() {
    std::wstring text;
    for (std::uint32_t c = U16(); ok_ && c != 0; c = U16()) text.push_back(static_cast<wchar_t>(c));
    return text;
  }
  // A name or an ordinal: "" for none, "#n" for an ordinal.
  std::string NameOrOrdinal() {
    const std::uint32_t first = U16();
    if (first == 0) return "";
    if (first == 0xFFFF) return "#" + std::to_string(U16());
    std::wstring text(1, static_cast<wchar_t>(first));
    text += Wide();
    return Narrow(text);
  }

 private:
  std::uint32_t Take(int n) {
    if (pos_ + n > size_) {
      ok_ = false;
      return 0;
    }
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<std::uint32_t>(data_[pos_ + i]) << (8 * i);
    pos_ += n;
    return v;
  }
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

bool Resource(HMODULE module, LPCSTR type, LPCSTR name, const std::uint8_t*& data,
              std::size_t& size) {
  const HRSRC found =
      ::FindResourceExA(module, type, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (found == nullptr) return false;
  const HGLOBAL loaded = ::LoadResource(module, found);
  if (loaded == nullptr) return false;
  data = static_cast<const std::uint8_t*>(::LockResource(loaded));
  size = ::SizeofResource(module, found);
  return data != nullptr;
}

struct ExpectedControl {
  std::string id, cls, text;
  std::uint32_t style;
  int x, y, cx, cy;
};

struct ExpectedDialog {
  int id;
  std::uint32_t style, ex_style;
  int cx, cy;
  std::string caption;
  std::vector<ExpectedControl> controls;
};

std::string Hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", v);
  return text;
}

void CheckDialog(Report& report, HMODULE module, const ExpectedDialog& want) {
  const std::string what = "dialog template " + std::to_string(want.id);
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  report.Check(Resource(module, RT_DIALOG, MAKEINTRESOURCEA(want.id), data, size),
               what + " is there in English (United States)");
  if (data == nullptr) return;
  TemplateReader r(data, size);
  report.Equal(what + ": extended template", Hex(r.U16() | (r.U16() << 16)), Hex(0xFFFF0001u));
  report.Equal(what + ": help id", static_cast<long long>(r.U32()), 0);
  report.Equal(what + ": extended style", Hex(r.U32()), Hex(want.ex_style));
  report.Equal(what + ": style", Hex(r.U32()), Hex(want.style));
  const std::uint32_t count = r.U16();
  report.Equal(what + ": control count", count, static_cast<long long>(want.controls.size()));
  char rect[64];
  const int x = r.S16(), y = r.S16(), cx = r.S16(), cy = r.S16();
  std::snprintf(rect, sizeof(rect), "%d,%d %dx%d", x, y, cx, cy);
  report.Equal(what + ": position and size", rect,
               "0,0 " + std::to_string(want.cx) + "x" + std::to_string(want.cy));
  report.Equal(what + ": menu", r.NameOrOrdinal(), "");
  report.Equal(what + ": window class", r.NameOrOrdinal(), "");
  report.Equal(what + ": caption", Narrow(r.Wide()), want.caption);
  const int points = static_cast<int>(r.U16());
  const int weight = static_cast<int>(r.U16());
  const int italic = static_cast<int>(r.U8());
  const int charset = static_cast<int>(r.U8());
  std::snprintf(rect, sizeof(rect), "%d pt, weight %d, italic %d, charset %d", points, weight,
                italic, charset);
  report.Equal(what + ": font", std::string(rect) + ", " + Narrow(r.Wide()),
               "8 pt, weight 0, italic 0, charset 1, MS Shell Dlg");
  for (std::size_t i = 0; i < count && i < want.controls.size(); ++i) {
    const ExpectedControl& c = want.controls[i];
    const std::string cw = what + " control " + std::to_string(i + 1);
    r.Align4();
    report.Equal(cw + ": help id", static_cast<long long>(r.U32()), 0);
    report.Equal(cw + ": extended style", Hex(r.U32()), Hex(0));
    report.Equal(cw + ": style", Hex(r.U32()), Hex(c.style));
    const int ix = r.S16(), iy = r.S16(), icx = r.S16(), icy = r.S16();
    char got[64], want_rect[64];
    std::snprintf(got, sizeof(got), "%d,%d %dx%d", ix, iy, icx, icy);
    std::snprintf(want_rect, sizeof(want_rect), "%d,%d %dx%d", c.x, c.y, c.cx, c.cy);
    report.Equal(cw + ": rectangle", got, want_rect);
    report.Equal(cw + ": id", std::to_string(static_cast<std::int32_t>(r.U32())), c.id);
    report.Equal(cw + ": class", r.NameOrOrdinal(), c.cls);
    report.Equal(cw + ": text", r.NameOrOrdinal(), c.text);
    r.Skip(r.U16());
  }
  report.Check(r.ok(), what + " is read within its bounds");
}

void CheckIcons(Report& report, HMODULE module) {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  report.Check(Resource(module, RT_GROUP_ICON, MAKEINTRESOURCEA(128), data, size),
               "icon group 128 is there");
  if (data == nullptr) return;
  TemplateReader r(data, size);
  r.U16();
  report.Equal("icon group: type", static_cast<long long>(r.U16()), 1);
  const std::uint32_t count = r.U16();
  std::string sizes;
  bool all_dib = true, all_32 = true, has_soft_alpha = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t w = r.U8(), h = r.U8();
    r.U8();
    r.U8();
    r.U16();
    const std::uint32_t bits = r.U16();
    r.U32();
    const std::uint32_t id = r.U16();
    const int side = w == 0 ? 256 : static_cast<int>(w);
    sizes += (sizes.empty() ? "" : ",") + std::to_string(side) + (w == h ? "" : "?");
    all_32 = all_32 && bits == 32;
    const std::uint8_t* image = nullptr;
    std::size_t image_size = 0;
    if (!Resource(module, RT_ICON, MAKEINTRESOURCEA(id), image, image_size) || image_size < 40) {
      all_dib = false;
      continue;
    }
    TemplateReader bih(image, image_size);
    const std::uint32_t header = bih.U32();
    const std::int32_t width = static_cast<std::int32_t>(bih.U32());
    const std::int32_t height = static_cast<std::int32_t>(bih.U32());
    bih.U16();
    const std::uint32_t bit_count = bih.U16();
    const std::uint32_t compression = bih.U32();
    all_dib = all_dib && header == 40 && width == side && height == 2 * side && bit_count == 32 &&
              compression == BI_RGB;
    const std::size_t pixels = static_cast<std::size_t>(side) * side;
    for (std::size_t p = 0; p < pixels && 40 + 4 * p + 3 < image_size; ++p) {
      const std::uint8_t alpha = image[40 + 4 * p + 3];
      if (alpha != 0 && alpha != 255) has_soft_alpha = true;
    }
  }
  report.Equal("icon group: square image sizes", sizes, "16,32,48,64,128,256");
  report.Check(all_32, "icon group: 32 bits per pixel");
  report.Check(all_dib, "icon images: uncompressed bitmaps of their size with the mask");
  report.Check(has_soft_alpha, "icon images: an alpha channel is used");

  char first[16] = {};
  ::EnumResourceNamesA(
      module, RT_GROUP_ICON,
      [](HMODULE, LPCSTR, LPSTR name, LONG_PTR param) -> BOOL {
        if (IS_INTRESOURCE(name)) {
          std::snprintf(reinterpret_cast<char*>(param), 16, "%u",
                        static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)));
        }
        return FALSE;
      },
      reinterpret_cast<LONG_PTR>(first));
  report.Equal("icon group 128 is the first icon group", first, "128");
}

// Walks a version resource: each block is length, value length, type, key,
// padding, value, padding, children.
void VersionKeys(const std::uint8_t* data, std::size_t size, const std::string& path,
                 std::vector<std::string>& out) {
  std::size_t pos = 0;
  while (pos + 6 <= size) {
    TemplateReader r(data + pos, size - pos);
    const std::uint32_t length = r.U16();
    const std::uint32_t value_length = r.U16();
    const std::uint32_t type = r.U16();
    if (length < 6 || pos + length > size) return;
    const std::string key = Narrow(r.Wide());
    std::size_t at = 6 + 2 * (key.size() + 1);
    at = (at + 3) & ~std::size_t{3};
    const std::size_t value_bytes = type == 1 ? 2 * value_length : value_length;
    std::string value;
    if (type == 1 && value_length > 0) {
      TemplateReader v(data + pos + at, length - at);
      value = Narrow(v.Wide());
    }
    const std::string full = path.empty() ? key : path + "/" + key;
    out.push_back(full + (type == 1 ? "=" + value : ""));
    std::size_t children = (at + value_bytes + 3) & ~std::size_t{3};
    if (children < length) VersionKeys(data + pos + children, length - children, full, out);
    pos += (length + 3) & ~std::size_t{3};
  }
}

void CheckVersion(Report& report, HMODULE module) {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  report.Check(Resource(module, RT_VERSION, MAKEINTRESOURCEA(1), data, size),
               "version information is there");
  if (data == nullptr) return;
  std::vector<std::uint8_t> copy(data, data + size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (::VerQueryValueA(copy.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size) &&
      fixed != nullptr) {
    report.Equal("version: file version", Hex(fixed->dwFileVersionMS) + Hex(fixed->dwFileVersionLS),
                 Hex(0x00010000) + Hex(0x0000000B));
    report.Equal("version: product version",
                 Hex(fixed->dwProductVersionMS) + Hex(fixed->dwProductVersionLS),
                 Hex(0x00010000) + Hex(0x0000000B));
    report.Equal("version: flags mask", Hex(fixed->dwFileFlagsMask), Hex(0x3F));
    report.Equal("version: flags", Hex(fixed->dwFileFlags), Hex(0));
    report.Equal("version: operating system", Hex(fixed->dwFileOS), Hex(4));
    report.Equal("version: file type and subtype",
                 Hex(fixed->dwFileType) + Hex(fixed->dwFileSubtype), Hex(1) + Hex(0));
    report.Equal("version: file date", Hex(fixed->dwFileDateMS) + Hex(fixed->dwFileDateLS),
                 Hex(0) + Hex(0));
  } else {
    report.Check(false, "version: fixed part", "not readable");
  }
  WORD* translation = nullptr;
  UINT translation_size = 0;
  if (::VerQueryValueA(copy.data(), "\\VarFileInfo\\Translation",
                       reinterpret_cast<void**>(&translation), &translation_size) &&
      translation_size >= 4) {
    report.Equal("version: translation", Hex(translation[0]) + Hex(translation[1]),
                 Hex(0x0409) + Hex(1252));
  } else {
    report.Check(false, "version: translation", "not readable");
  }
  std::vector<std::string> keys;
  VersionKeys(data, size, "", keys);
  std::vector<std::string> strings;
  const std::string block = "VS_VERSION_INFO/StringFileInfo/040904e4/";
  for (const std::string& k : keys) {
    if (k.compare(0, block.size(), block) == 0) strings.push_back(k.substr(block.size()));
  }
  std::string got;
  for (const std::string& s : strings) {
    const std::string key = s.substr(0, s.find('='));
    // Our own wording is not fixed; the other values are.
    if (key == "FileDescription" || key == "LegalCopyright" || key == "ProductName") {
      got += key + (s.size() > key.size() + 1 ? "=(set)" : "=(empty)") + ";";
    } else {
      got += s + ";";
    }
  }
  report.Equal("version: string block 040904e4 in order", got,
               "FileDescription=(set);FileVersion=1.0.0.11;InternalName=Quorvex.exe;"
               "LegalCopyright=(set);OriginalFilename=Quorvex.exe;ProductName=(set);"
               "ProductVersion=1.0.0.11;");
}

void CheckManifest(Report& report, HMODULE module) {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  report.Check(Resource(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), data, size),
               "manifest (type 24, id 1) is there");
  if (data == nullptr) return;
  const std::string text(reinterpret_cast<const char*>(data), size);
  report.Check(text.find("manifestVersion=\"1.0\"") != std::string::npos, "manifest: version 1.0");
  report.Check(text.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>") !=
                   std::string::npos,
               "manifest: asInvoker, uiAccess false");
  report.Check(text.find("<dependency") == std::string::npos &&
                   text.find("Common-Controls") == std::string::npos,
               "manifest: no dependency");
}

void CheckPeHeader(Report& report, const std::string& exe) {
  std::string file;
  report.Check(ReadFile(exe, file) && file.size() > 0x400, "the executable is readable");
  if (file.size() <= 0x400) return;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.data());
  TemplateReader dos(bytes + 0x3C, 4);
  const std::uint32_t pe = dos.U32();
  if (pe + 24 + 240 > file.size() || std::memcmp(bytes + pe, "PE\0\0", 4) != 0) {
    report.Check(false, "PE header", "not found");
    return;
  }
  TemplateReader h(bytes + pe + 4, file.size() - pe - 4);
  report.Equal("PE: machine x86-64", Hex(h.U16()), Hex(0x8664));
  const std::uint32_t sections = h.U16();
  h.Skip(12);
  const std::uint32_t optional_size = h.U16();
  h.U16();
  const std::size_t opt = pe + 24;
  TemplateReader o(bytes + opt, optional_size);
  report.Equal("PE: 64-bit optional header", Hex(o.U16()), Hex(0x20B));
  o.Skip(38);
  char versions[64];
  const int os_major = o.U16(), os_minor = o.U16();
  o.Skip(4);
  const int sub_major = o.U16(), sub_minor = o.U16();
  std::snprintf(versions, sizeof(versions), "os %d.%d, subsystem %d.%d", os_major, os_minor,
                sub_major, sub_minor);
  report.Equal("PE: minimum versions", versions, "os 5.0, subsystem 5.0");
  o.Skip(16);
  report.Equal("PE: graphical subsystem", static_cast<long long>(o.U16()), 2);
  const std::uint32_t characteristics = o.U16();
  const std::uint32_t wanted = 0x0040 | 0x0100 | 0x8000;  // dynamic base, NX, terminal server
  report.Equal("PE: dynamic base, DEP and terminal-server aware", Hex(characteristics & wanted),
               Hex(wanted));

  // Imports: only the system's own libraries, no compiler runtime DLLs.
  TemplateReader dirs(bytes + opt + 112 + 8, 8);
  const std::uint32_t import_rva = dirs.U32();
  auto to_offset = [&](std::uint32_t rva) -> std::size_t {
    const std::size_t table = opt + optional_size;
    for (std::uint32_t i = 0; i < sections; ++i) {
      TemplateReader s(bytes + table + 40 * i + 8, 16);
      const std::uint32_t vsize = s.U32(), vaddr = s.U32(), raw_size = s.U32(), raw = s.U32();
      if (rva >= vaddr && rva < vaddr + (vsize > raw_size ? vsize : raw_size)) {
        return raw + (rva - vaddr);
      }
    }
    return 0;
  };
  std::string imports;
  bool runtime_dll = false;
  for (std::size_t at = to_offset(import_rva); at != 0 && at + 20 <= file.size(); at += 20) {
    TemplateReader d(bytes + at, 20);
    d.Skip(12);
    const std::uint32_t name_rva = d.U32();
    if (name_rva == 0) break;
    const std::size_t name_at = to_offset(name_rva);
    if (name_at == 0 || name_at >= file.size()) break;
    std::string name(reinterpret_cast<const char*>(bytes + name_at));
    for (char& c : name) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    imports += name + " ";
    if (name.find("libstdc++") != std::string::npos || name.find("libgcc") != std::string::npos ||
        name.find("winpthread") != std::string::npos) {
      runtime_dll = true;
    }
  }
  report.Check(!imports.empty() && !runtime_dll, "PE: linked statically", "imports: " + imports);
}

}  // namespace

int RunResources(const std::string& exe) {
  Report report;
  const HMODULE module = ::LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  report.Check(module != nullptr, "the executable loads as data");
  if (module == nullptr) return report.failed();

  const std::uint32_t kButton = 0x50010000, kStatic = 0x50020000;
  CheckDialog(report, module,
              {102,
               0x90C800C8,
               0x00040000,
               320,
               102,
               "Quorvex",
               {{"1", "#128", "OK", kButton | BS_DEFPUSHBUTTON, 272, 63, 41, 14},
                {"2", "#128", "Cancel", kButton | BS_PUSHBUTTON, 272, 81, 41, 14},
                {"1001", "#130", "Name:", kStatic, 7, 7, 22, 8},
                {"1002", "#130", "Path:", kStatic, 7, 21, 18, 8},
                {"1003", "#130", "Video Format:", kStatic, 7, 34, 46, 8},
                {"1004", "#130", "Audio Format:", kStatic, 7, 49, 46, 8},
                {"1005", "#130", "Complete...", kStatic, 7, 63, 39, 8},
                {"1006", "#130", "Result", kStatic, 7, 78, 21, 8},
                {"1007", "#128", "Detail", kButton | BS_PUSHBUTTON, 272, 44, 41, 14},
                {"1008", "#130", "Quorvex...", kStatic, 142, 7, 43, 8}}});
  CheckDialog(report, module,
              {100,
               0x80C800C8,
               0,
               170,
               62,
               "About Quorvex",
               {{"-1", "#130", "#128", 0x50000000 | SS_ICON, 14, 14, 21, 20},
                {"-1", "#130", "Quorvex , Version 1.0.0.11", kStatic | SS_NOPREFIX, 42, 14, 114, 8},
                {"-1", "#130", "Copyright (C) Quorvex authors", kStatic, 42, 26, 114, 8},
                {"1", "#128", "OK", kButton | WS_GROUP | BS_DEFPUSHBUTTON, 113, 41, 50, 14}}});

  char text[64] = {};
  ::LoadStringA(module, 101, text, sizeof(text));
  report.Equal("string 101", text, "Quorvex...");
  const std::uint8_t* block = nullptr;
  std::size_t block_size = 0;
  report.Check(Resource(module, RT_STRING, MAKEINTRESOURCEA(101 / 16 + 1), block, block_size),
               "string 101 is in English (United States)");
  char title[64] = {};
  report.Check(::LoadStringA(module, 0xE000, title, sizeof(title)) == 0,
               "no application title string");

  CheckIcons(report, module);
  CheckVersion(report, module);
  CheckManifest(report, module);
  ::FreeLibrary(module);
  CheckPeHeader(report, exe);
  return report.failed();
}

}  // namespace e2e
