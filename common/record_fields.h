// The one description of each configuration record: its fields in file
// order, each with the name the text form gives it, the member it fills and
// its width in the file. The binary reader and writer and pelixcfg's text
// form all walk these tables, so no layout and no width is spelled twice.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "common/records.h"

// What a field holds decides how it is stored: a text at its width, a
// number in its own size (little-endian), a letter in one byte.
template <typename R>
using FieldMember =
    std::variant<std::string R::*, uint8_t R::*, uint16_t R::*, int32_t R::*, char R::*>;

template <typename R>
struct RecordField {
  const char* name;
  FieldMember<R> member;
  size_t width;  // bytes in the file; a text holds width-1 characters
  // A letter field: the letters that mean something (nullptr: any).
  const char* letters = nullptr;
};

template <typename R>
constexpr RecordField<R> TextField(const char* name, std::string R::*member, size_t width) {
  return {name, member, width};
}

template <typename R, typename N>
constexpr RecordField<R> NumberField(const char* name, N R::*member) {
  return {name, member, sizeof(N)};
}

template <typename R>
constexpr RecordField<R> LetterField(const char* name, char R::*member,
                                     const char* letters = nullptr) {
  return {name, member, 1, letters};
}

// pelix.cfg after its signature.
inline constexpr std::array kMainConfigFields = {
    NumberField("version", &MainConfig::version),
    TextField("inbound_dir", &MainConfig::inbound_dir, kTextWidth),
    TextField("tic_outbound_dir", &MainConfig::tic_outbound_dir, kTextWidth),
    TextField("queue_dir", &MainConfig::queue_dir, kTextWidth),
    TextField("fileecho_dir", &MainConfig::fileecho_dir, kTextWidth),
    TextField("netmail_dir", &MainConfig::netmail_dir, kTextWidth),
    TextField("bad_tic_dir", &MainConfig::bad_tic_dir, kTextWidth),
    NumberField("utc_offset", &MainConfig::utc_offset),
    TextField("main_address", &MainConfig::main_address, kTextWidth),
    NumberField("kill_answers", &MainConfig::kill_answers),
    TextField("log_file", &MainConfig::log_file, kTextWidth),
    TextField("announce_db_dir", &MainConfig::announce_db_dir, kTextWidth),
    TextField("announce_target", &MainConfig::announce_target, kTextWidth),
    NumberField("announce_to", &MainConfig::announce_to),
    NumberField("files_bbs_counter", &MainConfig::files_bbs_counter),
    TextField("aka_list", &MainConfig::aka_list, kTextWidth),
};

inline constexpr std::array kDomainFields = {
    TextField("name", &DomainRecord::name, kTextWidth),
    TextField("outbound_dir", &DomainRecord::outbound_dir, kTextWidth),
    NumberField("is_default", &DomainRecord::is_default),
    NumberField("has_main_zone", &DomainRecord::has_main_zone),
    NumberField("main_zone", &DomainRecord::main_zone),
    TextField("zone_list", &DomainRecord::zone_list, kTextWidth),
};

// A FileEchoRecord up to its `link_count`, which the writer counts.
inline constexpr std::array kFileEchoFields = {
    TextField("tag", &FileEchoRecord::tag, kTextWidth),
    TextField("description", &FileEchoRecord::description, kTextWidth),
    NumberField("passthrough", &FileEchoRecord::passthrough),
};
inline constexpr size_t kLinkCountWidth = 4;

inline constexpr std::array kEchoLinkFields = {
    TextField("address", &EchoLinkEntry::address, kTextWidth),
    NumberField("receive", &EchoLinkEntry::receive),
    NumberField("send", &EchoLinkEntry::send),
};

// The flavour letter is the middle letter of the flow file's extension:
// Crash, Direct, Normal, Hold, Immediate.
inline constexpr std::array kLinkFields = {
    TextField("sysop_name", &LinkRecord::sysop_name, kTextWidth),
    TextField("address", &LinkRecord::address, kTextWidth),
    TextField("areamgr_password", &LinkRecord::areamgr_password, kPasswordWidth),
    TextField("tic_password", &LinkRecord::tic_password, kPasswordWidth),
    TextField("from_address", &LinkRecord::from_address, kTextWidth),
    LetterField("flavour", &LinkRecord::flavour, "cdfhi"),
    LetterField("spare_flavour", &LinkRecord::spare_flavour),
    NumberField("passive", &LinkRecord::passive),
    NumberField("allow_autocreate", &LinkRecord::allow_autocreate),
};

template <typename Fields>
constexpr size_t RecordWidth(const Fields& fields) {
  size_t width = 0;
  for (const auto& field : fields) width += field.width;
  return width;
}

static_assert(kSignatureWidth + RecordWidth(kMainConfigFields) == kMainConfigSize);
static_assert(RecordWidth(kDomainFields) == kDomainRecordSize);
static_assert(RecordWidth(kFileEchoFields) + kLinkCountWidth == kFileEchoHeaderSize);
static_assert(RecordWidth(kEchoLinkFields) == kEchoLinkEntrySize);
static_assert(RecordWidth(kLinkFields) == kLinkRecordSize);

// The field of that name, or nullptr.
template <typename Fields>
constexpr const typename Fields::value_type* FindField(const Fields& fields,
                                                       std::string_view name) {
  for (const auto& field : fields)
    if (name == field.name) return &field;
  return nullptr;
}
