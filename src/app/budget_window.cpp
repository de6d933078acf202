// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/budget_window.h"

#include "app/analysis_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "app/budget_table_model.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/share_bar_delegate.h"
#include "core/errors.h"
#include "ui/dialogs.h"

namespace mirevant {

namespace {

QString qstr(const std::string& s) {
  return QString::fromStdString(s);
}

constexpr int kDerivativeWidth = 320;
constexpr int kShareWidth = 150;

}  // namespace

BudgetWindow::BudgetWindow(MainWindow& main) : QWidget(&main, Qt::Window), main_(main) {
  setObjectName(QStringLiteral("BudgetWindow"));
  setWindowTitle(QStringLiteral("Uncertainty Budget"));
  auto* layout = new QVBoxLayout(this);

  heading = new QLabel(this);
  heading->setWordWrap(true);
  heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(heading);

  model_ = new BudgetTableModel(this);
  proxy_ = new BudgetSortProxy(this);
  proxy_->setSourceModel(model_);
  table = new QTableView(this);
  table->setModel(proxy_);
  table->setItemDelegateForColumn(BudgetTableModel::kShareColumn, new ShareBarDelegate(table));
  table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);  // the report's order
  table->setSortingEnabled(true);
  table->horizontalHeader()->setStretchLastSection(true);
  table->verticalHeader()->setVisible(false);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setWordWrap(false);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);

  details = new QPlainTextEdit(this);
  details->setReadOnly(true);
  details->setLineWrapMode(QPlainTextEdit::WidgetWidth);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(table);
  splitter->addWidget(details);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 0);
  splitter->setSizes({400, 170});
  splitter->setChildrenCollapsible(false);
  layout->addWidget(splitter, 1);

  auto* buttons = new QHBoxLayout;
  copyButton = new QPushButton(QStringLiteral("&Copy"), this);
  copyButton->setToolTip(QStringLiteral("Copies the table for a spreadsheet"));
  exportButton = new QPushButton(QStringLiteral("&Export CSV..."), this);
  closeButton = new QPushButton(QStringLiteral("C&lose"), this);
  buttons->addWidget(copyButton);
  buttons->addWidget(exportButton);
  buttons->addStretch(1);
  buttons->addWidget(closeButton);
  layout->addLayout(buttons);

  connect(copyButton, &QPushButton::clicked, this, [this] { copyTable(); });
  connect(exportButton, &QPushButton::clicked, this, [this] { exportCsv(); });
  connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
  connect(&main_, &MainWindow::calculated, this, [this] { refresh(); });
  connect(&main_, &MainWindow::inputsChanged, this, [this] { refresh(); });

  resize(1040, 600);
  refresh();
}

void BudgetWindow::refresh() {
  budget_.reset();
  const CalculationInput* input = main_.lastInput();
  const CalculationResult* result = main_.lastResult();
  QString status;
  if (input == nullptr || result == nullptr) {
    status = QStringLiteral(
        "No calculation has run yet. Press Calculate: the budget of the "
        "calculation shows here.");
  } else if (result->stop) {
    status = QStringLiteral("The last calculation stopped, so it has no budget:\n") +
             qstr(result->stop->message);
  } else {
    try {
      budget_ = uncertaintyBudget(*input, *result);
      status = QStringLiteral("Uncertainty budget of ") +
               qstr(input->resultName.empty() ? "y" : input->resultName) +
               QStringLiteral(" = ") + qstr(input->model) +
               (budget_ && budget_->withUnits && !budget_->resultUnit.empty()
                    ? QStringLiteral(", in ") + qstr(budget_->resultUnit)
                    : QString());
    } catch (const Error& e) {
      status = QStringLiteral("The budget could not be computed: ") + qstr(e.what());
    }
  }
  if (input != nullptr && main_.inputsChangedSinceCalculation())
    status = MainWindow::staleResultsText() + QStringLiteral("\n") + status;
  heading->setText(status);
  model_->setBudget(budget_);
  copyButton->setEnabled(budget_.has_value());
  exportButton->setEnabled(budget_.has_value());

  QStringList text;
  if (budget_) {
    text << QStringLiteral("Warnings:");
    if (budget_->warnings.empty()) text << QStringLiteral("None.");
    for (const std::string& w : budget_->warnings) text << QStringLiteral("• ") + qstr(w);
    text << QString() << QStringLiteral("Coverage:");
    for (const std::string& l : budgetCoverageLines(*budget_)) text << qstr(l);
    text << QString() << QStringLiteral("Result:");
    for (const std::string& l : budgetStatementLines(*budget_)) text << qstr(l);
  }
  details->setPlainText(text.join(QLatin1Char('\n')));

  table->resizeColumnsToContents();
  QHeaderView* header = table->horizontalHeader();
  if (header->sectionSize(BudgetTableModel::kDerivativeColumn) > kDerivativeWidth)
    header->resizeSection(BudgetTableModel::kDerivativeColumn, kDerivativeWidth);
  if (header->sectionSize(BudgetTableModel::kShareColumn) < kShareWidth)
    header->resizeSection(BudgetTableModel::kShareColumn, kShareWidth);
}

void BudgetWindow::copyTable() {
  if (!budget_) return;
  QApplication::clipboard()->setText(qstr(budgetTabText(*budget_)));
}

void BudgetWindow::exportCsv() {
  if (!budget_) return;
  const QString name = main_.dialogs().saveFileName(
      QStringLiteral("Export Budget as CSV"), QString(),
      QStringLiteral("CSV files (*.csv);;All files (*)"));
  if (name.isEmpty()) return;
  const std::string csv = budgetCsv(*budget_);
  QFile file(name);
  const bool written =
      file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
      file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
      file.flush();
  if (!written) {
    const QString reason = file.errorString();
    file.close();
    main_.dialogs().message(Dialogs::Kind::Error,
                            QStringLiteral("The budget could not be written to ") + name +
                                QStringLiteral(": ") + reason);
  }
}

BudgetWindow* openBudgetWindow(MainWindow& main) {
  return showAnalysisWindow<BudgetWindow>(main, QStringLiteral("BudgetWindow"), kHelpBudget);
}

void installBudgetCommand(MainWindow& main) {
  addAnalysisCommand(
      main, QStringLiteral("Uncertainty &Budget..."), QStringLiteral("UncertaintyBudget1"),
      QStringLiteral("Shows what each input and covariance adds to the combined uncertainty"),
      openBudgetWindow);
}

}  // namespace mirevant
