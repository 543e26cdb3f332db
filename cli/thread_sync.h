#ifndef QUORVEX_CLI_THREAD_SYNC_H
#define QUORVEX_CLI_THREAD_SYNC_H

// A mutex, a condition variable and a thread for the ordered runner. The
// Windows cross compiler's thread model has none of the standard ones, so
// there they are thin wrappers of the system's own.

#include <chrono>
#include <mutex>

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <process.h>
#include <windows.h>

#include <functional>
#include <memory>
#else
#include <condition_variable>
#include <thread>
#endif

namespace quorvex::cli {

#if defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)

class Mutex {
 public:
  Mutex() { ::InitializeCriticalSection(&section_); }
  ~Mutex() { ::DeleteCriticalSection(&section_); }
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock() { ::EnterCriticalSection(&section_); }
  void unlock() { ::LeaveCriticalSection(&section_); }
  CRITICAL_SECTION* native() { return &section_; }

 private:
  CRITICAL_SECTION section_;
};

class CondVar {
 public:
  CondVar() { ::InitializeConditionVariable(&cv_); }
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;
  void notify_one() { ::WakeConditionVariable(&cv_); }
  void notify_all() { ::WakeAllConditionVariable(&cv_); }
  template <class Predicate>
  void wait(std::unique_lock<Mutex>& lock, Predicate ready) {
    while (!ready()) ::SleepConditionVariableCS(&cv_, lock.mutex()->native(), INFINITE);
  }
  // Waits once, at most `timeout`; the caller waits again as it needs.
  template <class Predicate>
  bool wait_for(std::unique_lock<Mutex>& lock, std::chrono::milliseconds timeout, Predicate ready) {
    if (!ready()) {
      ::SleepConditionVariableCS(&cv_, lock.mutex()->native(), static_cast<DWORD>(timeout.count()));
    }
    return ready();
  }

 private:
  CONDITION_VARIABLE cv_;
};

class Thread {
 public:
  explicit Thread(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    handle_ = reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &Thread::Start, owned.get(), 0, nullptr));
    if (handle_ != nullptr) owned.release();
  }
  Thread(Thread&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread() {
    if (handle_ != nullptr) ::CloseHandle(handle_);
  }
  void join() {
    if (handle_ == nullptr) return;
    ::WaitForSingleObject(handle_, INFINITE);
    ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static unsigned __stdcall Start(void* body) {
    std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
    (*owned)();
    return 0;
  }
  HANDLE handle_ = nullptr;
};

#else

using Mutex = std::mutex;
using CondVar = std::condition_variable;
using Thread = std::thread;

#endif

}  // namespace quorvex::cli

#endif
