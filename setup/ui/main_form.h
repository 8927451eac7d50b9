// The main window: a menu from which every dialog is opened modally. Its
// destruction asks whether to save and gives pelix.bsy back.
#pragma once

#include <QMainWindow>
#include <memory>

namespace Ui {
class TMainForm;
}
namespace platform {
class Env;
}

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // `env` serves the import and the save at the end.
  explicit TMainForm(platform::Env& env, QWidget* parent = nullptr);
  ~TMainForm() override;

 public slots:
  void Generaloptions1Click();
  void AnnounceOptions1Click();
  void Pathandfilenames1Click();
  void Domainsandoutbouns1Click();
  void Links1Click();
  void FileEchoes1Click();
  void Options1Click();
  void Quit1Click();
  void ImportALLFIXconfiguration1Click();
  void About1Click();

 private:
  void FormDestroy();

  platform::Env& env_;
  std::unique_ptr<Ui::TMainForm> ui;
};
