// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a table file: opened by the table layer with the fields a dataset of the
// program declares and without declared fields, scanned both ways, every field read every way, then
// a few writes, a delete and a pack; a table that opened must still open afterwards and hold what
// was written.
//
// Input: one byte choosing the table and the options, then the file's bytes.

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/numtext.h"
#include "fuzz_support.h"
#include "tables/dataset.h"
#include "tables/schemas.h"

using namespace mirevant;
using namespace mirevant::fuzz;

namespace {

// One scratch directory per process, removed at exit.
char g_scratch[64];

std::string scratchDirectory() {
  if (g_scratch[0] == '\0') {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::snprintf(g_scratch, sizeof g_scratch, "%s/mirevant-fuzz-XXXXXX", base);
    if (mkdtemp(g_scratch) == nullptr) failure("cannot make a scratch directory");
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(g_scratch, ignored);
    });
  }
  return g_scratch;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) failure("cannot write " + path);
}

// Reads every field of the current row every way; the row's display text agrees with
// the field's.
void readRow(Dataset& ds) {
  const int row = ds.currentRow();
  for (int i = 0; i < ds.fieldCount(); ++i) {
    Field& f = ds.field(i);
    std::string text;
    const bool readable = runOwn("asString", [&] { text = f.asString(); });
    runOwn("isNull", [&] { (void)f.isNull(); });
    runOwn("asBoolean", [&] { (void)f.asBoolean(); });
    runOwn("asFloat", [&] { (void)f.asFloat(); });
    runOwn("asInteger", [&] { (void)f.asInteger(); });
    // Display texts are asked for by name; with two columns of one name the first answers.
    if (readable && row >= 0 && ds.findField(f.name()) == &f) {
      std::string shown;
      if (runOwn("rowText", [&] { shown = ds.rowText(row, f.name()); }))
        require(shown == text, "row text differs from the field's text");
    }
  }
}

// A full scan forwards and backwards; both see as many rows as rowCount says.
int scan(Dataset& ds) {
  const int rows = ds.rowCount();
  const int records = ds.recordCount();
  require(records < 0 || rows <= records, "more visible rows than rows in the file");
  int n = 0;
  for (ds.first(); !ds.eof(); ds.next()) {
    readRow(ds);
    require(++n <= rows, "scan forwards does not end");
  }
  require(n == rows, "scan forwards saw another number of rows");
  n = 0;
  for (ds.last(); !ds.bof(); ds.prior()) require(++n <= rows + 1, "scan backwards does not end");
  require(n == (rows > 0 ? rows : 0), "scan backwards saw another number of rows");
  if (rows > 0) ds.moveToRow(rows / 2);
  return rows;
}

// A value each field type takes, as text in the user's notation.
std::string sampleText(const Field& f) {
  const FieldType t = f.type();
  return t == FieldType::Double     ? numberText(1.5L)
         : t == FieldType::SmallInt ? "7"
         : t == FieldType::Boolean  ? "True"
                                    : "x";
}

bool writable(const Field& f) {
  return f.type() != FieldType::Date && f.type() != FieldType::Blob;
}

// The field holds the sample value, read as text and as its type.
bool holdsSample(const Field& f) {
  const FieldType t = f.type();
  return f.asString() == sampleText(f) && (t != FieldType::Double || f.asFloat() == 1.5L) &&
         (t != FieldType::SmallInt || f.asInteger() == 7) &&
         (t != FieldType::Boolean || f.asBoolean());
}

// A step on a table the layer itself wrote: any error is a finding.
template <class F>
void must(const char* step, F&& f) {
  std::string error;
  require(runOwn(step, f, &error),
          std::string(step) + " failed after the layer's own writes: " + error);
}

