// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The table layer: datasets over .dbf table files, their fields, and the data sources through which
// windows and data-aware widgets follow them. Plain C++; the engine adapter underneath is private
// to this directory.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/extended.h"
#include "tables/table_errors.h"

namespace mirevant {

enum class DatasetState { Inactive, Browse, Edit, Insert };
enum class DriverType { Default, FoxPro };
enum class FieldType { Text, Double, Boolean, SmallInt, Date, Blob };

class Dataset;
class DataSource;
struct FieldInfo;

// One column of an open dataset, bound to the current row's buffer. A dataset that declares its
// fields (FieldSpec) keeps their Field objects for its whole life; one that does not makes them
// from the file's columns on every open (earlier Field references are then gone).
class Field {
 public:
  const std::string& name() const;
  FieldType type() const;
  int width() const;     // column width in characters
  int decimals() const;  // numeric columns only

  // A read-only field refuses writes ("Field 'X' cannot be modified"); the program lifts the flag
  // for the moment it stores into such a field.
  bool readOnly() const;
  void setReadOnly(bool readOnly);

  bool isNull() const;  // the stored text is blank

  // Reads of the current row (the pending buffer while editing or inserting). A blank numeric reads
  // as 0, a blank logical as false, a text without its trailing blanks; with no current row (an
  // empty table) every field is blank. asString of a number is its number text ("" when blank),
  // of a logical "True"/"False". A text field read as a number converts with the user's decimal
  // separator (textToFloat). Reads on a closed dataset fail ("Cannot perform this operation on a
  // closed dataset"); a read that makes no sense (a logical as a number) fails too.
  std::string asString() const;
  Extended asFloat() const;
  bool asBoolean() const;
  int asInteger() const;

  // Writes into the current row's buffer; need the dataset in edit or insert state
  // ("Dataset not in edit or insert mode"). Each write marks the row modified and notifies the data
  // sources with this field. Text written into a numeric field is converted (a text that does not
  // convert raises the conversion error); a text longer than a character column raises an error
  // naming the field, unless the field cuts silently (see Dataset::FieldSpec::truncate). Numbers
  // are stored with 15 significant digits and read back with the same digits; a number the column
  // cannot hold (not finite, or an integer wider than the column) raises an error naming the
  // field. An empty text clears the field.
  void setAsString(const std::string& value);
  void setAsFloat(Extended value);
  void setAsBoolean(bool value);
  void setAsInteger(int value);
  void clear();

 private:
  friend class Dataset;
  Field(Dataset* owner, int index);
  FieldInfo& info() const;
  std::string storedBytes() const;  // of the current row; checks that the dataset is open
  Dataset* owner_;
  int index_;
};

// Listener interface for data-aware widgets attached to a data source. A link must be removed
// from its source before it is destroyed; a source that goes first tells its links.
class DataLink {
 public:
  virtual ~DataLink() = default;
  virtual void activeChanged() {}    // opened or closed
  virtual void dataSetChanged() {}   // rows may have changed (open, post, delete, refresh)
  virtual void dataSetScrolled() {}  // the cursor moved
  virtual void recordChanged(Field* /*f*/) {}  // a field of the current row was written
  virtual void editingChanged() {}             // the state changed
  // The data source is being destroyed: the link is already detached and must forget it.
  virtual void dataSourceDestroyed() {}
};

// Links a dataset to windows (the two callbacks) and to widgets (DataLinks).
class DataSource {
 public:
  explicit DataSource(Dataset* dataset = nullptr);
  ~DataSource();
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;

  Dataset* dataset() const { return dataset_; }
  void setDataset(Dataset* dataset);

  // Called after every state change of the dataset; a handler may call back into the dataset
  // (the insert guard cancels a new row from here).
  std::function<void()> onStateChange;
  // Called after every move, row start, post, cancel, delete, empty, pack, refresh and open
  // (field = nullptr) and every field write (field = the field).
  std::function<void(Field* field)> onDataChange;

  void addLink(DataLink* link);
  void removeLink(DataLink* link);

 private:
  friend class Dataset;
  Dataset* dataset_ = nullptr;
  std::vector<DataLink*> links_;
};

class Dataset {
 public:
  // What the program declares for a column; open() checks the file against it.
  struct FieldSpec {
    std::string name;
    FieldType type;
    bool truncate = false;  // text longer than the column is cut silently instead of refused
    bool readOnly = false;  // initial read-only flag
  };

  explicit Dataset(std::vector<FieldSpec> fields = {});
  ~Dataset();
  Dataset(const Dataset&) = delete;
  Dataset& operator=(const Dataset&) = delete;

