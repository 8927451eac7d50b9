#include "setup/config/message_box.h"

#include <cstdio>
#include <utility>

namespace {

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  return std::exchange(Handler(), std::move(handler));
}

MessageAnswer ShowMessageBox(std::string_view text, std::string_view caption,
                             MessageButtons buttons, MessageIcon icon) {
  MessageBoxRequest request{std::string(text), std::string(caption), buttons, icon};
  if (Handler()) return Handler()(request);
  std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
  return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
}
