// The record buttons shared by the Domain, Link and File Echo dialogs.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include "setup/config/edit_list.h"
#include "setup/ui/qt_text.h"

class QDialog;
class QPushButton;

// Enter presses "&Ok" and nothing else: a button that merely has the focus
// (after "&Del", or after a greyed button handed its focus on) must not
// insert, delete or sort on the next Enter. The dialog keeps its designed
// size, so no maximised window scatters the controls.
void GuardRecordDialog(QDialog* dialog, QPushButton* ok_button);

// Greys or enables one record button. A button that is greyed while it has
// the focus gives it to `focus_instead` (the first field of the record),
// never to its neighbour, which could be "&Ins" or "&Sort".
void EnableRecordButton(QWidget* button, bool enabled, QWidget* focus_instead);

// "&Del" asks first; true when the sysop agreed.
bool ConfirmDeleteRecord();

// Enables every record button, then disables those that have nothing to do
// on the shown record.
template <typename Record>
void ShowRecordButtons(const EditList<Record>& list, QWidget* delete_button,
                       QWidget* first_button, QWidget* previous_button,
                       QWidget* next_button, QWidget* last_button, QWidget* first_field) {
  NavigationButtons buttons = NavigationButtonsFor(list);
  EnableRecordButton(delete_button, buttons.delete_enabled, first_field);
  EnableRecordButton(first_button, buttons.first_enabled, first_field);
  EnableRecordButton(previous_button, buttons.previous_enabled, first_field);
  EnableRecordButton(next_button, buttons.next_enabled, first_field);
  EnableRecordButton(last_button, buttons.last_enabled, first_field);
}

template <typename Record>
void ShowRecordCounter(const EditList<Record>& list, QLineEdit* counter) {
  counter->setText(ShownText(RecordCounterText(list.index, list.count)));
}
