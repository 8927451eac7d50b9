#include "processor/file_id_diz.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "common/text_helpers.h"

namespace {

constexpr std::string_view kDizName = "FILE_ID.DIZ";
constexpr size_t kReadBlock = 64 * 1024;

// The archive's bytes as libarchive asks for them, through the Env.
struct ArchiveSource {
  platform::File& file;
  int64_t size = 0;
  int64_t position = 0;
  std::vector<char> block = std::vector<char>(kReadBlock);
};

la_ssize_t ReadBlock(archive* reader, void* data, const void** buffer) {
  auto& source = *static_cast<ArchiveSource*>(data);
  size_t got = 0;
  if (!source.file.Read(source.block.data(), source.block.size(), got)) {
    archive_set_error(reader, errno, "read failed");
    return -1;
  }
  source.position += static_cast<int64_t>(got);
  *buffer = source.block.data();
  return static_cast<la_ssize_t>(got);
}

la_int64_t SeekTo(archive* reader, void* data, la_int64_t offset, int whence) {
  auto& source = *static_cast<ArchiveSource*>(data);
  int64_t target = offset;
  if (whence == SEEK_CUR) target += source.position;
  if (whence == SEEK_END) target += source.size;
  if (target < 0 || !source.file.Seek(target)) {
    archive_set_error(reader, target < 0 ? EINVAL : errno, "seek failed");
    return ARCHIVE_FATAL;
  }
  source.position = target;
  return target;
}

// Skips member data that is not looked at, without reading it: a large
// tar goes by in a few seeks.
la_int64_t SkipAhead(archive* reader, void* data, la_int64_t request) {
  auto& source = *static_cast<ArchiveSource*>(data);
  const int64_t from = source.position;
  const int64_t target = std::min<int64_t>(source.size, from + std::max<la_int64_t>(request, 0));
  if (SeekTo(reader, data, target, SEEK_SET) < 0) return ARCHIVE_FATAL;
  return target - from;
}

struct ArchiveFree {
  void operator()(archive* reader) const { archive_read_free(reader); }
};
using ArchiveReader = std::unique_ptr<archive, ArchiveFree>;

// The formats BBS files come in. A compressed tar only through a library
// libarchive is linked with: no external program is ever started on a
// file from an echo.
ArchiveReader OpenReader(ArchiveSource& source) {
  ArchiveReader reader(archive_read_new());
  if (!reader) return nullptr;
  archive* a = reader.get();
  for (int (*support)(archive*) :
       {archive_read_support_format_zip, archive_read_support_format_7zip,
        archive_read_support_format_rar, archive_read_support_format_rar5,
        archive_read_support_format_lha, archive_read_support_format_tar}) {
    if (support(a) != ARCHIVE_OK) return nullptr;
  }
  if (archive_zlib_version()) (void)archive_read_support_filter_gzip(a);
  if (archive_bzlib_version()) (void)archive_read_support_filter_bzip2(a);
  if (archive_liblzma_version()) (void)archive_read_support_filter_xz(a);
  archive_read_set_read_callback(a, ReadBlock);
  archive_read_set_seek_callback(a, SeekTo);
  archive_read_set_skip_callback(a, SkipAhead);
  archive_read_set_callback_data(a, &source);
  if (archive_read_open1(a) != ARCHIVE_OK) return nullptr;
  return reader;
}

// A header libarchive could read; a warning (a name in an unknown
// character set, say) still gives one.
bool HeaderRead(int result) { return result == ARCHIVE_OK || result == ARCHIVE_WARN; }

bool IsDizMember(archive_entry* entry) {
  const char* path = archive_entry_pathname(entry);
  if (!path || archive_entry_filetype(entry) != AE_IFREG) return false;
  std::string_view name = path;
  if (name.substr(0, 2) == "./") name.remove_prefix(2);
  return EqualsIgnoreCase(name, kDizName);
}

// The member's bytes, at most kDizSizeLimit of them.
DizResult ReadMember(archive* reader, archive_entry* entry, std::string& text) {
  if (archive_entry_size_is_set(entry) &&
      archive_entry_size(entry) > static_cast<la_int64_t>(kDizSizeLimit))
    return DizResult::kTooLarge;
  // The size a header gives may lie: one byte over the limit is enough to
  // tell.
  text.resize(kDizSizeLimit + 1);
  size_t have = 0;
  while (have < text.size()) {
    const la_ssize_t got = archive_read_data(reader, text.data() + have, text.size() - have);
    if (got < 0) return DizResult::kMissing;
    if (got == 0) break;
    have += static_cast<size_t>(got);
  }
  if (have > kDizSizeLimit) return DizResult::kTooLarge;
  text.resize(have);
  return DizResult::kFound;
}

// The line's text as a TIC line can carry it.
std::string CleanLine(std::string_view line, size_t width) {
  std::string text;
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t') text += ' ';
    else if (byte >= 0x20 && byte != 0x7f) text += c;
  }
  text.erase(0, text.find_first_not_of(' '));
  if (text.size() > width) text.resize(width);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// The lines of `text`; CR LF, LF and a bare CR each end one.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n')
      ++start;
  }
  return lines;
}

}  // namespace

FileIdDiz DizDescription(std::string_view text) {
  text = text.substr(0, text.find('\x1a'));
  FileIdDiz diz;
  bool have_desc = false;
  for (const std::string_view line : SplitLines(text)) {
    if (!have_desc) {
      diz.desc = CleanLine(line, kDizDescWidth);
      have_desc = !diz.desc.empty();
    } else if (diz.ldesc.size() < kDizLdescLines) {
      diz.ldesc.push_back(CleanLine(line, kDizLdescWidth));
    }
  }
  while (!diz.ldesc.empty() && diz.ldesc.back().empty()) diz.ldesc.pop_back();
  return diz;
}

DizResult ReadFileIdDiz(platform::Env& env, const std::string& path, FileIdDiz& diz) {
  platform::FilePtr file = env.Open(path, platform::OpenMode::kReadNoFollow);
  if (!file) return DizResult::kNotArchive;
  ArchiveSource source{*file};
  if (!file->Size(source.size)) return DizResult::kNotArchive;
  ArchiveReader reader = OpenReader(source);
  if (!reader) return DizResult::kNotArchive;
  archive_entry* entry = nullptr;
  bool any_member = false;
  int result = ARCHIVE_OK;
  while (HeaderRead(result = archive_read_next_header(reader.get(), &entry))) {
    any_member = true;
    if (!IsDizMember(entry)) continue;
    std::string text;
    const DizResult read = ReadMember(reader.get(), entry, text);
    if (read == DizResult::kFound) diz = DizDescription(text);
    return read;
  }
  // Broken before its first member: a file that only looked like an archive.
  return any_member || result == ARCHIVE_EOF ? DizResult::kMissing : DizResult::kNotArchive;
}
