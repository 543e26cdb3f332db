#ifndef QUORVEX_CLI_CONSOLE_H
#define QUORVEX_CLI_CONSOLE_H

#include <cstdio>

namespace quorvex::cli {

// Whether a stream is a terminal.
bool IsTerminal(std::FILE* stream);
// Makes the standard streams carry bytes unchanged (no line-end translation).
void UseBinaryStdio();

}  // namespace quorvex::cli

#endif
