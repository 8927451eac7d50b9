// A node whose queue, TIC outbound, file area or configuration lies on a
// file system that is full: nothing is lost, nothing is cut, each failure
// is logged, and once there is room again the next run finishes the work.
// Needs root to mount a small tmpfs; skipped without it.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "tests/support/stored_message.h"
#include "tests/support/temp_node.h"
#include "tests/support/tic_arrival.h"

namespace {

constexpr char kEcho[] =
    "[echo]\ntag = PELIX.TEST\nlink = 2:5020/1 receive\nlink = 2:5020/2 send\n"
    "[echo]\ntag = AREA1\nlink = 2:5020/1 receive\n"
    "[link]\naddress = 2:5020/1\ntic_password = TICPW\n"
    "[link]\naddress = 2:5020/2\nareamgr_password = secret\n";

// A small tmpfs over `dir`, filled up to `room` bytes.
class FullFileSystem {
 public:
  explicit FullFileSystem(const std::string& dir) : dir_(dir) {
    mounted_ = ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=256k") == 0;
  }
  ~FullFileSystem() {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

  // Fills the file system, leaving `pages` pages free, in a folder that no
  // pass of pelix looks into.
  void Fill(int pages) {
    ::mkdir((dir_ + "/fill").c_str(), 0755);
    std::string page(4096, 'x');
    std::vector<std::string> made;
    for (int n = 0;; ++n) {
      std::string name = dir_ + "/fill/" + std::to_string(n);
      std::ofstream out(name, std::ios::binary);
      out << page;
      out.close();
      made.push_back(name);
      if (!out) break;
    }
    for (int i = 0; i < pages + 1 && !made.empty(); ++i) {
      std::remove(made.back().c_str());
      made.pop_back();
    }
  }
  void MakeRoom() { std::system(("rm -rf '" + dir_ + "/fill'").c_str()); }

 private:
  std::string dir_;
  bool mounted_ = false;
};

bool HasErrorLine(const std::vector<std::string>& log) {
  for (const std::string& m : log)
    if (m[0] == '!') return true;
  return false;
}

TEST(FullDisk, NothingIsLostOrCutAndEveryFailureIsLogged) {
  const std::string contents(3000, 'f');
  struct Case {
    const char* dir;   // what lies on the full file system; "" the node itself
    int free_pages;
  } cases[] = {{"queue", 0}, {"ticout", 0}, {"files", 0}, {"", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(*c.dir ? c.dir : "configuration");
    TempNode node;
    TempNode outside;  // log and netmail of the configuration case
    if (*c.dir) node.MakeDir(c.dir);
    FullFileSystem fs(*c.dir ? node.Path(c.dir) : node.dir().substr(0, node.dir().size() - 1));
    if (!fs.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
    std::string config = BasicConfigText() + kEcho;
    const bool robot = !*c.dir;
    if (robot) {
      config.replace(config.find("log_file = pelix.log"), 20, "log_file = " + outside.Path("pelix.log"));
      config.replace(config.find("netmail_dir = netmail/"), 22,
                     "netmail_dir = " + outside.Path("netmail/"));
      outside.MakeDir("netmail");
      TestMessage request;
      request.orig_net = 5020, request.orig_node = 2, request.dest_net = 5020, request.dest_node = 100;
      request.kludges = {"INTL 2:5020/100 2:5020/2", "MSGID: 2:5020/2 1"};
      request.lines = {"+AREA1"};
      outside.WriteFile("netmail/1.msg", BuildStoredMessage(request));
    }
    node.WriteConfig(config);
    const std::string fe_before = node.ReadFile("pelix.fe");
    if (!robot) DropArrival(node, "A.TIC", "A.ZIP", contents, TicLines("A.ZIP", contents));
    fs.Fill(c.free_pages);

    RunResult full = node.Run();
    const TempNode& log_node = robot ? outside : node;
    EXPECT_TRUE(HasErrorLine(log_node.LogMessages())) << full.output;
    EXPECT_FALSE(node.Exists("pelix.bsy"));
    if (robot) {
      EXPECT_EQ(node.ReadFile("pelix.fe"), fe_before);
      EXPECT_TRUE(outside.Exists("netmail/1.msg"));
      EXPECT_EQ(outside.List("netmail"), std::vector<std::string>{"1.msg"});
    } else {
      // Whatever exists is whole; what is missing is still in the inbound.
      for (const char* copy : {"queue/A.ZIP", "files/PELIX.TEST/A.ZIP"}) {
        if (node.Exists(copy)) {
          EXPECT_EQ(node.ReadFile(copy), contents) << copy;
        }
      }
      const std::string flow = node.Exists("out/139c0002.flo") ? node.ReadFile("out/139c0002.flo") : "";
      size_t at = 0;
      while (at < flow.size()) {
        size_t end = flow.find("\r\n", at);
        std::string line = flow.substr(at, end - at);
        at = end + 2;
        const bool tic = line[0] == '^';
        std::string path = tic ? line.substr(1) : line;
        std::ifstream named(path[0] == '/' ? path : node.Path(path), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(named)), {});
        EXPECT_EQ(tic ? bytes.find("File A.ZIP\r\n") != std::string::npos : bytes == contents, true)
            << "flow line names a cut or missing file: " << line;
      }
      const bool placed = node.Exists("files/PELIX.TEST/A.ZIP");
      EXPECT_TRUE(placed || node.Exists("in/A.ZIP"));
    }

    fs.MakeRoom();
    RunResult next = node.Run();
    EXPECT_EQ(next.status, 0) << next.output;
    if (robot) {
      EXPECT_NE(node.ReadFile("pelix.fe"), fe_before);
      EXPECT_EQ(outside.List("netmail"), std::vector<std::string>{"2.msg"});  // the reply
    } else {
      EXPECT_EQ(node.ReadFile("files/PELIX.TEST/A.ZIP"), contents);
      EXPECT_EQ(node.List("in"), std::vector<std::string>{});
      const std::string flow = node.ReadFile("out/139c0002.flo");
      EXPECT_NE(flow.find("queue/A.ZIP\r\n"), std::string::npos) << flow;
      EXPECT_NE(flow.find("^"), std::string::npos) << flow;
    }
  }
}

}  // namespace
