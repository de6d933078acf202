// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Prints the calculation report as plain text on a paged device (a printer, a PDF file).
//
// Layout, in device units of the device printed on:
// - every line starts at the left edge of the printable area, in the given font;
// - a line advances the pen by the height of its tallest text plus 2 (by the font height when
//   the line is empty);
// - a tab moves the pen to the next multiple of 8 average character widths; a tab that would
//   pass the right edge ends the line instead;
// - a line too wide for the page breaks after the last character that fits and goes on at the
//   left edge of the next line;
// - with a header, the area is the page less a band of two text heights at the top (the header)
//   and another at the foot (the page number);
// - a new page begins when the next line would come closer to the bottom than twice the line
//   height; a form feed begins a new page, and the text after it starts at the top;
// - pages are begun only for something printed on them: trailing empty lines or a closing form
//   feed add no blank sheet, while an empty report prints one empty page.
// A carriage return prints nothing.

#include <QFont>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <vector>

class QPagedPaintDevice;
class QWidget;

namespace mirevant {

class ReportPrinter {
 public:
  // One piece of text as drawn: page (0 is the first), top-left corner of its line box, text.
  struct Run {
    int page;
    QPointF position;
    QString text;
  };

  explicit ReportPrinter(const QFont& font);

  // A header line at the top of every page (the text, cut to the page width, over a rule) and the
  // page number at the foot; the report's lines go between. None when empty (the default).
  void setHeader(const QString& header) { header_ = header; }

  // Prints `lines` on `device`, on which nothing has been painted yet; the device's current page
  // is the first page. Raises mirevant::Error when painting cannot start on the device, when a
  // new page cannot be begun, or when the device reports a failure at the end.
  void print(QPagedPaintDevice& device, const QStringList& lines);

  // What the last print drew, and the measures it used.
  const std::vector<Run>& runs() const { return runs_; }
  int pageCount() const { return pages_; }
  int textHeight() const { return textHeight_; }  // the font's height on the device
  int tabWidth() const { return tabWidth_; }      // 8 average character widths
  QSize pageSize() const { return pageSize_; }    // the printable area

 private:
  QFont font_;
  QString header_;
  std::vector<Run> runs_;
  int pages_ = 0;
  int textHeight_ = 0;
  int tabWidth_ = 0;
  QSize pageSize_;
};

// Prints the report on the default printer, without a dialog. Raises mirevant::Error("There is no
// default printer currently selected") when there is none, and an Error with its own message when
// the print job cannot be started or fails; nothing is printed then.
void printReport(const QStringList& lines, const QFont& font);

// The report as Print Preview and Export PDF show it: in a fixed-pitch font, so that the tab
// columns line up as a table, with `header` (project and date) at the top and the page number at
// the foot of every page. Raises as ReportPrinter::print.
void printAsTable(QPagedPaintDevice& device, const QStringList& lines, const QString& header);
// Opens a print preview of it (not modal), from which it can be printed on any printer.
void previewReport(QWidget* parent, const QStringList& lines, const QString& header);
// Writes it as an A4 PDF file, whole or not at all. Raises Error naming the file and the reason.
void exportReportPdf(const QString& path, const QStringList& lines, const QString& header);

}  // namespace mirevant
