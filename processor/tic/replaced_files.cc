#include "processor/tic/replaced_files.h"

#include <algorithm>
#include <cerrno>

#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/log.h"
#include "processor/tic/file_area.h"
#include "processor/tic/safe_name.h"

namespace {

constexpr char kListingName[] = "FILES.BBS";
// A listing longer than this is not taken apart.
constexpr size_t kLargestListingRead = 16 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Up to the first blank or line end.
std::string_view FirstWord(std::string_view line) {
  return line.substr(0, line.find_first_of(" \t\r\n"));
}

bool IsOneOf(std::string_view word, const std::vector<std::string>& names) {
  return std::any_of(names.begin(), names.end(),
                     [word](const std::string& name) { return EqualsIgnoreCase(word, name); });
}

// The value is a pattern of the echo's directory: the rules of a file name
// hold for it, its wildcards aside.
const char* UnusableReplacesReason(std::string value) {
  std::replace_if(value.begin(), value.end(), [](char c) { return c == '*' || c == '?'; }, 'x');
  return UnsafeFileNameReason(value);
}

// Removes the files of the echo's directory that the TIC's Replaces value
// names, never the file just placed nor the listing, and nothing but
// files and symbolic links (a link goes, never what it points at). The
// names of those removed.
std::vector<std::string> RemoveReplacedFiles(platform::Env& env, TicJob& job) {
  std::vector<std::string> removed;
  const std::string& value = job.tic.replaces;
  if (value.empty()) return removed;
  if (const char* why = UnusableReplacesReason(value)) {
    job.log.Write(kMarkError, Format("Replaces %s ignored, it %s", LoggableText(value).c_str(), why));
    return removed;
  }
  const std::string dir = AreaDirectory(job) + platform::kSeparator;
  for (const platform::DirEntry& entry : env.FindFiles(dir + value)) {
    const std::string path = dir + entry.name;
    if (EqualsIgnoreCase(entry.name, job.tic.file) || EqualsIgnoreCase(entry.name, kListingName))
      continue;
    if (!env.IsSymbolicLink(path) && !env.IsRegularFile(path)) continue;
    job.log.Write(kMarkTic, Format("Replacing %s", LoggableText(entry.name).c_str()));
    if (env.DeleteFile(path)) {
      removed.push_back(entry.name);
    } else {
      job.log.Write(kMarkError, WithReason(Format("Can't delete %s", LoggableText(path).c_str()), errno));
    }
  }
  return removed;
}

}  // namespace

std::string ListingWith(std::string_view listing, const std::vector<std::string>& removed,
                        std::string_view name, std::string_view line) {
  std::string out;
  out.reserve(listing.size() + line.size() + 2);
  bool dropping = false;  // the lines of an entry that goes
  bool listed = false;
  for (size_t pos = 0; pos < listing.size();) {
    size_t end = listing.find('\n', pos);
    end = end == std::string_view::npos ? listing.size() : end + 1;
    const std::string_view text = listing.substr(pos, end - pos);
    pos = end;
    if (!IsBlank(text[0])) {
      const std::string_view word = FirstWord(text);
      const bool own = !word.empty() && EqualsIgnoreCase(word, name);
      dropping = own || (!word.empty() && IsOneOf(word, removed));
      if (own && !listed) {
        out += line;
        listed = true;
      }
    }
    if (!dropping) out += text;
  }
  if (!listed) {
    // A last line without its end would run into the new one.
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    out += line;
  }
  return out;
}

RunStatus ListFileReplacing(platform::Env& env, TicJob& job) {
  if (!Config().options.ForEcho(job.tic.area).replaces) return ListFileInArea(env, job);
  const std::string files_bbs = AreaDirectory(job) + platform::kSeparator + kListingName;
  std::string listing;
  // Never through a symbolic link, which the rewrite would turn into a
  // file of its own. A listing that cannot be read cannot be kept in step
  // with the directory: nothing is removed then.
  if (!platform::ReadWholeFile(env, files_bbs, listing, kLargestListingRead,
                               platform::OpenMode::kReadNoFollow)) {
    if (errno != ENOENT) {
      job.log.Write(kMarkError, WithReason(Format("Can't read %s, nothing replaced",
                                                  files_bbs.c_str()),
                                           errno));
      return ListFileInArea(env, job);
    }
    listing.clear();
  }
  const std::vector<std::string> removed = RemoveReplacedFiles(env, job);
  const std::string line =
      FilesBbsLine(job.tic.file, job.tic.desc, Config().main.files_bbs_counter != 0);
  const std::string updated = ListingWith(listing, removed, job.tic.file, line);
  // Nothing taken out or over: the line is appended, as always.
  if (updated == listing + line) return ListFileInArea(env, job);
  if (platform::RewriteFile(env, files_bbs, updated)) return RunStatus::GoOn();
  job.log.Write(kMarkError, WithReason(Format("Can't write %s", files_bbs.c_str()), errno));
  // The new file is listed all the same.
  return ListFileInArea(env, job);
}
