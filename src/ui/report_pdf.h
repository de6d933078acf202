// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The report document as PDF: its HTML laid out by Qt's rich text on A4 pages, each inline SVG
// chart drawn into an image, page numbers at the foot. The window and the report command both
// write it here. No Qt in this header, so the report command includes it without Qt's.

#include <memory>
#include <optional>
#include <string>

class QGuiApplication;

namespace mirevant {

// Writes `html` (reportDocumentHtml's) as a PDF file; the old file stays as it was when writing
// fails. Returns the reason when the file could not be written. Needs a QGuiApplication.
std::optional<std::string> writeReportPdf(const std::string& html, const std::string& path);

// A QGuiApplication on the offscreen platform, made only when there is none yet, for drawing
// without a display; kept while PDFs are written.
class OffscreenGui {
 public:
  OffscreenGui();
  ~OffscreenGui();
  OffscreenGui(const OffscreenGui&) = delete;
  OffscreenGui& operator=(const OffscreenGui&) = delete;

 private:
  std::unique_ptr<QGuiApplication> app_;
};

}  // namespace mirevant
