// The texts of the robot's messages: the echo list, the help text and the
// tear line that ends every message it writes.
#pragma once

#include <string>

#include "common/fido_address.h"

// "\r--- Pelix 1.02" and the credit; no CR follows it.
std::string TearLine();

// Every echo, in configuration order, marked with the requester's
// subscription to it.
std::string ListMessageText(const FidoAddress& requester);

std::string HelpMessageText();
