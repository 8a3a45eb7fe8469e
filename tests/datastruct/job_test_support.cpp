#include "job_test_support.h"

#include <cstddef>

namespace jobtest {

namespace {

void fill_destination(BDestination& d, int n) {
  const ustring tag = ustring("%0").arg(n);
  d.SetValueCo(70 + n);
  d.SetWidth(200 + n);
  d.SetDepth(300.5 + n);
  d.SetBleeds(1 + n, 2 + n, 3 + n, 4 + n);
  d.SetIndents(5.25, 6.5, 7.75, 8);
  d.SetCC("cc " + tag);
  d.SetRC("rc " + tag);
  d.SetR1("r1 " + tag);
  d.SetNC("nc " + tag);
  d.SetN1("n1 " + tag);
  d.SetSC("sc " + tag);
  d.SetS1("s1 " + tag);
  d.SetNS("ns " + tag);
  d.SetCN("Ελλάδα " + tag);
  d.SetIdentifier(n % 2 == 0 ? ustring("%0").arg(1000 + n) : "pub-" + tag);
  d.SetExported(n % 3 == 0);
  d.SetReadOnly(n % 2 == 1);
  d.SetMK("mk " + tag);
  d.SetStyle(900 + n);
  UserField a = *MakeCatalogueUserField("PubC", "P" + tag);
  UserField b;
  b.code = "Xtra";
  b.typeCode = "PZ00";
  b.label = "A label with a\nline feed";
  b.value = "";
  b.readOnly = true;
  d.AddUserField(a);
  d.AddUserField(b);
}

}  // namespace

void fill_every_field(BJobFile& job) {
  job.SetLocationTF(UFileSpecCore("C:\\Jobs\\TF folder"));
  job.SetOutputFile(UFileSpecCore("C:\\Jobs\\A1"));
  job.SetLocationPD(UFileSpecCore("\\\\server\\share\\pd"));
  job.SetPageInfoFile(UFileSpecCore("C:\\Jobs\\A1.pi"));
  job.SetDocumentName("Advert 2024 – Spring.ai");
  job.SetTextLN("line name");
  job.SetBleedBox(Rect2D(-5.5, -6.5, 221, 309));
  job.SetTrimBox(Rect2D(0.5, 0.25, 210, 297));
  job.SetTypeArea(Rect2D(10, 12, 190, 273));
  job.SetValueNP(7);
  job.SetValueCP(-3);
  job.SetValueLC(1);
  job.SetLayoutBleedH(8.5);
  job.SetLayoutBleedV(9.25);
  job.SetLayoutWidth(595.5);
  job.SetLayoutDepth(842.25);
  job.SetFlagSE(true);
  job.SetCombineGroups(true);
  job.SetStyle(12);
  job.SetTextSN("short name");
  job.SetJobId("0A1B2C3D-0000-1111-2222-333344445555");

  // First pages as reading derives them.
  BPageRange relative(1, 2);
  relative.SetLabel("cover");
  relative.SetFirstPage(1);
  job.pageRanges().Append(relative);
  BPageRange second(3, 4, 'X');
  second.SetLabel("inside");
  second.SetFirstPage(3);
  job.pageRanges().Append(second);
  job.absolutePageRanges().Append(BPageRange(5, 2, BPageRange::kKindAbsolute))->SetFirstPage(5);
  job.absolutePageRanges().Append(BPageRange(9, 4, BPageRange::kKindAbsolute))->SetFirstPage(9);
  auto exported = std::make_unique<BExportedDestination>(42);
  exported->pageRanges().Append(BPageRange(1, 1, BPageRange::kKindAbsolute))->SetFirstPage(1);
  job.exportedDestinations().Insert(std::move(exported));
  job.exportedDestinations().Insert(std::make_unique<BExportedDestination>(7));

  int n = 0;
  for (int g = 0; g < 2; ++g) {
    BGroup* group = job.groups().NewGroup();
    group->SetActive(g == 1);
    group->SetFlagGd(g == 0);
    for (int i = 0; i < 3; ++i) fill_destination(*group->NewDestination(), n++);
  }
}

void expect_same_job(const BJobFile& a, const BJobFile& b) {
  EXPECT_EQ(a.locationTF(), b.locationTF());
  EXPECT_EQ(a.outputFile(), b.outputFile());
  EXPECT_EQ(a.locationPD(), b.locationPD());
  EXPECT_EQ(a.pageInfoFile(), b.pageInfoFile());
  EXPECT_EQ(a.documentName(), b.documentName());
  EXPECT_EQ(a.textLN(), b.textLN());
  EXPECT_EQ(a.bleedBox(), b.bleedBox());
  EXPECT_EQ(a.trimBox(), b.trimBox());
  EXPECT_EQ(a.typeArea(), b.typeArea());
  EXPECT_EQ(a.valueNP(), b.valueNP());
  EXPECT_EQ(a.valueCP(), b.valueCP());
  EXPECT_EQ(a.valueLC(), b.valueLC());
  EXPECT_EQ(a.layoutBleedH(), b.layoutBleedH());
  EXPECT_EQ(a.layoutBleedV(), b.layoutBleedV());
  EXPECT_EQ(a.layoutWidth(), b.layoutWidth());
  EXPECT_EQ(a.layoutDepth(), b.layoutDepth());
  EXPECT_EQ(a.flagSE(), b.flagSE());
  EXPECT_EQ(a.combineGroups(), b.combineGroups());
  EXPECT_EQ(a.style(), b.style());
  EXPECT_EQ(a.textSN(), b.textSN());
  EXPECT_EQ(a.jobId(), b.jobId());
  EXPECT_TRUE(a.pageRanges() == b.pageRanges());
  EXPECT_TRUE(a.absolutePageRanges() == b.absolutePageRanges());
  EXPECT_TRUE(a.exportedDestinations() == b.exportedDestinations());
  ASSERT_EQ(a.groups().Count(), b.groups().Count());
  for (std::size_t g = 0; g < a.groups().Count(); ++g) {
    const BGroup& ga = a.groups().At(g);
    const BGroup& gb = b.groups().At(g);
    EXPECT_EQ(ga.active(), gb.active()) << "group " << g;
    EXPECT_EQ(ga.flagGd(), gb.flagGd()) << "group " << g;
    ASSERT_EQ(ga.Count(), gb.Count()) << "group " << g;
    for (std::size_t i = 0; i < ga.Count(); ++i) {
      EXPECT_TRUE(ga.At(i).SameContent(gb.At(i))) << "group " << g << " destination " << i;
    }
  }
}

}  // namespace jobtest
