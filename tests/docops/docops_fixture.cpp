#include "docops_fixture.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "Base64.h"
#include "CSBoilerPlate/menuHandler_win32.h"
#include "DeskJob.h"
#include "DocumentJob.h"
#include "JobJson.h"
#include "PluginMain.h"
#include "VXIllustrator.h"
#include "VeloxaLink.h"
#include "datastruct/CheckSettingDefinitions.h"
#include "platform/Platform.h"

namespace vxdoctest {

namespace fs = std::filesystem;

const char kDemoJob[] = R"({
  "jobId": "0B5E2C1A-7D3F-4A8E-9B04-D35C0F1E2A77",
  "groups": [{"active": true, "destinations": [{
    "identifier": "1", "width": 595.28, "depth": 841.89,
    "bleedLeft": 8.5, "bleedRight": 8.5, "bleedTop": 8.5, "bleedBottom": 8.5}]}]
  %s})";

const char kDemoJobWithTypeArea[] = R"({
  "jobId": "0B5E2C1A-7D3F-4A8E-9B04-D35C0F1E2A78",
  "groups": [{"active": true, "destinations": [{
    "identifier": "1", "width": 595.28, "depth": 841.89,
    "bleedLeft": 8.5, "bleedRight": 8.5, "bleedTop": 8.5, "bleedBottom": 8.5,
    "indentLeft": 28.35, "indentRight": 28.35, "indentTop": 28.35, "indentBottom": 28.35}]}]
  %s})";

namespace {

// "adobe_makeGuide": the selected paths of the current document become
// guides.
ai::Err MakeGuideEffect(vxsim::HostModel& host, const vxsim::PlayedAction&) {
  if (host.current_document() == nullptr) return ai::kNoDocumentErr;
  for (ai::ArtData* art : host.current_document()->art)
    if (art->attributes & ai::kArtAttr_Selected) art->guide = true;
  return ai::kNoErr;
}

}  // namespace

void DocOpsTest::SetUp() {
  if (vxp::Platform::Default().path_style() != vxp::ePathStyle_Posix) GTEST_SKIP() << "POSIX paths";
  static int serial = 0;
  folder_ = "/tmp/vxdoc" + std::to_string(vxp::Platform::Default().current_process_id()) + "_" +
            std::to_string(++serial);
  fs::remove_all(folder_);
  fs::create_directories(folder_);
  ResetSettingDefinitionsForTesting();
  ForgetVXIllustratorInit();
  link_.connections.clear();
  link_.opened.clear();
  link_.refuse_opens = 0;
  host_ = std::make_unique<vxsim::HostModel>();
  host_->attach(&PluginMain);
  host_->set_action_effect("adobe_makeGuide", MakeGuideEffect);
  ASSERT_EQ(host_->startup(), 0);
}

void DocOpsTest::TearDown() {
  if (host_ != nullptr && host_->started()) host_->shutdown();
  host_.reset();
  DestroyReplyWindow();
  ForgetVXIllustratorInit();
  ResetSettingDefinitionsForTesting();
  std::error_code ec;
  if (!folder_.empty()) fs::remove_all(folder_, ec);
}

std::string DocOpsTest::Payload(const std::string& json) {
  umessage m;
  std::istringstream text(json);
  if (!m.read(text)) {
    ADD_FAILURE() << "not JSON: " << json;
    return {};
  }
  BJobFile job;
  const JobMessages messages = job_from_json(job, m);
  return write_job_payload(job, messages);
}

std::string DocOpsTest::Job(const char* job, const std::string& extra) {
  std::string text = job;
  text.replace(text.find("%s"), 2, extra);
  return text;
}

bool DocOpsTest::StoredJob(const ai::DocumentData* document, BJobFile* job) {
  const auto entry = document->dictionary->find(kJobEntryKey);
  if (entry == document->dictionary->end()) {
    ADD_FAILURE() << "no job stored in the document";
    return false;
  }
  std::istringstream in(entry->second.bytes);
  try {
    job->ReadJob(in, eJobFileContent_Layout);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "stored job unreadable: " << e.what();
    return false;
  }
  return true;
}

