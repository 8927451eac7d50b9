#include "setup/config/allfix_import.h"

#include "common/field_codec.h"
#include "common/text_helpers.h"
#include "platform/platform.h"
#include "setup/config/dialog_text.h"
#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"

namespace {

// setup.fix: directories of 60 characters on a grid of 61 bytes.
constexpr size_t kDirectoryWidth = 60;
constexpr size_t kInboundOffset = 184;
constexpr size_t kQueueOffset = 428;
constexpr size_t kTicOutboundOffset = 489;
constexpr size_t kBadTicOffset = 794;
constexpr size_t kNetmailOffset = 977;
constexpr size_t kSecondInboundOffset = 1038;

// filearea.fix: a header, then one record per area with its tag.
constexpr size_t kAreaHeaderSize = 512;
constexpr size_t kAreaRecordSize = 230;
constexpr size_t kAreaTagOffset = 61;
constexpr size_t kAreaTagWidth = 80;

// fareas.fix: one record per area from the start of the file.
constexpr size_t kDescriptionRecordSize = 2535;
constexpr size_t kDescriptionTagWidth = 53;
constexpr size_t kDescriptionOffset = 54;
constexpr size_t kDescriptionWidth = 40;


FileEchoRecord* FindEcho(EditList<FileEchoRecord>& echoes, std::string_view tag) {
  for (EditNode<FileEchoRecord>* n = echoes.head.get(); n; n = n->next.get()) {
    if (EqualsIgnoreCase(n->record.tag, tag)) return &n->record;
  }
  return nullptr;
}

bool ReadAllfixFile(platform::Env& env, std::string_view directory, const char* name,
                    std::string& bytes) {
  std::string file = AllfixFileName(directory, name);
  if (platform::ReadWholeFile(env, file, bytes)) return true;
  ShowMessageBox("Can't open " + file, "Error", MessageButtons::kOk, MessageIcon::kStop);
  return false;
}

}  // namespace

std::string AllfixFileName(std::string_view directory, std::string_view name) {
  std::string file = StoredText(directory);
  if (!file.empty() && file.back() != '\\' && file.back() != '/') file += platform::kSeparator;
  file += name;
  return file;
}

bool AllfixText(std::string_view bytes, size_t offset, size_t width, std::string& text) {
  text.clear();
  if (offset >= bytes.size() || bytes.size() - offset < 1 + width) return false;
  size_t length = static_cast<unsigned char>(bytes[offset]);
  if (length > width) length = width;
  text = FitText(bytes.substr(offset + 1, length), length + 1);
  return true;
}

void ImportSetupFix(std::string_view bytes, MainConfig& config) {
  const struct {
    size_t offset;
    std::string* field;
  } directories[] = {
      {kInboundOffset, &config.inbound_dir},   {kQueueOffset, &config.queue_dir},
      {kTicOutboundOffset, &config.tic_outbound_dir}, {kBadTicOffset, &config.bad_tic_dir},
      {kNetmailOffset, &config.netmail_dir},   {kSecondInboundOffset, &config.inbound_dir},
  };
  std::string text;
  for (const auto& d : directories) {
    if (!AllfixText(bytes, d.offset, kDirectoryWidth, text)) break;
    if (!text.empty()) *d.field = text;
  }
  for (std::string* field : {&config.inbound_dir, &config.tic_outbound_dir, &config.queue_dir,
                             &config.netmail_dir, &config.bad_tic_dir}) {
    *field = StoredDirectory(*field);
  }
}

std::vector<FileEchoRecord> ReadAllfixAreas(std::string_view bytes) {
  std::vector<FileEchoRecord> areas;
  std::string tag;
  for (size_t record = kAreaHeaderSize;
       AllfixText(bytes, record + kAreaTagOffset, kAreaTagWidth, tag);
       record += kAreaRecordSize) {
    if (tag.empty()) continue;
    FileEchoRecord echo;
    echo.tag = tag;
    areas.push_back(std::move(echo));
  }
  return areas;
}

void ImportAreaDescriptions(std::string_view bytes, EditList<FileEchoRecord>& echoes) {
  std::string tag;
  std::string description;
  for (size_t record = 0; AllfixText(bytes, record, kDescriptionTagWidth, tag);
       record += kDescriptionRecordSize) {
    if (tag.empty()) continue;
    FileEchoRecord* echo = FindEcho(echoes, tag);
    if (!echo) continue;
    // A description the file cut off ends the reading like any short data.
    if (!AllfixText(bytes, record + kDescriptionOffset, kDescriptionWidth, description)) break;
    if (!description.empty()) echo->description = description;
  }
}

void ImportAllfixConfiguration(platform::Env& env, std::string_view directory) {
  SetupConfiguration& state = SetupState();
  std::string bytes;
  if (!ReadAllfixFile(env, directory, kAllfixSetupFile, bytes)) return;
  ImportSetupFix(bytes, state.config);
  if (!ReadAllfixFile(env, directory, kAllfixAreaFile, bytes)) return;
  // Areas already configured are not looked for: importing twice gives
  // every area twice, as the sysop asked for it twice.
  LoadList(state.fileecho_list, ReadAllfixAreas(bytes));
  if (!ReadAllfixFile(env, directory, kAllfixDescriptionFile, bytes)) return;
  ImportAreaDescriptions(bytes, state.fileecho_list);
  ShowMessageBox("Configuration imported successfully.", "Attention", MessageButtons::kOk,
                 MessageIcon::kInformation);
}
