// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace mirevant {

namespace {

QString captionOf(Dialogs::Kind kind) {
  switch (kind) {
    case Dialogs::Kind::Warning:
      return QStringLiteral("Warning");
    case Dialogs::Kind::Error:
      return QStringLiteral("Error");
    case Dialogs::Kind::Information:
      return QStringLiteral("Information");
    case Dialogs::Kind::Plain:
      break;
  }
  return QStringLiteral("Mirevant");
}

QMessageBox::Icon iconOf(Dialogs::Kind kind) {
  switch (kind) {
    case Dialogs::Kind::Warning:
      return QMessageBox::Warning;
    case Dialogs::Kind::Error:
      return QMessageBox::Critical;
    case Dialogs::Kind::Information:
      return QMessageBox::Information;
    case Dialogs::Kind::Plain:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void QtDialogs::message(Kind kind, const QString& text, std::optional<QPoint> at) {
  QMessageBox box(iconOf(kind), captionOf(kind), text, QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);
  if (at) {
    box.adjustSize();
    box.move(*at);
  }
  box.exec();
}

void QtDialogs::yesBox(const QString& text) {
  QMessageBox box(QMessageBox::Warning, captionOf(Kind::Warning), text, QMessageBox::Yes, parent_);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool QtDialogs::ask(const QString& text) {
  QMessageBox box(QMessageBox::Warning, captionOf(Kind::Warning), text,
                  QMessageBox::Yes | QMessageBox::No, parent_);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

Dialogs::SaveChoice QtDialogs::askSave(const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Mirevant"), text, QMessageBox::NoButton,
                  parent_);
  box.setTextFormat(Qt::PlainText);
  QPushButton* save = box.addButton(QStringLiteral("&Save"), QMessageBox::AcceptRole);
  QPushButton* discard = box.addButton(QStringLiteral("&Discard"), QMessageBox::DestructiveRole);
  QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
  box.setDefaultButton(save);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == save) return SaveChoice::Save;
  if (box.clickedButton() == discard) return SaveChoice::Discard;
  return SaveChoice::Cancel;
}

QString QtDialogs::prompt(const QString& title, const QString& promptLine,
                          const QString& defaultText) {
  QDialog dialog(parent_);
  dialog.setWindowTitle(title);
  auto* layout = new QVBoxLayout(&dialog);
  auto* label = new QLabel(promptLine, &dialog);
  auto* edit = new QLineEdit(defaultText, &dialog);
  edit->selectAll();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  layout->addWidget(label);
  layout->addWidget(edit);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  dialog.setMinimumWidth(320);
  return dialog.exec() == QDialog::Accepted ? edit->text() : defaultText;
}

QString QtDialogs::openFileName(const QString& caption, const QString& directory,
                                const QString& filter) {
  return QFileDialog::getOpenFileName(parent_, caption, directory, filter);
}

QString QtDialogs::saveFileName(const QString& caption, const QString& directory,
                                const QString& filter) {
  // The dialog asks before it replaces a file.
  return QFileDialog::getSaveFileName(parent_, caption, directory, filter);
}

}  // namespace mirevant
