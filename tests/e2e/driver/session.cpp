#include <cstdio>
#include <cstring>

#include "e2e.h"

namespace e2e {

void Report::Check(bool ok, const std::string& name, const std::string& why) {
  if (ok) {
    std::printf("PASS: %s\n", name.c_str());
  } else {
    ++failed_;
    std::printf("FAIL: %s: %s\n", name.c_str(), why.c_str());
  }
  std::fflush(stdout);
}

void Report::Equal(const std::string& name, const std::string& got, const std::string& want) {
  Check(got == want, name, "got \"" + Escape(got) + "\", want \"" + Escape(want) + "\"");
}

void Report::Equal(const std::string& name, long long got, long long want) {
  Check(got == want, name, "got " + std::to_string(got) + ", want " + std::to_string(want));
}

std::string Escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

Session::~Session() { Kill(); }

bool Session::Start(const std::string& exe, const std::string& stdout_path) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  const HANDLE out = ::CreateFileA(stdout_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nullptr;
  si.hStdOutput = out;
  si.hStdError = out;
  std::string command = "\"" + exe + "\"";
  const BOOL started = ::CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &si, &process_);
  ::CloseHandle(out);
  if (!started) {
    process_ = {};
    return false;
  }
  ::WaitForInputIdle(process_.hProcess, 15000);
  main_ = WaitDialog(process_.dwProcessId, nullptr, nullptr, 20000);
  return main_ != nullptr;
}

bool Session::WaitExit(DWORD timeout_ms) {
  if (process_.hProcess == nullptr) return true;
  return ::WaitForSingleObject(process_.hProcess, timeout_ms) == WAIT_OBJECT_0;
}

void Session::Kill() {
  if (process_.hProcess == nullptr) return;
  if (::WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_.hProcess, 99);
    ::WaitForSingleObject(process_.hProcess, 5000);
  }
  ::CloseHandle(process_.hThread);
  ::CloseHandle(process_.hProcess);
  process_ = {};
}

bool Session::WaitIdle() {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result) != 0;
}

namespace {

struct DialogSearch {
  DWORD pid;
  HWND owner;
  HWND except;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  if (pid != search->pid || window == search->except || !::IsWindowVisible(window)) return TRUE;
  char cls[32] = {};
  ::GetClassNameA(window, cls, sizeof(cls));
  if (std::strcmp(cls, "#32770") != 0) return TRUE;
  if (search->owner != nullptr && ::GetWindow(window, GW_OWNER) != search->owner) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND WaitDialog(DWORD pid, HWND owner, HWND except, DWORD timeout_ms) {
  const DWORD start = ::GetTickCount();
  do {
    DialogSearch search = {pid, owner, except, nullptr};
    ::EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      // Let it finish its initialisation before it is driven.
      DWORD_PTR ignored = 0;
      ::SendMessageTimeoutA(search.found, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
      return search.found;
    }
    ::Sleep(50);
  } while (::GetTickCount() - start < timeout_ms);
  return nullptr;
}

bool WaitGone(HWND window, DWORD timeout_ms) {
  const DWORD start = ::GetTickCount();
  while (::IsWindow(window) && ::IsWindowVisible(window)) {
    if (::GetTickCount() - start >= timeout_ms) return false;
    ::Sleep(50);
  }
  return true;
}

std::string Text(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length)) {
    return "<no answer>";
  }
  std::vector<char> buffer(length + 2, '\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_NORMAL, 5000, &copied);
  return std::string(buffer.data(), copied);
}

bool Visible(HWND window) { return (::GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0; }

bool Enabled(HWND window) { return ::IsWindowEnabled(window) != 0; }

RECT ClientRect(HWND control) {
  RECT r = {};
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void Click(HWND button) { ::PostMessageA(button, BM_CLICK, 0, 0); }

void PressKey(HWND window, WPARAM key) {
  const UINT scan = ::MapVirtualKeyA(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
  ::PostMessageA(window, WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
  ::PostMessageA(window, WM_KEYUP, key, 1 | (static_cast<LPARAM>(scan) << 16) | (3LL << 30));
}

bool ChooseFile(HWND file_dialog, const std::string& path) {
  // The file-name box: a combo box in the Explorer-style dialog, an edit box
  // in the older one.
  HWND name = ::GetDlgItem(file_dialog, 0x47C);
  if (name == nullptr) name = ::GetDlgItem(file_dialog, 0x480);
  if (name == nullptr) return false;
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_NORMAL,
                        5000, &ignored);
  const HWND open = ::GetDlgItem(file_dialog, IDOK);
  if (open == nullptr) return false;
  Click(open);
  return true;
}

void CancelDialog(HWND dialog) {
  const HWND cancel = ::GetDlgItem(dialog, IDCANCEL);
  if (cancel != nullptr) {
    Click(cancel);
  } else {
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  }
}

std::string MessageBoxText(HWND box) {
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    char cls[32] = {};
    ::GetClassNameA(child, cls, sizeof(cls));
    const LONG style = ::GetWindowLongA(child, GWL_STYLE);
    if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) != SS_ICON) return Text(child);
  }
  return "<no text control>";
}

namespace {

std::string g_probe_answer;
bool g_probe_answered = false;

LRESULT CALLBACK ReplyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    g_probe_answer.assign(static_cast<const char*>(data->lpData), data->cbData);
    g_probe_answered = true;
    return TRUE;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

HWND ReplyWindow() {
  static HWND window = nullptr;
  if (window == nullptr) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &ReplyWindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "QuorvexE2EReply";
    ::RegisterClassA(&wc);
    window = ::CreateWindowA("QuorvexE2EReply", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             wc.hInstance, nullptr);
  }
  return window;
}

}  // namespace

std::string Probe(Session& session, HWND target) {
  static HMODULE probe = ::LoadLibraryA("quorvex-probe.dll");
  if (probe == nullptr) return "";
  const auto hook_proc = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void*>(::GetProcAddress(probe, "QuorvexProbeHook")));
  if (hook_proc == nullptr) return "";
  const HHOOK hook = ::SetWindowsHookExA(WH_CALLWNDPROC, hook_proc, probe, session.thread_id());
  if (hook == nullptr) return "";
  g_probe_answer.clear();
  g_probe_answered = false;
  const UINT message = ::RegisterWindowMessageA("QuorvexE2EProbe");
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutA(target, message, reinterpret_cast<WPARAM>(ReplyWindow()), 0, SMTO_NORMAL,
                        10000, &ignored);
  ::UnhookWindowsHookEx(hook);
  return g_probe_answered ? g_probe_answer : "";
}

bool Screenshot(HWND window, const std::string& path) {
  RECT r;
  if (!::GetWindowRect(window, &r)) return false;
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;
  const HDC screen = ::GetDC(nullptr);
  const HDC memory = ::CreateCompatibleDC(screen);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  const HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(memory, old);

  BITMAPINFOHEADER info = {};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const int stride = (width * 3 + 3) & ~3;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * height);
  const int rows = ::GetDIBits(memory, bitmap, 0, height, pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (rows != height) return false;

  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  info.biSizeImage = static_cast<DWORD>(pixels.size());
  std::vector<std::uint8_t> bytes(file.bfSize);
  std::memcpy(bytes.data(), &file, sizeof(file));
  std::memcpy(bytes.data() + sizeof(file), &info, sizeof(info));
  std::memcpy(bytes.data() + file.bfOffBits, pixels.data(), pixels.size());
  return WriteFile(path, bytes);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool ReadFile(const std::string& path, std::string& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  out.clear();
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return true;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace e2e
