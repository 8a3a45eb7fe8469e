#include "JobJson.h"

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "datastruct/CheckSettingTypes.h"
#include "utils/UKeyStream.h"

namespace {

void add_rect(umessage& out, const char* name, const Rect2D& r) {
  if (r.is_undefined()) return;
  for (double v : {r.x(), r.y(), r.width(), r.height()}) out.add_array(name, v);
}

void add_size(umessage& out, const char* name, const Rect2D& r) {
  out.add_array(name, r.width());
  out.add_array(name, r.height());
}

umessage range_json(const BPageRange& range, bool relative) {
  umessage m;
  if (relative) m.add("label", range.label());
  m.add("start", range.start());
  m.add("count", range.count());
  m.add("kind", range.kind());
  m.add("firstPage", range.firstPage());
  return m;
}

umessage destination_json(const BDestination& d) {
  umessage m;
  m.add("valueCo", d.valueCo());
  m.add("width", d.width());
  m.add("depth", d.depth());
  m.add("bleedLeft", d.bleedLeft());
  m.add("bleedRight", d.bleedRight());
  m.add("bleedTop", d.bleedTop());
  m.add("bleedBottom", d.bleedBottom());
  m.add("indentLeft", d.indentLeft());
  m.add("indentRight", d.indentRight());
  m.add("indentTop", d.indentTop());
  m.add("indentBottom", d.indentBottom());
  m.add("textCC", d.textCC());
  m.add("textRC", d.textRC());
  m.add("textNC", d.textNC());
  m.add("textSC", d.textSC());
  m.add("textR1", d.textR1());
  m.add("textN1", d.textN1());
  m.add("textS1", d.textS1());
  m.add("textNS", d.textNS());
  m.add("textCN", d.textCN());
  m.add("identifier", d.identifier());
  m.add("exported", d.exported());
  m.add("readOnly", d.readOnly());
  m.add("textMK", d.textMK());
  m.add("style", d.style());
  for (const UserField& f : d.userFields()) {
    umessage u;
    u.add("code", f.code);
    u.add("typeCode", f.typeCode);
    u.add("label", f.label);
    u.add("value", f.value);
    u.add("readOnly", f.readOnly);
    m.add_array("userFields", std::move(u));
  }
  return m;
}

// An enumerator by its name; a value without one (an unknown old-form
// type reads as -1) by its number.
void add_enum(umessage& m, const char* name, std::string_view text, int value) {
  if (text.empty()) {
    m.add(name, value);
  } else {
    m.add(name, ustring(text));
  }
}

umessage setting_json(const BCheckSetting& s) {
  umessage m;
  m.add("name", s.name());
  add_enum(m, "type", SettingTypeName(s.type()), s.type());
  add_enum(m, "severity", ProblemSeverityName(s.severity()), s.severity());
  for (int i = 0; i < 4; ++i) {
    m.add_array("limits", s.limit(i));
    m.add_array("limitNotSet", s.limitNotSet(i));
    m.add_array("texts", s.text(i));
    m.add_array("textNotSet", s.textNotSet(i));
  }
  m.add("precision", s.precision());
  m.add("userUnits", s.userUnits());
  m.add("parameterValue", s.parameterValue());
  m.add("parameterValueNotSet", s.parameterValueNotSet());
  return m;
}

}  // namespace

umessage job_to_json(BJobFile& job) {
  umessage out;
  out.add("style", job.style());
  out.add("jobId", job.jobId());
  out.add("documentName", job.documentName());
  out.add("textSN", job.textSN());
  out.add("textLN", job.textLN());
  add_rect(out, "bleedBox", job.bleedBox());
  add_rect(out, "trimBox", job.trimBox());
  add_rect(out, "typeArea", job.typeArea());
  out.add("layoutBleedH", job.layoutBleedH());
  out.add("layoutBleedV", job.layoutBleedV());
  out.add("layoutWidth", job.layoutWidth());
  out.add("layoutDepth", job.layoutDepth());
  out.add("flagSE", job.flagSE());
  out.add("combineGroups", job.combineGroups());
  out.add("valueNP", job.valueNP());
  out.add("valueCP", job.valueCP());
  out.add("valueLC", job.valueLC());
  out.add("locationTF", job.textTF());
  out.add("outputFile", job.outputFile().path());
  out.add("locationPD", job.textPD());
  out.add("pageInfoFile", job.pageInfoFile().path());
  for (const auto& range : job.pageRanges()) out.add_array("pageRanges", range_json(*range, true));
  for (const auto& range : job.absolutePageRanges())
    out.add_array("absolutePageRanges", range_json(*range, false));
  for (const auto& record : job.exportedDestinations()) {
    umessage m;
    m.add("identifier", record->identifier());
    for (const auto& range : record->pageRanges()) m.add_array("pageRanges", range_json(*range, false));
    out.add_array("exportedDestinations", std::move(m));
  }
  for (const auto& group : job.groups()) {
    umessage g;
    g.add("active", group->active());
    g.add("flagGd", group->flagGd());
    for (const auto& d : *group) g.add_array("destinations", destination_json(*d));
    out.add_array("groups", std::move(g));
  }
  for (std::size_t i = 0; i < job.checkSettings().size(); ++i) {
    out.add_array("checkSettings", setting_json(job.checkSettings()[i]));
  }
  out.add("requiredPDFVersion", job.RequiredPDFVersion());

  // Last, as it sets the job's rectangles.
  job.ComputeGeometry();
  auto geometry = std::make_shared<umessage>();
  add_size(*geometry, "trim", job.trimBox());
  add_size(*geometry, "bleed", job.bleedBox());
  add_size(*geometry, "type", job.typeArea());
  out.add("geometry", geometry);
  return out;
}

