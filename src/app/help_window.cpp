// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/help_window.h"

#include "ui/window_placement.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>

namespace mirevant {

namespace {

struct HelpDocument {
  QString style;                 // the <style> of the document head, shared by every page
  std::map<int, QString> pages;  // topic number -> the inner HTML of its section
};

HelpDocument parseHelp(const QString& html) {
  HelpDocument doc;
  static const QRegularExpression styleRe(
      QStringLiteral(R"(<style\b[^>]*>(.*?)</style\s*>)"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  static const QRegularExpression sectionRe(
      QStringLiteral(R"(<section\b[^>]*\bid\s*=\s*["']topic(\d+)["'][^>]*>(.*?)</section\s*>)"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch style = styleRe.match(html);
  if (style.hasMatch()) doc.style = style.captured(1);
  for (auto it = sectionRe.globalMatch(html); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    bool ok = false;
    const int topic = m.captured(1).toInt(&ok);
    if (ok) doc.pages.emplace(topic, m.captured(2));  // the first section of a number counts
  }
  return doc;
}

// The plain text of the first <h1> of a page, or "".
QString headingOf(const QString& page) {
  static const QRegularExpression h1Re(
      QStringLiteral(R"(<h1\b[^>]*>(.*?)</h1\s*>)"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch m = h1Re.match(page);
  if (!m.hasMatch()) return QString();
  return QTextDocumentFragment::fromHtml(m.captured(1)).toPlainText().simplified();
}

QString wrapPage(const QString& style, const QString& body) {
  return QStringLiteral("<html><head><style>") + style + QStringLiteral("</style></head><body>") +
         body + QStringLiteral("</body></html>");
}

QString fileNameHtml(const QString& path) {
  return QStringLiteral("<code>") +
         QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toHtmlEscaped() +
         QStringLiteral("</code>");
}

const char* const kErrorStyle =
    "body { font-size: 10pt; } h1 { font-size: 17pt; color: #7a1f12; } code { color: #1d3b63; }";

std::optional<int> topicOfFragment(const QString& fragment) {
  static const QRegularExpression re(QStringLiteral(R"(^topic(\d+)$)"),
                                     QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch m = re.match(fragment);
  if (!m.hasMatch()) return std::nullopt;
  bool ok = false;
  const int topic = m.captured(1).toInt(&ok);
  return ok ? std::optional<int>(topic) : std::nullopt;
}

QPointer<HelpWindow> sharedWindow;

// The pages are help topics addressed "topic:N"; the browser keeps the history of them.
class TopicBrowser : public QTextBrowser {
 public:
  TopicBrowser(QWidget* parent, std::function<QString(int)> page)
      : QTextBrowser(parent), page_(std::move(page)) {}

  static QUrl address(int topic) { return QUrl(QStringLiteral("topic:%1").arg(topic)); }

  QVariant loadResource(int type, const QUrl& name) override {
    // A page; an image or style sheet of a page is never one.
    const bool page =
        type != QTextDocument::ImageResource && type != QTextDocument::StyleSheetResource;
    if (page && name.scheme() == QLatin1String("topic")) return page_(name.path().toInt());
    return QTextBrowser::loadResource(type, name);
  }

 private:
  std::function<QString(int)> page_;
};

}  // namespace

HelpWindow::HelpWindow(QWidget* owner) : QWidget(owner, Qt::Window), owner_(owner) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(QStringLiteral("Mirevant Help"));
  setAttribute(Qt::WA_QuitOnClose, false);  // the program ends with its main window

  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(6, 4, 6, 0);
  auto makeButton = [this, bar](const char* name, const QString& text, QStyle::StandardPixmap icon,
                                const QString& tip) {
    auto* b = new QToolButton(this);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolTip(tip);
    b->setIcon(style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    bar->addWidget(b);
    return b;
  };
  backButton_ =
      makeButton("backButton", tr("&Back"), QStyle::SP_ArrowBack, tr("Previous page (Alt+Left)"));
  forwardButton_ = makeButton("forwardButton", tr("&Forward"), QStyle::SP_ArrowForward,
                              tr("Next page (Alt+Right)"));
  mainButton_ = makeButton("mainButton", tr("&Main page"), QStyle::SP_DirHomeIcon,
                           tr("The main window and the workflow"));
  bar->addStretch(1);

  browser_ = new TopicBrowser(this, [this](int topic) { return pageHtml(topic); });
  browser_->setObjectName(QStringLiteral("helpBrowser"));
  browser_->setOpenLinks(false);
  browser_->setOpenExternalLinks(false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addLayout(bar);
  layout->addWidget(browser_, 1);

  connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::onAnchor);
  connect(browser_, &QTextBrowser::backwardAvailable, backButton_, &QWidget::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forwardButton_, &QWidget::setEnabled);
  connect(backButton_, &QToolButton::clicked, this, &HelpWindow::back);
  connect(forwardButton_, &QToolButton::clicked, this, &HelpWindow::forward);
  connect(mainButton_, &QToolButton::clicked, this, [this] { go(kHelpMainWindow); });
  auto* backKey = new QShortcut(QKeySequence::Back, this);
  connect(backKey, &QShortcut::activated, this, &HelpWindow::back);
  auto* forwardKey = new QShortcut(QKeySequence::Forward, this);
  connect(forwardKey, &QShortcut::activated, this, &HelpWindow::forward);
  auto* closeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(closeKey, &QShortcut::activated, this, &QWidget::close);

  backButton_->setEnabled(false);
  forwardButton_->setEnabled(false);
}

HelpWindow* HelpWindow::shared() {
  if (!sharedWindow) {
    sharedWindow = new HelpWindow(nullptr);
    // A window without an owner: remove it when the program's event loop ends.
    static const bool connected = [] {
      QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp,
                       [] { delete sharedWindow.data(); });
      return true;
    }();
    Q_UNUSED(connected);
  }
  return sharedWindow;
}

void HelpWindow::showTopic(const QString& helpFile, int topic) {
  const bool otherFile = helpFile != helpFile_;
  helpFile_ = helpFile;
  go(topic);
  if (otherFile) browser_->clearHistory();  // the pages visited belong to the other file

  attachToModal();
  if (!positioned_) {
    positioned_ = true;
    // Centred on the window that asked for help, inside its screen.
    placeWindow(this, QSize(720, 640), QApplication::activeWindow());
  }
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void HelpWindow::go(int topic) {
  const QUrl page = TopicBrowser::address(topic);
  if (browser_->source() == page)
    browser_->reload();  // the same page, read afresh; the history keeps one entry for it
  else
    browser_->setSource(page);
  pageShown();
}

void HelpWindow::back() {
  if (!browser_->isBackwardAvailable()) return;
  browser_->backward();
  pageShown();
}

void HelpWindow::forward() {
  if (!browser_->isForwardAvailable()) return;
  browser_->forward();
  pageShown();
}

QString HelpWindow::pageHtml(int topic) {
  topic_ = topic;
  found_ = false;
  QString html;

  QFile file(helpFile_);
  const QFileInfo info(helpFile_);
  if (helpFile_.isEmpty()) {
    title_ = tr("Help file not found");
    html = wrapPage(
        QString::fromLatin1(kErrorStyle),
        QStringLiteral("<h1>%1</h1><p>%2</p>")
            .arg(title_.toHtmlEscaped(),
                 tr("No help file has been named, so help topic %1 cannot be shown.").arg(topic)));
  } else if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
    title_ = tr("Help file not found");
    const QString reason = info.isDir()
                               ? tr("it is a directory")
                               : (info.exists() ? file.errorString() : tr("there is no such file"));
    html = wrapPage(
        QString::fromLatin1(kErrorStyle),
        QStringLiteral("<h1>%1</h1><p>%2</p><p>%3</p>")
            .arg(title_.toHtmlEscaped(),
                 tr("The help file %1 could not be opened: %2.")
                     .arg(fileNameHtml(helpFile_), reason.toHtmlEscaped()),
                 tr("Help topic %1 cannot be shown. The help file mirevant.hlp belongs in the "
                    "program's directory; installing the program again restores it.")
                     .arg(topic)));
  } else {
    const HelpDocument doc = parseHelp(QString::fromUtf8(file.readAll()));
    const auto page = doc.pages.find(topic);
    if (page != doc.pages.end()) {
      found_ = true;
      title_ = headingOf(page->second);
      html = wrapPage(doc.style, page->second);
    } else {
      title_ = tr("Help topic not found");
      QString body =
          QStringLiteral("<h1>%1</h1><p>%2</p>")
              .arg(title_.toHtmlEscaped(),
                   tr("The help file %1 has no topic %2.").arg(fileNameHtml(helpFile_)).arg(topic));
      if (doc.pages.empty()) {
        body +=
            QStringLiteral("<p>%1</p>")
                .arg(tr(
                    "The file holds no help pages at all; it may be damaged or of another kind."));
      } else {
        body += QStringLiteral("<p>%1</p><ul>").arg(tr("The topics it has:"));
        for (const auto& [number, text] : doc.pages) {
          const QString heading = headingOf(text);
          body += QStringLiteral("<li><a href=\"#topic%1\">%1</a> %2</li>")
                      .arg(number)
                      .arg(heading.toHtmlEscaped());
        }
        body += QStringLiteral("</ul>");
      }
      html = wrapPage(doc.style + QString::fromLatin1(kErrorStyle), body);
    }
  }

  return html;
}

void HelpWindow::pageShown() {
  browser_->moveCursor(QTextCursor::Start);
  browser_->ensureCursorVisible();
  setWindowTitle(title_.isEmpty() ? tr("Mirevant Help") : tr("Mirevant Help - %1").arg(title_));
}

void HelpWindow::onAnchor(const QUrl& url) {
  // The help has no outside links; a link within the page comes resolved against its "topic:N".
  const bool inside =
      url.scheme() == QLatin1String("topic") || (url.scheme().isEmpty() && url.path().isEmpty());
  if (!inside) return;
  const QString fragment = url.fragment();
  if (const std::optional<int> topic = topicOfFragment(fragment)) {
    go(*topic);
  } else if (!fragment.isEmpty()) {
    browser_->scrollToAnchor(fragment);
  }
}

// A window opened while a modal window is up is blocked with everything else, unless it belongs
// to the modal window. So while one is up the help window is handed to it, and given back to its
// owner as soon as the modal window goes away.
void HelpWindow::attachToModal() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == this || modal == modal_) return;
  if (modal_) modal_->removeEventFilter(this);
  QWidget* parent = modal ? modal : owner_.data();
  if (parentWidget() != parent) {
    const QRect frame = geometry();
    const bool visible = isVisible();
    setParent(parent, windowFlags());
    setGeometry(frame);
    if (visible) show();
  }
  modal_ = modal;
  if (modal_) modal_->installEventFilter(this);
}

void HelpWindow::detachFromModal() {
  if (!modal_) return;
  modal_->removeEventFilter(this);
  modal_ = nullptr;
  if (parentWidget() != owner_.data()) {
    const QRect frame = geometry();
    const bool visible = isVisible();
    setParent(owner_.data(), windowFlags());
    setGeometry(frame);
    if (visible) show();
  }
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == modal_.data() && event->type() == QEvent::Hide) detachFromModal();
  return QWidget::eventFilter(watched, event);
}

void showHelpTopic(const QString& helpFile, int topic) {
  HelpWindow::shared()->showTopic(helpFile, topic);
}

}  // namespace mirevant
