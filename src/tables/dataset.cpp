// SPDX-License-Identifier: GPL-3.0-or-later
#include "tables/dataset.h"

#include <algorithm>

#include "core/errors.h"
#include "tables/column_text.h"
#include "tables/dataset_impl.h"

namespace mirevant {

namespace {

template <class T>
bool contains(const std::vector<T*>& list, const T* item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

const char* typeName(FieldType t) {
  switch (t) {
    case FieldType::Text:
      return "text";
    case FieldType::Double:
      return "double";
    case FieldType::Boolean:
      return "boolean";
    case FieldType::SmallInt:
      return "16-bit integer";
    case FieldType::Date:
      return "date";
    case FieldType::Blob:
      return "blob";
  }
  return "unknown";
}

// The field type a column gives.
FieldType columnFieldType(const dbf::Column& c) {
  switch (c.type) {
    case 'C':
      return FieldType::Text;
    case 'L':
      return FieldType::Boolean;
    case 'N':
      return (c.decimals > 0 || c.width >= 5) ? FieldType::Double : FieldType::SmallInt;
    case 'D':
      return FieldType::Date;
    case 'M':
    case 'B':
    case 'G':
    case 'P':
      return FieldType::Blob;
    default:
      throw Error(std::string("Invalid Field Type ") + c.type);
  }
}

void placeColumn(FieldInfo& f, const dbf::Column& c) {
  f.letter = c.type;
  f.width = c.width;
  f.decimals = c.decimals;
  f.offset = c.offset;
}

}  // namespace

// ---- DataSource ----

DataSource::DataSource(Dataset* dataset) {
  setDataset(dataset);
}

// Detaches without telling the links: they may be gone already when a window is torn down.
DataSource::~DataSource() {
  if (dataset_ != nullptr) {
    auto& list = dataset_->impl_->sources;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  const std::vector<DataLink*> links = std::move(links_);
  links_.clear();
  for (DataLink* l : links) l->dataSourceDestroyed();
}

void DataSource::setDataset(Dataset* dataset) {
  if (dataset == dataset_) return;
  if (dataset_ != nullptr) {
    auto& list = dataset_->impl_->sources;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  dataset_ = dataset;
  if (dataset_ != nullptr) dataset_->impl_->sources.push_back(this);
  const std::vector<DataLink*> links = links_;
  for (DataLink* l : links)
    if (contains(links_, l)) l->activeChanged();
}

void DataSource::addLink(DataLink* link) {
  if (link != nullptr && !contains(links_, link)) links_.push_back(link);
}

void DataSource::removeLink(DataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

// ---- Dataset::Impl ----

void Dataset::Impl::checkActive() const {
  if (!active()) throw Error(kClosedMessage);
}

void Dataset::Impl::checkInactive() const {
  if (active()) throw Error("Cannot perform this operation on an open dataset");
}

void Dataset::Impl::browseCheck() {
  checkActive();
  if (editing()) {
    if (modified)
      self.post();
    else
      self.cancel();
  }
}

void Dataset::Impl::setState(DatasetState s) {
  if (state == s) return;
  const DatasetState old = state;
  state = s;
  modified = false;
  notifyState(old);
}

// Handlers may call back into the dataset, attach or detach sources and links: every list is
// walked on a copy, and an entry removed meanwhile is skipped.
void Dataset::Impl::notifyState(DatasetState old) {
  if (disableCount > 0) return;
  const bool activeChange = (old == DatasetState::Inactive) != (state == DatasetState::Inactive);
  const std::vector<DataSource*> list = sources;
  for (DataSource* s : list) {
    if (!contains(sources, s)) continue;
    const std::vector<DataLink*> links = s->links_;
    for (DataLink* l : links) {
      if (!contains(s->links_, l)) continue;
      if (activeChange)
        l->activeChanged();
      else
        l->editingChanged();
    }
    if (s->onStateChange && contains(sources, s)) s->onStateChange();
    // Coming from closed, the source also reports the data as changed.
    if (old == DatasetState::Inactive && active() && s->onDataChange && contains(sources, s))
      s->onDataChange(nullptr);
  }
}

void Dataset::Impl::notify(DataEvent event, Field* field) {
  if (disableCount > 0 || !active()) return;
  const std::vector<DataSource*> list = sources;
  for (DataSource* s : list) {
    if (!contains(sources, s)) continue;
    const std::vector<DataLink*> links = s->links_;
    for (DataLink* l : links) {
      if (!contains(s->links_, l)) continue;
      switch (event) {
        case DataEvent::Scroll:
          l->dataSetScrolled();
          break;
        case DataEvent::DataSetChange:
          l->dataSetChanged();
          break;
        case DataEvent::RecordChange:
          l->recordChanged(nullptr);
          break;
        case DataEvent::FieldChange:
          l->recordChanged(field);
          break;
      }
    }
    if (s->onDataChange && contains(sources, s))
      s->onDataChange(event == DataEvent::FieldChange ? field : nullptr);
  }
}

// Reads the rows again when the file changed since they were read: another view of the same file
// may have stored or deleted rows.
void Dataset::Impl::refreshRows() {
  if (!file) return;
  const dbf::Stamp now = file->stamp();
  if (now == stamp) return;
  rows = file->readAll();
  stamp = now;
}

void Dataset::Impl::setCursor(int row) {
  rec = row;
  current = (row >= 0 && row < static_cast<int>(rows.size())) ? rows[static_cast<size_t>(row)]
                                                              : std::string();
}

bool Dataset::Impl::visible(int row) const {
  return row >= 0 && row < static_cast<int>(rows.size()) &&
         rows[static_cast<size_t>(row)][0] != dbf::kDeletedMark;
}

int Dataset::Impl::nextVisible(int from) const {
  for (int i = std::max(from + 1, 0); i < static_cast<int>(rows.size()); ++i)
    if (visible(i)) return i;
  return -1;
}

int Dataset::Impl::priorVisible(int from) const {
  for (int i = std::min(from, static_cast<int>(rows.size())) - 1; i >= 0; --i)
    if (visible(i)) return i;
  return -1;
}

std::vector<int> Dataset::Impl::visibleRows() const {
  std::vector<int> out;
  for (int i = 0; i < static_cast<int>(rows.size()); ++i)
    if (visible(i)) out.push_back(i);
  return out;
}

std::string Dataset::Impl::path() const {
  return dbf::resolveTablePath(directory, tableName);
}

// Ties the fields to the file's columns: declared fields must find a column that gives their
// type; without declarations every column becomes a field.
void Dataset::Impl::bindFields() {
  const std::vector<dbf::Column>& cols = file->columns();
  if (declared) {
    for (FieldInfo& f : info) {
      const auto it = std::find_if(cols.begin(), cols.end(), [&](const dbf::Column& c) {
        return dbf::equalNoCase(c.name, f.name);
      });
      if (it == cols.end())
        throw Error("Table file '" + file->path() + "' has no column '" + f.name + "'");
      const FieldType t = columnFieldType(*it);
      if (t != f.type)
        throw Error("Column '" + f.name + "' of table file '" + file->path() + "' gives a " +
                    typeName(t) + " field, but a " + typeName(f.type) + " field is needed");
      placeColumn(f, *it);
    }
    return;
  }
  std::vector<FieldInfo> fresh;
  for (const dbf::Column& c : cols) {
    FieldInfo f;
    f.name = c.name;
    f.type = columnFieldType(c);
    placeColumn(f, c);
    fresh.push_back(f);
  }
  info = std::move(fresh);
  fields.clear();
  for (size_t i = 0; i < info.size(); ++i)
    fields.emplace_back(new Field(&self, static_cast<int>(i)));
}

void Dataset::Impl::beginPendingRow() {
  pending = file->blankRecord();
  insertEof = eof;
  insertBof = bof;
  ++serial;
}

namespace {

void requireWritable(const dbf::File& file) {
  if (!file.writable()) throw Error("Table file '" + file.path() + "' is read-only");
}

}  // namespace

// ---- Dataset ----

Dataset::Dataset(std::vector<FieldSpec> fields) : impl_(std::make_unique<Impl>(*this)) {
  impl_->declared = !fields.empty();
  for (const FieldSpec& s : fields) {
    FieldInfo f;
    f.name = s.name;
    f.type = s.type;
    f.truncate = s.truncate;
    f.readOnly = s.readOnly;
    impl_->info.push_back(f);
    impl_->fields.emplace_back(new Field(this, static_cast<int>(impl_->fields.size())));
  }
}

Dataset::~Dataset() {
  // Sources and their widgets outlive the dataset here and then show nothing.
  const std::vector<DataSource*> sources = impl_->sources;
  for (DataSource* s : sources) {
    s->dataset_ = nullptr;
    const std::vector<DataLink*> links = s->links_;
    for (DataLink* l : links) l->activeChanged();
  }
}

void Dataset::setDirectory(const std::string& directory) {
  impl_->checkInactive();
  impl_->directory = directory;
}

const std::string& Dataset::directory() const {
  return impl_->directory;
}

void Dataset::setTableName(const std::string& fileName) {
  impl_->checkInactive();
  impl_->tableName = fileName;
}

const std::string& Dataset::tableName() const {
  return impl_->tableName;
}

void Dataset::setDriver(DriverType driver) {
  impl_->checkInactive();
  impl_->driver = driver;
}

DriverType Dataset::driver() const {
  return impl_->driver;
}

void Dataset::setExclusive(bool exclusive) {
  impl_->checkInactive();
  impl_->exclusive = exclusive;
}

bool Dataset::exclusive() const {
  return impl_->exclusive;
}

void Dataset::open() {
  Impl& d = *impl_;
  if (d.active()) return;
  d.file = std::make_unique<dbf::File>(d.path(), d.exclusive);
  try {
    d.bindFields();
    d.stamp = {};
    d.refreshRows();
  } catch (...) {
    d.file.reset();
    d.rows.clear();
    d.stamp = {};
    throw;
  }
  d.pending.clear();
  d.setCursor(d.nextVisible(-1));
  d.bof = true;
  d.eof = d.rec < 0;
  d.setState(DatasetState::Browse);
}

void Dataset::close() {
  Impl& d = *impl_;
  if (!d.active()) return;
  d.file.reset();  // releases the lock
  d.rows.clear();
  d.stamp = {};
  d.pending.clear();
  d.setCursor(-1);
  d.eof = d.bof = true;
  d.setState(DatasetState::Inactive);
}

bool Dataset::active() const {
  return impl_->active();
}

DatasetState Dataset::state() const {
  return impl_->state;
}

void Dataset::first() {
  Impl& d = *impl_;
  d.browseCheck();
  d.refreshRows();
  d.setCursor(d.nextVisible(-1));
  d.bof = true;
  d.eof = d.rec < 0;
  d.notify(DataEvent::Scroll);
}

void Dataset::last() {
  Impl& d = *impl_;
  d.browseCheck();
  d.refreshRows();
  d.setCursor(d.priorVisible(static_cast<int>(d.rows.size())));
  d.eof = true;
  d.bof = d.rec < 0;
  d.notify(DataEvent::Scroll);
}

void Dataset::next() {
  Impl& d = *impl_;
  d.browseCheck();
  if (d.eof) return;
  d.refreshRows();
  const int row = d.nextVisible(d.rec);
  if (row < 0) {
    d.eof = true;  // the last row stays current
    return;
  }
  d.setCursor(row);
  d.bof = false;
  d.notify(DataEvent::Scroll);
}

void Dataset::prior() {
  Impl& d = *impl_;
  d.browseCheck();
  if (d.bof) return;
  d.refreshRows();
  const int row = d.priorVisible(d.rec);
  if (row < 0) {
    d.bof = true;  // the first row stays current
    return;
  }
  d.setCursor(row);
  d.eof = false;
  d.notify(DataEvent::Scroll);
}

bool Dataset::eof() const {
  return impl_->eof;
}

bool Dataset::bof() const {
  return impl_->bof;
}

int Dataset::recordCount() const {
  impl_->checkActive();
  try {
    return impl_->file->recordCount();
  } catch (const Error&) {
    return -1;
  }
}

int Dataset::rowCount() const {
  Impl& d = *impl_;
  if (!d.active()) return 0;
  d.refreshRows();
  return static_cast<int>(d.visibleRows().size()) + (d.state == DatasetState::Insert ? 1 : 0);
}

int Dataset::currentRow() const {
  Impl& d = *impl_;
  if (!d.active()) return -1;
  if (d.state == DatasetState::Insert) return rowCount() - 1;
  if (d.rec < 0) return -1;
  d.refreshRows();
  int index = 0;
  for (int i = 0; i < d.rec && i < static_cast<int>(d.rows.size()); ++i)
    if (d.visible(i)) ++index;
  return index;
}

void Dataset::moveToRow(int row) {
  Impl& d = *impl_;
  d.browseCheck();
  d.refreshRows();
  const std::vector<int> rows = d.visibleRows();
  if (rows.empty()) {
    d.setCursor(-1);
    d.eof = d.bof = true;
  } else {
    row = std::clamp(row, 0, static_cast<int>(rows.size()) - 1);
    d.setCursor(rows[static_cast<size_t>(row)]);
    d.eof = d.bof = false;
  }
  d.notify(DataEvent::Scroll);
}

std::string Dataset::rowText(int row, const std::string& fieldName) const {
  Impl& d = *impl_;
  d.checkActive();
  Field& f = const_cast<Dataset*>(this)->fieldByName(fieldName);
  d.refreshRows();
  const std::vector<int> rows = d.visibleRows();
  if (d.state == DatasetState::Insert && row == static_cast<int>(rows.size()))
    return fieldText(d.info[static_cast<size_t>(f.index_)], d.pending);
  if (row < 0 || row >= static_cast<int>(rows.size())) return std::string();
  const int physical = rows[static_cast<size_t>(row)];
  const std::string& record = (d.state == DatasetState::Edit && physical == d.rec)
                                  ? d.pending
                                  : d.rows[static_cast<size_t>(physical)];
  return fieldText(d.info[static_cast<size_t>(f.index_)], record);
}

Field& Dataset::fieldByName(const std::string& name) {
  Field* f = findField(name);
  if (f == nullptr) throw Error("Field '" + name + "' not found");
  return *f;
}

Field* Dataset::findField(const std::string& name) {
  for (size_t i = 0; i < impl_->info.size(); ++i)
    if (dbf::equalNoCase(impl_->info[i].name, name)) return impl_->fields[i].get();
  return nullptr;
}

int Dataset::fieldCount() const {
  return static_cast<int>(impl_->fields.size());
}

Field& Dataset::field(int index) {
  if (index < 0 || index >= fieldCount())
    throw Error("Field index " + std::to_string(index) + " out of range");
  return *impl_->fields[static_cast<size_t>(index)];
}

bool Dataset::modified() const {
  return impl_->modified;
}

void Dataset::append() {
  Impl& d = *impl_;
  d.browseCheck();
  requireWritable(*d.file);
  d.beginPendingRow();
  const std::uint64_t serial = d.serial;
  d.setState(DatasetState::Insert);
  // A state-change handler may have cancelled the new row (the insert guard) or replaced it.
  if (d.state != DatasetState::Insert || d.serial != serial) return;
  // What handlers wrote while the row was being started is a default, not a change.
  d.modified = false;
  d.notify(DataEvent::DataSetChange);
}

void Dataset::insertRecord(const std::vector<std::string>& values) {
  Impl& d = *impl_;
  d.browseCheck();
  requireWritable(*d.file);
  if (values.size() > d.fields.size())
    throw Error("Too many values for a row of table file '" + d.file->path() + "'");
  d.beginPendingRow();
  const std::uint64_t serial = d.serial;
  d.setState(DatasetState::Insert);
  if (d.state != DatasetState::Insert || d.serial != serial) throw Error(kNotEditingMessage);
  d.modified = false;
  try {
    for (size_t i = 0; i < values.size(); ++i)
      if (!values[i].empty()) d.fields[i]->setAsString(values[i]);  // empty: stays blank
    post();
  } catch (...) {
    // The row is stored whole or not at all.
    if (d.state == DatasetState::Insert && d.serial == serial) cancel();
    throw;
  }
}

void Dataset::edit() {
  Impl& d = *impl_;
  d.checkActive();
  if (d.editing()) return;
  d.refreshRows();
  if (d.rec < 0) {
    // No row to edit: start a new one, as append does.
    requireWritable(*d.file);
    d.beginPendingRow();
    const std::uint64_t serial = d.serial;
    d.setState(DatasetState::Insert);
    if (d.state != DatasetState::Insert || d.serial != serial) return;
    d.modified = false;
    d.notify(DataEvent::DataSetChange);
    return;
  }
  if (!d.visible(d.rec)) throw Error("The row has been deleted by another window or program");
  requireWritable(*d.file);
  d.pending = d.current;
  d.pending[0] = dbf::kLiveMark;
  const std::uint64_t serial = ++d.serial;
  d.setState(DatasetState::Edit);
  if (d.state != DatasetState::Edit || d.serial != serial) return;
  d.notify(DataEvent::RecordChange);
}

void Dataset::post() {
  Impl& d = *impl_;
  d.checkActive();
  if (!d.editing()) throw Error(kNotEditingMessage);
  if (beforePost) beforePost(*this);  // Abort vetoes; the row stays pending
  if (!d.editing()) return;           // the handler settled the row itself
  if (d.state == DatasetState::Insert) {
    const int index = d.file->append(d.pending);
    d.refreshRows();
    d.setCursor(index);
  } else {
    d.refreshRows();
    if (!d.visible(d.rec)) throw Error("The row has been deleted by another window or program");
    d.file->write(d.rec, d.pending);
    d.refreshRows();
    d.setCursor(d.rec);
  }
  d.eof = d.bof = false;
  d.pending.clear();
  d.setState(DatasetState::Browse);
  d.notify(DataEvent::DataSetChange);
}

void Dataset::cancel() {
  Impl& d = *impl_;
  if (!d.editing()) return;
  if (d.state == DatasetState::Insert) {
    d.eof = d.insertEof;
    d.bof = d.insertBof;
  }
  d.pending.clear();
  d.setState(DatasetState::Browse);
  d.notify(DataEvent::DataSetChange);
}

void Dataset::deleteRecord() {
  Impl& d = *impl_;
  d.checkActive();
  if (d.state == DatasetState::Insert) {
    cancel();
    return;
  }
  d.refreshRows();
  if (!d.visible(d.rec)) {
    // No row under the cursor (an empty table, or one another view removed): nothing to delete.
    cancel();
    return;
  }
  requireWritable(*d.file);
  const int removed = d.rec;
  d.file->markDeleted(removed);
  d.refreshRows();
  int row = d.nextVisible(removed);
  if (row < 0) row = d.priorVisible(removed);
  d.pending.clear();
  d.setCursor(row);
  d.eof = d.bof = row < 0;
  if (d.state == DatasetState::Edit) d.setState(DatasetState::Browse);
  d.notify(DataEvent::DataSetChange);
}

void Dataset::emptyTable() {
  Impl& d = *impl_;
  if (!d.active()) {
    dbf::File file(d.path(), true);
    file.empty();
    return;
  }
  d.browseCheck();
  requireWritable(*d.file);
  // Shared use leaves the rows in place, marked deleted, so that other views reading the file
  // never see it shrink under them; exclusive use removes them.
  if (d.file->exclusive())
    d.file->empty();
  else
    d.file->markAllDeleted();
  d.refreshRows();
  d.setCursor(-1);
  d.eof = d.bof = true;
  d.notify(DataEvent::DataSetChange);
}

void Dataset::pack() {
  Impl& d = *impl_;
  d.checkActive();
  if (!d.file->exclusive())
    throw Error("Table file '" + d.file->path() + "' must be open for exclusive use to be packed");
  d.browseCheck();
  const std::vector<int> moved = d.file->pack();
  d.refreshRows();
  int row = (d.rec >= 0 && d.rec < static_cast<int>(moved.size()))
                ? moved[static_cast<size_t>(d.rec)]
                : -1;
  if (row < 0) row = d.nextVisible(-1);
  d.setCursor(row);
  d.eof = d.bof = row < 0;
  d.notify(DataEvent::DataSetChange);
}

void Dataset::refresh() {
  Impl& d = *impl_;
  d.browseCheck();
  d.stamp = {};
  d.refreshRows();
  if (!d.visible(d.rec)) {
    int row = d.nextVisible(d.rec);
    if (row < 0) row = d.priorVisible(d.rec);
    d.setCursor(row);
    d.eof = d.bof = row < 0;
  } else {
    d.setCursor(d.rec);
  }
  d.notify(DataEvent::DataSetChange);
}

void Dataset::disableControls() {
  if (impl_->disableCount++ == 0) impl_->disableState = impl_->state;
}

void Dataset::enableControls() {
  Impl& d = *impl_;
  if (d.disableCount == 0) return;
  if (--d.disableCount > 0) return;
  if (d.disableState != d.state) d.notifyState(d.disableState);
  if (d.disableState != DatasetState::Inactive && d.state != DatasetState::Inactive)
    d.notify(DataEvent::DataSetChange);
}

bool Dataset::controlsDisabled() const {
  return impl_->disableCount > 0;
}

}  // namespace mirevant
