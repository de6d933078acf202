// SPDX-License-Identifier: GPL-3.0-or-later
// Files on disk for projects: whole reads, and writes that replace the old file only once the new
// one is complete and on disk.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>

#include "project/project.h"
#include "project/text_limits.h"

namespace mirevant {

namespace {

std::string reason() {
  return std::strerror(errno);
}

// Writes all of `text`, going on after interrupted or partial writes.
bool writeAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::function<void()>& readHook() {
  static std::function<void()> hook;
  return hook;
}

std::string notAFile(mode_t mode) {
  if (S_ISDIR(mode)) return std::strerror(EISDIR);
  if (S_ISFIFO(mode)) return "it is a named pipe, not a file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a file";
  if (S_ISSOCK(mode)) return "it is a socket, not a file";
  return "it is not a regular file";
}

bool unchanged(const struct stat& before, const struct stat& after) {
  return before.st_size == after.st_size && before.st_mtim.tv_sec == after.st_mtim.tv_sec &&
         before.st_mtim.tv_nsec == after.st_mtim.tv_nsec;
}

// Reads up to text.size() bytes from the start of the file; returns how many there were.
std::size_t readFrom(int fd, std::string& text) {
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::pread(fd, text.data() + got, text.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw Error(reason());
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

void setReadHook(std::function<void()> hook) {
  readHook() = std::move(hook);
}

std::string readTextFile(const std::string& path) {
  const auto failure = [&](const std::string& why) {
    return Error("Cannot read '" + path + "': " + why);
  };
  // Opening a named pipe does not wait for a writer; only a regular file is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) throw failure(reason());
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  // A file that an editor rewrites while it is read is read again, a little later.
  constexpr int kAttempts = 5;
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    struct stat before {};
    if (::fstat(fd, &before) != 0) throw failure(reason());
    if (!S_ISREG(before.st_mode)) throw failure(notAFile(before.st_mode));
    const auto size = static_cast<std::size_t>(before.st_size);
    if (size > kProjectFileLimit)
      throw failure("the file has " + std::to_string(size) + " bytes; a project file has at most " +
                    std::to_string(kProjectFileLimit));
    std::string text(size + 1, '\0');  // a byte more shows a file that grew
    try {
      text.resize(readFrom(fd, text));
    } catch (const Error& e) {
      throw failure(e.what());
    }
    if (readHook()) readHook()();
    struct stat after {};
    if (::fstat(fd, &after) != 0) throw failure(reason());
    if (text.size() == size && unchanged(before, after)) return text;
    if (attempt < kAttempts) std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
  }
  throw failure("the file changed while it was read");
}

namespace {

bool earlier(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Removes what saves of `name` that never finished (the program was killed while saving) left in
// `directory`: temporary files named as writeFileAtomically names them, last written before this
// save began, and not locked by a save that is still writing.
void removeStaleTemporaries(const std::filesystem::path& directory, const std::string& name,
                            const struct timespec& saveBegan) {
  namespace fs = std::filesystem;
  const std::string prefix = "." + name + ".";
  std::error_code ec;
  for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string file = it->path().filename().string();
    if (file.size() != prefix.size() + 6 || file.compare(0, prefix.size(), prefix) != 0 ||
        !std::all_of(file.end() - 6, file.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
      continue;
    const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        earlier(st.st_mtim, saveBegan) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlink(it->path().c_str());
    ::close(fd);
  }
}

}  // namespace

void writeFileAtomically(const std::string& path, const std::string& text) {
  namespace fs = std::filesystem;
  struct timespec began {};
  ::clock_gettime(CLOCK_REALTIME, &began);
  // A link is followed, so that the file it names is replaced rather than the link.
  fs::path target = path;
  std::error_code ec;
  if (fs::is_symlink(target, ec)) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string temporary = (directory / ("." + target.filename().string() + ".XXXXXX")).string();
  auto fail = [&](bool removeTemporary) {
    const std::string why = reason();
    if (removeTemporary) ::unlink(temporary.c_str());
    throw Error("Cannot save the project to '" + path + "': " + why);
  };

  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) fail(false);
  ::flock(fd, LOCK_EX);  // a later save leaves it alone while this one writes
  struct stat old {};
  const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : newFileMode();
  if (::fchmod(fd, mode) != 0 || !writeAll(fd, text) || ::fsync(fd) != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    fail(true);
  }
  if (::close(fd) != 0) fail(true);
  if (::rename(temporary.c_str(), target.c_str()) != 0) fail(true);
  // The new name is on disk once the directory is.
  const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  removeStaleTemporaries(directory, target.filename().string(), began);
}

void saveProjectAs(const std::string& path, const Project& project, const std::string& original) {
  if (const auto problem = projectProblem(project))
    throw ProjectError("Cannot save the project to '" + path + "': " + *problem);
  std::string previous;
  if (!original.empty()) {
    try {
      previous = readTextFile(original);
    } catch (const Error&) {
      previous.clear();  // an unreadable old file has no comments to keep
    }
  }
  writeFileAtomically(path, projectText(project, previous));
}

void saveProject(const std::string& path, const Project& project, bool keepComments) {
  saveProjectAs(path, project, keepComments ? path : std::string());
}

}  // namespace mirevant
