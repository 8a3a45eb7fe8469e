// Loading a job's check settings from the "SR" message of a job payload.
//
// The message has one of two forms:
//   - old form: a "settings" list of records, one old-form setting each
//     (BCheckSetting::DeserialiseSetting); records without a "problem" text
//     are skipped;
//   - ticket form (anything else): every problem name of the ticket's
//     profile is reduced to its effective setting (WEffectiveProfile.h) and
//     read with BCheckSetting::DeserialiseSetting2. Names the definitions do
//     not know are dropped, with the INFO line "new setting not found"
//     (which includes the key "all" unless the definitions define it).
// Settings of the colour-profile names get their profile paths resolved
// (ProfilePathRule.h).
//
// The list is cleared first, so a message of neither form leaves it empty.
// At most job_limits::kMaxCheckSettings + 1 settings are loaded (JobLimits.h):
// a list longer than the limit tells the caller that the message held more,
// without the cost of building them all; ReadContent then refuses the job.
// Nothing throws for bad content: values of the wrong type read as absent,
// and the ticket's restriction nesting is bounded (kMaxRestrictionDepth).
// The ticket is not validated here (TicketIsWellFormed is separate).
//
// For the job file, ReadContent in the full section:
//   umessage sr;                 // an absent "SR" leaves it empty
//   reader.read_message(sr);
//   LoadSettings(checkSettings, sr);
// Definitions ("Dp") must be installed before (ReadJob does that first), as
// the ticket form reads every setting through them.
#pragma once

#include <memory>

class BCheckSettingList;
class umessage;

void LoadSettings(BCheckSettingList& list, const umessage& settings);
void LoadSettings(BCheckSettingList& list, const std::shared_ptr<const umessage>& settings);
