// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Inner state of a Dataset, shared by dataset.cpp and field.cpp. Private to src/tables/.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tables/dataset.h"
#include "tables/dbf_file.h"

namespace mirevant {

inline constexpr const char* kClosedMessage = "Cannot perform this operation on a closed dataset";
inline constexpr const char* kNotEditingMessage = "Dataset not in edit or insert mode";

// A field as the dataset knows it: what the program declared and, while open, where its column
// lies in the record.
struct FieldInfo {
  std::string name;
  FieldType type = FieldType::Text;
  bool truncate = false;
  bool readOnly = false;
  char letter = 0;
  int width = 0;
  int decimals = 0;
  int offset = 0;  // in the raw record; 0 while closed
};

enum class DataEvent { Scroll, DataSetChange, RecordChange, FieldChange };

struct Dataset::Impl {
  explicit Impl(Dataset& owner) : self(owner) {}

  Dataset& self;
  bool declared = false;  // fields declared by the program (else taken from the file on open)
  std::vector<FieldInfo> info;
  std::vector<std::unique_ptr<Field>> fields;

  std::string directory;
  std::string tableName;
  DriverType driver = DriverType::Default;
  bool exclusive = false;

  std::unique_ptr<dbf::File> file;
  DatasetState state = DatasetState::Inactive;

  // The rows as last read (raw records), and the file stamp they were read at.
  std::vector<std::string> rows;
  dbf::Stamp stamp;

  int rec = -1;         // physical row of the cursor, -1 when there is none
  std::string current;  // the cursor's row as read when the cursor came to it
  std::string pending;  // the row being edited or inserted
  bool eof = true;
  bool bof = true;
  bool modified = false;
  std::uint64_t serial = 0;  // counts the pending rows begun, to notice one ended by a handler
  bool insertEof = true;     // cursor flags to restore when an insertion is cancelled
  bool insertBof = true;

  std::vector<DataSource*> sources;
  int disableCount = 0;
  DatasetState disableState = DatasetState::Inactive;

  bool active() const { return state != DatasetState::Inactive; }
  bool editing() const { return state == DatasetState::Edit || state == DatasetState::Insert; }
  void checkActive() const;
  void checkInactive() const;
  void browseCheck();

  void setState(DatasetState s);
  void notifyState(DatasetState old);
  void notify(DataEvent event, Field* field = nullptr);

  void refreshRows();
  void setCursor(int row);
  bool visible(int row) const;
  int nextVisible(int from) const;   // first visible row after `from`, or -1
  int priorVisible(int from) const;  // last visible row before `from`, or -1
  std::vector<int> visibleRows() const;

  const std::string& buffer() const { return editing() ? pending : current; }
  std::string path() const;
  void bindFields();
  void beginPendingRow();
};

// Display text of a field in a raw record (blank record or field: empty text).
std::string fieldText(const FieldInfo& f, const std::string& record);

}  // namespace mirevant
