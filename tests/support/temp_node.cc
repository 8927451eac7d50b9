#include "tests/support/temp_node.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

}  // namespace

TempNode::TempNode() : TempNode(fs::temp_directory_path().string()) {}

TempNode::TempNode(const std::string& parent) {
  std::string pattern = (fs::path(parent) / "pelix-node-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  char* made = mkdtemp(buffer.data());
  if (!made) ADD_FAILURE() << "cannot create a temporary directory";
  dir_ = std::string(made ? made : ".") + "/";
}

TempNode::~TempNode() {
  std::error_code ec;
  if (!::testing::Test::HasFailure()) fs::remove_all(dir_, ec);
}

void TempNode::WriteConfig(const std::string& text) {
  ConfigText config;
  std::string error;
  ASSERT_TRUE(ParseConfigText(text, config, error)) << error;
  ASSERT_TRUE(WriteConfigFiles(config, dir_));
  // A node has the netmail folder it names (pelix reports one missing).
  const std::string& netmail = config.config.netmail_dir;
  if (!netmail.empty() && netmail.front() != '/' && netmail.find("..") == std::string::npos)
    MakeDir(netmail);
}

ConfigText TempNode::ReadConfig() const {
  ConfigText config;
  std::string error;
  EXPECT_TRUE(ReadConfigFiles(dir_, config, error)) << error;
  return config;
}

void TempNode::WriteFile(const std::string& relative, const std::string& bytes) const {
  fs::path p = dir_ + relative;
  std::error_code ec;
  fs::create_directories(p.parent_path(), ec);
  std::ofstream out(p, std::ios::binary);
  out << bytes;
  ASSERT_TRUE(out.good()) << "cannot write " << p;
}

std::string TempNode::ReadFile(const std::string& relative) const {
  std::ifstream in(dir_ + relative, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool TempNode::Exists(const std::string& relative) const {
  std::error_code ec;
  return fs::exists(dir_ + relative, ec);
}

void TempNode::MakeDir(const std::string& relative) const {
  std::error_code ec;
  fs::create_directories(dir_ + relative, ec);
}

std::vector<std::string> TempNode::List(const std::string& relative) const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir_ + relative, ec))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

RunResult TempNode::Run(const std::vector<std::string>& arguments) const {
  return RunProgram(PELIX_BINARY, arguments, dir_);
}

std::vector<std::string> TempNode::LogLines(const std::string& log) const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(log));
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> TempNode::LogMessages(const std::string& log) const {
  std::vector<std::string> messages;
  for (const std::string& line : LogLines(log)) {
    // "X dd Mon hh:mm:ss PELX message": the prefix is 23 characters.
    if (line.size() >= 23 && line.compare(18, 5, "PELX ") == 0) {
      if (line.compare(23, 10, "Summary : ") == 0) continue;
      messages.push_back(line.substr(0, 1) + " " + line.substr(23));
    } else {
      messages.push_back(line);
    }
  }
  return messages;
}

std::string BasicConfigText() {
  return "[config]\n"
         "inbound_dir = in/\n"
         "tic_outbound_dir = ticout/\n"
         "queue_dir = queue/\n"
         "fileecho_dir = files/\n"
         "netmail_dir = netmail/\n"
         "bad_tic_dir = bad/\n"
         "utc_offset = 3\n"
         "main_address = 2:5020/100\n"
         "log_file = pelix.log\n"
         "announce_db_dir = announce/\n"
         "announce_target = area/newfiles\n"
         "[domain]\n"
         "name = fidonet\n"
         "outbound_dir = out\n"
         "is_default = 1\n"
         "has_main_zone = 1\n"
         "main_zone = 2\n"
         "zone_list = 1,2,3,4,5,6\n";
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& dir) {
  std::string command = "cd " + Quote(dir) + " && exec " + Quote(program);
  for (const std::string& a : arguments) command += " " + Quote(a);
  command += " 2>&1 </dev/null";
  RunResult result;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    ADD_FAILURE() << "cannot start " << program;
    return result;
  }
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  int raw = ::pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return result;
}
