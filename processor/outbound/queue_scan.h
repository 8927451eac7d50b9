// The queue pass: erases the queue copies that no flow file names any more,
// once the mailer has sent them to every link.
#pragma once

#include "platform/platform.h"
#include "processor/log.h"
#include "processor/outbound/outbound_session.h"

// Also clears the side files of busy flags that killed runs left in the
// outbound; this run's own (in `outbound`) are left alone.
void ScanQueue(platform::Env& env, Log& log, OutboundSession& outbound);
