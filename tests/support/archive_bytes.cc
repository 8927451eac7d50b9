#include "tests/support/archive_bytes.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

namespace {

bool SetKind(archive* writer, ArchiveKind kind) {
  switch (kind) {
    case ArchiveKind::kZip: return archive_write_set_format_zip(writer) == ARCHIVE_OK;
    case ArchiveKind::kSevenZip: return archive_write_set_format_7zip(writer) == ARCHIVE_OK;
    case ArchiveKind::kTarGz:
      return archive_write_set_format_pax_restricted(writer) == ARCHIVE_OK &&
             archive_write_add_filter_gzip(writer) == ARCHIVE_OK;
  }
  return false;
}

bool AddMember(archive* writer, const ArchiveMember& member) {
  archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname(entry, member.name.c_str());
  archive_entry_set_filetype(entry, AE_IFREG);
  archive_entry_set_perm(entry, 0644);
  archive_entry_set_size(entry, static_cast<la_int64_t>(member.bytes.size()));
  bool ok = archive_write_header(writer, entry) == ARCHIVE_OK &&
            archive_write_data(writer, member.bytes.data(), member.bytes.size()) ==
                static_cast<la_ssize_t>(member.bytes.size());
  archive_entry_free(entry);
  return ok;
}

}  // namespace

std::string ArchiveBytes(ArchiveKind kind, const std::vector<ArchiveMember>& members) {
  size_t room = 64 * 1024;
  for (const ArchiveMember& member : members) room += 2 * member.bytes.size() + 512;
  std::string bytes(room, '\0');
  size_t used = 0;
  archive* writer = archive_write_new();
  bool ok = SetKind(writer, kind) &&
            archive_write_open_memory(writer, bytes.data(), bytes.size(), &used) == ARCHIVE_OK;
  for (const ArchiveMember& member : members) ok = ok && AddMember(writer, member);
  ok = archive_write_close(writer) == ARCHIVE_OK && ok;
  if (!ok) ADD_FAILURE() << "cannot make an archive: " << archive_error_string(writer);
  archive_write_free(writer);
  bytes.resize(ok ? used : 0);
  return bytes;
}
