// Configuration texts are 8-bit, in the code page the sysop chose for them:
// one byte is one character on screen and back, so every byte a file holds
// survives editing. The edits refuse characters the page cannot hold
// (code_page_guard.h), so nothing typed is lost on the way back.
#pragma once

#include <QString>
#include <string>

#include "setup/config/code_page.h"
#include "setup/config/setup_config.h"

inline QString ShownText(const std::string& text) {
  std::u16string shown = DecodeText(text, SetupState().code_page);
  return QString::fromUtf16(shown.data(), static_cast<qsizetype>(shown.size()));
}

inline std::string TypedText(const QString& text) {
  std::string bytes;
  EncodeText(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                 static_cast<size_t>(text.size())),
             SetupState().code_page, bytes);
  return bytes;
}
