#include "common/ini_document.h"

#include <algorithm>

#include "common/text_helpers.h"

namespace {

constexpr char kBlanks[] = " \t\r\f\v";
// Windows editors put a byte order mark before the first line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(kBlanks);
  return text.substr(begin, end - begin + 1);
}

// Lower case, one blank between words: the form section names compare in.
std::string NormalSectionName(std::string_view name) {
  std::string normal;
  size_t pos = 0;
  while (true) {
    size_t begin = name.find_first_not_of(kBlanks, pos);
    if (begin == std::string_view::npos) break;
    size_t end = std::min(name.find_first_of(kBlanks, begin), name.size());
    if (!normal.empty()) normal += ' ';
    normal += name.substr(begin, end - begin);
    pos = end;
  }
  return ToLowerAscii(normal);
}

void Classify(IniLine& line, std::string& section, bool first) {
  std::string_view text = line.text;
  if (first && text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::string_view trimmed = Trim(text);
  line.section = section;
  if (trimmed.empty()) {
    line.kind = IniLine::Kind::kBlank;
  } else if (trimmed[0] == ';' || trimmed[0] == '#') {
    line.kind = IniLine::Kind::kComment;
  } else if (trimmed.front() == '[' && trimmed.back() == ']') {
    line.kind = IniLine::Kind::kSection;
    section = line.section = std::string(Trim(trimmed.substr(1, trimmed.size() - 2)));
  } else if (size_t equals = trimmed.find('=');
             equals != std::string_view::npos && !Trim(trimmed.substr(0, equals)).empty()) {
    line.kind = IniLine::Kind::kKey;
    line.key = std::string(Trim(trimmed.substr(0, equals)));
    line.value = std::string(Trim(trimmed.substr(equals + 1)));
  } else {
    line.kind = IniLine::Kind::kOther;
  }
}

// What a reader would read back: one line, no blanks around it.
std::string CleanValue(std::string_view value) {
  std::string clean(value);
  std::replace_if(clean.begin(), clean.end(), [](char c) { return c == '\r' || c == '\n'; },
                  ' ');
  return std::string(Trim(clean));
}

bool IsKeyOf(const IniLine& line, std::string_view section, std::string_view key) {
  return line.kind == IniLine::Kind::kKey && EqualsIgnoreCase(line.key, key) &&
         SameSectionName(line.section, section);
}

}  // namespace

IniDocument::IniDocument(std::string_view text) {
  std::string section;
  size_t pos = 0;
  while (pos < text.size()) {
    IniLine line;
    size_t newline = text.find('\n', pos);
    if (newline == std::string_view::npos) {
      line.text = std::string(text.substr(pos));
      pos = text.size();
    } else {
      line.text = std::string(text.substr(pos, newline - pos));
      line.end = "\n";
      pos = newline + 1;
      if (!line.text.empty() && line.text.back() == '\r') {
        line.text.pop_back();
        line.end = "\r\n";
      }
    }
    Classify(line, section, lines_.empty());
    lines_.push_back(std::move(line));
  }
}

std::string IniDocument::Text() const {
  std::string text;
  for (const IniLine& line : lines_) text += line.text + line.end;
  return text;
}

bool IniDocument::Get(std::string_view section, std::string_view key, std::string& value) const {
  bool found = false;
  for (const IniLine& line : lines_) {
    if (!IsKeyOf(line, section, key)) continue;
    value = line.value;
    found = true;
  }
  return found;
}

IniLine* IniDocument::LastKeyLine(std::string_view section, std::string_view key) {
  IniLine* last = nullptr;
  for (IniLine& line : lines_) {
    if (IsKeyOf(line, section, key)) last = &line;
  }
  return last;
}

