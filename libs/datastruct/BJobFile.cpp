#include "datastruct/BJobFile.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>
#include <utility>

#include "datastruct/CheckSettingDefinitions.h"
#include "datastruct/JobLimits.h"
#include "datastruct/KeyStreamScope.h"
#include "datastruct/LoadSettings.h"
#include "utils/uuid.h"

namespace {

constexpr std::uint16_t kJobKey = make_key("JJ");
constexpr std::uint16_t kStyleKey = make_key("St");
constexpr std::uint16_t kVersionKey = make_key("Pv");
constexpr std::uint16_t kJobIdKey = make_key("SS");
constexpr std::uint16_t kDocumentNameKey = make_key("DN");
constexpr std::uint16_t kTextSNKey = make_key("SN");
constexpr std::uint16_t kTextLNKey = make_key("LN");
constexpr std::uint16_t kBleedBoxKey = make_key("RB");
constexpr std::uint16_t kTrimBoxKey = make_key("RT");
constexpr std::uint16_t kTypeAreaKey = make_key("RY");
constexpr std::uint16_t kLayoutBleedHKey = make_key("LH");
constexpr std::uint16_t kLayoutBleedVKey = make_key("LV");
constexpr std::uint16_t kLayoutWidthKey = make_key("Lw");
constexpr std::uint16_t kLayoutDepthKey = make_key("Ld");
constexpr std::uint16_t kFlagSEKey = make_key("SE");
constexpr std::uint16_t kCombineGroupsKey = make_key("CZ");
constexpr std::uint16_t kValueNPKey = make_key("NP");
constexpr std::uint16_t kValueCPKey = make_key("CP");
constexpr std::uint16_t kValueLCKey = make_key("LC");
constexpr std::uint16_t kLocationTFKey = make_key("TF");
constexpr std::uint16_t kOutputFileKey = make_key("FS");
constexpr std::uint16_t kLocationPDKey = make_key("PD");
constexpr std::uint16_t kPageInfoFileKey = make_key("PI");
constexpr std::uint16_t kDefinitionsKey = make_key("Dp");
constexpr std::uint16_t kSettingsKey = make_key("SR");
constexpr std::uint16_t kBPKey = make_key("BP");
constexpr std::uint16_t kBrKey = make_key("Br");

// The format version every job file states; readers ignore it.
constexpr char kFormatVersion[] = "749";

// Page information file.
constexpr std::uint16_t kPageInfoRecordKey = 0x000A;
constexpr std::uint16_t kPageInfoPageKey = 0x0078;

// Process-wide flag "Br" of record "BP"; nothing uses it.
bool g_flag_br = false;

// A rectangle travels as its two corners. Corners that are not finite, or
// that give no finite size, stand for "no rectangle yet" (undefined_rect
// itself travels as four infinities).
void read_rect(UKeyInStream& r, std::uint16_t key, Rect2D& rect) {
  if (!r.has(key)) return;
  constexpr double kInf = std::numeric_limits<double>::infinity();
  double c[4] = {kInf, kInf, kInf, kInf};  // missing corners leave it undefined
  {
    UKeyInScope corners(r, key, UKeyInScope::eKind_Array);
    for (double& v : c) r.read(v);
  }
  const double w = c[2] - c[0], h = c[3] - c[1];
  const bool finite = std::isfinite(c[0]) && std::isfinite(c[1]) && std::isfinite(w) && std::isfinite(h);
  rect = finite ? Rect2D(c[0], c[1], w, h) : undefined_rect;
}

void write_rect(UKeyOutStream& w, std::uint16_t key, const Rect2D& rect) {
  w.begin_array(key);
  w.write(rect.x()).write(rect.y()).write(rect.x() + rect.width()).write(rect.y() + rect.height());
  w.end();
}

bool at_origin(const Rect2D& r) { return r.x() == 0 && r.y() == 0; }

void centre(Rect2D& r) { r.origin.offset(-r.width() / 2, -r.height() / 2); }

// An empty text clears the location; any other text sets it (a text that is
// no absolute path leaves it empty).
void write_location(UKeyOutStream& w, std::uint16_t key, const UFileSpecCore& spec) {
  static const ustring kNone;
  w.key(key).write(spec.path().size() > 2 ? spec.path() : kNone);
}

// Reads a location's text into text and the file specification it names
// into spec (empty for an empty text).
void read_location(UKeyInStream& r, std::uint16_t key, UFileSpecCore& spec, ustring& text) {
  r.select(key).read(text);
  if (text.empty()) {
    spec.clear();
  } else {
    spec.set_path(text);
  }
}

void read_location(UKeyInStream& r, std::uint16_t key, UFileSpecCore& spec) {
  ustring text;
  read_location(r, key, spec, text);
}

// A location that is only carried is written back as it was read, unless a
// setter replaced it (the text is then empty).
void write_carried_location(UKeyOutStream& w, std::uint16_t key, const UFileSpecCore& spec, const ustring& text) {
  if (text.empty()) {
    write_location(w, key, spec);
  } else {
    w.key(key).write(text);
  }
}

}  // namespace

