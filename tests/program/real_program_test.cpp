// The program file started as a user starts it: on an X display of its own (Xvfb, no window
// manager), from a working directory that is not the program directory, closed through the window
// manager's close request; with its coverage factor table missing; and under a locale that writes
// numbers with a decimal comma, driven through real key presses and mouse clicks.

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "program/german_locale_env.h"
#include "program/process.h"
#include "program/x11.h"

namespace mirevant::testing {
namespace {

namespace fs = std::filesystem;

const std::string kProgramDir = MIREVANT_TEST_PROGRAM_DIR;
const std::string kTitle = "Mirevant (tm)";
// The main window's client area; the menu bar lies above it.
constexpr int kClientWidth = 632;
constexpr int kClientHeight = 434;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

bool contains(const std::vector<std::string>& all, const std::string& line) {
  return std::find(all.begin(), all.end(), line) != all.end();
}

// Rows of a table file as its header counts them.
long tableRows(const std::string& path) {
  const std::string bytes = readFile(path);
  if (bytes.size() < 8) return -1;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  return static_cast<long>(p[4] | (p[5] << 8) | (p[6] << 16) |
                           (static_cast<std::uint32_t>(p[7]) << 24));
}

// The files a process holds open, as their real paths.
std::vector<std::string> openFiles(pid_t pid) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    const fs::path target = fs::read_symlink(entry.path(), ec);
    if (!ec) files.push_back(target.string());
  }
  return files;
}

class RealProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string failed = display_.start();
    ASSERT_EQ(failed, "") << "no virtual X display";
    x_ = std::make_unique<XSession>(display_.name());
    ASSERT_EQ(x_->error(), "");
    ASSERT_TRUE(work_.valid());
    ASSERT_TRUE(fs::create_directory(runtimeDir()));
    fs::permissions(runtimeDir(), fs::perms::owner_all, fs::perm_options::replace);
    ASSERT_TRUE(fs::create_directory(cwd()));
  }

  std::string runtimeDir() const { return work_.file("runtime"); }
  // The directory the user starts the program from.
  std::string cwd() const { return work_.file("cwd"); }
  std::string stderrFile() const { return work_.file("stderr.txt"); }
  std::string programOutput() const { return readFile(stderrFile()); }

  // A copy of the program directory, program file included.
  std::string copyOfProgramDirectory(const std::vector<std::string>& leaveOut = {}) {
    const std::string dir = work_.file("program");
    fs::create_directory(dir);
    const std::string failed = copyProgramDirectory(kProgramDir, dir, leaveOut);
    EXPECT_EQ(failed, "");
    return dir;
  }

  void startProgram(const std::string& programFile,
                    std::map<std::string, std::optional<std::string>> environment = {}) {
    ChildProcess::Setup setup;
    setup.argv = {programFile};
    setup.workingDirectory = cwd();
    environment["DISPLAY"] = display_.name();
    environment["QT_QPA_PLATFORM"] = "xcb";
    environment["XDG_RUNTIME_DIR"] = runtimeDir();
    environment["XAUTHORITY"] = std::nullopt;
    setup.environment = environment;
    setup.stderrFile = stderrFile();
    const std::string failed = program_.start(setup);
    ASSERT_EQ(failed, "");
  }

  TopLevel waitForMainWindow() {
    const std::optional<TopLevel> w =
        x_->waitForWindow(kTitle, milliseconds(20000), [this] { return !program_.running(); });
    if (!w) {
      ADD_FAILURE() << "no window \"" << kTitle << "\"; windows: " << x_->describeWindows()
                    << "; program: " << program_.describeStatus() << "; its output:\n"
                    << programOutput();
      return {};
    }
    return *w;
  }

  void closeAndExpectCleanExit(const TopLevel& window) {
    // Without a window manager, a close request sent while the program is still settling after
    // its window appeared can go undelivered on a loaded machine (seen with any Qt program), so
    // the request is repeated, as a user would click the close box again.
    bool exited = false;
    for (int attempt = 0; attempt < 10 && !exited; ++attempt) {
      x_->requestClose(window.id);
      exited = program_.waitForExit(milliseconds(1000));
    }
    EXPECT_TRUE(exited) << "still running after the close requests; windows: "
                        << x_->describeWindows();
    EXPECT_TRUE(program_.exitedWith(0)) << program_.describeStatus() << "; its output:\n"
                                        << programOutput();
  }

  // Declared first, destroyed last: the program goes before its display.
  VirtualDisplay display_;
  std::unique_ptr<XSession> x_;
  TempDir work_{"mirevant-program"};
  ChildProcess program_;
};

