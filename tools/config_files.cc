#include "tools/config_files.h"

#include <cerrno>
#include <cstring>

#include "common/node_options.h"

namespace {

void TakeParts(NodeFile file, const std::string& bytes, ConfigText& out) {
  switch (file) {
    case kPelixCfg: out.config = ReadMainConfig(bytes); break;
    case kPelixIni: out.ini = bytes; break;
    case kPelixDmn: out.domains = ReadDomains(bytes); break;
    case kPelixFe: out.echoes = ReadFileEchoes(bytes); break;
    case kPelixNod: out.links = ReadLinks(bytes); break;
  }
}

}  // namespace

bool ReadConfigFiles(platform::Env& env, const std::string& dir, ConfigText& out,
                     std::string& error) {
  out = ConfigText{};
  NodeFingerprint seen;
  for (size_t i = 0; i < kNodeFileCount; ++i) {
    const NodeFile file = static_cast<NodeFile>(i);
    const std::string path = dir + kNodeFileNames[i];
    std::string bytes;
    bool present = true;
    const size_t limit = file == kPelixIni ? kNodeOptionsSizeLimit : platform::kNoLimit;
    if (!platform::ReadFileIfPresent(env, path, bytes, present, limit)) {
      error = "Fatal : Can't read " + path + ", " + std::strerror(errno);
      return false;
    }
    if (!present) continue;
    if (file == kPelixCfg && !HasConfigSignature(bytes)) {
      error = "Fatal : File " + path + " is not a Pelix configuration file";
      return false;
    }
    seen[i] = SeenContents(bytes);
    TakeParts(file, bytes, out);
  }
  out.fingerprint = seen;
  return true;
}

std::string NodeFileBytes(const ConfigText& config, NodeFile file) {
  switch (file) {
    case kPelixCfg: return WriteMainConfigAsHeld(config.config);
    case kPelixIni: return config.ini.value_or("");
    case kPelixDmn: return WriteDomains(config.domains);
    case kPelixFe: return WriteFileEchoes(config.echoes, false);
    case kPelixNod: return WriteLinks(config.links);
  }
  return {};
}

bool RewriteNodeFile(platform::Env& env, const ConfigText& config, const std::string& dir,
                     NodeFile file) {
  if (file == kPelixIni && !config.ini) return true;
  const bool passwords = file == kPelixNod || file == kPelixIni;
  return platform::RewriteFile(env, dir + kNodeFileNames[file], NodeFileBytes(config, file),
                               passwords ? platform::kPrivateFileMode : platform::kDefaultFileMode);
}

bool WriteConfigFiles(platform::Env& env, const ConfigText& config, const std::string& dir,
                      NodeFile& failed) {
  for (size_t i = 0; i < kNodeFileCount; ++i) {
    failed = static_cast<NodeFile>(i);
    if (!RewriteNodeFile(env, config, dir, failed)) return false;
  }
  return true;
}

bool WriteConfigFiles(const ConfigText& config, const std::string& dir) {
  NodeFile failed;
  return WriteConfigFiles(platform::DefaultEnv(), config, dir, failed);
}

bool ReadConfigFiles(const std::string& dir, ConfigText& out, std::string& error) {
  return ReadConfigFiles(platform::DefaultEnv(), dir, out, error);
}
