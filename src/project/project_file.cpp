// SPDX-License-Identifier: GPL-3.0-or-later
// Files on disk for projects: whole reads, and writes that replace the old file only once the new
// one is complete and on disk.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "project/project.h"

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

mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::string readTextFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw Error("Cannot read '" + path + "': " + reason());
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    throw Error("Cannot read '" + path + "': " + reason());
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Error("Cannot read '" + path + "': " + reason());
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

void writeFileAtomically(const std::string& path, const std::string& text) {
  namespace fs = std::filesystem;
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
}

void saveProject(const std::string& path, const Project& project, bool keepComments) {
  if (const auto problem = projectProblem(project))
    throw ProjectError("Cannot save the project to '" + path + "': " + *problem);
  std::string previous;
  std::error_code ec;
  if (keepComments && std::filesystem::is_regular_file(path, ec)) {
    try {
      previous = readTextFile(path);
    } catch (const Error&) {
      previous.clear();  // an unreadable old file has no comments to keep
    }
  }
  writeFileAtomically(path, projectText(project, previous));
}

}  // namespace mirevant
