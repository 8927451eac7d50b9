// ALLFIX Configuration: asks where ALLFIX keeps its configuration files. The
// path stays in the dialog from one import to the next within a run.
#pragma once

#include <QDialog>
#include <memory>

class QLineEdit;

namespace Ui {
class TALLFIXForm;
}

class TALLFIXForm : public QDialog {
  Q_OBJECT

 public:
  explicit TALLFIXForm(QWidget* parent = nullptr);
  ~TALLFIXForm() override;

  QLineEdit* Edit1() const;  // the directory

 private:
  std::unique_ptr<Ui::TALLFIXForm> ui;
};
