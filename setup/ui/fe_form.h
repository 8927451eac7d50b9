// File Echo: the file echoes, one record at a time, with the nodes connected
// to each.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFEForm;
}

class TFEForm : public QDialog {
  Q_OBJECT

 public:
  explicit TFEForm(QWidget* parent = nullptr);
  ~TFEForm() override;

 public slots:
  // Opens on record 1; an empty list gets a blank echo first. Coming back
  // from the Connected Node picker does not open the dialog again.
  void FormActivate();
  void Button1Click();   // "&Ins"
  void Button2Click();   // "&Del"
  void Button3Click();   // "|<-"
  void Button4Click();   // "&<-"
  void Button5Click();   // "-&>"
  void Button6Click();   // "->|"
  void Button7Click();   // "&Ok"
  // The connected nodes change at once, without "&Ok": "&Add", "Del" and
  // "&Edit".
  void Button8Click();
  void Button9Click();
  void Button10Click();
  void Button11Click();  // "&Sort", by tag

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void StoreShownRecord();
  void ShowCurrentRecord();
  // The text of the selected line of the list, or false (with "No Node
  // Selected" shown) when none is selected.
  bool SelectedNode(QString& address);

  std::unique_ptr<Ui::TFEForm> ui;
};
