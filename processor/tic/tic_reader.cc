#include "processor/tic/tic_reader.h"

#include <algorithm>

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/log.h"
#include "processor/passes.h"
#include "processor/run_state.h"
#include "processor/tic/safe_name.h"
#include "processor/tic/tic_batch.h"
#include "processor/tic/tic_inbound.h"

namespace {

enum TicKeyword {
  kArea = 1, kAreadesc, kOrigin, kFrom, kTo, kCrc, kFile, kDesc,
  kReplaces, kMagic, kCreated, kPw, kSeenby, kPath, kLdesc,
};

constexpr Keyword kTicKeywords[] = {
    {"Area", kArea},         {"Areadesc", kAreadesc}, {"Origin", kOrigin},
    {"From", kFrom},         {"To", kTo},             {"Crc", kCrc},
    {"File", kFile},         {"Desc", kDesc},         {"Replaces", kReplaces},
    {"Magic", kMagic},       {"Created", kCreated},   {"Pw", kPw},
    {"Seenby", kSeenby},     {"Path", kPath},         {"Ldesc", kLdesc},
    {"", 0},
};

std::string* SingleField(TicRecord& tic, int keyword) {
  switch (keyword) {
    case kArea: return &tic.area;
    case kAreadesc: return &tic.areadesc;
    case kOrigin: return &tic.origin;
    case kFrom: return &tic.from;
    case kTo: return &tic.to;
    case kCrc: return &tic.crc;
    case kFile: return &tic.file;
    case kDesc: return &tic.desc;
    case kReplaces: return &tic.replaces;
    case kMagic: return &tic.magic;
    case kCreated: return &tic.created;
    case kPw: return &tic.pw;
    default: return nullptr;
  }
}

std::vector<std::string>* ListField(TicRecord& tic, int keyword) {
  switch (keyword) {
    case kSeenby: return &tic.seenby;
    case kPath: return &tic.path;
    case kLdesc: return &tic.ldesc;
    default: return nullptr;
  }
}

}  // namespace

void ApplyTicLine(const std::string& physical_line, TicRecord& tic) {
  // A zero byte ends the text of a line, as it ends any string of the format.
  std::string line = physical_line.substr(0, physical_line.find('\0'));
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
    line.pop_back();
  size_t pos = 0;
  const std::string keyword = NextToken(line, pos, ' ');
  if (keyword.empty()) return;
  const int code = LookupKeyword(kTicKeywords, keyword, 0, false);
  const std::string value = line.substr(pos);
  if (std::string* field = SingleField(tic, code)) {
    *field = value;
  } else if (std::vector<std::string>* list = ListField(tic, code)) {
    list->push_back(value);
  }
}

void ReadTicLines(std::string_view text, TicRecord& tic) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = std::min(text.size(), pos + kMaxTicLine);
    // A bare CR ends a line as LF does: a value must not carry a CR into the
    // TICs and listings written from it, where it would start a line of its
    // own downstream.
    size_t line_end = text.find_first_of("\r\n", pos);
    if (line_end != std::string_view::npos && line_end < end) {
      end = line_end + 1;
      if (text[line_end] == '\r' && end < text.size() && text[end] == '\n') ++end;
    }
    ApplyTicLine(std::string(text.substr(pos, end - pos)), tic);
    pos = end;
  }
}

namespace {

// Reads at most kMaxTicSize bytes; `too_big` tells that the TIC holds more.
// The part read still names the TIC's file, so a refused TIC takes its
// file along into the bad-TIC directory.
bool ReadTicText(const std::string& tic_path, std::string& text, bool& too_big) {
  platform::CriticalErrorsOff quiet;
  // Never through a symbolic link: it could point at any file of the system.
  platform::FilePtr file = platform::OpenFile(tic_path, platform::OpenMode::kReadNoFollow);
  int64_t size = 0;
  if (!file || !file->Size(size)) return false;
  too_big = size > static_cast<int64_t>(kMaxTicSize);
  text.resize(std::min<int64_t>(size, kMaxTicSize));
  size_t have = 0;
  while (have < text.size()) {
    size_t got = 0;
    if (!file->Read(text.data() + have, text.size() - have, got)) return false;
    if (got == 0) break;
    have += got;
  }
  text.resize(have);
  return file->Close();
}

}  // namespace

void ReadTic(const std::string& tic_path) {
  std::string text;
  bool too_big = false;
  const bool read = ReadTicText(tic_path, text, too_big);
  TicRecord& tic = State().tic;
  tic = TicRecord{};
  if (!read) {
    LogLine(kMarkError, Format("Can't open %s", tic_path.c_str()));
    return;
  }
  ReadTicLines(text, tic);
  tic.serial = ++State().tics_read;
  // A TIC waiting for its flush that uses this file, or a file of a name
  // this TIC could take, is done first, as it would have been.
  if (SharesNameWithWaitingTic(tic_path, tic)) FlushPendingTics();
  // Every later step, a refusal below included, works on this TIC's file.
  State().inbound_file = State().config.inbound_dir + tic.file;
  LogLine(kMarkTicHeader, Format("Area : %s", LoggableText(tic.area).c_str()));
  LogLine(kMarkTicHeader, Format("File : %s", LoggableText(tic.file).c_str()));
  LogLine(kMarkTicHeader, Format("From : %s", LoggableText(tic.from).c_str()));
  if (too_big) {
    const std::string reason = Format("TIC too big, over %zu bytes", kMaxTicSize);
    LogLine(kMarkError, reason);
    return MoveToBadTics(tic_path, reason);
  }
  if (tic.seenby.size() + tic.path.size() + tic.ldesc.size() > kMaxTicListLines) {
    const std::string reason =
        Format("Too many Seenby, Path and Ldesc lines in TIC, over %zu", kMaxTicListLines);
    LogLine(kMarkError, reason);
    return MoveToBadTics(tic_path, reason);
  }
  ProcessInboundTic(tic_path);
}
