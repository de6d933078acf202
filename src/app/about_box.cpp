// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about_box.h"

#include "ui/window_placement.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>

#include "core/version.h"

namespace mirevant {

namespace {

constexpr int kClientWidth = 425;
constexpr int kClientHeight = 273;
constexpr int kPanelHeight = 41;

// The text as the box is defined ("%1" stands for the version); its first line is replaced by the
// version line when the box is shown.
const char* const kNotes[] = {
    "Mirevant Version",
    "Measurement uncertainty calculator",
    "",
    "Mirevant evaluates a measurement model typed as one line of expression text, writes the "
    "partial derivative of the model with respect to every variable, and propagates the standard "
    "uncertainties and covariances of the inputs to the combined standard uncertainty. It works "
    "out the effective degrees of freedom by the Welch-Satterthwaite formula and the coverage "
    "factor for the chosen confidence level from a table of Student t values, and writes every "
    "step into a report that can be checked by hand.",
    "",
    "Release notes: version %1 offers expression entry, the ways of entering a variable, "
    "covariances, the calculation report with its stepwise audit, coverage factors, printing, the "
    "clipboard commands, a demonstration and the help pages, project files, the uncertainty "
    "budget, a Monte Carlo check and the report command mirevant-report.",
    "",
    "Licence: Mirevant is free software: you can redistribute it and/or modify it under the terms "
    "of the GNU General Public License as published by the Free Software Foundation, either "
    "version 3 of the License, or (at your option) any later version. It is distributed in the "
    "hope that it will be useful, but WITHOUT ANY WARRANTY; without even the implied warranty of "
    "MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE. The licence text is the file LICENSE of "
    "the source; an installed Mirevant lists its licences and those of the libraries it uses in "
    "share/doc/mirevant/copyright under the installation prefix (/usr for the Debian package).",
    "",
    "Files: an installed Mirevant reads the coverage factor table PCENT.DBF and the help file "
    "mirevant.hlp from its data directory (share/mirevant under the installation prefix) and "
    "keeps its working tables varlist.dbf and COVDAT.DBF in the user's data directory "
    "(~/.local/share/mirevant). Run from its build directory, it keeps all of them beside the "
    "program file.",
    "",
    "Contact: please report errors and send suggestions through the project's issue tracker. A "
    "report is easiest to follow with the expression, the variable values and the calculation "
    "report attached; the Edit menu copies the report to the clipboard.",
};

QFont memoFont() {
  // Arial where it is installed, otherwise its metric twin.
  const QString family = QFontDatabase::families().contains(QStringLiteral("Arial"))
                             ? QStringLiteral("Arial")
                             : QStringLiteral("Liberation Sans");
  return QFont(family, 9);
}

}  // namespace

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("frmAboutMirevant"));
  setWindowTitle(QStringLiteral("About Mirevant"));
  setFixedSize(kClientWidth, kClientHeight);
  QFont windowFont = QApplication::font();
  windowFont.setPointSize(8);
  setFont(windowFont);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setGeometry(0, 0, kClientWidth, kClientHeight - kPanelHeight);
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setFont(memoFont());
  QPalette palette = Memo1->palette();
  palette.setColor(QPalette::Text, Qt::black);
  palette.setColor(QPalette::Base, Qt::white);
  Memo1->setPalette(palette);
  const QString version = QString::fromLatin1(kVersion);
  QStringList lines;
  for (const char* line : kNotes)
    lines << QString::fromUtf8(line).replace(QStringLiteral("%1"), version);
  Memo1->setPlainText(lines.join(QLatin1Char('\n')));

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setGeometry(0, kClientHeight - kPanelHeight, kClientWidth, kPanelHeight);

  BitBtn1 = new QPushButton(QStringLiteral("&OK"), Panel1);
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn1->setGeometry(339, 10, 75, 25);
  BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  BitBtn1->setDefault(true);
  BitBtn1->setAutoDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

  // Centred on the main window, inside the screen.
  placeWindow(this, QSize(kClientWidth, kClientHeight), parent);
  BitBtn1->setFocus();
}

void AboutBox::showEvent(QShowEvent* event) {
  // Replace, never insert: showing the box again keeps a single version line.
  QTextCursor cursor(Memo1->document()->firstBlock());
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(QStringLiteral("Mirevant Version ") + QString::fromLatin1(kVersion));
  Memo1->moveCursor(QTextCursor::Start);
  QDialog::showEvent(event);
}

}  // namespace mirevant