namespace {

// Reads members of one JSON record into the job, refusing a member of the
// wrong kind.
class Members {
 public:
  Members(const umessage& m, std::string where) : m_(m), where_(std::move(where)) {}

  template <class T>
  std::optional<T> get(const char* name) const {
    if (m_.find(name) == nullptr) return std::nullopt;
    T value{};
    if (!m_.get(name, 0, value)) fail(name, kind_of<T>());
    return value;
  }
  std::optional<ustring> text(const char* name) const { return get<ustring>(name); }

  std::optional<Rect2D> rect(const char* name) const {
    if (m_.find(name) == nullptr) return std::nullopt;
    double c[4];
    if (m_.count(name) != 4) fail(name, "[x, y, width, height]");
    for (std::size_t i = 0; i < 4; ++i) {
      if (!m_.get(name, i, c[i])) fail(name, "[x, y, width, height]");
    }
    return Rect2D(c[0], c[1], c[2], c[3]);
  }

  // The records of a list member.
  std::vector<std::shared_ptr<umessage>> records(const char* name) const {
    std::vector<std::shared_ptr<umessage>> out;
    const std::size_t n = m_.count(name);
    for (std::size_t i = 0; i < n; ++i) {
      std::shared_ptr<umessage> r;
      if (!m_.get(name, i, r) || r == nullptr) fail(name, "a list of objects");
      out.push_back(r);
    }
    return out;
  }

  std::string at(const char* name, std::size_t i) const {
    return where_ + name + "[" + std::to_string(i) + "].";
  }

 private:
  template <class T>
  static const char* kind_of() {
    if constexpr (std::is_same_v<T, bool>) return "true or false";
    if constexpr (std::is_same_v<T, ustring>) return "a text";
    if constexpr (std::is_same_v<T, umessage>) return "an object";
    return "a number";
  }
  [[noreturn]] void fail(const char* name, const char* expected) const {
    throw JobJsonError("member " + where_ + name + ": expected " + expected);
  }

  const umessage& m_;
  std::string where_;
};

BPageRange make_range(const umessage& m, const std::string& where, bool relative) {
  const Members in(m, where);
  BPageRange range(
      in.get<int>("start").value_or(0), in.get<int>("count").value_or(0),
      relative ? in.get<int>("kind").value_or(BPageRange::kKindRelative) : BPageRange::kKindAbsolute);
  if (relative) range.SetLabel(in.text("label").value_or(""));
  // Reading derives it; stated here only so that the model matches.
  range.SetFirstPage(in.get<int>("firstPage").value_or(relative ? 0 : range.start()));
  return range;
}

void make_destination(BDestination& d, const umessage& m, const std::string& where) {
  const Members in(m, where);
  if (auto v = in.get<int>("valueCo")) d.SetValueCo(*v);
  if (auto v = in.get<double>("width")) d.SetWidth(*v);
  if (auto v = in.get<double>("depth")) d.SetDepth(*v);
  d.SetBleeds(in.get<double>("bleedLeft").value_or(0), in.get<double>("bleedRight").value_or(0),
              in.get<double>("bleedTop").value_or(0), in.get<double>("bleedBottom").value_or(0));
  d.SetIndents(in.get<double>("indentLeft").value_or(0), in.get<double>("indentRight").value_or(0),
               in.get<double>("indentTop").value_or(0), in.get<double>("indentBottom").value_or(0));
  d.SetCC(in.text("textCC").value_or(""));
  d.SetRC(in.text("textRC").value_or(""));
  d.SetNC(in.text("textNC").value_or(""));
  d.SetSC(in.text("textSC").value_or(""));
  // The companions after their first texts, whose setters clear them.
  d.SetR1(in.text("textR1").value_or(""));
  d.SetN1(in.text("textN1").value_or(""));
  d.SetS1(in.text("textS1").value_or(""));
  d.SetNS(in.text("textNS").value_or(""));
  d.SetCN(in.text("textCN").value_or(""));
  d.SetIdentifier(in.text("identifier").value_or(""));
  d.SetExported(in.get<bool>("exported").value_or(false));
  d.SetReadOnly(in.get<bool>("readOnly").value_or(false));
  d.SetMK(in.text("textMK").value_or(""));
  d.SetStyle(in.get<int>("style").value_or(0));
  const auto fields = in.records("userFields");
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const Members f(*fields[i], in.at("userFields", i));
    UserField field;
    field.code = f.text("code").value_or("");
    if (auto known = MakeCatalogueUserField(field.code, "")) field = *known;
    if (auto v = f.text("typeCode")) field.typeCode = *v;
    if (auto v = f.text("label")) field.label = *v;
    field.value = f.text("value").value_or("");
    field.readOnly = f.get<bool>("readOnly").value_or(false);
    d.AddUserField(field);
  }
}

}  // namespace

