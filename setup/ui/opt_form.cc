#include "setup/ui/opt_form.h"

#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <initializer_list>

#include "setup/config/message_box.h"
#include "setup/config/node_options_edit.h"
#include "setup/config/setup_config.h"
#include "setup/ui/code_page_guard.h"
#include "setup/ui/qt_text.h"
#include "setup/ui/record_buttons.h"
#include "ui_opt_form.h"

namespace {

IniDocument& Options() { return SetupState().node_options; }

FidoAddress AddressOf(const QListWidgetItem* item) {
  return ParseAddress(TypedText(item->text()));
}

}  // namespace

TOptForm::TOptForm(QWidget* parent) : QDialog(parent), ui(new Ui::TOptForm) {
  ui->setupUi(this);
  // Days and counts are whole numbers of 0 or more: nothing else is typed
  // into the file.
  auto* counts = new QRegularExpressionValidator(QRegularExpression("[0-9]{0,9}"), this);
  for (QLineEdit* edit : {ui->Edit1, ui->Edit2, ui->Edit3}) edit->setValidator(counts);
  GuardCodePage(this);
  GuardRecordDialog(this, ui->Button1);
  connect(ui->Button1, &QPushButton::clicked, this, &TOptForm::Button1Click);
  connect(ui->Button2, &QPushButton::clicked, this, &TOptForm::Button2Click);
  connect(ui->Button3, &QPushButton::clicked, this, &TOptForm::Button3Click);
  connect(ui->ListBox1, &QListWidget::currentItemChanged, this, &TOptForm::ListBox1Click);
}

TOptForm::~TOptForm() = default;

void TOptForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormActivate();
  QDialog::showEvent(event);
}

void TOptForm::FormActivate() {
  const NodeOptionTexts shown = ShownNodeOptions(Options());
  ui->Edit1->setText(QString::fromStdString(shown.dupe_days));
  ui->Edit2->setText(QString::fromStdString(shown.late_file_days));
  ui->Edit3->setText(QString::fromStdString(shown.rescan_limit));
  ui->Edit7->clear();
  ShowUplinks(FidoAddress{});
}

void TOptForm::ShowUplinks(const FidoAddress& select) {
  const NodeOptions options = OptionsOf(Options());
  {
    // Refilling is no change of selection: nothing is stored on the way.
    const QSignalBlocker quiet(ui->ListBox1);
    ui->ListBox1->clear();
    for (const UplinkOptions& uplink : options.uplinks) {
      auto* line = new QListWidgetItem(ShownText(SectionArgument(uplink.section)), ui->ListBox1);
      if (uplink.address == select) ui->ListBox1->setCurrentItem(line);
    }
    if (!ui->ListBox1->currentItem() && ui->ListBox1->count() > 0)
      ui->ListBox1->setCurrentRow(0);
  }
  ShowUplink(ui->ListBox1->currentItem());
}

void TOptForm::ShowUplink(const QListWidgetItem* item) {
  const NodeOptions options = OptionsOf(Options());
  const UplinkOptions* uplink = item ? options.ForUplink(AddressOf(item)) : nullptr;
  const UplinkOptions none;
  const UplinkOptions& shown = uplink ? *uplink : none;
  ui->Edit4->setText(ShownText(shown.robot));
  ui->Edit5->setText(ShownText(shown.password));
  ui->Edit6->setText(ShownText(shown.echo_list));
  ui->CheckBox1->setChecked(shown.forward_requests);
  for (QWidget* field : std::initializer_list<QWidget*>{ui->Edit4, ui->Edit5, ui->Edit6,
                                                        ui->CheckBox1, ui->Button3})
    field->setEnabled(uplink != nullptr);
}

void TOptForm::StoreUplink(const QListWidgetItem* item) {
  if (!item) return;
  UplinkOptions typed;
  typed.robot = TypedText(ui->Edit4->text());
  typed.password = TypedText(ui->Edit5->text());
  typed.echo_list = TypedText(ui->Edit6->text());
  typed.forward_requests = ui->CheckBox1->isChecked();
  ::StoreUplink(Options(), AddressOf(item), typed);
}

void TOptForm::ListBox1Click(QListWidgetItem* current, QListWidgetItem* previous) {
  StoreUplink(previous);
  ShowUplink(current);
}

void TOptForm::Button1Click() {
  StoreNodeOptions(Options(), {ui->Edit1->text().toStdString(), ui->Edit2->text().toStdString(),
                               ui->Edit3->text().toStdString()});
  StoreUplink(ui->ListBox1->currentItem());
  accept();
}

void TOptForm::Button2Click() {
  const std::string address = TypedText(ui->Edit7->text().trimmed());
  if (!IsAddressText(address)) {
    ShowMessageBox("Not a FidoNet address: " + address, "Error", MessageButtons::kOk,
                   MessageIcon::kNone);
    return;
  }
  StoreUplink(ui->ListBox1->currentItem());
  if (!AddUplink(Options(), address)) {
    ShowMessageBox("Already an uplink.", "Error", MessageButtons::kOk, MessageIcon::kNone);
    return;
  }
  ui->Edit7->clear();
  ShowUplinks(ParseAddress(address));
}

void TOptForm::Button3Click() {
  const QListWidgetItem* item = ui->ListBox1->currentItem();
  if (!item) return;  // greyed without uplinks
  RemoveUplink(Options(), AddressOf(item));
  ShowUplinks(FidoAddress{});
}
