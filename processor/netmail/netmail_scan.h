// The netmail pass: finds the requests to the robot among the stored
// messages of netmail_dir and hands each to the area manager.
#pragma once

#include <string>

#include "processor/netmail/area_manager.h"

// Returns how many requests were answered. A configured folder that is not
// there is logged ('!'), and the pass finds nothing, as in an empty one.
int RunNetmailPass(NetmailContext& context);

// One stored message, given its full path; deleted once the area manager
// answered it. True when it was a request and was answered.
bool ProcessNetmailMessage(NetmailContext& context, const std::string& message_path);
