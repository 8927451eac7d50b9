#include "tools/pelixcfg_command.h"

#include <cerrno>
#include <cstring>

#include "common/ini_document.h"
#include "common/node_options.h"
#include "common/node_owner.h"
#include "tools/config_files.h"
#include "tools/node_edits.h"
#include "tools/node_listing.h"

namespace {

constexpr char kUsage[] =
    "usage: pelixcfg [-C DIR] dump [DIR]\n"
    "       pelixcfg [-C DIR] [--force] write DESCRIPTION [DIR]\n"
    "       pelixcfg [-C DIR] list links|echoes\n"
    "       pelixcfg [-C DIR] link add ADDRESS [KEY=VALUE...]\n"
    "       pelixcfg [-C DIR] link set ADDRESS KEY=VALUE...\n"
    "       pelixcfg [-C DIR] link remove ADDRESS\n"
    "       pelixcfg [-C DIR] echo add TAG [DESCRIPTION]\n"
    "       pelixcfg [-C DIR] echo set TAG KEY=VALUE...\n"
    "       pelixcfg [-C DIR] echo remove TAG\n"
    "       pelixcfg [-C DIR] subscribe ADDRESS TAG receive|send|both\n"
    "       pelixcfg [-C DIR] unsubscribe ADDRESS TAG\n";

struct CommandLine {
  std::string dir;  // "" (the working directory) or ending in "/"
  bool dir_given = false;
  bool force = false;
  std::vector<std::string> words;
};

std::string AsDirectory(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

// Options may stand anywhere before "--"; "-" alone is a word.
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& line) {
  bool options = true;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (!options || a.size() < 2 || a[0] != '-') {
      line.words.push_back(a);
    } else if (a == "--") {
      options = false;
    } else if (a == "--force") {
      line.force = true;
    } else if (a == "-C" && i + 1 < arguments.size() && !line.dir_given) {
      line.dir = AsDirectory(arguments[++i]);
      line.dir_given = true;
    } else {
      return false;
    }
  }
  return !line.words.empty();
}

// A positional DIR after `count` words, which -C must not also give.
bool TakeDirectoryWord(CommandLine& line, size_t count) {
  if (line.words.size() == count) return true;
  if (line.words.size() != count + 1 || line.dir_given) return false;
  line.dir = AsDirectory(line.words[count]);
  return true;
}

std::string ShownDirectory(const std::string& dir) { return dir.empty() ? "./" : dir; }

