// Path and file names: the working directories and the log file.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TPFNForm;
}

class TPFNForm : public QDialog {
  Q_OBJECT

 public:
  explicit TPFNForm(QWidget* parent = nullptr);
  ~TPFNForm() override;

 public slots:
  // Fills the controls from the configuration each time the dialog opens.
  void FormActivate();
  // "&Ok": the directories get their closing separator, the log file is
  // stored as typed.
  void Button1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<Ui::TPFNForm> ui;
};
