#include "setup/ui/main_form.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>

#include "setup/config/allfix_import.h"
#include "setup/config/code_page.h"
#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"
#include "setup/ui/about_form.h"
#include "setup/ui/allfix_form.h"
#include "setup/ui/ano_form.h"
#include "setup/ui/dmn_form.h"
#include "setup/ui/fe_form.h"
#include "setup/ui/go_form.h"
#include "setup/ui/link_form.h"
#include "setup/ui/opt_form.h"
#include "setup/ui/pfn_form.h"
#include "setup/ui/setup_windows.h"
#include "ui_main_form.h"

TMainForm::TMainForm(platform::Env& env, QWidget* parent)
    : QMainWindow(parent), env_(env), ui(new Ui::TMainForm) {
  ui->setupUi(this);
  for (QAction* action : ui->General1->actions()) {
    if (action->isSeparator()) action->setObjectName("N1");
  }
  connect(ui->Generaloptions1, &QAction::triggered, this, &TMainForm::Generaloptions1Click);
  connect(ui->AnnounceOptions1, &QAction::triggered, this, &TMainForm::AnnounceOptions1Click);
  connect(ui->Pathandfilenames1, &QAction::triggered, this,
          &TMainForm::Pathandfilenames1Click);
  connect(ui->Domainsandoutbouns1, &QAction::triggered, this,
          &TMainForm::Domainsandoutbouns1Click);
  connect(ui->Links1, &QAction::triggered, this, &TMainForm::Links1Click);
  connect(ui->FileEchoes1, &QAction::triggered, this, &TMainForm::FileEchoes1Click);
  connect(ui->Options1, &QAction::triggered, this, &TMainForm::Options1Click);
  connect(ui->Quit1, &QAction::triggered, this, &TMainForm::Quit1Click);
  connect(ui->ImportALLFIXconfiguration1, &QAction::triggered, this,
          &TMainForm::ImportALLFIXconfiguration1Click);
  connect(ui->About1, &QAction::triggered, this, &TMainForm::About1Click);
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::Generaloptions1Click() {
  if (Windows().go_form) Windows().go_form->exec();
}

void TMainForm::AnnounceOptions1Click() {
  if (Windows().ano_form) Windows().ano_form->exec();
}

void TMainForm::Pathandfilenames1Click() {
  if (Windows().pfn_form) Windows().pfn_form->exec();
}

void TMainForm::Domainsandoutbouns1Click() {
  if (Windows().dmn_form) Windows().dmn_form->exec();
}

void TMainForm::Links1Click() {
  if (Windows().link_form) Windows().link_form->exec();
}

void TMainForm::FileEchoes1Click() {
  if (Windows().fe_form) Windows().fe_form->exec();
}

void TMainForm::Options1Click() {
  if (Windows().opt_form) Windows().opt_form->exec();
}

// Only "&Ok" imports: Escape or the title bar cancel, since a second import
// would add every area again.
void TMainForm::ImportALLFIXconfiguration1Click() {
  TALLFIXForm* form = Windows().allfix_form;
  if (!form || form->exec() != QDialog::Accepted) return;
  // A directory of this system: its name in the system's own encoding.
  ImportAllfixConfiguration(env_, form->Edit1()->text().toLocal8Bit().toStdString());
}

void TMainForm::Quit1Click() { close(); }

void TMainForm::About1Click() {
  if (Windows().about_form) Windows().about_form->exec();
}

// Changes reach the disk only here. The flag goes in every case, so that
// pelix can run again.
void TMainForm::FormDestroy() {
  if (ShowMessageBox("Save changes ?", "Warning", MessageButtons::kYesNo,
                     MessageIcon::kQuestion) == MessageAnswer::kYes) {
    // A file that cannot be written has been named in an "Error" box and
    // keeps its previous contents.
    (void)SaveConfiguration(env_);
    if (!WriteCodePageChoice(env_, SetupState().code_page))
      ShowMessageBox(std::string("Can't write ") + kCodePageFile, "Error", MessageButtons::kOk,
                     MessageIcon::kStop);
  }
  ReleaseSetupBusyFlag(env_);
}
