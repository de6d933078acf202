// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Dialogs for tests: records every box and answers prompts, questions and file dialogs from a
// script; an unscripted one fails the test.

#include <gtest/gtest.h>

#include <QPoint>
#include <QString>
#include <deque>
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
  };

  // The next prompt answers with `text` (OK).
  void answer(const QString& text) { answers_.push_back(text); }
  // The next question is answered Yes (true) or No.
  void answerQuestion(bool yes) { questionAnswers_.push_back(yes); }
  // The next Save / Discard / Cancel question is answered with `choice`.
  void answerSave(SaveChoice choice) { saveAnswers_.push_back(choice); }
  // The next file dialog answers with a path, or "" for Cancel.
  void answerFile(const QString& path) { files_.push_back(path); }

  void message(Kind kind, const QString& text, std::optional<QPoint>) override {
    boxes.push_back({kind, text});
  }
  void yesBox(const QString&) override {}
  QString prompt(const QString& title, const QString&, const QString& defaultText) override {
    return next(answers_, "prompt", title).value_or(defaultText);
  }
  bool ask(const QString& text) override {
    questions.push_back(text);
    return next(questionAnswers_, "question", text).value_or(false);
  }
  SaveChoice askSave(const QString& text) override {
    questions.push_back(text);
    return next(saveAnswers_, "save question", text).value_or(SaveChoice::Cancel);
  }
  QString openFileName(const QString& caption, const QString&, const QString&) override {
    return next(files_, "file dialog", caption).value_or(QString());
  }
  QString saveFileName(const QString& caption, const QString&, const QString&) override {
    return next(files_, "file dialog", caption).value_or(QString());
  }

  bool allAnswersUsed() const {
    return answers_.empty() && questionAnswers_.empty() && files_.empty() && saveAnswers_.empty();
  }
  QString lastText() const { return boxes.empty() ? QString() : boxes.back().text; }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const Box& b : boxes) out.push_back(b.text.toStdString());
    return out;
  }
  void clear() {
    boxes.clear();
    questions.clear();
  }

  std::vector<Box> boxes;
  std::vector<QString> questions;

 private:
  template <typename T>
  static std::optional<T> next(std::deque<T>& script, const char* what, const QString& title) {
    if (script.empty()) {
      ADD_FAILURE() << "unexpected " << what << ": " << title.toStdString();
      return std::nullopt;
    }
    T front = script.front();
    script.pop_front();
    return front;
  }

  std::deque<QString> answers_;
  std::deque<bool> questionAnswers_;
  std::deque<QString> files_;
  std::deque<SaveChoice> saveAnswers_;
};

}  // namespace mirevant::testing
