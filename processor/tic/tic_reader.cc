#include "processor/tic/tic_reader.h"

#include <algorithm>

#include "common/text_helpers.h"

namespace {

enum TicKeyword {
  kArea = 1, kAreadesc, kOrigin, kFrom, kTo, kCrc, kFile, kDesc,
  kReplaces, kMagic, kCreated, kPw, kSeenby, kPath, kLdesc, kSize,
};

constexpr Keyword kTicKeywords[] = {
    {"Area", kArea},         {"Areadesc", kAreadesc}, {"Origin", kOrigin},
    {"From", kFrom},         {"To", kTo},             {"Crc", kCrc},
    {"File", kFile},         {"Desc", kDesc},         {"Replaces", kReplaces},
    {"Magic", kMagic},       {"Created", kCreated},   {"Pw", kPw},
    {"Seenby", kSeenby},     {"Path", kPath},         {"Ldesc", kLdesc},
    {"Size", kSize},         {"", 0},
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
    case kSize: return &tic.size;
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

void ApplyTicLine(std::string_view physical_line, TicRecord& tic) {
  // A zero byte ends the text of a line, as it ends any string of the format.
  std::string_view line = physical_line.substr(0, physical_line.find('\0'));
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
    line.remove_suffix(1);
  size_t pos = 0;
  const std::string keyword = NextToken(line, pos, ' ');
  if (keyword.empty()) return;
  const int code = LookupKeyword(kTicKeywords, keyword, 0, false);
  const std::string_view value = line.substr(pos);
  if (std::string* field = SingleField(tic, code)) {
    *field = value;
  } else if (std::vector<std::string>* list = ListField(tic, code)) {
    list->emplace_back(value);
  }
}

void ReadTicLines(std::string_view text, TicRecord& tic) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = std::min(text.size(), pos + kMaxTicLine);
    // A bare CR ends a line as LF does: a value must not carry a CR into the
    // TICs and listings written from it, where it would start a line of its
    // own downstream. Only this piece is searched: a search to the end of
    // the text for every piece made a TIC of one long line cost its length
    // squared.
    const std::string_view piece = text.substr(pos, end - pos);
    const size_t in_piece = std::min(piece.find('\r'), piece.find('\n'));
    if (in_piece != std::string_view::npos) {
      const size_t line_end = pos + in_piece;
      end = line_end + 1;
      if (text[line_end] == '\r' && end < text.size() && text[end] == '\n') ++end;
    }
    ApplyTicLine(text.substr(pos, end - pos), tic);
    pos = end;
  }
}

namespace {

// Reads at most kMaxTicSize bytes; `too_big` tells that the TIC holds more.
// The part read still names the TIC's file, so a refused TIC takes its
// file along into the bad-TIC directory.
bool ReadTicText(platform::Env& env, const std::string& tic_path, std::string& text,
                 bool& too_big) {
  // Never through a symbolic link: it could point at any file of the system.
  platform::FilePtr file = env.Open(tic_path, platform::OpenMode::kReadNoFollow);
  int64_t size = 0;
  if (!file || !file->Size(size)) return false;
  too_big = size > static_cast<int64_t>(kMaxTicSize);
  return platform::ReadBytes(*file, std::min<int64_t>(size, kMaxTicSize), text) && file->Close();
}

}  // namespace

TicText ReadTic(platform::Env& env, const std::string& tic_path, TicRecord& tic) {
  std::string text;
  bool too_big = false;
  tic = TicRecord{};
  if (!ReadTicText(env, tic_path, text, too_big)) return TicText::kUnreadable;
  ReadTicLines(text, tic);
  return too_big ? TicText::kTooBig : TicText::kRead;
}
