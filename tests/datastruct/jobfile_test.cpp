#include "datastruct/BJobFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "datastruct/CheckSettingDefinitions.h"
#include "datastruct/JobLimits.h"
#include "job_test_support.h"
#include "utils/UFileSpecCore.h"

namespace {

using namespace jobtest;

const std::string kInfinity = bytes({0x7F, 0xF0, 0, 0, 0, 0, 0, 0});

std::string undefined_rect_field(const char (&key)[3]) {
  std::string corners;
  for (int i = 0; i < 4; ++i) corners += element(4, kInfinity);
  return container(make_key(key), 7, corners);
}

std::string double_bytes(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  std::string out;
  for (int i = 7; i >= 0; --i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
  out.erase(0, out.find_first_not_of('\0') == std::string::npos ? 8 : out.find_first_not_of('\0'));
  return out;
}

std::string rect_field(const char (&key)[3], double x, double y, double x2, double y2) {
  std::string corners;
  for (double v : {x, y, x2, y2}) corners += element(4, double_bytes(v));
  return container(make_key(key), 7, corners);
}

// A job payload with the given content of 'JJ' and further meta children.
std::string payload(const std::string& jj, const std::string& rest = "") {
  return container(UKeyStream::kMetaKey, 6, kCodeField + record("JJ", jj) + rest);
}

TEST(JobFile, NewJobDefaults) {
  BJobFile job;
  EXPECT_TRUE(job.groups().empty());
  EXPECT_TRUE(job.bleedBox().is_undefined());
  EXPECT_TRUE(job.trimBox().is_undefined());
  EXPECT_TRUE(job.typeArea().is_undefined());
  EXPECT_EQ(job.valueNP(), 1);
  EXPECT_EQ(job.valueCP(), 1);
  EXPECT_EQ(job.valueLC(), 0);
  EXPECT_EQ(job.style(), 0);
  EXPECT_FALSE(job.flagSE());
  EXPECT_FALSE(job.combineGroups());
  EXPECT_TRUE(job.jobId().empty());
  EXPECT_TRUE(job.outputFile().empty());
  EXPECT_EQ(&job.ActiveGroup(), &job.defaultGroup());
  EXPECT_EQ(job.RequiredPDFVersion(), 0);
}

TEST(JobFile, LayoutPayloadOfANewJobByteForByte) {
  BJobFile job;
  job.SetJobId("ID");
  const std::string jj =
      field(make_key("St"), 2, "") + text_field("Pv", "749") + text_field("SS", "ID") + text_field("DN", "") +
      text_field("SN", "") + text_field("LN", "") + undefined_rect_field("RB") + undefined_rect_field("RT") +
      undefined_rect_field("RY") + field(make_key("LH"), 4, "") + field(make_key("LV"), 4, "") +
      field(make_key("Lw"), 4, "") + field(make_key("Ld"), 4, "") + field(make_key("SE"), 1, "") +
      field(make_key("CZ"), 1, "");
  const std::string expected = container(UKeyStream::kMetaKey, 6,
                                         bytes({0x49, 0x44, 0x04, 0x02, 0x4A, 0x4F, 0x42, 0x35}) +
                                             kCodeField + record("JJ", jj) + record("GG", ""));
  EXPECT_EQ(hex(write_job(job, eJobFileContent_Layout)), hex(expected));
}

TEST(JobFile, EveryFieldSurvivesAFullWriteAndRead) {
  BJobFile job;
  fill_every_field(job);
  const std::string first = write_job(job, eJobFileContent_Full);
  BJobFile back;
  read_job(back, first, eJobFileContent_Full);
  expect_same_job(job, back);
  // And the second generation writes the very same bytes.
  EXPECT_EQ(hex(write_job(back, eJobFileContent_Full)), hex(first));
}

TEST(JobFile, CarriedLocationsKeepTheirTextsThatNoFileSpecificationHolds) {
  // "TF" and "PD" are only carried: a relative text or a trailing separator
  // comes back as it went in. The locations the plug-in uses are normalised.
  const std::string payload = stream_of(record("JJ", text_field("TF", "jobs\\tf\\") +
                                                          text_field("PD", "\\\\server\\pd\\") +
                                                          text_field("FS", "C:\\out\\")) +
                                        record("GG", ""));
  BJobFile job;
  read_job(job, payload, eJobFileContent_Full);
  EXPECT_TRUE(job.locationTF().empty()) << "no absolute path";
  EXPECT_EQ(job.locationPD().path(), "\\\\server\\pd");

  const auto text_of = [](const std::string& written, const char (&key)[3]) {
    std::istringstream in(written);
    UKeyInStream r(in);
    ustring text;
    r.enter_record(make_key("JJ")).select(make_key(key)).read(text);
    return std::string(text.c_str());
  };
  const std::string out = write_job(job, eJobFileContent_Full);
  EXPECT_EQ(text_of(out, "TF"), "jobs\\tf\\");
  EXPECT_EQ(text_of(out, "PD"), "\\\\server\\pd\\");
  EXPECT_EQ(text_of(out, "FS"), "C:\\out");

  // A location set by the program replaces the carried text.
  job.SetLocationTF(UFileSpecCore("C:\\New"));
  EXPECT_EQ(text_of(write_job(job, eJobFileContent_Full), "TF"), "C:\\New");
}

TEST(JobFile, LayoutMaskLeavesTheFullSectionAlone) {
  BJobFile source;
  fill_every_field(source);
  const std::string full = write_job(source, eJobFileContent_Full);

  BJobFile job;
  job.SetDocumentName("mine.ai");
  job.SetOutputFile(UFileSpecCore("C:\\Mine"));
  job.SetValueNP(55);
  job.pageRanges().Append(BPageRange(1, 1));
  read_job(job, full, eJobFileContent_Layout);
  EXPECT_EQ(job.documentName(), "mine.ai");
  EXPECT_EQ(job.outputFile().path(), "C:\\Mine");
  EXPECT_EQ(job.valueNP(), 55);
  EXPECT_TRUE(job.locationTF().empty());
  EXPECT_EQ(job.pageRanges().Count(), 1u);
  EXPECT_TRUE(job.exportedDestinations().empty());
  // The layout section and the groups are read.
  EXPECT_EQ(job.layoutWidth(), source.layoutWidth());
  EXPECT_TRUE(job.flagSE());
  EXPECT_EQ(job.textSN(), source.textSN());
  EXPECT_EQ(job.groups().Count(), 2u);

  // A layout write has no full section.
  std::istringstream in(write_job(source, eJobFileContent_Layout));
  UKeyInStream r(in);
  r.enter_record(make_key("JJ"));
  EXPECT_TRUE(r.has(make_key("LH")));
  EXPECT_FALSE(r.has(make_key("NP")));
  EXPECT_FALSE(r.has(make_key("FS")));
  EXPECT_FALSE(r.has(make_key("LP")));
}

TEST(JobFile, AbsentNumbersKeepTheirValuesAbsentStringsClear) {
  BJobFile job;
  fill_every_field(job);
  read_job(job, payload(""), eJobFileContent_Full);
  EXPECT_EQ(job.style(), 12);
  EXPECT_EQ(job.valueNP(), 7);
  EXPECT_EQ(job.layoutBleedH(), 8.5);
  EXPECT_TRUE(job.flagSE());
  EXPECT_EQ(job.bleedBox(), Rect2D(-5.5, -6.5, 221, 309));
  EXPECT_TRUE(job.textSN().empty());
  EXPECT_TRUE(job.jobId().empty());
  EXPECT_TRUE(job.documentName().empty());
  EXPECT_TRUE(job.outputFile().empty());
  EXPECT_TRUE(job.pageRanges().empty());
  EXPECT_TRUE(job.exportedDestinations().empty());
  // No "GG": no groups, so the default group is active and nothing is booked.
  EXPECT_TRUE(job.groups().empty());
  EXPECT_EQ(&job.ActiveGroup(), &job.defaultGroup());
  job.ComputeGeometry();
  EXPECT_EQ(job.trimBox().width(), 0);
  EXPECT_EQ(job.trimBox().height(), 0);
}

TEST(JobFile, FileLocations) {
  static const struct {
    const char* text;
    const char* stored;
  } cases[] = {
      {"C:\\Jobs\\A1", "C:\\Jobs\\A1"},
      {"\\\\server\\share\\x", "\\\\server\\share\\x"},
      {"", ""},
      {"relative\\path", ""},  // no absolute path: no file
      {"C:", ""},
  };
  for (const auto& c : cases) {
    BJobFile job;
    job.SetOutputFile(UFileSpecCore("C:\\Before"));
    read_job(job, payload(text_field("FS", c.text)), eJobFileContent_Full);
    EXPECT_EQ(job.outputFile().path(), c.stored) << c.text;
    EXPECT_EQ(job.OutputFileSpec().path(), c.stored) << c.text;
  }
}

TEST(JobFile, JobIdIsMadeOnceAndKept) {
  BJobFile job;
  const std::string a = write_job(job, eJobFileContent_Full);
  const ustring id = job.jobId();
  ASSERT_EQ(id.size(), 36u);
  for (std::size_t i = 0; i < id.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ(id[i], '-');
    } else {
      EXPECT_TRUE((id[i] >= '0' && id[i] <= '9') || (id[i] >= 'A' && id[i] <= 'F')) << id;
    }
  }
  const std::string b = write_job(job, eJobFileContent_Full);
  EXPECT_EQ(a, b);
  BJobFile other;
  write_job(other, eJobFileContent_Full);
  EXPECT_NE(other.jobId(), id);
}

TEST(JobFile, Rectangles) {
  static const struct {
    const char* name;
    std::string fields;
    Rect2D bleed, trim, type;
  } cases[] = {
      {"undefined travels as four infinities",
       undefined_rect_field("RB") + undefined_rect_field("RT") + undefined_rect_field("RY"), undefined_rect,
       undefined_rect, undefined_rect},
      {"all at the origin are centred",
       rect_field("RB", 0, 0, 220, 310) + rect_field("RT", 0, 0, 210, 300) + rect_field("RY", 0, 0, 180, 250),
       Rect2D(-110, -155, 220, 310), Rect2D(-105, -150, 210, 300), Rect2D(-90, -125, 180, 250)},
      {"one elsewhere: none moves",
       rect_field("RB", 0, 0, 220, 310) + rect_field("RT", 1, 0, 211, 300) + rect_field("RY", 0, 0, 180, 250),
       Rect2D(0, 0, 220, 310), Rect2D(1, 0, 210, 300), Rect2D(0, 0, 180, 250)},
      {"not finite, or no finite size, is undefined",
       rect_field("RB", std::nan(""), 0, 1, 1) + rect_field("RT", -1e308, 0, 1e308, 1) +
           rect_field("RY", 0, -std::numeric_limits<double>::infinity(), 1, 1),
       undefined_rect, undefined_rect, undefined_rect},
      {"short array is undefined",
       container(make_key("RB"), 7, element(4, "")) + rect_field("RT", 1, 1, 2, 2), undefined_rect,
       Rect2D(1, 1, 1, 1), Rect2D(3, 3, 3, 3)},
  };
  for (const auto& c : cases) {
    BJobFile job;
    job.SetTypeArea(Rect2D(3, 3, 3, 3));  // kept when absent
    read_job(job, payload(c.fields), eJobFileContent_Layout);
    EXPECT_EQ(job.bleedBox(), c.bleed) << c.name;
    EXPECT_EQ(job.trimBox(), c.trim) << c.name;
    EXPECT_EQ(job.typeArea(), c.type) << c.name;

    // A second write and read changes nothing: centred rectangles are no
    // longer at the origin.
    BJobFile again;
    read_job(again, write_job(job, eJobFileContent_Layout), eJobFileContent_Layout);
    EXPECT_EQ(again.bleedBox(), c.bleed) << c.name;
    EXPECT_EQ(again.trimBox(), c.trim) << c.name;
    EXPECT_EQ(again.typeArea(), c.type) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Export

TEST(JobFile, ExportsWalkThroughTheGroups) {
  BJobFile job;
  for (int g = 0; g < 2; ++g) {
    BGroup* group = job.groups().NewGroup();
    group->SetActive(g == 0);
    for (int i = 0; i < 2; ++i) group->NewDestination()->SetIdentifier(ustring("%0").arg(10 * (g + 1) + i));
  }
  job.groups().At(1).At(0).SetWidth(100);
  job.groups().At(1).At(0).SetDepth(200);

  // Identifiers of the destinations a payload carries, group by group.
  const auto carried = [](const std::string& bytes) {
    BJobFile read;
    read_job(read, bytes, eJobFileContent_Full);
    std::string s;
    for (const auto& group : read.groups()) {
      s += "[";
      for (const auto& d : *group) s += d->identifier().str() + (d->exported() ? "x " : " ");
      s += "]";
    }
    return s;
  };

  std::ostringstream first;
  ASSERT_TRUE(job.WriteForExport(first));
  EXPECT_EQ(carried(first.str()), "[10 11 ]");
  EXPECT_TRUE(job.groups().At(0).AllExported());
  EXPECT_FALSE(job.groups().At(0).active());
  EXPECT_TRUE(job.groups().At(1).active());
  EXPECT_EQ(job.trimBox(), Rect2D(0, 0, 100, 200));  // geometry of the new active group

  std::ostringstream second;
  ASSERT_TRUE(job.WriteForExport(second));
  EXPECT_EQ(carried(second.str()), "[20 21 ]");
  EXPECT_TRUE(job.groups().At(1).active());

  std::ostringstream third;
  ASSERT_TRUE(job.WriteForExport(third));
  EXPECT_EQ(carried(third.str()), "[]");
  EXPECT_FALSE(job.groups().At(0).active());
  EXPECT_TRUE(job.groups().At(1).active());
}

TEST(JobFile, FailedWriteMarksNothingAndMovesNothing) {
  BJobFile job;
  for (int g = 0; g < 2; ++g) {
    BGroup* group = job.groups().NewGroup();
    group->SetActive(g == 0);
    group->NewDestination();
  }
  std::ostringstream broken;
  broken.setstate(std::ios::badbit);
  EXPECT_FALSE(job.WriteForExport(broken));
  EXPECT_FALSE(job.groups().At(0).At(0).exported());
  EXPECT_TRUE(job.groups().At(0).active());
  EXPECT_FALSE(job.groups().At(1).active());

  std::ostringstream also_broken;
  also_broken.setstate(std::ios::failbit);
  EXPECT_FALSE(job.WriteJob(also_broken, kJobFileContent_Export));
  EXPECT_FALSE(job.groups().At(0).At(0).exported());
}

TEST(JobFile, WriteContentMarksWhatItWrote) {
  BJobFile job;
  BGroup* active = job.groups().NewGroup();
  active->SetActive(true);
  active->NewDestination();
  active->NewDestination()->SetExported(true);
  BGroup* idle = job.groups().NewGroup();
  idle->NewDestination();
  const std::string s = written([&](UKeyOutStream& w) { job.WriteContent(w, kJobFileContent_Export); });
  EXPECT_TRUE(active->AllExported());
  EXPECT_FALSE(idle->AllExported());
  BJobFile read;
  read_job(read, s, eJobFileContent_Full);
  ASSERT_EQ(read.groups().Count(), 1u);
  EXPECT_EQ(read.groups().At(0).Count(), 1u);
  EXPECT_FALSE(read.groups().At(0).At(0).exported());  // carried as it was when written
}

// ---------------------------------------------------------------------------
// Geometry

struct DestinationSpec {
  int group;
  double width, depth;
  double bleeds[4];   // left, right, top, bottom
  double indents[4];  // left, right, top, bottom
};

TEST(JobFile, ComputeGeometry) {
  static const struct {
    const char* name;
    bool combine;
    int activeGroup;  // -1: none
    std::vector<DestinationSpec> destinations;
    Rect2D bleed, trim, type;
  } cases[] = {
      {"smallest positive size is the trim",
       false,
       0,
       {{0, 200, 300, {}, {}}, {0, 180, 0, {}, {}}, {0, 0, 250, {}, {}}},
       Rect2D(0, 0, 180, 250),
       Rect2D(0, 0, 180, 250),
       Rect2D(7, 7, 7, 7)},
      {"largest size with bleed",
       false,
       0,
       {{0, 200, 300, {3, 3, 0, 0}, {}}, {0, 210, 290, {1, 1, 2, 2}, {}}},
       Rect2D(0, 0, 212, 294),  // depth: only the second has top or bottom bleed
       Rect2D(0, 0, 200, 290),
       Rect2D(7, 7, 7, 7)},
      {"smallest indented size is the type area",
       false,
       0,
       {{0, 200, 300, {}, {10, 10, 20, 20}}, {0, 200, 300, {}, {5, 5, 30, 30}}},
       Rect2D(0, 0, 200, 300),
       Rect2D(0, 0, 200, 300),
       Rect2D(0, 0, 180, 240)},
      {"only the active group counts",
       false,
       1,
       {{0, 100, 100, {}, {}}, {1, 200, 300, {}, {}}},
       Rect2D(0, 0, 200, 300),
       Rect2D(0, 0, 200, 300),
       Rect2D(7, 7, 7, 7)},
      {"combining several groups takes every size with its bleed",
       true,
       1,
       {{0, 100, 400, {}, {}}, {1, 200, 300, {1, 1, 1, 1}, {}}},
       Rect2D(0, 0, 202, 400),
       Rect2D(0, 0, 100, 300),
       Rect2D(7, 7, 7, 7)},
      {"no active group: the default group, empty",
       false,
       -1,
       {{0, 200, 300, {}, {}}},
       Rect2D(0, 0, 0, 0),
       Rect2D(0, 0, 0, 0),
       Rect2D(7, 7, 7, 7)},
  };
  for (const auto& c : cases) {
    BJobFile job;
    job.SetTypeArea(Rect2D(7, 7, 7, 7));
    job.SetCombineGroups(c.combine);
    for (const DestinationSpec& spec : c.destinations) {
      while (job.groups().Count() <= static_cast<std::size_t>(spec.group)) job.groups().NewGroup();
      BDestination* d = job.groups().At(spec.group).NewDestination();
      d->SetWidth(spec.width);
      d->SetDepth(spec.depth);
      d->SetBleeds(spec.bleeds[0], spec.bleeds[1], spec.bleeds[2], spec.bleeds[3]);
      d->SetIndents(spec.indents[0], spec.indents[1], spec.indents[2], spec.indents[3]);
    }
    if (c.activeGroup >= 0) job.groups().SetActiveGroup(&job.groups().At(c.activeGroup));
    job.ComputeGeometry();
    EXPECT_EQ(job.bleedBox(), c.bleed) << c.name;
    EXPECT_EQ(job.trimBox(), c.trim) << c.name;
    EXPECT_EQ(job.typeArea(), c.type) << c.name;
  }
}

TEST(JobFile, ComputeGeometrySkipsDestinationsOfAnotherJob) {
  BJobFile job, other;
  BGroup* group = job.groups().NewGroup();
  group->SetActive(true);
  group->NewDestination()->SetWidth(300);
  auto foreign = std::make_unique<BDestination>(&other, group);
  foreign->SetWidth(100);
  group->Append(std::move(foreign));
  job.ComputeGeometry();
  EXPECT_EQ(job.trimBox().width(), 300);
}

// ---------------------------------------------------------------------------
// Page information file

struct PageInfoEntry {
  int page;
  bool hasItems;
  bool hasFlattener;
};

std::vector<PageInfoEntry> read_page_info(const UFileSpecCore& file) {
  std::ifstream in = file.open_input(std::ios::in | std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream s(data);
  UKeyInStream r(s);
  EXPECT_EQ(r.code(), 1);
  r.enter_record(0x000A);
  std::vector<PageInfoEntry> entries;
  while (r.next_item()) {
    PageInfoEntry e{-100, false, false};
    r.select(0x0078).read(e.page);
    e.hasItems = r.has(0x008C);
    e.hasFlattener = r.has(0x00B4);
    entries.push_back(e);
  }
  return entries;
}

class PageInfoFile : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = UFileSpecCore::temporary_folder();
    ASSERT_FALSE(file_.empty());
    ASSERT_TRUE(file_.append("pageinfo.bin"));
    job_.SetPageInfoFile(file_);
  }
  void TearDown() override { file_.remove(); }

  UFileSpecCore file_;
  BJobFile job_;
};

TEST_F(PageInfoFile, OneEntryPerPageOfTheAbsoluteRanges) {
  job_.absolutePageRanges().Append(BPageRange(5, 2, BPageRange::kKindAbsolute));
  job_.absolutePageRanges().Append(BPageRange(9, 4, BPageRange::kKindAbsolute));
  job_.pageItemSet().SetPageFlattener(3, std::make_unique<BTransparencyFlattener>());
  ASSERT_TRUE(job_.WritePageInfoFile());
  const auto entries = read_page_info(file_);
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[0].page, -2);
  for (int p = 1; p <= 6; ++p) {
    EXPECT_EQ(entries[p].page, p - 1);
    EXPECT_TRUE(entries[p].hasItems);
    EXPECT_EQ(entries[p].hasFlattener, p == 3);
  }
}

TEST_F(PageInfoFile, WithoutRangesOnlyPageMinusOne) {
  ASSERT_TRUE(job_.WritePageInfoFile());
  const auto entries = read_page_info(file_);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].page, -2);
  EXPECT_TRUE(entries[0].hasItems);
}

