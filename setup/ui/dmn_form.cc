#include "setup/ui/dmn_form.h"

#include <QShowEvent>
#include <new>

#include "setup/config/dialog_text.h"
#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"
#include "setup/ui/code_page_guard.h"
#include "setup/ui/qt_text.h"
#include "setup/ui/record_buttons.h"
#include "ui_dmn_form.h"

namespace {

EditList<DomainRecord>& Domains() { return SetupState().domain_list; }

}  // namespace

TDMNForm::TDMNForm(QWidget* parent) : QDialog(parent), ui(new Ui::TDMNForm) {
  ui->setupUi(this);
  GuardCodePage(this);
  GuardRecordDialog(this, ui->Button6);
  connect(ui->Button1, &QPushButton::clicked, this, &TDMNForm::Button1Click);
  connect(ui->Button2, &QPushButton::clicked, this, &TDMNForm::Button2Click);
  connect(ui->Button3, &QPushButton::clicked, this, &TDMNForm::Button3Click);
  connect(ui->Button4, &QPushButton::clicked, this, &TDMNForm::Button4Click);
  connect(ui->Button5, &QPushButton::clicked, this, &TDMNForm::Button5Click);
  connect(ui->Button6, &QPushButton::clicked, this, &TDMNForm::Button6Click);
  connect(ui->Button7, &QPushButton::clicked, this, &TDMNForm::Button7Click);
  connect(ui->CheckBox2, &QCheckBox::toggled, this, &TDMNForm::CheckBox2Click);
}

TDMNForm::~TDMNForm() = default;

void TDMNForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormActivate();
  QDialog::showEvent(event);
}

void TDMNForm::FormActivate() {
  try {
    EnsureFirstRecord(Domains());
  } catch (const std::bad_alloc&) {
    ShowMessageBox("Not Enough memmory to add domain record.", "Error", MessageButtons::kOk,
                   MessageIcon::kNone);
    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    return;
  }
  ShowCurrentRecord();
}

void TDMNForm::StoreShownRecord() {
  if (!Domains().current) return;
  DomainRecord& domain = Domains().current->record;
  domain.name = StoredText(TypedText(ui->Edit1->text()));
  domain.outbound_dir = StoredText(TypedText(ui->Edit2->text()));
  domain.zone_list = StoredText(TypedText(ui->Edit4->text()));
  domain.is_default = ui->CheckBox1->isChecked() ? 1 : 0;
  domain.has_main_zone = ui->CheckBox2->isChecked() ? 1 : 0;
  // Kept even while the box is off, so that the zone typed earlier survives
  // switching it off and on again.
  domain.main_zone = MainZoneValue(TypedText(ui->Edit3->text()));
}

void TDMNForm::ShowCurrentRecord() {
  const EditList<DomainRecord>& list = Domains();
  if (!list.current) return;
  const DomainRecord& domain = list.current->record;
  ShowRecordCounter(list, ui->Edit5);
  ui->Edit1->setText(ShownText(domain.name));
  ui->Edit2->setText(ShownText(domain.outbound_dir));
  ui->Edit4->setText(ShownText(domain.zone_list));
  ui->CheckBox1->setChecked(domain.is_default != 0);
  ui->CheckBox2->setChecked(domain.has_main_zone != 0);
  ui->Edit3->setText(ShownText(MainZoneText(domain.main_zone)));
  ui->Edit3->setEnabled(ui->CheckBox2->isChecked());
  ShowRecordButtons(list, ui->Button2, ui->Button5, ui->Button3, ui->Button4, ui->Button7,
                    ui->Edit1);
}

void TDMNForm::Button1Click() {
  StoreShownRecord();
  try {
    InsertAfterCurrent(Domains());
  } catch (const std::bad_alloc&) {
    // No record was added; the shown one stays.
  }
  ShowCurrentRecord();
}

void TDMNForm::Button2Click() {
  if (!ConfirmDeleteRecord()) return;
  StoreShownRecord();
  DeleteCurrent(Domains());
  ShowCurrentRecord();
}

void TDMNForm::Button3Click() {
  StoreShownRecord();
  PreviousRecord(Domains());
  ShowCurrentRecord();
}

void TDMNForm::Button4Click() {
  StoreShownRecord();
  NextRecord(Domains());
  ShowCurrentRecord();
}

void TDMNForm::Button5Click() {
  StoreShownRecord();
  FirstRecord(Domains());
  ShowCurrentRecord();
}

void TDMNForm::Button6Click() {
  StoreShownRecord();
  accept();
}

void TDMNForm::Button7Click() {
  StoreShownRecord();
  LastRecord(Domains());
  ShowCurrentRecord();
}

void TDMNForm::CheckBox2Click() { ui->Edit3->setEnabled(ui->CheckBox2->isChecked()); }
