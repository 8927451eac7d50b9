#include "setup/ui/node_form.h"

#include "setup/ui/code_page_guard.h"
#include "ui_node_form.h"

TNodeForm::TNodeForm(QWidget* parent) : QDialog(parent), ui(new Ui::TNodeForm) {
  ui->setupUi(this);
  GuardCodePage(this);
}

TNodeForm::~TNodeForm() = default;

QLineEdit* TNodeForm::Edit1() const { return ui->Edit1; }
QCheckBox* TNodeForm::CheckBox1() const { return ui->CheckBox1; }
QCheckBox* TNodeForm::CheckBox2() const { return ui->CheckBox2; }
