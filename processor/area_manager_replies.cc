#include "processor/area_manager_replies.h"

#include "processor/config_store.h"
#include "processor/log.h"
#include "processor/run.h"
#include "processor/run_state.h"

namespace {

std::string Rule() { return " " + std::string(78, '-') + "\r"; }

// "&" both ways, "+" receives only, "*" sends only, " " not linked.
const char* SubscriptionMarker(FileEchoRecord& echo, const FidoAddress& requester) {
  const EchoLinkEntry* entry = FindEchoLink(echo, requester);
  if (!entry) return " ";
  if (entry->send && entry->receive) return "&";
  if (entry->send) return "+";
  if (entry->receive) return "*";
  return " ";
}

}  // namespace

std::string TearLine() { return Format("\r--- Pelix %s by the Pelix developers", kVersion); }

std::string ListMessageText(const FidoAddress& requester) {
  std::string text = "\rList of File Echoes you can access:\r";
  text += "\r FileEcho Name   FileEcho Description:\r";
  text += Rule();
  for (FileEchoRecord& echo : State().fileecho_list) {
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
  return text + TearLine();
}
