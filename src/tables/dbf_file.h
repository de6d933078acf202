// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The engine adapter under the dataset layer: one open .dbf table file, read and written through
// shapelib. Private to src/tables/.
//
// The adapter holds an flock on the file for as long as it is open (shared or exclusive, never
// waiting), checks the header before shapelib sees it, and hands shapelib its own locked file
// descriptor through I/O hooks, so that shapelib never opens the file by name. Rows travel as raw
// records (the deletion flag followed by the fields' text); formatting and parsing the field text
// is the dataset layer's business, never shapelib's.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tables/column_def.h"

namespace mirevant::dbf {

// One column as the file describes it.
struct Column {
  std::string name;
  char type = 'C';
  int width = 0;
  int decimals = 0;
  int offset = 0;  // within the raw record; the deletion flag is byte 0
};

// Identifies the file's content as last read: a change by any dataset of this process bumps the
// process-wide write count, a change by another program shows in the size or modification time.
struct Stamp {
  std::uint64_t writes = 0;
  off_t size = -1;
  struct timespec mtime {};
  bool operator==(const Stamp& o) const {
    return writes == o.writes && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

// The raw-record deletion marks.
inline constexpr char kLiveMark = ' ';
inline constexpr char kDeletedMark = '*';

class Session;

class File {
 public:
  // Opens an existing table file and locks it (shared or exclusive, without waiting). Throws
  // mirevant::Error naming the file: not found, in use, not a table; DamagedTableError when the
  // header is garbled or the file lacks rows its header counts. Bytes after the counted rows are
  // ignored, and cut by the next change of a table open for exclusive use.
  File(const std::string& path, bool exclusive);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Writes a new, empty table with the given columns as `path`, replacing any file of that name
  // only once the new one is complete.
  static void create(const std::string& path, const std::vector<ColumnDef>& columns);
  // As create, but first takes the existing file's lock for exclusive use: a file that another
  // window or program has open is not replaced.
  static void replace(const std::string& path, const std::vector<ColumnDef>& columns);

  const std::string& path() const { return path_; }
  bool exclusive() const { return exclusive_; }
  bool writable() const { return writable_; }
  const std::vector<Column>& columns() const { return columns_; }
  int recordLength() const { return recordLength_; }

  // A record of spaces with the live mark.
  std::string blankRecord() const { return std::string(static_cast<size_t>(recordLength_), ' '); }

  Stamp stamp() const;
  // Re-reads the header: the rows the file holds now, deleted ones included.
  int recordCount();
  // Every row as a raw record, read afresh.
  std::vector<std::string> readAll();

  // Changes of the file. Each one that cannot be completed (a failed or short write: a full disk)
  // is undone and throws one Error naming the file and the system's reason.
  // Stores a new row after the last one; returns its index.
  int append(const std::string& record);
  void write(int index, const std::string& record);
  void markDeleted(int index);
  // Marks every row deleted; the file keeps its size (safe while others read it).
  void markAllDeleted();
  // Removes every row. Exclusive use only.
  void empty();
  // Removes the rows marked deleted, keeping the order of the others; returns for each old row
  // its new index, or -1 for a removed row. Exclusive use only.
  std::vector<int> pack();

 private:
  struct Header {
    int headerLength = 0;
    int recordLength = 0;
    std::uint32_t records = 0;
    off_t size = 0;  // of the file when the header was read
  };
  // What a change may overwrite: the header and some rows, and where the counted rows ended.
  struct Snapshot {
    off_t end = 0;
    std::string header;
    off_t from = 0;
    std::string rows;
  };

  Header readHeader();
  off_t endOf(std::uint32_t records) const;
  void requireWritable();
  void requireExclusive(const char* what);
  void markEnd(off_t end);
  void cutTail(const Header& h);
  Snapshot snapshot(const Header& h, int firstRow, int rows);
  [[noreturn]] void rollBack(const Snapshot& s, int err);
  void finish(Session& s, bool ok, const Snapshot& before);
  void writeRows(const std::vector<std::string>& rows, const Snapshot& before);
  void writeCount(std::uint32_t count, const Snapshot& before);
  void shrinkTo(std::uint32_t newCount, const Snapshot& before);
  void preadAll(void* data, size_t size, off_t offset);
  [[noreturn]] void fail(const std::string& what) const;
  [[noreturn]] void damaged(const std::string& what) const;
  [[noreturn]] void writeFailed(int err) const;

  std::string path_;
  int fd_ = -1;
  bool exclusive_ = false;
  bool writable_ = false;
  int headerLength_ = 0;
  int recordLength_ = 0;
  std::vector<Column> columns_;
};

// Resolves a table's file name against a directory, ignoring case ("Covdat.dbf" finds
// "COVDAT.DBF"). An exact match wins; several other matches are an error. A name that matches
// nothing resolves to the name as given, so that opening it reports the missing file.
std::string resolveTablePath(const std::string& directory, const std::string& fileName);

}  // namespace mirevant::dbf
