#pragma once

#include <string_view>

namespace platform {

// One whole line on standard output, never interleaved with another thread's line; the current
// process's observer, when it has one, sees it too.
void console(std::string_view line);

// A programming error: the message goes to standard error, then the program stops.
[[noreturn]] void fatalError(std::string_view message);

}  // namespace platform
