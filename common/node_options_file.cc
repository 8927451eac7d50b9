// pelix.ini on disk: read whole (a missing file is an empty one) and
// replaced whole.
#include <cerrno>

#include "common/node_options.h"
#include "platform/platform.h"

bool ReadNodeOptionsDocument(platform::Env& env, const std::string& path, IniDocument& document,
                             int& error) {
  std::string bytes;
  if (!platform::ReadWholeFile(env, path, bytes, kNodeOptionsSizeLimit)) {
    if (errno == ENOENT) {
      document = IniDocument();
      return true;
    }
    error = errno;
    return false;
  }
  document = IniDocument(bytes);
  return true;
}

bool ReadNodeOptions(platform::Env& env, const std::string& path, NodeOptions& options,
                     std::vector<std::string>& warnings, int& error) {
  IniDocument document;
  if (!ReadNodeOptionsDocument(env, path, document, error)) return false;
  options = ReadNodeOptionsFrom(document, path, warnings);
  return true;
}

bool WriteNodeOptionsDocument(platform::Env& env, const std::string& path,
                              const IniDocument& document) {
  return platform::RewriteFile(env, path, document.Text(), platform::kPrivateFileMode);
}
