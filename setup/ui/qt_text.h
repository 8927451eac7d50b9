// Configuration texts are 8-bit (the FidoNet code pages): one byte is one
// character on screen and back, so every byte a file holds survives editing.
#pragma once

#include <QString>
#include <string>

inline QString ShownText(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string TypedText(const QString& text) {
  return text.toLatin1().toStdString();
}
