// The local home of an accepted file: its echo's directory below
// fileecho_dir with the FILES.BBS list, and the announce database that the
// announce report later gathers.
#pragma once

#include <string>

#include "platform/platform.h"
#include "processor/run_status.h"
#include "processor/tic_job.h"

// One FILES.BBS line: the name padded to 12 characters (a longer one whole),
// one space and the description, with "[00]" and a space between them when
// the download counter is on.
std::string FilesBbsLine(const std::string& file, const std::string& desc, bool counter);

// One announce database line: " ", the name padded to 12 characters (a
// longer one whole), " ", the description.
std::string AnnounceRecordLine(const std::string& file, const std::string& desc);

// The echo's directory: fileecho_dir + the echo's tag.
std::string AreaDirectory(const TicJob& job);

// Where CopyFileIntoArea places the job's file: fileecho_dir + the echo's
// tag + "/" + File.
std::string AreaCopyPath(const TicJob& job);

// Copies the job's file (job.inbound_file, which may be a copy the mailer
// renamed) into its echo's directory under the TIC's File name. False
// (logged) when no whole copy could be made: the TIC and its file then stay
// in the inbound, with nothing of them handed on. With Durability::kLater
// the copy is forced to disk with the job's other copies (its directory is
// noted in job.unforced_dirs).
[[nodiscard]] bool CopyFileIntoArea(platform::Env& env, TicJob& job,
                                    platform::Durability durability);

// Appends the file's FILES.BBS line once it is in its area; ends the run
// with status 2 when FILES.BBS cannot be opened.
RunStatus ListFileInArea(platform::Env& env, TicJob& job);

// True when the echo's FILES.BBS has a line for the job's file already: a
// line that starts with its name as FilesBbsLine writes it.
bool ListedInFilesBbs(platform::Env& env, const TicJob& job);

// Appends the file's line to announce_db_dir + "Announce." + the echo's
// tag; a file that cannot be opened is logged and skipped.
void AddAnnounceRecord(platform::Env& env, TicJob& job);
