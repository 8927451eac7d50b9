#include "processor/serials.h"

#include <cerrno>

#include "common/text_helpers.h"

namespace {

// How many numbers a write makes ahead: few writes for a hub's run, few
// numbers passed over after a kill.
constexpr uint32_t kTicsAhead = 4096;
constexpr uint32_t kMessagesAhead = 16;

// "name value" lines; 0 when the name is not there.
uint32_t ValueOf(std::string_view text, std::string_view name, bool& found) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    size_t at = 0;
    if (NextToken(line, at, ' ') == name) {
      found = true;
      return static_cast<uint32_t>(DecimalValue(line.substr(at)));
    }
    pos = end + 1;
  }
  return 0;
}

}  // namespace

bool Serials::Load() {
  std::string text;
  bool present = false;
  if (!platform::ReadFileIfPresent(env_, path_, text, present, 4096)) return false;
  loaded_ = true;
  bool found_tic = false;
  bool found_message = false;
  const uint32_t tic = ValueOf(text, "tic", found_tic);
  const uint32_t message = ValueOf(text, "message", found_message);
  // Where the names were before they were kept: the time's digits, so a
  // node's first run after the upgrade does not start over at px000000.
  const uint32_t now = static_cast<uint32_t>(env_.UtcSeconds());
  const std::string digits = Format("%08u", now).substr(2, 6);
  last_tic_ = found_tic ? tic % kTicNumbers
                        : (static_cast<uint32_t>(DecimalValue(digits)) + kTicNumbers - 1) % kTicNumbers;
  last_message_ = found_message ? message : 0;
  message_ahead_ = last_message_;
  tics_left_ = 0;
  return true;
}

bool Serials::WriteAhead(Log& log) {
  const std::string text = Format("tic %u\nmessage %u\n", (last_tic_ + tics_left_) % kTicNumbers,
                                  message_ahead_);
  if (platform::RewriteFile(env_, path_, text)) return true;
  log.Write(kMarkError, WithReason(Format("Can't write %s", path_.c_str()), errno));
  return false;
}

bool Serials::NextMessage(Log& log, uint32_t& serial) {
  if (!loaded_ && !Load()) {
    log.Write(kMarkError, WithReason(Format("Can't read %s", path_.c_str()), errno));
    return false;
  }
  const uint32_t now = static_cast<uint32_t>(env_.UtcSeconds());
  serial = now > last_message_ ? now : last_message_ + 1;
  if (serial > message_ahead_) {
    const uint32_t before = message_ahead_;
    message_ahead_ = serial + kMessagesAhead;
    if (!WriteAhead(log)) {
      message_ahead_ = before;
      return false;
    }
  }
  last_message_ = serial;
  return true;
}

bool Serials::NextTicNumber(Log& log, uint32_t& number) {
  if (!loaded_ && !Load()) {
    log.Write(kMarkError, WithReason(Format("Can't read %s", path_.c_str()), errno));
    return false;
  }
  if (tics_left_ == 0) {
    tics_left_ = kTicsAhead;
    if (!WriteAhead(log)) {
      tics_left_ = 0;
      return false;
    }
  }
  last_tic_ = (last_tic_ + 1) % kTicNumbers;
  --tics_left_;
  number = last_tic_;
  return true;
}
