// SPDX-License-Identifier: GPL-3.0-or-later
// The help viewer: what it cannot show is reported on its own page, without a box.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QUrl>
#include <fstream>

#include "app/help_window.h"

namespace mirevant::testing {
namespace {

const QString kHelpFile = QStringLiteral(MIREVANT_TEST_DATA_DIR "/mirevant.hlp");

TEST(HelpWindow, ReportsWhatItCannotShowOnItsOwnPage) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString noPages = dir.filePath(QStringLiteral("other.hlp"));
  std::ofstream(noPages.toStdString()) << "not a help document";
  const QString missing = dir.filePath(QStringLiteral("absent/mirevant.hlp"));

  const struct {
    QString file;
    int topic;
    const char* heading;
    std::vector<QString> mentions;
  } cases[] = {
      {missing, 1000, "Help file not found", {missing, QStringLiteral("no such file")}},
      {dir.path(), 1001, "Help file not found", {QStringLiteral("directory")}},
      {kHelpFile,
       1234,
       "Help topic not found",
       {QStringLiteral("1234"), QStringLiteral("1000 The Mirevant main window"),
        QStringLiteral("1001 Entering covariances"), QStringLiteral("1002 Writing expressions")}},
      {noPages, 1000, "Help topic not found", {QStringLiteral("no help pages")}},
  };
  HelpWindow w;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.heading) + " " + c.file.toStdString());
    w.showTopic(c.file, c.topic);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no box";
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.pageFound());
    EXPECT_EQ(w.pageTitle(), QString::fromUtf8(c.heading));
    const QString text = w.browser()->toPlainText();
    for (const QString& m : c.mentions)
      EXPECT_TRUE(text.contains(m)) << "missing: " << m.toStdString() << "\n" << text.toStdString();
  }

  // The listed topics of a file lead to their pages; a link to a topic the file lacks is reported.
  w.showTopic(kHelpFile, 1234);
  emit w.browser()->anchorClicked(QUrl(QStringLiteral("#topic1001")));
  EXPECT_TRUE(w.pageFound());
  EXPECT_EQ(w.pageTitle(), QStringLiteral("Entering covariances"));
  emit w.browser()->anchorClicked(QUrl(QStringLiteral("#topic4321")));
  EXPECT_FALSE(w.pageFound());
  EXPECT_TRUE(w.browser()->toPlainText().contains(QStringLiteral("4321")));
}

}  // namespace
}  // namespace mirevant::testing
