// Handing an accepted file to one link: two flow-file lines under the
// destination's busy flag, one naming the queue copy, one naming a fresh
// outgoing TIC.
#pragma once

#include <string>
#include <vector>

#include "common/records.h"
#include "platform/platform.h"
#include "processor/outbound/outbound_session.h"
#include "processor/outbound/unnamed_tics.h"
#include "processor/run_status.h"
#include "processor/serials.h"
#include "processor/tic_job.h"

// An entry of the echo that the file goes to, and its configured link.
struct ExportTarget {
  const EchoLinkEntry* entry;
  const LinkRecord* link;
};

// The entries of `echo` whose addresses an outgoing TIC adds to the
// received Seenby lines: "send" on, not there already, a configured link.
std::vector<const EchoLinkEntry*> SeenByAdded(TicJob& job, const FileEchoRecord& echo);

class TicExporter {
 public:
  TicExporter(platform::Env& env, OutboundSession& outbound, MadeTics& made, Serials& serials)
      : env_(env), outbound_(outbound), made_(made), serials_(serials) {}

  // Appends the queue copy of the job's file and a new outgoing TIC (the
  // one prepared for the entry, or a new one) to the flow file of `link`,
  // under the destination's busy flag. `domain` is the entry's DomainPart,
  // `base_name` the outbound base of its address; `echo` gives the Seenby
  // lines. Ends the run (logged) when the destination stays busy, or when
  // the TIC or the flow lines cannot be written.
  RunStatus Export(TicJob& job, const EchoLinkEntry& entry, const std::string& domain,
                   const std::string& base_name, const LinkRecord& link,
                   const FileEchoRecord& echo);

  // Writes the outgoing TICs of `targets` (the entries the file is about
  // to be exported to) without forcing each to disk; the exports then take
  // them instead of writing and forcing one each. A TIC that cannot be
  // written makes the export of its entry fail as it would have.
  void Prepare(TicJob& job, const std::vector<ExportTarget>& targets, const FileEchoRecord& echo);
  // The directories to force before the first flow line names what the job
  // made: where copies were made without forcing, and the TIC outbound
  // when TICs were prepared. Taken from the job.
  std::vector<std::string> TakeUnforcedDirs(TicJob& job);
  // What follows when they could not be forced: no export takes a prepared
  // TIC, and the first one stops as a TIC that cannot be written does.
  // `error` is the errno of the failed flush.
  void NotForced(TicJob& job, int error);
  // Removes the prepared TICs no export took: a TIC that no flow line
  // names must not stay for the mailer.
  void EndPrepared(TicJob& job);

 private:
  bool WriteOutgoingTic(TicJob& job, const LinkRecord& link, const FileEchoRecord& echo,
                        std::string& tic_path, bool sync, const std::string& made_before = {});
  bool TakeOutgoingTic(TicJob& job, const FidoAddress& address, const LinkRecord& link,
                       const FileEchoRecord& echo, std::string& tic_path);
  std::string OutgoingTicText(TicJob& job, const LinkRecord& link, const FileEchoRecord& echo);
  std::string OwnPathLine(const std::string& our_address);
  bool FlowNamesQueueCopy(TicJob& job, const std::string& flow_path);
  const std::string& QueueCopyLine(const TicJob& job);
  std::string TicFlowLine(const std::string& tic_path);
  std::string FlowLine(const std::string& prefix, const std::string& path);
  void RemoveUnsentTic(Log& log, const std::string& tic_path);
  RunStatus Stop(TicJob& job, const FidoAddress& address, const std::string& domain,
                 const std::string& message, int status);

  platform::Env& env_;
  OutboundSession& outbound_;
  MadeTics& made_;
  Serials& serials_;
  // tic_outbound_dir as it is on disk, and the value it was found for.
  std::string tic_outbound_native_;
  std::string tic_outbound_native_of_;
  // The flow line naming a queue copy, and the path it was made for.
  std::string queue_copy_line_;
  std::string queue_copy_line_of_;
};
