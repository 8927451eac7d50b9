// What handling a TIC works with besides the TIC itself: the parts a run
// owns and hands down to its TIC pass (and to a hatch).
#pragma once

#include "platform/exit_cleanup.h"
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

// Everything a run that sends files owns for it, made in the order the
// parts depend on each other: the node's numbers, the outbound session,
// the list of outgoing TICs no flow line names yet, the exporter and the
// duplicate base. `context` hands them down; a pass or a hatch makes one.
struct TicSending {
  TicSending(platform::Env& env, Configuration& config)
      : serials(env),
        outbound(env, platform::ExitCleanup::OfProcess()),
        made(env),
        exporter(env, outbound, made, serials),
        dupes(env, config.options.dupe_days),
        context{env, config, outbound, exporter, &dupes} {}
  TicSending(const TicSending&) = delete;
  TicSending& operator=(const TicSending&) = delete;

  Serials serials;
  OutboundSession outbound;
  MadeTics made;
  TicExporter exporter;
  DupeBase dupes;
  TicContext context;
};
