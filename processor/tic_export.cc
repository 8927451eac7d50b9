#include "processor/tic_export.h"

#include "common/fido_address.h"
#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/config_store.h"
#include "processor/log.h"
#include "processor/outbound.h"
#include "processor/run_state.h"
#include "processor/seen_by.h"

namespace {

// A flavour byte that cannot stand in a file name (a zero-filled record, a
// separator, a wildcard) would put the flow file somewhere the mailer never
// looks; such a link is handled as Normal, which is how setup shows it.
char FlowLetter(char flavour) {
  bool letter = (flavour >= 'a' && flavour <= 'z') || (flavour >= 'A' && flavour <= 'Z');
  bool digit = flavour >= '0' && flavour <= '9';
  return (letter || digit) ? flavour : 'f';
}

// Flow-file lines name files the way the mailer opens them on this system:
// "/" as separator and the letter case the file really has. A relative
// configured directory stays relative to the node directory.
std::string FlowLine(const std::string& prefix, const std::string& path) {
  return prefix + platform::NativePath(path) + "\r\n";
}

// "px" and six digits: the serial printed with "%08u", cut to eight
// characters, its first two overwritten.
std::string TicName() {
  std::string name = Format("%08u", NextSerial()).substr(0, 8);
  name[0] = 'p';
  name[1] = 'x';
  return name;
}

// Opens a new TIC under a name that no file in the TIC outbound holds yet;
// nullptr when the file cannot be created at all.
platform::FilePtr CreateTicFile(std::string& path) {
  const std::string& dir = State().config.tic_outbound_dir;
  // A TIC outbound that is not there yet is made, as the queue and the file
  // areas are, rather than stopping every run that forwards a file.
  if (!dir.empty()) platform::MakeDirectory(dir);
  while (true) {
    path = dir + TicName() + ".tic";
    if (platform::Exists(path)) continue;
    bool taken = false;
    platform::FilePtr tic = platform::OpenNewFile(path, taken);
    if (tic) return tic;
    // Another program took the name between the test and the creation.
    if (!taken) return nullptr;
  }
}

std::string OwnPathLine(const std::string& our_address) {
  const int32_t offset = State().config.utc_offset;
  const platform::LocalTime t = platform::LocalNow();
  const char* format = offset < 0
      ? "Path %s %lu %s %s %u %02.2u:%02.2u:%02.2u %u UTC%02.2d00\r\n"
      : "Path %s %lu %s %s %u %02.2u:%02.2u:%02.2u %u UTC+%02.2d00\r\n";
  return Format(format, our_address.c_str(), static_cast<unsigned long>(platform::UtcSeconds()),
                WeekdayName(t.weekday), MonthName(t.month), static_cast<unsigned>(t.day),
                static_cast<unsigned>(t.hour), static_cast<unsigned>(t.minute),
                static_cast<unsigned>(t.second), static_cast<unsigned>(t.year), offset);
}

std::string OutgoingTicText(const LinkRecord& link, const FileEchoRecord& echo) {
  const TicRecord& tic = State().tic;
  const std::string& our_address =
      link.from_address.empty() ? State().config.main_address : link.from_address;
  std::string text;
  auto line = [&text](const char* keyword, const std::string& value) {
    text += keyword;
    text += ' ';
    text += value;
    text += "\r\n";
  };
  line("Area", tic.area);
  if (!tic.areadesc.empty()) line("Areadesc", tic.areadesc);
  line("Origin", tic.origin);
  line("From", our_address);
  line("File", tic.file);
  line("Desc", tic.desc);
  for (const std::string& ldesc : tic.ldesc) line("Ldesc", ldesc);
  line("Crc", tic.crc);
  if (!tic.replaces.empty()) line("Replaces", tic.replaces);
  if (!tic.magic.empty()) line("Magic", tic.magic);
  line("Created", tic.created);
  for (const std::string& path : tic.path) line("Path", path);
  text += OwnPathLine(our_address);
  for (const std::string& seen : tic.seenby) line("Seenby", seen);
  for (const EchoLinkEntry& other : echo.links) {
    if (!other.send || InTicSeenBy(other.address)) continue;
    if (FindLink(ParseAddress(other.address))) line("Seenby", other.address);
  }
  if (!link.tic_password.empty()) line("Pw", link.tic_password);
  return text;
}

// Fatal stops below clear our flag first: a flag we leave behind would hold
// the mailer and every later run away from this destination.
[[noreturn]] void StopAndClear(const FidoAddress& address, const std::string& domain,
                               const char* message, int status) {
  LogLine(kMarkError, message);
  ClearBusy(address, domain);
  FatalExit(status);
}

}  // namespace

void ExportTicToLink(const EchoLinkEntry& entry, const std::string& domain,
                     const std::string& base_name, const LinkRecord& link,
                     const FileEchoRecord& echo) {
  const FidoAddress address = ParseAddress(entry.address);
  if (!WaitWhileBusy(address, domain, State().busy_wait_limit)) {
    // Nothing of this TIC is lost: it stays in the inbound and is handled
    // again, forwarding included, once the flag has gone.
    LogLine(kMarkError, Format("Node %s stays busy, giving up", entry.address.c_str()));
    FatalExit(2);
  }
  SetBusy(address, domain);

  const std::string flow_path = base_name + "." + FlowLetter(link.flavour) + "lo";
  platform::FilePtr flow;
  {
    platform::CriticalErrorsOff quiet;
    flow = platform::OpenFile(flow_path, platform::OpenMode::kAppend);
  }
  const std::string flow_failure = Format("Can't modify bink outbound %s", flow_path.c_str());
  if (!flow) StopAndClear(address, domain, flow_failure.c_str(), 2);
  const MainConfig& config = State().config;
  // No "^": the queue copy is shared by every link and erased by the queue
  // scan once no flow file names it.
  bool flow_ok = flow->Write(FlowLine("", config.queue_dir + State().tic.file));

  std::string tic_path;
  platform::FilePtr tic;
  {
    platform::CriticalErrorsOff quiet;
    tic = CreateTicFile(tic_path);
  }
  if (!tic) {
    (void)flow->Close();
    StopAndClear(address, domain, "Can't create TIC file", 3);
  }
  // "^": the mailer deletes the TIC once it has been sent.
  flow_ok = flow->Write(FlowLine("^", tic_path)) && flow_ok;
  flow_ok = flow->Close() && flow_ok;
  bool tic_ok = tic->Write(OutgoingTicText(link, echo));
  tic_ok = tic->Close() && tic_ok;
  // A write that failed (a full disk) must not pass for a forwarded file.
  if (!flow_ok) StopAndClear(address, domain, flow_failure.c_str(), 2);
  if (!tic_ok) StopAndClear(address, domain, "Can't create TIC file", 3);

  ClearBusy(address, domain);
  LogLine(kMarkTic, Format("Exported to %s", entry.address.c_str()));
}
