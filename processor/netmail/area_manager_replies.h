// The texts of the robot's messages: the echo list, the help text and the
// tear line that ends every message it writes.
#pragma once

#include <string>

#include <vector>

#include "common/fido_address.h"
#include "common/records.h"
#include "processor/netmail/uplinks.h"

// "\r--- Pelix 1.02" and the credit; no CR follows it.
std::string TearLine();

// Every echo, in configuration order, marked with the requester's
// subscription to it.
std::string ListMessageText(const FidoAddress& requester);

std::string HelpMessageText();

// Reply lines, each ending in CR: the echoes the requester is linked to,
// with what it may do in each ("you receive", "you send"), as its %QUERY asks.
std::string QueryReplyText(const FidoAddress& requester);
// The echoes the requester is not linked to, for %UNLINKED.
std::string UnlinkedReplyText(const FidoAddress& requester);
// The link's own settings for %INFO; never its passwords.
std::string InfoReplyText(const LinkRecord& link);

// The echoes for %AVAIL, with the uplink each is requested from: the texts
// of the messages they fill, at most kAvailLinesPerMessage echoes in each;
// none when there are none.
inline constexpr size_t kAvailLinesPerMessage = 400;
std::vector<std::string> AvailMessageTexts(const std::vector<AvailableEcho>& echoes);
