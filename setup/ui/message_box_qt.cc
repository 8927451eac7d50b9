#include "setup/ui/message_box_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <memory>

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kQuestion: return QMessageBox::Question;
    case MessageIcon::kExclamation: return QMessageBox::Warning;
    case MessageIcon::kStop: return QMessageBox::Critical;
    case MessageIcon::kInformation: return QMessageBox::Information;
    case MessageIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

MessageAnswer ShowQtMessageBox(const MessageBoxRequest& request) {
  std::unique_ptr<QApplication> early;
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "setup";
    static char* argv[] = {name, nullptr};
    early = std::make_unique<QApplication>(argc, argv);
  }
  bool question = request.buttons == MessageButtons::kYesNo;
  QMessageBox box(BoxIcon(request.icon), QString::fromUtf8(request.caption.c_str()),
                  QString::fromUtf8(request.text.c_str()),
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
  box.setDefaultButton(question ? QMessageBox::Yes : QMessageBox::Ok);
  int pressed = box.exec();
  if (!question) return MessageAnswer::kOk;
  return pressed == QMessageBox::Yes ? MessageAnswer::kYes : MessageAnswer::kNo;
}
