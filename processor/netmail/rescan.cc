#include "processor/netmail/rescan.h"

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include "common/fido_address.h"
#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/outbound/outbound_layout.h"
#include "processor/tic/forward.h"
#include "processor/tic/own_file.h"
#include "processor/tic/safe_name.h"

namespace {

constexpr char kBlanks[] = " \t";

std::string_view WithoutLeadingBlanks(std::string_view text) {
  const size_t start = text.find_first_not_of(kBlanks);
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

// "[00] " before a description: the download counter some listings keep.
std::string_view WithoutCounter(std::string_view desc) {
  const size_t close = desc.find(']');
  if (desc.empty() || desc[0] != '[' || close == std::string_view::npos || close < 2 ||
      desc.substr(1, close - 1).find_first_not_of("0123456789") != std::string_view::npos)
    return desc;
  return WithoutLeadingBlanks(desc.substr(close + 1));
}

// The newest `count` files of the listing still in `dir`, oldest first; a
// name listed again counts once, where it was listed last.
std::vector<ListedFile> NewestPresent(platform::Env& env, const std::string& dir,
                                      const std::vector<ListedFile>& listing, size_t count) {
  std::vector<ListedFile> newest;
  std::unordered_set<std::string> seen;
  for (auto it = listing.rbegin(); it != listing.rend() && newest.size() < count; ++it) {
    if (!seen.insert(ToUpperAscii(it->name)).second) continue;
    // A listing is text anyone may have edited: its names must stay names.
    if (UnsafeFileNameReason(it->name) ||
        !env.IsRegularFile(dir + platform::kSeparator + it->name))
      continue;
    newest.push_back(*it);
  }
  std::reverse(newest.begin(), newest.end());
  return newest;
}

// The files to send from the echo's directory; none when it has no
// listing, logged when the listing cannot be read.
std::vector<ListedFile> FilesToRescan(platform::Env& env, Log& log, const FileEchoRecord& echo,
                                      size_t count) {
  if (echo.tag.empty() || UnsafeNameReason(echo.tag)) return {};
  const std::string dir = Config().main.fileecho_dir + echo.tag;
  const std::string files_bbs = dir + platform::kSeparator + "FILES.BBS";
  std::string text;
  bool present = false;
  if (!platform::ReadFileIfPresent(env, files_bbs, text, present, kFilesBbsLimit)) {
    log.Write(kMarkError, WithReason(Format("Can't read %s", files_bbs.c_str()), errno));
    return {};
  }
  return NewestPresent(env, dir, FilesBbsListing(text), count);
}

// Whether the link of `to_link`'s one entry is handed files at all.
bool TakesFiles(TicContext& context, Log& log, const FileEchoRecord& to_link) {
  TicJob probe(context.env, log, "");
  const EchoLinkEntry& entry = to_link.links.front();
  return AnyLinkTakesFile(probe, to_link) &&
         BaseName(ParseAddress(entry.address), DomainPart(entry.address));
}

}  // namespace

std::vector<ListedFile> FilesBbsListing(std::string_view text) {
  std::vector<ListedFile> files;
  for (const std::string_view line : TextLines(text)) {
    if (line.empty() || std::string_view(" \t;-").find(line[0]) != std::string_view::npos) continue;
    const size_t name_end = std::min(line.find_first_of(kBlanks), line.size());
    ListedFile file;
    file.name = std::string(line.substr(0, name_end));
    // A control character would break the TIC's line structure.
    file.desc = LoggableText(WithoutCounter(WithoutLeadingBlanks(line.substr(name_end))));
    files.push_back(std::move(file));
  }
  return files;
}

RunStatus RescanEcho(TicContext& context, Log& log, const FileEchoRecord& echo,
                     const EchoLinkEntry& entry, int count, int& sent) {
  sent = 0;
  // The one entry of the asking link: the file goes to it alone, and the
  // TICs' Seenby lines name it and us, who have the file.
  const FileEchoRecord to_link{echo.tag, echo.description, echo.passthrough, {entry}};
  if (count <= 0 || !TakesFiles(context, log, to_link)) return RunStatus::GoOn();
  const std::string dir = Config().main.fileecho_dir + echo.tag + platform::kSeparator;
  for (const ListedFile& file : FilesToRescan(context.env, log, echo, static_cast<size_t>(count))) {
    TicJob job(context.env, log, "");
    DescribeOwnFile(context.env, job, to_link, file.name, dir + file.name);
    job.tic.desc = file.desc;
    if (RunStatus forwarded = ForwardOwnFile(context, job, to_link); forwarded.ends())
      return forwarded;
    ++sent;
  }
  return RunStatus::GoOn();
}
