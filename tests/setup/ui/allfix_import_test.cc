// Importing an ALLFIX configuration from the menu: the path dialog, the
// directories and file areas taken over, and the files that are missing.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "platform/platform.h"
#include "setup/config/setup_config.h"
#include "setup/ui/allfix_form.h"
#include "setup/ui/main_form.h"
#include "setup/ui/setup_windows.h"
#include "tests/setup/support/allfix_files.h"
#include "tests/setup/support/setup_node.h"

namespace {

const char kSuccess[] = "Attention: Configuration imported successfully.";
const char kSaveQuestion[] = "Warning: Save changes ?";

enum class Close { kOk, kTitleBar, kEscape };

// Chooses "Import &ALLFIX configuration", types `path` over what the path
// dialog shows (unless `path` is null) and closes it by "&Ok", by its title
// bar or by Escape. Returns what the dialog showed when it opened.
QString ImportFrom(const char* path, Close how = Close::kOk) {
  QString shown = "no dialog";
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TALLFIXForm*>(QApplication::activeModalWidget());
    if (!dialog) return;
    shown = dialog->Edit1()->text();
    if (path) {
      dialog->Edit1()->clear();
      QTest::keyClicks(dialog->Edit1(), path);
    }
    switch (how) {
      case Close::kOk:
        QTest::mouseClick(dialog->findChild<QPushButton*>("Button1"), Qt::LeftButton);
        break;
      case Close::kTitleBar: dialog->close(); break;
      case Close::kEscape: QTest::keyClick(dialog->Edit1(), Qt::Key_Escape); break;
    }
  });
  Windows().main_form->findChild<QAction*>("ImportALLFIXconfiguration1")->trigger();
  return shown;
}

std::vector<std::string> Tags() {
  std::vector<std::string> tags;
  for (const FileEchoRecord& e : ListRecords(SetupState().fileecho_list)) tags.push_back(e.tag);
  return tags;
}

std::vector<std::string> Descriptions() {
  std::vector<std::string> out;
  for (const FileEchoRecord& e : ListRecords(SetupState().fileecho_list)) {
    out.push_back(e.description);
  }
  return out;
}

// An ALLFIX installation as it lies on a DOS drive, in upper-case names.
void WriteAllfix(const SetupNode& node, const std::string& dir) {
  if (!dir.empty()) QDir(QString::fromStdString(node.dir())).mkpath(QString::fromStdString(dir));
  node.WriteFile(dir + "SETUP.FIX", SetupFix({{184, "C:\\ALLFIX\\INBOUND\\"},
                                               {428, "C:\\ALLFIX\\QUEUE"},
                                               {489, "C:\\ALLFIX\\TICOUT\\"},
                                               {794, "C:\\ALLFIX\\BADTIC\\"},
                                               {977, "C:\\FD\\NETMAIL\\"},
                                               {1038, ""}}));
  node.WriteFile(dir + "FILEAREA.FIX", FileAreaFix({"NODELIST", "", "Games", "PELIX.TEST"}));
  node.WriteFile(dir + "FAREAS.FIX", FAreasFix({{"nodelist", "Weekly nodelist"},
                                                 {"UNKNOWN", "Not imported"},
                                                 {"PELIX.TEST", ""},
                                                 {"GAMES", "Games for DOS"}}));
}

// setup with its windows on a node that already has one echo.
struct RunningSetup {
  SetupNode node;
  ScriptedMessages messages;
  RunningSetup() {
    node.WriteConfig("[config]\nfileecho_dir = /fido/files/\nqueue_dir = /fido/queue\n"
                     "[echo]\ntag = EXISTING\ndescription = Mine\n");
    LoadConfiguration(platform::DefaultEnv());
    CreateSetupWindows(platform::DefaultEnv());
  }
  ~RunningSetup() { DestroySetupWindows(); }
};

}  // namespace

class AllfixImportTest : public QObject {
  Q_OBJECT

 private slots:
  void PathDialogAsksForTheDirectory() {
    RunningSetup setup;
    TALLFIXForm* dialog = Windows().allfix_form;
    QCOMPARE(dialog->windowTitle(), QString("ALLFIX Configuration"));
    QCOMPARE(dialog->findChild<QLabel*>("Label1")->text(),
             QString("Path to ALLFIX Configuration files"));
    QCOMPARE(dialog->findChild<QPushButton*>("Button1")->text(), QString("&Ok"));
    QVERIFY(dialog->findChild<QPushButton*>("Button1")->isDefault());
    QCOMPARE(dialog->Edit1()->maxLength(), 254);
  }

