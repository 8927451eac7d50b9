// A node configured from nothing through every dialog of setup and the
// ALLFIX import, saved at exit, then run by the real pelix: a file that
// arrives from the uplink goes where the links and echoes typed in say.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "platform/platform.h"
#include "setup/config/setup_config.h"
#include "setup/ui/main_form.h"
#include "setup/ui/node_form.h"
#include "setup/ui/setup_windows.h"
#include "tests/setup/support/allfix_files.h"
#include "tests/setup/support/setup_node.h"
#include "tests/support/temp_node.h"
#include "tests/support/tic_arrival.h"

namespace {

QLineEdit* Edit(QWidget* form, const char* name) { return form->findChild<QLineEdit*>(name); }
void Click(QWidget* form, const char* name) {
  QTest::mouseClick(form->findChild<QPushButton*>(name), Qt::LeftButton);
}
void Tick(QWidget* form, const char* name) {
  QCheckBox* box = form->findChild<QCheckBox*>(name);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}
void Type(QWidget* form, const char* name, const QString& text) {
  Edit(form, name)->clear();
  QTest::keyClicks(Edit(form, name), text);
}

// Chooses a menu item; `use` works on the modal dialog it opens and must
// close it.
void FromMenu(const char* item, std::function<void(QDialog*)> use) {
  bool opened = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    opened = true;
    use(dialog);
  });
  Windows().main_form->findChild<QAction*>(item)->trigger();
  QVERIFY2(opened, item);
}

// "&Add" in the File Echo dialog, answering the Connected Node picker.
void AddNode(QDialog* echoes, const QString& address, bool receive, bool send) {
  QTimer::singleShot(0, [=] {
    auto* picker = qobject_cast<TNodeForm*>(QApplication::activeModalWidget());
    if (!picker) return;
    QTest::keyClicks(picker->Edit1(), address);
    if (receive) Tick(picker, "CheckBox1");
    if (send) Tick(picker, "CheckBox2");
    Click(picker, "Button1");
  });
  Click(echoes, "Button8");
}

// Moves the File Echo dialog to the echo with `tag`.
bool ShowEcho(QDialog* echoes, const QString& tag) {
  Click(echoes, "Button3");
  for (int i = 0; i < 100; ++i) {
    if (Edit(echoes, "Edit1")->text() == tag) return true;
    Click(echoes, "Button5");
  }
  return false;
}

// Lines ended by LF or CR LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

const char kContents[] = "A file for the echo\r\n";

}  // namespace

class EditedNodeRunsTest : public QObject {
  Q_OBJECT

