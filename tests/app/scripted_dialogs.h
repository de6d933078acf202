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

  // The next save-file box answers with `fileName` (an empty name: Cancel).
  void answerFile(const QString& fileName) { fileAnswers_.push_back(fileName); }
  QString saveFileName(const QString& title, const QString& filter) override {
    savePrompts.push_back({title, filter, QString()});
    if (fileAnswers_.empty()) {
      ADD_FAILURE() << "unexpected save-file box: " << title.toStdString();
      return QString();
    }
    const QString name = fileAnswers_.front();
    fileAnswers_.pop_front();
    return name;
  }

  bool allAnswersUsed() const { return answers_.empty() && fileAnswers_.empty(); }
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
  }

  std::vector<Box> boxes;
  std::vector<QString> yesBoxes;
  std::vector<Prompt> prompts;
  std::vector<Prompt> savePrompts;            // title and filter
  std::function<void(const Box&)> onMessage;  // runs while the box would be up

 private:
  std::deque<std::optional<QString>> answers_;
  std::deque<QString> fileAnswers_;
};

}  // namespace mirevant::testing
