// Every message box of setup goes through ShowMessageBox. The windowed
// program installs its toolkit's box; an embedding program (or a test) may
// install its own handler that answers instead of a person.
#pragma once

#include <functional>
#include <string>
#include <string_view>

enum class MessageButtons { kOk, kYesNo };
enum class MessageIcon { kNone, kQuestion, kExclamation, kStop, kInformation };
enum class MessageAnswer { kOk, kYes, kNo };

struct MessageBoxRequest {
  std::string text;  // UTF-8, like the caption
  std::string caption;
  MessageButtons buttons = MessageButtons::kOk;
  MessageIcon icon = MessageIcon::kNone;
};

using MessageBoxHandler = std::function<MessageAnswer(const MessageBoxRequest&)>;

// Replaces the handler and returns the previous one. An empty handler makes
// ShowMessageBox print the message on stderr and answer OK, or No to a
// question, so that nothing is ever converted or saved without a person.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

MessageAnswer ShowMessageBox(std::string_view text, std::string_view caption,
                             MessageButtons buttons, MessageIcon icon);
