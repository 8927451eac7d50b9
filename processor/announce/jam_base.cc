#include "processor/announce/jam_base.h"

#include <cerrno>

#include "common/field_codec.h"

namespace {

constexpr char kJamSignature[4] = {'J', 'A', 'M', '\0'};
constexpr uint32_t kNoCrc = 0xFFFFFFFF;

constexpr uint32_t kMsgLocal = 0x00000001;
constexpr uint32_t kMsgTypeEcho = 0x01000000;

constexpr uint16_t JAMSFLD_OADDRESS = 0;
constexpr uint16_t JAMSFLD_SENDERNAME = 2;
constexpr uint16_t JAMSFLD_RECVRNAME = 3;
constexpr uint16_t JAMSFLD_MSGID = 4;
constexpr uint16_t JAMSFLD_SUBJECT = 6;

struct JamMessageHeader {
  uint16_t Revision = 1;
  uint16_t ReservedWord = 0;
  uint32_t SubfieldLen = 0;
  uint32_t TimesRead = 0;
  uint32_t MSGIDcrc = kNoCrc;
  uint32_t REPLYcrc = kNoCrc;
  uint32_t ReplyTo = 0;
  uint32_t Reply1st = 0;
  uint32_t Replynext = 0;
  uint32_t DateWritten = 0;
  uint32_t DateReceived = 0;
  uint32_t DateProcessed = 0;
  uint32_t MessageNumber = 0;
  uint32_t Attribute = kMsgLocal | kMsgTypeEcho;
  uint32_t Attribute2 = 0;
  uint32_t TxtOffset = 0;
  uint32_t TxtLen = 0;
  uint32_t PasswordCRC = kNoCrc;
  uint32_t Cost = 0;
};

void U32(FieldWriter& out, uint32_t value) { out.I32(static_cast<int32_t>(value)); }

std::string MessageHeaderBytes(const JamMessageHeader& h) {
  std::string bytes;
  FieldWriter out(bytes);
  out.Raw(std::string_view(kJamSignature, sizeof kJamSignature));
  out.U16(h.Revision);
  out.U16(h.ReservedWord);
  for (uint32_t value : {h.SubfieldLen, h.TimesRead, h.MSGIDcrc, h.REPLYcrc, h.ReplyTo,
                         h.Reply1st, h.Replynext, h.DateWritten, h.DateReceived,
                         h.DateProcessed, h.MessageNumber, h.Attribute, h.Attribute2,
                         h.TxtOffset, h.TxtLen, h.PasswordCRC, h.Cost})
    U32(out, value);
  return bytes;
}

void AppendSubfield(std::string& bytes, uint16_t id, std::string_view data) {
  FieldWriter out(bytes);
  out.U16(id);
  out.U16(0);
  U32(out, static_cast<uint32_t>(data.size()));
  out.Raw(data);
}

std::string SubfieldBytes(uint32_t serial, const std::string& sender_address,
                          const std::string& sender_name, const std::string& recipient_name,
                          const std::string& subject) {
  std::string msgid =
      Format("%s %08lx", sender_address.c_str(), static_cast<unsigned long>(serial));
  std::string bytes;
  AppendSubfield(bytes, JAMSFLD_OADDRESS, sender_address);
  AppendSubfield(bytes, JAMSFLD_SENDERNAME, sender_name);
  AppendSubfield(bytes, JAMSFLD_RECVRNAME, recipient_name);
  AppendSubfield(bytes, JAMSFLD_SUBJECT, subject);
  AppendSubfield(bytes, JAMSFLD_MSGID, msgid);
  return bytes;
}

std::string IndexRecordBytes(uint32_t header_offset) {
  std::string bytes;
  FieldWriter out(bytes);
  U32(out, kNoCrc);  // UserCRC
  U32(out, header_offset);
  return bytes;
}

uint32_t JamNow(platform::Env& env) { return JamTime(platform::LocalNow(env)); }

void StartBaseHeader(platform::Env& env, JamBaseHeader& header) {
  header.fill(0);
  for (size_t i = 0; i < sizeof kJamSignature; ++i)
    header[kJamSignatureAt + i] = static_cast<unsigned char>(kJamSignature[i]);
  SetJamField(header, kJamDateCreatedAt, JamNow(env));
  SetJamField(header, kJamPasswordCrcAt, kNoCrc);
  SetJamField(header, kJamBaseMsgNumAt, 1);
}

bool WriteAt(platform::File& file, int64_t offset, const void* bytes, size_t size) {
  return file.Seek(offset) && file.Write(std::string_view(static_cast<const char*>(bytes), size));
}

bool WriteBaseHeader(platform::File& jhr, const JamBaseHeader& header) {
  return WriteAt(jhr, 0, header.data(), header.size());
}

// Readers drop a base that has no last-read file and start an empty one in
// its place, so a base is never left without one; an existing one belongs
// to the readers and is never touched.
void EnsureLastReadFile(platform::Env& env, const std::string& base_path) {
  std::string jlr = base_path + ".jlr";
  // A base without one still takes the message; readers make it themselves.
  if (!env.Exists(jlr)) (void)platform::CreateExclusive(env, jlr);
}

bool LockBase(Log& log, const std::string& base_path, platform::File& jhr) {
  if (jhr.LockFirstByte(kJamLockWaitMilliseconds)) return true;
  log.Write(kMarkError, Format("JAM Base %s is locked", base_path.c_str()));
  return false;
}

// Writes the header of a new base; the base is usable once it is there.
platform::FilePtr StartNewBase(platform::Env& env, Log& log, const std::string& base_path,
                               platform::FilePtr jhr, JamBaseHeader& header) {
  StartBaseHeader(env, header);
  if (!WriteBaseHeader(*jhr, header)) {
    log.Write(kMarkError, WithReason("Can't Create JAM Base", errno));
    return nullptr;
  }
  EnsureLastReadFile(env, base_path);
  return jhr;
}

bool ReadHeader(platform::File& jhr, JamBaseHeader& header) {
  size_t n = 0;
  while (n < header.size()) {
    size_t got = 0;
    if (!jhr.Read(reinterpret_cast<char*>(header.data()) + n, header.size() - n, got) || got == 0)
      return false;
    n += got;
  }
  return true;
}

platform::FilePtr OpenExistingBase(platform::Env& env, Log& log, const std::string& base_path,
                                   platform::FilePtr jhr, JamBaseHeader& header) {
  if (!LockBase(log, base_path, *jhr)) return nullptr;
  header.fill(0);
  // A header file cut short (a creation that ran out of disk) holds no
  // message; it is started again rather than written over.
  if (!ReadHeader(*jhr, header)) return StartNewBase(env, log, base_path, std::move(jhr), header);
  SetJamField(header, kJamModCounterAt, GetJamField(header, kJamModCounterAt) + 1);
  EnsureLastReadFile(env, base_path);
  return jhr;
}

bool AppendText(platform::Env& env, Log& log, const std::string& base_path,
                std::string_view text, uint32_t& offset) {
  platform::FilePtr jdt = env.Open(base_path + ".jdt", platform::OpenMode::kAppend);
  if (!jdt) {
    log.Write(kMarkError, WithReason("Can't Open JAM Base", errno));
    return false;
  }
  int64_t size = 0;
  if (!jdt->Size(size)) {
    log.Write(kMarkError, WithReason("Can't Write JAM Base", errno));
    return false;
  }
  bool ok = jdt->Write(text);
  int error = errno;
  // A full disk may have taken part of the text; it is cut off again so
  // the file holds whole messages only (a failed cut wastes bytes that no
  // header names).
  if (!ok) (void)jdt->Truncate(size);
  if (!jdt->Close() && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) log.Write(kMarkError, WithReason("Can't Write JAM Base", error));
  offset = static_cast<uint32_t>(size);
  return ok;
}

}  // namespace

