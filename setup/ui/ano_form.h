// Announce Options: where the announce database lives and whether new files
// are announced into a JAM base or a text file.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TAnoForm;
}

class TAnoForm : public QDialog {
  Q_OBJECT

 public:
  explicit TAnoForm(QWidget* parent = nullptr);
  ~TAnoForm() override;

 public slots:
  // Fills the controls from the configuration each time the dialog opens.
  void FormActivate();
  // The label of the target line follows the selected kind of target.
  void RadioGroup1Click();
  // "&Ok": the controls go back into the configuration.
  void Button1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<Ui::TAnoForm> ui;
};
