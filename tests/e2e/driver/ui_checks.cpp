#include <cstdio>

#include "e2e.h"

namespace e2e {
namespace {

constexpr int kName = 1001, kPath = 1002, kVideoFormat = 1003, kAudioFormat = 1004,
              kProgress = 1005, kResult = 1006, kDetail = 1007, kIntro = 1008;
constexpr int kResultFields[] = {kPath, kVideoFormat, kAudioFormat, kProgress, kResult};

constexpr char kIntroduction[] =
    "Quorvex is used to verify if video files and snapshot images are obtained from NVR and if "
    "those are modified. \n\nPlease note it that Quorvex supports video files or snapshot images "
    "from NVR firmware 2.0.0.40 or later. \n\nClick \"OK\" to select the file...";

constexpr DWORD kDialogWait = 15000;

HWND Item(const Session& s, int id) { return ::GetDlgItem(s.main(), id); }

std::string Field(const Session& s, int id) { return Text(Item(s, id)); }

std::string Value(const std::string& probe, const std::string& key) {
  for (const std::string& line : Lines(probe)) {
    if (line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
  }
  return "<no " + key + ">";
}

std::vector<std::string> Values(const std::string& probe, const std::string& key) {
  std::vector<std::string> values;
  for (const std::string& line : Lines(probe)) {
    if (line.compare(0, key.size() + 1, key + "=") == 0)
      values.push_back(line.substr(key.size() + 1));
  }
  return values;
}

bool StartSession(Report& report, Session& session, const std::string& exe,
                  const std::string& stdout_path) {
  const bool started = session.Start(exe, stdout_path);
  report.Check(started, "the main dialog opens", "no dialog of " + exe + " appeared");
  return started;
}

// OK, then the file in the open-file dialog; waits until the check is done.
bool RunCheck(Report& report, Session& session, const std::string& path, const std::string& what) {
  Click(Item(session, IDOK));
  const HWND chooser = WaitDialog(session.pid(), session.main(), nullptr, kDialogWait);
  report.Check(chooser != nullptr, what + ": OK shows the open-file dialog");
  if (chooser == nullptr) return false;
  report.Equal(what + ": the open-file dialog's file name starts empty",
               Text(::GetDlgItem(chooser, 0x47C)), "");
  const bool chosen = ChooseFile(chooser, path);
  report.Check(chosen && WaitGone(chooser, kDialogWait), what + ": the file is chosen",
               "the open-file dialog did not close");
  return session.WaitIdle();
}

struct Expected {
  std::string what;
  std::string name, path, video, audio, progress, result;
  bool detail;
};

void CheckFields(Report& report, Session& session, const Expected& e) {
  report.Equal(e.what + ": IDC_NAME", Field(session, kName), e.name);
  report.Equal(e.what + ": IDC_PATH", Field(session, kPath), e.path);
  report.Equal(e.what + ": IDC_VIDEO_FORMAT", Field(session, kVideoFormat), e.video);
  report.Equal(e.what + ": IDC_AUDIO_FORMAT", Field(session, kAudioFormat), e.audio);
  report.Equal(e.what + ": IDC_PROGRESS", Field(session, kProgress), e.progress);
  report.Equal(e.what + ": IDC_RESULT", Field(session, kResult), e.result);
  report.Check(Enabled(Item(session, kDetail)) == e.detail,
               e.what + (e.detail ? ": Detail is enabled" : ": Detail is disabled"));
  report.Check(!Visible(Item(session, kIntro)), e.what + ": the introduction is hidden");
  bool all_visible = Visible(Item(session, kName));
  for (int id : kResultFields) all_visible = all_visible && Visible(Item(session, id));
  report.Check(all_visible, e.what + ": every result field is visible");
}

// Detail, then the message box's text and caption; closes the box.
void CheckDetailBox(Report& report, Session& session, const std::string& what,
                    const std::string& text, const std::string& caption) {
  Click(Item(session, kDetail));
  const HWND box = WaitDialog(session.pid(), session.main(), nullptr, kDialogWait);
  report.Check(box != nullptr, what + ": Detail shows a message box");
  if (box == nullptr) return;
  report.Equal(what + ": the message box lists the failed frames", MessageBoxText(box), text);
  report.Equal(what + ": the message box's caption is the program's name", Text(box), caption);
  report.Check(!Enabled(session.main()), what + ": the main dialog waits for the message box");
  Click(::GetDlgItem(box, IDOK));
  report.Check(WaitGone(box, kDialogWait), what + ": OK closes the message box");
}

bool Make(Report& report, const Sample& sample) {
  const bool ok = WriteFile(sample.path, sample.bytes);
  report.Check(ok, "sample " + sample.path + " is written");
  return ok;
}

const char kDashes[] = "--------------------------\n";

}  // namespace

int RunStart(const std::string& exe, const std::string& work) {
  Report report;
  Session session;
  if (!StartSession(report, session, exe, work + "\\start.out")) return report.failed();

  report.Equal("caption", Text(session.main()), "Quorvex");
  report.Equal("the introduction in full", Field(session, kIntro), kIntroduction);
  report.Check(Visible(Item(session, kIntro)), "the introduction is visible");
  report.Check(Visible(Item(session, kName)), "IDC_NAME is visible");
  report.Equal("IDC_NAME keeps its template text", Field(session, kName), "Name:");
  for (int id : kResultFields) {
    report.Check(!Visible(Item(session, id)), "control " + std::to_string(id) + " is hidden");
  }
  report.Check(!Enabled(Item(session, kDetail)), "Detail is disabled");
  report.Check(Enabled(Item(session, IDOK)) && Enabled(Item(session, IDCANCEL)),
               "OK and Cancel are enabled");

  struct Layout {
    int id;
    int x, y, width, height;
  };
  const Layout layout[] = {
      {kDetail, 405, 70, 60, 20},      {IDOK, 405, 95, 60, 20},
      {IDCANCEL, 405, 120, 60, 20},    {kName, 10, 10, 390, 20},
      {kPath, 10, 25, 390, 30},        {kVideoFormat, 10, 55, 390, 20},
      {kAudioFormat, 10, 70, 390, 20}, {kProgress, 10, 85, 390, 20},
      {kResult, 10, 100, 390, 60},     {kIntro, 10, 10, 390, 300},
  };
  for (const Layout& l : layout) {
    const RECT r = ClientRect(Item(session, l.id));
    char got[64], want[64];
    std::snprintf(got, sizeof(got), "%ld,%ld %ldx%ld", r.left, r.top, r.right - r.left,
                  r.bottom - r.top);
    std::snprintf(want, sizeof(want), "%d,%d %dx%d", l.x, l.y, l.width, l.height);
    report.Equal("control " + std::to_string(l.id) + " in pixels", got, want);
  }

  GUITHREADINFO gui = {};
  gui.cbSize = sizeof(gui);
  if (::GetGUIThreadInfo(session.thread_id(), &gui)) {
    report.Check(gui.hwndFocus == Item(session, IDOK), "the focus is on OK");
  }

  const std::string probe = Probe(session, session.main());
  report.Check(!probe.empty(), "the probe answers from inside the program");
  const std::vector<std::string> menu = Values(probe, "menu");
  report.Check(menu.size() >= 2, "the system menu has items");
  if (menu.size() >= 2) {
    report.Equal("the system menu's last item but one", menu[menu.size() - 2], "separator|0|");
    report.Equal("the system menu's last item", menu.back(), "string|16|Quorvex...");
  }
  report.Equal("the large icon", Value(probe, "icon_big"), Value(probe, "system_icon"));
  report.Equal("the large and the small icon are one", Value(probe, "icon_big_is_small"), "yes");
  report.Equal("the icon is the resource IDR_MAINFRAME", Value(probe, "icon_big_is_resource"),
               "yes");

  // Wine passes no icon handle back to another process, so this is asked
  // from inside too.
  report.Equal("WM_QUERYDRAGICON answers with the icon", Value(probe, "drag_icon"),
               Value(probe, "icon_big_handle"));

  // The help command has no help file behind it: nothing opens, nothing ends.
  ::PostMessageA(session.main(), WM_COMMAND, MAKEWPARAM(0xE146, 0), 0);
  session.WaitIdle();
  report.Check(WaitDialog(session.pid(), nullptr, session.main(), 1000) == nullptr &&
                   ::IsWindow(session.main()),
               "the help command changes nothing");

  Screenshot(session.main(), work + "\\main-dialog-start.bmp");
  return report.failed();
}

int RunChecks(const std::string& exe, const std::string& work) {
  Report report;
  std::string trace, errors;
  const Sample recording = DamagedRecording("C:\\rec\\ch01.avi", trace, errors);
  const Sample snapshot = IntactSnapshot(work + "\\snap01.jpg");
  // A bare name longer than 127 bytes reaches the check whole.
  const Sample long_name = IntactSnapshot(work + "\\" + std::string(126, 's') + ".jpg");
  const Sample unknown = UnknownKind(work + "\\notes.txt");
  ::CreateDirectoryA("C:\\rec", nullptr);
  if (!Make(report, recording) || !Make(report, snapshot) || !Make(report, long_name) ||
      !Make(report, unknown)) {
    return report.failed();
  }

  Session session;
  const std::string out = work + "\\checks.out";
  if (!StartSession(report, session, exe, out)) return report.failed();

  if (RunCheck(report, session, recording.path, "damaged recording")) {
    CheckFields(
        report, session,
        {"damaged recording", "Name: ch01.avi\n", "Path: C:\\rec\\ch01.avi\n",
         "Video format: h264\n", "Audio format: G711\n", "Complete...100%",
         std::string("There are 3 errors in the video file.\n...Finish\n") + kDashes, true});
    Screenshot(session.main(), work + "\\main-dialog-damaged-recording.bmp");
    CheckDetailBox(report, session, "damaged recording", errors, "Quorvex");
  }
  std::string got;
  ReadFile(out, got);
  report.Equal("damaged recording: the trace on standard output", got, trace);

  if (RunCheck(report, session, snapshot.path, "intact snapshot")) {
    CheckFields(report, session,
                {"intact snapshot", "Name: " + snapshot.bare_name + "\n",
                 "Path: " + snapshot.path + "\n", "Video Format: ", "Audio Format: ", "",
                 std::string("This JPEG's check sum is correct\n...Finish\n") + kDashes, false});
    Screenshot(session.main(), work + "\\main-dialog-intact-snapshot.bmp");
  }
  const std::string snapshot_trace =
      "read picture sucess\ncheck_sum = 0x10f02a67\nfile_check_sum = 0x10f02a67,tmp_file_size = "
      "8\n";
  ReadFile(out, got);
  report.Equal("intact snapshot: the trace on standard output", got, trace + snapshot_trace);

  if (RunCheck(report, session, long_name.path, "130-byte name")) {
    report.Equal("130-byte name: IDC_NAME", Field(session, kName),
                 "Name: " + long_name.bare_name + "\n");
    report.Equal("130-byte name: IDC_PATH", Field(session, kPath),
                 "Path: " + long_name.path + "\n");
    report.Equal("130-byte name: IDC_RESULT", Field(session, kResult),
                 std::string("This JPEG's check sum is correct\n...Finish\n") + kDashes);
  }

  if (RunCheck(report, session, unknown.path, "no known kind")) {
    CheckFields(report, session,
                {"no known kind", "Name: notes.txt\n", "Path: " + unknown.path + "\n",
                 "Video Format: ", "Audio Format: ", "", "", false});
    Screenshot(session.main(), work + "\\main-dialog-unknown-kind.bmp");
  }
  ReadFile(out, got);
  report.Equal("no known kind: the trace on standard output", got,
               trace + snapshot_trace + snapshot_trace + "read RIFF or picture error\r\n");
  return report.failed();
}

int RunCancel(const std::string& exe, const std::string& work) {
  Report report;
  std::string trace, errors;
  const Sample recording = DamagedRecording(work + "\\again.avi", trace, errors);
  if (!Make(report, recording)) return report.failed();
  Session session;
  if (!StartSession(report, session, exe, work + "\\cancel.out")) return report.failed();

  const Expected damaged = {
      "the same file again",
      "Name: again.avi\n",
      "Path: " + recording.path + "\n",
      "Video format: h264\n",
      "Audio format: G711\n",
      "Complete...100%",
      std::string("There are 3 errors in the video file.\n...Finish\n") + kDashes,
      true};
  if (!RunCheck(report, session, recording.path, "first check")) return report.failed();
  if (RunCheck(report, session, recording.path, "the same file again")) {
    CheckFields(report, session, damaged);
    CheckDetailBox(report, session, "the same file again", errors, "Quorvex");
  }

  Click(Item(session, IDOK));
  const HWND chooser = WaitDialog(session.pid(), session.main(), nullptr, kDialogWait);
  report.Check(chooser != nullptr, "cancelled choice: OK shows the open-file dialog");
  if (chooser == nullptr) return report.failed();
  CancelDialog(chooser);
  report.Check(WaitGone(chooser, kDialogWait) && session.WaitIdle(),
               "cancelled choice: Cancel closes the open-file dialog");
  Expected kept = damaged;
  kept.what = "cancelled choice";
  CheckFields(report, session, kept);
  CheckDetailBox(report, session, "cancelled choice", "", "Quorvex");
  return report.failed();
}

int RunRename(const std::string& exe, const std::string& work) {
  Report report;
  const std::string renamed = work + "\\Channel Check.exe";
  report.Check(::CopyFileA(exe.c_str(), renamed.c_str(), FALSE) != 0,
               "the program is copied under a new name");
  std::string trace, errors;
  const Sample recording = DamagedRecording(work + "\\renamed.avi", trace, errors);
  if (!Make(report, recording)) return report.failed();
  Session session;
  if (!StartSession(report, session, renamed, work + "\\rename.out")) return report.failed();
  if (RunCheck(report, session, recording.path, "renamed program")) {
    CheckDetailBox(report, session, "renamed program", errors, "Channel Check");
  }
  return report.failed();
}

int RunAbout(const std::string& exe, const std::string& work) {
  Report report;
  Session session;
  if (!StartSession(report, session, exe, work + "\\about.out")) return report.failed();

  // The About entry of the system menu sends its command; the low four bits
  // of the id do not count.
  struct Command {
    UINT id;
    bool opens;
  };
  const Command commands[] = {{16, true}, {31, true}, {15, false}, {32, false}};
  for (const Command& c : commands) {
    const std::string what = "system command " + std::to_string(c.id);
    ::PostMessageA(session.main(), WM_SYSCOMMAND, c.id, 0);
    const HWND about =
        WaitDialog(session.pid(), nullptr, session.main(), c.opens ? kDialogWait : 1500);
    report.Check((about != nullptr) == c.opens,
                 what + (c.opens ? " opens the About box" : " opens nothing"));
    if (about == nullptr) continue;
    if (c.id == 16) {
      report.Equal("About: caption", Text(about), "About Quorvex");
      std::vector<std::string> texts;
      for (HWND child = ::GetWindow(about, GW_CHILD); child != nullptr;
           child = ::GetWindow(child, GW_HWNDNEXT)) {
        texts.push_back(Text(child));
      }
      const std::vector<std::string> want = {"", "Quorvex , Version 1.0.0.11",
                                             "Copyright (C) Quorvex authors", "OK"};
      report.Equal("About: its four controls", static_cast<long long>(texts.size()), 4);
      for (std::size_t i = 0; i < texts.size() && i < want.size(); ++i) {
        if (i > 0) report.Equal("About: control " + std::to_string(i + 1), texts[i], want[i]);
      }
      const std::string probe = Probe(session, about);
      report.Equal("About: the icon", Value(probe, "static_icon"), Value(probe, "system_icon"));
      report.Check(!Enabled(session.main()), "About: the main dialog waits for the About box");
      Screenshot(about, work + "\\about-box.bmp");
      Click(::GetDlgItem(about, IDOK));
    } else {
      PressKey(::GetDlgItem(about, IDOK), VK_ESCAPE);
    }
    report.Check(WaitGone(about, kDialogWait), what + ": the About box closes");
    session.WaitIdle();
    report.Check(::IsWindow(session.main()) && Enabled(session.main()),
                 what + ": the main dialog is back");
  }
  return report.failed();
}

int RunClosing(const std::string& exe, const std::string& work) {
  Report report;
  {
    Session session;
    if (StartSession(report, session, exe, work + "\\enter.out")) {
      PressKey(Item(session, IDOK), VK_RETURN);
      const HWND chooser = WaitDialog(session.pid(), session.main(), nullptr, kDialogWait);
      report.Check(chooser != nullptr, "Enter presses OK: the open-file dialog opens");
      if (chooser != nullptr) {
        CancelDialog(chooser);
        WaitGone(chooser, kDialogWait);
      }
      report.Check(!session.WaitExit(1000) && ::IsWindow(session.main()),
                   "Enter does not close the dialog");
    }
  }
  struct Ending {
    const char* what;
    int how;
  };
  const Ending endings[] = {{"Escape", 0}, {"Cancel", 1}, {"the close command", 2}};
  for (const Ending& e : endings) {
    Session session;
    if (!StartSession(report, session, exe, work + "\\closing.out")) continue;
    if (e.how == 0) PressKey(Item(session, IDOK), VK_ESCAPE);
    if (e.how == 1) Click(Item(session, IDCANCEL));
    if (e.how == 2) ::PostMessageA(session.main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    report.Check(session.WaitExit(kDialogWait), std::string(e.what) + " ends the program");
  }
  return report.failed();
}

}  // namespace e2e

namespace e2e {

// The bundled samples, each chosen in turn in one run of the program.
int RunSamples(const std::string& exe, const std::string& samples, const std::string& work) {
  Report report;
  Session session;
  if (!StartSession(report, session, exe, work + "\\samples.out")) return report.failed();
  const char* const kEnd = "...Finish\n--------------------------\n";
  struct Case {
    const char* file;
    const char* video;
    const char* audio;
    const char* progress;
    const char* verdict;
    const char* errors;  // null: Detail stays disabled
  };
  const Case cases[] = {
      {"recording-h264-damaged.avi", "Video format: h264\n", "Audio format: G711\n",
       "Complete...100%", "There are 2 errors in the video file.\n",
       "frame error(frame_num = 7)\nframe error(frame_num = 30)\n"},
      {"recording-h264-intact.avi", "Video format: h264\n", "Audio format: G711\n",
       "Complete...100%", "No error occur.\n", nullptr},
      {"recording-mjpg-audio.avi", "Video format: mjpg\n", "Audio format: G726\n",
       "Complete...100%", "No error occur.\n", nullptr},
      {"snapshot-intact.jpg", "Video Format: ", "Audio Format: ", "",
       "This JPEG's check sum is correct\n", nullptr},
      {"snapshot-damaged.jpg", "Video Format: ", "Audio Format: ", "",
       "This JPEG's check sum is error\n", nullptr},
      {"snapshot-intact.png", "Video Format: ", "Audio Format: ", "",
       "This PNG's check sum is correct\n", nullptr},
      {"snapshot-intact.bmp", "Video Format: ", "Audio Format: ", "",
       "This BMP's check sum is correct\n", nullptr},
      {"snapshot-unsealed.bmp", "Video Format: ", "Audio Format: ", "",
       "Can't find crc code, it's the invalid file.\n", nullptr},
      {"sound.wav", "Video Format: ", "Audio Format: ", "", "It's the invalid file.\n", nullptr},
  };
  for (const Case& c : cases) {
    const std::string path = samples + "\\" + c.file;
    if (!RunCheck(report, session, path, c.file)) continue;
    CheckFields(report, session,
                {c.file, std::string("Name: ") + c.file + "\n", "Path: " + path + "\n", c.video,
                 c.audio, c.progress, std::string(c.verdict) + kEnd, c.errors != nullptr});
    std::string shot = c.file;
    for (char& ch : shot) {
      if (ch == '.') ch = '-';
    }
    Screenshot(session.main(), work + "\\sample-" + shot + ".bmp");
    if (c.errors != nullptr) CheckDetailBox(report, session, c.file, c.errors, "Quorvex");
  }
  return report.failed();
}

int RunNames(const std::string& exe, const std::string& work) {
  Report report;
  // The driver runs in the UTF-8 code page too (its manifest), so these
  // texts go to and come from the windows as they are written here.
  const char* const names[] = {"камера-1.jpg", "摄像机.jpg", "📷-cam.jpg"};
  std::vector<Sample> samples;
  for (const char* name : names) {
    samples.push_back(IntactSnapshot(work + "\\" + name));
    if (!Make(report, samples.back())) return report.failed();
  }
  Session session;
  if (!StartSession(report, session, exe, work + "\\names.out")) return report.failed();
  for (const Sample& sample : samples) {
    const std::string what = sample.bare_name;
    if (!RunCheck(report, session, sample.path, what)) continue;
    report.Equal(what + ": IDC_NAME", Field(session, kName), "Name: " + sample.bare_name + "\n");
    report.Equal(what + ": IDC_PATH", Field(session, kPath), "Path: " + sample.path + "\n");
    report.Equal(what + ": IDC_RESULT", Field(session, kResult),
                 std::string("This JPEG's check sum is correct\n...Finish\n") + kDashes);
  }
  Screenshot(session.main(), work + "\\main-dialog-names.bmp");
  return report.failed();
}

}  // namespace e2e
