#include "common/text_helpers.h"

#include <cstdint>
#include <string>

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

namespace {

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' ||
         c == '\v';
}

}  // namespace

std::string NextToken(std::string_view text, size_t& pos, char separator) {
  if (pos >= text.size()) return {};
  while (pos < text.size() && text[pos] == separator) ++pos;
  size_t start = pos;
  while (pos < text.size() && text[pos] != separator) ++pos;
  std::string token(text.substr(start, pos - start));
  if (token.size() > kMaxTokenLength) token.resize(kMaxTokenLength);
  while (pos < text.size() && text[pos] == separator) ++pos;
  return token;
}

int LookupKeyword(const Keyword* table, std::string_view word,
                  int default_code, bool exact) {
  for (const Keyword* k = table; k->code != 0; ++k) {
    if (exact ? word == k->word : EqualsIgnoreCase(word, k->word)) {
      return k->code;
    }
  }
  return default_code;
}

long long DecimalValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Unsigned arithmetic wraps instead of overflowing; only the low bits of
  // an absurd number matter to the callers.
  unsigned long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  if (negative) value = 0ULL - value;
  return static_cast<long long>(value);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

size_t FoldedHash(std::string_view text) {
  // FNV-1a over the letters in one case.
  uint64_t hash = 14695981039346656037ull;
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(LowerAscii(c))) * 1099511628211ull;
  return static_cast<size_t>(hash);
}

int ProcessIdIn(std::string_view text, std::string_view word) {
  if (text.substr(0, word.size()) != word) return 0;
  size_t at = word.size();
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  const size_t digits_at = at;
  int64_t pid = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    pid = pid * 10 + (text[at++] - '0');
    if (pid > 0x7fffffff) return 0;
  }
  if (at == digits_at) return 0;
  // "123abc" is no process id; "123" ended by a blank or a line end is.
  if (at < text.size() && !IsBlank(text[at])) return 0;
  return static_cast<int>(pid);
}

std::string NameInPath(std::string_view path) {
  const size_t cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

const char* MonthName(int month) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr",
                                        "May", "Jun", "Jul", "Aug",
                                        "Sep", "Oct", "Nov", "Dec"};
  return (month >= 1 && month <= 12) ? kMonths[month - 1] : "";
}

const char* WeekdayName(int weekday) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed",
                                      "Thu", "Fri", "Sat"};
  return (weekday >= 0 && weekday <= 6) ? kDays[weekday] : "";
}

unsigned TwoDigitYear(unsigned year) {
  std::string digits = std::to_string(year);
  if (digits.size() <= 2) return year;
  return static_cast<unsigned>(DecimalValue(digits.substr(2)));
}

std::string LoggableText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return out;
}

std::vector<std::string_view> TextLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}
