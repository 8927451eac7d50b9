// The version pelix shows in its banner, tear and origin lines and in the
// TICs it hatches.
#pragma once

inline constexpr char kVersion[] = "1.02";
