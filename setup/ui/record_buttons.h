// The record buttons shared by the Domain, Link and File Echo dialogs.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include "setup/config/edit_list.h"
#include "setup/ui/qt_text.h"

// Enables every record button, then disables those that have nothing to do
// on the shown record.
template <typename Record>
void ShowRecordButtons(const EditList<Record>& list, QWidget* delete_button,
                       QWidget* first_button, QWidget* previous_button,
                       QWidget* next_button, QWidget* last_button) {
  NavigationButtons buttons = NavigationButtonsFor(list);
  delete_button->setEnabled(buttons.delete_enabled);
  first_button->setEnabled(buttons.first_enabled);
  previous_button->setEnabled(buttons.previous_enabled);
  next_button->setEnabled(buttons.next_enabled);
  last_button->setEnabled(buttons.last_enabled);
}

template <typename Record>
void ShowRecordCounter(const EditList<Record>& list, QLineEdit* counter) {
  counter->setText(ShownText(RecordCounterText(list.index, list.count)));
}
