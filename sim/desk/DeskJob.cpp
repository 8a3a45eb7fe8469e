#include "DeskJob.h"

#include <sstream>

#include "datastruct/BPageRange.h"
#include "utils/UFileSpecCore.h"

namespace {

// Sizes in points: 1 mm = 72 / 25.4 pt.
constexpr char kBuiltInJob[] = R"({
  "jobId": "5D1B6E2A-7C3F-4A8E-9B04-D35C0F1E2A77",
  "textSN": "VXD-0001",
  "textLN": "vxdesk built-in A4 advert",
  "groups": [{"active": true, "destinations": [{
    "identifier": "1",
    "width": 595.2756, "depth": 841.8898,
    "bleedLeft": 8.5, "bleedRight": 8.5, "bleedTop": 8.5, "bleedBottom": 8.5,
    "indentLeft": 28.3465, "indentRight": 28.3465, "indentTop": 28.3465, "indentBottom": 28.3465,
    "textNC": "vxdesk Daily", "textSC": "A4 full page", "textCC": "DE"
  }]}]
})";

constexpr char kDefaultCheckSettings[] = R"({
  "settings": [
    {"problem": "Setting_PDFVersion", "type": "eSettingType_Parameter", "note": 1.4, "precision": 1}
  ]
})";

constexpr char kDefaultDefinitions[] = R"({
  "Setting_PDFVersion": {"type": "parameter"},
  "MissingBleedBox": {"type": "boolean", "defaults": {"sev": "fault"}}
})";

umessage parse(const char* text) {
  std::istringstream in(text);
  umessage m;
  m.read(in);
  return m;
}

// What the plug-in sends as the document name when the host has no file for
// the document.
constexpr char kUnsavedDocumentName[] = "?";

std::string leaf_of(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string file_name_of(std::string name) {
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) c = '_';
  }
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name;
}

}  // namespace

umessage BuiltInJob() { return parse(kBuiltInJob); }
umessage DefaultCheckSettings() { return parse(kDefaultCheckSettings); }
umessage DefaultDefinitions() { return parse(kDefaultDefinitions); }

JobMessages PayloadMessages(const JobMessages& fromJob, const std::optional<umessage>& checkSettings) {
  JobMessages messages;
  messages.definitions = fromJob.definitions.empty() ? DefaultDefinitions() : fromJob.definitions;
  if (checkSettings) {
    messages.settings = *checkSettings;
  } else {
    messages.settings = fromJob.settings.empty() ? DefaultCheckSettings() : fromJob.settings;
  }
  return messages;
}

std::string OutputName(const BJobFile& job) {
  std::string leaf = leaf_of(job.documentName().str());
  if (leaf == kUnsavedDocumentName) leaf.clear();
  // "Spring advert.ai" gives "Spring advert", so that the PDF is
  // "Spring advert.pdf"; a name that is all extension (".ai") keeps it.
  if (const std::size_t dot = leaf.find_last_of('.'); dot != std::string::npos && dot > 0) leaf.erase(dot);
  std::string name = file_name_of(leaf);
  if (name.empty()) name = file_name_of(job.jobId().str());
  return name.empty() ? "job" : name;
}

void CompleteForExport(BJobFile& job, const std::string& outputFolder) {
  BGroupList& groups = job.groups();
  if (!groups.empty() && groups.ActiveGroup() == nullptr) groups.SetActiveGroup(&groups.At(0));

  const std::string output = outputFolder + "/" + OutputName(job);
  job.SetOutputFile(UFileSpecCore(ustring(output)));
  job.SetPageInfoFile(UFileSpecCore(ustring(output + ".pi")));

  if (job.absolutePageRanges().empty()) {
    BPageRange range(1, 1, BPageRange::kKindAbsolute);
    range.SetFirstPage(1);
    job.absolutePageRanges().Append(range);
  }
}

std::string AnswerText(std::string_view payload) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(payload.size() * 4);
  for (const char c : payload) {
    const auto byte = static_cast<unsigned char>(c);
    text.push_back(kDigits[byte >> 4]);
    text.push_back('\0');
    text.push_back(kDigits[byte & 0x0F]);
    text.push_back('\0');
  }
  return text;
}
