// The maker's service on this machine, from one command: orvane-service [--port N] [--fixtures DIR]
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include "tools/local_service.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDirectoryPrefix = "orvane-service-";
constexpr std::string_view kCertificate = "loopback-ca.pem";
constexpr std::string_view kCertificateTemporary = ".loopback-ca.pem.tmp.";

// Removes the certificate files from a directory of an earlier run, then the directory, unless
// it holds anything else.
void clearCertificateDirectory(int fd, const fs::path& path) {
  if (DIR* entries = ::fdopendir(::dup(fd))) {
    while (const dirent* entry = ::readdir(entries)) {
      const std::string_view name = entry->d_name;
      if (name == kCertificate || name.substr(0, kCertificateTemporary.size()) == kCertificateTemporary)
        ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(entries);
  }
  ::rmdir(path.c_str());
}

// The certificate directories of earlier runs that ended without removing theirs (SIGKILL):
// each run holds a lock on its own until it ends, so one that is not locked is left over. Only
// this program's directories of this user are touched; a fresh one not yet locked is still
// empty, and an empty one is only taken once it is a minute old.
void removeLeftDirectories(const fs::path& temporary) {
  std::error_code ec;
  for (fs::directory_iterator it(temporary, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path path = it->path();
    const std::string name = path.filename().string();
    if (name.size() != kDirectoryPrefix.size() + 6 || name.rfind(kDirectoryPrefix, 0) != 0) continue;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      struct stat certificate {};
      const bool holdsCertificate = ::fstatat(fd, kCertificate.data(), &certificate, AT_SYMLINK_NOFOLLOW) == 0;
      if (holdsCertificate || st.st_mtime < std::time(nullptr) - 60) clearCertificateDirectory(fd, path);
    }
    ::close(fd);
  }
}

// This run's certificate directory in the temporary directory, locked until the run ends and
// removed then; left over by a run that was killed, it is removed by the next run.
class CertificateDirectory {
 public:
  CertificateDirectory() {
    // a temporary directory the user cannot write to is their setting, not a broken program
    std::error_code ec;
    const auto temporary = fs::temp_directory_path(ec);
    if (ec) {
      const char* named = std::getenv("TMPDIR");
      throw std::runtime_error(std::string("the temporary directory ") + (named ? named : "") +
                               " cannot be used: " + ec.message());
    }
    removeLeftDirectories(temporary);
    std::string made = (temporary / (std::string(kDirectoryPrefix) + "XXXXXX")).string();
    if (!::mkdtemp(made.data()))
      throw std::runtime_error("cannot make a directory for the certificate in the temporary directory " +
                               temporary.string() + ": " + std::strerror(errno));
    path_ = made;
    fd_ = ::open(made.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) {
      const int saved = errno;
      ::rmdir(made.c_str());
      throw std::runtime_error("cannot hold the certificate directory " + made + ": " + std::strerror(saved));
    }
  }
  ~CertificateDirectory() {
    clearCertificateDirectory(fd_, path_);
    ::close(fd_);
  }
  CertificateDirectory(const CertificateDirectory&) = delete;
  CertificateDirectory& operator=(const CertificateDirectory&) = delete;

  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  int fd_ = -1;
};

constexpr const char* kUsage =
    "usage: orvane-service [--port N] [--fixtures DIR]\n"
    "Serves the maker's exchange on https://127.0.0.1:N/data/server/ (N: 0 or left out for any free\n"
    "port) from the fixtures in DIR, with a certificate made at start, until SIGINT or SIGTERM.\n";

int usageError(const std::string& what) {
  std::fprintf(stderr, "orvane-service: %s\n%s", what.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  orvane_service::LocalService::Options options;
  options.keepRecords = false;  // it may run for days: nothing may pile up
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--port") {
      if (i + 1 >= argc) return usageError("--port needs a number from 0 to 65535");
      const std::string text = argv[++i];
      int port = -1;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
      if (text.empty() || ec != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535)
        return usageError("--port needs a number from 0 to 65535, not \"" + text + "\"");
      options.port = port;
    } else if (arg == "--fixtures") {
      if (i + 1 >= argc) return usageError("--fixtures needs a directory");
      options.fixtures = argv[++i];
    } else {
      return usageError("unknown argument \"" + arg + "\"");
    }
  }

  // wait for the end signal on this thread only
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    const CertificateDirectory certificates;
    options.certificateDirectory = certificates.path();
    orvane_service::LocalService service(options);
    std::printf("orvane-service: listening on https://%s/data/server/\n", service.host().c_str());
    std::printf("orvane-service: certificate authority %s\n", service.certificateFile().c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    std::printf("orvane-service: stopped\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane-service: %s\n", e.what());
    return 1;
  }
  return 0;
}
