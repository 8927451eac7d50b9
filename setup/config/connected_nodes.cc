#include "setup/config/connected_nodes.h"

#include "common/fido_address.h"
#include "common/text_helpers.h"
#include "setup/config/dialog_text.h"

bool AddConnectedNode(FileEchoRecord& echo, const EchoLinkEntry& entry) {
  if (FindConnectedNode(echo, entry.address)) return false;
  EchoLinkEntry added;
  EditConnectedNode(added, entry.address, entry.receive != 0, entry.send != 0);
  echo.links.push_back(std::move(added));
  return true;
}

void RemoveConnectedNode(FileEchoRecord& echo, std::string_view address) {
  for (auto it = echo.links.begin(); it != echo.links.end(); ++it) {
    if (EqualsIgnoreCase(it->address, address)) {
      echo.links.erase(it);
      return;
    }
  }
}

EchoLinkEntry* FindConnectedNode(FileEchoRecord& echo, std::string_view address) {
  FidoAddress wanted = ParseAddress(address);
  for (EchoLinkEntry& entry : echo.links) {
    if (ParseAddress(entry.address) == wanted) return &entry;
  }
  return nullptr;
}

void EditConnectedNode(EchoLinkEntry& entry, std::string_view address, bool receive, bool send) {
  entry.address = StoredText(address);
  entry.receive = receive ? 1 : 0;
  entry.send = send ? 1 : 0;
}

std::string ConnectedNodeLine(const EchoLinkEntry& entry) {
  std::string line = entry.address.empty() ? "(no address)" : entry.address;
  std::string flags;
  if (entry.receive) flags = "receive";
  if (entry.send) flags += flags.empty() ? "send" : ", send";
  if (flags.empty()) flags = "off";
  if (!EchoLinkIsStored(entry)) flags += ": not saved";
  return line + "  (" + flags + ")";
}
