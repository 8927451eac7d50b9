// setup's start: the busy flag, foreign and old configurations, the
// questions asked and the exit codes of a start that cannot go on.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <cerrno>
#include <fstream>

#include "common/node_owner.h"
#include "common/records.h"
#include "platform/platform.h"
#include "setup/config/setup_config.h"
#include "setup/ui/message_box_qt.h"
#include "setup/ui/setup_main.h"
#include "tests/setup/support/setup_node.h"
#include "tests/support/faulty_env.h"

namespace {

// "caption: text [buttons icon]", how a sysop would describe the box.
std::string Describe(const MessageBoxRequest& r) {
  std::string buttons = r.buttons == MessageButtons::kYesNo ? "Yes/No" : "OK";
  const char* icon = r.icon == MessageIcon::kQuestion      ? " question"
                     : r.icon == MessageIcon::kExclamation ? " exclamation"
                                                           : "";
  return r.caption + ": " + r.text + " [" + buttons + icon + "]";
}

std::vector<std::string> Describe(const std::vector<MessageBoxRequest>& asked) {
  std::vector<std::string> out;
  for (const auto& r : asked) out.push_back(Describe(r));
  return out;
}

struct ChildRun {
  int status = -1;  // exit code, or -1 when the child did not exit by itself
  std::vector<std::string> asked;
};

// Runs setup's entry in a child process in the node directory with the
// message boxes answered from `answers`, its files reached through `env`
// (the real system when none). Each box is recorded together with whether
// any window (any Qt application) existed when it was shown. A start that
// wrongly went on to its windows is ended after a minute instead of hanging
// the test.
ChildRun RunSetupInChild(const SetupNode& node, std::vector<MessageAnswer> answers,
                         platform::Env* env = nullptr) {
  const std::string record = node.dir() + "asked.txt";
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(60);
    size_t next = 0;
    SetMessageBoxHandler([&](const MessageBoxRequest& r) {
      std::ofstream(record, std::ios::app)
          << Describe(r) << (QCoreApplication::instance() ? " with windows" : "") << "\n";
      return next < answers.size() ? answers[next++] : MessageAnswer::kNo;
    });
    char name[] = "setup";
    char* argv[] = {name, nullptr};
    RunSetup(1, argv, env ? *env : platform::DefaultEnv());
    ::_exit(99);
  }
  ChildRun run;
  int wstatus = 0;
  if (pid > 0 && ::waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) {
    run.status = WEXITSTATUS(wstatus);
  }
  std::ifstream in(record);
  for (std::string line; std::getline(in, line);) run.asked.push_back(line);
  return run;
}

std::string ConfigOfVersion(int version) {
  return "[config]\nversion = " + std::to_string(version) +
         "\ninbound_dir = /fido/in/\nmain_address = 2:5020/100\nannounce_to = 1\n"
         "files_bbs_counter = 1\naka_list = 2:5020/100.1\nlog_file = /fido/pelix.log\n"
         "[link]\naddress = 2:5020/1\nsysop_name = From pelix.nod\n";
}

// A person in front of the real program: every Qt message box on screen
// gets its text recorded and Yes (or OK) pressed, and the main window, once
// shown, is closed by its title bar. Armed in every QApplication the
// program makes.
std::string g_box_record;

void ActLikeTheSysop() {
  QWidget* modal = QApplication::activeModalWidget();
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    std::ofstream(g_box_record, std::ios::app) << box->windowTitle().toStdString() << ": "
                                               << box->text().toStdString() << "\n";
    QAbstractButton* yes = box->button(QMessageBox::Yes);
    (yes ? yes : box->button(QMessageBox::Ok))->click();
  } else if (!modal) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->objectName() == "TMainForm" && window->isVisible()) window->close();
    }
  }
  QTimer::singleShot(10, ActLikeTheSysop);
}

void ArmTheSysop() { QTimer::singleShot(0, ActLikeTheSysop); }

// A node directory of another user, as root sees it.
class ForeignNodeEnv : public platform::EnvWrapper {
 public:
  ForeignNodeEnv() : EnvWrapper(&platform::DefaultEnv()) {}
  std::string ForeignOwner(const std::string&) override { return "ftn"; }
};

