// General Options, Path and file names, Announce Options and About: what
// each shows when it opens and what "&Ok" stores.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "platform/platform.h"
#include "setup/config/setup_config.h"
#include "setup/ui/about_form.h"
#include "setup/ui/ano_form.h"
#include "setup/ui/go_form.h"
#include "setup/ui/link_form.h"
#include "setup/ui/opt_form.h"
#include "setup/ui/pfn_form.h"
#include "tests/setup/support/setup_node.h"

namespace {

QLineEdit* Edit(QWidget* form, const char* name) { return form->findChild<QLineEdit*>(name); }
QCheckBox* Check(QWidget* form, const char* name) { return form->findChild<QCheckBox*>(name); }

void ClickOk(QDialog& form) {
  QTest::mouseClick(form.findChild<QPushButton*>("Button1"), Qt::LeftButton);
}

// A click on the radio button's indicator, where a sysop would click.
void Pick(QDialog& form, const char* name) {
  QRadioButton* item = form.findChild<QRadioButton*>(name);
  QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(8, item->height() / 2));
}

}  // namespace

class OptionDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { ResetSetupState(platform::DefaultEnv()); }
  void cleanup() { ResetSetupState(platform::DefaultEnv()); }

  void GeneralOptionsWithoutConfigurationKeepAnswersAndShowUtc0() {
    SetupNode node;
    ScriptedMessages messages;
    LoadConfiguration(platform::DefaultEnv());
    TGOForm form;
    form.show();
    QCOMPARE(form.windowTitle(), QString("General Options"));
    QVERIFY(Check(&form, "CheckBox1")->isChecked());
    QVERIFY(!Check(&form, "CheckBox2")->isChecked());
    QCOMPARE(Edit(&form, "Edit2")->text(), QString("0"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString());
    form.close();
  }

  // A Cyrillic sysop in CP866: his name is shown and stored in his code
  // page, a character the page cannot hold is refused where it is typed,
  // and the choice is remembered beside the configuration.
  void CodePageChosenInGeneralOptionsConvertsBothWays() {
    SetupNode node;
    ScriptedMessages messages;
    LoadConfiguration(platform::DefaultEnv());
    std::vector<LinkRecord> links(1);
    links[0].sysop_name = "\x88\xa2\xa0\xad";  // "Ivan" in CP866
    LoadList(SetupState().link_list, std::move(links));
    TGOForm options;
    options.show();
    QComboBox* pages = options.findChild<QComboBox*>("ComboBox1");
    QVERIFY(pages);
    QCOMPARE(pages->currentText(), QString("Latin-1 (ISO 8859-1)"));
    pages->setCurrentIndex(pages->findText("CP866 (DOS, Cyrillic)"));
    ClickOk(options);

    TLinkForm link;
    link.show();
    QLineEdit* name = Edit(&link, "Edit1");
    QCOMPARE(name->text(), QString("Иван"));
    name->end(false);
    // Typed as a keyboard of that language sends them.
    for (QChar c : QString("ё€")) {
      QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    QCOMPARE(name->text(), QString("Иванё"));
    QCOMPARE(messages.Texts(),
             std::vector<std::string>{"Error: The character \"€\" (U+20AC) cannot be stored in "
                                      "the code page CP866 of the configuration."});
    QTest::mouseClick(link.findChild<QPushButton*>("Button7"), Qt::LeftButton);
    QCOMPARE(ListRecords(SetupState().link_list)[0].sysop_name, std::string("\x88\xa2\xa0\xad\xf1"));

    QVERIFY(WriteCodePageChoice(platform::DefaultEnv(), SetupState().code_page));
    QCOMPARE(node.ReadFile("setup.cp"), std::string("CP866\n"));
    ReleaseSetupBusyFlag(platform::DefaultEnv());
    ResetSetupState(platform::DefaultEnv());
    LoadConfiguration(platform::DefaultEnv());
    QCOMPARE(SetupState().code_page, CodePage::kCp866);
  }

  void GeneralOptionsShowTheConfigurationEachTimeTheyOpen() {
    MainConfig& config = SetupState().config;
    config.main_address = "2:5020/100";
    config.aka_list = "2:5020/100.1,21:1/100";
    config.utc_offset = 3;
    config.kill_answers = 1;
    config.files_bbs_counter = 1;
    TGOForm form;
    form.show();
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("2:5020/100"));
    QCOMPARE(Edit(&form, "Edit3")->text(), QString("2:5020/100.1,21:1/100"));
    QCOMPARE(Edit(&form, "Edit2")->text(), QString("+3"));
    QVERIFY(!Check(&form, "CheckBox1")->isChecked());
    QVERIFY(Check(&form, "CheckBox2")->isChecked());
    form.close();

    config.utc_offset = -2;
    config.kill_answers = 0;
    form.show();
    QCOMPARE(Edit(&form, "Edit2")->text(), QString("-2"));
    QVERIFY(Check(&form, "CheckBox1")->isChecked());
    form.close();
  }

  void GeneralOptionsOkStoresEveryControl_data() {
    QTest::addColumn<QString>("utc");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<bool>("counter");
    QTest::addColumn<int>("utc_offset");
    QTest::addColumn<int>("kill_answers");
    QTest::addColumn<int>("files_bbs_counter");
    QTest::newRow("+3, keep") << "+3" << true << false << 3 << 0 << 0;
    QTest::newRow("3h, kill, counter") << "3h" << false << true << 3 << 1 << 1;
    QTest::newRow("no digits") << "abc" << true << true << 0 << 0 << 1;
    QTest::newRow("negative") << " -5" << false << false << -5 << 1 << 0;
  }
  void GeneralOptionsOkStoresEveryControl() {
    QFETCH(QString, utc);
    QFETCH(bool, keep);
    QFETCH(bool, counter);
    TGOForm form;
    form.show();
    Edit(&form, "Edit1")->setText("1:234/5");
    Edit(&form, "Edit3")->setText("1:234/5.1");
    Edit(&form, "Edit2")->setText(utc);
    Check(&form, "CheckBox1")->setChecked(keep);
    Check(&form, "CheckBox2")->setChecked(counter);
    ClickOk(form);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QVERIFY(!form.isVisible());
    const MainConfig& config = SetupState().config;
    QCOMPARE(config.main_address, std::string("1:234/5"));
    QCOMPARE(config.aka_list, std::string("1:234/5.1"));
    QTEST(int(config.utc_offset), "utc_offset");
    QTEST(int(config.kill_answers), "kill_answers");
    QTEST(int(config.files_bbs_counter), "files_bbs_counter");
  }

  void GeneralOptionsClosedByTitleBarChangeNothing() {
    SetupState().config.main_address = "2:5020/100";
    TGOForm form;
    form.show();
    Edit(&form, "Edit1")->setText("1:1/1");
    form.close();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(SetupState().config.main_address, std::string("2:5020/100"));
  }

  void PathsGetTheirSeparatorAndTheLogFileStaysAsTyped() {
    MainConfig& config = SetupState().config;
    config.inbound_dir = "old/in/";
    config.queue_dir = "old/queue/";
    TPFNForm form;
    form.show();
    QCOMPARE(form.windowTitle(), QString("Path and file names"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("old/in/"));
    QCOMPARE(Edit(&form, "Edit3")->text(), QString("old/queue/"));
    Edit(&form, "Edit1")->setText("C:\\FIDO\\IN");
    Edit(&form, "Edit2")->setText("C:\\FIDO\\TICOUT\\");
    Edit(&form, "Edit3")->setText("");
    Edit(&form, "Edit4")->setText("C:/FIDO/FILES/");
    Edit(&form, "Edit5")->setText("/var/fido/netmail");
    Edit(&form, "Edit6")->setText("bad");
    Edit(&form, "Edit7")->setText("C:\\FIDO\\TIC.LOG");
    ClickOk(form);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    // The separator added is the one the path is written with.
    QCOMPARE(config.inbound_dir, std::string("C:\\FIDO\\IN\\"));
    QCOMPARE(config.tic_outbound_dir, std::string("C:\\FIDO\\TICOUT\\"));
    QCOMPARE(config.queue_dir, std::string());
    QCOMPARE(config.fileecho_dir, std::string("C:/FIDO/FILES/"));
    QCOMPARE(config.netmail_dir, std::string("/var/fido/netmail/"));
    QCOMPARE(config.bad_tic_dir, std::string("bad/"));
    QCOMPARE(config.log_file, std::string("C:\\FIDO\\TIC.LOG"));

    form.show();
    Edit(&form, "Edit7")->setText("C:\\FIDO\\LOGS\\");
    ClickOk(form);
    QCOMPARE(config.log_file, std::string("C:\\FIDO\\LOGS\\"));
  }

  void LongestDirectoryStaysWithinItsFieldWithSeparatorAndZero() {
    TPFNForm form;
    form.show();
    Edit(&form, "Edit1")->setText(QString(300, 'd'));
    QCOMPARE(Edit(&form, "Edit1")->text().size(), 254);
    ClickOk(form);
    const std::string& stored = SetupState().config.inbound_dir;
    QCOMPARE(stored, std::string(253, 'd') + "/");
    std::string cfg = WriteMainConfig(SetupState().config);
    QCOMPARE(cfg.size(), kMainConfigSize);
    QCOMPARE(ReadMainConfig(cfg).inbound_dir, stored);
  }

  void PathsTabFromBadTicsToOkThenLogFile() {
    TPFNForm form;
    QStringList order;
    QWidget* w = Edit(&form, "Edit1");
    for (int i = 0; i < 8; ++i, w = w->nextInFocusChain()) {
      while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
      order << w->objectName();
    }
    QCOMPARE(order, (QStringList{"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6",
                                 "Button1", "Edit7"}));
  }

  void AnnounceOptionsWithoutConfigurationAnnounceToJam() {
    TAnoForm form;
    form.show();
    QCOMPARE(form.windowTitle(), QString("Announce Options"));
    QVERIFY(form.findChild<QRadioButton*>("RadioButton1")->isChecked());
    QCOMPARE(form.findChild<QLabel*>("Label1")->text(), QString("JAM Base"));
    QCOMPARE(form.findChild<QGroupBox*>("RadioGroup1")->title(), QString(" Announce to : "));
    QVERIFY(Edit(&form, "Edit1")->text().isEmpty() && Edit(&form, "Edit2")->text().isEmpty());
    form.close();
  }

  void AnnounceLabelFollowsTheSelectedTargetAtOnce() {
    MainConfig& config = SetupState().config;
    config.announce_db_dir = "announce/";
    config.announce_target = "C:\\FIDO\\JAM\\NEWFILES";
    TAnoForm form;
    form.show();
    QLabel* label = form.findChild<QLabel*>("Label1");
    Pick(form, "RadioButton2");
    QCOMPARE(label->text(), QString("File Name"));
    QCOMPARE(Edit(&form, "Edit2")->text(), QString("C:\\FIDO\\JAM\\NEWFILES"));
    Pick(form, "RadioButton1");
    QCOMPARE(label->text(), QString("JAM Base"));
    form.close();
    QCOMPARE(config.announce_to, 0);

    config.announce_to = 1;
    form.show();
    QVERIFY(form.findChild<QRadioButton*>("RadioButton2")->isChecked());
    QCOMPARE(label->text(), QString("File Name"));
    form.close();
  }

  void AnnounceOkStoresDirectoryTargetAndKind() {
    TAnoForm form;
    form.show();
    Edit(&form, "Edit1")->setText("C:\\FIDO\\ANN");
    Edit(&form, "Edit2")->setText("C:\\FIDO\\JAM\\NEWFILES");
    Pick(form, "RadioButton2");
    ClickOk(form);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    const MainConfig& config = SetupState().config;
    QCOMPARE(config.announce_db_dir, std::string("C:\\FIDO\\ANN\\"));
    QCOMPARE(config.announce_target, std::string("C:\\FIDO\\JAM\\NEWFILES"));
    QCOMPARE(config.announce_to, 1);
  }

  void AnnounceToAnUnknownKindIsKeptUnlessTheSysopPicksOne() {
    MainConfig& config = SetupState().config;
    config.announce_to = 7;
    TAnoForm form;
    form.show();
    QVERIFY(!form.findChild<QRadioButton*>("RadioButton1")->isChecked());
    QVERIFY(!form.findChild<QRadioButton*>("RadioButton2")->isChecked());
    QCOMPARE(form.findChild<QLabel*>("Label1")->text(), QString("JAM Base"));
    ClickOk(form);
    QCOMPARE(config.announce_to, 7);
    form.show();
    Pick(form, "RadioButton1");
    ClickOk(form);
    QCOMPARE(config.announce_to, 0);
  }

  // A sysop's pelix.ini: what the page does not show, and what the sysop
  // leaves as shown, reaches the file again unchanged.
  void OptionsPageChangesOnlyWhatTheSysopChanged() {
    SetupNode node;
    node.WriteFile("pelix.ini",
                   "; options of 2:5020/100\r\n[pelix]\r\ndupe_days = 3\r\ncolour = blue\r\n"
                   "late_file_days = 20\r\nrescan_limit = lots\r\n\r\n[uplink 2:5020/1]\r\n"
                   "robot = FileFix\r\npassword = se;cret\r\n");
    ScriptedMessages messages;
    LoadConfiguration(platform::DefaultEnv());
    TOptForm form;
    form.show();
    QCOMPARE(form.windowTitle(), QString("Options"));
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("3"));
    QCOMPARE(Edit(&form, "Edit2")->text(), QString("20"));
    // What pelix cannot read shows the value pelix uses.
    QCOMPARE(Edit(&form, "Edit3")->text(), QString("100"));
    QListWidget* uplinks = form.findChild<QListWidget*>("ListBox1");
    QCOMPARE(uplinks->count(), 1);
    QCOMPARE(uplinks->currentItem()->text(), QString("2:5020/1"));
    QCOMPARE(Edit(&form, "Edit4")->text(), QString("FileFix"));
    QCOMPARE(Edit(&form, "Edit5")->text(), QString("se;cret"));
    QCOMPARE(Edit(&form, "Edit4")->maxLength(), 35);
    QCOMPARE(Edit(&form, "Edit5")->maxLength(), 71);
    QVERIFY(!Check(&form, "CheckBox1")->isChecked());

    QTest::keyClicks(Edit(&form, "Edit1"), "x-1");
    QCOMPARE(Edit(&form, "Edit1")->text(), QString("31"));
    Edit(&form, "Edit2")->clear();  // back to the default
    Edit(&form, "Edit4")->setText("AllFix");
    Check(&form, "CheckBox1")->setChecked(true);
    ClickOk(form);
    QVERIFY(SaveConfiguration(platform::DefaultEnv()));
    QCOMPARE(node.ReadFile("pelix.ini"),
             std::string("; options of 2:5020/100\r\n[pelix]\r\ndupe_days = 31\r\n"
                         "colour = blue\r\nrescan_limit = lots\r\n\r\n[uplink 2:5020/1]\r\n"
                         "robot = AllFix\r\npassword = se;cret\r\nforward_requests = yes\r\n"));
    QVERIFY(messages.asked().empty());
  }

  void UplinksAreAddedAndRemovedAtOnce() {
    ScriptedMessages messages;
    TOptForm form;
    form.show();
    QListWidget* uplinks = form.findChild<QListWidget*>("ListBox1");
    QVERIFY(!form.findChild<QPushButton*>("Button3")->isEnabled());
    QVERIFY(!Edit(&form, "Edit4")->isEnabled());
    auto add = [&](const char* address) {
      Edit(&form, "Edit7")->setText(address);
      QTest::mouseClick(form.findChild<QPushButton*>("Button2"), Qt::LeftButton);
    };
    add("2:5020");
    add("2:5020/1");
    QVERIFY(Edit(&form, "Edit4")->isEnabled());
    QCOMPARE(Edit(&form, "Edit7")->text(), QString());
    Edit(&form, "Edit4")->setText("FileFix");
    add("1:2/3@fidonet");
    QCOMPARE(uplinks->currentRow(), 1);
    QCOMPARE(Edit(&form, "Edit4")->text(), QString());
    add("2:5020/1.0");
    QCOMPARE(messages.Texts(), (std::vector<std::string>{"Error: Not a FidoNet address: 2:5020",
                                                         "Error: Already an uplink."}));
    uplinks->setCurrentRow(0);
    QCOMPARE(Edit(&form, "Edit4")->text(), QString("FileFix"));
    QTest::mouseClick(form.findChild<QPushButton*>("Button3"), Qt::LeftButton);
    QCOMPARE(uplinks->count(), 1);
    QCOMPARE(uplinks->currentItem()->text(), QString("1:2/3@fidonet"));
    form.close();
    QCOMPARE(SetupState().node_options.Text(), std::string("[uplink 1:2/3@fidonet]\n"));
  }

  void AboutBoxNamesTheProgramAndItsVersion() {
    TAboutForm form;
    form.show();
    QCOMPARE(form.windowTitle(), QString("About"));
    QVERIFY(form.width() >= 275 && form.height() >= 162);
    QStringList texts;
    for (QLabel* label : form.findChildren<QLabel*>()) {
      if (label->text().isEmpty()) continue;
      texts << label->text();
      // Each text on one line, whole.
      QVERIFY(!label->wordWrap());
      QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
    }
    QCOMPARE(texts, (QStringList{"Pelix FIDO Net Fileecho processor for Windows NT", "ver 1.02"}));
    QPushButton* ok = form.findChild<QPushButton*>("Button1");
    QCOMPARE(ok->text(), QString("&Ok"));
    QVERIFY(ok->isDefault());
    ClickOk(form);
    QVERIFY(!form.isVisible());
  }
};

QTEST_MAIN(OptionDialogsTest)
#include "option_dialogs_test.moc"
