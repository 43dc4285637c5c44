#include "platform/foundation/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/foundation/console.h"
#include "platform/foundation/device.h"
#include "platform/foundation/process.h"

namespace platform {

std::optional<Bytes> readFile(const std::filesystem::path& path, const ReadLimits& limits, std::string* why) {
  auto fail = [&](std::string reason, int fd) -> std::optional<Bytes> {
    if (fd >= 0) ::close(fd);
    if (why) *why = std::move(reason);
    return std::nullopt;
  };
  auto tooLarge = [&] { return "it is larger than " + std::to_string(*limits.maximumBytes) + " bytes"; };
  // never blocking on open: a FIFO in place of the file must not stall the caller
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (limits.followSymbolicLink ? 0 : O_NOFOLLOW));
  if (fd < 0) return fail(std::strerror(errno), -1);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail(std::strerror(errno), fd);
  if (!S_ISREG(st.st_mode)) return fail("it is not a regular file", fd);
  if (limits.maximumBytes && static_cast<std::uintmax_t>(st.st_size) > *limits.maximumBytes)
    return fail(tooLarge(), fd);
  Bytes out;
  out.reserve(static_cast<size_t>(st.st_size));
  std::uint8_t buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(std::strerror(errno), fd);
    }
    out.insert(out.end(), buf, buf + n);
    if (limits.maximumBytes && out.size() > *limits.maximumBytes) return fail(tooLarge(), fd);  // it grew while we read
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

std::optional<std::filesystem::path> keepAside(const std::filesystem::path& path, std::string* why) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (int n = 1; n <= 100; ++n) {
    fs::path target = path;
    target += n == 1 ? std::string(".damaged") : ".damaged-" + std::to_string(n);
    if (fs::exists(fs::symlink_status(target, ec))) continue;
    fs::rename(path, target, ec);
    if (ec) {
      if (why) *why = ec.message();
      return std::nullopt;
    }
    return target;
  }
  if (why) *why = "too many damaged copies";
  return std::nullopt;
}

std::string keptAsideLine(const std::string& facility, const std::filesystem::path& path, const std::string& reason,
                          const std::filesystem::path& aside, const std::string& then) {
  return facility + ": " + path.string() + " is damaged (" + reason + "); kept it as " + aside.string() + " and " + then;
}

std::optional<std::filesystem::path> keepDamagedAside(const std::string& facility, const std::filesystem::path& path,
                                                      const std::string& reason, const std::string& then) {
  std::string why;
  auto aside = keepAside(path, &why);
  if (aside) {
    console(keptAsideLine(facility, path, reason, *aside, then));
  } else {
    console(facility + ": " + path.string() + " is damaged (" + reason + ") and cannot be moved aside (" + why + "); " +
            then);
  }
  return aside;
}

std::filesystem::path temporaryDirectory() { return Process::current().device().temporaryDirectory(); }

}  // namespace platform
