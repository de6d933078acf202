// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Every modal message box and prompt of the program goes through Dialogs, so that tests can script
// the answers and nothing blocks them.

#include <QPoint>
#include <QString>
#include <optional>

class QWidget;

namespace mirevant {

class Dialogs {
 public:
  enum class Kind { Warning, Error, Information, Plain };
  enum class SaveChoice { Save, Discard, Cancel };

  virtual ~Dialogs() = default;

  // A modal box with a single OK button; placed with its top-left corner at `at` when given.
  virtual void message(Kind kind, const QString& text, std::optional<QPoint> at = std::nullopt) = 0;
  // A warning box with a single Yes button.
  virtual void yesBox(const QString& text) = 0;
  // A modal prompt: title, one prompt line, an edit box holding `defaultText`, OK and Cancel.
  // OK returns the edited text, Cancel the default text.
  virtual QString prompt(const QString& title, const QString& promptLine,
                         const QString& defaultText) = 0;
  // A warning box asking a question, with Yes and No buttons; true for Yes.
  virtual bool ask(const QString& text) = 0;
  // A question box with Save, Discard and Cancel buttons (Cancel also for Escape or the close box).
  virtual SaveChoice askSave(const QString& text) = 0;
  // A file dialog for a file to open, or a name to save to, starting in `directory` (or at the
  // file it names) and showing the files that `filter` matches ("Projects (*.toml)"). Empty when
  // cancelled.
  virtual QString openFileName(const QString& caption, const QString& directory,
                               const QString& filter) = 0;
  virtual QString saveFileName(const QString& caption, const QString& directory,
                               const QString& filter) = 0;
};

// The real boxes and prompts, parented to `parent` while it exists.
class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }

  void message(Kind kind, const QString& text, std::optional<QPoint> at) override;
  void yesBox(const QString& text) override;
  QString prompt(const QString& title, const QString& promptLine,
                 const QString& defaultText) override;
  bool ask(const QString& text) override;
  SaveChoice askSave(const QString& text) override;
  QString openFileName(const QString& caption, const QString& directory,
                       const QString& filter) override;
  QString saveFileName(const QString& caption, const QString& directory,
                       const QString& filter) override;

 private:
  QWidget* parent_;
};

}  // namespace mirevant
