// Archives made in memory, as BBS software packs the files a sysop hatches.
#pragma once

#include <string>
#include <vector>

struct ArchiveMember {
  std::string name;
  std::string bytes;
};

enum class ArchiveKind { kZip, kSevenZip, kTarGz };

// The archive holding `members` in order; empty (and the test failed) when
// it cannot be made.
std::string ArchiveBytes(ArchiveKind kind, const std::vector<ArchiveMember>& members);