BJobFile::BJobFile() : groups_(this), defaultGroup_(this) {}

BJobFile::~BJobFile() = default;

// ---------------------------------------------------------------------------
// Reading

bool BJobFile::ReadJob(std::istream& in, int mask) {
  if (in.fail()) return false;
  UKeyInStream r(in);
  umessage definitions;
  r.select(kDefinitionsKey).read_message(definitions);
  InstallSettingDefinitions(std::move(definitions));
  ReadContent(r, mask);
  return true;
}

void BJobFile::ReadContent(UKeyInStream& r, int mask) {
  // Everything is read into fresh values first and committed at the end, so
  // that a payload refused half-way leaves the job as it was.
  Fields next = fields_;
  BPageRangeList pageRanges;
  BPageRangeAbsoluteList absolutePageRanges;
  BExportedDestinationList exportedDestinations;
  const bool full = HasFullSection(mask);
  {
    UKeyInScope job(r, kJobKey);
    r.select(kStyleKey).read(next.style);
    r.select(kJobIdKey).read(next.jobId);
    r.select(kTextSNKey).read(next.textSN);
    r.select(kTextLNKey).read(next.textLN);

    read_rect(r, kBleedBoxKey, next.bleedBox);
    read_rect(r, kTrimBoxKey, next.trimBox);
    read_rect(r, kTypeAreaKey, next.typeArea);
    // Veloxa states sizes at the origin; the document is centred on it.
    if (at_origin(next.bleedBox) && at_origin(next.trimBox) && at_origin(next.typeArea)) {
      centre(next.bleedBox);
      centre(next.trimBox);
      centre(next.typeArea);
    }

    if (HasLayoutSection(mask)) {
      r.select(kLayoutBleedHKey).read(next.layoutBleedH);
      r.select(kLayoutBleedVKey).read(next.layoutBleedV);
      r.select(kLayoutWidthKey).read(next.layoutWidth);
      r.select(kLayoutDepthKey).read(next.layoutDepth);
      r.select(kFlagSEKey).read(next.flagSE);
      r.select(kCombineGroupsKey).read(next.combineGroups);
    }

    if (full) {
      r.select(kValueNPKey).read(next.valueNP);
      r.select(kValueCPKey).read(next.valueCP);
      r.select(kValueLCKey).read(next.valueLC);
      r.select(kDocumentNameKey).read(next.documentName);
      read_location(r, kLocationTFKey, next.locationTF, next.textTF);
      read_location(r, kOutputFileKey, next.outputFile);
      read_location(r, kLocationPDKey, next.locationPD, next.textPD);
      read_location(r, kPageInfoFileKey, next.pageInfoFile);
      pageRanges.Read(r);
      absolutePageRanges.Read(r);
      exportedDestinations.Read(r);
    }
  }

  BGroupList groups(this);
  groups.Read(r);

  // The settings read through the definitions installed by ReadJob.
  BCheckSettingList checkSettings;
  if (full) {
    umessage settings;
    r.select(kSettingsKey).read_message(settings);
    LoadSettings(checkSettings, settings);
    job_limits::RefuseBeyond(checkSettings.size(), job_limits::kMaxCheckSettings,
                             "BJobFile: too many check settings");
  }

  bool flagBr = g_flag_br;
  if (r.has(kBPKey)) {
    UKeyInScope bp(r, kBPKey);
    r.select(kBrKey).read(flagBr);
  }

  // Commit; nothing below throws.
  fields_ = std::move(next);
  groups_.swap(groups);
  if (full) {
    pageRanges_ = std::move(pageRanges);
    absolutePageRanges_ = std::move(absolutePageRanges);
    exportedDestinations_ = std::move(exportedDestinations);
    checkSettings_ = std::move(checkSettings);
  }
  g_flag_br = flagBr;
}

// ---------------------------------------------------------------------------
// Writing

bool BJobFile::WriteJob(std::ostream& out, int mask) {
  std::vector<BDestination*> written;
  bool ok;
  {
    UKeyOutStream w(out, kSignature);
    WriteSections(w, mask, &written);
    w.close_all();
    ok = !w.failed();
  }
  if (ok) {
    for (BDestination* d : written) d->SetExported(true);
  }
  return ok;
}

void BJobFile::WriteContent(UKeyOutStream& w, int mask) {
  std::vector<BDestination*> written;
  WriteSections(w, mask, &written);
  if (w.failed()) return;
  for (BDestination* d : written) d->SetExported(true);
}