std::string IniDocument::LineEnd() const {
  for (const IniLine& line : lines_) {
    if (!line.end.empty()) return line.end;
  }
  return "\n";
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string clean = CleanValue(value);
  if (IniLine* line = LastKeyLine(section, key)) {
    // The key and the spacing around "=" stay as the sysop wrote them.
    size_t equals = line->text.find('=');
    size_t start = line->text.find_first_not_of(" \t", equals + 1);
    if (start == std::string::npos) {
      start = line->text.size();
      if (equals > 0 && line->text[equals - 1] == ' ') line->text += ' ';
    }
    line->text = line->text.substr(0, start) + clean;
    line->value = clean;
    return;
  }
  size_t header = lines_.size();
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == IniLine::Kind::kSection && SameSectionName(lines_[i].section, section))
      header = i;
  }
  IniLine line{IniLine::Kind::kKey, std::string(key) + " = " + clean, LineEnd(), "",
               std::string(key), clean};
  if (header == lines_.size()) {
    AddSection(section);
    line.section = lines_.back().section;
    lines_.push_back(std::move(line));
    return;
  }
  if (lines_.back().end.empty()) lines_.back().end = line.end;
  // After the section's last key, so that comments and blank lines that
  // lead to the next section stay with it.
  size_t after = header;
  for (size_t i = header + 1; i < lines_.size() && lines_[i].kind != IniLine::Kind::kSection;
       ++i) {
    if (lines_[i].kind == IniLine::Kind::kKey || lines_[i].kind == IniLine::Kind::kOther)
      after = i;
  }
  line.section = lines_[header].section;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after + 1), std::move(line));
}

bool IniDocument::Remove(std::string_view section, std::string_view key) {
  return std::erase_if(lines_, [&](const IniLine& line) { return IsKeyOf(line, section, key); }) >
         0;
}

bool IniDocument::HasSection(std::string_view section) const {
  return std::any_of(lines_.begin(), lines_.end(), [&](const IniLine& line) {
    return line.kind == IniLine::Kind::kSection && SameSectionName(line.section, section);
  });
}

std::string IniDocument::StartNewSection() {
  const std::string end = LineEnd();
  if (lines_.empty()) return end;
  if (lines_.back().end.empty()) lines_.back().end = end;
  if (lines_.back().kind != IniLine::Kind::kBlank)
    lines_.push_back({IniLine::Kind::kBlank, "", end, lines_.back().section, "", ""});
  return end;
}

void IniDocument::AddSection(std::string_view section) {
  if (HasSection(section)) return;
  const std::string end = StartNewSection();
  const std::string name(section);
  lines_.push_back({IniLine::Kind::kSection, "[" + name + "]", end, name, "", ""});
}

void IniDocument::RenameSection(std::string_view from, std::string_view to) {
  const std::string from_name(from);  // `from` may be a line's own name
  for (IniLine& line : lines_) {
    if (!SameSectionName(line.section, from_name)) continue;
    line.section = std::string(to);
    // What stands before the bracket (indentation, a byte order mark) stays.
    if (line.kind == IniLine::Kind::kSection)
      line.text = line.text.substr(0, line.text.find('[')) + "[" + line.section + "]";
  }
}

void IniDocument::RemoveSection(std::string_view section) {
  const std::string name(section);
  std::erase_if(lines_, [&](const IniLine& line) {
    return !line.section.empty() && SameSectionName(line.section, name);
  });
}

std::vector<std::string> IniDocument::SectionNames() const {
  std::vector<std::string> names;
  for (const IniLine& line : lines_) {
    if (line.kind != IniLine::Kind::kSection) continue;
    if (std::none_of(names.begin(), names.end(),
                     [&](const std::string& name) { return SameSectionName(name, line.section); }))
      names.push_back(line.section);
  }
  return names;
}

bool SameSectionName(std::string_view a, std::string_view b) {
  return NormalSectionName(a) == NormalSectionName(b);
}

std::string SectionKeyword(std::string_view name) {
  std::string_view trimmed = Trim(name);
  return std::string(trimmed.substr(0, trimmed.find_first_of(kBlanks)));
}

std::string SectionArgument(std::string_view name) {
  std::string_view trimmed = Trim(name);
  size_t blank = trimmed.find_first_of(kBlanks);
  if (blank == std::string_view::npos) return {};
  return std::string(Trim(trimmed.substr(blank)));
}
