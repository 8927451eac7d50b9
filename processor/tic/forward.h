// Forwarding an accepted file to the links of its echo: one queue copy
// that every link's flow file names, and an outgoing TIC for each link.
// Done in two halves around the flush a group of TICs shares: prepared
// (the copy and the outgoing TICs made, nothing named yet), then finished
// (the flow lines, once what they name is on disk).
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "common/records.h"
#include "processor/outbound/outbound_session.h"
#include "processor/run_status.h"
#include "processor/tic/tic_context.h"
#include "processor/tic_job.h"

// True when at least one entry of `echo` would be handed the job's file:
// "send" on, not in its Seenby, a known link, not passive.
bool AnyLinkTakesFile(TicJob& job, const FileEchoRecord& echo);

// The most Seenby, Path and Ldesc lines a TIC forwarded for the job holds:
// the received ones, our Path line, and the Seenby lines added for the
// echo's links and for us.
size_t ForwardedListLines(TicJob& job, const FileEchoRecord& echo);

// The destinations of the entries the file goes to that are not in `free`
// (addresses as the echo names them), with those addresses in `addresses`.
std::vector<Destination> DestinationsToLookAt(TicJob& job, const FileEchoRecord& echo,
                                              const std::unordered_set<std::string>& free,
                                              std::vector<std::string>& addresses);

// Waits until none of `destinations` is busy; ends the run ('!' "Node %s
// stays busy, giving up") when one stays so for the whole wait. Nothing of
// the TIC has been handed to any link then: the next run forwards it whole.
RunStatus WaitForDestinations(TicContext& context, TicJob& job,
                              const std::vector<Destination>& destinations,
                              const std::vector<std::string>& addresses);

// The queue copy and the outgoing TICs, every destination found free
// before. False (logged) when no whole queue copy could be made: nothing
// may then be handed on, and the job's copies are made again by the next
// run.
[[nodiscard]] bool PrepareForward(TicContext& context, TicJob& job, const FileEchoRecord& echo);

// Forces what PrepareForward made to disk, one wait per file system,
// before the first flow line names it; when that fails, the first export
// stops as one whose TIC cannot be written does.
void ForceForwardToDisk(TicContext& context, TicJob& job);

// The flow lines of every entry the file goes to, in the echo's order,
// with the log lines of the link selection.
RunStatus FinishForward(TicContext& context, TicJob& job, const FileEchoRecord& echo);
