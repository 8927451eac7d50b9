#include "setup/ui/fe_form.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShowEvent>
#include <new>

#include "setup/config/connected_nodes.h"
#include "setup/config/dialog_text.h"
#include "setup/config/message_box.h"
#include "setup/config/node_options_edit.h"
#include "setup/config/setup_config.h"
#include "setup/config/sort_orders.h"
#include "setup/ui/code_page_guard.h"
#include "setup/ui/node_form.h"
#include "setup/ui/qt_text.h"
#include "setup/ui/record_buttons.h"
#include "setup/ui/setup_windows.h"
#include "ui_fe_form.h"

namespace {

EditList<FileEchoRecord>& Echoes() { return SetupState().fileecho_list; }

// Echo tags are written in capitals in FidoNet: every letter typed (or
// pasted) into the tag becomes one as it is entered. A tag that is only shown
// keeps its letters as stored, so viewing an imported "abc" changes nothing.
class CapitalLetters : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (event->type() != QEvent::KeyPress || !edit || edit->isReadOnly()) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    QString text;
    if (key->matches(QKeySequence::Paste)) {
      text = QGuiApplication::clipboard()->text();
    } else if (!(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
      text = key->text();
    }
    bool small = false;
    for (QChar& c : text) {
      if (c >= QChar('a') && c <= QChar('z')) {
        c = QChar(c.unicode() - 'a' + 'A');
        small = true;
      }
    }
    if (!small) return false;
    edit->insert(text);
    return true;
  }
};

}  // namespace

TFEForm::TFEForm(QWidget* parent) : QDialog(parent), ui(new Ui::TFEForm) {
  ui->setupUi(this);
  ui->Edit1->installEventFilter(new CapitalLetters(ui->Edit1));
  GuardCodePage(this);
  GuardRecordDialog(this, ui->Button7);
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
// directly. The echo's options in pelix.ini follow its tag.
void TFEForm::StoreShownRecord() {
  if (!Echoes().current) return;
  FileEchoRecord& echo = Echoes().current->record;
  std::string tag = StoredText(TypedText(ui->Edit1->text()));
  StoreEchoOptions(SetupState().node_options, echo.tag, tag, ui->CheckBox2->isChecked());
  echo.tag = std::move(tag);
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
  ui->CheckBox2->setChecked(EchoReplaces(SetupState().node_options, echo.tag));
  ui->ListBox1->clear();
  // Each line says what the node does; the address itself rides along for
  // "Del" and "&Edit".
  for (const EchoLinkEntry& entry : echo.links) {
    auto* line = new QListWidgetItem(ShownText(ConnectedNodeLine(entry)), ui->ListBox1);
    line->setData(Qt::UserRole, ShownText(entry.address));
  }
  ShowRecordButtons(list, ui->Button2, ui->Button3, ui->Button4, ui->Button5, ui->Button6,
                    ui->Edit1);
}

bool TFEForm::SelectedNode(QString& address) {
  const QList<QListWidgetItem*> selected = ui->ListBox1->selectedItems();
  if (selected.isEmpty()) {
    ShowMessageBox("No Node Selected", "Error", MessageButtons::kOk, MessageIcon::kNone);
    return false;
  }
  address = selected.first()->data(Qt::UserRole).toString();
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
  if (!ConfirmDeleteRecord()) return;
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
  // Escape or the title bar cancel: nothing is added.
  if (picker->exec() != QDialog::Accepted) return;
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
    // Escape or the title bar cancel: the entry stays as it was.
    if (picker->exec() != QDialog::Accepted) return;
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
