// Small text helpers shared by pelix and setup: the tokenizer, keyword
// tables, decimal conversion, case-insensitive comparison and date texts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The longest token the parsers keep; longer ones are cut to this length.
inline constexpr size_t kMaxTokenLength = 255;

// Skips separators at pos, returns the characters up to the next separator
// (at most kMaxTokenLength of them) and leaves pos after the separators that
// follow. Runs of separators count as one; a used-up text gives "".
std::string NextToken(std::string_view text, size_t& pos, char separator);

struct Keyword {
  const char* word;
  int code;  // 0 ends the table
};

// Code of the first entry whose word equals `word` (exactly, or ignoring the
// case of ASCII letters), or `default_code`.
int LookupKeyword(const Keyword* table, std::string_view word,
                  int default_code, bool exact);

// Decimal text as the C library reads it: leading blanks, optional sign,
// digits up to the first non-digit; no digits give 0. Callers that store the
// value in 16 bits keep its low 16 bits.
long long DecimalValue(std::string_view text);

// Every comparison of names that ignores letter case folds ASCII letters
// only, as FidoNet's DOS-born software does; other bytes compare as they are.
char LowerAscii(char c);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string ToUpperAscii(std::string_view text);
std::string ToLowerAscii(std::string_view text);
// A hash that texts EqualsIgnoreCase calls equal share.
size_t FoldedHash(std::string_view text);

// The process id a flag file's text holds: `word` (may be empty), blanks,
// then decimal digits ended by the text's end, a blank or a line end.
// 0 when the text holds none in that form.
int ProcessIdIn(std::string_view text, std::string_view word = {});

// The text with every control character shown as "?": values from
// strangers in log lines and in the lines of files pelix writes.
std::string LoggableText(std::string_view text);

// The lines of a text file, each without its LF or CR LF; a last line
// without a line end counts too.
std::vector<std::string_view> TextLines(std::string_view text);

// The last name of a path: what follows its last "/" or "\\".
std::string NameInPath(std::string_view path);

// "Jan".."Dec" for 1..12, "Sun".."Sat" for 0..6, "" otherwise.
const char* MonthName(int month);
const char* WeekdayName(int weekday);

// The year without its first two digits: 1999 -> 99, 2005 -> 5. Years below
// 100 are returned as they are.
unsigned TwoDigitYear(unsigned year);