// Writes that the program makes: edit the first row, append one, insert one, delete the first.
// Returns whether the appended row was stored.
bool write(Dataset& ds) {
  for (int i = 0; i < ds.fieldCount(); ++i) ds.field(i).setReadOnly(false);
  ds.first();
  runOwn("edit", [&] {
    ds.edit();
    if (ds.fieldCount() > 0 && writable(ds.field(0)))
      ds.field(0).setAsString(sampleText(ds.field(0)));
    ds.post();
  });
  if (ds.state() != DatasetState::Browse) ds.cancel();
  bool appended = runOwn("append", [&] {
    ds.append();
    for (int i = 0; i < ds.fieldCount(); ++i) {
      Field& f = ds.field(i);
      if (!writable(f)) continue;
      f.setAsString(sampleText(f));  // the typed setters end in the same column writers
      require(holdsSample(f), "pending field does not read back as written");
    }
    ds.post();
  });
  if (ds.state() != DatasetState::Browse) ds.cancel();
  runOwn("insertRecord", [&] {
    std::vector<std::string> values;
    for (int i = 0; i < ds.fieldCount(); ++i)
      values.push_back(writable(ds.field(i)) ? sampleText(ds.field(i)) : std::string());
    ds.insertRecord(values);
  });
  ds.first();
  runOwn("delete", [&] { ds.deleteRecord(); });
  return appended;
}

// Opens, scans and (optionally) writes; returns the rows seen, or -1 when the open failed.
int exercise(Dataset& ds, bool writes, bool& appended) {
  appended = false;
  if (!runOwn("open", [&] { ds.open(); })) {
    require(!ds.active(), "failed open left the dataset open");
    return -1;
  }
  int rows = -1;
  runOwn("scan", [&] { rows = scan(ds); });
  if (writes && rows >= 0) {
    appended = write(ds);
    runOwn("scan after writes", [&] { scan(ds); });
  }
  ds.close();
  require(!ds.active(), "close left the dataset open");
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t selector = data[0];
  static const TableSchema* const kSchemas[] = {&pcentSchema(), &varlistSchema(), &covdatSchema()};
  const TableSchema& schema = *kSchemas[(selector & 3) % 3];
  const bool exclusive = (selector & 4) != 0;
  const bool writes = (selector & 8) != 0;
  setDecimalSeparator((selector & 16) ? ',' : '.');

  const std::string dir = scratchDirectory();
  const std::string path = dir + "/" + schema.fileName;
  writeFile(path, data + 1, size - 1);

  const auto table = [&](Dataset& ds) {
    ds.setDirectory(dir);
    ds.setTableName(schema.fileName);
  };
  // With the fields the program declares.
  bool appended = false;
  int rows = -1;
  {
    Dataset ds(schema.fields);
    table(ds);
    ds.setExclusive(exclusive);
    rows = exercise(ds, writes, appended);
  }
  if (rows >= 0 && writes) {
    // What the layer wrote into a table it could open leaves a table that opens, with the row
    // it appended readable at the end; packing (exclusive use) keeps the rows.
    Dataset again(schema.fields);
    table(again);
    again.setExclusive(true);
    int before = 0, after = 0;
    must("reopen", [&] { again.open(); });
    must("scan after reopen", [&] { before = scan(again); });
    if (appended) {
      require(before >= 1, "appended row is gone");
      again.last();
      for (int i = 0; i < again.fieldCount(); ++i) {
        Field& f = again.field(i);
        if (writable(f))
          must("read appended", [&] { require(holdsSample(f), "appended row differs"); });
      }
    }
    must("pack", [&] { again.pack(); });
    must("scan after pack", [&] { after = scan(again); });
    require(after == before, "pack changed the number of visible rows");
    again.close();
    must("reopen after pack", [&] { again.open(); });
    again.close();
  }

  // Without declared fields: every column becomes a field.
  {
    Dataset raw;
    table(raw);
    writeFile(path, data + 1, size - 1);
    exercise(raw, false, appended);
  }
  unlink(path.c_str());
  return 0;
}
