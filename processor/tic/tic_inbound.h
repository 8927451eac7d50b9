// The fate of one arrived TIC and its file: checked, then forwarded, placed
// and announced, or rejected into bad_tic_dir.
#pragma once

#include <string>
#include <string_view>

#include "common/records.h"

// Checks and routes the TIC just read into State().tic; `tic_path` is its
// full path in inbound_dir. A TIC accepted has its copies and outgoing TICs
// made and sets State().tic_deferred: FinishInboundTic does the rest once
// they are on disk.
void ProcessInboundTic(const std::string& tic_path);

// Hands the file on, lists and announces it and removes the TIC and its
// file from the inbound; `forced` false when the copies could not be forced
// to disk (nothing is then handed on). State() holds that TIC again.
void FinishInboundTic(const std::string& tic_path, const FileEchoRecord& echo, bool forced);

// Moves a rejected TIC, and its file when the TIC names one that may be
// touched, into bad_tic_dir, and notes `reason` in the index there. A move
// whose target exists leaves the file.
void MoveToBadTics(const std::string& tic_path, std::string_view reason);

// True when at least one entry of `echo` would be handed the file now in
// State().tic: "send" on, not in its Seenby, a known link, not passive.
bool AnyLinkTakesFile(const FileEchoRecord& echo);

// Hands State().inbound_file, as one queue copy, to every entry of `echo`
// that takes it, once every destination is free; the file itself is only
// read. False (logged) when no whole queue copy could be made: nothing was
// then handed on.
[[nodiscard]] bool ForwardToLinks(const FileEchoRecord& echo);
