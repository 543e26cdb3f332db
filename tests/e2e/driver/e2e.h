// The end-to-end driver: starts Quorvex.exe, works through its windows as a
// user would and reads them back.
#ifndef QUORVEX_TESTS_E2E_DRIVER_E2E_H
#define QUORVEX_TESTS_E2E_DRIVER_E2E_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// Prints one line per check: "PASS: name" or "FAIL: name: why".
class Report {
 public:
  void Check(bool ok, const std::string& name, const std::string& why = "");
  void Equal(const std::string& name, const std::string& got, const std::string& want);
  void Equal(const std::string& name, long long got, long long want);
  int failed() const { return failed_; }

 private:
  int failed_ = 0;
};

// Makes \r, \n and other control bytes visible.
std::string Escape(const std::string& text);

// One run of the program under test, its standard output going to a file.
class Session {
 public:
  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();

  bool Start(const std::string& exe, const std::string& stdout_path);
  // Waits up to timeout_ms for the process to end; true when it did.
  bool WaitExit(DWORD timeout_ms);
  void Kill();
  DWORD pid() const { return process_.dwProcessId; }
  DWORD thread_id() const { return process_.dwThreadId; }
  HWND main() const { return main_; }
  // Waits until the program's thread has handled everything sent so far.
  bool WaitIdle();

 private:
  PROCESS_INFORMATION process_ = {};
  HWND main_ = nullptr;
};

// A visible top-level dialog (#32770) of the process, owned by owner (or any
// owner when null) and not in except, waited for up to timeout_ms.
HWND WaitDialog(DWORD pid, HWND owner, HWND except, DWORD timeout_ms);
bool WaitGone(HWND window, DWORD timeout_ms);

std::string Text(HWND window);
bool Visible(HWND window);
bool Enabled(HWND window);
// A control's rectangle in the client coordinates of its parent.
RECT ClientRect(HWND control);
void Click(HWND button);
void PressKey(HWND window, WPARAM key);

// Picks a file in the open-file dialog that the program shows.
bool ChooseFile(HWND file_dialog, const std::string& path);
void CancelDialog(HWND dialog);
// The text of a message box.
std::string MessageBoxText(HWND box);

// Asks the probe that runs inside the program for a description of a window
// ("key=value" lines), or an empty text when it did not answer.
std::string Probe(Session& session, HWND target);

// Writes the window as it is on the screen to a 24-bit BMP file.
bool Screenshot(HWND window, const std::string& path);

std::vector<std::string> Lines(const std::string& text);
bool ReadFile(const std::string& path, std::string& out);
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Sample files and what the program must show for them.
struct Sample {
  std::string path;
  std::string bare_name;
  std::vector<std::uint8_t> bytes;
};
Sample DamagedRecording(const std::string& path, std::string& trace, std::string& errors);
Sample IntactSnapshot(const std::string& path);
Sample UnknownKind(const std::string& path);

// Scenarios; each returns the number of failed checks.
int RunStart(const std::string& exe, const std::string& work);
int RunChecks(const std::string& exe, const std::string& work);
int RunCancel(const std::string& exe, const std::string& work);
int RunRename(const std::string& exe, const std::string& work);
int RunAbout(const std::string& exe, const std::string& work);
int RunClosing(const std::string& exe, const std::string& work);
int RunSamples(const std::string& exe, const std::string& samples, const std::string& work);
int RunResources(const std::string& exe);
// Names in Cyrillic, CJK and emoji chosen through the open-file dialog.
int RunNames(const std::string& exe, const std::string& work);

}  // namespace e2e

#endif