TEST_F(PageInfoFile, TruncatesAnEarlierFile) {
  {
    std::ofstream junk = file_.open_output(std::ios::out | std::ios::binary);
    junk << std::string(10000, 'x');
  }
  ASSERT_TRUE(job_.WritePageInfoFile());
  EXPECT_LT(file_.file_size(), 100u);
}

TEST_F(PageInfoFile, HostileTotalsAreBounded) {
  static const struct {
    std::int32_t counts[3];
    std::size_t entries;
  } cases[] = {
      {{-5, 2, 0}, 1},                                                          // negative total: no pages
      {{0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF}, BJobFile::kMaxPageInfoPages + 1},  // capped
  };
  for (const auto& c : cases) {
    job_.absolutePageRanges().Clear();
    for (std::int32_t n : c.counts)
      job_.absolutePageRanges().Append(BPageRange(1, n, BPageRange::kKindAbsolute));
    ASSERT_TRUE(job_.WritePageInfoFile());
    EXPECT_EQ(read_page_info(file_).size(), c.entries);
  }
}

TEST(JobFile, PageInfoFileThatCannotBeOpenedReportsFalse) {
  BJobFile job;
  EXPECT_FALSE(job.WritePageInfoFile());  // no location
  UFileSpecCore folder = UFileSpecCore::temporary_folder();
  job.SetPageInfoFile(folder);  // a folder cannot be opened as a file
  EXPECT_FALSE(job.WritePageInfoFile());
}

