// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report_printer.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QTextBoundaryFinder>
#include <QBuffer>
#include <QFontDatabase>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <functional>

#include "core/errors.h"

namespace mirevant {

namespace {

[[noreturn]] void fail(const QString& message) {
  throw Error(message.toStdString());
}

// A font given in pixels is taken in screen pixels and turned into points, so that it prints at
// the size it shows.
QFont printableFont(QFont font) {
  if (font.pointSizeF() <= 0 && font.pixelSize() > 0) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.setPointSizeF(font.pixelSize() * 72.0 / dpi);
  }
  return font;
}

// The pen of the text device: where the next text goes, and which pages are owed.
class TextPen {
 public:
  // The text goes into `area` of each page; `newPage` is told of every page begun after the first.
  TextPen(QPainter& painter, QPagedPaintDevice& device, const QFont& font,
          std::vector<ReportPrinter::Run>& runs, const QRect& area,
          std::function<void(int)> newPage)
      : painter_(painter),
        device_(device),
        metrics_(font, &device),
        metricsF_(font, &device),
        runs_(runs),
        newPage_(std::move(newPage)),
        top_(area.top()),
        width_(area.width()),
        height_(area.height()),
        textHeight_(metrics_.height()),
        tabWidth_(std::max(1, 8 * metrics_.averageCharWidth())) {}

  int textHeight() const { return textHeight_; }
  int tabWidth() const { return tabWidth_; }
  int pagesBegun() const { return page_ + 1; }

  void printLine(const QString& line) {
    freshPage_ = false;
    QString run;
    for (const QChar c : line) {
      if (c == QLatin1Char('\t')) {
        text(run);
        tab();
      } else if (c == QLatin1Char('\f')) {
        text(run);
        formFeed();
      } else if (c == QLatin1Char('\r')) {
        text(run);
      } else {
        run += c;
      }
    }
    text(run);
    // A line that ends right at a form feed has been closed by it: the next line starts at the
    // top of the new page.
    if (!freshPage_) newLine();
  }

 private:
  void text(QString& run) {
    while (!run.isEmpty()) {
      int n = fittingLength(run, width_ - x_);
      if (n == 0) {
        if (x_ > 0) {  // not even one character fits after the pen: go on at the left edge
          newLine();
          continue;
        }
        n = firstGraphemeLength(run);  // a page narrower than one character: print it anyway
      }
      const QString part = run.left(n);
      draw(part);
      run.remove(0, n);
      if (!run.isEmpty()) newLine();
    }
  }

  void draw(const QString& part) {
    beginOwedPages();
    painter_.drawText(QPointF(x_, top_ + y_ + metrics_.ascent()), part);
    runs_.push_back({page_, QPointF(x_, top_ + y_), part});
    tallest_ = std::max(tallest_, textHeight_);
    x_ += metricsF_.horizontalAdvance(part);
    freshPage_ = false;
  }

  void tab() {
    const qreal next = (std::floor(x_ / tabWidth_) + 1) * tabWidth_;
    if (next > width_) {
      newLine();
    } else {
      x_ = next;
      freshPage_ = false;
    }
  }

  void newLine() {
    const int advance = tallest_ > 0 ? tallest_ + 2 : textHeight_;
    x_ = 0;
    y_ += advance;
    tallest_ = 0;
    freshPage_ = false;
    if (y_ + 2 * advance > height_) owePage();
  }

  void formFeed() { owePage(); }

  void owePage() {
    ++owedPages_;
    x_ = 0;
    y_ = 0;
    tallest_ = 0;
    freshPage_ = true;
  }

  // Pages are begun when something is drawn on them, so that trailing empty lines and a closing
  // form feed leave no blank sheet.
  void beginOwedPages() {
    for (; owedPages_ > 0; --owedPages_) {
      if (!device_.newPage()) fail(QStringLiteral("A new page could not be started."));
      ++page_;
      if (newPage_) newPage_(page_);
    }
  }

  // How many characters of `s` fit into `room`, cut at a character (grapheme) boundary.
  int fittingLength(const QString& s, qreal room) const {
    if (room <= 0) return 0;
    if (metricsF_.horizontalAdvance(s) <= room) return static_cast<int>(s.size());
    std::vector<int> bounds;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    for (qsizetype p = finder.toNextBoundary(); p > 0; p = finder.toNextBoundary())
      bounds.push_back(static_cast<int>(p));
    // The largest boundary whose prefix fits; widths grow with the prefix.
    std::size_t lo = 0, hi = bounds.size();  // answer in [lo, hi): count of fitting boundaries
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (metricsF_.horizontalAdvance(s.left(bounds[mid])) <= room)
        lo = mid + 1;
      else
        hi = mid;
    }
    return lo == 0 ? 0 : bounds[lo - 1];
  }