void BJobFile::WriteSections(UKeyOutStream& w, int mask, std::vector<BDestination*>* written) {
  Fields& f = fields_;
  if (f.jobId.empty()) f.jobId = uuid_to_text(uuid_create());

  w.begin_record(kJobKey);
  w.key(kStyleKey).write(f.style);
  w.key(kVersionKey).write(kFormatVersion);
  w.key(kJobIdKey).write(f.jobId);
  w.key(kDocumentNameKey).write(f.documentName);
  w.key(kTextSNKey).write(f.textSN);
  w.key(kTextLNKey).write(f.textLN);
  write_rect(w, kBleedBoxKey, f.bleedBox);
  write_rect(w, kTrimBoxKey, f.trimBox);
  write_rect(w, kTypeAreaKey, f.typeArea);

  if (HasLayoutSection(mask)) {
    w.key(kLayoutBleedHKey).write(f.layoutBleedH);
    w.key(kLayoutBleedVKey).write(f.layoutBleedV);
    w.key(kLayoutWidthKey).write(f.layoutWidth);
    w.key(kLayoutDepthKey).write(f.layoutDepth);
    w.key(kFlagSEKey).write(f.flagSE);
    w.key(kCombineGroupsKey).write(f.combineGroups);
  }

  if (HasFullSection(mask)) {
    w.key(kValueNPKey).write(f.valueNP);
    w.key(kValueCPKey).write(f.valueCP);
    w.key(kValueLCKey).write(f.valueLC);
    write_carried_location(w, kLocationTFKey, f.locationTF, f.textTF);
    write_location(w, kOutputFileKey, f.outputFile);
    write_carried_location(w, kLocationPDKey, f.locationPD, f.textPD);
    write_location(w, kPageInfoFileKey, f.pageInfoFile);
    pageRanges_.Write(w);
    absolutePageRanges_.Write(w);
    exportedDestinations_.Write(w);
  }
  w.end();

  groups_.Write(w, mask, written);
}

bool BJobFile::WriteForExport(std::ostream& out) {
  if (!WriteJob(out, kJobFileContent_Export)) return false;
  if (BGroup* next = groups_.FirstGroupWithUnexported()) {
    groups_.SetActiveGroup(next);
    ComputeGeometry();
  }
  return true;
}

// ---------------------------------------------------------------------------
// Geometry

BGroup& BJobFile::ActiveGroup() {
  BGroup* active = groups_.ActiveGroup();
  return active != nullptr ? *active : defaultGroup_;
}

void BJobFile::ComputeGeometry() {
  const BGroup* active = &ActiveGroup();
  const bool combine = fields_.combineGroups;
  const bool combineSeveral = combine && groups_.Count() > 1;
  double bleedW = 0, bleedD = 0, trimW = 0, trimD = 0, typeW = 0, typeD = 0;

  for (const auto& group : groups_) {
    if (!combine && group.get() != active) continue;
    for (const auto& d : *group) {
      if (d->job() != this) continue;
      const double W = d->width(), D = d->depth();
      // The smallest positive booked size.
      if (W > 0 && (trimW == 0 || trimW > W)) trimW = W;
      if (D > 0 && (trimD == 0 || trimD > D)) trimD = D;
      // The smallest indented size.
      double g1 = d->indentLeft() + d->indentRight();
      if (g1 > 0) g1 = W - g1;
      if (typeW == 0 || (g1 > 0 && typeW > g1)) typeW = g1;
      double g2 = d->indentTop() + d->indentBottom();
      if (g2 > 0) g2 = D - g2;
      if (typeD == 0 || (g2 > 0 && typeD > g2)) typeD = g2;
      // The largest size with bleed.
      const double withBleedW = W + d->bleedLeft() + d->bleedRight();
      const double withBleedD = D + d->bleedTop() + d->bleedBottom();
      if (combineSeveral) {
        bleedW = std::max(bleedW, withBleedW);
        bleedD = std::max(bleedD, withBleedD);
      } else {
        if (d->bleedLeft() > 0 || d->bleedRight() > 0) bleedW = std::max(bleedW, withBleedW);
        if (d->bleedTop() > 0 || d->bleedBottom() > 0) bleedD = std::max(bleedD, withBleedD);
      }
    }
  }
  if (bleedW == 0) bleedW = trimW;
  if (bleedD == 0) bleedD = trimD;

  fields_.bleedBox = Rect2D(0, 0, bleedW, bleedD);
  fields_.trimBox = Rect2D(0, 0, trimW, trimD);
  if (typeW != 0 && typeD != 0) fields_.typeArea = Rect2D(0, 0, typeW, typeD);
}

// ---------------------------------------------------------------------------
// Page information file

bool BJobFile::WritePageInfoFile() const {
  std::ofstream file = fields_.pageInfoFile.open_output(std::ios::out | std::ios::binary | std::ios::trunc);
  if (!file.is_open()) return false;
  bool ok;
  {
    UKeyOutStream w(file);
    w.begin_record(kPageInfoRecordKey);
    w.key(kPageInfoPageKey).write(-2);
    pageItemSet_.WritePageItems(w, -1);
    // The total comes from the payload: a hostile one must not make the file
    // endless.
    const std::int64_t pages =
        std::clamp<std::int64_t>(absolutePageRanges_.TotalPageCount(), 0, kMaxPageInfoPages);
    for (std::int32_t p = 1; p <= pages; ++p) {
      w.key(kPageInfoPageKey).write(p - 1);
      pageItemSet_.WritePageItems(w, p);
      pageItemSet_.WritePageFlattener(w, p);
    }
    w.close_all();
    ok = !w.failed();
  }
  file.close();
  return ok && !file.fail();
}

// ---------------------------------------------------------------------------

bool BJobFile::FlagBr() { return g_flag_br; }
