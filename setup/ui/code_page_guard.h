// Every edit of a dialog takes only characters that the configuration's code
// page can store; any other is refused where it is typed (or pasted), with a
// message naming it, instead of turning into something else in the file.
#pragma once

class QWidget;

// Guards every editable line of `form` that has no validator of its own.
void GuardCodePage(QWidget* form);
