#include "setup/ui/fe_form.h"

#include <QShowEvent>
#include <QValidator>
#include <new>

#include "setup/config/connected_nodes.h"
#include "setup/config/dialog_text.h"
#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"
#include "setup/config/sort_orders.h"
#include "setup/ui/node_form.h"
#include "setup/ui/qt_text.h"
#include "setup/ui/record_buttons.h"
#include "setup/ui/setup_windows.h"
#include "ui_fe_form.h"

namespace {

EditList<FileEchoRecord>& Echoes() { return SetupState().fileecho_list; }

// Echo tags are written in capitals in FidoNet; every letter typed into the
// tag becomes one as it is entered.
class CapitalLetters : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    for (QChar& c : input) {
      if (c >= QChar('a') && c <= QChar('z')) c = QChar(c.unicode() - 'a' + 'A');
    }
    return Acceptable;
  }
};

}  // namespace

TFEForm::TFEForm(QWidget* parent) : QDialog(parent), ui(new Ui::TFEForm) {
  ui->setupUi(this);
  ui->Edit1->setValidator(new CapitalLetters(ui->Edit1));
  connect(ui->Button1, &QPushButton::clicked, this, &TFEForm::Button1Click);
  connect(ui->Button2, &QPushButton::clicked, this, &TFEForm::Button2Click);
  connect(ui->Button3, &QPushButton::clicked, this, &TFEForm::Button3Click);
  connect(ui->Button4, &QPushButton::clicked, this, &TFEForm::Button4Click);
  connect(ui->Button5, &QPushButton::clicked, this, &TFEForm::Button5Click);
  connect(ui->Button6, &QPushButton::clicked, this, &TFEForm::Button6Click);
  connect(ui->Button7, &QPushButton::clicked, this, &TFEForm::Button7Click);
  connect(ui->Button8, &QPushButton::clicked, this, &TFEForm::Button8Click);
  connect(ui->Button9, &QPushButton::clicked, this, &TFEForm::Button9Click);
  connect(ui->Button10, &QPushButton::clicked, this, &TFEForm::Button10Click);
  connect(ui->Button11, &QPushButton::clicked, this, &TFEForm::Button11Click);
}

TFEForm::~TFEForm() = default;

void TFEForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormActivate();
  QDialog::showEvent(event);
}

void TFEForm::FormActivate() {
  try {
    EnsureFirstRecord(Echoes());
  } catch (const std::bad_alloc&) {
    ShowMessageBox("Not Enough memmory to add first fileecho.", "Error", MessageButtons::kOk,
                   MessageIcon::kNone);
    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
    return;
  }
  ShowCurrentRecord();
}

// The connected nodes are not touched here: their buttons change them
// directly.
void TFEForm::StoreShownRecord() {
  if (!Echoes().current) return;
  FileEchoRecord& echo = Echoes().current->record;
  echo.tag = StoredText(TypedText(ui->Edit1->text()));
  echo.description = StoredText(TypedText(ui->Edit2->text()));
  echo.passthrough = ui->CheckBox1->isChecked() ? 1 : 0;
}

void TFEForm::ShowCurrentRecord() {
  const EditList<FileEchoRecord>& list = Echoes();
  if (!list.current) return;
  const FileEchoRecord& echo = list.current->record;
  ShowRecordCounter(list, ui->Edit3);
  ui->Edit1->setText(ShownText(echo.tag));
  ui->Edit2->setText(ShownText(echo.description));
  ui->CheckBox1->setChecked(echo.passthrough != 0);
  ui->ListBox1->clear();
  for (const EchoLinkEntry& entry : echo.links) ui->ListBox1->addItem(ShownText(entry.address));
  ShowRecordButtons(list, ui->Button2, ui->Button3, ui->Button4, ui->Button5, ui->Button6);
}

bool TFEForm::SelectedNode(QString& address) {
  const QList<QListWidgetItem*> selected = ui->ListBox1->selectedItems();
  if (selected.isEmpty()) {
    ShowMessageBox("No Node Selected", "Error", MessageButtons::kOk, MessageIcon::kNone);
    return false;
  }
  address = selected.first()->text();
  return true;
}

void TFEForm::Button1Click() {
  StoreShownRecord();
  try {
    InsertAfterCurrent(Echoes());
  } catch (const std::bad_alloc&) {
    // No record was added; the shown one stays.
  }
  ShowCurrentRecord();
}

void TFEForm::Button2Click() {
  StoreShownRecord();
  DeleteCurrent(Echoes());
  ShowCurrentRecord();
}

void TFEForm::Button3Click() {
  StoreShownRecord();
  FirstRecord(Echoes());
  ShowCurrentRecord();
}

void TFEForm::Button4Click() {
  StoreShownRecord();
  PreviousRecord(Echoes());
  ShowCurrentRecord();
}

void TFEForm::Button5Click() {
  StoreShownRecord();
  NextRecord(Echoes());
  ShowCurrentRecord();
}

void TFEForm::Button6Click() {
  StoreShownRecord();
  LastRecord(Echoes());
  ShowCurrentRecord();
}

void TFEForm::Button7Click() {
  StoreShownRecord();
  accept();
}

void TFEForm::Button8Click() {
  TNodeForm* picker = Windows().node_form;
  if (!picker || !Echoes().current) return;
  StoreShownRecord();
  picker->Edit1()->setText(QString());
  picker->CheckBox1()->setChecked(false);
  picker->CheckBox2()->setChecked(false);
  picker->exec();
  EchoLinkEntry entry;
  entry.address = TypedText(picker->Edit1()->text());
  entry.receive = picker->CheckBox1()->isChecked() ? 1 : 0;
  entry.send = picker->CheckBox2()->isChecked() ? 1 : 0;
  try {
    if (!AddConnectedNode(Echoes().current->record, entry)) {
      ShowMessageBox("Already in export list.", "Error", MessageButtons::kOk, MessageIcon::kNone);
    }
  } catch (const std::bad_alloc&) {
    // The node was not added; the list shows what the echo holds.
  }
  ShowCurrentRecord();
}

void TFEForm::Button9Click() {
  QString address;
  if (!SelectedNode(address) || !Echoes().current) return;
  StoreShownRecord();
  RemoveConnectedNode(Echoes().current->record, TypedText(address));
  ShowCurrentRecord();
}

void TFEForm::Button10Click() {
  TNodeForm* picker = Windows().node_form;
  QString address;
  if (!SelectedNode(address) || !picker || !Echoes().current) return;
  StoreShownRecord();
  EchoLinkEntry* entry = FindConnectedNode(Echoes().current->record, TypedText(address));
  if (entry) {
    picker->Edit1()->setText(ShownText(entry->address));
    picker->CheckBox1()->setChecked(entry->receive != 0);
    picker->CheckBox2()->setChecked(entry->send != 0);
    picker->exec();
    // The picker is modal: nothing else can change the chain meanwhile, so
    // the entry is still where it was.
    EditConnectedNode(*entry, TypedText(picker->Edit1()->text()),
                      picker->CheckBox1()->isChecked(), picker->CheckBox2()->isChecked());
  }
  ShowCurrentRecord();
}

void TFEForm::Button11Click() {
  StoreShownRecord();
  SortList(Echoes(), EchoSortsBefore);
  ShowCurrentRecord();
}