TEST_F(RealProgram, StartsFromItsProgramDirectoryWhateverTheWorkingDirectoryAndClosesCleanly) {
  // A table of the program's name in the working directory that is not a table at all: the
  // program must not even look at it.
  const std::string decoy = "not a table";
  ASSERT_TRUE(writeFile(cwd() + "/PCENT.DBF", decoy));
  startProgram(kProgramDir + "/mirevant");
  const TopLevel window = waitForMainWindow();
  ASSERT_NE(window.id, 0u);

  // The coverage factor table stays open from start-up: it is the program directory's.
  const std::string pcent = fs::canonical(kProgramDir + "/PCENT.DBF").string();
  const std::vector<std::string> open = openFiles(program_.pid());
  EXPECT_NE(std::find(open.begin(), open.end(), pcent), open.end())
      << "the program does not hold " << pcent << " open";
  const std::string here = fs::canonical(cwd()).string();
  for (const std::string& f : open)
    EXPECT_NE(f.rfind(here + "/", 0), 0u) << "holds a file of the working directory: " << f;

  closeAndExpectCleanExit(window);
  EXPECT_EQ(directoryEntries(cwd()), std::vector<std::string>{"PCENT.DBF"});
  EXPECT_EQ(readFile(cwd() + "/PCENT.DBF"), decoy);
}

TEST_F(RealProgram, MissingCoverageTableIsReportedAndEndsTheRunWithAFailureStatus) {
  const std::string dir = copyOfProgramDirectory({"PCENT.DBF"});
  startProgram(dir + "/mirevant");

  const std::optional<TopLevel> box =
      x_->waitForWindow("Error", milliseconds(20000), [this] { return !program_.running(); });
  ASSERT_TRUE(box.has_value()) << "no error box; windows: " << x_->describeWindows()
                               << "; program: " << program_.describeStatus() << "; output:\n"
                               << programOutput();
  // The same reason on the terminal, naming the file and the directory.
  ASSERT_TRUE(waitUntil([&] { return programOutput().find("PCENT.DBF") != std::string::npos; },
                        milliseconds(5000)))
      << programOutput();
  const std::string output = programOutput();
  EXPECT_NE(output.find("coverage factor table PCENT.DBF"), std::string::npos) << output;
  EXPECT_NE(output.find("program directory " + dir + "/"), std::string::npos) << output;
  EXPECT_FALSE(x_->waitForWindow(kTitle, milliseconds(0)).has_value())
      << "the main window is up although the program cannot start";

  // The user presses Return on the box: the run ends, with a failure status.
  x_->focus(box->id);
  x_->key(keysym::Return);
  EXPECT_TRUE(program_.waitForExit(milliseconds(10000)))
      << "still running after the box was dismissed; windows: " << x_->describeWindows();
  EXPECT_TRUE(program_.exitedWith(1)) << program_.describeStatus();
  EXPECT_EQ(directoryEntries(cwd()), std::vector<std::string>{});
}

