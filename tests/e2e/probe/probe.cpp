// A window hook that answers a probe message sent to a window of the process
// it was loaded into: it describes the window's system menu and icons, and
// sends the description back to the asking window as WM_COPYDATA.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string IconSize(HICON icon) {
  if (icon == nullptr) return "none";
  ICONINFO info;
  if (!::GetIconInfo(icon, &info)) return "invalid";
  BITMAP bm = {};
  const HBITMAP bitmap = info.hbmColor != nullptr ? info.hbmColor : info.hbmMask;
  ::GetObjectA(bitmap, sizeof(bm), &bm);
  int height = bm.bmHeight;
  if (info.hbmColor == nullptr) height /= 2;  // a monochrome icon stacks its two masks
  if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
  char text[32];
  std::snprintf(text, sizeof(text), "%dx%d", static_cast<int>(bm.bmWidth), height);
  return text;
}

std::string Describe(HWND target) {
  std::string out;
  char line[512];
  const HMENU menu = ::GetSystemMenu(target, FALSE);
  if (menu != nullptr) {
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
      char text[256] = {};
      MENUITEMINFOA mii = {};
      mii.cbSize = sizeof(mii);
      mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
      mii.dwTypeData = text;
      mii.cch = sizeof(text) - 1;
      if (!::GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &mii)) continue;
      const bool separator = (mii.fType & MFT_SEPARATOR) != 0;
      std::snprintf(line, sizeof(line), "menu=%s|%u|%s\n", separator ? "separator" : "string",
                    mii.wID, separator ? "" : text);
      out += line;
    }
  } else {
    out += "menu=none\n";
  }
  const HICON big = reinterpret_cast<HICON>(::SendMessageA(target, WM_GETICON, ICON_BIG, 0));
  const HICON small = reinterpret_cast<HICON>(::SendMessageA(target, WM_GETICON, ICON_SMALL, 0));
  const HICON loaded = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128));
  out += "icon_big=" + IconSize(big) + "\n";
  out += "icon_small=" + IconSize(small) + "\n";
  out += std::string("icon_big_is_small=") + (big != nullptr && big == small ? "yes" : "no") + "\n";
  out += std::string("icon_big_is_resource=") + (big != nullptr && big == loaded ? "yes" : "no") +
         "\n";
  std::snprintf(line, sizeof(line), "icon_big_handle=%llx\n",
                static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(big)));
  out += line;
  std::snprintf(line, sizeof(line), "drag_icon=%llx\n",
                static_cast<unsigned long long>(::SendMessageA(target, WM_QUERYDRAGICON, 0, 0)));
  out += line;
  std::snprintf(line, sizeof(line), "system_icon=%dx%d\n", ::GetSystemMetrics(SM_CXICON),
                ::GetSystemMetrics(SM_CYICON));
  out += line;
  for (HWND child = ::GetWindow(target, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    const LONG style = ::GetWindowLongA(child, GWL_STYLE);
    char cls[64] = {};
    ::GetClassNameA(child, cls, sizeof(cls));
    if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
      const HICON icon = reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0));
      out += "static_icon=" + IconSize(icon) + "\n";
    }
  }
  return out;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    QuorvexProbeHook(int code, WPARAM wParam, LPARAM lParam) {
  static const UINT probe = ::RegisterWindowMessageA("QuorvexE2EProbe");
  if (code == HC_ACTION) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (call->message == probe) {
      const std::string text = Describe(call->hwnd);
      COPYDATASTRUCT data = {};
      data.dwData = 1;
      data.cbData = static_cast<DWORD>(text.size());
      data.lpData = const_cast<char*>(text.data());
      DWORD_PTR ignored = 0;
      ::SendMessageTimeoutA(reinterpret_cast<HWND>(call->wParam), WM_COPYDATA,
                            reinterpret_cast<WPARAM>(call->hwnd), reinterpret_cast<LPARAM>(&data),
                            SMTO_ABORTIFHUNG, 5000, &ignored);
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
