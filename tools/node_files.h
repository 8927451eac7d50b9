// The configuration files of a node directory, in the order of the text
// form: the four binary files and, beside pelix.cfg, the optional text
// file of options that have no room there.
#pragma once

#include <array>
#include <cstddef>

enum NodeFile : size_t { kPelixCfg, kPelixIni, kPelixDmn, kPelixFe, kPelixNod };
inline constexpr size_t kNodeFileCount = 5;
inline constexpr std::array<const char*, kNodeFileCount> kNodeFileNames = {
    "pelix.cfg", "pelix.ini", "pelix.dmn", "pelix.fe", "pelix.nod"};
