// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The covariance window: pairs of variables of the defined expression and their covariances,
// kept unique by drop-down lists that offer only the names still possible. "Done" hands the pairs
// to the uncertainty evaluator and lists them in the main window.

#include <QDialog>
#include <map>
#include <string>
#include <utility>

#include "core/extended.h"
#include <QStringList>
#include <functional>

#include "tables/dataset.h"

class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace mirevant {

class DBGrid;
class Dialogs;
class TUncEval;

class CovarianceWindow : public QDialog {
  Q_OBJECT

 public:
  // The evaluator receives the covariances and `memoCoVar` their list when the user is done.
  CovarianceWindow(Dialogs& dialogs, TUncEval& evaluator, QPlainTextEdit* memoCoVar,
               QWidget* parent = nullptr);
  ~CovarianceWindow() override;

  // Opens both views of the covariance table in the program directory, shared. With
  // `emptyFirst` the table is first emptied under exclusive use.
  void openTables(const std::string& programDirectory, bool emptyFirst);
  // Starts from an empty covariance table and offers these names (in this order) in both lists.
  void prepare(const QStringList& names);

  // The buttons and events.
  void newClicked();  // New
  void deleteClicked();  // Delete
  void clearClicked();  // Clear
  void doneClicked();  // Done
  void helpClicked();  // Help
  void CovSourceStateChange();
  void CovSourceDataChange(Field* field);
  void CovTableBeforePost(Dataset& dataset);

  Dataset& CovTable() { return covTable_; }
  Dataset& CovScanTable() { return covScanTable_; }
  const QStringList& DefinedNames() const { return definedNames_; }
  bool closedByDone() const { return done_; }

  // Whether the numbers typed are correlation coefficients r rather than covariances (the
  // choice above the grid). With r, Done gives the evaluator r·u1·u2 and keeps each r.
  void setCorrelationEntry(bool correlations);
  bool correlationEntry() const;
  // The coefficients of the pairs, by their two names in alphabetical order, after Done.
  const std::map<std::pair<std::string, std::string>, Extended>& correlations() const {
    return correlations_;
  }
  QComboBox* EntryKind = nullptr;

  // Opens help topic 1001; set by the main window.
  std::function<void(int topic)> showHelp;

  DBGrid* CovGrid = nullptr;
  QComboBox* Var1Combo = nullptr;
  QComboBox* Var2Combo = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button5 = nullptr;
  QPushButton* Button3 = nullptr;

  // Program-wide: false until the first covariance window is shown or its "New" runs; while false
  // the lists are not kept and new rows are refused.
  static bool ListsLive;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void reject() override;

 private:
  // Pack (and first empty, when asked) the edit view under exclusive use, with the scan view
  // closed and notifications suspended meanwhile.
  void maintain(bool emptyFirst);
  void command(void (CovarianceWindow::*handler)());

  Dialogs& dialogs_;
  TUncEval& evaluator_;
  QPlainTextEdit* memoCoVar_;
  Dataset covTable_;
  DataSource covSource_;
  Dataset covScanTable_;
  QStringList definedNames_;
  bool done_ = false;
  std::map<std::pair<std::string, std::string>, Extended> correlations_;
};

}  // namespace mirevant
