// The help viewer and the help document shipped with the program.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <set>

#include "app/help_window.h"

namespace mirevant {
namespace {

const QString kHelpFile = QStringLiteral(MIREVANT_TEST_DATA_DIR "/mirevant.hlp");

QString pageText(const HelpWindow& w) {
  return w.browser()->toPlainText();
}

QString readAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(f.readAll());
}

TEST(HelpDocument, EveryLinkLeadsSomewhere) {
  const QString html = readAll(kHelpFile);
  ASSERT_FALSE(html.isEmpty());
  std::set<int> topicNumbers;
  static const QRegularExpression sectionRe(
      QStringLiteral(R"re(<section id="topic(\d+)">(.*?)</section>)re"),
      QRegularExpression::DotMatchesEverythingOption);
  int sections = 0;
  for (auto it = sectionRe.globalMatch(html); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    ++sections;
    EXPECT_TRUE(topicNumbers.insert(m.captured(1).toInt()).second) << "duplicate topic";
    // Links within a page go to a named anchor of that page.
    const QString page = m.captured(2);
    static const QRegularExpression localRe(QStringLiteral(R"re(href="#([a-z]\w*)")re"));
    for (auto l = localRe.globalMatch(page); l.hasNext();) {
      const QString name = l.next().captured(1);
      if (name.startsWith(QStringLiteral("topic"))) continue;
      EXPECT_TRUE(page.contains(QStringLiteral("<a name=\"%1\">").arg(name)))
          << "topic " << m.captured(1).toStdString() << ": no anchor " << name.toStdString();
    }
  }
  EXPECT_EQ(sections, 3);
  static const QRegularExpression topicLinkRe(QStringLiteral(R"re(href="#topic(\d+)")re"));
  for (auto it = topicLinkRe.globalMatch(html); it.hasNext();) {
    const int target = it.next().captured(1).toInt();
    EXPECT_TRUE(topicNumbers.count(target)) << "link to missing topic " << target;
  }
}

TEST(HelpWindow, ReportsWhatItCannotShowOnItsOwnPage) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString noPages = dir.filePath(QStringLiteral("other.hlp"));
  {
    QFile f(noPages);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a help document");
  }
  const QString missing = dir.filePath(QStringLiteral("absent/mirevant.hlp"));

  const struct {
    QString file;
    int topic;
    const char* heading;
    std::vector<QString> mentions;
  } cases[] = {
      {missing, 1000, "Help file not found", {missing, QStringLiteral("no such file")}},
      {dir.path(), 1001, "Help file not found", {QStringLiteral("directory")}},
      {QString(), 1002, "Help file not found", {QStringLiteral("1002")}},
      {kHelpFile,
       1234,
       "Help topic not found",
       {QStringLiteral("1234"), QStringLiteral("1000 The Mirevant main window"),
        QStringLiteral("1001 Entering covariances"), QStringLiteral("1002 Writing expressions")}},
      {noPages, 1000, "Help topic not found", {QStringLiteral("no help pages")}},
  };
  HelpWindow w;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.heading + (" " + c.file.toStdString()));
    QElapsedTimer clock;
    clock.start();
    w.showTopic(c.file, c.topic);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no box";
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.pageFound());
    EXPECT_EQ(w.pageTitle(), QString::fromUtf8(c.heading));
    const QString text = pageText(w);
    EXPECT_TRUE(text.contains(QString::fromUtf8(c.heading)));
    for (const QString& m : c.mentions)
      EXPECT_TRUE(text.contains(m)) << "missing: " << m.toStdString() << "\n" << text.toStdString();
  }

  // The listed topics of a file lead to their pages.
  w.showTopic(kHelpFile, 1234);
  emit w.browser()->anchorClicked(QUrl(QStringLiteral("#topic1001")));
  EXPECT_TRUE(w.pageFound());
  EXPECT_EQ(w.pageTitle(), QStringLiteral("Entering covariances"));
}

// Help asked for from a modal window (the covariance window's Help button) must be usable while
// that window is up, and must survive it.
class BlockWatch : public QObject {
 public:
  bool blocked = false;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::WindowBlocked) blocked = true;
    if (e->type() == QEvent::WindowUnblocked) blocked = false;
    return false;
  }
};

TEST(HelpWindow, UsableFromAModalWindowAndOutlivesIt) {
  const QPointer<HelpWindow> help = HelpWindow::shared();
  BlockWatch watch;
  help->installEventFilter(&watch);
  {
    QDialog modal;
    modal.setModal(true);
    modal.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &modal);

    showHelpTopic(kHelpFile, 1001);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->parentWidget(), &modal);
    EXPECT_TRUE(help->isWindow());
    EXPECT_FALSE(watch.blocked) << "the modal window must not block the help window";

    modal.hide();
    EXPECT_EQ(help->parentWidget(), nullptr);
    EXPECT_TRUE(help->isVisible());
  }
  // The modal window is gone; the help window is still there, with its page.
  ASSERT_FALSE(help.isNull());
  EXPECT_EQ(HelpWindow::shared(), help.data());
  EXPECT_TRUE(help->isVisible());
  EXPECT_EQ(help->topic(), 1001);
  EXPECT_TRUE(help->pageFound());
  help->removeEventFilter(&watch);
  help->close();
}

}  // namespace
}  // namespace mirevant
