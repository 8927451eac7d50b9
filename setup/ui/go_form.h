// General Options: the system's addresses, its time zone, two switches and
// the code page of the configuration's texts.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TGOForm;
}

class TGOForm : public QDialog {
  Q_OBJECT

 public:
  explicit TGOForm(QWidget* parent = nullptr);
  ~TGOForm() override;

 public slots:
  // Fills the controls from the configuration each time the dialog opens.
  void FormActivate();
  // "&Ok": the controls go back into the configuration.
  void Button1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<Ui::TGOForm> ui;
};
