#include "tests/setup/support/setup_node.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/platform.h"
#include "setup/config/setup_config.h"

namespace fs = std::filesystem;

SetupNode::SetupNode() {
  old_dir_ = fs::current_path().string();
  std::string pattern = (fs::temp_directory_path() / "pelix-setup-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) std::abort();
  dir_ = std::string(buffer.data()) + "/";
  fs::current_path(dir_);
  ResetSetupState(platform::DefaultEnv());
}

SetupNode::~SetupNode() {
  ResetSetupState(platform::DefaultEnv());
  std::error_code ec;
  fs::current_path(old_dir_, ec);
  fs::remove_all(dir_, ec);
}

bool SetupNode::WriteConfig(const std::string& text, std::string* error) const {
  ConfigText config;
  std::string why;
  if (!ParseConfigText(text, config, why)) {
    if (error) *error = why;
    return false;
  }
  return WriteConfigFiles(config, dir_);
}

void SetupNode::WriteFile(const std::string& name, const std::string& bytes) const {
  std::ofstream(dir_ + name, std::ios::binary) << bytes;
}

std::string SetupNode::ReadFile(const std::string& name) const {
  std::ifstream in(dir_ + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool SetupNode::Exists(const std::string& name) const { return fs::exists(dir_ + name); }

std::vector<std::string> SetupNode::List() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

ScriptedMessages::ScriptedMessages(std::vector<MessageAnswer> answers)
    : answers_(std::move(answers)) {
  previous_ = SetMessageBoxHandler([this](const MessageBoxRequest& request) {
    asked_.push_back(request);
    if (next_ < answers_.size()) return answers_[next_++];
    return request.buttons == MessageButtons::kYesNo ? MessageAnswer::kNo
                                                     : MessageAnswer::kOk;
  });
}

ScriptedMessages::~ScriptedMessages() { SetMessageBoxHandler(std::move(previous_)); }

std::vector<std::string> ScriptedMessages::Texts() const {
  std::vector<std::string> texts;
  for (const MessageBoxRequest& r : asked_) texts.push_back(r.caption + ": " + r.text);
  return texts;
}

std::string FullConfigText() {
  return "[config]\n"
         "inbound_dir = /fido/in/\n"
         "tic_outbound_dir = /fido/ticout/\n"
         "queue_dir = /fido/queue/\n"
         "fileecho_dir = /fido/files/\n"
         "netmail_dir = /fido/netmail/\n"
         "bad_tic_dir = /fido/bad/\n"
         "utc_offset = 3\n"
         "main_address = 2:5020/100\n"
         "kill_answers = 1\n"
         "log_file = /fido/pelix.log\n"
         "announce_db_dir = /fido/announce/\n"
         "announce_target = /fido/jam/newfiles\n"
         "announce_to = 1\n"
         "files_bbs_counter = 1\n"
         "aka_list = 2:5020/100.1,21:1/100\n"
         "[domain]\nname = fidonet\noutbound_dir = /fido/out\nis_default = 1\n"
         "has_main_zone = 1\nmain_zone = 2\nzone_list = 1,2,3,4\n"
         "[domain]\nname = othernet\noutbound_dir = /fido/other\nzone_list = 21\n"
         "[echo]\ntag = PELIX.TEST\ndescription = Test files\n"
         "link = 2:5020/1 receive send\nlink = 2:5020/2 send\n"
         "[echo]\ntag = NODELIST\npassthrough = 1\n"
         "[link]\nsysop_name = First Sysop\naddress = 2:5020/1\nareamgr_password = SECRET\n"
         "tic_password = TICPW\nflavour = h\n"
         "[link]\nsysop_name = Second Sysop\naddress = 2:5020/2\npassive = 1\n"
         "allow_autocreate = 1\n";
}