 private slots:
  void NodeEditedInEveryDialogForwardsAnArrivingFileAsEntered() {
    SetupNode node;
    QDir dir(QString::fromStdString(node.dir()));
    for (const char* sub : {"in", "ticout", "queue", "files", "netmail", "bad", "announce"}) {
      QVERIFY(dir.mkdir(sub));
    }
    // The old ALLFIX setup on this machine knew the folders and the areas.
    QVERIFY(dir.mkdir("allfix"));
    node.WriteFile("allfix/SETUP.FIX", SetupFix({{184, "in\\"},
                                                 {428, "queue"},
                                                 {489, "ticout\\"},
                                                 {794, "bad"},
                                                 {977, "netmail"}}));
    node.WriteFile("allfix/FILEAREA.FIX", FileAreaFix({"PELIX.TEST", "NODELIST"}));
    node.WriteFile("allfix/FAREAS.FIX", FAreasFix({{"PELIX.TEST", "Test files"}}));

    // The import's success box, then Yes to "Save changes ?".
    ScriptedMessages messages({MessageAnswer::kOk, MessageAnswer::kYes});
    LoadConfiguration(platform::DefaultEnv());
    CreateSetupWindows(platform::DefaultEnv());

    FromMenu("ImportALLFIXconfiguration1", [&](QDialog* d) {
      QTest::keyClicks(Edit(d, "Edit1"), QString::fromStdString(node.dir() + "allfix"));
      Click(d, "Button1");
    });
    FromMenu("Generaloptions1", [](QDialog* d) {
      Type(d, "Edit1", "2:5020/100");
      Type(d, "Edit2", "3");
      Click(d, "Button1");
    });
    FromMenu("Pathandfilenames1", [](QDialog* d) {
      Type(d, "Edit4", "files");
      Type(d, "Edit7", "pelix.log");
      Click(d, "Button1");
    });
    FromMenu("AnnounceOptions1", [](QDialog* d) {
      Type(d, "Edit1", "announce");
      Type(d, "Edit2", "newfiles");
      Click(d, "Button1");
    });
    FromMenu("Domainsandoutbouns1", [](QDialog* d) {
      Type(d, "Edit1", "fidonet");
      Type(d, "Edit2", "out");
      Tick(d, "CheckBox1");
      Tick(d, "CheckBox2");
      Type(d, "Edit3", "2");
      Type(d, "Edit4", "1,2,3");
      Click(d, "Button1");
      Type(d, "Edit1", "othernet");
      Type(d, "Edit2", "other");
      Type(d, "Edit4", "99");
      Click(d, "Button6");
    });
    FromMenu("Links1", [](QDialog* d) {
      QComboBox* flavour = d->findChild<QComboBox*>("ComboBox1");
      auto link = [&](const char* address, const char* password, const char* status) {
        Type(d, "Edit2", address);
        Type(d, "Edit4", password);
        flavour->lineEdit()->clear();
        QTest::keyClicks(flavour->lineEdit(), status);
      };
      link("2:5020/3", "", "Hold");
      Tick(d, "CheckBox1");  // passive: gets nothing for now
      Click(d, "Button1");
      link("2:5020/1", "TICPW", "Normal");
      Type(d, "Edit1", "Uplink");
      Click(d, "Button1");
      link("2:5020/2", "", "crash");
      Click(d, "Button8");
      Click(d, "Button7");
    });
    FromMenu("FileEchoes1", [](QDialog* d) {
      QVERIFY(ShowEcho(d, "PELIX.TEST"));
      AddNode(d, "2:5020/1", true, false);
      AddNode(d, "2:5020/2", false, true);
      AddNode(d, "2:5020/3", false, true);
      AddNode(d, "2:5020/4", false, false);  // neither box: not stored
      Click(d, "Button6");
      Click(d, "Button1");
      QTest::keyClicks(Edit(d, "Edit1"), "local.only");
      Tick(d, "CheckBox1");
      Click(d, "Button11");
      Click(d, "Button7");
    });
    DestroySetupWindows();
    QCOMPARE(messages.Texts(),
             (std::vector<std::string>{"Attention: Configuration imported successfully.",
                                       "Warning: Save changes ?"}));
    QVERIFY(!node.Exists("pelix.bsy"));

    ConfigText saved;
    std::string error;
    QVERIFY2(ReadConfigFiles(node.dir(), saved, error), error.c_str());
    QCOMPARE(saved.config.inbound_dir, std::string("in\\"));
    QCOMPARE(saved.config.queue_dir, std::string("queue/"));
    QCOMPARE(saved.domains.size(), size_t{2});
    QCOMPARE(saved.domains[0], (DomainRecord{"fidonet", "out", 1, 1, 2, "1,2,3"}));
    std::vector<std::string> links;
    for (const LinkRecord& l : saved.links) links.push_back(l.address + " " + l.flavour);
    QCOMPARE(links, (std::vector<std::string>{"2:5020/1 f", "2:5020/2 c", "2:5020/3 h"}));
    std::vector<std::string> echoes;
    for (const FileEchoRecord& e : saved.echoes) {
      echoes.push_back(e.tag + " " + std::to_string(e.links.size()));
    }
    QCOMPARE(echoes, (std::vector<std::string>{"LOCAL.ONLY 0", "NODELIST 0", "PELIX.TEST 3"}));

    // The uplink sends a file into PELIX.TEST.
    node.WriteFile("in/FILE.ZIP", kContents);
    node.WriteFile("in/A.TIC", TicText(TicLines("FILE.ZIP", kContents)));
    RunResult run = RunProgram(PELIX_BINARY, {}, node.dir());
    QCOMPARE(run.status, 0);
    // The log without its dates: mark and message.
    std::vector<std::string> logged;
    for (const std::string& line : Lines(node.ReadFile("pelix.log"))) {
      size_t text = line.find(" PELX ");
      if (text != std::string::npos) logged.push_back(line.substr(0, 1) + line.substr(text + 5));
    }
    QCOMPARE(logged, (std::vector<std::string>{
                         "^ No Netmail messages found", "* Processing A.TIC",
                         "$ Area : PELIX.TEST", "$ File : FILE.ZIP", "$ From : 2:5020/1",
                         "* Exported to 2:5020/2", "* Node 2:5020/3 is passive, skiping",
                         "* Summary : TICs accepted 1, refused 0, left in the inbound 0; "
                         "requests answered 0; error lines 0"}));
    // Only the crash link gets it; the uplink sent it and 2:5020/3 is
    // passive.
    QCOMPARE(QDir(QString::fromStdString(node.dir() + "out")).entryList(QDir::Files),
             QStringList{"139c0002.clo"});
    std::vector<std::string> flow = Lines(node.ReadFile("out/139c0002.clo"));
    QCOMPARE(flow.size(), size_t{2});
    QCOMPARE(flow[0], node.dir() + "queue/FILE.ZIP");
    QCOMPARE(node.ReadFile("queue/FILE.ZIP"), std::string(kContents));
    QCOMPARE(node.ReadFile("files/PELIX.TEST/FILE.ZIP"), std::string(kContents));
    QCOMPARE(node.ReadFile("files/PELIX.TEST/FILES.BBS"), std::string("FILE.ZIP     A test file\r\n"));
    QCOMPARE(node.ReadFile("announce/Announce.PELIX.TEST"),
             std::string(" FILE.ZIP     A test file\r\n"));
    QVERIFY(!node.Exists("in/A.TIC"));
    QVERIFY(!node.Exists("bad/A.TIC"));
  }
};

QTEST_MAIN(EditedNodeRunsTest)
#include "edited_node_runs_test.moc"
