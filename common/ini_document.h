// An INI file kept line by line: `key = value` lines under `[section]`
// headers, `;` or `#` starting a comment line. Every line stays as it was
// read (comments, blank lines, sections and keys no program knows, their
// order, their line ends), so that a program can change one value and write
// the file back with everything else untouched.
//
// Section names compare ignoring the case of ASCII letters, with runs of
// blanks counting as one ("[Echo  files]" is "echo FILES"); keys compare
// ignoring case. A value is the rest of its line after "=", without the
// blanks around it: a ";" or "#" inside a value belongs to the value, since
// passwords may hold them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct IniLine {
  enum class Kind {
    kBlank,
    kComment,
    kSection,  // `[name]`
    kKey,      // `key = value`
    kOther,    // none of these: kept, and reported by the readers
  };
  Kind kind = Kind::kBlank;
  std::string text;     // as read, without its line end
  std::string end;      // "\n", "\r\n", or "" for a last line without one
  std::string section;  // the section it is in ("" before the first), for
                        // a header its own name
  std::string key;      // kKey: the key and value without surrounding blanks
  std::string value;
};

class IniDocument {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string_view text);

  // The file again: every line as read, changed values in place.
  std::string Text() const;
  const std::vector<IniLine>& Lines() const { return lines_; }

  // The value of `key` in `section`. A key that is written more than once,
  // also in several sections of that name, counts where it is written last.
  bool Get(std::string_view section, std::string_view key, std::string& value) const;
  // Changes the value where Get finds it, keeping the rest of that line;
  // otherwise adds the key after the last key of the section's last header,
  // or a new section at the end. Line breaks in `value` become blanks, and
  // blanks around it are dropped, as a reader would drop them.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  // Removes every line of `key` in `section`; false when there was none.
  bool Remove(std::string_view section, std::string_view key);

  bool HasSection(std::string_view section) const;
  // A header of its own at the end, unless the section is there already.
  void AddSection(std::string_view section);
  // Every header named `from` is named `to` from now on.
  void RenameSection(std::string_view from, std::string_view to);
  // Removes every header named `section` and the lines under it.
  void RemoveSection(std::string_view section);
  // Each section name once, as first written, in file order.
  std::vector<std::string> SectionNames() const;

 private:
  // The line end new lines get: the one the file uses.
  std::string LineEnd() const;
  // Gives the last line its line end and a blank line after it, so that a
  // section added below stands apart; returns the line end.
  std::string StartNewSection();
  IniLine* LastKeyLine(std::string_view section, std::string_view key);

  std::vector<IniLine> lines_;
};

bool SameSectionName(std::string_view a, std::string_view b);
// "echo FILES" -> "echo" and "FILES"; "pelix" -> "pelix" and "".
std::string SectionKeyword(std::string_view name);
std::string SectionArgument(std::string_view name);