// ---------------------------------------------------------------------------
// Bad input

TEST(JobFile, RefusedPayloadsThrowTheReadersText) {
  static const struct {
    std::string bytes;
    const char* error;
  } cases[] = {
      {"", "UKeyInStream: meta key mismatch"},
      {"garbage", "UKeyInStream: meta key mismatch"},
      {bytes({0x4B, 0x53, 0x00, 0x05}), "UKeyInStream: expecting record"},
      {payload(field(make_key("St"), 2, bytes({1, 2, 3, 4, 5}))),
       "UKeyInStream: reading field longer than expected"},
      {payload("", record("GG", field(make_key("GA"), 1, bytes({1, 1})))),
       "UKeyInStream: reading field longer than expected"},
      {payload("", record("GG",
                          int_field("GA", 1) + record("LL", field(make_key("SX"), 4, std::string(9, 'x'))))),
       "UKeyInStream: reading field longer than expected"},
  };
  for (const auto& c : cases) {
    BJobFile job;
    std::istringstream in(c.bytes);
    try {
      job.ReadJob(in, eJobFileContent_Full);
      ADD_FAILURE() << "no exception for " << hex(c.bytes);
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.error) << hex(c.bytes);
    }
  }
}

TEST(JobFile, RefusedPayloadLeavesTheJobAsItWas) {
  BJobFile job;
  fill_every_field(job);
  BJobFile reference;
  fill_every_field(reference);

  // Valid up to the last destination, whose depth is too long.
  const std::string bad = payload(
      text_field("DN", "changed") + int_field("St", 3) + record("LP", int_field("sN", 4)),
      record("GG", int_field("GA", 1) +
                       record("LL", text_field("CC", "x") + field(make_key("SY"), 4, std::string(12, 'y')))));
  std::istringstream in(bad);
  EXPECT_THROW(job.ReadJob(in, eJobFileContent_Full), std::runtime_error);
  expect_same_job(job, reference);
}

