// Domain: the FidoNet domains with their outbounds and zones, one record at
// a time.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TDMNForm;
}

class TDMNForm : public QDialog {
  Q_OBJECT

 public:
  explicit TDMNForm(QWidget* parent = nullptr);
  ~TDMNForm() override;

 public slots:
  // Opens on record 1; an empty list gets a blank domain first.
  void FormActivate();
  void Button1Click();  // "&Ins"
  void Button2Click();  // "&Del"
  void Button3Click();  // "&<-"
  void Button4Click();  // "-&>"
  void Button5Click();  // "|<-"
  void Button6Click();  // "&Ok"
  void Button7Click();  // "->|"
  // "Main Zone" can be typed only while "Have Main Zone" is checked.
  void CheckBox2Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void StoreShownRecord();
  void ShowCurrentRecord();

  std::unique_ptr<Ui::TDMNForm> ui;
};