  // Location; may be changed only while closed ("Cannot perform this operation on an open
  // dataset"). The file name is matched case-insensitively against the directory's entries; an
  // exact match wins, several other matches are an error. The driver type is recorded only: both
  // drivers read and write the same files.
  void setDirectory(const std::string& directory);
  const std::string& directory() const;
  void setTableName(const std::string& fileName);
  const std::string& tableName() const;
  void setDriver(DriverType driver);
  DriverType driver() const;
  void setExclusive(bool exclusive);
  bool exclusive() const;

  // Opens the file shared or exclusively and positions on the first visible row. The dataset holds
  // a file lock while open: an exclusive open while any other dataset or program has the file
  // open (or a shared one while another holds it exclusively) fails at once with an error naming
  // the file; so does a missing, foreign or damaged file (DamagedTableError: rows its header
  // counts are missing, or the header is garbled), or a column that does not give the
  // declared field type. A failed open leaves the dataset closed.
  void open();
  void close();  // discards a pending row
  bool active() const;
  DatasetState state() const;

  // Cursor movement over the visible (not deleted) rows in physical order; each first resolves a
  // pending row (browse check). Moving past the last row sets eof and leaves the last row current;
  // moving before the first sets bof. Rows stored by another view of the file are seen: the rows
  // are read again whenever the file changed.
  void first();
  void last();
  void next();
  void prior();
  bool eof() const;
  bool bof() const;
  // Rows in the file, read from its header now (deleted ones included until packed; a pending new
  // row not counted); -1 when the file cannot be read.
  int recordCount() const;

  // Visible (not deleted) rows, for grids: count, the cursor's index among them, and a move to a
  // given index (browse check first; clamped to the rows there are). While a new row is pending it
  // counts as the last row, and the cursor's index is its index. Closed: 0 rows, index -1.
  int rowCount() const;
  int currentRow() const;
  void moveToRow(int row);
  // Display text (as Field::asString) of a visible row's field without moving the cursor; the
  // pending values for the row being edited or inserted; "" for a row index out of range.
  std::string rowText(int row, const std::string& fieldName) const;

  Field& fieldByName(const std::string& name);
  Field* findField(const std::string& name);
  int fieldCount() const;
  Field& field(int index);

  bool modified() const;

  // Starts a new blank row at the end, state insert. Values that state-change handlers write while
  // the row starts are defaults: the row is not modified by them. When a handler cancels the row,
  // append returns normally with the dataset in browse state.
  void append();
  // Stores a complete row at once from values in field order (fields past the list stay blank,
  // an empty value leaves its field blank): browse check, a new row, the values written as by
  // setAsString, post. The row is stored whole or not at all: on any failure (a conversion, a
  // veto, a handler that cancelled the row: "Dataset not in edit or insert mode") nothing is
  // stored and the dataset is back in browse state.
  void insertRecord(const std::vector<std::string>& values);
  // Puts the current row into edit state; on an empty table starts a new row as append does.
  // Nothing happens while already editing or inserting.
  void edit();
  // Runs beforePost, then stores the pending row (new rows at the end); state back to browse. A
  // veto (Abort) or a failure to write leaves the row pending. Outside edit and insert state it
  // fails with "Dataset not in edit or insert mode".
  void post();
  void cancel();  // discards the pending row; nothing happens in browse state
  // Marks the current row deleted (a pending edit is discarded); in insert state cancels instead.
  // With no current row (an empty table) nothing happens.
  void deleteRecord();
  // Removes every row, after the browse check. Open exclusively, the rows are removed from the
  // file; open shared (other views may be reading), they are marked deleted and disappear from
  // every view at once. On a closed dataset the file is opened exclusively for the moment.
  void emptyTable();
  // Removes the rows marked deleted, keeping the order of the others; needs the dataset open for
  // exclusive use. Empty and pack leave a readable table should they fail part way.
  void pack();
  void refresh();  // browse check, then re-reads the rows

  // Suspend and resume every notification, state changes included (calls nest). On the last
  // resume the sources get a state change if the state differs from the one at suspension, then,
  // if the dataset was open then and is open now, one data change.
  void disableControls();
  void enableControls();
  bool controlsDisabled() const;

  // Before-post event; throwing Abort vetoes the post and leaves the row pending.
  std::function<void(Dataset&)> beforePost;

  struct Impl;  // opaque; defined inside the table layer

 private:
  friend class Field;
  friend class DataSource;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mirevant
