// Options: what the binary configuration has no room for, kept in
// pelix.ini: the duplicate check, the wait for late files, the %RESCAN
// limit, and the uplinks with their robots.
#pragma once

#include <QDialog>
#include <memory>

#include "common/fido_address.h"

class QListWidgetItem;

namespace Ui {
class TOptForm;
}

class TOptForm : public QDialog {
  Q_OBJECT

 public:
  explicit TOptForm(QWidget* parent = nullptr);
  ~TOptForm() override;

 public slots:
  // Fills the controls from the options each time the dialog opens, the
  // first uplink selected.
  void FormActivate();
  // "&Ok": the node's values and the shown uplink go back into the options.
  void Button1Click();
  // The uplinks change at once, without "&Ok": "&Add" the address typed
  // under "New uplink", "Del" the selected one.
  void Button2Click();
  void Button3Click();
  // Another uplink selected: the fields go back into the one they showed.
  void ListBox1Click(QListWidgetItem* current, QListWidgetItem* previous);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Lists the uplinks and selects the one of `select` (the first when it is
  // none of them).
  void ShowUplinks(const FidoAddress& select);
  void ShowUplink(const QListWidgetItem* item);
  void StoreUplink(const QListWidgetItem* item);

  std::unique_ptr<Ui::TOptForm> ui;
};
