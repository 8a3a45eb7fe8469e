#include "datastruct/ProfilePathRule.h"

#include <string_view>

#include "datastruct/BCheckSetting.h"
#include "datastruct/ProblemNames.h"
#include "utils/UFileSpecCore.h"

namespace {

// Whether a piece between separators ('/' or '\\') is "..".
bool climbs_out(const ustring& text) {
  std::string_view rest = text.view();
  while (true) {
    const std::size_t end = rest.find_first_of("/\\");
    if (rest.substr(0, end) == "..") return true;
    if (end == std::string_view::npos) return false;
    rest.remove_prefix(end + 1);
  }
}

}  // namespace

bool IsColourProfileSetting(const ustring& name) {
  using namespace problem_names;
  return name == kSetting_WorkingSpaceProfiles || name == kSetting_LocalOutputProfiles ||
         name == kSetting_ProcessProfile || name == kSetting_GrayscaleProfile;
}

void ApplyProfilePathRule(BCheckSetting& setting) {
  if (!IsColourProfileSetting(setting.name())) return;
  UFileSpecCore folder;
  bool folder_known = false;
  for (int i = 0; i < BCheckSetting::kSlots; ++i) {
    if (setting.textNotSet(i)) continue;
    const ustring& text = setting.text(i);
    if (text.empty() || UFileSpecCore::is_absolute_path(text) || climbs_out(text)) continue;
    if (!folder_known) {
      if (!folder.set_special(UFileSpecCore::eSpecialFolder_ColorProfiles)) return;
      folder_known = true;
    }
    UFileSpecCore file = folder;
    if (file.append(text) && file.exists()) setting.SetText(i, file.path());
  }
}