JobMessages job_from_json(BJobFile& job, const umessage& m) {
  const Members in(m, "");
  if (auto v = in.get<int>("style")) job.SetStyle(*v);
  if (auto v = in.text("jobId")) job.SetJobId(*v);
  if (auto v = in.text("documentName")) job.SetDocumentName(*v);
  if (auto v = in.text("textSN")) job.SetTextSN(*v);
  if (auto v = in.text("textLN")) job.SetTextLN(*v);
  if (auto v = in.rect("bleedBox")) job.SetBleedBox(*v);
  if (auto v = in.rect("trimBox")) job.SetTrimBox(*v);
  if (auto v = in.rect("typeArea")) job.SetTypeArea(*v);
  if (auto v = in.get<double>("layoutBleedH")) job.SetLayoutBleedH(*v);
  if (auto v = in.get<double>("layoutBleedV")) job.SetLayoutBleedV(*v);
  if (auto v = in.get<double>("layoutWidth")) job.SetLayoutWidth(*v);
  if (auto v = in.get<double>("layoutDepth")) job.SetLayoutDepth(*v);
  if (auto v = in.get<bool>("flagSE")) job.SetFlagSE(*v);
  if (auto v = in.get<bool>("combineGroups")) job.SetCombineGroups(*v);
  if (auto v = in.get<int>("valueNP")) job.SetValueNP(*v);
  if (auto v = in.get<int>("valueCP")) job.SetValueCP(*v);
  if (auto v = in.get<int>("valueLC")) job.SetValueLC(*v);
  if (auto v = in.text("locationTF")) job.SetLocationTF(UFileSpecCore(*v));
  if (auto v = in.text("outputFile")) job.SetOutputFile(UFileSpecCore(*v));
  if (auto v = in.text("locationPD")) job.SetLocationPD(UFileSpecCore(*v));
  if (auto v = in.text("pageInfoFile")) job.SetPageInfoFile(UFileSpecCore(*v));

  const auto ranges = in.records("pageRanges");
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    job.pageRanges().Append(make_range(*ranges[i], in.at("pageRanges", i), true));
  }
  const auto absolute = in.records("absolutePageRanges");
  for (std::size_t i = 0; i < absolute.size(); ++i) {
    job.absolutePageRanges().Append(make_range(*absolute[i], in.at("absolutePageRanges", i), false));
  }
  const auto exported = in.records("exportedDestinations");
  for (std::size_t i = 0; i < exported.size(); ++i) {
    const Members e(*exported[i], in.at("exportedDestinations", i));
    auto record = std::make_unique<BExportedDestination>(e.get<int>("identifier").value_or(0));
    const auto pages = e.records("pageRanges");
    for (std::size_t p = 0; p < pages.size(); ++p) {
      record->pageRanges().Append(make_range(*pages[p], e.at("pageRanges", p), false));
    }
    job.exportedDestinations().Insert(std::move(record));
  }
  const auto groups = in.records("groups");
  for (std::size_t i = 0; i < groups.size(); ++i) {
    const Members g(*groups[i], in.at("groups", i));
    BGroup* group = job.groups().NewGroup();
    group->SetActive(g.get<bool>("active").value_or(false));
    group->SetFlagGd(g.get<bool>("flagGd").value_or(false));
    const auto destinations = g.records("destinations");
    for (std::size_t d = 0; d < destinations.size(); ++d) {
      make_destination(*group->NewDestination(), *destinations[d], g.at("destinations", d));
    }
  }

  JobMessages made;
  made.definitions = in.get<umessage>("definitions").value_or(umessage());
  made.settings = in.get<umessage>("settings").value_or(umessage());
  return made;
}


std::string write_job_payload(BJobFile& job, const JobMessages& messages) {
  std::ostringstream out;
  {
    UKeyOutStream w(out, BJobFile::kSignature);
    if (!messages.definitions.empty()) w.key(make_key("Dp")).write_message(messages.definitions);
    job.WriteContent(w, eJobFileContent_Full);
    if (!messages.settings.empty()) w.key(make_key("SR")).write_message(messages.settings);
    w.close_all();
    if (w.failed()) throw JobJsonError("cannot write the payload");
  }
  return std::move(out).str();
}
