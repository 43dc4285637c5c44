#pragma once

#include <string_view>

namespace platform {

// One whole line on standard output, never interleaved with another thread's line.
// The current process also keeps it, so tests can read what was printed.
void console(std::string_view line);

// A programming error: the message goes to standard error, then the program stops.
[[noreturn]] void fatalError(std::string_view message);

}  // namespace platform
