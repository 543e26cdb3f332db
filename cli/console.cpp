#include "console.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>
#endif

namespace quorvex::cli {
namespace {

std::mutex& HandlerLock() {
  static std::mutex lock;
  return lock;
}
InterruptHandler* current_handler = nullptr;

void WriteErr(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

[[noreturn]] void Interrupted(int exit_status) {
  std::lock_guard<std::mutex> guard(HandlerLock());
  if (current_handler != nullptr) current_handler->OnInterrupt(exit_status);
  ExitInterrupted(exit_status);
}

#if defined(_WIN32)
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      Interrupted(130);
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      Interrupted(143);
    default:
      return FALSE;
  }
}
#else
bool Ignored(int signal) {
  struct sigaction now {};
  return ::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_IGN;
}

// A descriptor that is closed is opened on the null device.
bool ReopenIfClosed(int fd, int flags) {
  if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return true;
  const int opened = ::open("/dev/null", flags);
  if (opened >= 0 && opened != fd) {
    ::dup2(opened, fd);
    ::close(opened);
  }
  return false;
}
#endif

}  // namespace

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
  return _isatty(_fileno(stream)) != 0;
#else
  return ::isatty(::fileno(stream)) != 0;
#endif
}

bool TakesEscapes(std::FILE* stream) {
  if (!IsTerminal(stream)) return false;
#if defined(_WIN32)
  // The classic console shows escape sequences as text unless it is told to
  // take them, which older consoles refuse.
  const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (!::GetConsoleMode(console, &mode)) return false;
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
  return ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
  return true;
#endif
}

void UseBinaryStdio() {
#if defined(_WIN32)
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // Reports and diagnostics are UTF-8, as every name is.
  ::SetConsoleOutputCP(CP_UTF8);
#endif
}

bool MakeStandardDescriptorsSafe() {
#if defined(_WIN32)
  // A Windows console program gets its standard handles from the system;
  // the files it opens are handles, never one of these descriptors.
  return true;
#else
  // In this order, so that each open takes the lowest descriptor free.
  ReopenIfClosed(0, O_RDONLY);
  const bool out_open = ReopenIfClosed(1, O_WRONLY);
  ReopenIfClosed(2, O_WRONLY);
  return out_open;
#endif
}

void ExitOnWriteError(int error) {
  WriteErr(std::string("quorvex-check: write error: ") + std::strerror(error) + "\n");
  std::fflush(stderr);
  std::_Exit(2);
}

bool FlushStdout(int& error) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  error = errno != 0 ? errno : EIO;
  return false;
}

void CatchInterruptions() {
#if defined(_WIN32)
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  // Blocked here, before any other thread is started, so that every thread
  // inherits the mask and only the waiting thread below takes them.
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM}) {
    if (!Ignored(signal)) sigaddset(&set, signal);
  }
  if (sigismember(&set, SIGINT) == 0 && sigismember(&set, SIGTERM) == 0) return;
  if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
  std::thread([set] {
    for (;;) {
      int signal = 0;
      if (::sigwait(&set, &signal) != 0) continue;
      Interrupted(signal == SIGINT ? 130 : 143);
    }
  }).detach();
#endif
}

void SetInterruptHandler(InterruptHandler* handler) {
  std::lock_guard<std::mutex> guard(HandlerLock());
  current_handler = handler;
}

void ExitInterrupted(int exit_status) {
  WriteErr("quorvex-check: interrupted\n");
  std::fflush(stderr);
  std::_Exit(exit_status);
}

}  // namespace quorvex::cli