std::string repeat(const std::string& item, std::size_t n) {
  std::string all;
  all.reserve(item.size() * n);
  for (std::size_t i = 0; i < n; ++i) all += item;
  return all;
}

// Items of a few bytes each become model objects of hundreds: every list has
// a limit no real job reaches. At the limit the payload reads; one item more
// and it is refused with the limit's text and the job is left as it was.
TEST(JobFile, ListsPastTheirLimitsAreRefused) {
  using namespace job_limits;
  static const struct Case {
    const char* list;
    std::size_t limit;
    std::function<std::string(std::size_t)> payload_of;  // n items
    std::function<std::size_t(const BJobFile&)> count;
    const char* error;
  } cases[] = {
      {"groups", kMaxGroups, [](std::size_t n) { return payload("", record("GG", repeat(int_field("GA", 0), n))); },
       [](const BJobFile& job) { return job.groups().Count(); }, "BJobFile: too many groups"},
      {"destinations of one group", kMaxDestinations,
       [](std::size_t n) {
         return payload("", record("GG", int_field("GA", 1) + record("LL", repeat(text_field("CC", ""), n))));
       },
       [](const BJobFile& job) { return job.groups().At(0).Count(); }, "BJobFile: too many destinations"},
      {"destinations of two groups together", kMaxDestinations,
       [](std::size_t n) {
         const std::string first = int_field("GA", 1) + record("LL", repeat(text_field("CC", ""), n / 2));
         const std::string second = int_field("GA", 0) + record("LL", repeat(text_field("CC", ""), n - n / 2));
         return payload("", record("GG", first + second));
       },
       [](const BJobFile& job) { return job.groups().At(0).Count() + job.groups().At(1).Count(); },
       "BJobFile: too many destinations"},
      {"user fields", kMaxUserFields,
       [](std::size_t n) {
         return payload("", record("GG", int_field("GA", 1) + record("LL", record("UF", repeat(text_field("UP", "x"), n)))));
       },
       [](const BJobFile& job) { return job.groups().At(0).At(0).userFields().size(); },
       "BJobFile: too many user fields"},
      {"relative page ranges", kMaxPageRanges,
       [](std::size_t n) { return payload(record("LP", repeat(int_field("sS", 0), n))); },
       [](const BJobFile& job) { return job.pageRanges().Count(); }, "BJobFile: too many page ranges"},
      {"absolute page ranges", kMaxPageRanges,
       [](std::size_t n) { return payload(record("PR", repeat(int_field("sS", 0), n))); },
       [](const BJobFile& job) { return job.absolutePageRanges().Count(); }, "BJobFile: too many page ranges"},
      {"page ranges of an exported destination", kMaxPageRanges,
       [](std::size_t n) { return payload(record("EL", int_field("ID", 1) + record("PR", repeat(int_field("sS", 0), n)))); },
       [](const BJobFile& job) { return job.exportedDestinations().At(0).pageRanges().Count(); },
       "BJobFile: too many page ranges"},
      {"check settings of the old form, all of one name", kMaxCheckSettings,
       [](std::size_t n) {
         umessage settings;
         auto setting = std::make_shared<umessage>();
         setting->add("problem", "ResTooLowContone");
         for (std::size_t i = 0; i < n; ++i) settings.add("settings", setting);
         std::ostringstream flat;
         settings.flatten(flat);
         return payload("", field(make_key("SR"), 8, flat.str()));
       },
       [](const BJobFile& job) { return job.checkSettings().size(); }, "BJobFile: too many check settings"},
      {"exported destinations", kMaxExportedDestinations,
       [](std::size_t n) { return payload(record("EL", repeat(int_field("ID", 0), n))); },
       [](const BJobFile& job) { return job.exportedDestinations().Count(); },
       "BJobFile: too many exported destinations"},
  };
  for (const Case& c : cases) {
    {
      BJobFile job;
      std::istringstream in(c.payload_of(c.limit));
      ASSERT_NO_THROW(job.ReadJob(in, eJobFileContent_Full)) << c.list;
      EXPECT_EQ(c.count(job), c.limit) << c.list;
    }
    BJobFile job;
    fill_every_field(job);
    BJobFile reference;
    fill_every_field(reference);
    std::istringstream in(c.payload_of(c.limit + 1));
    try {
      job.ReadJob(in, eJobFileContent_Full);
      ADD_FAILURE() << c.list << ": no exception past the limit";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.error) << c.list;
    }
    expect_same_job(job, reference);
  }
}

