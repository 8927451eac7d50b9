// What the flow files of every outbound name: the files the mailer is still
// to send.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// A path as flow lines and listings compare: absolute, lower case, and a
// "\" written by software on other systems read as the separator it
// stands for.
std::string ReferenceKey(std::string_view path);

// Every domain's outbound directory, its zone directories beside it and
// the point directories below both.
std::vector<std::string> OutboundDirectories();

// Adds the ReferenceKey of every file a flow file in `outbounds` names.
// False, after a '!' line ("Can't read %s, <left_alone> left alone"),
// when a flow file exists but cannot be read: a file only it names may
// still be waiting for the mailer.
[[nodiscard]] bool ReadFlowReferences(const std::vector<std::string>& outbounds,
                                      const char* left_alone,
                                      std::unordered_set<std::string>& referenced);
