// The netmail pass: finds the requests to the robot among the stored
// messages of netmail_dir and hands each to the area manager.
#pragma once

#include <string>

#include "processor/netmail/area_manager.h"

// `answered` how many requests were answered. A configured folder that is
// not there is logged ('!'), and the pass finds nothing, as in an empty
// one. Ends the run, with the messages after the one that met it left for
// the next run, on a fatal condition of sending a file.
RunStatus RunNetmailPass(NetmailContext& context, int& answered);

// One stored message, given its full path; deleted once the area manager
// answered it. `answered` true when it was a request and was answered.
RunStatus ProcessNetmailMessage(NetmailContext& context, const std::string& message_path,
                                bool& answered);
