// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The about box (menu Help > About): product name, version and notes, closed by its OK button.

#include <QDialog>

class QFrame;
class QPlainTextEdit;
class QPushButton;

namespace mirevant {

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  // The box is centred on the screen; show it with exec().
  explicit AboutBox(QWidget* parent = nullptr);

  QPlainTextEdit* Memo1 = nullptr;  // the read-only text; its first line is the version line
  QFrame* Panel1 = nullptr;         // the bottom panel
  QPushButton* BitBtn1 = nullptr;   // OK

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow: puts the version into the first line
};

}  // namespace mirevant