// The command line again, for the sysop to copy.
std::string ShellWords(const std::vector<std::string>& arguments) {
  std::string text = "pelixcfg";
  for (const std::string& a : arguments) {
    const bool plain = !a.empty() && a.find_first_not_of(
                                         "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                         "0123456789_./:@=,+-") == std::string::npos;
    if (plain) {
      text += " " + a;
      continue;
    }
    text += " '";
    for (const char c : a) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    text += "'";
  }
  return text;
}

// The node is ours while this stands: not root in another user's node,
// and pelix.bsy claimed, so that neither pelix nor pelix-setup changes the
// files between our read and our write.
class NodeClaim {
 public:
  NodeClaim(platform::Env& env, const CommandLine& line, const std::vector<std::string>& arguments,
            PelixcfgOutput& output)
      : env_(env), output_(output), flag_(line.dir + "pelix.bsy") {
    const std::string owner = env.ForeignOwner(line.dir);
    if (!owner.empty()) {
      output.err += NotNodeOwnerText(owner, ShellWords(arguments));
      refusal_ = kExitNotNodeOwner;
      return;
    }
    const platform::FlagClaim claim = env.ClaimProcessFlag(flag_);
    switch (claim.result) {
      case platform::FlagClaim::kClaimed:
        claimed_ = true;
        if (claim.stale_pid)
          output.err += "pelixcfg: removed the stale " + flag_ + " of process " +
                        std::to_string(claim.stale_pid) + "\n";
        break;
      case platform::FlagClaim::kBusy:
        output.err += "Pelix is busy\n";
        refusal_ = kPelixcfgBusy;
        break;
      case platform::FlagClaim::kFailed:
        output.err += "Fatal : Can't create " + flag_ + ", " + std::strerror(claim.error) + "\n";
        refusal_ = kPelixcfgNoBusyFlag;
        break;
    }
  }
  ~NodeClaim() {
    if (claimed_ && !env_.ReleaseProcessFlag())
      output_.err += "pelixcfg: Warning : Can't remove " + flag_ + "\n";
  }
  NodeClaim(const NodeClaim&) = delete;
  NodeClaim& operator=(const NodeClaim&) = delete;

  // 0 while the node is ours, else the status to end with.
  int refusal() const { return refusal_; }

 private:
  platform::Env& env_;
  PelixcfgOutput& output_;
  std::string flag_;
  bool claimed_ = false;
  int refusal_ = 0;
};

bool ReadNode(platform::Env& env, const std::string& dir, ConfigText& node,
              PelixcfgOutput& output) {
  std::string error;
  if (ReadConfigFiles(env, dir, node, error)) return true;
  output.err += error + "\n";
  return false;
}

// The in-place commands work on a node that is there: in a directory
// without pelix.cfg a typing mistake would start a new one.
bool ReadExistingNode(platform::Env& env, const std::string& dir, ConfigText& node,
                      PelixcfgOutput& output) {
  if (!ReadNode(env, dir, node, output)) return false;
  if ((*node.fingerprint)[kPelixCfg].present) return true;
  output.err += "pelixcfg: no pelix.cfg in " + ShownDirectory(dir) +
                ", not a node directory (pelixcfg write makes one)\n";
  return false;
}

std::string Listed(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// Of `names`, those that writing `text` replaces: pelix.ini only when the
// text carries it, so that a change to it is undone only then.
std::vector<std::string> WrittenBy(const ConfigText& text, std::vector<std::string> names) {
  if (!text.ini) std::erase(names, std::string(kNodeFileNames[kPelixIni]));
  return names;
}

// Why `text` may not replace the files as they are now, or "". Where
// there are none, nothing can be undone: a first configuration, or a copy
// of another node's dump.
std::string StaleReason(const ConfigText& text, const ConfigText& now,
                        const std::string& description) {
  const std::vector<std::string> present = WrittenBy(text, PresentFiles(*now.fingerprint));
  if (present.empty()) return "";
  if (!text.fingerprint) {
    return description + " has no fingerprint of a dump and would replace " + Listed(present) +
           " as they are now; edit the output of pelixcfg dump, or write with --force";
  }
  const std::vector<std::string> changed =
      WrittenBy(text, ChangedFiles(*text.fingerprint, *now.fingerprint));
  if (changed.empty()) return "";
  return Listed(changed) + " changed since " + description +
         " was dumped (pelix's area manager, pelix-setup or another pelixcfg); "
         "dump again and redo the edit there, or write with --force";
}

// What pelix would say of the pelix.ini about to be written: it is
// written all the same, as pelix only ignores what it cannot read.
void WarnAboutOptions(const ConfigText& text, PelixcfgOutput& output) {
  if (!text.ini) return;
  std::vector<std::string> warnings;
  (void)ReadNodeOptionsFrom(IniDocument(*text.ini), kNodeOptionsFile, warnings);
  for (const std::string& warning : warnings) output.err += "pelixcfg: Warning : " + warning + "\n";
}

int Dump(platform::Env& env, CommandLine& line, PelixcfgOutput& output) {
  if (!TakeDirectoryWord(line, 1)) return -1;
  ConfigText node;
  if (!ReadNode(env, line.dir, node, output)) return kPelixcfgFailed;
  output.out += FormatConfigText(node);
  return kPelixcfgDone;
}

int Write(platform::Env& env, CommandLine& line, const std::vector<std::string>& arguments,
          PelixcfgOutput& output) {
  if (line.words.size() < 2 || !TakeDirectoryWord(line, 2)) return -1;
  const std::string& description = line.words[1];
  std::string text, error;
  ConfigText wanted, now;
  if (!platform::ReadWholeFile(env, description, text)) {
    output.err += "Fatal : Can't read " + description + ", " + std::strerror(errno) + "\n";
    return kPelixcfgFailed;
  }
  if (!ParseConfigText(text, wanted, error)) {
    output.err += "pelixcfg: " + description + ": " + error + "\n";
    return kPelixcfgFailed;
  }
  WarnAboutOptions(wanted, output);
  NodeClaim claim(env, line, arguments, output);
  if (claim.refusal()) return claim.refusal();
  if (!ReadNode(env, line.dir, now, output)) return kPelixcfgFailed;
  if (const std::string why = StaleReason(wanted, now, description); !why.empty() && !line.force) {
    output.err += "pelixcfg: " + why + "\n";
    return kPelixcfgChanged;
  }
  NodeFile failed = kPelixCfg;
  if (!WriteConfigFiles(env, wanted, line.dir, failed)) {
    output.err += "Fatal : Can't write " + line.dir + kNodeFileNames[failed] + ", " +
                  std::strerror(errno) + " (it and the files after it keep their contents)\n";
    return kPelixcfgFailed;
  }
  return kPelixcfgDone;
}

int List(platform::Env& env, const CommandLine& line, PelixcfgOutput& output) {
  if (line.words.size() != 2 || (line.words[1] != "links" && line.words[1] != "echoes"))
    return -1;
  ConfigText node;
  if (!ReadExistingNode(env, line.dir, node, output)) return kPelixcfgFailed;
  output.out += line.words[1] == "links" ? LinkListing(node) : EchoListing(node);
  return kPelixcfgDone;
}

struct EditCommand {
  const char* verb;    // the first word
  const char* object;  // the second word, or nullptr
  size_t needed;       // words the edit needs after these
  bool more;           // whether further words may follow
  NodeFile file;
  bool (*edit)(ConfigText&, const std::vector<std::string>&, std::string&);
};

constexpr EditCommand kEdits[] = {
    {"link", "add", 1, true, kPelixNod, AddLink},
    {"link", "set", 2, true, kPelixNod, SetLink},
    {"link", "remove", 1, false, kPelixNod, RemoveLink},
    {"echo", "add", 1, true, kPelixFe, AddEcho},
    {"echo", "set", 2, true, kPelixFe, SetEcho},
    {"echo", "remove", 1, false, kPelixFe, RemoveEcho},
    {"subscribe", nullptr, 3, false, kPelixFe, Subscribe},
    {"unsubscribe", nullptr, 2, false, kPelixFe, Unsubscribe},
};

// The edit the words name, with its own words in `rest`; nullptr when none.
const EditCommand* FindEdit(const std::vector<std::string>& words,
                            std::vector<std::string>& rest) {
  for (const EditCommand& edit : kEdits) {
    const size_t named = edit.object ? 2 : 1;
    if (words[0] != edit.verb || (edit.object && (words.size() < 2 || words[1] != edit.object)))
      continue;
    rest.assign(words.begin() + named, words.end());
    const bool fits = rest.size() == edit.needed || (edit.more && rest.size() > edit.needed);
    return fits ? &edit : nullptr;
  }
  return nullptr;
}

int Edit(platform::Env& env, const CommandLine& line, const std::vector<std::string>& arguments,
         PelixcfgOutput& output) {
  std::vector<std::string> rest;
  const EditCommand* edit = FindEdit(line.words, rest);
  if (!edit) return -1;
  NodeClaim claim(env, line, arguments, output);
  if (claim.refusal()) return claim.refusal();
  ConfigText node;
  if (!ReadExistingNode(env, line.dir, node, output)) return kPelixcfgFailed;
  std::string said;
  if (!edit->edit(node, rest, said)) {
    output.err += "pelixcfg: " + said + "\n";
    return kPelixcfgFailed;
  }
  if (!RewriteNodeFile(env, node, line.dir, edit->file)) {
    output.err += "Fatal : Can't write " + line.dir + kNodeFileNames[edit->file] + ", " +
                  std::strerror(errno) + " (it keeps its contents)\n";
    return kPelixcfgFailed;
  }
  output.out += said + "\n";
  return kPelixcfgDone;
}

}  // namespace

int RunPelixcfg(platform::Env& env, const std::vector<std::string>& arguments,
                PelixcfgOutput& output) {
  CommandLine line;
  int status = -1;
  if (ParseCommandLine(arguments, line)) {
    const std::string& command = line.words[0];
    if (command == "dump") status = Dump(env, line, output);
    else if (command == "write") status = Write(env, line, arguments, output);
    else if (command == "list") status = List(env, line, output);
    else status = Edit(env, line, arguments, output);
  }
  if (status >= 0) return status;
  output.err += kUsage;
  return kPelixcfgUsage;
}
