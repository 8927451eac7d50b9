// Connected Node: one node of a file echo's list. The picker has no code of
// its own: the File Echo dialog fills its controls, shows it and reads them
// back after it closes, whichever way it was closed.
#pragma once

#include <QDialog>
#include <memory>

class QCheckBox;
class QLineEdit;

namespace Ui {
class TNodeForm;
}

class TNodeForm : public QDialog {
  Q_OBJECT

 public:
  explicit TNodeForm(QWidget* parent = nullptr);
  ~TNodeForm() override;

  QLineEdit* Edit1() const;      // "Address"
  QCheckBox* CheckBox1() const;  // "Recieve files from this node"
  QCheckBox* CheckBox2() const;  // "Send files to this node"

 private:
  std::unique_ptr<Ui::TNodeForm> ui;
};
