// The main window: its menu, the dialogs it opens, and the save question
// when it goes.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "common/records.h"
#include "platform/platform.h"
#include "setup/config/setup_config.h"
#include "setup/ui/main_form.h"
#include "setup/ui/message_box_qt.h"
#include "setup/ui/setup_main.h"
#include "setup/ui/setup_windows.h"
#include "tests/setup/support/setup_node.h"

namespace {

const char* const kConfigFiles[] = {"pelix.cfg", "pelix.dmn", "pelix.fe", "pelix.nod"};
const char kSaveQuestion[] = "Warning: Save changes ?";

// A node that pelix itself can run in: every folder inside the node.
const char kRunnableConfig[] =
    "[config]\ninbound_dir = in/\ntic_outbound_dir = ticout/\nqueue_dir = queue/\n"
    "fileecho_dir = files/\nnetmail_dir = netmail/\nbad_tic_dir = bad/\n"
    "main_address = 2:5020/100\nlog_file = pelix.log\nannounce_db_dir = announce/\n"
    "[domain]\nname = fidonet\noutbound_dir = out\nis_default = 1\nhas_main_zone = 1\n"
    "main_zone = 2\nzone_list = 2\n"
    "[echo]\ntag = PELIX.TEST\ndescription = Test\nlink = 2:5020/1 receive send\n"
    "[link]\nsysop_name = Link\naddress = 2:5020/1\nflavour = f\nspare_flavour = f\n";

// Opens a dialog from the menu; `use` works on the dialog while it is shown
// modally and must close it. Returns the object name of the modal window
// that was shown, or "" when the item opened none.
QString OpenFromMenu(const char* item, std::function<void(QDialog*)> use) {
  QString shown;
  QAction* action = Windows().main_form->findChild<QAction*>(item);
  if (!action) return "no such item";
  QTimer::singleShot(0, [&] {
    QDialog* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    shown = dialog->objectName();
    use(dialog);
    if (dialog->isVisible()) dialog->reject();
  });
  action->trigger();
  QCoreApplication::processEvents();
  return shown;
}

void ClickOk(QDialog* dialog) {
  QTest::mouseClick(dialog->findChild<QPushButton*>("Button1"), Qt::LeftButton);
}

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private slots:
  void QtMessageBoxShowsCaptionTextIconAndButtonsAndReturnsThePressedOne_data() {
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("question");
    QTest::addColumn<bool>("press_yes");
    QTest::addColumn<int>("shown_icon");
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes to a question")
        << int(MessageIcon::kQuestion) << true << true << int(QMessageBox::Question)
        << int(MessageAnswer::kYes);
    QTest::newRow("No to an exclamation")
        << int(MessageIcon::kExclamation) << true << false << int(QMessageBox::Warning)
        << int(MessageAnswer::kNo);
    QTest::newRow("OK without icon")
        << int(MessageIcon::kNone) << false << false << int(QMessageBox::NoIcon)
        << int(MessageAnswer::kOk);
  }
  void QtMessageBoxShowsCaptionTextIconAndButtonsAndReturnsThePressedOne() {
    QFETCH(int, icon);
    QFETCH(bool, question);
    QFETCH(bool, press_yes);
    QString seen;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      seen = box->windowTitle() + "|" + box->text() + "|" + QString::number(box->icon());
      QAbstractButton* press = box->button(question ? (press_yes ? QMessageBox::Yes
                                                                 : QMessageBox::No)
                                                    : QMessageBox::Ok);
      if (press) press->click();
    });
    MessageAnswer answer = ShowQtMessageBox(
        {"Save changes ?", "Warning",
         question ? MessageButtons::kYesNo : MessageButtons::kOk, MessageIcon(icon)});
    QFETCH(int, shown_icon);
    QCOMPARE(seen, "Warning|Save changes ?|" + QString::number(shown_icon));
    QTEST(int(answer), "answer");
  }

  void MenuHoldsEveryItemWithItsCaption() {
    SetupNode node;
    ScriptedMessages messages;
    TMainForm form(platform::DefaultEnv());
    QCOMPARE(form.windowTitle(), QString("Pelix Setup"));
    QCOMPARE(form.size(), QSize(435, 300));
    QVERIFY(form.findChild<QFrame*>("Bevel1"));
    QStatusBar* status = form.findChild<QStatusBar*>("StatusBar1");
    QVERIFY(status && status->currentMessage().isEmpty());
    QMenuBar* bar = form.findChild<QMenuBar*>("MainMenu1");
    QVERIFY(bar);
    QStringList menus;
    for (QAction* a : bar->actions()) menus << a->menu()->objectName() + " " + a->text();
    QCOMPARE(menus, (QStringList{"General1 &General", "Import1 &Import", "Help1 &Help"}));
    QStringList items;
    for (QMenu* menu : bar->findChildren<QMenu*>()) {
      for (QAction* a : menu->actions()) items << a->objectName() + " " + a->text();
    }
    QCOMPARE(items, (QStringList{"Generaloptions1 &General options",
                                 "AnnounceOptions1 &Announce Options",
                                 "Pathandfilenames1 &Path and file names",
                                 "Domainsandoutbouns1 &Domains and outbouns",
                                 "Links1 &Links", "FileEchoes1 &File Echoes",
                                 "Options1 &Options", "N1 ",
                                 "Quit1 &Quit",
                                 "ImportALLFIXconfiguration1 Import &ALLFIX configuration",
                                 "About1 &About"}));
  }

  void MenuItemsOpenTheirDialogsModally() {
    SetupNode node;
    ScriptedMessages messages;
    LoadConfiguration(platform::DefaultEnv());
    CreateSetupWindows(platform::DefaultEnv());
    QCOMPARE(OpenFromMenu("Generaloptions1", ClickOk), QString("TGOForm"));
    QCOMPARE(OpenFromMenu("Pathandfilenames1", ClickOk), QString("TPFNForm"));
    QCOMPARE(OpenFromMenu("AnnounceOptions1", ClickOk), QString("TAnoForm"));
    QCOMPARE(OpenFromMenu("Options1", ClickOk), QString("TOptForm"));
    QCOMPARE(OpenFromMenu("About1", ClickOk), QString("TAboutForm"));
    auto press = [](const char* button) {
      return [button](QDialog* d) {
        QTest::mouseClick(d->findChild<QPushButton*>(button), Qt::LeftButton);
      };
    };
    QCOMPARE(OpenFromMenu("Domainsandoutbouns1", press("Button6")), QString("TDMNForm"));
    QCOMPARE(OpenFromMenu("Links1", press("Button7")), QString("TLinkForm"));
    QCOMPARE(OpenFromMenu("FileEchoes1", press("Button7")), QString("TFEForm"));
    // The import runs after its path dialog closes; the empty node has no
    // ALLFIX files.
    QCOMPARE(OpenFromMenu("ImportALLFIXconfiguration1", ClickOk), QString("TALLFIXForm"));
    DestroySetupWindows();
    QCOMPARE(messages.Texts(),
             (std::vector<std::string>{"Error: Can't open setup.fix", kSaveQuestion}));
  }

  void SaveChangesYesWritesAllFourFilesAndRemovesTheFlag() {
    SetupNode node;
    ScriptedMessages messages({MessageAnswer::kYes});
    LoadConfiguration(platform::DefaultEnv());
    QVERIFY(node.Exists("pelix.bsy"));
    delete new TMainForm(platform::DefaultEnv());
    QCOMPARE(messages.asked().size(), size_t{1});
    QCOMPARE(messages.asked()[0].buttons, MessageButtons::kYesNo);
    QCOMPARE(messages.asked()[0].icon, MessageIcon::kQuestion);
    QCOMPARE(messages.Texts(), std::vector<std::string>{kSaveQuestion});
    QCOMPARE(node.List(), (std::vector<std::string>{"pelix.cfg", "pelix.dmn", "pelix.fe",
                                                    "pelix.nod"}));
  }

  void SaveChangesNoWritesNothingYetRemovesTheFlag() {
    SetupNode node;
    QVERIFY(node.WriteConfig(FullConfigText()));
    std::vector<std::string> before;
    for (const char* file : kConfigFiles) before.push_back(node.ReadFile(file));
    ScriptedMessages messages({MessageAnswer::kNo});
    LoadConfiguration(platform::DefaultEnv());
    SetupState().config.main_address = "9:9/9";
    delete new TMainForm(platform::DefaultEnv());
    QCOMPARE(messages.Texts(), std::vector<std::string>{kSaveQuestion});
    QCOMPARE(node.List(), (std::vector<std::string>{"pelix.cfg", "pelix.dmn", "pelix.fe",
                                                    "pelix.nod"}));
    for (size_t i = 0; i < before.size(); ++i) QCOMPARE(node.ReadFile(kConfigFiles[i]), before[i]);
  }

  void QuitAndTitleBarCloseBothEndTheProgramWithTheSaveQuestion_data() {
    QTest::addColumn<bool>("quit");
    QTest::newRow("&Quit") << true;
    QTest::newRow("title bar") << false;
  }
  void QuitAndTitleBarCloseBothEndTheProgramWithTheSaveQuestion() {
    QFETCH(bool, quit);
    SetupNode node;
    ScriptedMessages messages({MessageAnswer::kYes});
    LoadConfiguration(platform::DefaultEnv());
    QTimer::singleShot(0, [quit] {
      TMainForm* form = Windows().main_form;
      if (quit) form->findChild<QAction*>("Quit1")->trigger();
      else form->close();
    });
    QCOMPARE(RunSetupWindows(platform::DefaultEnv()), 0);
    QCOMPARE(messages.Texts(), std::vector<std::string>{kSaveQuestion});
    QVERIFY(!node.Exists("pelix.bsy"));
    QVERIFY(node.Exists("pelix.cfg"));
    QVERIFY(!Windows().main_form);
  }

  void EditedConfigurationIsSavedByteExactAndPelixRunsOnIt() {
    SetupNode node;
    QVERIFY(node.WriteConfig(kRunnableConfig));
    for (const char* dir : {"in", "ticout", "queue", "files", "netmail", "bad", "announce"}) {
      QVERIFY(QDir(QString::fromStdString(node.dir())).mkdir(dir));
    }
    std::vector<std::string> before;
    for (const char* file : kConfigFiles) before.push_back(node.ReadFile(file));
    MainConfig expected = ReadMainConfig(before[0]);
    expected.main_address = "2:5020/200";
    expected.utc_offset = -2;
    expected.inbound_dir = "inbound/";
    QVERIFY(QDir(QString::fromStdString(node.dir())).mkdir("inbound"));

    ScriptedMessages messages({MessageAnswer::kYes});
    LoadConfiguration(platform::DefaultEnv());
    CreateSetupWindows(platform::DefaultEnv());
    OpenFromMenu("Generaloptions1", [](QDialog* d) {
      d->findChild<QLineEdit*>("Edit1")->setText("2:5020/200");
      d->findChild<QLineEdit*>("Edit2")->setText("-2");
      ClickOk(d);
    });
    OpenFromMenu("Pathandfilenames1", [](QDialog* d) {
      d->findChild<QLineEdit*>("Edit1")->setText("inbound");
      ClickOk(d);
    });
    // Opened again, the dialog shows what memory holds, not the file.
    QString shown;
    OpenFromMenu("Generaloptions1",
                 [&](QDialog* d) { shown = d->findChild<QLineEdit*>("Edit1")->text(); });
    QCOMPARE(shown, QString("2:5020/200"));
    DestroySetupWindows();

    QCOMPARE(node.ReadFile("pelix.cfg"), WriteMainConfig(expected));
    for (size_t i = 1; i < before.size(); ++i) QCOMPARE(node.ReadFile(kConfigFiles[i]), before[i]);
    QVERIFY(!node.Exists("pelix.bsy"));

    QProcess pelix;
    pelix.setWorkingDirectory(QString::fromStdString(node.dir()));
    pelix.start(PELIX_BINARY, {});
    QVERIFY(pelix.waitForFinished(60000));
    QCOMPARE(pelix.exitCode(), 0);
    QVERIFY(!pelix.readAllStandardOutput().contains("Fatal"));
  }
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