TEST(JobFile, FailedInputStreamIsNotRead) {
  BJobFile job;
  job.SetStyle(4);
  std::istringstream in(payload(int_field("St", 9)));
  in.setstate(std::ios::failbit);
  EXPECT_FALSE(job.ReadJob(in, eJobFileContent_Full));
  EXPECT_EQ(job.style(), 4);
}

// ---------------------------------------------------------------------------
// Check settings

// The definitions are process-wide: each test starts and ends without any.
class JobSettings : public ::testing::Test {
 protected:
  void SetUp() override { ResetSettingDefinitionsForTesting(); }
  void TearDown() override { ResetSettingDefinitionsForTesting(); }

  // A payload as Veloxa sends it: "Dp", the job, "SR".
  static std::string veloxa_payload(const umessage& definitions, const umessage& settings) {
    BJobFile job;
    job.SetStyle(5);
    return written([&](UKeyOutStream& w) {
      if (!definitions.empty()) w.key(make_key("Dp")).write_message(definitions);
      job.WriteContent(w, eJobFileContent_Full);
      if (!settings.empty()) w.key(make_key("SR")).write_message(settings);
    });
  }

  // Old-form settings: one PDF version setting.
  static umessage pdf_version_settings(double version) {
    umessage setting;
    setting.add("problem", "Setting_PDFVersion");
    setting.add("type", "eSettingType_Parameter");
    setting.add("note", version);
    umessage settings;
    settings.add_array("settings", setting);
    return settings;
  }

