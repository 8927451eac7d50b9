// The numbers a node hands out: the six digits of its outgoing TIC names
// ("px" + digits + ".tic") and the serials of its message identifiers
// (MSGID of netmail replies and of JAM messages). Both go on from the last
// one used, by this run or an earlier one, pelix's or pelix-hatch's, so that
// a name comes back only after the 999,999 others were used (a downlink's
// mailer refuses a TIC of a name it still holds) and no two messages of the
// node share a MSGID (a downstream dupe check would drop the second).
//
// They are kept in the node directory (pelix.seq), updated under pelix.bsy.
// A run writes ahead the numbers it may use before it uses them, so that a
// run killed at any moment never lets the next one hand out a number twice;
// numbers written ahead and not used are passed over.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "processor/log.h"

inline constexpr char kSerialsFile[] = "pelix.seq";
// Six decimal digits.
inline constexpr uint32_t kTicNumbers = 1000000;

class Serials {
 public:
  explicit Serials(platform::Env& env, std::string path = kSerialsFile)
      : env_(env), path_(std::move(path)) {}

  // Reads where the last run left off; a file that is not there starts the
  // TIC names where the time of day puts them and the serials at the time.
  // False (errno set) when the file is there and cannot be read.
  [[nodiscard]] bool Load();

  // The next message serial: the time in seconds, or one past the last one
  // handed out when that is later. False (logged) when it could not be
  // written ahead: no message may then carry it.
  [[nodiscard]] bool NextMessage(Log& log, uint32_t& serial);
  // The next TIC number, after the last one handed out (0 after 999999).
  [[nodiscard]] bool NextTicNumber(Log& log, uint32_t& number);

 private:
  bool WriteAhead(Log& log);

  platform::Env& env_;
  std::string path_;
  bool loaded_ = false;
  // The last handed out, and how far the file says they may go.
  uint32_t last_message_ = 0;
  uint32_t message_ahead_ = 0;
  uint32_t last_tic_ = kTicNumbers - 1;
  uint32_t tics_left_ = 0;  // written ahead, not yet used
};
