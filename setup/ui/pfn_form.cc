#include "setup/ui/pfn_form.h"

#include <QShowEvent>

#include "setup/config/dialog_text.h"
#include "setup/config/setup_config.h"
#include "setup/ui/code_page_guard.h"
#include "setup/ui/qt_text.h"
#include "ui_pfn_form.h"

TPFNForm::TPFNForm(QWidget* parent) : QDialog(parent), ui(new Ui::TPFNForm) {
  ui->setupUi(this);
  GuardCodePage(this);
  connect(ui->Button1, &QPushButton::clicked, this, &TPFNForm::Button1Click);
}

TPFNForm::~TPFNForm() = default;

void TPFNForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormActivate();
  QDialog::showEvent(event);
}

void TPFNForm::FormActivate() {
  const MainConfig& config = SetupState().config;
  ui->Edit1->setText(ShownText(config.inbound_dir));
  ui->Edit2->setText(ShownText(config.tic_outbound_dir));
  ui->Edit3->setText(ShownText(config.queue_dir));
  ui->Edit4->setText(ShownText(config.fileecho_dir));
  ui->Edit5->setText(ShownText(config.netmail_dir));
  ui->Edit6->setText(ShownText(config.bad_tic_dir));
  ui->Edit7->setText(ShownText(config.log_file));
}

void TPFNForm::Button1Click() {
  MainConfig& config = SetupState().config;
  config.inbound_dir = StoredDirectory(TypedText(ui->Edit1->text()));
  config.tic_outbound_dir = StoredDirectory(TypedText(ui->Edit2->text()));
  config.queue_dir = StoredDirectory(TypedText(ui->Edit3->text()));
  config.fileecho_dir = StoredDirectory(TypedText(ui->Edit4->text()));
  config.netmail_dir = StoredDirectory(TypedText(ui->Edit5->text()));
  config.bad_tic_dir = StoredDirectory(TypedText(ui->Edit6->text()));
  config.log_file = StoredText(TypedText(ui->Edit7->text()));
  accept();
}
