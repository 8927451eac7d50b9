#include "processor/tic/dupe_base.h"

#include <cerrno>
#include <string_view>

#include "common/text_helpers.h"
#include "processor/log.h"

namespace {

constexpr int64_t kSecondsPerDay = 24 * 60 * 60;
constexpr char kDigits[] = "0123456789";
constexpr size_t kFields = 5;  // tag, name, size, CRC, time

// Letter case folded: a file is the same whatever case its TIC spells.
std::string KeyOf(std::string_view tag, std::string_view name, int64_t size,
                  std::string_view crc) {
  return ToLowerAscii(tag) + '\t' + ToLowerAscii(name) + '\t' + std::to_string(size) + '\t' +
         ToUpperAscii(crc);
}

bool Only(std::string_view text, const char* allowed, size_t longest) {
  return !text.empty() && text.size() <= longest &&
         text.find_first_not_of(allowed) == std::string_view::npos;
}

// The fields of a whole record; false for a line that is none (damaged,
// or written by hand).
bool ParseRecord(std::string_view line, std::string_view (&fields)[kFields]) {
  size_t start = 0;
  for (size_t i = 0; i < kFields; ++i) {
    const size_t end = i + 1 < kFields ? line.find('\t', start) : line.size();
    if (end == std::string_view::npos) return false;
    fields[i] = line.substr(start, end - start);
    start = end + 1;
  }
  return !fields[0].empty() && !fields[1].empty() && Only(fields[2], kDigits, 18) &&
         fields[3].size() == 8 && Only(fields[3], "0123456789ABCDEFabcdef", 8) &&
         Only(fields[4], kDigits, 18);
}

}  // namespace

bool DupeBase::Received(TicJob& job, const std::string& tag) {
  if (days_ <= 0 || !Ready(job.log)) return false;
  std::string key;
  std::string fields;
  return Describe(job, tag, key, fields) && keys_.count(key) > 0;
}

void DupeBase::Remember(TicJob& job, const std::string& tag) {
  if (days_ <= 0 || !Ready(job.log)) return;
  std::string key;
  std::string fields;
  if (!Describe(job, tag, key, fields)) return;
  keys_.insert(std::move(key));
  const std::string record = (cut_line_ ? "\n" : "") + fields +
                             Format("\t%lld\n", static_cast<long long>(env_.UtcSeconds()));
  if (platform::AppendToFile(env_, path_, record)) {
    cut_line_ = false;
    return;
  }
  // Part of the record may have landed.
  cut_line_ = true;
  job.log.Write(kMarkError, WithReason(Format("Can't write %s", path_.c_str()), errno));
}

bool DupeBase::Ready(Log& log) {
  if (state_ != State::kUnread) return state_ == State::kRead;
  std::string text;
  if (!platform::ReadWholeFile(env_, path_, text) && errno != ENOENT) {
    // Never taken for an empty base, nor written over.
    state_ = State::kUnusable;
    log.Write(kMarkError, WithReason(Format("Can't read %s, no duplicate check in this run",
                                            path_.c_str()),
                                     errno));
    return false;
  }
  state_ = State::kRead;
  const int64_t oldest = env_.UtcSeconds() - int64_t{days_} * kSecondsPerDay;
  std::string kept;
  bool dropped = false;
  for (size_t pos = 0; pos < text.size();) {
    const size_t end = text.find('\n', pos);
    if (end == std::string::npos) {
      cut_line_ = true;
      break;
    }
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view fields[kFields];
    if (!ParseRecord(line, fields)) continue;
    if (DecimalValue(fields[4]) <= oldest) {
      dropped = true;
      continue;
    }
    keys_.insert(KeyOf(fields[0], fields[1], DecimalValue(fields[2]), fields[3]));
    kept.append(line).append("\n");
  }
  if (dropped) DropOldRecords(log, kept);
  return true;
}

void DupeBase::DropOldRecords(Log& log, const std::string& kept) {
  if (platform::RewriteFile(env_, path_, kept)) {
    cut_line_ = false;
    return;
  }
  // The old records stay in the file and are passed over again next time.
  log.Write(kMarkError, WithReason(Format("Can't write %s", path_.c_str()), errno));
}

bool DupeBase::Describe(TicJob& job, const std::string& tag, std::string& key,
                        std::string& fields) {
  platform::FilePtr file = env_.Open(job.inbound_file, platform::OpenMode::kReadNoFollow);
  int64_t size = 0;
  if (!file || !file->Size(size)) {
    job.log.Write(kMarkError,
                  WithReason(Format("Can't read %s", job.inbound_file.c_str()), errno));
    return false;
  }
  // Only read: a failing close loses nothing.
  (void)file->Close();
  // The safe-name rules keep tabs and line ends out of tags and names.
  key = KeyOf(tag, job.tic.file, size, job.tic.crc);
  fields = tag + '\t' + job.tic.file + '\t' + std::to_string(size) + '\t' + ToUpperAscii(job.tic.crc);
  return true;
}