const char kConvert[] = "Warning: Convert configuration files ? [Yes/No question]";
const char kUnknownVersion[] =
    "Warning: Incorect configuration version ID. Continue ? [Yes/No exclamation]";

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void BusyFlagRefusesBeforeAnyWindowAndLeavesTheFlag() {
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(4)));
    node.WriteFile("pelix.bsy", "held by pelix");
    ChildRun run = RunSetupInChild(node, {});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.asked, std::vector<std::string>{"Fatal: Pelix is busy (remove pelix.bsy if no "
                                                  "other Pelix program runs) [OK]"});
    QCOMPARE(node.ReadFile("pelix.bsy"), std::string("held by pelix"));
  }

  void ForeignConfigurationEndsWithCode1AndGivesTheFlagBack_data() {
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("lower case") << QByteArray("pelix\0", 6);
    QTest::newRow("no zero after the name") << QByteArray("PELIXX");
    QTest::newRow("shorter than the signature") << QByteArray("PELI");
    QTest::newRow("empty file") << QByteArray();
  }
  void ForeignConfigurationEndsWithCode1AndGivesTheFlagBack() {
    QFETCH(QByteArray, start);
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(4)));
    std::string cfg = node.ReadFile("pelix.cfg");
    cfg.replace(0, 6, start.toStdString());
    node.WriteFile("pelix.cfg", cfg);
    ChildRun run = RunSetupInChild(node, {});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.asked, std::vector<std::string>{
                            "Fatal: File pelix.cfg is not a Pelix configuration file [OK]"});
    QVERIFY(!node.Exists("pelix.bsy"));
    QCOMPARE(node.ReadFile("pelix.cfg"), cfg);
  }

  // A file another user keeps to himself (mode 0600), or one a failing
  // disk cannot give, must never load as an empty list that the save at
  // the end would write over it.
  void UnreadableConfigurationFileRefusesTheStart_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("reason");
    QTest::newRow("pelix.cfg") << "pelix.cfg" << EACCES << "Permission denied";
    QTest::newRow("pelix.dmn") << "pelix.dmn" << EIO << "Input/output error";
    QTest::newRow("pelix.fe") << "pelix.fe" << EACCES << "Permission denied";
    QTest::newRow("pelix.nod") << "pelix.nod" << EACCES << "Permission denied";
    QTest::newRow("pelix.ini") << "pelix.ini" << EACCES << "Permission denied";
  }
  void UnreadableConfigurationFileRefusesTheStart() {
    QFETCH(QString, file);
    QFETCH(int, error);
    QFETCH(QString, reason);
    SetupNode node;
    QVERIFY(node.WriteConfig(FullConfigText()));
    node.WriteFile("pelix.ini", "[pelix]\ndupe_days = 3\n");
    std::vector<std::string> before;
    for (const char* name : {"pelix.cfg", "pelix.dmn", "pelix.fe", "pelix.nod", "pelix.ini"})
      before.push_back(node.ReadFile(name));
    FaultyEnv env;
    env.Fail(FaultyEnv::Op::kRead, 1, file.toStdString(), -1, error);
    ChildRun run = RunSetupInChild(node, {MessageAnswer::kYes}, &env);
    QCOMPARE(run.status, 1);
    QCOMPARE(run.asked, std::vector<std::string>{"Fatal: Can't read " + file.toStdString() + ", " +
                                                 reason.toStdString() + " [OK]"});
    QVERIFY(!node.Exists("pelix.bsy"));
    std::vector<std::string> after;
    for (const char* name : {"pelix.cfg", "pelix.dmn", "pelix.fe", "pelix.nod", "pelix.ini"})
      after.push_back(node.ReadFile(name));
    QCOMPARE(after, before);
  }

  void RootInAnotherUsersNodeRefusesBeforeWritingAnything() {
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(4)));
    ForeignNodeEnv env;
    ChildRun run = RunSetupInChild(node, {}, &env);
    QCOMPARE(run.status, kExitNotNodeOwner);
    std::string refusal = NotNodeOwnerText("ftn", "pelix-setup");
    refusal.pop_back();  // its line end
    QCOMPARE(run.asked, std::vector<std::string>{"Fatal: " + refusal + " [OK]"});
    QVERIFY(refusal.find("sudo -u ftn pelix-setup") != std::string::npos);
    QCOMPARE(node.List(), (std::vector<std::string>{"asked.txt", "pelix.cfg", "pelix.dmn",
                                                    "pelix.fe", "pelix.nod"}));
  }

  void DecliningConversionEndsWithCode4AndChangesNothing() {
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(3)));
    std::string cfg = node.ReadFile("pelix.cfg");
    ChildRun run = RunSetupInChild(node, {MessageAnswer::kNo});
    QCOMPARE(run.status, 4);
    QCOMPARE(run.asked, std::vector<std::string>{kConvert});
    QVERIFY(!node.Exists("pelix.bsy"));
    QCOMPARE(node.ReadFile("pelix.cfg"), cfg);
  }

  void UnknownVersionAsksTwiceAndEndsWithCode4WhenTheSecondIsDeclined() {
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(5)));
    ChildRun run = RunSetupInChild(node, {MessageAnswer::kYes, MessageAnswer::kNo});
    QCOMPARE(run.status, 4);
    QCOMPARE(run.asked, (std::vector<std::string>{kConvert, kUnknownVersion}));
    QVERIFY(!node.Exists("pelix.bsy"));
  }

  void RealProgramConvertsVersion3AndSavesItAsVersion4() {
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(3)));
    MainConfig expected = ReadMainConfig(node.ReadFile("pelix.cfg"));
    expected.files_bbs_counter = 0;
    expected.aka_list.clear();
    g_box_record = node.dir() + "boxes.txt";
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
      ::alarm(60);
      qAddPreRoutine(ArmTheSysop);
      SetMessageBoxHandler(ShowQtMessageBox);
      char name[] = "setup";
      char* argv[] = {name, nullptr};
      std::exit(RunSetup(1, argv, platform::DefaultEnv()));
    }
    int wstatus = 0;
    QCOMPARE(::waitpid(pid, &wstatus, 0), pid);
    QVERIFY(WIFEXITED(wstatus));
    QCOMPARE(WEXITSTATUS(wstatus), 0);
    QCOMPARE(node.ReadFile("boxes.txt"),
             std::string("Warning: Convert configuration files ?\nWarning: Save changes ?\n"));
    MainConfig saved = ReadMainConfig(node.ReadFile("pelix.cfg"));
    QCOMPARE(saved.version, uint16_t{4});
    expected.version = 4;
    QVERIFY(saved == expected);
    QVERIFY(!node.Exists("pelix.bsy"));
  }

  // Started where Qt finds no display (from cron, over ssh without X): Qt
  // ends the process. The flag that setup made must not stay behind to stop
  // pelix, while one that a running pelix holds must stay.
  void StartWithoutADisplayLeavesNoFlagOfItsOwn_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("pelix_running");
    QTest::newRow("current configuration") << 4 << false;
    QTest::newRow("old configuration asks first") << 3 << false;
    QTest::newRow("pelix holds the flag") << 4 << true;
  }
  void StartWithoutADisplayLeavesNoFlagOfItsOwn() {
    QFETCH(int, version);
    QFETCH(bool, pelix_running);
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(version)));
    if (pelix_running) node.WriteFile("pelix.bsy", "held by pelix");
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
      ::alarm(60);
      rlimit no_core{0, 0};
      ::setrlimit(RLIMIT_CORE, &no_core);
      ::setenv("QT_QPA_PLATFORM", "no-such-display", 1);
      qInstallMessageHandler(nullptr);  // Qt's own fatal path, not the test log's
      SetMessageBoxHandler(ShowQtMessageBox);
      char name[] = "setup";
      char* argv[] = {name, nullptr};
      RunSetup(1, argv, platform::DefaultEnv());
      ::_exit(99);
    }
    int wstatus = 0;
    QCOMPARE(::waitpid(pid, &wstatus, 0), pid);
    QVERIFY(WIFSIGNALED(wstatus));
    if (pelix_running) {
      QCOMPARE(node.ReadFile("pelix.bsy"), std::string("held by pelix"));
    } else {
      QVERIFY(!node.Exists("pelix.bsy"));
    }
  }

  void NoConfigurationStartsWithoutAQuestion() {
    SetupNode node;
    ScriptedMessages messages;
    LoadConfiguration(platform::DefaultEnv());
    QVERIFY(messages.asked().empty());
    QVERIFY(node.Exists("pelix.bsy"));
    QCOMPARE(SetupState().config.version, uint16_t{4});
    QCOMPARE(SetupState().config.kill_answers, 0);
    QCOMPARE(SetupState().config.announce_to, 0);
    QVERIFY(!SetupState().domain_list.head && !SetupState().fileecho_list.head &&
            !SetupState().link_list.head);
  }

  void Version3IsConvertedInMemoryOnly() {
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(3)));
    std::string cfg = node.ReadFile("pelix.cfg");
    MainConfig expected = ReadMainConfig(cfg);
    expected.version = 4;
    expected.files_bbs_counter = 0;
    expected.aka_list.clear();
    ScriptedMessages messages({MessageAnswer::kYes});
    LoadConfiguration(platform::DefaultEnv());
    QCOMPARE(Describe(messages.asked()), std::vector<std::string>{kConvert});
    QVERIFY(SetupState().config == expected);
    QCOMPARE(SetupState().config.announce_to, 1);
    QCOMPARE(node.ReadFile("pelix.cfg"), cfg);
  }

  void ShortVersion3FileLoadsTheFieldsItHolds() {
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(3)));
    node.WriteFile("pelix.cfg", node.ReadFile("pelix.cfg").substr(0, 2570));
    ScriptedMessages messages({MessageAnswer::kYes});
    LoadConfiguration(platform::DefaultEnv());
    QCOMPARE(SetupState().config.main_address, std::string("2:5020/100"));
    QCOMPARE(SetupState().config.log_file, std::string("/fido/pelix.log"));
    QCOMPARE(SetupState().config.announce_to, 1);
  }

  void Version2TakesItsLinksFromPelixLnk() {
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(2)));
    QVERIFY(std::rename("pelix.nod", "pelix.lnk") == 0);
    ScriptedMessages messages({MessageAnswer::kYes});
    LoadConfiguration(platform::DefaultEnv());
    QCOMPARE(Describe(messages.asked()), std::vector<std::string>{kConvert});
    const MainConfig& config = SetupState().config;
    QCOMPARE(config.version, uint16_t{4});
    QCOMPARE(config.announce_to, 0);
    QCOMPARE(config.files_bbs_counter, 0);
    QCOMPARE(config.aka_list, std::string());
    QCOMPARE(config.main_address, std::string("2:5020/100"));
    QVERIFY(node.Exists("pelix.nod") && !node.Exists("pelix.lnk"));
    QVERIFY(SetupState().link_list.head);
    QCOMPARE(SetupState().link_list.head->record.sysop_name, std::string("From pelix.nod"));
  }

  void Version2NeverReplacesAnExistingPelixNod() {
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(2)));
    std::string nod = node.ReadFile("pelix.nod");
    node.WriteFile("pelix.lnk", std::string(kLinkRecordSize, 'x'));
    ScriptedMessages messages({MessageAnswer::kYes});
    LoadConfiguration(platform::DefaultEnv());
    QCOMPARE(node.ReadFile("pelix.nod"), nod);
    QVERIFY(node.Exists("pelix.lnk"));
    QCOMPARE(SetupState().link_list.head->record.sysop_name, std::string("From pelix.nod"));
  }

  void UnknownVersionAcceptedTwiceKeepsEveryField() {
    SetupNode node;
    QVERIFY(node.WriteConfig(ConfigOfVersion(5)));
    MainConfig expected = ReadMainConfig(node.ReadFile("pelix.cfg"));
    expected.version = 4;
    ScriptedMessages messages({MessageAnswer::kYes, MessageAnswer::kYes});
    LoadConfiguration(platform::DefaultEnv());
    QCOMPARE(Describe(messages.asked()), (std::vector<std::string>{kConvert, kUnknownVersion}));
    QVERIFY(SetupState().config == expected);
    QCOMPARE(SetupState().config.aka_list, std::string("2:5020/100.1"));
  }
};

QTEST_APPLESS_MAIN(StartupTest)
#include "startup_test.moc"
