#pragma once

// Child processes for the tests that run the program file (and the helpers) the way a user's
// desktop does: own working directory, own environment, output into files, a deadline for every
// wait. A child never outlives the test process: it is killed when its owner goes, and by the
// kernel when the test process dies.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mirevant::testing {

using std::chrono::milliseconds;

// Checks `condition` every few milliseconds until it holds or `timeout` has passed; returns
// whether it held.
bool waitUntil(const std::function<bool()>& condition, milliseconds timeout);

// A fresh directory under the temporary directory, removed with everything in it at the end.
class TempDir {
 public:
  explicit TempDir(const std::string& tag = "mirevant");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool valid() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
bool writeFile(const std::string& path, const std::string& content);
// Names of the entries of a directory, sorted.
std::vector<std::string> directoryEntries(const std::string& path);

// The files of the build's program directory: the program file, the three tables, the help file.
const std::vector<std::string>& programDirectoryFiles();
// Copies those files from `from` into `to`, except the ones named in `leaveOut`. Returns "" or the
// reason it failed.
std::string copyProgramDirectory(const std::string& from, const std::string& to,
                                 const std::vector<std::string>& leaveOut = {});

class ChildProcess {
 public:
  struct Setup {
    std::vector<std::string> argv;  // argv[0] is the program file's path
    std::string workingDirectory;   // empty: the test's own
    // Changes to the test's environment: a value sets the variable, nullopt removes it.
    std::map<std::string, std::optional<std::string>> environment;
    std::string stdoutFile, stderrFile;  // empty: /dev/null
    bool stdinPipe = false;              // otherwise /dev/null
    int passFd = -1;                     // handed to the child as its descriptor 3
  };

  ChildProcess() = default;
  ~ChildProcess();  // a child still running is killed
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Returns "" or the reason it could not start (exec failure included).
  std::string start(const Setup& setup);
  pid_t pid() const { return pid_; }
  bool running();
  // Waits at most `timeout` for the child to end; true when it has ended.
  bool waitForExit(milliseconds timeout);
  bool exited() const { return pid_ > 0 && reaped_; }
  // "exit status N" or "killed by signal N" (or "running").
  std::string describeStatus() const;
  bool exitedWith(int code) const;
  bool writeStdin(const std::string& text);
  // SIGKILL and reap, if still running.
  void kill();
  // SIGTERM, then SIGKILL when it has not ended within `grace`.
  void terminate(milliseconds grace);

 private:
  void closeStdin();
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  int stdin_ = -1;
};

}  // namespace mirevant::testing