// A German user types the model, and the values with decimal commas, into the real windows,
// calculates, and copies the report through Edit > Copy: the numbers come back with commas.
TEST_F(RealProgram, UnderADecimalCommaLocaleReadsTypedValuesAndWritesTheReportWithCommas) {
  const GermanLocaleFiles& german = GermanLocaleFiles::get();
  ASSERT_EQ(german.error(), "");
  const std::string dir = copyOfProgramDirectory();
  startProgram(dir + "/mirevant", german.environment());
  const TopLevel w = waitForMainWindow();
  ASSERT_NE(w.id, 0u);
  // Controls are found by their place in the client area, below the menu bar.
  ASSERT_EQ(w.width, kClientWidth);
  const int menuBar = w.height - kClientHeight;
  ASSERT_GT(menuBar, 0);
  ASSERT_LT(menuBar, 60);
  auto at = [&](int clientX, int clientY) { x_->click(w.x + clientX, w.y + menuBar + clientY); };

  // The expression box has the focus, its text selected: typing replaces it.
  x_->focus(w.id);
  x_->type("a*b");
  at(8 + 52, 61 + 12);  // Define Variables
  const std::string varlist = dir + "/varlist.dbf";
  ASSERT_TRUE(waitUntil([&] { return tableRows(varlist) == 2; }, milliseconds(10000)))
      << "Define Variables did not list a and b; windows: " << x_->describeWindows();

  // Into the grid, below its rows; then to the first row's value cell and along the row.
  at(8 + 150, 112 + 108);
  x_->key(keysym::Home, {keysym::ControlL});
  x_->key(keysym::Right);
  for (const char* cell : {"2,5", "0,1", "10"}) {
    if (std::string(cell) != "2,5") x_->key(keysym::Right);
    x_->type(cell);
    x_->key(keysym::Return);
  }
  // Down stores row a; row b is filled from its last cell back to its value.
  x_->key(keysym::Down);
  for (const char* cell : {"20", "0,2", "3"}) {
    if (std::string(cell) != "20") x_->key(keysym::Left);
    x_->type(cell);
    x_->key(keysym::Return);
  }
  ASSERT_TRUE(waitUntil([&] { return readFile(varlist).find("2,5") != std::string::npos; },
                        milliseconds(10000)))
      << "row a was not stored with the value as typed; windows: " << x_->describeWindows();

  at(153 + 37, 255 + 12);  // Calculate
  // Edit > Copy calulation report to clipboard, through the keyboard: Alt to the menu bar,
  // Right to "Edit", Down opens it on its first item, Return runs it.
  x_->key(keysym::AltL);
  x_->key(keysym::Right);
  x_->key(keysym::Down);
  x_->key(keysym::Return);
  ASSERT_EQ(x_->error(), "");
  const std::optional<std::string> clip = x_->clipboardText(milliseconds(10000));
  ASSERT_TRUE(clip.has_value()) << "nothing on the clipboard; windows: " << x_->describeWindows();
  const std::vector<std::string> report = lines(*clip);

  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report[0], "WITH VARIABLES SET AT:");
  // The values as typed; the numbers the table holds written back with the comma.
  EXPECT_TRUE(contains(report, "a\t2,5\t\t0,1\t\t10")) << *clip;
  EXPECT_TRUE(contains(report, "b\t3\t\t0,2\t\t20")) << *clip;
  // 2.5 * 3; the combined standard uncertainty sqrt((3 * 0.1)^2 + (2.5 * 0.2)^2) = sqrt(0.34);
  // the effective degrees of freedom 0.34^2 / (0.3^4 / 10 + 0.5^4 / 20) = 29.4, for which the
  // table's row 25 gives k = 2.11 at 95.45 %.
  EXPECT_TRUE(contains(report, "2,5 * 3 = 7,5")) << *clip;
  EXPECT_TRUE(contains(report, "answer = 7,5")) << *clip;
  EXPECT_NE(clip->find("0,58309518948453"), std::string::npos) << *clip;
  const auto k =
      std::find(report.begin(), report.end(), "Standard Uncertainty must be multiplied by:");
  ASSERT_NE(k, report.end()) << *clip;
  ASSERT_NE(k + 1, report.end());
  EXPECT_EQ(*(k + 1), "2,11");
  EXPECT_NE(clip->find("A range of plus or minus 1,23033"), std::string::npos) << *clip;
  // Not one number with a decimal point before the version trailer; the confidence level is
  // the caption of its list entry ("95.45%"), not a number the program writes.
  const std::regex point("[0-9]\\.[0-9]");
  for (std::string line : report) {
    if (line.rfind("Mirevant Version", 0) == 0) break;
    const size_t level = line.find(" will cover a percentage of ");
    if (level != std::string::npos) line.resize(level);
    EXPECT_FALSE(std::regex_search(line, point)) << "a decimal point in: " << line;
  }

  closeAndExpectCleanExit(w);
}

}  // namespace
}  // namespace mirevant::testing
