// pelix.ini carried inside another text, as pelixcfg's text form of a node
// carries it: one quoted text per line of the file, so that what comes back
// is the file byte for byte.
//
//   "[pelix]"            the line, its "\n" understood
//   "dupe_days = 7\r"    a CR LF line end keeps its CR
//   "; last line\c"      \c: the file ends here without a line end
//
// Inside the quotes \\, \", \r, \t and \xHH (other control bytes) stand for
// themselves; every other byte is written as it is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

std::vector<std::string> QuotedIniLines(std::string_view file);

// Appends the line `quoted` stands for to `file`; false, with `file`
// unchanged, when `quoted` is not a text QuotedIniLines writes.
bool AppendQuotedIniLine(std::string_view quoted, std::string& file);
