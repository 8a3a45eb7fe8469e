#include "large_job.h"

#include <memory>
#include <sstream>
#include <string_view>

#include "datastruct/CheckSettingDefinitions.h"
#include "datastruct/ProblemNames.h"
#include "utils/umessage.h"

namespace vxbench {

namespace {

constexpr const char* kDefinitionTypes[] = {"limitsLow", "limitsHigh", "boolean", "stringParameter",
                                            "parameter"};

std::shared_ptr<umessage> setting(int type, int variant) {
  auto s = std::make_shared<umessage>();
  switch (type) {
    case 0:
    case 1:
      s->add("fault", 100.0 + variant);
      s->add("warn", 200.0 + variant);
      s->add("precision", 1);
      break;
    case 2:
      s->add("sev", variant % 2 ? "warn" : "fault");
      break;
    case 3:
      s->add("P", "ISOcoated_v2_300_eci.icc");
      break;
    default:
      s->add("note", 1.4);
      break;
  }
  return s;
}

// The definitions of every problem, each with defaults.
umessage definitions() {
  umessage m;
  int i = 0;
  for (std::string_view name : problem_names::kProblemNames) {
    auto definition = std::make_shared<umessage>();
    definition->add("type", kDefinitionTypes[i % 5]);
    definition->add("defaults", setting(i % 5, 0));
    m.add(ustring(name), definition);
    ++i;
  }
  return m;
}

// A ticket: its own check group sets all 300 problems; each of the 5 groups'
// worth of destinations sets 60 of them, with a restriction setting 10 more.
umessage ticket() {
  umessage t;
  auto own = std::make_shared<umessage>();
  int i = 0;
  for (std::string_view name : problem_names::kProblemNames) own->add(ustring(name), setting(i++ % 5, 1));
  auto zts = std::make_shared<umessage>();
  zts->add("checks", own);
  t.add("zts", zts);
  for (int d = 0; d < kLargeJobGroups; ++d) {
    auto checks = std::make_shared<umessage>();
    auto restricted = std::make_shared<umessage>();
    for (int p = 0; p < 60; ++p) {
      const int n = (d * 60 + p) % 300;
      checks->add(ustring(problem_names::kProblemNames[static_cast<std::size_t>(n)]), setting(n % 5, d + 2));
    }
    for (int p = 0; p < 10; ++p) {
      const int n = (d * 7 + p) % 300;
      restricted->add(ustring(problem_names::kProblemNames[static_cast<std::size_t>(n)]),
                      setting(n % 5, d + 3));
    }
    auto restriction = std::make_shared<umessage>();
    restriction->add("checks", restricted);
    auto group = std::make_shared<umessage>();
    group->add("checks", checks);
    group->add("restrictions", restriction);
    auto destination = std::make_shared<umessage>();
    destination->add("identifier", ustring(std::to_string(500000 + d * 1000)));
    destination->add("zts", group);
    t.add("destinations", destination);
  }
  return t;
}

}  // namespace

void FillLargeJob(BJobFile& job, int groups, int per_group) {
  job.SetDocumentName("Spring campaign 2024 - full page.ai");
  job.SetTextSN("SN text");
  job.SetTextLN("LN text");
  job.SetOutputFile(UFileSpecCore("C:\\Veloxa\\Jobs\\2024\\Spring\\A1-full-page"));
  job.SetLocationTF(UFileSpecCore("C:\\Veloxa\\Jobs\\2024\\Spring\\TF"));
  job.SetLocationPD(UFileSpecCore("C:\\Veloxa\\Jobs\\2024\\Spring\\PD"));
  job.SetPageInfoFile(UFileSpecCore("C:\\Veloxa\\Jobs\\2024\\Spring\\A1.pageinfo"));
  job.SetBleedBox(Rect2D(-3, -3, 216, 303));
  job.SetTrimBox(Rect2D(0.5, 0, 210, 297));
  job.SetTypeArea(Rect2D(10, 10, 190, 277));
  job.SetLayoutWidth(595.28);
  job.SetLayoutDepth(841.89);
  job.SetStyle(3);
  job.SetJobId("5F0C7A2E-9B1D-4E3F-8A6B-2C4D6E8F0A1B");
  for (int i = 0; i < 8; ++i) {
    job.pageRanges().Append(BPageRange(i * 2 + 1, 2));
    job.absolutePageRanges().Append(BPageRange(i * 4 + 1, 2, BPageRange::kKindAbsolute));
  }
  for (int i = 0; i < 50; ++i) {
    auto record = std::make_unique<BExportedDestination>(10000 + i);
    record->pageRanges().Append(BPageRange(1, 1, BPageRange::kKindAbsolute));
    job.exportedDestinations().Insert(std::move(record));
  }
  static const char* const kCodes[] = {"PubC", "1PNm", "ClPo", "0VDt"};
  static const char* const kValues[] = {"DN-DAILY", "Daily News Regional Edition", "Sport / right-hand page",
                                        "2024-03-18"};
  for (int g = 0; g < groups; ++g) {
    BGroup* group = job.groups().NewGroup();
    group->SetActive(g == 0);
    for (int i = 0; i < per_group; ++i) {
      BDestination* d = group->NewDestination();
      d->SetCC("DE");
      d->SetRC("Regional edition North");
      d->SetNC("Daily News");
      d->SetSC("Sport");
      d->SetCN("Germany");
      d->SetNS("1/1 page");
      d->SetWidth(595.28 - i % 3);
      d->SetDepth(841.89 - i % 5);
      d->SetBleeds(8.5, 8.5, 8.5, 8.5);
      d->SetIndents(28.35, 28.35, 28.35, 42.5);
      d->SetIdentifier(ustring("%0").arg(500000 + g * 1000 + i));
      d->SetStyle(i % 4);
      for (int f = 0; f < 4; ++f) d->AddUserField(*MakeCatalogueUserField(kCodes[f], kValues[f]));
    }
  }
}

std::string LargeJobPayload(int groups, int per_group, void (*change)(BJobFile&)) {
  BJobFile job;
  FillLargeJob(job, groups, per_group);
  if (change != nullptr) change(job);
  std::ostringstream out;
  {
    UKeyOutStream w(out, BJobFile::kSignature);
    w.key(make_key("Dp")).write_message(definitions());
    job.WriteContent(w, eJobFileContent_Full);
    w.key(make_key("SR")).write_message(ticket());
  }
  return out.str();
}

}  // namespace vxbench
