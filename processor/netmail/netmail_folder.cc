#include "processor/netmail/netmail_folder.h"

#include <algorithm>
#include <cerrno>
#include <set>

#include "common/field_codec.h"
#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/log.h"

namespace {

// Stored-message numbers are 16 bits wide (lastread, replyTo, nextReply).
constexpr long long kHighestNumber = 65535;

constexpr char kSoh = 0x01;

enum KludgeCode { kIntl = 1, kTopt = 2, kFmpt = 3, kMsgid = 4 };

constexpr Keyword kKludges[] = {
    {"INTL", kIntl}, {"TOPT", kTopt}, {"FMPT", kFmpt}, {"MSGID:", kMsgid}, {"", 0}};

// The number the mail reader last read, or 0. A read-only "lastread" is not
// used, as the reader's own open for update would fail on it.
long long LastReadNumber(platform::Env& env, const std::string& folder) {
  std::string path = JoinFolder(folder, "lastread");
  platform::FilePtr f;
  if (!env.IsReadOnly(path)) f = env.Open(path, platform::OpenMode::kUpdateNoFollow);
  if (!f) return 0;
  char bytes[2] = {0, 0};
  size_t got = 0;
  if (!f->Read(bytes, sizeof bytes, got) || got < 1) return 0;
  if (got == 1) bytes[1] = 0;
  return static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8);
}

// The number a message name stands for: the part before its extension read
// as the C library reads a decimal, so abc.msg counts as 0 and 0012.msg as 12.
long long NameNumber(const std::string& name) {
  size_t dot = name.rfind('.');
  return DecimalValue(std::string_view(name).substr(0, dot));
}

// Numbers in the order they are tried: on from the highest in use, then,
// once the 16-bit number space is used up, from the lowest free one, so a
// folder that reached 65535 still gets its reply.
std::vector<long long> CandidateNumbers(long long highest, const std::set<long long>& taken) {
  std::vector<long long> order;
  auto add_range = [&](long long first, long long last) {
    for (long long n = first; n <= last; ++n)
      if (!taken.count(n)) order.push_back(n);
  };
  if (highest < kHighestNumber) {
    add_range(highest + 1, kHighestNumber);
    add_range(1, highest);
  } else {
    add_range(1, kHighestNumber);
  }
  return order;
}

void EndLine(const std::string& line, NetmailText& text) {
  if (line[0] != kSoh) {
    text.body_lines.push_back(line.substr(0, kMaxBodyLine));
    return;
  }
  size_t pos = 1;
  std::string keyword = NextToken(line, pos, ' ');
  MessageKludges& k = text.kludges;
  switch (LookupKeyword(kKludges, keyword, 0, true)) {
    case kIntl:
      k.intl_dest = NextToken(line, pos, ' ');
      k.intl_orig = NextToken(line, pos, ' ');
      break;
    case kTopt:
      k.topt = NextToken(line, pos, ' ');
      break;
    case kFmpt:
      k.fmpt = NextToken(line, pos, ' ');
      break;
    case kMsgid:
      k.msgid = NextToken(line, pos, ' ');
      break;
    default:
      break;
  }
}

// The header as FTS-0001 lays it out, field by field: the one description
// that writing and reading a header both follow. `Header` is NetmailHeader,
// const when it is written.
template <typename Fields, typename Header>
void HeaderFields(Fields& fields, Header& h) {
  fields.Text(h.fromUserName, kUserNameWidth);
  fields.Text(h.toUserName, kUserNameWidth);
  fields.Text(h.subject, kSubjectWidth);
  fields.Text(h.dateTime, kDateTimeWidth);
  fields.U16(h.timesRead);
  fields.U16(h.destNode);
  fields.U16(h.origNode);
  fields.U16(h.cost);
  fields.U16(h.origNet);
  fields.U16(h.destNet);
  fields.Unused(8);  // the zone and point fields of FidoNet's first header
  fields.U16(h.replyTo);
  fields.U16(h.attribute);
  fields.U16(h.nextReply);
}

