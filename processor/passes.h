// The passes the run sequence hands each found file to, in run order.
#pragma once

#include <string>

// One stored netmail message of netmail_dir, given its full path.
void ProcessNetmailMessage(const std::string& message_path);

// One TIC file of inbound_dir, given its full path.
void ReadTic(const std::string& tic_path);

// Erases the queue copies that no flow file names any more.
void ScanQueue();

// Posts the announcement of new files (run with /A).
void MakeAnnounceReport();
