#include "processor/tic/own_file.h"

#include <vector>

#include "processor/config_store.h"
#include "processor/log.h"
#include "processor/tic/file_crc.h"
#include "processor/tic/forward.h"
#include "processor/version.h"

void DescribeOwnFile(platform::Env& env, TicJob& job, const FileEchoRecord& echo,
                     const std::string& name, const std::string& path) {
  const std::string& main_address = Config().main.main_address;
  TicRecord& tic = job.tic;
  tic.area = echo.tag;
  job.echo_tag = echo.tag;
  tic.areadesc = echo.description;
  tic.origin = main_address;
  tic.from = main_address;
  tic.file = name;
  tic.crc = Format("%8.8lX", static_cast<unsigned long>(FileCrc32(env, path)));
  tic.created = Format("by Pelix %s", kVersion);
  job.inbound_file = path;
  job.hatching = true;
}

RunStatus ForwardOwnFile(TicContext& context, TicJob& job, const FileEchoRecord& echo) {
  if (!AnyLinkTakesFile(job, echo)) return RunStatus::GoOn();
  std::vector<std::string> addresses;
  const std::vector<Destination> destinations = DestinationsToLookAt(job, echo, {}, addresses);
  if (RunStatus waited = WaitForDestinations(context, job, destinations, addresses); waited.ends())
    return waited;
  if (!PrepareForward(context, job, echo)) return RunStatus::End(2);
  ForceForwardToDisk(context, job);
  return FinishForward(context, job, echo);
}
