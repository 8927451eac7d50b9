// The nodes connected to a file echo: its chain of entries, as the "Nodes
// Connected" list of the File Echo dialog changes it. Entries are matched by
// the system their address names (zone, net, node and point), so 1:2/3 and
// 1:2/3.0 are one node.
#pragma once

#include <string>
#include <string_view>

#include "common/records.h"

// Appends `entry` (its address cut to what the field holds) unless a node of
// the chain names the same system; false when it was already there.
bool AddConnectedNode(FileEchoRecord& echo, const EchoLinkEntry& entry);

// Removes the first entry whose address text equals `address`, ignoring
// letter case; nothing when none does.
void RemoveConnectedNode(FileEchoRecord& echo, std::string_view address);

// The first entry naming the same system as `address`, or nullptr.
EchoLinkEntry* FindConnectedNode(FileEchoRecord& echo, std::string_view address);

// Puts what the Connected Node picker holds into `entry`.
void EditConnectedNode(EchoLinkEntry& entry, std::string_view address, bool receive, bool send);

// The line of the "Nodes Connected" list: the address and what the node
// does, "2:5020/2  (receive, send)". What the save leaves out says so: an
// entry without an address shows "(no address)", one with neither box
// checked "(off: not saved)".
std::string ConnectedNodeLine(const EchoLinkEntry& entry);