  void ImportTakesDirectoriesAreasAndDescriptions_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("in_working_directory");
    QTest::newRow("no separator") << "allfix" << false;
    QTest::newRow("backslash") << "allfix\\" << false;
    QTest::newRow("slash") << "allfix/" << false;
    QTest::newRow("empty") << "" << true;
  }
  void ImportTakesDirectoriesAreasAndDescriptions() {
    QFETCH(QString, typed);
    QFETCH(bool, in_working_directory);
    RunningSetup setup;
    WriteAllfix(setup.node, in_working_directory ? "" : "allfix/");
    std::string path = in_working_directory ? "" : setup.node.dir() + typed.toStdString();
    QCOMPARE(ImportFrom(path.c_str()), QString());

    QCOMPARE(setup.messages.Texts(), std::vector<std::string>{kSuccess});
    QCOMPARE(setup.messages.asked()[0].icon, MessageIcon::kInformation);
    const MainConfig& config = SetupState().config;
    QCOMPARE(config.inbound_dir, std::string("C:\\ALLFIX\\INBOUND\\"));
    QCOMPARE(config.queue_dir, std::string("C:\\ALLFIX\\QUEUE\\"));
    QCOMPARE(config.tic_outbound_dir, std::string("C:\\ALLFIX\\TICOUT\\"));
    QCOMPARE(config.bad_tic_dir, std::string("C:\\ALLFIX\\BADTIC\\"));
    QCOMPARE(config.netmail_dir, std::string("C:\\FD\\NETMAIL\\"));
    QCOMPARE(config.fileecho_dir, std::string("/fido/files/"));
    // Tags as ALLFIX stores them, after the echoes already configured.
    QCOMPARE(Tags(), (std::vector<std::string>{"EXISTING", "NODELIST", "Games", "PELIX.TEST"}));
    QCOMPARE(Descriptions(),
             (std::vector<std::string>{"Mine", "Weekly nodelist", "Games for DOS", ""}));
    QCOMPARE(SetupState().fileecho_list.count, 4u);
  }

  void MissingFAreasKeepsDirectoriesAndEchoesAndSaysWhichFile() {
    RunningSetup setup;
    WriteAllfix(setup.node, "allfix/");
    QVERIFY(QFile::remove(QString::fromStdString(setup.node.dir() + "allfix/FAREAS.FIX")));
    std::string path = setup.node.dir() + "allfix";
    ImportFrom(path.c_str());
    QCOMPARE(setup.messages.Texts(),
             std::vector<std::string>{"Error: Can't open " + path + "/fareas.fix"});
    QCOMPARE(setup.messages.asked()[0].icon, MessageIcon::kStop);
    QCOMPARE(SetupState().config.inbound_dir, std::string("C:\\ALLFIX\\INBOUND\\"));
    QCOMPARE(Tags(), (std::vector<std::string>{"EXISTING", "NODELIST", "Games", "PELIX.TEST"}));
    QCOMPARE(Descriptions(), (std::vector<std::string>{"Mine", "", "", ""}));
  }

  void MissingFileAreaKeepsTheDirectories() {
    RunningSetup setup;
    WriteAllfix(setup.node, "allfix/");
    QVERIFY(QFile::remove(QString::fromStdString(setup.node.dir() + "allfix/FILEAREA.FIX")));
    std::string path = setup.node.dir() + "allfix/";
    ImportFrom(path.c_str());
    QCOMPARE(setup.messages.Texts(),
             std::vector<std::string>{"Error: Can't open " + path + "filearea.fix"});
    QCOMPARE(SetupState().config.netmail_dir, std::string("C:\\FD\\NETMAIL\\"));
    QCOMPARE(Tags(), std::vector<std::string>{"EXISTING"});
  }

  void MissingSetupFixChangesNothing() {
    RunningSetup setup;
    const MainConfig before = SetupState().config;
    std::string path = setup.node.dir() + "nowhere";
    ImportFrom(path.c_str());
    QCOMPARE(setup.messages.Texts(),
             std::vector<std::string>{"Error: Can't open " + path + "/setup.fix"});
    QCOMPARE(SetupState().config, before);
    QCOMPARE(Tags(), std::vector<std::string>{"EXISTING"});
  }

  void PathStaysAndEscapeOrTitleBarCancel() {
    RunningSetup setup;
    WriteAllfix(setup.node, "allfix/");
    std::string path = setup.node.dir() + "allfix";
    ImportFrom(path.c_str());
    // The second time the dialog shows the path typed the first time;
    // Escape and the title bar cancel: a second import would add every
    // area again.
    QCOMPARE(ImportFrom(nullptr, Close::kEscape), QString::fromStdString(path));
    QCOMPARE(ImportFrom(nullptr, Close::kTitleBar), QString::fromStdString(path));
    QCOMPARE(setup.messages.Texts(), std::vector<std::string>{kSuccess});
    QCOMPARE(Tags(), (std::vector<std::string>{"EXISTING", "NODELIST", "Games", "PELIX.TEST"}));
    // "&Ok" imports again, every area a second time.
    ImportFrom(nullptr);
    QCOMPARE(Tags().size(), size_t{7});
    // The description goes to the first echo with the tag.
    QCOMPARE(Descriptions()[4], std::string());
  }

  void HeaderOnlyFileAreaAddsNoEchoAndEmptySecondInboundKeepsTheFirst() {
    RunningSetup setup;
    setup.node.WriteFile("setup.fix", SetupFix({{184, "D:\\IN"}, {1038, ""}}));
    setup.node.WriteFile("filearea.fix", FileAreaFix({}));
    setup.node.WriteFile("fareas.fix", "");
    ImportFrom("");
    QCOMPARE(setup.messages.Texts(), std::vector<std::string>{kSuccess});
    QCOMPARE(SetupState().config.inbound_dir, std::string("D:\\IN\\"));
    QCOMPARE(SetupState().config.queue_dir, std::string("/fido/queue/"));
    QCOMPARE(Tags(), std::vector<std::string>{"EXISTING"});
  }

  void ImportIntoAnEmptyListCountsFromOne() {
    SetupNode node;
    ScriptedMessages messages;
    LoadConfiguration(platform::DefaultEnv());
    CreateSetupWindows(platform::DefaultEnv());
    node.WriteFile("setup.fix", SetupFix({}));
    node.WriteFile("filearea.fix", FileAreaFix({"ONE", "TWO"}));
    node.WriteFile("fareas.fix", FAreasFix({}));
    ImportFrom("");
    QCOMPARE(Tags(), (std::vector<std::string>{"ONE", "TWO"}));
    QCOMPARE(SetupState().fileecho_list.count, 2u);
    DestroySetupWindows();
  }
};

QTEST_MAIN(AllfixImportTest)
#include "allfix_import_test.moc"
