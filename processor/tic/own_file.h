// A file of this node sent into an echo: one the sysop hatches, or one of
// an echo's area sent again to a link that asked for it. It goes out as if
// it had arrived with a TIC from nowhere: our Origin and From, no Path or
// Seenby but ours, the Crc computed, through the same export as an accepted
// file. The file itself is only read.
#pragma once

#include <string>

#include "common/records.h"
#include "platform/platform.h"
#include "processor/run_status.h"
#include "processor/tic/tic_context.h"
#include "processor/tic_job.h"

// Makes the job's TIC for `path`, sent as `name` into `echo`: Area and
// Areadesc from the echo, Origin and From our main address, the Crc of the
// file, Created by this program. Desc, Ldesc and Replaces are the caller's.
void DescribeOwnFile(platform::Env& env, TicJob& job, const FileEchoRecord& echo,
                     const std::string& name, const std::string& path);

// Hands the file to every entry of `echo` that takes it (an echo's only
// entry too: there is no sender to leave out): every destination found
// free first, the queue copy (a copy, never a second name of the sysop's
// file) and the outgoing TICs made and forced to disk, then the flow lines.
// Ends the run when a destination stays busy, no queue copy can be made or
// an export fails.
RunStatus ForwardOwnFile(TicContext& context, TicJob& job, const FileEchoRecord& echo);
