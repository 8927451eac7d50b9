// The File Attach Status of a link: the letter in the middle of its flow
// file's extension (flo, clo, dlo, hlo, ilo) and the word the Link dialog
// shows for it.
#pragma once

#include <string_view>

// The letter for the text of the combo box (at most 254 characters of it),
// compared without regard to letter case; a text that names no status is
// Normal, 'f'.
char FlavourLetter(std::string_view text);

// "Crash", "Direct", "Hold", "Immediate", and "Normal" for every other
// letter.
const char* FlavourText(char flavour);
