// The local home of an accepted file: its echo's directory below
// fileecho_dir with the FILES.BBS list, and the announce database that the
// announce report later gathers.
#pragma once

#include <string>

#include "platform/platform.h"

// One FILES.BBS line: the name cut or padded to 12 characters, then the
// description, with "[00]" between them when the download counter is on.
std::string FilesBbsLine(const std::string& file, const std::string& desc, bool counter);

// One announce database line: " ", the 12-character name, " ", the
// description.
std::string AnnounceRecordLine(const std::string& file, const std::string& desc);

// Copies the TIC's file from the inbound (State().inbound_file, which may be
// a copy the mailer renamed) into fileecho_dir + area, under the TIC's File
// name. False
// (and logged) when no whole copy could be made: the TIC and its file then
// stay in the inbound, with nothing of them handed on.
// With Durability::kLater the copy is forced to disk by the forward that
// follows, together with the queue copy and the outgoing TICs.
[[nodiscard]] bool CopyFileIntoArea(platform::Durability durability = platform::Durability::kForced);
// Where CopyFileIntoArea places the file of State().tic.
std::string AreaCopyPath();

// Appends the file's FILES.BBS line once it is in its area; ends the run
// with status 2 when FILES.BBS cannot be opened.
void ListFileInArea();

// Appends the file's line to announce_db_dir + "Announce." + area; a file
// that cannot be opened is logged and skipped.
void AddAnnounceRecord();