struct HeaderWriter : FieldWriter {
  using FieldWriter::FieldWriter;
  void Unused(size_t width) { Raw(std::string(width, '\0')); }
};

struct HeaderReader : FieldReader {
  using FieldReader::FieldReader;
  void Unused(size_t width) { Skip(width); }
};

}  // namespace

std::string EncodeNetmailHeader(const NetmailHeader& header) {
  std::string out;
  HeaderWriter writer(out);
  HeaderFields(writer, header);
  return out;
}

NetmailHeader DecodeNetmailHeader(std::string_view bytes) {
  NetmailHeader header;
  HeaderReader reader(bytes);
  HeaderFields(reader, header);
  return header;
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
  // An empty folder is the working directory, where the netmail pass looks
  // for requests too; a leading separator would put replies at the root.
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + name;
  return folder + platform::kSeparator + name;
}

namespace {

// "~" + the request's name + "." + the number the reply will take: a reply
// not yet given to the mailer. No search for "*.msg" finds it.
std::string PendingName(const std::string& request_name, long long number) {
  return Format("~%s.%lld", request_name.c_str(), number);
}

// The request's name and the number of a pending reply's name; false when
// the name is none.
bool ParsePendingName(const std::string& name, std::string& request_name, long long& number) {
  const size_t dot = name.rfind('.');
  if (name.size() < 4 || name[0] != '~' || dot == std::string::npos || dot < 2 ||
      dot + 1 == name.size() ||
      name.find_first_not_of("0123456789", dot + 1) != std::string::npos)
    return false;
  request_name = name.substr(1, dot - 1);
  number = DecimalValue(std::string_view(name).substr(dot + 1));
  return number > 0 && number <= kHighestNumber;
}

// The numbers of the folder in the order they are tried: those of its
// messages and of pending replies are taken.
std::vector<long long> FreeNumbers(platform::Env& env, const std::string& folder) {
  long long highest = LastReadNumber(env, folder);
  std::set<long long> taken;
  for (const platform::DirEntry& entry : env.FindFiles(JoinFolder(folder, "*.msg"))) {
    long long number = NameNumber(entry.name);
    taken.insert(number);
    if (number > highest) highest = number;
  }
  for (const platform::DirEntry& entry : env.FindFiles(JoinFolder(folder, "~*"))) {
    std::string request;
    long long number = 0;
    if (!ParsePendingName(entry.name, request, number)) continue;
    taken.insert(number);
    if (number > highest) highest = number;
  }
  return CandidateNumbers(highest, taken);
}

}  // namespace

platform::FilePtr CreateNetmailMessage(platform::Env& env, const std::string& folder,
                                       std::string& path_out, const std::string& pending_for) {
  for (long long number : FreeNumbers(env, folder)) {
    const std::string name =
        pending_for.empty() ? Format("%lld.msg", number) : PendingName(pending_for, number);
    std::string path = JoinFolder(folder, name);
    bool exists = false;
    platform::FilePtr f = platform::OpenNewFile(env, path, exists);
    if (f) {
      path_out = path;
      return f;
    }
    // Another program may have taken the number since the search.
    if (!exists) return nullptr;
  }
  return nullptr;
}