uint32_t GetJamField(const JamBaseHeader& header, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(header[offset + i]) << (8 * i);
  return value;
}

void SetJamField(JamBaseHeader& header, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) header[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t JamTime(const platform::LocalTime& t) {
  static constexpr uint32_t kDaysBefore[12] = {0,   31,  59,  90,  120, 151,
                                               181, 212, 243, 273, 304, 334};
  uint32_t month = (t.month >= 1 && t.month <= 12) ? static_cast<uint32_t>(t.month) : 1;
  uint32_t year = static_cast<uint32_t>(t.year);
  uint32_t days = 365 * (year - 1970) + (year - 1969) / 4 + kDaysBefore[month - 1] +
                  static_cast<uint32_t>(t.day) - 1;
  if (year % 4 == 0 && month >= 3) ++days;
  return days * 86400 + static_cast<uint32_t>(t.hour) * 3600 +
         static_cast<uint32_t>(t.minute) * 60 + static_cast<uint32_t>(t.second);
}

platform::FilePtr OpenJamBase(platform::Env& env, Log& log, const std::string& base_path,
                              JamBaseHeader& header) {
  std::string jhr_path = base_path + ".jhr";
  platform::FilePtr jhr = env.Open(jhr_path, platform::OpenMode::kUpdate);
  if (jhr) return OpenExistingBase(env, log, base_path, std::move(jhr), header);
  // Created only when new: a header file that exists but could not be
  // opened is never emptied by the creation.
  bool exists = false;
  jhr = platform::OpenNewFile(env, jhr_path, exists);
  if (!jhr) {
    log.Write(kMarkError, WithReason("Can't Create JAM Base", errno));
    return nullptr;
  }
  if (!LockBase(log, base_path, *jhr)) return nullptr;
  return StartNewBase(env, log, base_path, std::move(jhr), header);
}

bool AppendJamMessage(platform::Env& env, Log& log, Serials& serials, const std::string& base_path,
                      platform::File& jhr, JamBaseHeader& header, std::string_view text,
                      const std::string& sender_address, const std::string& sender_name,
                      const std::string& recipient_name, const std::string& subject) {
  int64_t header_offset = 0;
  if (!jhr.Size(header_offset)) {
    log.Write(kMarkError, WithReason("Can't Write JAM Base", errno));
    return false;
  }
  platform::FilePtr jdx = env.Open(base_path + ".jdx", platform::OpenMode::kAppend);
  int64_t index_size = 0;
  if (!jdx || !jdx->Size(index_size)) {
    log.Write(kMarkError, WithReason("Can't Open JAM Base", errno));
    return false;
  }
  uint32_t serial = 0;
  if (!serials.NextMessage(log, serial)) return false;
  JamMessageHeader message;
  message.DateWritten = JamNow(env);
  message.DateReceived = message.DateWritten;
  message.MessageNumber = static_cast<uint32_t>(index_size) / kJamIndexRecordSize +
                          GetJamField(header, kJamBaseMsgNumAt);
  message.TxtLen = static_cast<uint32_t>(text.size());
  if (!AppendText(env, log, base_path, text, message.TxtOffset)) return false;
  std::string subfields =
      SubfieldBytes(serial, sender_address, sender_name, recipient_name, subject);
  message.SubfieldLen = static_cast<uint32_t>(subfields.size());
  std::string record = MessageHeaderBytes(message) + subfields;
  std::string index = IndexRecordBytes(static_cast<uint32_t>(header_offset));
  // The header is on disk before the index names it, so a reader that finds
  // the index record always finds a whole message behind it.
  bool ok = WriteAt(jhr, header_offset, record.data(), record.size()) && jdx->Write(index);
  int error = errno;
  if (!ok) {
    // A part index record would shift every later one: readers would find
    // the wrong message under each number. Cut both files back.
    if (!jdx->Truncate(index_size) || !jhr.Truncate(header_offset))
      log.Write(kMarkError, WithReason("Can't cut JAM Base back after a failed write", errno));
  }
  if (!jdx->Close() && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    log.Write(kMarkError, WithReason("Can't Write JAM Base", error));
    return false;
  }
  SetJamField(header, kJamActiveMsgsAt, GetJamField(header, kJamActiveMsgsAt) + 1);
  return true;
}

bool CloseJamBase(Log& log, platform::File& jhr, const JamBaseHeader& header) {
  bool ok = WriteBaseHeader(jhr, header);
  int error = errno;
  jhr.UnlockFirstByte();
  if (!jhr.Close() && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) log.Write(kMarkError, WithReason("Can't Write JAM Base", error));
  return ok;
}
