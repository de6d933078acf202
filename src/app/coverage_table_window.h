// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The coverage table window: the coverage factors of every row of PCENT.DBF, read-only.

#include <QDialog>
#include <QString>

#include "tables/dataset.h"

class QLabel;
class QPushButton;
class QWidget;

namespace mirevant {

class DBGrid;
class Dialogs;

class CoverageTableWindow : public QDialog {
  Q_OBJECT

 public:
  CoverageTableWindow(const QString& programDirectory, Dialogs& dialogs, QWidget* parent = nullptr);
  ~CoverageTableWindow() override;

  void BTN_MODIFYClick();

  Dataset& Table_PCENT() { return table_; }

  QWidget* panelTop = nullptr;
  QLabel* labelTitle = nullptr;
  DBGrid* grid = nullptr;
  QWidget* panelBottom = nullptr;
  QPushButton* BTN_MODIFY = nullptr;
  QPushButton* buttonOk = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void layoutPanels();

  QString programDirectory_;
  Dialogs& dialogs_;
  Dataset table_;
  DataSource source_;
};

// The text of the "Modification" box.
extern const char* const kModificationMessage;

}  // namespace mirevant
