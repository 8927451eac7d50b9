#include "common/records.h"

#include <cstring>

#include "common/field_codec.h"

bool HasConfigSignature(std::string_view bytes) {
  return bytes.size() >= kSignatureWidth &&
         std::memcmp(bytes.data(), kSignature, kSignatureWidth) == 0;
}

MainConfig ReadMainConfig(std::string_view bytes) {
  MainConfig c;
  FieldReader r(bytes);
  r.Skip(kSignatureWidth);
  r.U16(c.version);
  r.Text(c.inbound_dir, kTextWidth);
  r.Text(c.tic_outbound_dir, kTextWidth);
  r.Text(c.queue_dir, kTextWidth);
  r.Text(c.fileecho_dir, kTextWidth);
  r.Text(c.netmail_dir, kTextWidth);
  r.Text(c.bad_tic_dir, kTextWidth);
  r.I32(c.utc_offset);
  r.Text(c.main_address, kTextWidth);
  r.I32(c.kill_answers);
  r.Text(c.log_file, kTextWidth);
  r.Text(c.announce_db_dir, kTextWidth);
  r.Text(c.announce_target, kTextWidth);
  r.I32(c.announce_to);
  r.I32(c.files_bbs_counter);
  r.Text(c.aka_list, kTextWidth);
  return c;
}

std::string WriteMainConfig(const MainConfig& c) {
  std::string out;
  FieldWriter w(out);
  w.Raw(std::string_view(kSignature, kSignatureWidth));
  w.U16(kConfigVersion);
  w.Text(c.inbound_dir, kTextWidth);
  w.Text(c.tic_outbound_dir, kTextWidth);
  w.Text(c.queue_dir, kTextWidth);
  w.Text(c.fileecho_dir, kTextWidth);
  w.Text(c.netmail_dir, kTextWidth);
  w.Text(c.bad_tic_dir, kTextWidth);
  w.I32(c.utc_offset);
  w.Text(c.main_address, kTextWidth);
  w.I32(c.kill_answers);
  w.Text(c.log_file, kTextWidth);
  w.Text(c.announce_db_dir, kTextWidth);
  w.Text(c.announce_target, kTextWidth);
  w.I32(c.announce_to);
  w.I32(c.files_bbs_counter);
  w.Text(c.aka_list, kTextWidth);
  return out;
}

void AppendDomainRecord(std::string& out, const DomainRecord& d) {
  FieldWriter w(out);
  w.Text(d.name, kTextWidth);
  w.Text(d.outbound_dir, kTextWidth);
  w.U8(d.is_default);
  w.U8(d.has_main_zone);
  w.U16(d.main_zone);
  w.Text(d.zone_list, kTextWidth);
}

std::vector<DomainRecord> ReadDomains(std::string_view bytes) {
  std::vector<DomainRecord> domains;
  FieldReader r(bytes);
  while (!r.at_end()) {
    DomainRecord d;
    r.Text(d.name, kTextWidth);
    r.Text(d.outbound_dir, kTextWidth);
    r.U8(d.is_default);
    r.U8(d.has_main_zone);
    r.U16(d.main_zone);
    if (!r.Text(d.zone_list, kTextWidth)) break;
    domains.push_back(std::move(d));
  }
  return domains;
}

std::string WriteDomains(const std::vector<DomainRecord>& domains) {
  std::string out;
  for (const DomainRecord& d : domains) AppendDomainRecord(out, d);
  return out;
}

void AppendLinkRecord(std::string& out, const LinkRecord& l) {
  FieldWriter w(out);
  w.Text(l.sysop_name, kTextWidth);
  w.Text(l.address, kTextWidth);
  w.Text(l.areamgr_password, kPasswordWidth);
  w.Text(l.tic_password, kPasswordWidth);
  w.Text(l.from_address, kTextWidth);
  w.U8(static_cast<uint8_t>(l.flavour));
  w.U8(static_cast<uint8_t>(l.spare_flavour));
  w.I32(l.passive);
  w.I32(l.allow_autocreate);
}

std::vector<LinkRecord> ReadLinks(std::string_view bytes) {
  std::vector<LinkRecord> links;
  FieldReader r(bytes);
  while (!r.at_end()) {
    LinkRecord l;
    uint8_t flavour = 0, spare = 0;
    r.Text(l.sysop_name, kTextWidth);
    r.Text(l.address, kTextWidth);
    r.Text(l.areamgr_password, kPasswordWidth);
    r.Text(l.tic_password, kPasswordWidth);
    r.Text(l.from_address, kTextWidth);
    r.U8(flavour);
    r.U8(spare);
    r.I32(l.passive);
    if (!r.I32(l.allow_autocreate)) break;
    l.flavour = static_cast<char>(flavour);
    l.spare_flavour = static_cast<char>(spare);
    links.push_back(std::move(l));
  }
  return links;
}

std::string WriteLinks(const std::vector<LinkRecord>& links) {
  std::string out;
  for (const LinkRecord& l : links) AppendLinkRecord(out, l);
  return out;
}

std::vector<FileEchoRecord> ReadFileEchoes(std::string_view bytes) {
  std::vector<FileEchoRecord> echoes;
  FieldReader r(bytes);
  while (!r.at_end()) {
    FileEchoRecord e;
    r.Text(e.tag, kTextWidth);
    r.Text(e.description, kTextWidth);
    if (!r.I32(e.passthrough)) break;
    int32_t link_count = 0;
    r.I32(link_count);
    for (int32_t i = 0; i < link_count && !r.at_end(); ++i) {
      EchoLinkEntry entry;
      r.Text(entry.address, kTextWidth);
      r.I32(entry.receive);
      r.I32(entry.send);
      e.links.push_back(std::move(entry));
    }
    echoes.push_back(std::move(e));
  }
  return echoes;
}

bool EchoLinkIsStored(const EchoLinkEntry& entry) {
  return (entry.receive != 0 || entry.send != 0) && !entry.address.empty();
}

namespace {

void AppendEchoHeader(FieldWriter& w, const FileEchoRecord& e,
                      int32_t link_count) {
  w.Text(e.tag, kTextWidth);
  w.Text(e.description, kTextWidth);
  w.I32(e.passthrough);
  w.I32(link_count);
}

void AppendEchoLink(FieldWriter& w, const EchoLinkEntry& entry) {
  w.Text(entry.address, kTextWidth);
  w.I32(entry.receive);
  w.I32(entry.send);
}

}  // namespace

void AppendFileEchoRecord(std::string& out, const FileEchoRecord& e) {
  FieldWriter w(out);
  int32_t stored = 0;
  for (const EchoLinkEntry& entry : e.links) stored += EchoLinkIsStored(entry);
  AppendEchoHeader(w, e, stored);
  for (const EchoLinkEntry& entry : e.links) {
    if (EchoLinkIsStored(entry)) AppendEchoLink(w, entry);
  }
}

void AppendNewFileEchoRecord(std::string& out, const FileEchoRecord& e) {
  FieldWriter w(out);
  AppendEchoHeader(w, e, 1);
  AppendEchoLink(w, e.links.empty() ? EchoLinkEntry{} : e.links.front());
}

std::string WriteFileEchoes(const std::vector<FileEchoRecord>& echoes,
                            bool skip_empty_tags) {
  std::string out;
  for (const FileEchoRecord& e : echoes) {
    if (skip_empty_tags && e.tag.empty()) continue;
    AppendFileEchoRecord(out, e);
  }
  return out;
}
