// The netmail folder: stored messages in the FTS-0001 *.MSG format that the
// mailer and the sysop's mail reader share with pelix. Numbering, creation,
// the header and control lines of a new message, and reading one back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/fido_address.h"
#include "platform/platform.h"
#include "processor/log.h"
#include "processor/serials.h"

inline constexpr size_t kNetmailHeaderSize = 190;
inline constexpr size_t kUserNameWidth = 36;
inline constexpr size_t kSubjectWidth = 72;
inline constexpr size_t kDateTimeWidth = 20;
// A kept body line; longer lines are cut.
inline constexpr size_t kMaxBodyLine = 254;
// The longest line read in one piece; a longer one is read as several.
inline constexpr size_t kLineBufferSize = 4096;
// What is read of a message's text after its header; a robot request never
// needs more, and the rest of a longer one is ignored, so that no message
// can take all memory.
inline constexpr size_t kMaxNetmailText = 64 * 1024;

inline constexpr uint16_t kAttributePrivate = 0x0001;
inline constexpr uint16_t kAttributeKillSent = 0x0080;
inline constexpr uint16_t kAttributeLocal = 0x0100;

// The 190-byte header; field names as FTS-0001 gives them.
struct NetmailHeader {
  std::string fromUserName;
  std::string toUserName;
  std::string subject;
  std::string dateTime;
  uint16_t timesRead = 0;
  uint16_t destNode = 0;
  uint16_t origNode = 0;
  uint16_t cost = 0;
  uint16_t origNet = 0;
  uint16_t destNet = 0;
  uint16_t replyTo = 0;
  uint16_t attribute = 0;
  uint16_t nextReply = 0;
};

// The control lines a reader keeps; each empty when its line is absent.
struct MessageKludges {
  std::string intl_dest;
  std::string intl_orig;
  std::string topt;
  std::string fmpt;
  std::string msgid;
};

struct NetmailText {
  MessageKludges kludges;
  std::vector<std::string> body_lines;
};

// The header as stored (texts cut to their fields, unused bytes zero), and
// back. DecodeNetmailHeader reads what `bytes` holds; missing bytes read as
// zero.
std::string EncodeNetmailHeader(const NetmailHeader& header);
NetmailHeader DecodeNetmailHeader(std::string_view bytes);

// `folder` joined with a file name: a separator is put between them unless
// the folder ends in one or is empty (the working directory).
std::string JoinFolder(const std::string& folder, const std::string& name);

// Creates the next message of `folder` exclusively, open for reading and
// writing, and stores its path in `path_out`. nullptr when no number is
// free or the file cannot be made; nothing existing is ever touched.
// With `pending_for` (the name of the request it answers) the message is a
// pending reply: under a name no mailer or reader takes ("~" + request +
// "." + number) until ReleaseNetmailMessage, so that a run killed before
// its request was deleted never gives the requester a second answer.
platform::FilePtr CreateNetmailMessage(platform::Env& env, const std::string& folder,
                                       std::string& path_out,
                                       const std::string& pending_for = {});
// Gives a pending reply its message name (its own number, or the next free
// one should another program have taken that); false, errno telling why,
// when it cannot.
[[nodiscard]] bool ReleaseNetmailMessage(platform::Env& env, const std::string& folder,
                                         const std::string& pending_path,
                                         std::string& released_path);
// What a killed run left: a pending reply whose request is gone is
// released, one whose request is still there removed (the request is
// answered again).
void SettlePendingReplies(platform::Env& env, Log& log, const std::string& folder);

// Writes the header and the INTL, FMPT, TOPT and MSGID control lines of a
// new message (its MSGID the next of `serials`); false when the file
// refused any of it, or no serial could be had (logged). The caller writes
// the body lines and closes the file.
[[nodiscard]] bool WriteNetmailHeader(platform::Env& env, Log& log, Serials& serials,
                                      const std::string& from_name,
                                      const FidoAddress& orig_address, const std::string& to_name,
                                      const FidoAddress& dest_address, const std::string& subject,
                                      const std::string& domain_suffix, platform::File& file);

// Reads the header of an opened message; false when the file is shorter
// than a header, which makes it no message at all.
bool ReadNetmailHeader(platform::File& file, NetmailHeader& header);

// Reads the rest of the message, at most kMaxNetmailText bytes: its
// control values and body lines.
NetmailText ReadNetmailText(platform::File& file);

// Writes `text` as it stands; false when the file refused it.
[[nodiscard]] bool WriteNetmailText(platform::File& file, std::string_view text);

// Closes a message written by pelix; false when the last of it failed to
// reach the file, which then must not be taken as a whole message.
[[nodiscard]] bool CloseNetmailMessage(platform::File& file);
