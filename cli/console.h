#ifndef QUORVEX_CLI_CONSOLE_H
#define QUORVEX_CLI_CONSOLE_H

#include <cstdio>
#include <string>

namespace quorvex::cli {

// Whether a stream is a terminal.
bool IsTerminal(std::FILE* stream);
// Whether the terminal behind standard error draws the progress bar's escape
// sequences; on Windows this turns them on where the console can.
bool TakesEscapes(std::FILE* stream);
// Makes the standard streams carry bytes unchanged (no line-end translation)
// and, on Windows, the console show them as UTF-8.
void UseBinaryStdio();

// Gives descriptors 0 to 2 an open file each before anything else is
// opened, so that a file being checked never becomes one of them: a closed
// standard input or error is opened on the null device. Returns false when
// standard output was closed (it is then on the null device too), which is
// a write error.
bool MakeStandardDescriptorsSafe();

// "quorvex-check: write error: REASON" on standard error; the run ends at
// once with exit status 2, what is still buffered left unwritten.
[[noreturn]] void ExitOnWriteError(int error);

// Whether standard output could be flushed; sets `error` when it could not.
bool FlushStdout(int& error);

// Takes the interruptions that end a run (SIGINT and SIGTERM, or the
// console's Ctrl+C, Ctrl+Break and close) onto a thread of its own, from
// now on. Call it before any other thread is started. An interruption calls
// the handler set last with the exit status to end with (130 or 143); with
// none set, or when it returns, "quorvex-check: interrupted" goes to
// standard error and the program ends with that status. An interruption
// the caller's shell had ignored stays ignored.
void CatchInterruptions();

// Who ends the run when it is interrupted. It is called with the handlers'
// lock held, so SetInterruptHandler(nullptr) waits for it to return.
class InterruptHandler {
 public:
  virtual ~InterruptHandler() = default;
  virtual void OnInterrupt(int exit_status) = 0;
};
void SetInterruptHandler(InterruptHandler* handler);

// Ends the program by an interruption: the line on standard error, then the
// exit status, without flushing what standard output still holds.
[[noreturn]] void ExitInterrupted(int exit_status);

}  // namespace quorvex::cli

#endif
