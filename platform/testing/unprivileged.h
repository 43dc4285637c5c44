#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace platform::testing {

// Root may read and write any file, so checks of file permissions run as this user instead.
constexpr uid_t kUnprivilegedUser = 65534;

// Runs `body` in a forked child as a user who is not root (kUnprivilegedUser when the caller is
// root; the caller's own ids otherwise), so the test process keeps its ids. What `body` returned,
// "threw: <what>" when it threw, or "cannot drop privileges".
std::string runAsUnprivilegedUser(const std::function<std::string()>& body);

}  // namespace platform::testing
