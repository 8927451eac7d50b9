#include "setup/ui/allfix_form.h"

#include "ui_allfix_form.h"

TALLFIXForm::TALLFIXForm(QWidget* parent) : QDialog(parent), ui(new Ui::TALLFIXForm) {
  ui->setupUi(this);
}

TALLFIXForm::~TALLFIXForm() = default;

QLineEdit* TALLFIXForm::Edit1() const { return ui->Edit1; }
