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

struct Topic {
  int number;
  const char* heading;
  std::vector<const char*> content;  // a few things the page must explain
};

const std::vector<Topic>& topics() {
  static const std::vector<Topic> all = {
      {1000,
       "The Mirevant main window",
       {"Define Variables", "Value is subject to rounding error", "Type B", "Type A",
        "Enter Covariance", "STEPWISE AUDIT OF CALCULATION", "Welch-Satterthwaite", "95.45%",
        "NIST Technical Note 1297", "Print!", "There is no default printer currently selected",
        "Paste expression from clipboard", "Demo", "a*b/c^sin(f)-zz+log(y)*ln(sinh(t))"}},
      {1001,
       "Entering covariances",
       {"Variable1", "Variable2", "New", "Delete", "Clear", "Done",
        "You must have two variables to create a covariance.",
        "You must have a non zero covariance."}},
      {1002,
       "Writing expressions",
       {"sinh",
        "cosh",
        "tanh",
        "asin",
        "acos",
        "atan",
        "abs",
        "sqrt",
        "ln",
        "log",
        "pi",
        "(-a)^2",
        "2^(3!) = 64",
        "1e5",
        "1,000.5",
        "no implicit multiplication",
        "255 characters",
        "127 parts",
        "100 numbers",
        "(~a)",
        "radians"}},
  };
  return all;
}

TEST(HelpDocument, ShipsBesideTheProgram) {
  const QString shipped = readAll(QStringLiteral(MIREVANT_TEST_PROGRAM_DIR "/mirevant.hlp"));
  ASSERT_FALSE(shipped.isEmpty()) << "the build copies data/mirevant.hlp beside the program";
  EXPECT_EQ(shipped, readAll(kHelpFile));
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

TEST(HelpWindow, ShowsThePageOfEachTopic) {
  HelpWindow w;
  for (const Topic& t : topics()) {
    SCOPED_TRACE(t.number);
    w.showTopic(kHelpFile, t.number);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.pageFound());
    EXPECT_EQ(w.topic(), t.number);
    EXPECT_EQ(w.pageTitle(), QString::fromUtf8(t.heading));
    EXPECT_TRUE(w.windowTitle().contains(QString::fromUtf8(t.heading)));
    const QString text = pageText(w);
    EXPECT_TRUE(text.contains(QString::fromUtf8(t.heading)));
    for (const char* item : t.content)
      EXPECT_TRUE(text.contains(QString::fromUtf8(item))) << "missing: " << item;
    // One page at a time: its own heading is the only top-level heading shown.
    QStringList headings;
    for (QTextBlock b = w.browser()->document()->begin(); b.isValid(); b = b.next())
      if (b.blockFormat().headingLevel() == 1) headings << b.text().trimmed();
    EXPECT_EQ(headings.join(QStringLiteral(" | ")).toStdString(), t.heading);
  }
}

TEST(HelpWindow, LinksAndHistory) {
  HelpWindow w;
  auto* back = w.findChild<QToolButton*>(QStringLiteral("backButton"));
  auto* forward = w.findChild<QToolButton*>(QStringLiteral("forwardButton"));
  auto* mainPage = w.findChild<QToolButton*>(QStringLiteral("mainButton"));
  ASSERT_TRUE(back && forward && mainPage);

  w.showTopic(kHelpFile, 1000);
  EXPECT_FALSE(back->isEnabled());
  emit w.browser()->anchorClicked(QUrl(QStringLiteral("#topic1002")));
  EXPECT_EQ(w.topic(), 1002);
  EXPECT_TRUE(w.pageFound());
  emit w.browser()->anchorClicked(QUrl(QStringLiteral("#topic1001")));
  EXPECT_EQ(w.topic(), 1001);

  back->click();
  EXPECT_EQ(w.topic(), 1002);
  back->click();
  EXPECT_EQ(w.topic(), 1000);
  EXPECT_FALSE(back->isEnabled());
  forward->click();
  EXPECT_EQ(w.topic(), 1002);
  mainPage->click();
  EXPECT_EQ(w.topic(), 1000);
  EXPECT_FALSE(forward->isEnabled()) << "a new page drops the pages ahead";

  // A link to another file or site is not followed.
  emit w.browser()->anchorClicked(QUrl(QStringLiteral("https://example.org/#topic1002")));
  EXPECT_EQ(w.topic(), 1000);
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

TEST(HelpWindow, OneSharedNonModalWindow) {
  showHelpTopic(kHelpFile, 1000);
  HelpWindow* first = HelpWindow::shared();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isVisible());
  EXPECT_FALSE(first->isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_FALSE(first->testAttribute(Qt::WA_QuitOnClose)) << "the main window ends the program";

  first->close();
  showHelpTopic(kHelpFile, 1002);
  EXPECT_EQ(HelpWindow::shared(), first);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->topic(), 1002);
  int helpWindows = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<HelpWindow*>(w)) ++helpWindows;
  EXPECT_EQ(helpWindows, 1);
  first->close();
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
