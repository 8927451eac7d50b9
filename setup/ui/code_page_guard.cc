#include "setup/ui/code_page_guard.h"

#include <QLineEdit>
#include <QValidator>
#include <utility>

#include "setup/config/code_page.h"
#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"

namespace {

class CodePageValidator : public QValidator {
 public:
  using QValidator::QValidator;

  State validate(QString& input, int&) const override {
    refused_.clear();
    for (qsizetype i = 0; i < input.size(); ++i) {
      char byte;
      if (EncodeCharacter(input[i].unicode(), SetupState().code_page, byte)) continue;
      // A character beyond 16 bits arrives as two halves; name it whole.
      refused_ = input.mid(i, input[i].isHighSurrogate() ? 2 : 1);
      return Invalid;
    }
    return Acceptable;
  }

  // The character of the last refusal, once.
  QString TakeRefused() const { return std::exchange(refused_, QString()); }

 private:
  mutable QString refused_;
};

void SayRefused(const QString& character) {
  QString code = QString::number(character.toUcs4().value(0), 16).toUpper();
  QString text = QString("The character \"%1\" (U+%2) cannot be stored in the code page %3 "
                         "of the configuration.")
                     .arg(character, code.rightJustified(4, QChar('0')),
                          QString::fromLatin1(CodePageName(SetupState().code_page)));
  // Message texts are UTF-8, as the toolkit's box shows them.
  ShowMessageBox(text.toStdString(), "Error", MessageButtons::kOk, MessageIcon::kExclamation);
}

}  // namespace

void GuardCodePage(QWidget* form) {
  for (QLineEdit* edit : form->findChildren<QLineEdit*>()) {
    if (edit->isReadOnly() || edit->validator()) continue;
    auto* validator = new CodePageValidator(edit);
    edit->setValidator(validator);
    QObject::connect(edit, &QLineEdit::inputRejected, edit, [validator] {
      QString refused = validator->TakeRefused();
      if (!refused.isEmpty()) SayRefused(refused);
    });
  }
}
