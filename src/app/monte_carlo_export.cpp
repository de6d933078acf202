// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/monte_carlo_export.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QTableWidget>
#include <QTextDocumentFragment>

#include "app/monte_carlo_chart.h"
#include "app/monte_carlo_window.h"
#include "core/errors.h"
#include "document/report_document.h"
#include "project/project.h"
#include "ui/command_guard.h"
#include "ui/dialogs.h"

namespace mirevant {

namespace {

void saveWhole(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
    throw Error("Cannot write " + path.toStdString() + ": " + file.errorString().toStdString());
}

QString plain(const QString& richText) {
  return QTextDocumentFragment::fromHtml(richText).toPlainText();
}

}  // namespace

void copyMonteCarloResults(MonteCarloWindow& window) {
  if (!window.check()) return;
  const QTableWidget& t = *window.results;
  QStringList lines;
  QStringList titles{QString()};
  for (int c = 0; c < t.columnCount(); ++c) titles << t.horizontalHeaderItem(c)->text();
  lines << titles.join(QLatin1Char('\t'));
  for (int r = 0; r < t.rowCount(); ++r) {
    QStringList cells{t.verticalHeaderItem(r)->text()};
    for (int c = 0; c < t.columnCount(); ++c) cells << (t.item(r, c) ? t.item(r, c)->text() : "");
    lines << cells.join(QLatin1Char('\t'));
  }
  lines << plain(window.verdict->text()) << plain(window.notes->text());
  QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void exportHistogramCsv(MonteCarloWindow& window, Dialogs& dialogs) {
  runCommand(dialogs, [&] {
    if (!window.check()) return;
    const QString path = dialogs.saveFileName(
        QStringLiteral("Export Histogram"), QDir::current().filePath(QStringLiteral("histogram.csv")),
        QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    saveWhole(path, QByteArray::fromStdString(histogramCsv(window.check()->monteCarlo.histogram)));
  });
}

void saveMonteCarloChart(MonteCarloWindow& window, Dialogs& dialogs) {
  runCommand(dialogs, [&] {
    if (!window.check()) return;
    const QString path = dialogs.saveFileName(
        QStringLiteral("Save Chart"), QDir::current().filePath(QStringLiteral("histogram.png")),
        QStringLiteral("PNG image (*.png);;SVG drawing (*.svg)"));
    if (path.isEmpty()) return;
    MonteCarloChart& chart = *window.chart;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
      QSvgGenerator svg;
      svg.setOutputDevice(&buffer);
      svg.setSize(chart.size());
      svg.setViewBox(chart.rect());
      svg.setTitle(QStringLiteral("Monte Carlo check"));
      QPainter painter(&svg);
      chart.render(&painter);
    } else if (!chart.grab().save(&buffer, "PNG")) {
      throw Error("The chart could not be drawn as PNG.");
    }
    saveWhole(path, buffer.data());
  });
}

}  // namespace mirevant
