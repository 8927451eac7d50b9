// A sample node in a fresh temporary directory: its configuration written
// from the text form, files dropped in, the real pelix binary run in it.
#pragma once

#include <string>
#include <vector>

#include "tools/config_files.h"

struct RunResult {
  int status = 0;       // exit status as the shell sees it (0..255)
  std::string output;   // everything the program printed
};

class TempNode {
 public:
  TempNode();
  // In `parent` instead of the temporary directory: /dev/shm, say, where
  // the holes of a sparse file read without taking memory.
  explicit TempNode(const std::string& parent);
  ~TempNode();
  TempNode(const TempNode&) = delete;
  TempNode& operator=(const TempNode&) = delete;

  // The node's directory, ending in "/".
  const std::string& dir() const { return dir_; }
  std::string Path(const std::string& relative) const { return dir_ + relative; }

  // A configuration in the text form of tools/config_text.h; fails the test
  // when the text does not parse.
  // Writes the binary configuration from its text form, and makes the
  // relative netmail folder it names, as a node has it.
  void WriteConfig(const std::string& text);
  // The four files read back.
  ConfigText ReadConfig() const;

  void WriteFile(const std::string& relative, const std::string& bytes) const;
  std::string ReadFile(const std::string& relative) const;
  bool Exists(const std::string& relative) const;
  void MakeDir(const std::string& relative) const;
  // Names in a directory of the node, sorted.
  std::vector<std::string> List(const std::string& relative) const;

  // Runs pelix in the node's directory with the given arguments.
  RunResult Run(const std::vector<std::string>& arguments = {}) const;
  // The log file's lines (log file named by the configuration).
  std::vector<std::string> LogLines(const std::string& log = "pelix.log") const;
  // Log lines without their "X dd Mon hh:mm:ss PELX " prefix, mark kept:
  // "* Processing A.TIC". The line that sums up each run is left out: the
  // passes' lines are what most tests look at.
  std::vector<std::string> LogMessages(const std::string& log = "pelix.log") const;

 private:
  std::string dir_;
};

// A minimal working configuration for a node at 2:5020/100 whose folders
// all lie inside the node directory; tests append sections to it.
std::string BasicConfigText();

// Runs a program with arguments in `dir`, capturing what it prints.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& dir);
