#pragma once

// The table layer: datasets over .dbf table files, their fields, and the data sources through which
// windows and data-aware widgets follow them. Plain C++; the engine adapter underneath is private
// to this directory.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/extended.h"

namespace mirevant {

enum class DatasetState { Inactive, Browse, Edit, Insert };
enum class DriverType { Default, FoxPro };
enum class FieldType { Text, Double, Boolean, SmallInt, Date, Blob };

class Dataset;
class DataSource;

// One column of an open dataset, bound to the current row's buffer.
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
  // as 0, a blank logical as false, a text without its trailing blanks.
  std::string asString() const;
  Extended asFloat() const;
  bool asBoolean() const;
  int asInteger() const;

  // Writes into the current row's buffer; need the dataset in edit or insert state
  // ("Dataset not in edit or insert mode"). Each write marks the row modified and notifies the data
  // sources with this field. Text written into a numeric field is converted (a text that does not
  // convert raises the conversion error); a text longer than a character column raises an error
  // naming the field, unless the field cuts silently (see Dataset::FieldSpec::truncate).
  void setAsString(const std::string& value);
  void setAsFloat(Extended value);
  void setAsBoolean(bool value);
  void setAsInteger(int value);
  void clear();

 private:
  friend class Dataset;
  Field(Dataset* owner, int index);
  Dataset* owner_;
  int index_;
};

// Listener interface for data-aware widgets attached to a data source.
class DataLink {
 public:
  virtual ~DataLink() = default;
  virtual void activeChanged() {}               // opened or closed
  virtual void dataSetChanged() {}              // rows may have changed (open, post, delete, refresh)
  virtual void dataSetScrolled() {}             // the cursor moved
  virtual void recordChanged(Field* /*f*/) {}  // a field of the current row was written
  virtual void editingChanged() {}              // the state changed
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

  // Called after every state change of the dataset.
  std::function<void()> onStateChange;
  // Called after every move (field = nullptr) and every field write (field = the field).
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

  // Location; may be changed only while closed. The file name is matched case-insensitively
  // against the directory's entries.
  void setDirectory(const std::string& directory);
  const std::string& directory() const;
  void setTableName(const std::string& fileName);
  const std::string& tableName() const;
  void setDriver(DriverType driver);
  DriverType driver() const;
  void setExclusive(bool exclusive);
  bool exclusive() const;

  void open();   // positions on the first visible row
  void close();  // discards a pending row
  bool active() const;
  DatasetState state() const;

  // Cursor movement; each first resolves a pending row (browse check).
  void first();
  void last();
  void next();
  void prior();
  bool eof() const;
  bool bof() const;
  int recordCount() const;  // rows in the file (deleted ones included until packed); -1 on error

  // Visible (not deleted) rows, for grids: count, the cursor's index among them, and a move to a
  // given index. While a new row is pending it counts as a row at the cursor's index.
  int rowCount() const;
  int currentRow() const;
  void moveToRow(int row);
  // Display text of a visible row's field without moving the cursor.
  std::string rowText(int row, const std::string& fieldName) const;

  Field& fieldByName(const std::string& name);
  Field* findField(const std::string& name);
  int fieldCount() const;
  Field& field(int index);

  bool modified() const;

  void append();                                          // new blank row at the end, state insert
  void insertRecord(const std::vector<std::string>& values);  // stores a complete row at once
  void edit();    // on an empty table starts a new row instead
  void post();    // before-post event, then stores; state back to browse
  void cancel();  // discards the pending row
  void deleteRecord();  // marks the current row deleted; in insert state cancels instead
  void emptyTable();    // browse check first
  void pack();          // needs exclusive use
  void refresh();       // browse check, then re-reads

  void disableControls();  // suspends notifications
  void enableControls();   // resumes them; on the last resume the sources get one data change
  bool controlsDisabled() const;

  // Before-post event; throwing Abort vetoes the post and leaves the row pending.
  std::function<void(Dataset&)> beforePost;

 private:
  friend class Field;
  friend class DataSource;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mirevant
