// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The help viewer: a non-modal window that shows one numbered topic of the help file.
//
// The help file is an HTML document whose pages are sections marked with the topic number:
//   <section id="topic1000"> ... </section>
// Links of the form href="#topic1002" lead to another topic; the <style> of the document head
// applies to every page. A file that cannot be read, or a topic it lacks, is reported on the page
// the window shows; nothing is raised and no box is opened.

#include <QPointer>
#include <QString>
#include <QWidget>
#include <vector>

class QTextBrowser;
class QToolButton;
class QUrl;

namespace mirevant {

class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  // Always a window of its own; `owner`, if given, owns it (it is destroyed with its owner).
  explicit HelpWindow(QWidget* owner = nullptr);

  // Shows the page of `topic` from `helpFile` and brings the window to the front; returns at once.
  // Reads the file afresh on every call. While a modal window is up, the help window is attached
  // to it for that time, so that it can be read and scrolled without closing the modal window.
  void showTopic(const QString& helpFile, int topic);

  QString helpFile() const { return helpFile_; }
  int topic() const { return topic_; }
  bool pageFound() const { return found_; }  // false while an error page is shown
  QString pageTitle() const { return title_; }
  QTextBrowser* browser() const { return browser_; }

  // The one instance that showHelpTopic uses; created on first use, never owned by a window.
  static HelpWindow* shared();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QString pageHtml(int topic);  // the page of `topic` read afresh from helpFile_
  void go(int topic);           // a link or the main-page button: show and record in the history
  void pageShown();             // the browser has turned to another page
  void onAnchor(const QUrl& url);
  void back();
  void forward();
  void attachToModal();
  void detachFromModal();

  QTextBrowser* browser_ = nullptr;
  QToolButton* backButton_ = nullptr;
  QToolButton* forwardButton_ = nullptr;
  QToolButton* mainButton_ = nullptr;
  QString helpFile_;
  int topic_ = 0;
  bool found_ = false;
  QString title_;
  QPointer<QWidget> owner_;
  QPointer<QWidget> modal_;  // the modal window the help window is attached to, if any
  bool positioned_ = false;
};

// Shows `topic` of `helpFile` in the shared help window and returns at once.
void showHelpTopic(const QString& helpFile, int topic);

// The help topics of the program.
inline constexpr int kHelpMainWindow = 1000;
inline constexpr int kHelpCovariance = 1001;
inline constexpr int kHelpExpression = 1002;
inline constexpr int kHelpBudget = 1003;
inline constexpr int kHelpMonteCarlo = 1004;
inline constexpr int kHelpProjects = 1005;
inline constexpr int kHelpConformity = 1006;

}  // namespace mirevant