  static umessage definitions() {
    auto missingBleed = std::make_shared<umessage>();
    missingBleed->add("type", "boolean");
    auto defaults = std::make_shared<umessage>();
    defaults->add("sev", "warn");
    missingBleed->add("defaults", defaults);
    umessage m;
    m.add("MissingBleedBox", missingBleed);
    return m;
  }
};

TEST_F(JobSettings, FullReadInstallsDefinitionsAndLoadsSettings) {
  BJobFile job;
  read_job(job, veloxa_payload(definitions(), pdf_version_settings(1.4)), eJobFileContent_Full);
  EXPECT_EQ(job.style(), 5);
  ASSERT_EQ(job.checkSettings().size(), 1u);
  EXPECT_EQ(job.checkSettings()[0].name(), "Setting_PDFVersion");
  EXPECT_DOUBLE_EQ(job.RequiredPDFVersion(), 1.4);
  EXPECT_TRUE(SettingDefinitions()->has("MissingBleedBox"));
  // Settings the job does not name come from the definitions' defaults.
  const BCheckSetting* fromDefaults = job.checkSettings().Find("MissingBleedBox");
  ASSERT_NE(fromDefaults, nullptr);
  EXPECT_EQ(fromDefaults->severity(), eProblemSeverity_Warn);

  // The settings are not written back.
  std::istringstream in(write_job(job, eJobFileContent_Full));
  UKeyInStream r(in);
  EXPECT_FALSE(r.has(make_key("SR")));
  EXPECT_FALSE(r.has(make_key("Dp")));
}

