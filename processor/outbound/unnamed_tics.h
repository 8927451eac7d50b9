// Outgoing TICs that no flow line names yet. A run writes their names into
// a list in the node directory as it makes them, and empties the list once
// flow lines name them all (or they are removed again). A run killed in
// between leaves the list behind: the next run erases the TICs on it that
// no flow file names, which the mailer would never send.
#pragma once

#include <string>

inline constexpr char kUnnamedTicList[] = "pelix.tix";

// After `tic_path` was made in the TIC outbound.
void NoteMadeTic(const std::string& tic_path);
// Every TIC made so far is named by its flow line or removed.
void ForgetMadeTics();
// The end of the run's exports: the list is removed.
void EndMadeTics();
// Erases what a stopped run left, before this run makes TICs of its own.
void EraseUnnamedTics();
