// The area manager: the netmail robot through which linked systems manage
// their own subscriptions, get the echo list and help, pause and resume
// deliveries, change their passwords, have an echo's files sent again, and
// ask for echoes this node does not carry, which it asks of its uplinks.
#pragma once

#include <string>
#include <vector>

#include "common/fido_address.h"
#include "platform/platform.h"
#include "processor/config_store.h"
#include "processor/log.h"
#include "processor/netmail/netmail_folder.h"
#include "processor/netmail/uplinks.h"
#include "processor/run_status.h"
#include "processor/serials.h"
#include "processor/tic/tic_context.h"

// What the netmail pass works with: the robot changes the configuration
// and writes it back, sends files through the run's outbound, which the
// TIC pass then goes on using, and forwards requests to the uplinks.
struct NetmailContext {
  platform::Env& env;
  Log& log;
  Configuration& config;
  Serials& serials;
  TicContext& tics;
  Uplinks& uplinks;
};

// One request found in the netmail folder.
struct NetmailRequest {
  std::string file_name;  // its message file in the netmail folder
  NetmailHeader header;
  std::string from_text;  // the requester's address as the log shows it
  FidoAddress from;
  FidoAddress to;
  std::vector<std::string> body_lines;
};

// Answers a request sent to one of the system's own addresses and writes
// pelix.fe and pelix.nod back when it changed them; true then, with the
// answer's messages as pending replies in `replies`: the request is to be
// deleted before they are released (ReleaseNetmailMessage). False when the
// request is not ours, or when a message of the answer could not be
// written: the answer is then taken back whole (its messages removed, the
// lists as before) so that a later run answers the request once. `status`
// ends the run when sending a file for the answer met a fatal condition;
// the answer is then taken back too.
bool RunAreaManager(NetmailContext& context, const NetmailRequest& request,
                    std::vector<std::string>& replies, RunStatus& status);
