// What the flow files of every outbound name: the files the mailer is still
// to send.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/platform.h"
#include "processor/log.h"

// A path as flow lines and listings compare: absolute, lower case, and a
// "\" written by software on other systems read as the separator it
// stands for.
std::string ReferenceKey(platform::Env& env, std::string_view path);

// Adds the ReferenceKey of every file the flow-file text `bytes` names.
// "^" (delete after sending) and "#" (truncate after sending) still mean
// the file has to go out; any other marker, such as "~" for a file already
// sent, is kept and so never matches a path.
void AddFlowReferences(platform::Env& env, std::string_view bytes,
                       std::unordered_set<std::string>& referenced);

// Every outbound directory (OutboundDirectories) in `outbounds`. False,
// after a '!' line ("Can't list %s, <left_alone> left alone" and the
// reason), when one cannot be listed: a file only its flow files name may
// still be waiting for the mailer.
[[nodiscard]] bool ListOutbounds(platform::Env& env, Log& log, const char* left_alone,
                                 std::vector<std::string>& outbounds);

// Adds the ReferenceKey of every file a flow file in `outbounds` names.
// False, after a '!' line ("Can't read %s, <left_alone> left alone", or
// "Can't list" and the reason), when a flow file exists but cannot be
// read, or a directory cannot be searched for them.
[[nodiscard]] bool ReadFlowReferences(platform::Env& env, Log& log,
                                      const std::vector<std::string>& outbounds,
                                      const char* left_alone,
                                      std::unordered_set<std::string>& referenced);
