#include "common/records.h"

#include <cstring>
#include <variant>

#include "common/field_codec.h"
#include "common/record_fields.h"

namespace {

void Put(FieldWriter& w, const std::string& text, size_t width) { w.Text(text, width); }
void Put(FieldWriter& w, uint8_t value, size_t) { w.U8(value); }
void Put(FieldWriter& w, uint16_t value, size_t) { w.U16(value); }
void Put(FieldWriter& w, int32_t value, size_t) { w.I32(value); }
void Put(FieldWriter& w, char letter, size_t) { w.U8(static_cast<uint8_t>(letter)); }

bool Get(FieldReader& r, std::string& text, size_t width) { return r.Text(text, width); }
bool Get(FieldReader& r, uint8_t& value, size_t) { return r.U8(value); }
bool Get(FieldReader& r, uint16_t& value, size_t) { return r.U16(value); }
bool Get(FieldReader& r, int32_t& value, size_t) { return r.I32(value); }
bool Get(FieldReader& r, char& letter, size_t) {
  uint8_t byte = 0;
  const bool whole = r.U8(byte);
  letter = static_cast<char>(byte);
  return whole;
}

template <typename Fields, typename R>
void WriteRecord(FieldWriter& w, const Fields& fields, const R& record) {
  for (const auto& field : fields)
    std::visit([&](auto member) { Put(w, record.*member, field.width); }, field.member);
}

// Every field that the bytes hold, the rest left as they are; true when
// the last field was read whole, which is what makes a record count.
template <typename Fields, typename R>
bool ReadRecord(FieldReader& r, const Fields& fields, R& record) {
  bool whole = false;
  for (const auto& field : fields)
    whole = std::visit([&](auto member) { return Get(r, record.*member, field.width); },
                       field.member);
  return whole;
}

template <typename R, typename Fields>
std::vector<R> ReadSequence(std::string_view bytes, const Fields& fields) {
  std::vector<R> records;
  FieldReader r(bytes);
  while (!r.at_end()) {
    R record;
    if (!ReadRecord(r, fields, record)) break;
    records.push_back(std::move(record));
  }
  return records;
}

template <typename R, typename Fields>
std::string WriteSequence(const std::vector<R>& records, const Fields& fields) {
  std::string out;
  FieldWriter w(out);
  for (const R& record : records) WriteRecord(w, fields, record);
  return out;
}

}  // namespace

bool HasConfigSignature(std::string_view bytes) {
  return bytes.size() >= kSignatureWidth &&
         std::memcmp(bytes.data(), kSignature, kSignatureWidth) == 0;
}

MainConfig ReadMainConfig(std::string_view bytes) {
  MainConfig c;
  FieldReader r(bytes);
  r.Skip(kSignatureWidth);
  ReadRecord(r, kMainConfigFields, c);
  return c;
}

std::string WriteMainConfigAsHeld(const MainConfig& c) {
  std::string out;
  FieldWriter w(out);
  w.Raw(std::string_view(kSignature, kSignatureWidth));
  WriteRecord(w, kMainConfigFields, c);
  return out;
}

std::string WriteMainConfig(const MainConfig& c) {
  MainConfig current = c;
  current.version = kConfigVersion;
  return WriteMainConfigAsHeld(current);
}

void AppendDomainRecord(std::string& out, const DomainRecord& d) {
  FieldWriter w(out);
  WriteRecord(w, kDomainFields, d);
}

std::vector<DomainRecord> ReadDomains(std::string_view bytes) {
  return ReadSequence<DomainRecord>(bytes, kDomainFields);
}

std::string WriteDomains(const std::vector<DomainRecord>& domains) {
  return WriteSequence(domains, kDomainFields);
}

void AppendLinkRecord(std::string& out, const LinkRecord& l) {
  FieldWriter w(out);
  WriteRecord(w, kLinkFields, l);
}

std::vector<LinkRecord> ReadLinks(std::string_view bytes) {
  return ReadSequence<LinkRecord>(bytes, kLinkFields);
}

std::string WriteLinks(const std::vector<LinkRecord>& links) {
  return WriteSequence(links, kLinkFields);
}

std::vector<FileEchoRecord> ReadFileEchoes(std::string_view bytes) {
  std::vector<FileEchoRecord> echoes;
  FieldReader r(bytes);
  while (!r.at_end()) {
    FileEchoRecord e;
    if (!ReadRecord(r, kFileEchoFields, e)) break;
    int32_t link_count = 0;
    r.I32(link_count);
    for (int32_t i = 0; i < link_count && !r.at_end(); ++i) {
      EchoLinkEntry entry;
      ReadRecord(r, kEchoLinkFields, entry);
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

void AppendEchoHeader(FieldWriter& w, const FileEchoRecord& e, int32_t link_count) {
  WriteRecord(w, kFileEchoFields, e);
  w.I32(link_count);
}

}  // namespace

void AppendFileEchoRecord(std::string& out, const FileEchoRecord& e) {
  FieldWriter w(out);
  int32_t stored = 0;
  for (const EchoLinkEntry& entry : e.links) stored += EchoLinkIsStored(entry);
  AppendEchoHeader(w, e, stored);
  for (const EchoLinkEntry& entry : e.links) {
    if (EchoLinkIsStored(entry)) WriteRecord(w, kEchoLinkFields, entry);
  }
}

void AppendNewFileEchoRecord(std::string& out, const FileEchoRecord& e) {
  FieldWriter w(out);
  AppendEchoHeader(w, e, 1);
  WriteRecord(w, kEchoLinkFields, e.links.empty() ? EchoLinkEntry{} : e.links.front());
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
