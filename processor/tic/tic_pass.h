// The TIC pass: every "*.tic" of inbound_dir in listing order, each read,
// checked and, when accepted, forwarded, placed and announced.
#pragma once

#include "processor/log.h"
#include "processor/outbound/unnamed_tics.h"
#include "processor/run_status.h"
#include "processor/tic/inbound_done.h"
#include "processor/tic/tic_context.h"

// What became of the TICs the pass found in the inbound: accepted (handed
// on and placed), refused (moved to Bad Tics), or left there for a later run.
struct TicCounts {
  int accepted = 0;
  int refused = 0;
  int left = 0;
};

// Also retries the TICs of bad_tic_dir whose late file has arrived, and
// clears the files a killed run moved out of the inbound (its outgoing TICs
// no flow line names are the caller's, erased before any pass makes one). Ends the run on the fatal conditions of the
// TICs' handling, once every TIC before the one that met it is done.
RunStatus RunTicPass(TicContext& context, InboundDone& done, MadeTics& made, Log& log,
                     TicCounts& counts);
