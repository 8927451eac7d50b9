// The Domain, Link and File Echo dialogs driven as a sysop would: the record
// counter and the buttons that can be used, inserting, deleting, moving
// and sorting, what each field stores, and the Connected Node picker.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "platform/platform.h"
#include "setup/config/setup_config.h"
#include "setup/ui/dmn_form.h"
#include "setup/ui/fe_form.h"
#include "setup/ui/link_form.h"
#include "setup/ui/node_form.h"
#include "setup/ui/setup_windows.h"
#include "tests/setup/support/setup_node.h"

namespace {

QLineEdit* Edit(QWidget* form, const char* name) { return form->findChild<QLineEdit*>(name); }
QCheckBox* Check(QWidget* form, const char* name) { return form->findChild<QCheckBox*>(name); }
QPushButton* Button(QWidget* form, const char* name) {
  return form->findChild<QPushButton*>(name);
}
void Click(QWidget* form, const char* name) {
  QTest::mouseClick(Button(form, name), Qt::LeftButton);
}
// A click on the box itself, where a sysop would click.
void Tick(QWidget* form, const char* name) {
  QCheckBox* box = Check(form, name);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

// The record buttons in one fixed order: Delete, First, Previous, Next,
// Last. "+" enabled, "-" disabled.
struct RecordButtonNames {
  const char* delete_button;
  const char* first;
  const char* previous;
  const char* next;
  const char* last;
};
const RecordButtonNames kDomainButtons{"Button2", "Button5", "Button3", "Button4", "Button7"};
const RecordButtonNames kLinkButtons{"Button2", "Button3", "Button4", "Button5", "Button6"};
const RecordButtonNames kEchoButtons{"Button2", "Button3", "Button4", "Button5", "Button6"};

QString Enabled(QWidget* form, const RecordButtonNames& names) {
  QString state;
  for (const char* name : {names.delete_button, names.first, names.previous, names.next,
                           names.last}) {
    state += Button(form, name)->isEnabled() ? '+' : '-';
  }
  return state;
}

// "counter buttons": "2/3 +++++".
QString Position(QWidget* form, const char* counter, const RecordButtonNames& names) {
  return Edit(form, counter)->text() + " " + Enabled(form, names);
}

QStringList Captions(QWidget* form, const QStringList& names) {
  QStringList out;
  for (const QString& name : names) {
    QPushButton* b = form->findChild<QPushButton*>(name);
    out << (b ? name + " " + b->text() + " [" + b->toolTip() + "]" : name + " missing");
  }
  return out;
}

std::vector<DomainRecord> Domains() { return ListRecords(SetupState().domain_list); }
std::vector<LinkRecord> Links() { return ListRecords(SetupState().link_list); }
std::vector<FileEchoRecord> Echoes() { return ListRecords(SetupState().fileecho_list); }

void LoadDomains(std::initializer_list<const char*> names) {
  std::vector<DomainRecord> domains;
  for (const char* name : names) domains.push_back(DomainRecord{name, "out", 0, 0, 0, ""});
  LoadList(SetupState().domain_list, std::move(domains));
}

void LoadLinks(std::initializer_list<const char*> addresses) {
  std::vector<LinkRecord> links;
  for (const char* address : addresses) {
    LinkRecord link;
    link.address = address;
    links.push_back(link);
  }
  LoadList(SetupState().link_list, std::move(links));
}

void LoadEchoes(std::initializer_list<const char*> tags) {
  std::vector<FileEchoRecord> echoes;
  for (const char* tag : tags) {
    FileEchoRecord echo;
    echo.tag = tag;
    echo.links.push_back({std::string("2:5020/1.") + std::to_string(echoes.size() + 1), 1, 1});
    echoes.push_back(echo);
  }
  LoadList(SetupState().fileecho_list, std::move(echoes));
}

QStringList ListLines(QWidget* form) {
  QStringList lines;
  QListWidget* list = form->findChild<QListWidget*>("ListBox1");
  for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

void SelectLine(QWidget* form, int row) {
  QListWidget* list = form->findChild<QListWidget*>("ListBox1");
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(row)).center());
}

// The one Connected Node picker of the program, for the File Echo dialog.
struct Picker {
  TNodeForm form;
  Picker() { Windows().node_form = &form; }
  ~Picker() { Windows().node_form = nullptr; }
};

enum class Close { kOk, kTitleBar, kEscape };

// Answers the picker the next time it is shown: `seen` gets what it showed
// ("address receive send"), then the address is typed over and the boxes
// set, and "&Ok", the title bar or Escape closes it.
void AnswerPicker(const QString& address, bool receive, bool send, QString* seen = nullptr,
                  Close how = Close::kOk) {
  QTimer::singleShot(0, [=] {
    auto* picker = qobject_cast<TNodeForm*>(QApplication::activeModalWidget());
    if (!picker) return;
    if (seen) {
      *seen = picker->Edit1()->text() + " " + (picker->CheckBox1()->isChecked() ? "1" : "0") +
              " " + (picker->CheckBox2()->isChecked() ? "1" : "0");
    }
    picker->Edit1()->clear();
    QTest::keyClicks(picker->Edit1(), address);
    picker->CheckBox1()->setChecked(receive);
    picker->CheckBox2()->setChecked(send);
    switch (how) {
      case Close::kOk:
        QTest::mouseClick(picker->findChild<QPushButton*>("Button1"), Qt::LeftButton);
        break;
      case Close::kTitleBar: picker->close(); break;
      case Close::kEscape: QTest::keyClick(picker->Edit1(), Qt::Key_Escape); break;
    }
  });
}

}  // namespace

class RecordDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ResetSetupState(platform::DefaultEnv()); }
  void cleanup() { ResetSetupState(platform::DefaultEnv()); }

  void DialogsCarryTheirCaptionsAndHints() {
    TDMNForm domain;
    QCOMPARE(domain.windowTitle(), QString("Domain"));
    QCOMPARE(Captions(&domain, {"Button1", "Button2", "Button5", "Button3", "Button4",
                                "Button7", "Button6"}),
             (QStringList{"Button1 &Ins [Insert new record]",
                          "Button2 &Del [Delete current record]", "Button5 |<- [First record]",
                          "Button3 &<- [Previos record]", "Button4 -&> [Next record]",
                          "Button7 ->| [Last record]", "Button6 &Ok []"}));
    QVERIFY(Button(&domain, "Button6")->isDefault());
    QVERIFY(Edit(&domain, "Edit5")->isReadOnly());
    QCOMPARE(Edit(&domain, "Edit5")->focusPolicy(), Qt::NoFocus);

    TLinkForm link;
    QCOMPARE(link.windowTitle(), QString("Link"));
    QCOMPARE(Captions(&link, {"Button3", "Button4", "Button5", "Button6", "Button1", "Button2",
                              "Button8", "Button7"}),
             (QStringList{"Button3 |<- [First record]", "Button4 &<- [Previos record]",
                          "Button5 -&> [Next record]", "Button6 ->| [Last record]",
                          "Button1 &Ins [Insert new record after current]",
                          "Button2 &Del [Delete current record]", "Button8 &Sort [Sort records]",
                          "Button7 &Ok []"}));
    QVERIFY(Button(&link, "Button7")->isDefault());
    QComboBox* flavours = link.findChild<QComboBox*>("ComboBox1");
    QVERIFY(flavours->isEditable());
    QStringList items;
    for (int i = 0; i < flavours->count(); ++i) items << flavours->itemText(i);
    QCOMPARE(items, (QStringList{"Crash", "Direct", "Normal", "Hold", "Immediate"}));
    QCOMPARE(flavours->currentText(), QString("Normal"));
    QCOMPARE(Edit(&link, "Edit3")->maxLength(), 19);
    QCOMPARE(Edit(&link, "Edit4")->maxLength(), 19);

    TFEForm echo;
    QCOMPARE(echo.windowTitle(), QString("File Echo"));
    QCOMPARE(echo.findChild<QGroupBox*>("GroupBox1")->title(), QString(" Nodes Connected "));
    QCOMPARE(Captions(&echo, {"Button8", "Button9", "Button10", "Button1", "Button2", "Button3",
                              "Button4", "Button5", "Button6", "Button11", "Button7"}),
             (QStringList{"Button8 &Add [Add new node connected to this fileecho]",
                          "Button9 Del [Remove selected node from connected list]",
                          "Button10 &Edit [Edit connected node properties]",
                          "Button1 &Ins [Insert new record after current]",
                          "Button2 &Del [Delete current record]", "Button3 |<- [First record]",
                          "Button4 &<- [Previos record]", "Button5 -&> [Next record]",
                          "Button6 ->| [Last record]", "Button11 &Sort [Sort records]",
                          "Button7 &Ok []"}));
    QCOMPARE(echo.findChild<QListWidget*>("ListBox1")->selectionMode(),
             QAbstractItemView::SingleSelection);

    // Enter presses "&Ok" only, and the dialogs keep their size.
    for (QDialog* form : std::initializer_list<QDialog*>{&domain, &link, &echo}) {
      for (QPushButton* b : form->findChildren<QPushButton*>()) {
        QVERIFY2(!b->autoDefault(), qPrintable(b->objectName()));
      }
      QCOMPARE(form->minimumSize(), form->maximumSize());
      QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    TNodeForm picker;
    QCOMPARE(picker.windowTitle(), QString("Connected Node"));
    QCOMPARE(picker.CheckBox1()->text(), QString("Recieve files from this node"));
    QCOMPARE(picker.CheckBox2()->text(), QString("Send files to this node"));
  }

  // Keyboard only: "->|" greys itself on the last record and "&Del" keeps
  // the focus; the next Enter must close the dialog by "&Ok", never insert
  // a blank link, sort the echoes or delete a second record.
  void EnterPressesOkWhereverAButtonLeftTheFocus() {
    ScriptedMessages messages({MessageAnswer::kNo, MessageAnswer::kYes});
    LoadLinks({"1:1/1", "1:1/2", "1:1/3"});
    LoadEchoes({"B", "A"});
    TLinkForm link;
    TFEForm echo;
    for (QDialog* form : std::initializer_list<QDialog*>{&link, &echo}) {
      form->show();
      QVERIFY(QTest::qWaitForWindowActive(form));
      Button(form, "Button6")->setFocus();
      QTest::keyClick(Button(form, "Button6"), Qt::Key_Space);
      QCOMPARE(QApplication::focusWidget(), Edit(form, "Edit1"));
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      QCOMPARE(form->result(), int(QDialog::Accepted));
      QVERIFY(!form->isVisible());
    }
    QCOMPARE(Links().size(), size_t{3});
    QCOMPARE(Echoes()[0].tag, std::string("B"));
    // Enter in the typed "File Attach Status" closes too, adding no item.
    link.show();
    QVERIFY(QTest::qWaitForWindowActive(&link));
    QComboBox* status = link.findChild<QComboBox*>("ComboBox1");
    status->setFocus();
    status->lineEdit()->clear();
    QTest::keyClicks(status, "hold");
    QTest::keyClick(status, Qt::Key_Return);
    QVERIFY(!link.isVisible());
    QCOMPARE(status->count(), 5);
    QCOMPARE(Links()[0].flavour, 'h');

    // "&Del" asks; No keeps the record, Yes deletes it, and Enter then
    // presses "&Ok".
    link.show();
    QVERIFY(QTest::qWaitForWindowActive(&link));
    Button(&link, "Button2")->setFocus();
    QTest::keyClick(Button(&link, "Button2"), Qt::Key_Space);
    QCOMPARE(Links().size(), size_t{3});
    QTest::keyClick(Button(&link, "Button2"), Qt::Key_Space);
    QCOMPARE(messages.Texts(), (std::vector<std::string>{"Warning: Delete this record ?",
                                                         "Warning: Delete this record ?"}));
    QCOMPARE(messages.asked()[0].buttons, MessageButtons::kYesNo);
    QCOMPARE(Links().size(), size_t{2});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(link.result(), int(QDialog::Accepted));
    QCOMPARE(Links().size(), size_t{2});
  }

  void DomainDialogOnAnEmptyListShowsOneBlankRecord() {
    TDMNForm form;
    form.show();
    QCOMPARE(Position(&form, "Edit5", kDomainButtons), QString("1/1 -----"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString());
    QCOMPARE(Edit(&form, "Edit3")->text(), QString("0"));
    QVERIFY(!Edit(&form, "Edit3")->isEnabled());
    Tick(&form, "CheckBox2");
    QVERIFY(Edit(&form, "Edit3")->isEnabled());
    Tick(&form, "CheckBox2");
    QVERIFY(!Edit(&form, "Edit3")->isEnabled());
    form.close();
    QCOMPARE(Domains().size(), size_t{1});
  }

  void DomainMainZoneKeepsItsLowSixteenBits_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("70000") << "70000" << 4464 << "4464";
    QTest::newRow("-1") << "-1" << 65535 << "65535";
    QTest::newRow("no digits") << "zone" << 0 << "0";
    QTest::newRow("2") << " 2" << 2 << "2";
  }
  void DomainMainZoneKeepsItsLowSixteenBits() {
    QFETCH(QString, typed);
    LoadDomains({"fidonet", "othernet"});
    TDMNForm form;
    form.show();
    Tick(&form, "CheckBox2");
    Edit(&form, "Edit3")->clear();
    QTest::keyClicks(Edit(&form, "Edit3"), typed);
    Click(&form, "Button4");
    Click(&form, "Button3");
    QTEST(Edit(&form, "Edit3")->text(), "shown");
    QVERIFY(Edit(&form, "Edit3")->isEnabled());
    QTEST(int(Domains()[0].main_zone), "stored");
    QCOMPARE(int(Domains()[0].has_main_zone), 1);
  }

  void DomainZoneIsStoredEvenWhileItsBoxIsOff() {
    LoadDomains({"fidonet"});
    TDMNForm form;
    form.show();
    Tick(&form, "CheckBox2");
    QTest::keyClicks(Edit(&form, "Edit3"), "2");
    Tick(&form, "CheckBox2");
    Click(&form, "Button6");
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(Domains()[0].main_zone, uint16_t{2});
    QCOMPARE(Domains()[0].has_main_zone, uint8_t{0});
  }

  void DomainFieldsAreStoredAsTypedAndTwoDefaultsStaySo() {
    LoadDomains({"fidonet", "othernet"});
    TDMNForm form;
    form.show();
    Edit(&form, "Edit2")->setText("C:\\FIDO\\OUT");
    Edit(&form, "Edit4")->setText("1,2,3,4");
    Tick(&form, "CheckBox1");
    Click(&form, "Button4");
    Edit(&form, "Edit2")->setText("/var/fido/other/");
    Tick(&form, "CheckBox1");
    Click(&form, "Button6");
    const std::vector<DomainRecord> domains = Domains();
    QCOMPARE(domains[0], (DomainRecord{"fidonet", "C:\\FIDO\\OUT", 1, 0, 0, "1,2,3,4"}));
    QCOMPARE(domains[1], (DomainRecord{"othernet", "/var/fido/other/", 1, 0, 0, ""}));
  }

  void DomainInsertDeleteAndMovingKeepCounterAndButtonsRight() {
    ScriptedMessages yes({MessageAnswer::kYes, MessageAnswer::kYes, MessageAnswer::kYes});
    LoadDomains({"one", "two", "three"});
    TDMNForm form;
    form.show();
    QCOMPARE(Position(&form, "Edit5", kDomainButtons), QString("1/3 +--++"));
    Click(&form, "Button4");
    QCOMPARE(Position(&form, "Edit5", kDomainButtons), QString("2/3 +++++"));
    Click(&form, "Button1");
    QCOMPARE(Position(&form, "Edit5", kDomainButtons), QString("3/4 +++++"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString());
    QCOMPARE(Edit(&form, "Edit3")->text(), QString("0"));
    QVERIFY(!Check(&form, "CheckBox1")->isChecked());
    Edit(&form, "Edit1")->setText("inserted");
    Click(&form, "Button7");
    QCOMPARE(Position(&form, "Edit5", kDomainButtons), QString("4/4 +++--"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("three"));
    Click(&form, "Button2");
    QCOMPARE(Position(&form, "Edit5", kDomainButtons), QString("3/3 +++--"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("inserted"));
    Click(&form, "Button5");
    QCOMPARE(Position(&form, "Edit5", kDomainButtons), QString("1/3 +--++"));
    Click(&form, "Button2");
    QCOMPARE(Position(&form, "Edit5", kDomainButtons), QString("1/2 +--++"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("two"));
    Click(&form, "Button2");
    QCOMPARE(Position(&form, "Edit5", kDomainButtons), QString("1/1 -----"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("inserted"));
    form.close();
    QCOMPARE(Domains().size(), size_t{1});
  }

  void DomainTitleBarCloseDropsOnlyTheShownEdits() {
    LoadDomains({"one", "two"});
    TDMNForm form;
    form.show();
    Edit(&form, "Edit1")->setText("ONE");
    Click(&form, "Button4");
    Edit(&form, "Edit1")->setText("TWO");
    form.close();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(Domains()[0].name, std::string("ONE"));
    QCOMPARE(Domains()[1].name, std::string("two"));
    // Opened again, the dialog starts on record 1 of the same list.
    form.show();
    QCOMPARE(Position(&form, "Edit5", kDomainButtons), QString("1/2 +--++"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("ONE"));
    form.close();
  }

  void LinkDialogOnAnEmptyListShowsOneBlankNormalLink() {
    TLinkForm form;
    form.show();
    QCOMPARE(Position(&form, "Edit6", kLinkButtons), QString("1/1 -----"));
    for (const char* edit : {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5"}) {
      QCOMPARE(Edit(&form, edit)->text(), QString());
    }
    QCOMPARE(form.findChild<QComboBox*>("ComboBox1")->currentText(), QString("Normal"));
    QVERIFY(!Check(&form, "CheckBox1")->isChecked());
    QVERIFY(!Check(&form, "CheckBox2")->isChecked());
    form.close();
    QCOMPARE(Links().size(), size_t{1});
    QCOMPARE(Links()[0].flavour, 'f');
    QCOMPARE(Links()[0].spare_flavour, 'f');
  }

  void LinkFlavourComesFromTheTypedText_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<char>("letter");
    QTest::addColumn<QString>("shown");
    QTest::newRow("hold") << "hold" << 'h' << "Hold";
    QTest::newRow("Fast") << "Fast" << 'f' << "Normal";
    QTest::newRow("CRASH") << "CRASH" << 'c' << "Crash";
    QTest::newRow("Immediate") << "Immediate" << 'i' << "Immediate";
    QTest::newRow("direct") << "direct" << 'd' << "Direct";
    QTest::newRow("empty") << "" << 'f' << "Normal";
  }
  void LinkFlavourComesFromTheTypedText() {
    QFETCH(QString, typed);
    LoadLinks({"2:5020/1", "2:5020/2"});
    TLinkForm form;
    form.show();
    QComboBox* combo = form.findChild<QComboBox*>("ComboBox1");
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), typed);
    Click(&form, "Button5");
    Click(&form, "Button4");
    QTEST(Links()[0].flavour, "letter");
    QTEST(combo->currentText(), "shown");
    QCOMPARE(Links()[0].spare_flavour, 'f');
  }

  void LinkFlavourPickedFromTheListAndLettersShown() {
    std::vector<LinkRecord> links(3);
    links[0].flavour = 'h';
    links[1].flavour = 'x';  // a letter setup does not know
    links[2].flavour = 'd';
    LoadList(SetupState().link_list, std::move(links));
    TLinkForm form;
    form.show();
    QComboBox* combo = form.findChild<QComboBox*>("ComboBox1");
    QCOMPARE(combo->currentText(), QString("Hold"));
    Click(&form, "Button5");
    QCOMPARE(combo->currentText(), QString("Normal"));
    Click(&form, "Button5");
    QCOMPARE(combo->currentText(), QString("Direct"));
    combo->setCurrentIndex(combo->findText("Crash"));
    Click(&form, "Button7");
    QCOMPARE(Links()[1].flavour, 'f');
    QCOMPARE(Links()[2].flavour, 'c');
  }

  void LinkFieldsAreStoredWithTheirWidths() {
    TLinkForm form;
    form.show();
    QTest::keyClicks(Edit(&form, "Edit1"), "First Sysop");
    QTest::keyClicks(Edit(&form, "Edit2"), "2:5020/1");
    QTest::keyClicks(Edit(&form, "Edit3"), "AREAMGR-PASSWORD-TOO-LONG");
    QTest::keyClicks(Edit(&form, "Edit4"), "ticpw");
    QTest::keyClicks(Edit(&form, "Edit5"), "2:5020/100.1");
    Tick(&form, "CheckBox1");
    Tick(&form, "CheckBox2");
    Click(&form, "Button7");
    QCOMPARE(form.result(), int(QDialog::Accepted));
    LinkRecord expected;
    expected.sysop_name = "First Sysop";
    expected.address = "2:5020/1";
    expected.areamgr_password = "AREAMGR-PASSWORD-TO";
    expected.tic_password = "ticpw";
    expected.from_address = "2:5020/100.1";
    expected.passive = 1;
    expected.allow_autocreate = 1;
    QCOMPARE(Links()[0], expected);
  }

  void LinkInsertAndDeleteMoveTheCounterAsExpected() {
    ScriptedMessages yes({MessageAnswer::kYes, MessageAnswer::kYes});
    LoadLinks({"1:1/1", "1:1/2", "1:1/3"});
    TLinkForm form;
    form.show();
    Click(&form, "Button5");
    Click(&form, "Button1");
    QCOMPARE(Position(&form, "Edit6", kLinkButtons), QString("3/4 +++++"));
    QCOMPARE(form.findChild<QComboBox*>("ComboBox1")->currentText(), QString("Normal"));
    form.close();
    std::vector<LinkRecord> links = Links();
    QCOMPARE(links.size(), size_t{4});
    QCOMPARE(links[1].address, std::string("1:1/2"));
    QCOMPARE(links[2], LinkRecord{});
    QCOMPARE(links[3].address, std::string("1:1/3"));

    ResetSetupState(platform::DefaultEnv());
    LoadLinks({"1:1/1", "1:1/2"});
    form.show();
    Click(&form, "Button2");
    QCOMPARE(Position(&form, "Edit6", kLinkButtons), QString("1/1 -----"));
    QCOMPARE(Edit(&form, "Edit2")->text(), QString("1:1/2"));
    form.close();

    ResetSetupState(platform::DefaultEnv());
    LoadLinks({"1:1/1", "1:1/2", "1:1/3"});
    form.show();
    Click(&form, "Button6");
    Click(&form, "Button2");
    QCOMPARE(Position(&form, "Edit6", kLinkButtons), QString("2/2 +++--"));
    QCOMPARE(Edit(&form, "Edit2")->text(), QString("1:1/2"));
    form.close();
  }

  void LinkSortOrdersByAddressAndShowsRecordOne() {
    LoadLinks({"2:10/3", "1:20/1", "1:5/7.1", "1:5/7"});
    TLinkForm form;
    form.show();
    Click(&form, "Button6");
    Click(&form, "Button8");
    QCOMPARE(Position(&form, "Edit6", kLinkButtons), QString("1/4 +--++"));
    QCOMPARE(Edit(&form, "Edit2")->text(), QString("1:5/7"));
    auto order = [] {
      QStringList out;
      for (const LinkRecord& link : Links()) {
        out << QString::fromStdString(link.address + " " + link.sysop_name).trimmed();
      }
      return out;
    };
    QCOMPARE(order(), (QStringList{"1:5/7", "1:5/7.1", "1:20/1", "2:10/3"}));

    // The shown record is stored before the sort; 1:5/7.0 is the same
    // system as 1:5/7 and stays after it.
    Click(&form, "Button6");
    Edit(&form, "Edit1")->setText("Same system");
    Edit(&form, "Edit2")->setText("1:5/7.0");
    Click(&form, "Button8");
    QCOMPARE(order(), (QStringList{"1:5/7", "1:5/7.0 Same system", "1:5/7.1", "1:20/1"}));
    QCOMPARE(Position(&form, "Edit6", kLinkButtons), QString("1/4 +--++"));
    form.close();
  }

  void EchoTagIsUpperCasedWhileItIsTyped() {
    TFEForm form;
    form.show();
    QCOMPARE(Position(&form, "Edit3", kEchoButtons), QString("1/1 -----"));
    QTest::keyClicks(Edit(&form, "Edit1"), "pelix.test");
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("PELIX.TEST"));
    QTest::keyClicks(Edit(&form, "Edit2"), "lower case stays");
    Tick(&form, "CheckBox1");
    Click(&form, "Button7");
    QCOMPARE(Echoes()[0].tag, std::string("PELIX.TEST"));
    QCOMPARE(Echoes()[0].description, std::string("lower case stays"));
    QCOMPARE(Echoes()[0].passthrough, 1);
  }

  // An imported "abc" stays "abc" however often it is looked at; only what
  // the sysop types becomes capitals.
  void ViewedLowerCaseTagIsStoredAsItWas() {
    LoadEchoes({"abc", "TWO"});
    TFEForm form;
    form.show();
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("abc"));
    Click(&form, "Button5");
    Click(&form, "Button4");
    QCOMPARE(Echoes()[0].tag, std::string("abc"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("abc"));
    Edit(&form, "Edit1")->end(false);
    QTest::keyClicks(Edit(&form, "Edit1"), ".x");
    Click(&form, "Button7");
    QCOMPARE(Echoes()[0].tag, std::string("abc.X"));
  }

  void EchoSortOrdersByTagIgnoringCaseAndKeepsEachChain() {
    LoadEchoes({"ABD", "abc", "AB"});
    TFEForm form;
    form.show();
    Click(&form, "Button11");
    QCOMPARE(Position(&form, "Edit3", kEchoButtons), QString("1/3 +--++"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("AB"));
    QCOMPARE(ListLines(&form), QStringList{"2:5020/1.3  (receive, send)"});
    QStringList order;
    for (const FileEchoRecord& echo : Echoes()) {
      order << QString::fromStdString(echo.tag + " " + echo.links.at(0).address);
    }
    QCOMPARE(order, (QStringList{"AB 2:5020/1.3", "abc 2:5020/1.2", "ABD 2:5020/1.1"}));
    form.close();
  }

  void EchoInsertDeleteAndMovingKeepCounterAndButtonsRight() {
    ScriptedMessages yes({MessageAnswer::kYes});
    LoadEchoes({"ONE", "TWO", "THREE"});
    TFEForm form;
    form.show();
    Click(&form, "Button5");
    QCOMPARE(Position(&form, "Edit3", kEchoButtons), QString("2/3 +++++"));
    Click(&form, "Button1");
    QCOMPARE(Position(&form, "Edit3", kEchoButtons), QString("3/4 +++++"));
    QCOMPARE(ListLines(&form), QStringList{});
    QVERIFY(!Check(&form, "CheckBox1")->isChecked());
    Click(&form, "Button6");
    QCOMPARE(Position(&form, "Edit3", kEchoButtons), QString("4/4 +++--"));
    Click(&form, "Button4");
    Click(&form, "Button2");
    QCOMPARE(Position(&form, "Edit3", kEchoButtons), QString("2/3 +++++"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("TWO"));
    Click(&form, "Button3");
    QCOMPARE(Position(&form, "Edit3", kEchoButtons), QString("1/3 +--++"));
    form.close();
    QStringList tags;
    for (const FileEchoRecord& echo : Echoes()) tags << QString::fromStdString(echo.tag);
    QCOMPARE(tags, (QStringList{"ONE", "TWO", "THREE"}));
  }

  void AddingTheSameSystemTwiceIsRefused() {
    Picker picker;
    ScriptedMessages messages;
    LoadEchoes({"PELIX.TEST"});
    SetupState().fileecho_list.head->record.links.clear();
    TFEForm form;
    form.show();
    QString seen;
    AnswerPicker("1:2/3.0", true, false, &seen);
    Click(&form, "Button8");
    QCOMPARE(seen, QString(" 0 0"));
    QCOMPARE(ListLines(&form), QStringList{"1:2/3.0  (receive)"});
    AnswerPicker("1:2/3", false, true);
    Click(&form, "Button8");
    QCOMPARE(messages.Texts(), std::vector<std::string>{"Error: Already in export list."});
    QCOMPARE(messages.asked()[0].icon, MessageIcon::kNone);
    QCOMPARE(ListLines(&form), QStringList{"1:2/3.0  (receive)"});
    QCOMPARE(Echoes()[0].links, (std::vector<EchoLinkEntry>{{"1:2/3.0", 1, 0}}));

    // An empty address is accepted once; the list says it is not saved.
    AnswerPicker("", false, false);
    Click(&form, "Button8");
    AnswerPicker("", true, true);
    Click(&form, "Button8");
    QCOMPARE(messages.Texts(), (std::vector<std::string>{"Error: Already in export list.",
                                                         "Error: Already in export list."}));
    QCOMPARE(ListLines(&form),
             (QStringList{"1:2/3.0  (receive)", "(no address)  (off: not saved)"}));
    form.close();
  }

  void AddStoresTheShownEchoFirst() {
    Picker picker;
    TFEForm form;
    form.show();
    QTest::keyClicks(Edit(&form, "Edit1"), "new.echo");
    AnswerPicker("2:5020/1", true, true);
    Click(&form, "Button8");
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("NEW.ECHO"));
    QCOMPARE(Echoes()[0].tag, std::string("NEW.ECHO"));
    form.close();
  }

  void DelAndEditWithoutASelectedLineSayNoNodeSelected() {
    Picker picker;
    ScriptedMessages messages;
    LoadEchoes({"PELIX.TEST"});
    TFEForm form;
    form.show();
    Edit(&form, "Edit1")->setText("CHANGED");
    Click(&form, "Button9");
    Click(&form, "Button10");
    QCOMPARE(messages.Texts(),
             (std::vector<std::string>{"Error: No Node Selected", "Error: No Node Selected"}));
    QCOMPARE(Echoes()[0].links.size(), size_t{1});
    // Nothing else happened: the shown echo was not stored either.
    QCOMPARE(Echoes()[0].tag, std::string("PELIX.TEST"));
    form.close();
  }

  void EditShowsTheNodeAndTheListShowsTheChangeAtOnce() {
    Picker picker;
    ScriptedMessages messages;
    std::vector<FileEchoRecord> echoes(1);
    echoes[0].tag = "PELIX.TEST";
    echoes[0].links = {{"2:5020/1", 1, 1}, {"2:5020/2", 0, 1}, {"2:5020/3", 1, 0}};
    LoadList(SetupState().fileecho_list, std::move(echoes));
    TFEForm form;
    form.show();
    QCOMPARE(ListLines(&form), (QStringList{"2:5020/1  (receive, send)", "2:5020/2  (send)",
                                            "2:5020/3  (receive)"}));
    SelectLine(&form, 1);
    QString seen;
    AnswerPicker("2:5020/20", true, false, &seen);
    Click(&form, "Button10");
    QCOMPARE(seen, QString("2:5020/2 0 1"));
    QCOMPARE(ListLines(&form), (QStringList{"2:5020/1  (receive, send)",
                                            "2:5020/20  (receive)", "2:5020/3  (receive)"}));
    // No duplicate check after an edit.
    SelectLine(&form, 2);
    AnswerPicker("2:5020/1", false, false);
    Click(&form, "Button10");
    QCOMPARE(messages.Texts(), std::vector<std::string>{});
    QCOMPARE(Echoes()[0].links,
             (std::vector<EchoLinkEntry>{{"2:5020/1", 1, 1}, {"2:5020/20", 1, 0},
                                         {"2:5020/1", 0, 0}}));
    SelectLine(&form, 0);
    Click(&form, "Button9");
    QCOMPARE(ListLines(&form), (QStringList{"2:5020/20  (receive)", "2:5020/1  (off: not saved)"}));
    form.close();
  }

  // Escape or the title bar on the Connected Node box cancel: "&Add" adds
  // nothing, "&Edit" changes nothing.
  void EscapeOrTitleBarOnTheNodePickerChangesNothing() {
    Picker picker;
    ScriptedMessages messages;
    LoadEchoes({"PELIX.TEST"});
    TFEForm form;
    form.show();
    AnswerPicker("2:5020/9", true, true, nullptr, Close::kEscape);
    Click(&form, "Button8");
    AnswerPicker("", false, false, nullptr, Close::kTitleBar);
    Click(&form, "Button8");
    SelectLine(&form, 0);
    AnswerPicker("", false, false, nullptr, Close::kEscape);
    Click(&form, "Button10");
    SelectLine(&form, 0);
    AnswerPicker("2:5020/9", false, false, nullptr, Close::kTitleBar);
    Click(&form, "Button10");
    QCOMPARE(Echoes()[0].links, (std::vector<EchoLinkEntry>{{"2:5020/1.1", 1, 1}}));
    QCOMPARE(ListLines(&form), QStringList{"2:5020/1.1  (receive, send)"});
    QCOMPARE(messages.Texts(), std::vector<std::string>{});
    form.close();
  }

  void ChainChangesStayWhenTheDialogIsClosedByTitleBar() {
    Picker picker;
    LoadEchoes({"PELIX.TEST"});
    TFEForm form;
    form.show();
    SelectLine(&form, 0);
    Click(&form, "Button9");
    Edit(&form, "Edit1")->setText("DROPPED");
    form.close();
    QCOMPARE(Echoes()[0].tag, std::string("PELIX.TEST"));
    QVERIFY(Echoes()[0].links.empty());
  }

  // The switch lives in pelix.ini under the echo's tag: it shows [echo *]
  // where the echo has no say of its own, is written only when changed, and
  // follows a tag typed anew.
  void EchoReplacesIsKeptInPelixIniUnderItsTag() {
    SetupState().node_options =
        IniDocument("[echo *]\nreplaces = yes\n[echo nodelist]\nreplaces = no\n");
    LoadEchoes({"NODELIST", "FILES", "OTHER"});
    TFEForm form;
    form.show();
    QVERIFY(!Check(&form, "CheckBox2")->isChecked());
    Click(&form, "Button5");
    QVERIFY(Check(&form, "CheckBox2")->isChecked());
    Tick(&form, "CheckBox2");
    Click(&form, "Button6");
    QVERIFY(Check(&form, "CheckBox2")->isChecked());
    Click(&form, "Button3");
    Edit(&form, "Edit1")->setText("NODELIST.Z");
    Click(&form, "Button7");
    QCOMPARE(SetupState().node_options.Text(),
             std::string("[echo *]\nreplaces = yes\n[echo NODELIST.Z]\nreplaces = no\n\n"
                         "[echo FILES]\nreplaces = no\n"));
  }

  void EchoWithAnUncheckedNodeIsSavedWithoutIt() {
    SetupNode node;
    Picker picker;
    ScriptedMessages messages;
    LoadConfiguration(platform::DefaultEnv());
    TFEForm form;
    form.show();
    QTest::keyClicks(Edit(&form, "Edit1"), "PELIX.TEST");
    AnswerPicker("2:5020/1", true, true);
    Click(&form, "Button8");
    AnswerPicker("2:5020/2", false, false);
    Click(&form, "Button8");
    AnswerPicker("2:5020/3", false, true);
    Click(&form, "Button8");
    Click(&form, "Button7");
    QCOMPARE(ListLines(&form), (QStringList{"2:5020/1  (receive, send)",
                                            "2:5020/2  (off: not saved)", "2:5020/3  (send)"}));
    QVERIFY(SaveConfiguration(platform::DefaultEnv()));
    ConfigText saved;
    std::string error;
    QVERIFY(ReadConfigFiles(node.dir(), saved, error));
    QCOMPARE(saved.echoes.size(), size_t{1});
    QCOMPARE(saved.echoes[0].links,
             (std::vector<EchoLinkEntry>{{"2:5020/1", 1, 1}, {"2:5020/3", 0, 1}}));
    // link_count, the int32 after tag, description and pass-through.
    QCOMPARE(node.ReadFile("pelix.fe").substr(514, 4), std::string("\x02\0\0\0", 4));
    QCOMPARE(node.ReadFile("pelix.fe").size(), size_t{518 + 2 * 263});
    QCOMPARE(Echoes()[0].links.size(), size_t{3});
  }
};

QTEST_MAIN(RecordDialogsTest)
#include "record_dialogs_test.moc"