  static int firstGraphemeLength(const QString& s) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    const qsizetype p = finder.toNextBoundary();
    return p > 0 ? static_cast<int>(p) : 1;
  }

  QPainter& painter_;
  QPagedPaintDevice& device_;
  QFontMetrics metrics_;
  QFontMetricsF metricsF_;
  std::vector<ReportPrinter::Run>& runs_;
  const std::function<void(int)> newPage_;
  const int top_;
  const int width_;
  const int height_;
  const int textHeight_;
  const int tabWidth_;
  qreal x_ = 0;
  int y_ = 0;
  int tallest_ = 0;  // the tallest text of the current line so far; 0 while it is empty
  int page_ = 0;
  int owedPages_ = 0;
  bool freshPage_ = false;  // a form feed has just begun a page and nothing has moved the pen
};

}  // namespace

ReportPrinter::ReportPrinter(const QFont& font) : font_(printableFont(font)) {}

void ReportPrinter::print(QPagedPaintDevice& device, const QStringList& lines) {
  runs_.clear();
  pages_ = 0;

  QPainter painter;
  if (!painter.begin(&device)) fail(QStringLiteral("The print job could not be started."));
  painter.setFont(font_);
  painter.setPen(Qt::black);

  // With a header, a band of two lines at the top holds it and one at the foot the page number.
  const int band = header_.isEmpty() ? 0 : 2 * QFontMetrics(font_, &device).height();
  const QRect area(0, band, device.width(), device.height() - 2 * band);
  auto decorate = [&](int page) {
    if (band == 0) return;
    const QFontMetrics metrics(font_, &device);
    painter.drawText(QPointF(0, metrics.ascent()),
                     metrics.elidedText(header_, Qt::ElideRight, device.width()));
    painter.drawLine(QPointF(0, 1.4 * metrics.height()),
                     QPointF(device.width(), 1.4 * metrics.height()));
    const QString number = QStringLiteral("Page %1").arg(page + 1);
    painter.drawText(QPointF((device.width() - metrics.horizontalAdvance(number)) / 2.0,
                             device.height() - metrics.descent()),
                     number);
  };
  decorate(0);
  TextPen pen(painter, device, font_, runs_, area, decorate);
  textHeight_ = pen.textHeight();
  tabWidth_ = pen.tabWidth();
  pageSize_ = area.size();
  try {
    for (const QString& line : lines) {
      // A line holding line breaks is several lines.
      for (const QString& part : line.split(QLatin1Char('\n'))) pen.printLine(part);
    }
  } catch (...) {
    painter.end();
    throw;
  }
  pages_ = pen.pagesBegun();
  if (!painter.end()) fail(QStringLiteral("The print job could not be finished."));
}

void printReport(const QStringList& lines, const QFont& font) {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) fail(QStringLiteral("There is no default printer currently selected"));

  QPrinter printer(info, QPrinter::HighResolution);
  const QString name = info.printerName();
  if (!printer.isValid())
    fail(QStringLiteral("The printer \"%1\" cannot be used for printing.").arg(name));
  printer.setDocName(QStringLiteral("Mirevant calculation report"));
  printer.setFullPage(false);

  ReportPrinter reportPrinter(font);
  try {
    reportPrinter.print(printer, lines);
  } catch (const Error& e) {
    fail(QStringLiteral("Printing on \"%1\" failed. %2")
             .arg(name, QString::fromStdString(e.what())));
  }
  if (printer.printerState() == QPrinter::Error)
    fail(QStringLiteral("Printing on \"%1\" failed.").arg(name));
}

}  // namespace mirevant

namespace mirevant {

namespace {

// Fixed pitch, so that the report's tab columns line up as a table.
QFont tableFont() {
  QFont font(QStringLiteral("Liberation Mono"));
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  font.setPointSizeF(8.5);
  return font;
}

}  // namespace

void printAsTable(QPagedPaintDevice& device, const QStringList& lines, const QString& header) {
  ReportPrinter printer(tableFont());
  printer.setHeader(header);
  printer.print(device, lines);
}

void previewReport(QWidget* parent, const QStringList& lines, const QString& header) {
  auto* preview = new QPrintPreviewDialog(parent);
  preview->setAttribute(Qt::WA_DeleteOnClose);
  preview->setObjectName(QStringLiteral("ReportPrintPreview"));
  preview->setWindowTitle(QStringLiteral("Print Preview - %1").arg(header));
  QObject::connect(preview, &QPrintPreviewDialog::paintRequested, preview,
                   [lines, header](QPrinter* printer) { printAsTable(*printer, lines, header); });
  // Not modal: the report stays at hand while the preview is open.
  preview->setModal(false);
  preview->show();
}

void exportReportPdf(const QString& path, const QStringList& lines, const QString& header) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setTitle(header);
    writer.setCreator(QStringLiteral("Mirevant"));
    printAsTable(writer, lines, header);
  }
  // Written whole or not at all: a failure leaves an old file as it was.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(buffer.data()) != buffer.size() ||
      !file.commit())
    fail(QStringLiteral("The report could not be written to %1: %2")
             .arg(path, file.errorString()));
}

}  // namespace mirevant
