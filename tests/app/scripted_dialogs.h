#pragma once

// Dialogs for tests: records every box and answers prompts from a script.

#include <gtest/gtest.h>

#include <QPoint>
#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialogs.h"

namespace mirevant::testing {

class ScriptedDialogs : public Dialogs {
 public:
  struct Box {
    Kind kind;
    QString text;
    std::optional<QPoint> at;
  };
  struct Prompt {
    QString title, promptLine, defaultText;
  };

  // The next prompt answers with `text` (OK), or with its default text (Cancel).
  void answer(const QString& text) { answers_.push_back(text); }
  void cancel() { answers_.push_back(std::nullopt); }

  void message(Kind kind, const QString& text, std::optional<QPoint> at) override {
    boxes.push_back({kind, text, at});
    if (onMessage) onMessage(boxes.back());
  }
  void yesBox(const QString& text) override { yesBoxes.push_back(text); }
  QString prompt(const QString& title, const QString& promptLine,
                 const QString& defaultText) override {
    prompts.push_back({title, promptLine, defaultText});
    if (answers_.empty()) {
      ADD_FAILURE() << "unexpected prompt: " << title.toStdString();
      return defaultText;
    }
    const std::optional<QString> a = answers_.front();
    answers_.pop_front();
    return a ? *a : defaultText;
  }

  // The next question is answered Yes (true) or No.
  void answerQuestion(bool yes) { questionAnswers_.push_back(yes); }
  bool ask(const QString& text) override {
    questions.push_back(text);
    if (questionAnswers_.empty()) {
      ADD_FAILURE() << "unexpected question: " << text.toStdString();
      return false;
    }
    const bool yes = questionAnswers_.front();
    questionAnswers_.pop_front();
    return yes;
  }

  // File dialogs answer from their own script: a path, or "" for Cancel.
  void answerFile(const QString& path) { files_.push_back(path); }
  QString openFileName(const QString& caption, const QString&, const QString&) override {
    return nextFile(caption);
  }
  QString saveFileName(const QString& caption, const QString&, const QString&) override {
    return nextFile(caption);
  }

  bool allAnswersUsed() const {
    return answers_.empty() && questionAnswers_.empty() && files_.empty();
  }
  QString lastText() const { return boxes.empty() ? QString() : boxes.back().text; }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const Box& b : boxes) out.push_back(b.text.toStdString());
    return out;
  }
  void clear() {
    boxes.clear();
    yesBoxes.clear();
    prompts.clear();
    questions.clear();
  }

  std::vector<Box> boxes;
  std::vector<QString> yesBoxes;
  std::vector<Prompt> prompts;
  std::vector<QString> questions;
  std::function<void(const Box&)> onMessage;  // runs while the box would be up

 private:
  QString nextFile(const QString& caption) {
    fileDialogs.push_back(caption);
    if (files_.empty()) {
      ADD_FAILURE() << "unexpected file dialog: " << caption.toStdString();
      return QString();
    }
    const QString f = files_.front();
    files_.pop_front();
    return f;
  }

 public:
  std::vector<QString> fileDialogs;

 private:
  std::deque<std::optional<QString>> answers_;
  std::deque<bool> questionAnswers_;
  std::deque<QString> files_;
};

}  // namespace mirevant::testing
