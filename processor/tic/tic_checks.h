// The checks an arrived TIC must pass, in their order: a usable File and
// Area, the file there with its CRC, a configured sender with its password,
// a TIC that has not passed us before, a known echo (or one the sender may
// create) and the sender's right to send to it. The first that fails moves
// the TIC (and its file, when that is the sender's to move) into
// bad_tic_dir.
#pragma once

#include <string>
#include <string_view>

#include "processor/run_status.h"
#include "processor/tic/inbound_tics.h"
#include "processor/tic/tic_context.h"
#include "processor/tic_job.h"

// `accepted` true when every check passed: job.echo_index is then the
// TIC's echo, created for it if need be. Ends the run when a created echo
// cannot be added to pelix.fe at all.
RunStatus CheckInboundTic(TicContext& context, InboundTics& tics, TicJob& job, bool& accepted);

// True when a configured link sent the TIC, with its TIC password: only
// then is the TIC's file its own to move or to look for under another
// name. Looked at ahead of its turn, without a word, so that the checks and
// their lines keep their order.
bool SenderAuthenticated(const TicRecord& tic);

// True when the TIC and its file may be removed from the inbound once
// handled, or every run would forward them again (a mailer and pelix
// running as different users); logged when not.
bool InboundRemovable(platform::Env& env, TicJob& job);

// Moves a rejected TIC into bad_tic_dir, and notes `reason` in the index
// there; its file goes along when a configured link sent the TIC with its
// password, and the TIC names one that may be touched and that no other
// TIC of the inbound (`tics`) names. A move whose target exists leaves
// the file.
void MoveToBadTics(platform::Env& env, InboundTics& tics, TicJob& job, std::string_view reason);
