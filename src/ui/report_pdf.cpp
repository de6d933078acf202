// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/report_pdf.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QUrl>

namespace mirevant {

namespace {

// Rich text draws no SVG: each <svg>…</svg> becomes an <img> of an image resource drawn from it,
// at twice its size for print.
QString withChartsAsImages(const std::string& html, QTextDocument& document) {
  std::string out;
  std::size_t from = 0;
  for (int n = 0;; ++n) {
    const std::size_t start = html.find("<svg", from);
    const std::size_t end = start == std::string::npos ? start : html.find("</svg>", start);
    if (end == std::string::npos) break;
    std::string svg = html.substr(start, end + 6 - start);
    if (svg.find("xmlns=") == std::string::npos)
      svg.insert(4, " xmlns=\"http://www.w3.org/2000/svg\"");
    out += html.substr(from, start - from);
    from = end + 6;
    QSvgRenderer renderer(QByteArray::fromStdString(svg));
    const QSize size = renderer.defaultSize();
    if (!renderer.isValid() || size.isEmpty()) continue;
    QImage image(size * 2, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    const QString name = QStringLiteral("chart%1").arg(n);
    document.addResource(QTextDocument::ImageResource, QUrl(name), image);
    out += QStringLiteral("<img src=\"%1\" width=\"%2\" height=\"%3\">")
               .arg(name)
               .arg(size.width())
               .arg(size.height())
               .toStdString();
  }
  out += html.substr(from);
  return QString::fromStdString(out);
}

}  // namespace

std::optional<std::string> writeReportPdf(const std::string& html, const std::string& path) {
  QTextDocument document;
  document.setHtml(withChartsAsImages(html, document));
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    // Landscape, so that the budget's ten columns keep their numbers on one line.
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                     QMarginsF(0, 0, 0, 0)));  // print() keeps a margin of its own
    writer.setTitle(document.metaInformation(QTextDocument::DocumentTitle));
    writer.setCreator(QStringLiteral("Mirevant"));
    // print() lays the document out on the pages with a margin and numbers them at the foot.
    document.print(&writer);
  }
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly) || file.write(buffer.data()) != buffer.size() ||
      !file.commit())
    return file.errorString().toStdString();
  return std::nullopt;
}

OffscreenGui::OffscreenGui() {
  if (QGuiApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "mirevant";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  app_ = std::make_unique<QGuiApplication>(argc, argv);
}

OffscreenGui::~OffscreenGui() = default;

}  // namespace mirevant
