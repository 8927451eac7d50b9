// The records of the four configuration files (pelix.cfg, pelix.dmn,
// pelix.fe, pelix.nod) and their readers and writers. Records are stored
// field after field, little-endian, without padding; texts are zero-filled
// after their terminating zero. The fields of each record, in file order
// and with their widths, are in common/record_fields.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t kTextWidth = 255;     // every path, name and address
inline constexpr size_t kPasswordWidth = 20;  // areamgr and TIC passwords

inline constexpr char kSignature[] = "PELIX";  // stored with its zero byte
inline constexpr size_t kSignatureWidth = 6;
inline constexpr uint16_t kConfigVersion = 4;

inline constexpr size_t kMainConfigSize = 2829;
// Where `log_file` ends in pelix.cfg: a shorter file cannot even say where
// to log.
inline constexpr size_t kMainConfigLogFileEnd = 2056;
inline constexpr size_t kDomainRecordSize = 769;
inline constexpr size_t kFileEchoHeaderSize = 518;
inline constexpr size_t kEchoLinkEntrySize = 263;
inline constexpr size_t kLinkRecordSize = 815;

struct MainConfig {
  uint16_t version = 0;
  std::string inbound_dir;
  std::string tic_outbound_dir;
  std::string queue_dir;
  std::string fileecho_dir;
  std::string netmail_dir;
  std::string bad_tic_dir;
  int32_t utc_offset = 0;
  std::string main_address;
  int32_t kill_answers = 0;
  std::string log_file;
  std::string announce_db_dir;
  std::string announce_target;
  int32_t announce_to = 0;  // 0 JAM message base, 1 text file
  int32_t files_bbs_counter = 0;
  std::string aka_list;

  bool operator==(const MainConfig&) const = default;
};

struct DomainRecord {
  std::string name;
  std::string outbound_dir;
  uint8_t is_default = 0;
  uint8_t has_main_zone = 0;
  uint16_t main_zone = 0;
  std::string zone_list;

  bool operator==(const DomainRecord&) const = default;
};

struct EchoLinkEntry {
  std::string address;
  int32_t receive = 0;
  int32_t send = 0;

  bool operator==(const EchoLinkEntry&) const = default;
};

struct FileEchoRecord {
  std::string tag;
  std::string description;
  int32_t passthrough = 0;
  std::vector<EchoLinkEntry> links;  // stored as link_count + entries

  bool operator==(const FileEchoRecord&) const = default;
};

struct LinkRecord {
  std::string sysop_name;
  std::string address;
  std::string areamgr_password;
  std::string tic_password;
  std::string from_address;
  char flavour = 'f';
  char spare_flavour = 'f';
  int32_t passive = 0;
  int32_t allow_autocreate = 0;

  bool operator==(const LinkRecord&) const = default;
};

// pelix.cfg. The signature test is apart so that each program can report a
// foreign file its own way; ReadMainConfig then reads every field that the
// bytes hold and leaves the rest empty, which is how the shorter files of
// older versions load.
bool HasConfigSignature(std::string_view bytes);
MainConfig ReadMainConfig(std::string_view bytes);
// Writes the signature, version 4 and every field at its width.
std::string WriteMainConfig(const MainConfig& config);
// The same with `version` as held: sample files of older versions, which
// setup converts, are made this way.
std::string WriteMainConfigAsHeld(const MainConfig& config);

// pelix.dmn and pelix.nod: records until one cannot be read whole.
std::vector<DomainRecord> ReadDomains(std::string_view bytes);
std::string WriteDomains(const std::vector<DomainRecord>& domains);
std::vector<LinkRecord> ReadLinks(std::string_view bytes);
std::string WriteLinks(const std::vector<LinkRecord>& links);
void AppendLinkRecord(std::string& out, const LinkRecord& link);
void AppendDomainRecord(std::string& out, const DomainRecord& domain);

// pelix.fe. A record counts when its `passthrough` was read whole; then
// `link_count` entries follow. Entries that the file cut off are not made up
// (they would be empty and dropped at the next write anyway), so a damaged
// count can neither read past the file nor exhaust memory.
std::vector<FileEchoRecord> ReadFileEchoes(std::string_view bytes);

// Whether an entry is stored at all: it must have an address and a flag.
bool EchoLinkIsStored(const EchoLinkEntry& entry);

// One echo with the entries that pass EchoLinkIsStored, counted in
// link_count.
void AppendFileEchoRecord(std::string& out, const FileEchoRecord& echo);
// One echo with link_count 1 and only its first entry (an auto-created echo
// appended to the end of pelix.fe).
void AppendNewFileEchoRecord(std::string& out, const FileEchoRecord& echo);
// The whole file; `skip_empty_tags` leaves out echoes without a tag.
std::string WriteFileEchoes(const std::vector<FileEchoRecord>& echoes,
                            bool skip_empty_tags);
