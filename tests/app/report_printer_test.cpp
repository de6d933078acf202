// SPDX-License-Identifier: GPL-3.0-or-later
// Printing the report as plain text on a paged device. The tests print into PDF files and read
// them back with pdftotext, besides checking the positions the printer reports.

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <map>
#include <memory>

#include "app/report_printer.h"
#include "core/errors.h"

namespace mirevant {
namespace {

constexpr int kResolution = 1200;  // device units per inch
constexpr double kMarginMm = 15.0;

QFont reportFont() {
  return QFont(QStringLiteral("Liberation Sans"), 8);
}

// One print into a PDF file.
struct PdfPrint {
  QTemporaryDir dir;
  QString path = dir.filePath(QStringLiteral("report.pdf"));
  std::unique_ptr<QPdfWriter> writer;
  ReportPrinter printer{reportFont()};

  explicit PdfPrint(const QStringList& lines, const QPageSize& pageSize = QPageSize(QPageSize::A4),
                    double marginMm = kMarginMm) {
    writer = std::make_unique<QPdfWriter>(path);
    writer->setResolution(kResolution);
    writer->setPageLayout(QPageLayout(pageSize, QPageLayout::Portrait,
                                      QMarginsF(marginMm, marginMm, marginMm, marginMm),
                                      QPageLayout::Millimeter));
    printer.print(*writer, lines);
  }

  QFontMetricsF metrics() const { return QFontMetricsF(reportFont(), writer.get()); }

  // The text of each page, as pdftotext (poppler-utils) lays it out, lines trimmed at the right.
  std::vector<QStringList> pages() const {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
      ADD_FAILURE() << "pdftotext failed: " << p.readAllStandardError().toStdString();
      return {};
    }
    QStringList raw = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
    raw.removeLast();  // after the last page's form feed
    std::vector<QStringList> out;
    for (const QString& page : raw) {
      QStringList lines;
      for (const QString& line : page.split(QLatin1Char('\n'))) {
        QString l = line;
        while (!l.isEmpty() && l.back().isSpace()) l.chop(1);
        if (!l.isEmpty()) lines << l;
      }
      out.push_back(lines);
    }
    return out;
  }
};

std::string describe(const std::vector<QStringList>& pages) {
  std::string out;
  for (const QStringList& p : pages) out += '[' + p.join(QStringLiteral(" | ")).toStdString() + ']';
  return out;
}

TEST(ReportPrinter, LongReportContinuesOnFurtherPagesWithoutLostLines) {
  QStringList lines;
  for (int i = 1; i <= 260; ++i)
    lines << QStringLiteral("Line %1 of the report").arg(i, 3, 10, QLatin1Char('0'));
  PdfPrint pdf(lines);

  const std::vector<QStringList> pages = pdf.pages();
  ASSERT_GE(pages.size(), 3u);
  EXPECT_EQ(static_cast<int>(pages.size()), pdf.printer.pageCount());
  QStringList read;
  for (const QStringList& p : pages) {
    EXPECT_FALSE(p.isEmpty()) << "no blank page";
    read << p;
  }
  EXPECT_EQ(read.join(QLatin1Char('\n')).toStdString(),
            lines.join(QLatin1Char('\n')).toStdString());
  // No line runs into the bottom of a page: each keeps two line advances (height + 2) clear.
  std::map<int, double> lastLine;
  for (const auto& r : pdf.printer.runs()) lastLine[r.page] = r.position.y();
  EXPECT_EQ(static_cast<int>(lastLine.size()), pdf.printer.pageCount());
  for (const auto& [page, y] : lastLine)
    EXPECT_LE(y + 2 * (pdf.printer.textHeight() + 2), pdf.printer.pageSize().height()) << page;
}

TEST(ReportPrinter, LineWiderThanThePageIsBrokenWithoutLoss) {
  const QString longLine =
      QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789; ").repeated(9);
  const QString xs(200, QLatin1Char('x'));
  const struct {
    QPageSize size;
    double marginMm;
    QStringList lines;
    QString text;  // all runs joined
  } cases[] = {
      {QPageSize(QPageSize::A4),
       kMarginMm,
       {"before", longLine, "Name:\t" + xs, "after"},
       "before" + longLine + "Name:" + xs + "after"},
      {QPageSize(QSizeF(1, 60), QPageSize::Millimeter), 0, {"WWWW\tWW", "ok"}, "WWWWWWok"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.left(20).toStdString());
    PdfPrint pdf(c.lines, c.size, c.marginMm);
    QString joined;
    for (const auto& r : pdf.printer.runs()) {
      joined += r.text;
      // A single character goes on its line even where it does not fit.
      if (r.text.size() > 1) {
        EXPECT_LE(r.position.x() + pdf.metrics().horizontalAdvance(r.text),
                  pdf.printer.pageSize().width())
            << r.text.toStdString();
      }
    }
    EXPECT_EQ(joined, c.text);
  }
}

TEST(ReportPrinter, FormFeedStartsANewPage) {
  const struct {
    QStringList lines;
    std::vector<QStringList> pages;
  } cases[] = {
      {{"first page", "\f", "second page"}, {{"first page"}, {"second page"}}},
      {{"top\fbottom", "next"}, {{"top"}, {"bottom", "next"}}},
      {{"a", "\f\f", "b"}, {{"a"}, {}, {"b"}}},
      {{"a", "b\f"}, {{"a", "b"}}},  // a closing form feed adds no blank sheet
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(
        c.lines.join(QStringLiteral(" | ")).replace(QLatin1Char('\f'), "<FF>").toStdString());
    PdfPrint pdf(c.lines);
    EXPECT_EQ(describe(pdf.pages()), describe(c.pages));
    EXPECT_EQ(pdf.printer.pageCount(), static_cast<int>(c.pages.size()));
  }
}

TEST(ReportPrinter, DeviceThatCannotStartRaises) {
  QPdfWriter writer(QStringLiteral("/nonexistent-directory/report.pdf"));
  ReportPrinter printer(reportFont());
  EXPECT_THROW(printer.print(writer, {QStringLiteral("text")}), Error);
}

}  // namespace
}  // namespace mirevant
