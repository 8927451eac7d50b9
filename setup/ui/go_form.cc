#include "setup/ui/go_form.h"

#include <QShowEvent>

#include "setup/config/dialog_text.h"
#include "setup/config/setup_config.h"
#include "setup/ui/code_page_guard.h"
#include "setup/ui/qt_text.h"
#include "ui_go_form.h"

TGOForm::TGOForm(QWidget* parent) : QDialog(parent), ui(new Ui::TGOForm) {
  ui->setupUi(this);
  GuardCodePage(this);
  for (CodePage page : CodePages()) {
    ui->ComboBox1->addItem(QString::fromLatin1(CodePageDescription(page)), int(page));
  }
  connect(ui->Button1, &QPushButton::clicked, this, &TGOForm::Button1Click);
}

TGOForm::~TGOForm() = default;

void TGOForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormActivate();
  QDialog::showEvent(event);
}

void TGOForm::FormActivate() {
  const MainConfig& config = SetupState().config;
  ui->Edit1->setText(ShownText(config.main_address));
  ui->Edit3->setText(ShownText(config.aka_list));
  ui->Edit2->setText(ShownText(UtcOffsetText(config.utc_offset)));
  // The file keeps whether answers are killed; the sysop thinks of keeping.
  ui->CheckBox1->setChecked(config.kill_answers == 0);
  ui->CheckBox2->setChecked(config.files_bbs_counter != 0);
  ui->ComboBox1->setCurrentIndex(ui->ComboBox1->findData(int(SetupState().code_page)));
}

void TGOForm::Button1Click() {
  MainConfig& config = SetupState().config;
  config.main_address = StoredText(TypedText(ui->Edit1->text()));
  config.aka_list = StoredText(TypedText(ui->Edit3->text()));
  config.utc_offset = UtcOffsetValue(TypedText(ui->Edit2->text()));
  config.kill_answers = ui->CheckBox1->isChecked() ? 0 : 1;
  config.files_bbs_counter = ui->CheckBox2->isChecked() ? 1 : 0;
  // Last, so that the texts above go back in the page they were shown in.
  // The stored bytes stay as they are: only how they read changes.
  SetupState().code_page = static_cast<CodePage>(ui->ComboBox1->currentData().toInt());
  accept();
}