TEST_F(JobSettings, LayoutReadLeavesTheSettingsAlone) {
  BJobFile job;
  read_job(job, veloxa_payload(definitions(), pdf_version_settings(1.5)), eJobFileContent_Full);
  read_job(job, veloxa_payload(umessage(), pdf_version_settings(1.3)), eJobFileContent_Layout);
  EXPECT_DOUBLE_EQ(job.RequiredPDFVersion(), 1.5);
  // A full read without "SR" empties them.
  read_job(job, veloxa_payload(umessage(), umessage()), eJobFileContent_Full);
  EXPECT_TRUE(job.checkSettings().empty());
  EXPECT_EQ(job.RequiredPDFVersion(), 0);
}

TEST_F(JobSettings, PayloadWithoutDefinitionsReplacesTheMessageNotTheCatalogue) {
  BJobFile job;
  read_job(job, veloxa_payload(definitions(), umessage()), eJobFileContent_Full);
  ASSERT_NE(SettingDefinitionCatalogue(), nullptr);
  read_job(job, payload(""), eJobFileContent_Layout);  // the copy stored in a document
  EXPECT_TRUE(SettingDefinitions()->empty());
  ASSERT_NE(SettingDefinitionCatalogue(), nullptr);
  EXPECT_NE(SettingDefinitionCatalogue()->Find("MissingBleedBox"), nullptr);
}

