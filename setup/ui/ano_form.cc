#include "setup/ui/ano_form.h"

#include <QShowEvent>

#include "setup/config/dialog_text.h"
#include "setup/config/setup_config.h"
#include "setup/ui/code_page_guard.h"
#include "setup/ui/qt_text.h"
#include "ui_ano_form.h"

TAnoForm::TAnoForm(QWidget* parent) : QDialog(parent), ui(new Ui::TAnoForm) {
  ui->setupUi(this);
  GuardCodePage(this);
  ui->RadioItems1->setId(ui->RadioButton1, 0);
  ui->RadioItems1->setId(ui->RadioButton2, 1);
  connect(ui->RadioItems1, &QButtonGroup::idClicked, this, &TAnoForm::RadioGroup1Click);
  connect(ui->Button1, &QPushButton::clicked, this, &TAnoForm::Button1Click);
}

TAnoForm::~TAnoForm() = default;

void TAnoForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormActivate();
  QDialog::showEvent(event);
}

void TAnoForm::FormActivate() {
  const MainConfig& config = SetupState().config;
  ui->Edit1->setText(ShownText(config.announce_db_dir));
  ui->Edit2->setText(ShownText(config.announce_target));
  // A value the processor does not know (it then posts nothing) selects no
  // item, so that "&Ok" keeps it unless the sysop picks a target.
  QAbstractButton* item = ui->RadioItems1->button(config.announce_to);
  ui->RadioItems1->setExclusive(false);
  ui->RadioButton1->setChecked(item == ui->RadioButton1);
  ui->RadioButton2->setChecked(item == ui->RadioButton2);
  ui->RadioItems1->setExclusive(true);
  if (!item) ui->Label1->setText("JAM Base");
  RadioGroup1Click();
}

void TAnoForm::RadioGroup1Click() {
  switch (ui->RadioItems1->checkedId()) {
    case 0: ui->Label1->setText("JAM Base"); break;
    case 1: ui->Label1->setText("File Name"); break;
    default: break;
  }
}

void TAnoForm::Button1Click() {
  MainConfig& config = SetupState().config;
  config.announce_db_dir = StoredDirectory(TypedText(ui->Edit1->text()));
  config.announce_target = StoredText(TypedText(ui->Edit2->text()));
  int selected = ui->RadioItems1->checkedId();
  if (selected >= 0) config.announce_to = selected;
  accept();
}
