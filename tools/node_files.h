// The four configuration files of a node directory, in the order of the
// text form.
#pragma once

#include <array>
#include <cstddef>

enum NodeFile : size_t { kPelixCfg, kPelixDmn, kPelixFe, kPelixNod };
inline constexpr size_t kNodeFileCount = 4;
inline constexpr std::array<const char*, kNodeFileCount> kNodeFileNames = {
    "pelix.cfg", "pelix.dmn", "pelix.fe", "pelix.nod"};
