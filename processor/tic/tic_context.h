// What handling a TIC works with besides the TIC itself: the parts a run
// owns and hands down to its TIC pass (and to a hatch).
#pragma once

#include "platform/platform.h"
#include "processor/config_store.h"
#include "processor/outbound/outbound_session.h"
#include "processor/outbound/tic_export.h"
#include "processor/tic/dupe_base.h"

struct TicContext {
  platform::Env& env;
  // Read through Config() as everywhere; changed here only when a TIC
  // creates its echo.
  Configuration& config;
  OutboundSession& outbound;
  TicExporter& exporter;
  // The files taken in before; nullptr where none are checked or recorded.
  DupeBase* dupes = nullptr;
};