bool DocOpsTest::AllExported(BJobFile& job) {
  std::size_t seen = 0;
  for (const auto& group : job.groups())
    for (const auto& destination : *group) {
      if (!destination->exported()) return false;
      ++seen;
    }
  return seen > 0;
}

std::int64_t DocOpsTest::Send(std::uint64_t code, const std::string& payload) {
  std::string text = AnswerText(payload);
  vxp::CopyData data{code, static_cast<std::uint32_t>(text.size()), text.data()};
  return ReplyWindowProcedure(ReplyWindow(), vxp::kMessage_CopyData, 0,
                              reinterpret_cast<std::int64_t>(&data));
}

void DocOpsTest::Answer(std::uint64_t code, const std::string& payload) {
  ASSERT_EQ(Send(code, payload), 1);
  host_->tick_now();
}

bool DocOpsTest::Pick(const char* text) {
  std::string why;
  ai::Err result = -1;
  const bool picked = host_->pick(host_->find_item(text), &why, &result);
  EXPECT_TRUE(picked) << text << ": " << why;
  EXPECT_EQ(result, 0) << text;
  return picked && result == 0;
}

bool DocOpsTest::Enabled(const char* text) {
  host_->update_menus();
  const ai::MenuItemData* item = host_->find_item(text);
  EXPECT_NE(item, nullptr) << text;
  return item != nullptr && item->enabled;
}

std::vector<Rectangle> DocOpsTest::Guides(const ai::DocumentData* document) {
  std::vector<Rectangle> guides;
  for (const ai::ArtData* art : document->art) {
    if (!art->guide) continue;
    if (art->segments.size() != 4) {
      ADD_FAILURE() << "a guide of " << art->segments.size() << " corners";
      continue;
    }
    const ai::RealPoint a = art->segments[0].p, c = art->segments[2].p;
    guides.push_back({a.h, a.v, c.h - a.h, c.v - a.v});
  }
  return guides;
}

std::size_t DocOpsTest::OtherArt(const ai::DocumentData* document) {
  std::size_t n = 0;
  for (const ai::ArtData* art : document->art) n += art->guide ? 0 : 1;
  return n;
}

bool DocOpsTest::Tagged(const ai::ArtData* art, const char* key) {
  const auto entry = art->dictionary->find(key);
  return entry != art->dictionary->end() && entry->second.type == vxsim::DictionaryEntry::eType_Boolean &&
         entry->second.flag;
}

std::vector<std::string> DocOpsTest::Requests() const {
  std::vector<std::string> requests;
  for (const std::string& message : link_.Messages())
    if (message != R"({"what":"ping"})") requests.push_back(message);
  return requests;
}

std::vector<vxsim::PlayedAction> DocOpsTest::Played(const std::string& event) const {
  std::vector<vxsim::PlayedAction> played;
  for (const vxsim::PlayedAction& action : host_->actions())
    if (action.event == event) played.push_back(action);
  return played;
}

void DocOpsTest::WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string DocOpsTest::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void DocOpsTest::InstallSaveEffect(const std::string& header) {
  host_->set_action_effect("adobe_saveACopyAs",
                           [header](vxsim::HostModel&, const vxsim::PlayedAction& action) {
                             const vxsim::ActionParam* name = Param(action, "name");
                             const vxsim::ActionParam* comp = Param(action, "comp");
                             if (name == nullptr || comp == nullptr) return ai::kBadParameterErr;
                             const std::string version = "1." + std::to_string(comp->integer - 16);
                             std::ofstream out(name->text, std::ios::binary);
                             if (!out) return ai::FourCC("WRT!");
                             out << (header.empty() ? "%PDF-" + version : header)
                                 << "\n%\xE2\xE3\xCF\xD3\n1 0 obj <<>> endobj\n%%EOF\n";
                             return out.flush() ? ai::kNoErr : ai::FourCC("WRT!");
                           });
}

const vxsim::ActionParam* Param(const vxsim::PlayedAction& action, const char (&key)[5]) {
  for (const vxsim::ActionParam& p : action.params)
    if (p.key == ai::FourCC(key)) return &p;
  return nullptr;
}

}  // namespace vxdoctest
