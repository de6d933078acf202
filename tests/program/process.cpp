#include "program/process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace mirevant::testing {

namespace fs = std::filesystem;

bool waitUntil(const std::function<bool()>& condition, milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(milliseconds(5));
  }
}

TempDir::TempDir(const std::string& tag) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + tag + "-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out.flush());
}

std::vector<std::string> directoryEntries(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(path, ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const std::vector<std::string>& programDirectoryFiles() {
  static const std::vector<std::string> files = {"mirevant", "varlist.dbf", "COVDAT.DBF",
                                                 "PCENT.DBF", "mirevant.hlp"};
  return files;
}

std::string copyProgramDirectory(const std::string& from, const std::string& to,
                                 const std::vector<std::string>& leaveOut) {
  for (const std::string& name : programDirectoryFiles()) {
    if (std::find(leaveOut.begin(), leaveOut.end(), name) != leaveOut.end()) continue;
    std::error_code ec;
    fs::copy_file(fs::path(from) / name, fs::path(to) / name, fs::copy_options::overwrite_existing,
                  ec);
    if (ec) return "cannot copy " + from + "/" + name + " to " + to + ": " + ec.message();
    // The tables must be writable whatever the build tree's permissions are.
    fs::permissions(fs::path(to) / name, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::add, ec);
  }
  return "";
}

// ---- child processes ----

ChildProcess::~ChildProcess() {
  kill();
  closeStdin();
}

std::string ChildProcess::start(const Setup& setup) {
  if (pid_ > 0) return "already started";
  if (setup.argv.empty()) return "no program";

  // Everything the child needs is prepared here: after fork only async-signal-safe calls.
  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : setup.environment) {
    if (value)
      env[name] = *value;
    else
      env.erase(name);
  }
  std::vector<std::string> envStrings;
  for (const auto& [name, value] : env) envStrings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = setup.argv;
  std::vector<char*> argv;
  for (std::string& s : args) argv.push_back(s.data());
  argv.push_back(nullptr);

  auto openOutput = [](const std::string& path) {
    return ::open(path.empty() ? "/dev/null" : path.c_str(),
                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  };
  const int out = openOutput(setup.stdoutFile);
  const int err = openOutput(setup.stderrFile);
  int in[2] = {-1, -1};
  if (setup.stdinPipe) {
    if (pipe2(in, O_CLOEXEC) != 0) in[0] = in[1] = -1;
  } else {
    in[0] = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  }
  int execError[2] = {-1, -1};
  const bool pipes = pipe2(execError, O_CLOEXEC) == 0;
  if (out < 0 || err < 0 || in[0] < 0 || !pipes) {
    for (int fd : {out, err, in[0], in[1], execError[0], execError[1]})
      if (fd >= 0) ::close(fd);
    return std::string("cannot set up the child's files: ") + std::strerror(errno);
  }

  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // The child ends with the test process, however that ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    signal(SIGPIPE, SIG_DFL);  // the test process ignores it; the child must not inherit that
    int failure = 0;
    if (dup2(in[0], 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) failure = errno;
    if (failure == 0 && setup.passFd >= 0) {
      if (setup.passFd == 3) {
        if (fcntl(3, F_SETFD, 0) != 0) failure = errno;
      } else if (dup2(setup.passFd, 3) < 0) {
        failure = errno;
      }
    }
    if (failure == 0 && !setup.workingDirectory.empty() &&
        chdir(setup.workingDirectory.c_str()) != 0)
      failure = errno;
    if (failure == 0) {
      execve(argv[0], argv.data(), envp.data());
      failure = errno;
    }
    (void)!write(execError[1], &failure, sizeof failure);
    _exit(127);
  }
  const int forkError = errno;
  ::close(out);
  ::close(err);
  ::close(in[0]);
  ::close(execError[1]);
  if (pid < 0) {
    ::close(execError[0]);
    if (in[1] >= 0) ::close(in[1]);
    return std::string("fork failed: ") + std::strerror(forkError);
  }
  pid_ = pid;
  reaped_ = false;
  stdin_ = in[1];
  // The error pipe closes on a successful exec; otherwise it carries the reason.
  int failure = 0;
  ssize_t n;
  do {
    n = ::read(execError[0], &failure, sizeof failure);
  } while (n < 0 && errno == EINTR);
  ::close(execError[0]);
  if (n == static_cast<ssize_t>(sizeof failure)) {
    waitForExit(milliseconds(5000));
    return "cannot start " + setup.argv[0] + ": " + std::strerror(failure);
  }
  return "";
}

bool ChildProcess::running() {
  if (pid_ <= 0 || reaped_) return false;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    reaped_ = true;
    status_ = status;
    return false;
  }
  return r == 0;
}

bool ChildProcess::waitForExit(milliseconds timeout) {
  if (pid_ <= 0) return true;
  return waitUntil([this] { return !running(); }, timeout);
}

std::string ChildProcess::describeStatus() const {
  if (pid_ <= 0) return "not started";
  if (!reaped_) return "running";
  if (WIFEXITED(status_)) return "exit status " + std::to_string(WEXITSTATUS(status_));
  if (WIFSIGNALED(status_)) return "killed by signal " + std::to_string(WTERMSIG(status_));
  return "ended with wait status " + std::to_string(status_);
}

bool ChildProcess::exitedWith(int code) const {
  return exited() && WIFEXITED(status_) && WEXITSTATUS(status_) == code;
}

bool ChildProcess::writeStdin(const std::string& text) {
  if (stdin_ < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(stdin_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void ChildProcess::closeStdin() {
  if (stdin_ >= 0) ::close(stdin_);
  stdin_ = -1;
}

void ChildProcess::kill() {
  if (!running()) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  reaped_ = true;
  status_ = status;
}

void ChildProcess::terminate(milliseconds grace) {
  if (!running()) return;
  ::kill(pid_, SIGTERM);
  if (!waitForExit(grace)) kill();
}

}  // namespace mirevant::testing