TEST_F(JobSettings, RefusedPayloadKeepsTheSettings) {
  BJobFile job;
  read_job(job, veloxa_payload(umessage(), pdf_version_settings(1.6)), eJobFileContent_Full);
  // A valid payload whose "St" (the first field of "JJ") claims five bytes.
  std::string broken = veloxa_payload(umessage(), pdf_version_settings(1.3));
  broken.replace(broken.find("St") + 2, 2, bytes({0x05, 0x02}));
  std::istringstream in(broken);
  EXPECT_THROW(job.ReadJob(in, eJobFileContent_Full), std::runtime_error);
  EXPECT_DOUBLE_EQ(job.RequiredPDFVersion(), 1.6);
}

TEST(JobFile, FlagBrIsReadFromRecordBP) {
  BJobFile job;
  read_job(job, payload("", record("BP", field(make_key("Br"), 1, "\x01"))), eJobFileContent_Layout);
  EXPECT_TRUE(BJobFile::FlagBr());
  read_job(job, payload(""), eJobFileContent_Layout);
  EXPECT_TRUE(BJobFile::FlagBr());  // absent: unchanged
  read_job(job, payload("", record("BP", field(make_key("Br"), 1, ""))), eJobFileContent_Layout);
  EXPECT_FALSE(BJobFile::FlagBr());
}

// Every prefix of a valid payload, and mutations of it, either read or throw
// one of the reader's texts.
void expect_read_or_documented_error(const std::string& bytes) {
  BJobFile job;
  std::istringstream in(bytes);
  try {
    job.ReadJob(in, eJobFileContent_Full);
  } catch (const std::runtime_error& e) {
    const std::string what = e.what();
    EXPECT_TRUE(what == "UKeyInStream: meta key mismatch" || what == "UKeyInStream: expecting record" ||
                what == "UKeyInStream: reading field longer than expected")
        << what << " for " << hex(bytes);
  }
}

TEST(JobFile, EveryPrefixOfAPayloadReadsOrFailsCleanly) {
  BJobFile job;
  fill_every_field(job);
  const std::string full = write_job(job, eJobFileContent_Full);
  for (std::size_t n = 0; n <= full.size(); ++n) expect_read_or_documented_error(full.substr(0, n));

  // A prefix that keeps the header reads what lies wholly inside it.
  BJobFile partial;
  read_job(partial, full.substr(0, full.size() - 40), eJobFileContent_Full);
  EXPECT_EQ(partial.style(), job.style());
}

TEST(JobFile, MutatedPayloadsReadOrFailCleanly) {
  BJobFile job;
  fill_every_field(job);
  const std::string full = write_job(job, eJobFileContent_Full);
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  const auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = full;
    const int edits = 1 + static_cast<int>(next() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = next() % bytes.size();
      switch (next() % 4) {
        case 0:
          bytes[at] = static_cast<char>(next());
          break;
        case 1:
          bytes[at] = static_cast<char>(0xFF);
          break;
        case 2:
          bytes.erase(at, 1 + next() % 8);
          break;
        case 3:
          bytes.insert(at, 1, static_cast<char>(next()));
          break;
      }
      if (bytes.empty()) bytes = "K";
    }
    expect_read_or_documented_error(bytes);
  }
}

}  // namespace
