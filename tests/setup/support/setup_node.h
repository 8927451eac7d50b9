// A temporary node directory that a setup test works in, and message boxes
// answered from a script instead of by a person.
#pragma once

#include <string>
#include <vector>

#include "setup/config/message_box.h"
#include "tools/config_files.h"

// Creates a fresh directory and makes it the working directory for the
// node's lifetime; afterwards the old working directory is restored and the
// node removed. setup's own state is emptied on both ends.
class SetupNode {
 public:
  SetupNode();
  ~SetupNode();
  SetupNode(const SetupNode&) = delete;
  SetupNode& operator=(const SetupNode&) = delete;

  // The directory, ending in "/".
  const std::string& dir() const { return dir_; }

  // Writes the four configuration files from their text form; false (and
  // the reason in `error`) when the text does not parse.
  bool WriteConfig(const std::string& text, std::string* error = nullptr) const;
  void WriteFile(const std::string& name, const std::string& bytes) const;
  std::string ReadFile(const std::string& name) const;
  bool Exists(const std::string& name) const;
  // Names in the directory, sorted.
  std::vector<std::string> List() const;

 private:
  std::string dir_;
  std::string old_dir_;
};

// Installs itself as the message-box handler and restores the previous one
// when it goes. Every box is recorded; answers are taken from the script in
// turn, and once it is used up OK boxes get OK and questions No.
class ScriptedMessages {
 public:
  explicit ScriptedMessages(std::vector<MessageAnswer> answers = {});
  ~ScriptedMessages();
  ScriptedMessages(const ScriptedMessages&) = delete;
  ScriptedMessages& operator=(const ScriptedMessages&) = delete;

  const std::vector<MessageBoxRequest>& asked() const { return asked_; }
  // "caption: text" of every box, in order.
  std::vector<std::string> Texts() const;

 private:
  std::vector<MessageAnswer> answers_;
  size_t next_ = 0;
  std::vector<MessageBoxRequest> asked_;
  MessageBoxHandler previous_;
};

// A configuration in text form with every MainConfig field set, two domains,
// echoes with entries and two links.
std::string FullConfigText();