bool ReleaseNetmailMessage(platform::Env& env, const std::string& folder,
                           const std::string& pending_path, std::string& released_path) {
  std::string request;
  long long number = 0;
  if (!ParsePendingName(NameInPath(pending_path), request, number)) return false;
  // Its own number first; another program (the sysop's reader) may have
  // taken it since.
  std::vector<long long> numbers = {number};
  for (long long free : FreeNumbers(env, folder))
    if (free != number) numbers.push_back(free);
  for (long long candidate : numbers) {
    released_path = JoinFolder(folder, Format("%lld.msg", candidate));
    if (env.MoveFile(pending_path, released_path)) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

void SettlePendingReplies(platform::Env& env, Log& log, const std::string& folder) {
  for (const platform::DirEntry& entry : env.FindFiles(JoinFolder(folder, "~*"))) {
    std::string request;
    long long number = 0;
    if (entry.is_directory || !ParsePendingName(entry.name, request, number)) continue;
    const std::string path = JoinFolder(folder, entry.name);
    std::string released;
    if (env.Exists(JoinFolder(folder, request))) {
      // Its request is still there: it is answered again, once.
      if (!env.DeleteFile(path))
        log.Write(kMarkError, WithReason(Format("Can't delete %s", path.c_str()), errno));
    } else if (!ReleaseNetmailMessage(env, folder, path, released)) {
      log.Write(kMarkError, WithReason(Format("Can't release %s", path.c_str()), errno));
    }
  }
}

bool WriteNetmailHeader(platform::Env& env, Log& log, Serials& serials,
                        const std::string& from_name,
                        const FidoAddress& orig_address,
                        const std::string& to_name, const FidoAddress& dest_address,
                        const std::string& subject, const std::string& domain_suffix,
                        platform::File& file) {
  uint32_t serial = 0;
  if (!serials.NextMessage(log, serial)) return false;
  NetmailHeader h;
  h.fromUserName = from_name;
  h.toUserName = to_name;
  h.subject = subject;
  h.destNode = dest_address.node;
  h.destNet = dest_address.net;
  h.origNode = orig_address.node;
  h.origNet = orig_address.net;
  h.attribute = kAttributePrivate | kAttributeLocal;
  if (Config().main.kill_answers) h.attribute |= kAttributeKillSent;
  platform::LocalTime t = platform::LocalNow(env);
  h.dateTime = Format("%2.2d %s %2.2d  %2.2d:%2.2d:%2.2d", t.day, MonthName(t.month),
                      TwoDigitYear(static_cast<unsigned>(t.year)), t.hour, t.minute, t.second);
  std::string text = EncodeNetmailHeader(h);
  // Zones and points travel in control lines; FTS-0001 has no room for them.
  text += Format("\001INTL %u:%u/%u %u:%u/%u\r", dest_address.zone, dest_address.net,
                 dest_address.node, orig_address.zone, orig_address.net, orig_address.node);
  if (orig_address.point != 0) text += Format("\001FMPT %u\r", orig_address.point);
  if (dest_address.point != 0) text += Format("\001TOPT %u\r", dest_address.point);
  text += Format("\001MSGID: %s%s %08lx\r", FormatAddress(orig_address).c_str(),
                 domain_suffix.c_str(), static_cast<unsigned long>(serial));
  return WriteNetmailText(file, text);
}

bool ReadNetmailHeader(platform::File& file, NetmailHeader& header) {
  char bytes[kNetmailHeaderSize];
  size_t n = 0;
  while (n < sizeof bytes) {
    size_t got = 0;
    if (!file.Read(bytes + n, sizeof bytes - n, got) || got == 0) break;
    n += got;
  }
  header = DecodeNetmailHeader(std::string_view(bytes, n));
  return n == kNetmailHeaderSize;
}

NetmailText ReadNetmailText(platform::File& file) {
  NetmailText text;
  std::string line;
  char buffer[4096];
  size_t got = 0;
  size_t next = 0;
  size_t total = 0;
  for (;;) {
    if (line.size() >= kLineBufferSize) {
      EndLine(line, text);
      line.clear();
    }
    if (next == got) {
      next = 0;
      const size_t want = std::min(sizeof buffer, kMaxNetmailText - total);
      if (want == 0 || !file.Read(buffer, want, got)) got = 0;
      total += got;
    }
    // A line not ended by CR is an unfinished one and is not seen.
    if (got == 0) break;
    const char c = buffer[next++];
    if (c == 0) break;
    if (c == '\n') continue;
    if (c == '\r') {
      if (line.empty()) continue;
      EndLine(line, text);
      line.clear();
      continue;
    }
    line.push_back(static_cast<char>(c));
  }
  return text;
}

bool WriteNetmailText(platform::File& file, std::string_view text) { return file.Write(text); }

bool CloseNetmailMessage(platform::File& file) { return file.Close(); }
