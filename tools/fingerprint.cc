#include "tools/fingerprint.h"

#include <charconv>
#include <sstream>

namespace {

bool ParseSeen(std::string_view text, FileSeen& seen) {
  seen = FileSeen{};
  if (text == "-") return true;
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view size = text.substr(0, colon);
  const std::string_view hash = text.substr(colon + 1);
  const auto size_read = std::from_chars(size.data(), size.data() + size.size(), seen.size);
  const auto hash_read = std::from_chars(hash.data(), hash.data() + hash.size(), seen.hash, 16);
  seen.present = true;
  return !size.empty() && !hash.empty() && size_read.ec == std::errc() &&
         size_read.ptr == size.data() + size.size() && hash_read.ec == std::errc() &&
         hash_read.ptr == hash.data() + hash.size();
}

}  // namespace

FileSeen SeenContents(std::string_view bytes) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return {true, bytes.size(), hash};
}

std::string FingerprintText(const NodeFingerprint& fingerprint) {
  std::string text;
  for (size_t i = 0; i < kNodeFileCount; ++i) {
    const FileSeen& seen = fingerprint[i];
    char hash[17];
    const auto written = std::to_chars(hash, hash + 16, seen.hash, 16);
    const std::string hex(hash, written.ptr);
    text += std::string(i ? " " : "") + kNodeFileNames[i] + "=" +
            (seen.present ? std::to_string(seen.size) + ":" + std::string(16 - hex.size(), '0') + hex
                          : "-");
  }
  return text;
}

bool ParseFingerprint(std::string_view text, NodeFingerprint& fingerprint) {
  std::array<bool, kNodeFileCount> named{};
  std::istringstream words{std::string(text)};
  std::string word;
  while (words >> word) {
    const size_t equals = word.find('=');
    if (equals == std::string::npos) return false;
    const std::string name = word.substr(0, equals);
    size_t i = 0;
    while (i < kNodeFileCount && name != kNodeFileNames[i]) ++i;
    if (i == kNodeFileCount || named[i] || !ParseSeen(word.substr(equals + 1), fingerprint[i]))
      return false;
    named[i] = true;
  }
  // A dump made before pelix.ini was carried names the four binary files
  // alone; its text has no [ini] and leaves pelix.ini as it is.
  for (size_t i = 0; i < kNodeFileCount; ++i)
    if (!named[i] && i != kPelixIni) return false;
  return true;
}

std::vector<std::string> ChangedFiles(const NodeFingerprint& then, const NodeFingerprint& now) {
  std::vector<std::string> changed;
  for (size_t i = 0; i < kNodeFileCount; ++i)
    if (!(then[i] == now[i])) changed.push_back(kNodeFileNames[i]);
  return changed;
}

std::vector<std::string> PresentFiles(const NodeFingerprint& fingerprint) {
  std::vector<std::string> present;
  for (size_t i = 0; i < kNodeFileCount; ++i)
    if (fingerprint[i].present) present.push_back(kNodeFileNames[i]);
  return present;
}
