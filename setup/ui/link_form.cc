#include "setup/ui/link_form.h"

#include <QShowEvent>
#include <new>

#include "setup/config/dialog_text.h"
#include "setup/config/link_flavour.h"
#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"
#include "setup/config/sort_orders.h"
#include "setup/ui/code_page_guard.h"
#include "setup/ui/qt_text.h"
#include "setup/ui/record_buttons.h"
#include "ui_link_form.h"

namespace {

EditList<LinkRecord>& Links() { return SetupState().link_list; }

}  // namespace

TLinkForm::TLinkForm(QWidget* parent) : QDialog(parent), ui(new Ui::TLinkForm) {
  ui->setupUi(this);
  GuardCodePage(this);
  GuardRecordDialog(this, ui->Button7);
  // The status is read from the whole text as typed: no completion puts
  // words into the sysop's mouth.
  ui->ComboBox1->setCompleter(nullptr);
  ui->ComboBox1->lineEdit()->setMaxLength(254);
  connect(ui->Button1, &QPushButton::clicked, this, &TLinkForm::Button1Click);
  connect(ui->Button2, &QPushButton::clicked, this, &TLinkForm::Button2Click);
  connect(ui->Button3, &QPushButton::clicked, this, &TLinkForm::Button3Click);
  connect(ui->Button4, &QPushButton::clicked, this, &TLinkForm::Button4Click);
  connect(ui->Button5, &QPushButton::clicked, this, &TLinkForm::Button5Click);
  connect(ui->Button6, &QPushButton::clicked, this, &TLinkForm::Button6Click);
  connect(ui->Button7, &QPushButton::clicked, this, &TLinkForm::Button7Click);
  connect(ui->Button8, &QPushButton::clicked, this, &TLinkForm::Button8Click);
}

TLinkForm::~TLinkForm() = default;

void TLinkForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormActivate();
  QDialog::showEvent(event);
}

void TLinkForm::FormActivate() {
  try {
    EnsureFirstRecord(Links());
  } catch (const std::bad_alloc&) {
    ShowMessageBox("Not Enough memmory to add first link.", "Error", MessageButtons::kOk,
                   MessageIcon::kNone);
    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    return;
  }
  ShowCurrentRecord();
}

void TLinkForm::StoreShownRecord() {
  if (!Links().current) return;
  LinkRecord& link = Links().current->record;
  link.sysop_name = StoredText(TypedText(ui->Edit1->text()));
  link.address = StoredText(TypedText(ui->Edit2->text()));
  link.areamgr_password = StoredPassword(TypedText(ui->Edit3->text()));
  link.tic_password = StoredPassword(TypedText(ui->Edit4->text()));
  link.from_address = StoredText(TypedText(ui->Edit5->text()));
  link.flavour = FlavourLetter(TypedText(ui->ComboBox1->currentText()));
  link.passive = ui->CheckBox1->isChecked() ? 1 : 0;
  link.allow_autocreate = ui->CheckBox2->isChecked() ? 1 : 0;
}

void TLinkForm::ShowCurrentRecord() {
  const EditList<LinkRecord>& list = Links();
  if (!list.current) return;
  const LinkRecord& link = list.current->record;
  ShowRecordCounter(list, ui->Edit6);
  ui->Edit1->setText(ShownText(link.sysop_name));
  ui->Edit2->setText(ShownText(link.address));
  ui->Edit3->setText(ShownText(link.areamgr_password));
  ui->Edit4->setText(ShownText(link.tic_password));
  ui->Edit5->setText(ShownText(link.from_address));
  ui->ComboBox1->setCurrentText(FlavourText(link.flavour));
  ui->CheckBox1->setChecked(link.passive != 0);
  ui->CheckBox2->setChecked(link.allow_autocreate != 0);
  ShowRecordButtons(list, ui->Button2, ui->Button3, ui->Button4, ui->Button5, ui->Button6,
                    ui->Edit1);
}

void TLinkForm::Button1Click() {
  StoreShownRecord();
  try {
    InsertAfterCurrent(Links());
  } catch (const std::bad_alloc&) {
    // No record was added; the shown one stays.
  }
  ShowCurrentRecord();
}

void TLinkForm::Button2Click() {
  if (!ConfirmDeleteRecord()) return;
  StoreShownRecord();
  DeleteCurrent(Links());
  ShowCurrentRecord();
}

void TLinkForm::Button3Click() {
  StoreShownRecord();
  FirstRecord(Links());
  ShowCurrentRecord();
}

void TLinkForm::Button4Click() {
  StoreShownRecord();
  PreviousRecord(Links());
  ShowCurrentRecord();
}

void TLinkForm::Button5Click() {
  StoreShownRecord();
  NextRecord(Links());
  ShowCurrentRecord();
}

void TLinkForm::Button6Click() {
  StoreShownRecord();
  LastRecord(Links());
  ShowCurrentRecord();
}

void TLinkForm::Button7Click() {
  StoreShownRecord();
  accept();
}

void TLinkForm::Button8Click() {
  StoreShownRecord();
  SortList(Links(), LinkSortsBefore);
  ShowCurrentRecord();
}
