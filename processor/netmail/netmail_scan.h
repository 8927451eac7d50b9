// The netmail pass: finds the requests to the robot among the stored
// messages of netmail_dir and hands each to the area manager.
#pragma once

#include <string>

#include "processor/netmail/area_manager.h"

void RunNetmailPass(NetmailContext& context);

// One stored message, given its full path; deleted once the area manager
// answered it.
void ProcessNetmailMessage(NetmailContext& context, const std::string& message_path);
