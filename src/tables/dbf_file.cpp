// SPDX-License-Identifier: GPL-3.0-or-later
#include "tables/dbf_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <shapefil.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/errors.h"
#include "core/paths.h"
#include "tables/column_text.h"
#include "tables/dbf_io.h"
#include "tables/table_errors.h"

namespace mirevant::dbf {

WriteCalls& writeCalls() {
  static WriteCalls calls{::pwrite, ::ftruncate};
  return calls;
}

namespace {

// Every write by any table of this process; lets a view see what another view of the same file
// stored even when size and modification time stay the same.
std::atomic<std::uint64_t> g_writes{0};

constexpr int kFileHeaderSize = 32;
constexpr int kDescriptorSize = 32;
constexpr unsigned char kHeaderTerminator = 0x0D;
constexpr unsigned char kEndOfFile = 0x1A;

std::string errnoText(int err) {
  return std::strerror(err);
}

// Writes all of data at offset; false (errno set) when a write fails or makes no progress.
bool writeFully(int fd, const void* data, size_t size, off_t offset) {
  size_t done = 0;
  while (done < size) {
    const ssize_t r = writeCalls().pwrite(fd, static_cast<const char*>(data) + done, size - done,
                                          offset + static_cast<off_t>(done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (r == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(r);
  }
  return true;
}

std::string countBytes(std::uint32_t n) {
  return {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
          static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
}

// ---- shapelib I/O hooks over an already open, locked descriptor ----

// What one shapelib handle reports back: the first I/O error and shapelib's own messages.
struct IoStatus {
  int err = 0;
  std::string message;
};

struct HookFile {
  int fd;
  off_t pos;
  IoStatus* status;
};

// The descriptor and status that the next FOpen hands out. Set only around the shapelib calls
// that open a file (DBFOpenLL, DBFCreateLL), which run synchronously on this thread.
thread_local int t_openFd = -1;
thread_local IoStatus* t_openStatus = nullptr;
thread_local IoStatus* t_errorStatus = nullptr;

bool endsWithNoCase(const char* s, const char* suffix) {
  const size_t n = std::strlen(s), m = std::strlen(suffix);
  if (n < m) return false;
  for (size_t i = 0; i < m; ++i) {
    char a = s[n - m + i], b = suffix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

HookFile* asHook(SAFile f) {
  return reinterpret_cast<HookFile*>(f);
}

SAFile hookOpen(const char* name, const char* access) {
  // shapelib also looks for a code-page file beside the table; there is none to give it.
  if (t_openFd < 0 || endsWithNoCase(name, ".cpg")) return nullptr;
  if (access[0] == 'w' && writeCalls().ftruncate(t_openFd, 0) != 0) {
    t_openStatus->err = errno;
    return nullptr;
  }
  return reinterpret_cast<SAFile>(new HookFile{t_openFd, 0, t_openStatus});
}

SAOffset hookRead(void* p, SAOffset size, SAOffset count, SAFile file) {
  HookFile* f = asHook(file);
  if (size == 0 || count == 0) return 0;
  const size_t want = size * count;
  size_t got = 0;
  while (got < want) {
    const ssize_t r =
        pread(f->fd, static_cast<char*>(p) + got, want - got, f->pos + static_cast<off_t>(got));
    if (r < 0) {
      if (errno == EINTR) continue;
      if (f->status->err == 0) f->status->err = errno;
      break;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  f->pos += static_cast<off_t>(got);
  return got / size;
}

// After the first failed write of a handle every later one is refused: shapelib goes on to write
// the header's row count even when the record before it could not be written, and a count for a
// row that is not there would damage the table.
SAOffset hookWrite(void* p, SAOffset size, SAOffset count, SAFile file) {
  HookFile* f = asHook(file);
  if (size == 0 || count == 0 || f->status->err != 0) return 0;
  const size_t want = size * count;
  if (!writeFully(f->fd, p, want, f->pos)) {
    f->status->err = errno;
    return 0;
  }
  f->pos += static_cast<off_t>(want);
  return count;
}

SAOffset hookSeek(SAFile file, SAOffset offset, int whence) {
  HookFile* f = asHook(file);
  const auto delta = static_cast<off_t>(static_cast<long>(offset));
  off_t base = 0;
  if (whence == SEEK_CUR) {
    base = f->pos;
  } else if (whence == SEEK_END) {
    struct stat st {};
    if (fstat(f->fd, &st) != 0) return static_cast<SAOffset>(-1);
    base = st.st_size;
  } else if (whence != SEEK_SET) {
    return static_cast<SAOffset>(-1);
  }
  if (whence == SEEK_SET) {
    f->pos = static_cast<off_t>(offset);
  } else {
    if (base + delta < 0) return static_cast<SAOffset>(-1);
    f->pos = base + delta;
  }
  return 0;
}

SAOffset hookTell(SAFile file) {
  return static_cast<SAOffset>(asHook(file)->pos);
}
int hookFlush(SAFile) {
  return 0;
}  // no buffering: every write went straight to the descriptor

int hookClose(SAFile file) {
  delete asHook(file);
  return 0;
}

int hookRemove(const char*) {
  return -1;
}

void hookError(const char* message) {
  if (t_errorStatus != nullptr && t_errorStatus->message.empty()) t_errorStatus->message = message;
}

double hookAtof(const char* text) {
  static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return strtod_l(text, nullptr, c);
}

SAHooks makeHooks() {
  SAHooks h{};
  h.FOpen = hookOpen;
  h.FRead = hookRead;
  h.FWrite = hookWrite;
  h.FSeek = hookSeek;
  h.FTell = hookTell;
  h.FFlush = hookFlush;
  h.FClose = hookClose;
  h.Remove = hookRemove;
  h.Error = hookError;
  h.Atof = hookAtof;
  return h;
}

void stampToday(DBFHandle h) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  DBFSetLastModifiedDate(h, tm.tm_year, tm.tm_mon + 1, tm.tm_mday);
}

}  // namespace

// One shapelib handle on the descriptor, open for a single operation. close() writes what
// shapelib still holds (the last record, the header's row count) and reports I/O failures.
class Session {
 public:
  Session(int fd, const std::string& path, bool write) {
    SAHooks hooks = makeHooks();
    t_openFd = fd;
    t_openStatus = &status_;
    t_errorStatus = &status_;
    dbf_ = DBFOpenLL(path.c_str(), write ? "rb+" : "rb", &hooks);
    t_openFd = -1;
    t_openStatus = nullptr;
    if (dbf_ != nullptr && write) stampToday(dbf_);
  }
  ~Session() {
    if (dbf_ != nullptr) DBFClose(dbf_);
    if (t_errorStatus == &status_) t_errorStatus = nullptr;
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  DBFHandle get() const { return dbf_; }
  IoStatus& status() { return status_; }
  // Closes the handle; false when something could not be written or read.
  bool close() {
    t_errorStatus = &status_;
    if (dbf_ != nullptr) DBFClose(dbf_);
    dbf_ = nullptr;
    t_errorStatus = nullptr;
    return status_.err == 0 && status_.message.empty();
  }

 private:
  DBFHandle dbf_ = nullptr;
  IoStatus status_;
};

namespace {

bool knownVersion(unsigned char v) {
  switch (v) {
    case 0x02:  // FoxBase
    case 0x03:  // dBASE III / FoxPro without memo
    case 0x04:  // dBASE IV
    case 0x05:  // dBASE V
    case 0x30:  // Visual FoxPro
    case 0x31:
    case 0x32:
    case 0x43:  // dBASE IV SQL
    case 0x63:
    case 0x83:  // dBASE III with memo
    case 0x8B:  // dBASE IV with memo
    case 0x8E:
    case 0xCB:
    case 0xE5:
    case 0xF5:  // FoxPro with memo
    case 0xFB:
      return true;
    default:
      return false;
  }
}

std::uint32_t le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

int le16(const unsigned char* p) {
  return p[0] | p[1] << 8;
}

bool validNameChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool isLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

// ---- opening ----

File::File(const std::string& path, bool exclusive) : path_(path), exclusive_(exclusive) {
  // O_NONBLOCK: a FIFO or device under the table's name must not hang the program; regular files
  // ignore the flag.
  const int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  fd_ = ::open(path.c_str(), O_RDWR | flags);
  writable_ = fd_ >= 0;
  if (fd_ < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
    fd_ = ::open(path.c_str(), O_RDONLY | flags);
  if (fd_ < 0) {
    const int err = errno;
    if (err == ENOENT) throw Error("Table file '" + path_ + "' not found");
    if (err == EISDIR) throw Error("'" + path_ + "' is not a table file");
    fail("Cannot open table file '" + path_ + "': " + errnoText(err));
  }
  try {
    struct stat st {};
    if (fstat(fd_, &st) != 0) fail("Cannot open table file '" + path_ + "': " + errnoText(errno));
    if (!S_ISREG(st.st_mode)) throw Error("'" + path_ + "' is not a table file");
    if (flock(fd_, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
      const int err = errno;
      if (err == EWOULDBLOCK) {
        if (exclusive)
          throw Error("Cannot open table file '" + path_ +
                      "' for exclusive use: it is in use by another window or program");
        throw Error("Cannot open table file '" + path_ +
                    "': it is in use by another window or program");
      }
      fail("Cannot lock table file '" + path_ + "': " + errnoText(err));
    }
    const Header h = readHeader();
    headerLength_ = h.headerLength;
    recordLength_ = h.recordLength;
  } catch (...) {
    ::close(fd_);
    fd_ = -1;
    throw;
  }
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);  // releases the lock
}

void File::fail(const std::string& what) const {
  throw Error(what);
}

void File::damaged(const std::string& what) const {
  throw DamagedTableError("Table file '" + path_ + "' is damaged: " + what, path_);
}

void File::writeFailed(int err) const {
  throw Error("Cannot write table file '" + path_ + "': " + errnoText(err != 0 ? err : EIO));
}

void File::preadAll(void* data, size_t size, off_t offset) {
  size_t got = 0;
  while (got < size) {
    const ssize_t r =
        pread(fd_, static_cast<char*>(data) + got, size - got, offset + static_cast<off_t>(got));
    if (r < 0) {
      if (errno == EINTR) continue;
      fail("Cannot read table file '" + path_ + "': " + errnoText(errno));
    }
    if (r == 0) damaged("the header is truncated");
    got += static_cast<size_t>(r);
  }
}

// Checks the header against the file before shapelib, which trusts it, reads anything. The header
// decides how many rows there are: bytes after the counted rows are ignored (a row a crash or a
// full disk left half written, a row another program is appending, a missing or extra end-of-file
// mark); a file too short for the counted rows is damaged.
File::Header File::readHeader() {
  struct stat st {};
  if (fstat(fd_, &st) != 0) fail("Cannot read table file '" + path_ + "': " + errnoText(errno));
  const off_t size = st.st_size;
  if (size == 0) fail("'" + path_ + "' is not a table file: it is empty");

  unsigned char fixed[kFileHeaderSize] = {};
  preadAll(fixed, 1, 0);
  if (!knownVersion(fixed[0])) fail("'" + path_ + "' is not a table file");
  if (size < kFileHeaderSize) damaged("the header is truncated");
  preadAll(fixed, kFileHeaderSize, 0);

  Header h;
  h.records = le32(fixed + 4);
  h.headerLength = le16(fixed + 8);
  h.recordLength = le16(fixed + 10);
  h.size = size;
  if (h.headerLength < kFileHeaderSize + 1) damaged("the header length is invalid");
  if (h.headerLength > size) damaged("the header is truncated");

  if (columns_.empty()) {
    std::vector<unsigned char> desc(static_cast<size_t>(h.headerLength));
    preadAll(desc.data(), desc.size(), 0);
    std::vector<Column> cols;
    int sum = 0;
    size_t off = kFileHeaderSize;
    for (;;) {
      if (off >= desc.size()) damaged("the field descriptions are not terminated");
      if (desc[off] == kHeaderTerminator) break;
      if (off + kDescriptorSize > desc.size()) damaged("the field descriptions are truncated");
      const unsigned char* d = desc.data() + off;
      const std::string number = std::to_string(cols.size() + 1);
      Column c;
      for (int i = 0; i < 11 && d[i] != 0; ++i) {
        if (!validNameChar(d[i])) damaged("the description of field " + number + " is invalid");
        c.name.push_back(static_cast<char>(d[i]));
      }
      if (c.name.empty()) damaged("the description of field " + number + " is invalid");
      if (!isLetter(d[11])) damaged("the description of field " + number + " is invalid");
      c.type = static_cast<char>(d[11]);
      c.width = d[16];
      c.decimals = (c.type == 'N' || c.type == 'F') ? d[17] : 0;
      if (c.width == 0) damaged("the description of field " + number + " is invalid");
      c.offset = 1 + sum;
      sum += c.width;
      cols.push_back(c);
      off += kDescriptorSize;
    }
    if (cols.empty()) damaged("the table has no fields");
    if (h.recordLength != sum + 1) damaged("the record length does not match the fields");
    columns_ = std::move(cols);
  } else if (h.headerLength != headerLength_ || h.recordLength != recordLength_) {
    damaged("the header has changed while the table was open");
  }

  const auto expected =
      static_cast<std::uint64_t>(h.headerLength) +
      static_cast<std::uint64_t>(h.records) * static_cast<std::uint64_t>(h.recordLength);
  if (static_cast<std::uint64_t>(size) < expected ||
      h.records > static_cast<std::uint32_t>(INT32_MAX))
    damaged("its size (" + std::to_string(size) + " bytes) does not match the " +
            std::to_string(h.records) + " rows its header counts");
  return h;
}

// ---- reading ----

Stamp File::stamp() const {
  Stamp s;
  s.writes = g_writes.load();
  struct stat st {};
  if (fstat(fd_, &st) == 0) {
    s.size = st.st_size;
    s.mtime = st.st_mtim;
  }
  return s;
}

int File::recordCount() {
  return static_cast<int>(readHeader().records);
}

std::vector<std::string> File::readAll() {
  const Header h = readHeader();
  Session s(fd_, path_, false);
  if (s.get() == nullptr || DBFGetRecordCount(s.get()) != static_cast<int>(h.records))
    fail("Cannot read table file '" + path_ + "'");
  std::vector<std::string> rows;
  rows.reserve(h.records);
  for (int i = 0; i < static_cast<int>(h.records); ++i) {
    const char* raw = DBFReadTuple(s.get(), i);
    if (raw == nullptr) {
      const int err = s.status().err;
      fail("Cannot read table file '" + path_ + "'" + (err != 0 ? ": " + errnoText(err) : ""));
    }
    rows.emplace_back(raw, static_cast<size_t>(recordLength_));
  }
  return rows;
}

// ---- writing ----
//
// Every change writes the rows first and the header's row count last, so that a process stopped
// between two writes leaves a table that reads as before the change or as after it. A change
// whose write fails or comes up short (a full disk) is undone: the file is cut back to the rows
// its header counted and the bytes it overwrote are put back, which needs no new space. Then one
// error names the file and the system's reason.

void File::requireWritable() {
  if (!writable_) fail("Table file '" + path_ + "' is read-only");
}

void File::requireExclusive(const char* what) {
  if (!exclusive_) fail("Table file '" + path_ + "' must be open for exclusive use to be " + what);
}

off_t File::endOf(std::uint32_t records) const {
  return static_cast<off_t>(headerLength_) +
         static_cast<off_t>(records) * static_cast<off_t>(recordLength_);
}

void File::markEnd(off_t end) {
  const unsigned char eof = kEndOfFile;
  writeFully(fd_, &eof, 1, end);  // the mark is optional: a full disk may refuse it
}

// Open for exclusive use, the bytes after the counted rows are nobody's append in progress: they
// are cut before the table changes.
void File::cutTail(const Header& h) {
  const off_t end = endOf(h.records);
  if (!exclusive_ || h.size <= end + 1) return;
  if (writeCalls().ftruncate(fd_, end) == 0) markEnd(end);
  ++g_writes;
}

File::Snapshot File::snapshot(const Header& h, int firstRow, int rows) {
  Snapshot s;
  s.end = endOf(h.records);
  s.header.resize(kFileHeaderSize);
  preadAll(s.header.data(), s.header.size(), 0);
  s.from = endOf(static_cast<std::uint32_t>(firstRow));
  s.rows.resize(static_cast<size_t>(rows) * static_cast<size_t>(recordLength_));
  if (!s.rows.empty()) preadAll(s.rows.data(), s.rows.size(), s.from);
  return s;
}

void File::rollBack(const Snapshot& s, int err) {
  writeCalls().ftruncate(fd_, s.end);
  if (!s.rows.empty()) writeFully(fd_, s.rows.data(), s.rows.size(), s.from);
  writeFully(fd_, s.header.data(), s.header.size(), 0);
  markEnd(s.end);
  ++g_writes;
  writeFailed(err);
}

void File::finish(Session& s, bool ok, const Snapshot& before) {
  const bool closed = s.close();
  if (!ok || !closed) rollBack(before, s.status().err);
  ++g_writes;
}

int File::append(const std::string& record) {
  requireWritable();
  const Header h = readHeader();
  cutTail(h);
  const Snapshot before = snapshot(h, 0, 0);
  Session s(fd_, path_, true);
  if (s.get() == nullptr) writeFailed(s.status().err);
  const int index = static_cast<int>(h.records);
  std::string rec = record;
  rec.resize(static_cast<size_t>(recordLength_), ' ');
  rec[0] = kLiveMark;
  finish(s, DBFWriteTuple(s.get(), index, rec.data()) != 0, before);
  return index;
}

void File::write(int index, const std::string& record) {
  requireWritable();
  const Header h = readHeader();
  if (index < 0 || index >= static_cast<int>(h.records))
    fail("The row to store no longer exists in table file '" + path_ + "'");
  cutTail(h);
  const Snapshot before = snapshot(h, index, 1);
  Session s(fd_, path_, true);
  if (s.get() == nullptr) writeFailed(s.status().err);
  std::string rec = record;
  rec.resize(static_cast<size_t>(recordLength_), ' ');
  finish(s, DBFWriteTuple(s.get(), index, rec.data()) != 0, before);
}

void File::markDeleted(int index) {
  requireWritable();
  const Header h = readHeader();
  if (index < 0 || index >= static_cast<int>(h.records)) return;  // gone already
  cutTail(h);
  const Snapshot before = snapshot(h, index, 1);
  Session s(fd_, path_, true);
  if (s.get() == nullptr) writeFailed(s.status().err);
  finish(s, DBFMarkRecordDeleted(s.get(), index, 1) != 0, before);
}

// The rows go down in one write: a process stopped before it leaves every row as it was, one
// stopped after it every row marked.
void File::markAllDeleted() {
  requireWritable();
  std::vector<std::string> rows = readAll();
  if (rows.empty()) return;
  const Header h = readHeader();
  cutTail(h);
  const Snapshot before = snapshot(h, 0, static_cast<int>(h.records));
  for (std::string& r : rows) r[0] = kDeletedMark;
  writeRows(rows, before);
  writeCount(h.records, before);
}

void File::writeRows(const std::vector<std::string>& rows, const Snapshot& before) {
  std::string region;
  region.reserve(rows.size() * static_cast<size_t>(recordLength_));
  for (const std::string& r : rows) region += r;
  if (!writeFully(fd_, region.data(), region.size(), endOf(0))) rollBack(before, errno);
  ++g_writes;
}

// The header's date of last change and its row count, in one write.
void File::writeCount(std::uint32_t count, const Snapshot& before) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const std::string bytes =
      std::string{static_cast<char>(tm.tm_year), static_cast<char>(tm.tm_mon + 1),
                  static_cast<char>(tm.tm_mday)} +
      countBytes(count);
  if (!writeFully(fd_, bytes.data(), bytes.size(), 1)) rollBack(before, errno);
  ++g_writes;
}

// Drops the rows from newCount on: the count first, then the cut. Should the cut fail, the change
// is undone; a process stopped between the two leaves rows after the counted ones, which are
// ignored.
void File::shrinkTo(std::uint32_t newCount, const Snapshot& before) {
  writeCount(newCount, before);
  const off_t end = endOf(newCount);
  if (writeCalls().ftruncate(fd_, end) != 0) rollBack(before, errno);
  markEnd(end);
  fdatasync(fd_);
}

void File::empty() {
  requireWritable();
  requireExclusive("emptied");
  const Header h = readHeader();
  const Snapshot before = snapshot(h, 0, 0);
  shrinkTo(0, before);
}

// The kept rows move to the front and the places after them are marked deleted, all in one write;
// then the count and the cut. Stopped anywhere, the table shows the same rows once each.
std::vector<int> File::pack() {
  requireWritable();
  requireExclusive("packed");
  const std::vector<std::string> rows = readAll();
  const Header h = readHeader();
  cutTail(h);
  const Snapshot before = snapshot(h, 0, static_cast<int>(h.records));
  std::vector<int> map(rows.size(), -1);
  std::vector<std::string> packed;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i][0] == kDeletedMark) continue;
    map[i] = static_cast<int>(packed.size());
    packed.push_back(rows[i]);
  }
  const auto kept = static_cast<std::uint32_t>(packed.size());
  if (kept == rows.size()) return map;
  for (size_t i = packed.size(); i < rows.size(); ++i) {
    packed.push_back(rows[i]);
    packed.back()[0] = kDeletedMark;
  }
  writeRows(packed, before);
  shrinkTo(kept, before);
  return map;
}

// ---- creating ----

void File::create(const std::string& path, const std::vector<ColumnDef>& columns) {
  std::string tmpl = path + ".XXXXXX";
  const int fd = mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) throw Error("Cannot create table file '" + path + "': " + errnoText(errno));
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);

  auto failCreate = [&](int err) {
    ::close(fd);
    unlink(tmpl.c_str());
    throw Error("Cannot create table file '" + path + "'" +
                (err != 0 ? ": " + errnoText(err) : std::string()));
  };

  IoStatus status;
  SAHooks hooks = makeHooks();
  t_openFd = fd;
  t_openStatus = &status;
  t_errorStatus = &status;
  DBFHandle h = DBFCreateLL(tmpl.c_str(), nullptr, &hooks);
  t_openFd = -1;
  t_openStatus = nullptr;
  if (h == nullptr) {
    t_errorStatus = nullptr;
    failCreate(status.err);
  }
  bool ok = true;
  for (const ColumnDef& c : columns)
    if (DBFAddNativeFieldType(h, c.name.c_str(), c.type, c.width, c.decimals) < 0) ok = false;
  stampToday(h);
  DBFClose(h);
  t_errorStatus = nullptr;
  if (!ok || status.err != 0 || !status.message.empty()) failCreate(status.err);
  if (fsync(fd) != 0) failCreate(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    unlink(tmpl.c_str());
    throw Error("Cannot create table file '" + path + "': " + errnoText(err));
  }
  if (rename(tmpl.c_str(), path.c_str()) != 0) {
    const int err = errno;
    unlink(tmpl.c_str());
    throw Error("Cannot create table file '" + path + "': " + errnoText(err));
  }
}

void File::replace(const std::string& path, const std::vector<ColumnDef>& columns) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK)
      throw Error("Cannot open table file '" + path +
                  "' for exclusive use: it is in use by another window or program");
    throw Error("Cannot lock table file '" + path + "': " + errnoText(err));
  }
  try {
    create(path, columns);
  } catch (...) {
    if (fd >= 0) ::close(fd);
    throw;
  }
  if (fd >= 0) ::close(fd);  // the lock of the replaced file
}

// ---- file names ----

std::string resolveTablePath(const std::string& directory, const std::string& fileName) {
  std::string dir = directory.empty() ? std::string(".") : directory;
  std::string base = fileName;
  if (!fileName.empty() && fileName.front() == '/') {
    const size_t slash = fileName.rfind('/');
    dir = slash == 0 ? "/" : fileName.substr(0, slash);
    base = fileName.substr(slash + 1);
  } else if (const size_t slash = fileName.rfind('/'); slash != std::string::npos) {
    dir = joinPath(dir, fileName.substr(0, slash));
    base = fileName.substr(slash + 1);
  }
  const std::string exact = joinPath(dir, base);

  DIR* d = opendir(dir.c_str());
  if (d == nullptr) {
    const int err = errno;
    struct stat st {};
    if (stat(exact.c_str(), &st) == 0) return exact;  // searchable but not listable
    const std::string head = "Cannot open table file '" + exact + "': ";
    if (err == ENOENT) throw Error(head + "the directory '" + dir + "' does not exist");
    if (err == ENOTDIR) throw Error(head + "'" + dir + "' is not a directory");
    throw Error(head + "the directory '" + dir + "' cannot be read (" + errnoText(err) + ")");
  }
  std::vector<std::string> matches;
  bool exactFound = false;
  errno = 0;
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == base)
      exactFound = true;
    else if (equalNoCase(name, base))
      matches.push_back(name);
  }
  closedir(d);
  if (exactFound || matches.empty()) return exact;
  if (matches.size() == 1) return joinPath(dir, matches.front());
  std::sort(matches.begin(), matches.end());
  std::string list;
  for (const std::string& m : matches) list += (list.empty() ? "" : ", ") + m;
  throw Error("Cannot open table file '" + exact + "': several files in '" + dir +
              "' match its name (" + list + ")");
}

}  // namespace mirevant::dbf
