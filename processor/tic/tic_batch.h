// The inbound pass's TICs share one wait for the disk: each is handled up
// to the moment its copies and outgoing TICs must be on disk, a number of
// them are forced there together, and then each is finished in arrival
// order. The log, the files written and the names taken are those of TICs
// handled one after another.
#pragma once

#include <string>

#include "processor/tic/tic_record.h"

// How many accepted TICs wait, at most, for one flush.
inline constexpr size_t kTicsPerFlush = 32;

// Around the handling of each TIC of the inbound pass. BeginTic holds the
// TIC's log lines while an earlier TIC waits; EndTic makes it wait too
// when it was accepted (or when its lines are held), and flushes once
// kTicsPerFlush wait.
void BeginTic();
void EndTic(const std::string& tic_path);

// Forces the waiting TICs' copies and outgoing TICs to disk and finishes
// them; the TIC being handled, if any, keeps its state, and its held lines
// are written. Called at the end of the pass, before a wait for a busy
// destination, before a TIC that shares a file name with a waiting one, and
// by FatalExit (a run ending there has finished every TIC before).
void FlushPendingTics();

// True when `tic` (read from `tic_path`) names a file a waiting TIC
// names or uses, or one that is the mailer's numbered copy of it or the
// other way round: handling it first could change what that TIC finds.
bool SharesNameWithWaitingTic(const std::string& tic_path, const TicRecord& tic);
