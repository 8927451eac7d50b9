// The announcement of new files (a run with /A): every "Announce.<tag>"
// file of the announce database, grouped by echo, posted as one "New
// Files" message into the JAM base or written to the text file.
#pragma once

#include "platform/platform.h"
#include "processor/log.h"
#include "processor/serials.h"

void MakeAnnounceReport(platform::Env& env, Log& log, Serials& serials);
