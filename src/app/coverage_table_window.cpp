// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/coverage_table_window.h"

#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>

#include "ui/command_guard.h"
#include "ui/dialogs.h"
#include "tables/schemas.h"
#include "widgets/db_grid.h"

namespace mirevant {

const char* const kModificationMessage =
    "On the last row we substituted \"400\" for the infinity symbol in Table B1\n"
    "For DOFs you enter of 100 to 399, Mirevant uses the factors in the 100 row. \n"
    "For DOFs you enter of 400 or greater, Mirevant uses the factors in the 400 (infinity) row.\n"
    "If you wish to imply infinite DOFs use a DOF of 400.";

namespace {
constexpr int kTopPanelHeight = 33;
constexpr int kBottomPanelHeight = 41;
}  // namespace

CoverageTableWindow::CoverageTableWindow(const QString& programDirectory, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),  // no title-bar buttons
      programDirectory_(programDirectory),
      dialogs_(dialogs),
      table_(pcentSchema().fields) {
  setObjectName(QStringLiteral("Form_tableB1"));
  setWindowTitle(QStringLiteral("Coverage Table"));
  setSizeGripEnabled(true);

  panelTop = new QWidget(this);
  labelTitle =
      new QLabel(QStringLiteral("Table B1 (modified) from  NIST Technical Note 1297"), panelTop);
  QFont bold = font();
  bold.setBold(true);
  labelTitle->setFont(bold);
  labelTitle->adjustSize();
  labelTitle->move(8, (kTopPanelHeight - labelTitle->height()) / 2);

  grid = new DBGrid(this);
  grid->setObjectName(QStringLiteral("DBGrid1"));
  const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
  grid->setColumns({
      {QStringLiteral("DEGFREE"), QStringLiteral("Degrees of Freedom"), 23, Qt::AlignCenter,
       Qt::AlignCenter, true, false, nullptr},
      {QStringLiteral("P6827"), QStringLiteral("68.27%"), 8, left, Qt::AlignCenter, true, false,
       nullptr},
      {QStringLiteral("P90"), QStringLiteral("90%"), 7, left, Qt::AlignCenter, true, false,
       nullptr},
      {QStringLiteral("P95"), QStringLiteral("95%"), 7, left, Qt::AlignCenter, true, false,
       nullptr},
      {QStringLiteral("P9545"), QStringLiteral("95.45%"), 9, left, Qt::AlignCenter, true, false,
       nullptr},
      {QStringLiteral("P99"), QStringLiteral("99%"), 7, left, Qt::AlignCenter, true, false,
       nullptr},
      {QStringLiteral("P9973"), QStringLiteral("99.73%"), 8, left, Qt::AlignCenter, true, false,
       nullptr},
  });
  // Reference data of a published table: a stray keystroke must not change it.
  grid->setGridReadOnly(true);
  source_.setDataset(&table_);
  grid->setDataSource(&source_);

  panelBottom = new QWidget(this);
  BTN_MODIFY = new QPushButton(QStringLiteral("&Modification"), panelBottom);
  BTN_MODIFY->setObjectName(QStringLiteral("BTN_MODIFY"));
  BTN_MODIFY->setAutoDefault(false);
  buttonOk = new QPushButton(QStringLiteral("&OK"), panelBottom);
  buttonOk->setObjectName(QStringLiteral("BitBtn1"));
  buttonOk->setDefault(true);
  connect(BTN_MODIFY, &QPushButton::clicked, this, [this] { BTN_MODIFYClick(); });
  connect(buttonOk, &QPushButton::clicked, this, &QDialog::accept);

  // 491 x 331 with its frame and title bar.
  resize(483, 304);
}

CoverageTableWindow::~CoverageTableWindow() {
  grid->setDataSource(nullptr);
}

void CoverageTableWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  placeWindow(this, size());
  runCommand(dialogs_, [this] {
    if (table_.active()) return;
    table_.setDirectory(programDirectory_.toStdString());
    table_.setTableName(pcentSchema().fileName);
    table_.open();
  });
}

void CoverageTableWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  layoutPanels();
}

void CoverageTableWindow::layoutPanels() {
  const int w = width();
  const int h = height();
  panelTop->setGeometry(0, 0, w, kTopPanelHeight);
  grid->setGeometry(0, kTopPanelHeight, w, h - kTopPanelHeight - kBottomPanelHeight);
  panelBottom->setGeometry(0, h - kBottomPanelHeight, w, kBottomPanelHeight);
  BTN_MODIFY->setGeometry(8, 8, 100, 25);
  buttonOk->setGeometry(116, 8, 75, 25);
}

void CoverageTableWindow::BTN_MODIFYClick() {
  dialogs_.message(Dialogs::Kind::Information, QString::fromLatin1(kModificationMessage));
}

}  // namespace mirevant
