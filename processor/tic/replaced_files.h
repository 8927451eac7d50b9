// Files that supersede each other (the weekly nodelist, a program's next
// version) travel with a Replaces line naming the older ones. In an echo
// with `replaces` on (pelix.ini) the new file removes them from the echo's
// directory, with their FILES.BBS entries, so that the area holds the
// latest alone; elsewhere the older files stay.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "processor/run_status.h"
#include "processor/tic_job.h"

// The FILES.BBS text `listing` without the entries of the files `removed`,
// and with `line` as the entry of `name`: in place of its first entry (its
// later ones dropped), or appended. An entry is a line whose first word is
// the file's name, letter case ignored, with the lines after it that start
// with a blank (a long description). Every other byte stays as it was.
std::string ListingWith(std::string_view listing, const std::vector<std::string>& removed,
                        std::string_view name, std::string_view line);

// Lists the job's file, placed in its echo's directory, in FILES.BBS. With
// `replaces` on for the echo, the files of that directory which the TIC's
// Replaces value names (a name, or a pattern of "?" and "*") are removed
// first, and FILES.BBS is rewritten once without their entries, the new
// file taking over the entry of its name where there is one. Otherwise, and
// when FILES.BBS cannot be read or rewritten, the line is appended as
// ListFileInArea does (which ends the run when FILES.BBS cannot be opened).
RunStatus ListFileReplacing(platform::Env& env, TicJob& job);
