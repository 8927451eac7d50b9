#include "setup/ui/about_form.h"

#include <QPushButton>
#include <QStyle>

#include "ui_about_form.h"

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent), ui(new Ui::TAboutForm) {
  ui->setupUi(this);
  ui->ProgramIcon->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));
  connect(ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutForm::~TAboutForm() = default;
