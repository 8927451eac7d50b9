// Link: the systems this one exchanges files with, one record at a time.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TLinkForm;
}

class TLinkForm : public QDialog {
  Q_OBJECT

 public:
  explicit TLinkForm(QWidget* parent = nullptr);
  ~TLinkForm() override;

 public slots:
  // Opens on record 1; an empty list gets a blank link first.
  void FormActivate();
  void Button1Click();  // "&Ins"
  void Button2Click();  // "&Del"
  void Button3Click();  // "|<-"
  void Button4Click();  // "&<-"
  void Button5Click();  // "-&>"
  void Button6Click();  // "->|"
  void Button7Click();  // "&Ok"
  void Button8Click();  // "&Sort", by address

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void StoreShownRecord();
  void ShowCurrentRecord();

  std::unique_ptr<Ui::TLinkForm> ui;
};
