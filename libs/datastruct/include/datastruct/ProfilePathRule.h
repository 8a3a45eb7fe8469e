// The colour-profile settings ("Setting_WorkingSpaceProfiles",
// "Setting_LocalOutputProfiles", "Setting_ProcessProfile",
// "Setting_GrayscaleProfile") name profiles by file name. When a setting of
// one of these names is loaded, each of its set texts 0 to 3 that names an
// existing file inside the system colour-profile folder is replaced by that
// file's full path; any other text is left as it was.
//
// A text is only ever resolved inside the colour folder: an absolute text,
// or one with a ".." piece, is left alone (the settings come from another
// process). File-system failures leave the texts unchanged; nothing throws.
#pragma once

#include "utils/ustring.h"

class BCheckSetting;

bool IsColourProfileSetting(const ustring& name);

// Applies the rule when the setting's name is one of the four; otherwise
// does nothing.
void ApplyProfilePathRule(BCheckSetting& setting);
