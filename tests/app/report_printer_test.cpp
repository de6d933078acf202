// Printing the report as plain text on a paged device. The tests print into PDF files and read
// them back with pdftotext (poppler-utils), besides checking the positions the printer reports.

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
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

QString runTool(const QString& tool, const QStringList& args) {
  const QString program = QStandardPaths::findExecutable(tool);
  if (program.isEmpty()) {
    ADD_FAILURE() << tool.toStdString() << " is missing; scripts/setup-deps installs poppler-utils";
    return QString();
  }
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitCode() != 0) {
    ADD_FAILURE() << tool.toStdString() << " failed: " << p.readAllStandardError().toStdString();
    return QString();
  }
  return QString::fromUtf8(p.readAllStandardOutput());
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
  int advance() const { return printer.textHeight() + 2; }

  // The text of each page, as pdftotext lays it out, lines trimmed at the right.
  std::vector<QStringList> pages(bool layout = true) const {
    QStringList args;
    if (layout) args << QStringLiteral("-layout");
    args << path << QStringLiteral("-");
    QStringList raw = runTool(QStringLiteral("pdftotext"), args).split(QLatin1Char('\f'));
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

  int pdfPageCount() const {
    const QString info = runTool(QStringLiteral("pdfinfo"), {path});
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral(R"(Pages:\s+(\d+))")).match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
  }

  std::vector<ReportPrinter::Run> runsOnPage(int page) const {
    std::vector<ReportPrinter::Run> out;
    for (const auto& r : printer.runs())
      if (r.page == page) out.push_back(r);
    return out;
  }
};

std::string describe(const std::vector<QStringList>& pages) {
  std::string out;
  for (const QStringList& p : pages) out += "[" + p.join(QStringLiteral(" | ")).toStdString() + "]";
  return out;
}

QString numbered(int i) {
  return QStringLiteral("Line %1 of the report").arg(i, 3, 10, QLatin1Char('0'));
}

TEST(ReportPrinter, LongReportContinuesOnFurtherPagesWithoutLostLines) {
  QStringList lines;
  for (int i = 1; i <= 260; ++i) lines << numbered(i);
  PdfPrint pdf(lines);

  const std::vector<QStringList> pages = pdf.pages();
  ASSERT_GE(pages.size(), 3u);
  EXPECT_EQ(static_cast<int>(pages.size()), pdf.printer.pageCount());
  EXPECT_EQ(pdf.pdfPageCount(), pdf.printer.pageCount());
  QStringList read;
  for (const QStringList& p : pages) {
    EXPECT_FALSE(p.isEmpty()) << "no blank page";
    read << p;
  }
  EXPECT_EQ(read.join(QLatin1Char('\n')).toStdString(),
            lines.join(QLatin1Char('\n')).toStdString());

  // Lines follow at the font height plus 2; a page ends when the next line would come closer to
  // the bottom than twice the line height.
  const int h = pdf.printer.pageSize().height();
  const int adv = pdf.advance();
  for (int page = 0; page < pdf.printer.pageCount(); ++page) {
    const auto runs = pdf.runsOnPage(page);
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.front().position.y(), 0);
    for (std::size_t i = 1; i < runs.size(); ++i)
      EXPECT_EQ(runs[i].position.y() - runs[i - 1].position.y(), adv);
    const double last = runs.back().position.y();
    EXPECT_LE(last + pdf.printer.textHeight(), h) << "inside the printable area";
    if (page + 1 < pdf.printer.pageCount()) {
      EXPECT_GT(last + adv + 2 * adv, h) << "page " << page << " ended early";
      EXPECT_LE(last + 2 * adv, h) << "page " << page << " ran too far";
    }
  }
}

TEST(ReportPrinter, LineWiderThanThePageBreaksAfterTheLastCharacterThatFits) {
  const QString longLine =
      QStringLiteral("The quick brown fox jumps over the lazy dog 0123456789; ").repeated(9);
  const QString afterTab = QStringLiteral("Name:\t") + QString(200, QLatin1Char('x'));
  PdfPrint pdf({QStringLiteral("before"), longLine, afterTab, QStringLiteral("after")});
  const QFontMetricsF fm = pdf.metrics();
  const int width = pdf.printer.pageSize().width();
  const auto& runs = pdf.printer.runs();

  // Runs 1.. belong to the long line until their texts make it up.
  QString joined;
  std::size_t i = 1;
  std::vector<ReportPrinter::Run> pieces;
  while (i < runs.size() && joined.size() < longLine.size()) {
    pieces.push_back(runs[i]);
    joined += runs[i++].text;
  }
  EXPECT_EQ(joined, longLine) << "nothing lost or doubled at the breaks";
  ASSERT_GE(pieces.size(), 3u);
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    EXPECT_EQ(pieces[k].position.x(), 0);
    EXPECT_EQ(pieces[k].position.y(), static_cast<double>((k + 1) * pdf.advance()));
    EXPECT_LE(fm.horizontalAdvance(pieces[k].text), width);
    if (k + 1 < pieces.size()) {
      const QString oneMore = pieces[k].text + pieces[k + 1].text.left(1);
      EXPECT_GT(fm.horizontalAdvance(oneMore), width)
          << "broke before the last character that fits";
    }
  }

  // After a tab the first piece starts at the tab stop, the rest at the left edge.
  ASSERT_LT(i + 2, runs.size());
  EXPECT_EQ(runs[i].text, QStringLiteral("Name:"));
  EXPECT_NEAR(runs[i + 1].position.x(), pdf.printer.tabWidth(), 1e-6);
  EXPECT_EQ(runs[i + 2].position.x(), 0);
  EXPECT_EQ(runs.back().text, QStringLiteral("after"));

  // The PDF holds the whole line.
  const std::vector<QStringList> pages = pdf.pages(false);
  ASSERT_EQ(pages.size(), 1u);
  QString text = pages[0].join(QString());
  text.remove(QLatin1Char(' '));
  EXPECT_TRUE(text.contains(QString(longLine).remove(QLatin1Char(' '))));
  EXPECT_TRUE(text.contains(QString(200, QLatin1Char('x'))));
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
    // Text after a form feed starts at the top of its page.
    for (int page = 1; page < pdf.printer.pageCount(); ++page) {
      const auto runs = pdf.runsOnPage(page);
      if (!runs.empty()) {
        EXPECT_EQ(runs.front().position, QPointF(0, 0));
      }
    }
  }
}

TEST(ReportPrinter, PageNarrowerThanACharacterStillPrintsEverything) {
  // 3 mm wide with no margins: fewer than two characters per line; nothing may hang or vanish.
  const QPageSize narrow(QSizeF(3, 60), QPageSize::Millimeter);
  PdfPrint pdf({QStringLiteral("WWWW\tWW"), QStringLiteral("ok")}, narrow, 0);
  QString joined;
  for (const auto& r : pdf.printer.runs()) joined += r.text;
  EXPECT_EQ(joined, QStringLiteral("WWWWWWok"));
  EXPECT_GE(pdf.printer.pageCount(), 1);
}

TEST(ReportPrinter, DeviceThatCannotStartRaises) {
  QPdfWriter writer(QStringLiteral("/nonexistent-directory/report.pdf"));
  ReportPrinter printer(reportFont());
  EXPECT_THROW(printer.print(writer, {QStringLiteral("text")}), Error);
}

}  // namespace
}  // namespace mirevant
