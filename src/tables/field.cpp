// SPDX-License-Identifier: GPL-3.0-or-later
#include <climits>
#include <cmath>

#include "core/errors.h"
#include "core/numtext.h"
#include "tables/column_text.h"
#include "tables/dataset.h"
#include "tables/dataset_impl.h"

namespace mirevant {

namespace {

// The column's slice of a raw record; empty when there is no record (no current row).
std::string slice(const FieldInfo& f, const std::string& record) {
  if (record.empty() || f.offset <= 0 || static_cast<size_t>(f.offset + f.width) > record.size())
    return std::string();
  return record.substr(static_cast<size_t>(f.offset), static_cast<size_t>(f.width));
}

bool blank(const std::string& raw) {
  return dbf::trimRight(raw).empty();
}

Extended numberIn(const std::string& raw) {
  Extended v = 0;
  if (!dbf::parseNumericColumn(raw, v)) throw ConvertError(invalidFloatMessage(dbf::trimBoth(raw)));
  return v;
}

int integerIn(const std::string& raw) {
  return textToInt(dbf::trimBoth(raw));
}

// Logical columns: T/Y true, F/N false, blank or '?' unknown.
bool booleanIn(const std::string& raw, bool& value) {
  const std::string t = dbf::trimBoth(raw);
  if (t.empty()) return false;
  switch (t[0]) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
      value = true;
      return true;
    case 'F':
    case 'f':
    case 'N':
    case 'n':
      value = false;
      return true;
    default:
      return false;
  }
}

[[noreturn]] void cannotAccess(const FieldInfo& f, const char* as) {
  throw Error("Cannot access field '" + f.name + "' as type " + as);
}

int roundToInt(const FieldInfo& f, Extended v) {
  const Extended r = std::nearbyint(v);
  if (!(r >= static_cast<Extended>(INT_MIN) && r <= static_cast<Extended>(INT_MAX)))
    throw Error("The value " + numberText(v) + " of field '" + f.name +
                "' is out of the integer range");
  return static_cast<int>(r);
}

// Cuts text to at most `width` bytes without splitting a UTF-8 sequence.
std::string cutText(const std::string& text, size_t width) {
  if (text.size() <= width) return text;
  size_t end = width;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string fieldText(const FieldInfo& f, const std::string& record) {
  const std::string raw = slice(f, record);
  if (blank(raw)) return std::string();
  switch (f.type) {
    case FieldType::Double:
      return numberText(numberIn(raw));
    case FieldType::SmallInt:
      return std::to_string(integerIn(raw));
    case FieldType::Boolean: {
      bool b = false;
      if (!booleanIn(raw, b)) return std::string();
      return b ? "True" : "False";
    }
    case FieldType::Text:
    case FieldType::Date:
    case FieldType::Blob:
      break;
  }
  return dbf::trimRight(raw);
}

Field::Field(Dataset* owner, int index) : owner_(owner), index_(index) {}

// The field's description lives in the dataset.
FieldInfo& Field::info() const {
  return owner_->impl_->info[static_cast<size_t>(index_)];
}

const std::string& Field::name() const {
  return info().name;
}
FieldType Field::type() const {
  return info().type;
}
int Field::width() const {
  return info().width;
}
int Field::decimals() const {
  return info().decimals;
}
bool Field::readOnly() const {
  return info().readOnly;
}
void Field::setReadOnly(bool readOnly) {
  info().readOnly = readOnly;
}

std::string Field::storedBytes() const {
  const Dataset::Impl& d = *owner_->impl_;
  d.checkActive();
  return slice(info(), d.buffer());
}

bool Field::isNull() const {
  const FieldInfo& f = info();
  const std::string raw = storedBytes();
  if (f.type == FieldType::Boolean) {
    bool b = false;
    return !booleanIn(raw, b);
  }
  return blank(raw);
}

std::string Field::asString() const {
  const Dataset::Impl& d = *owner_->impl_;
  d.checkActive();
  return fieldText(info(), d.buffer());
}

Extended Field::asFloat() const {
  const FieldInfo& f = info();
  const std::string raw = storedBytes();
  switch (f.type) {
    case FieldType::Double:
      return blank(raw) ? 0 : numberIn(raw);
    case FieldType::SmallInt:
      return blank(raw) ? 0 : integerIn(raw);
    case FieldType::Text:
      return textToFloat(dbf::trimRight(raw));
    default:
      cannotAccess(f, "Float");
  }
}

int Field::asInteger() const {
  const FieldInfo& f = info();
  const std::string raw = storedBytes();
  switch (f.type) {
    case FieldType::SmallInt:
      return blank(raw) ? 0 : integerIn(raw);
    case FieldType::Double:
      return blank(raw) ? 0 : roundToInt(f, numberIn(raw));
    case FieldType::Text:
      return textToInt(dbf::trimRight(raw));
    default:
      cannotAccess(f, "Integer");
  }
}

bool Field::asBoolean() const {
  const FieldInfo& f = info();
  const std::string raw = storedBytes();
  bool b = false;
  switch (f.type) {
    case FieldType::Boolean:
      return booleanIn(raw, b) && b;
    case FieldType::Text: {
      const std::string t = dbf::trimRight(raw);
      return !t.empty() && (t[0] == 'T' || t[0] == 't' || t[0] == 'Y' || t[0] == 'y');
    }
    default:
      cannotAccess(f, "Boolean");
  }
}

namespace {

// Checks that the field may be written now: an open dataset, a pending row, a writable field.
void checkWritable(const Dataset::Impl& d, const FieldInfo& f) {
  d.checkActive();
  if (!d.editing()) throw Error(kNotEditingMessage);
  if (f.readOnly) throw Error("Field '" + f.name + "' cannot be modified");
}

std::string numberForColumn(const FieldInfo& f, Extended x) {
  const std::optional<std::string> text = dbf::numericColumnText(x, f.width, f.decimals);
  if (!text) throw Error("The value " + numberText(x) + " does not fit field '" + f.name + "'");
  return *text;
}

std::string integerForColumn(const FieldInfo& f, int n) {
  std::string text = std::to_string(n);
  if (n < -32768 || n > 32767 || static_cast<int>(text.size()) > f.width)
    throw Error("The value " + text + " does not fit field '" + f.name + "'");
  return std::string(static_cast<size_t>(f.width) - text.size(), ' ') + text;
}

std::string textForColumn(const FieldInfo& f, const std::string& value) {
  std::string text = value;
  if (static_cast<int>(text.size()) > f.width) {
    if (!f.truncate)
      throw Error("The text for field '" + f.name + "' is longer than its " +
                  std::to_string(f.width) + " characters");
    text = cutText(text, static_cast<size_t>(f.width));
  }
  text.resize(static_cast<size_t>(f.width), ' ');
  return text;
}

// Stores the column text into the pending row, marks it modified and tells the data sources.
void store(Dataset::Impl& d, Field* field, const FieldInfo& f, const std::string& text) {
  std::string& row = d.pending;
  row.replace(static_cast<size_t>(f.offset), static_cast<size_t>(f.width), text);
  d.modified = true;
  d.notify(DataEvent::FieldChange, field);
}

}  // namespace

void Field::setAsString(const std::string& value) {
  Dataset::Impl& d = *owner_->impl_;
  const FieldInfo& f = info();
  checkWritable(d, f);
  switch (f.type) {
    case FieldType::Double:
      if (value.empty()) return clear();
      return store(d, this, f, numberForColumn(f, textToFloat(value)));
    case FieldType::SmallInt:
      if (value.empty()) return clear();
      return store(d, this, f, integerForColumn(f, textToInt(value)));
    case FieldType::Boolean: {
      if (value.empty()) return clear();
      bool b = false;
      const std::string t = dbf::trimBoth(value);
      if (t == "True" || t == "true" || t == "TRUE" || t == "T" || t == "t")
        b = true;
      else if (t == "False" || t == "false" || t == "FALSE" || t == "F" || t == "f")
        b = false;
      else
        throw ConvertError("'" + value + "' is not a valid boolean value");
      return store(d, this, f, b ? "T" : "F");
    }
    case FieldType::Text:
    case FieldType::Date:
    case FieldType::Blob:
      return store(d, this, f, textForColumn(f, value));
  }
}

void Field::setAsFloat(Extended value) {
  Dataset::Impl& d = *owner_->impl_;
  const FieldInfo& f = info();
  checkWritable(d, f);
  switch (f.type) {
    case FieldType::Double:
      return store(d, this, f, numberForColumn(f, value));
    case FieldType::SmallInt:
      return store(d, this, f, integerForColumn(f, roundToInt(f, value)));
    case FieldType::Text:
      return store(d, this, f, textForColumn(f, numberText(value)));
    default:
      cannotAccess(f, "Float");
  }
}

void Field::setAsInteger(int value) {
  Dataset::Impl& d = *owner_->impl_;
  const FieldInfo& f = info();
  checkWritable(d, f);
  switch (f.type) {
    case FieldType::Double:
      return store(d, this, f, numberForColumn(f, value));
    case FieldType::SmallInt:
      return store(d, this, f, integerForColumn(f, value));
    case FieldType::Text:
      return store(d, this, f, textForColumn(f, std::to_string(value)));
    default:
      cannotAccess(f, "Integer");
  }
}

void Field::setAsBoolean(bool value) {
  Dataset::Impl& d = *owner_->impl_;
  const FieldInfo& f = info();
  checkWritable(d, f);
  switch (f.type) {
    case FieldType::Boolean:
    case FieldType::Text:
      return store(d, this, f, textForColumn(f, value ? "T" : "F"));
    default:
      cannotAccess(f, "Boolean");
  }
}

void Field::clear() {
  Dataset::Impl& d = *owner_->impl_;
  const FieldInfo& f = info();
  checkWritable(d, f);
  store(d, this, f, std::string(static_cast<size_t>(f.width), ' '));
}

}  // namespace mirevant
