// %RESCAN: the newest files of an echo's area sent again to one link that
// asks for them, each with a TIC made as for a hatched file, to that link
// alone.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "processor/log.h"
#include "processor/run_status.h"
#include "processor/tic/tic_context.h"

// A FILES.BBS larger than this is not read: no listing comes near it.
inline constexpr size_t kFilesBbsLimit = 64 << 20;

struct ListedFile {
  std::string name;
  std::string desc;
};

// The files a FILES.BBS lists, in its order (the newest last, as files are
// appended when they arrive): the first word of each line and the rest as
// the description, without a download counter ("[00]"). Lines that begin
// with a blank (a description going on), ';' or '-' (comments, headers)
// and empty lines list no file.
std::vector<ListedFile> FilesBbsListing(std::string_view text);

// Sends the newest `count` files that the echo's FILES.BBS lists and that
// are still in its directory to the link of `entry`, oldest first; `sent`
// tells how many went. None go to a link that takes no files (passive,
// unknown, without an outbound). Ends the run on a fatal condition of an
// export, after the files before it went.
RunStatus RescanEcho(TicContext& context, Log& log, const FileEchoRecord& echo,
                     const EchoLinkEntry& entry, int count, int& sent);
