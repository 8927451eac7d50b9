#include "processor/netmail/area_manager_replies.h"

#include <algorithm>

#include "processor/config_store.h"
#include "processor/log.h"
#include "processor/version.h"

namespace {

std::string Rule() { return " " + std::string(78, '-') + "\r"; }

// A line of the avail list ends where the rule does.
constexpr size_t kAvailLineWidth = 79;

// "&" both ways, "+" receives only, "*" sends only, " " not linked.
const char* SubscriptionMarker(const FileEchoRecord& echo, const FidoAddress& requester) {
  const EchoLinkEntry* entry = FindEchoLink(echo, requester);
  if (!entry) return " ";
  if (entry->send && entry->receive) return "&";
  if (entry->send) return "+";
  if (entry->receive) return "*";
  return " ";
}

// What the requester may do in the echo, said to it: the entry's "send"
// means we send to it, so "you receive". A bare "receive" would read as our
// own flag of the same name, which means the opposite.
std::string RequesterRights(const EchoLinkEntry& entry) {
  if (entry.send && entry.receive) return "you receive, you send";
  if (entry.send) return "you receive";
  if (entry.receive) return "you send";
  return "";
}

const char* FlavourName(char flavour) {
  switch (flavour | 0x20) {
    case 'c': return "Crash";
    case 'd': return "Direct";
    case 'h': return "Hold";
    case 'i': return "Immediate";
    default: return "Normal";
  }
}

}  // namespace

std::string TearLine() { return Format("\r--- Pelix %s by the Pelix developers", kVersion); }

std::string ListMessageText(const FidoAddress& requester) {
  std::string text = "\rList of File Echoes you can access:\r";
  text += "\r FileEcho Name   FileEcho Description:\r";
  text += Rule();
  for (const FileEchoRecord& echo : Config().fileecho_list) {
    text += SubscriptionMarker(echo, requester);
    text += Format("%-15.15s %s\r", echo.tag.c_str(), echo.description.c_str());
  }
  text += Rule();
  text +=
      "\r & - You can Send to/Receive files from this fileecho\r"
      " + - You can only Receive files from this fileecho\r"
      " * - You can only Send files to this fileecho\r";
  return text + TearLine();
}

std::string HelpMessageText() {
  std::string text = "\rHere is some help about how to to use Pelix Area Manager:\r";
  text += "You must create a message To Pelix (Pelix also ansvers at messages to AllFix and FileFix)\r";
  text += "In subject you must write your password to Pelix Areafix manger\r";
  text += "For Example:\rFrom    : SysOp (2:5020/1234.5)\rTo      : Pelix(2:5020/1234)\r"
          "Subject : <-- your password here\r";
  text += "\r\rStatements that can occur in message body:\r";
  text += " +<AREANAME> to connect to a FileEcho\r";
  text += " -<AREANAME> to disconnect from a FileEcho\r";
  text += " %HELP To get help about Pelix Area Manager\r";
  text += " %LIST To get a list of FileEchoes you can access\r";
  text += " %PAUSE To stop receiving fileechoes\r";
  text += " %PASSIVE same as %PAUSE\r";
  text += " %RESUME To start receiving fileechoes again\r";
  text += " %ACTIVE same as %RESUME\r";
  text += " %PASSWORD <password> Change Tic password\r";
  text += " %AMPASSWORD <password> Change Area Manger password\r";
  text += " %QUERY To list the FileEchoes you are linked to\r";
  text += " %UNLINKED To list the FileEchoes you are not linked to\r";
  text += " %INFO To see your settings at this system\r";
  text += " %RESCAN <AREANAME> [<count>] To get the newest files of a FileEcho again\r";
  text += " %AVAIL To get a list of FileEchoes you can request from our uplinks\r";
  return text + TearLine();
}

std::string QueryReplyText(const FidoAddress& requester) {
  std::string lines;
  for (const FileEchoRecord& echo : Config().fileecho_list) {
    const EchoLinkEntry* entry = FindEchoLink(echo, requester);
    if (!entry || (!entry->send && !entry->receive)) continue;
    lines += Format(" %-15.15s %s\r", echo.tag.c_str(), RequesterRights(*entry).c_str());
  }
  if (lines.empty()) return "You are not linked to any FileEcho\r";
  return "FileEchoes you are linked to:\r" + lines;
}

std::string UnlinkedReplyText(const FidoAddress& requester) {
  std::string lines;
  for (const FileEchoRecord& echo : Config().fileecho_list) {
    const EchoLinkEntry* entry = FindEchoLink(echo, requester);
    if (entry && (entry->send || entry->receive)) continue;
    lines += Format(" %-15.15s %s\r", echo.tag.c_str(), echo.description.c_str());
  }
  if (lines.empty()) return "You are linked to every FileEcho\r";
  return "FileEchoes you are not linked to:\r" + lines;
}

std::string InfoReplyText(const LinkRecord& link) {
  return Format("Your settings:\r Address    : %s\r Flavour    : %s\r Passive    : %s\r"
                " Autocreate : %s\r",
                link.address.c_str(), FlavourName(link.flavour), link.passive ? "Yes" : "No",
                link.allow_autocreate ? "Yes" : "No");
}

std::vector<std::string> AvailMessageTexts(const std::vector<AvailableEcho>& echoes) {
  std::vector<std::string> texts;
  for (size_t first = 0; first < echoes.size(); first += kAvailLinesPerMessage) {
    std::string text = "\rFileEchoes you can request from our uplinks:\r";
    text += "\r FileEcho Name   Uplink          FileEcho Description:\r";
    text += Rule();
    const size_t end = std::min(echoes.size(), first + kAvailLinesPerMessage);
    for (size_t i = first; i < end; ++i) {
      // The tag whole, as a +TAG must give it; the description as far as
      // the line holds.
      std::string line = Format(" %-15s %-15s ", echoes[i].tag.c_str(),
                                FormatAddress(echoes[i].uplink->address).c_str());
      line += echoes[i].description.substr(0, line.size() < kAvailLineWidth
                                                  ? kAvailLineWidth - line.size()
                                                  : 0);
      text += line + "\r";
    }
    text += Rule();
    text += "\r Send +<AREANAME> to have it requested from the uplink for you\r";
    texts.push_back(text + TearLine());
  }
  return texts;
}
