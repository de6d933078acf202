// Helper of the two-instance tests: a first instance of the main window (offscreen) on the program
// directory given as its argument. It defines "a*b", stores a's row (2.5, 0.1, 10) and leaves b's
// values (3, 0.2, 20) typed but not yet stored, then writes "ready" and waits while it holds the
// variable list. On "check" it writes what it still holds ("state", "pending" lines), calculates,
// writes the report ("report" lines) and every message it was shown ("box" lines), and ends.

#include <QApplication>
#include <QFont>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <iostream>
#include <string>
#include <vector>

#include "ui/dialogs.h"
#include "app/main_window.h"
#include "core/numtext.h"
#include "program/first_instance_rows.h"
#include "tables/dataset.h"

namespace {

class RecordingDialogs : public mirevant::Dialogs {
 public:
  void message(Kind, const QString& text, std::optional<QPoint>) override {
    texts.push_back(text.toStdString());
  }
  void yesBox(const QString& text) override { texts.push_back(text.toStdString()); }
  QString prompt(const QString&, const QString&, const QString& defaultText) override {
    return defaultText;
  }
  QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
  QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
  std::vector<std::string> texts;
};

void writeLines(const char* tag, const std::string& text) {
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    std::cout << tag << ' ' << text.substr(start, end - start) << '\n';
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 8));
  mirevant::setDecimalSeparator('.');
  if (argc != 2) {
    std::cerr << "usage: varlist_holder PROGRAM-DIRECTORY\n";
    return 2;
  }
  RecordingDialogs dialogs;
  mirevant::MainWindow form(dialogs, QString::fromLocal8Bit(argv[1]));
  form.show();
  form.EditEquation->setText(QStringLiteral("a*b"));
  form.BtnEnterEquationClick();

  mirevant::Dataset& list = form.TableVarlist();
  try {
    mirevant::testing::enterFirstInstanceRows(list);
  } catch (const std::exception& e) {
    std::cout << "failed " << e.what() << std::endl;
    return 1;
  }
  for (const std::string& t : dialogs.texts) writeLines("box", t);
  std::cout << "ready" << std::endl;

  std::string command;
  if (!std::getline(std::cin, command) || command != "check") return 3;
  QApplication::processEvents();
  std::cout << "state " << (list.state() == mirevant::DatasetState::Edit ? "edit" : "other")
            << '\n';
  std::cout << "pending " << list.fieldByName("VARNAME").asString() << ' '
            << list.fieldByName("VALUE").asString() << ' ' << list.fieldByName("UNC").asString()
            << ' ' << list.fieldByName("DOF").asString() << '\n';
  form.BtnCalculateClick();
  writeLines("report", form.MemoDerOut->toPlainText().toStdString());
  for (const std::string& t : dialogs.texts) writeLines("box", t);
  std::cout << "done" << std::endl;
  return 0;
}
