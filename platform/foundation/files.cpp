#include "platform/foundation/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/foundation/device.h"
#include "platform/foundation/process.h"

namespace platform {

std::optional<Bytes> readFile(const std::filesystem::path& path, const ReadLimits& limits) {
  // never blocking on open: a FIFO in place of the file must not stall the caller
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (limits.followSymbolicLink ? 0 : O_NOFOLLOW));
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      (limits.maximumBytes && static_cast<std::uintmax_t>(st.st_size) > *limits.maximumBytes)) {
    ::close(fd);
    return std::nullopt;
  }
  Bytes out;
  out.reserve(static_cast<size_t>(st.st_size));
  std::uint8_t buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    out.insert(out.end(), buf, buf + n);
    if (limits.maximumBytes && out.size() > *limits.maximumBytes) {  // it grew while we read
      ::close(fd);
      return std::nullopt;
    }
  }
  ::close(fd);
  return out;
}

bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, std::string* error) {
  static std::atomic<unsigned> counter{0};
  auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
  };
  const auto tmp = path.parent_path() /
                   ("." + path.filename().string() + ".tmp." + std::to_string(::getpid()) + "." +
                    std::to_string(counter.fetch_add(1)));
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return fail("cannot create " + tmp.string());
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      errno = saved;
      return fail("cannot write " + tmp.string());
    }
    done += static_cast<size_t>(w);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    int saved = errno;
    ::unlink(tmp.c_str());
    errno = saved;
    return fail("cannot flush " + tmp.string());
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    int saved = errno;
    ::unlink(tmp.c_str());
    errno = saved;
    return fail("cannot replace " + path.string());
  }
  return true;
}

std::filesystem::path temporaryDirectory() { return Process::current().device().temporaryDirectory(); }

}  // namespace platform
