#include "platform/testing/unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>

namespace platform::testing {

std::string runAsUnprivilegedUser(const std::function<std::string()>& body) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return "no pipe";
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return "cannot fork";
  }
  if (pid == 0) {
    ::close(pipeFds[0]);
    std::string out;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedUser) != 0 || ::setuid(kUnprivilegedUser) != 0)) {
      out = "cannot drop privileges";
    } else {
      try {
        out = body();
      } catch (const std::exception& e) {
        out = std::string("threw: ") + e.what();
      }
    }
    for (std::size_t done = 0; done < out.size();) {
      const ssize_t n = ::write(pipeFds[1], out.data() + done, out.size() - done);
      if (n <= 0) ::_exit(2);
      done += static_cast<std::size_t>(n);
    }
    // no exit handlers: they belong to the test process
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "the child did not end well (status " + std::to_string(status) + "): " + out;
  return out;
}

}  // namespace platform::testing
