#include "setup/ui/record_buttons.h"

#include <QDialog>
#include <QPushButton>

#include "setup/config/message_box.h"

void GuardRecordDialog(QDialog* dialog, QPushButton* ok_button) {
  for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
  ok_button->setDefault(true);
  dialog->setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  dialog->setFixedSize(dialog->size().expandedTo(dialog->minimumSizeHint()));
}

void EnableRecordButton(QWidget* button, bool enabled, QWidget* focus_instead) {
  // Asked of the window rather than of the button, so that it holds while
  // another window is active too: the toolkit would move the focus on.
  if (!enabled && button->window()->focusWidget() == button) {
    focus_instead->setFocus(Qt::OtherFocusReason);
  }
  button->setEnabled(enabled);
}

bool ConfirmDeleteRecord() {
  return ShowMessageBox("Delete this record ?", "Warning", MessageButtons::kYesNo,
                        MessageIcon::kQuestion) == MessageAnswer::kYes;
}
