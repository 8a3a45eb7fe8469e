#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "datastruct/WTicket.h"
#include "settings_fixtures.h"
#include "support/captured_log.h"

namespace {

using vxtest::Rec;
using vxtest::Record;

using Mutation = std::function<void(umessage&)>;

template <class T>
Mutation put(const char* key, T value, int times = 1) {
  return [=](umessage& m) {
    m.erase(key);
    for (int i = 0; i < times; ++i) m.add(key, value);
  };
}

Mutation drop(const char* key) {
  return [=](umessage& m) { m.erase(key); };
}

Mutation both(Mutation a, Mutation b) {
  return [=](umessage& m) {
    a(m);
    b(m);
  };
}

Record valid_destination(const char* identifier) {
  Rec d;
  d("identifier", identifier)("mlkey", "ml-1")("country", "DE")("country", "AT")("publication", "Daily")
   ("publisher", "House")("section", "Sport")("style", "cmyk")("zts", Rec()("checks", Rec()))
   ("printerMarkSize", 1.5)("printerMarkOffset", 2)("width", 100.0)("depth", std::int64_t{200})("columns", 3)
   ("colourName", "4c")("namedSize", "quarter")("requires2DPSFiles", false)("exported", false)("ro", false)
   ("userFields", Rec()("field", Rec()("value", 1)));
  for (int i = 0; i < 4; ++i) d("colourMakeup", 25)("bleed", 3.0)("typeIndent", 5.0);
  return d;
}

Record valid_ticket() {
  return Rec()("identifier", "T-1")("operator", "op")("local", "a")("local", "b")("zts", Rec())("style", "cmyk")
      ("destinations", valid_destination("D-1"))("destinations", valid_destination("D-2"))("active", true)
      ("groupingDisabled", false)("previous_report", 1)("plugin_report", Rec())("bookingMatched", "x");
}

enum Target { kTicket, kDestination };

std::size_t lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST(TicketValidationTest, EachRuleAndItsMessage) {
  static const struct {
    Target target;
    const char* label;
    Mutation mutate;
    const char* reason;  // "" for a well-formed result
  } kRows[] = {
      {kTicket, "valid as built", [](umessage&) {}, ""},
      {kTicket, "identifier type", put("identifier", 7), "identifier has wrong type"},
      {kTicket, "identifier count", put("identifier", "T", 2), "there should be only 1 identifier"},
      {kTicket, "operator type", put("operator", true), "operator has wrong type"},
      {kTicket, "operator count", put("operator", "o", 2), "there should be only 1 operator"},
      {kTicket, "local type", put("local", 1.0), "local has wrong type"},
      {kTicket, "local any count", put("local", "l", 5), ""},
      {kTicket, "zts type", put("zts", "z"), "zts has wrong type"},
      {kTicket, "zts count", put("zts", Record(Rec()), 2), "there should be only 1 zts"},
      {kTicket, "style type", put("style", 3), "style has wrong type"},
      {kTicket, "style count", put("style", "s", 2), "there should be only 1 style"},
      {kTicket, "destinations type", put("destinations", "d"), "destinations has wrong type"},
      {kTicket, "no destinations", drop("destinations"), ""},
      {kTicket, "duplicate identifiers",
       both(drop("destinations"), [](umessage& m) {
         m.add("destinations", valid_destination("D"));
         m.add("destinations", valid_destination("E"));
         m.add("destinations", valid_destination("D"));
       }),
       "duplicate destination identifier"},
      {kTicket, "destinations without identifiers count as equal",
       both(drop("destinations"), [](umessage& m) {
         m.add("destinations", Record(Rec()("mlkey", "a")));
         m.add("destinations", Record(Rec()("mlkey", "b")));
       }),
       "duplicate destination identifier"},
      {kTicket, "duplicates are found before an invalid destination",
       both(drop("destinations"), [](umessage& m) {
         m.add("destinations", Record(Rec()("identifier", "D")("foo", 1)));
         m.add("destinations", valid_destination("D"));
       }),
       "duplicate destination identifier"},
      {kTicket, "active type", put("active", 1), "active field has wrong type"},
      {kTicket, "active count", put("active", true, 2), "there should be only 1 active field"},
      {kTicket, "groupingDisabled type", put("groupingDisabled", "no"), "groupingDisabled field has wrong type"},
      {kTicket, "groupingDisabled count", put("groupingDisabled", false, 3),
       "there should be only 1 groupingDisabled field"},
      {kTicket, "reports take anything", both(put("previous_report", "r", 3), put("plugin_report", 2.5)), ""},
      {kTicket, "unexpected key", put("foo", 1), "unexpected field: foo"},
      {kTicket, "keys are checked in key order", both(put("zts", 1), put("active", 1)), "active field has wrong type"},

      {kDestination, "identifier type", put("identifier", 1), "identifier has wrong type"},
      {kDestination, "identifier count", put("identifier", "D-1", 2), "there should be only 1 identifier"},
      {kDestination, "mlkey type", put("mlkey", 1), "medialink key has wrong type"},
      {kDestination, "mlkey count", put("mlkey", "m", 2), "there should be only 1 mlkey"},
      {kDestination, "country type", put("country", 1), "country has wrong type"},
      {kDestination, "country one", put("country", "DE"), ""},
      {kDestination, "country three", put("country", "DE", 3), "country field has too many entries"},
      {kDestination, "publication type", put("publication", false), "publication has wrong type"},
      {kDestination, "publication three", put("publication", "p", 3), "publication field has too many entries"},
      {kDestination, "publisher type", put("publisher", 2.0), "publisher has wrong type"},
      {kDestination, "publisher three", put("publisher", "p", 3), "publisher field has too many entries"},
      {kDestination, "section type", put("section", 1), "section has wrong type"},
      {kDestination, "section three", put("section", "s", 3), "section field has too many entries"},
      {kDestination, "style type", put("style", 1), "style has wrong type"},
      {kDestination, "style count", put("style", "s", 2), "there should be only 1 style field"},
      {kDestination, "zts type", put("zts", "z"), "zts has wrong type"},
      {kDestination, "zts any count", put("zts", Record(Rec()), 3), ""},
      {kDestination, "printerMarkSize type", put("printerMarkSize", "1"), "printerMarkSize has wrong type"},
      {kDestination, "printerMarkSize count", put("printerMarkSize", 1, 2),
       "there should be only 1 printerMarkSize field"},
      {kDestination, "printerMarkOffset type", put("printerMarkOffset", true), "printerMarkOffset has wrong type"},
      {kDestination, "printerMarkOffset count", put("printerMarkOffset", 1.0, 2),
       "there should be only 1 printerMarkOffset field"},
      {kDestination, "width type", put("width", "w"), "width has wrong type"},
      {kDestination, "width count", put("width", 1.0, 2), "there should be only 1 width field"},
      {kDestination, "width as int64", put("width", std::int64_t{1}), ""},
      {kDestination, "depth type", put("depth", Record(Rec())), "depth has wrong type"},
      {kDestination, "depth count", put("depth", 1, 2), "there should be only 1 depth field"},
      {kDestination, "columns type", put("columns", "3"), "columns has wrong type"},
      {kDestination, "columns count", put("columns", 3, 2), "there should be only 1 columns field"},
      {kDestination, "colourName type", put("colourName", 1), "colourName has wrong type"},
      {kDestination, "colourName count", put("colourName", "c", 2), "there should be only 1 colourName field"},
      {kDestination, "colourMakeup type", put("colourMakeup", "c", 4), "colourMakeup has wrong type"},
      {kDestination, "colourMakeup three", put("colourMakeup", 1, 3), "there should be 4 colourMakeup field"},
      {kDestination, "namedSize type", put("namedSize", 1), "namedSize has wrong type"},
      {kDestination, "namedSize count", put("namedSize", "n", 2), "there should be only 1 namedSize field"},
      {kDestination, "requires2DPSFiles type", put("requires2DPSFiles", 1), "requires2DPSFiles has wrong type"},
      {kDestination, "requires2DPSFiles count", put("requires2DPSFiles", true, 2),
       "there should be only 1 requires2DPSFiles field"},
      {kDestination, "bleed type", put("bleed", "3"), "bleed has wrong type"},
      {kDestination, "bleed three", put("bleed", 3.0, 3), "there should be exactly 4 bleed fields"},
      {kDestination, "bleed five", put("bleed", 3, 5), "there should be exactly 4 bleed fields"},
      {kDestination, "typeIndent type", put("typeIndent", true), "typeIndent has wrong type"},
      {kDestination, "typeIndent three", put("typeIndent", 1.0, 3), "there should be exactly 4 typeIndent fields"},
      {kDestination, "exported type", put("exported", 0), "exported has wrong type"},
      {kDestination, "exported count", put("exported", true, 2), "there should be exactly 1 exported fields"},
      {kDestination, "ro type", put("ro", "yes"), "ro has wrong type"},
      {kDestination, "ro count", put("ro", false, 2), "there should be exactly 1 ro fields"},
      {kDestination, "userFields type", put("userFields", "u"), "userFields has wrong type"},
      {kDestination, "userFields count", put("userFields", Record(Rec()), 2), "there should be only 1 userFields"},
      {kDestination, "a user field that is no record", put("userFields", Record(Rec()("a", Rec())("b", 1))),
       "userField has wrong type"},
      {kDestination, "empty user fields", put("userFields", Record(Rec())), ""},
      {kDestination, "unexpected key", put("foo", 1), "unexpected field: foo"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.label);
    const Record ticket = valid_ticket();
    const Record destination = ticket->message_at("destinations[0]");
    row.mutate(row.target == kTicket ? *ticket : *destination);
    const bool valid = row.reason[0] == '\0';

    vxtest::CapturedLog log;
    EXPECT_EQ(TicketIsWellFormed(ticket.get()), valid) << log.text();
    if (valid) {
      EXPECT_EQ(log.text(), "");
      continue;
    }
    EXPECT_TRUE(log.contains("] invalid tickets : " + std::string(row.reason) + "\n")) << log.text();
    EXPECT_TRUE(log.contains("[ERROR]")) << log.text();
    if (row.target == kTicket) {
      EXPECT_EQ(lines(log.text()), 1u) << log.text();
      EXPECT_TRUE(log.contains("[WTicket.cpp:TicketIsWellFormed:")) << log.text();
    } else {
      EXPECT_EQ(lines(log.text()), 2u) << log.text();
      EXPECT_TRUE(log.contains("[WTicket.cpp:DestinationIsWellFormed:")) << log.text();
      EXPECT_TRUE(log.contains("] invalid tickets : invalid destination\n")) << log.text();
      EXPECT_FALSE(DestinationIsWellFormed(destination.get()));
    }
  }
}

TEST(TicketValidationTest, NullAndEmptyMessages) {
  vxtest::CapturedLog log;
  EXPECT_FALSE(TicketIsWellFormed(static_cast<const umessage*>(nullptr)));
  EXPECT_FALSE(TicketIsWellFormed(std::make_shared<const umessage>()));
  EXPECT_TRUE(TicketIsWellFormed(Rec()("previous_report", 1).ptr()));
  EXPECT_FALSE(DestinationIsWellFormed(static_cast<const umessage*>(nullptr)));
  EXPECT_TRUE(DestinationIsWellFormed(std::make_shared<const umessage>()));
  EXPECT_EQ(log.text(), "") << "absence is not logged";

  // A ticket holding many destinations is checked in one pass.
  Rec many;
  for (int i = 0; i < 20000; ++i) many("destinations", Rec()("identifier", std::to_string(i)));
  EXPECT_TRUE(TicketIsWellFormed(many.ptr()));
}

TEST(TicketViewTest, ReadOnlyViewAccessors) {
  const Record groupChecks = Rec()("ResTooLowContone", Rec()("sev", "warn"))("all", Rec()("sev", "note"));
  const Record ticket = Rec()("zts", Rec()("checks", groupChecks)("restrictions", Rec()("checks", Rec()))
                                  ("restrictions", Rec()))
      ("destinations", Rec()("identifier", "D-1")("zts", Rec()("checks", Rec()("A", Rec()("sev", "fault")))))
      ("destinations", Rec()("zts", "not a group"));
  const WTicket view(ticket);
  EXPECT_FALSE(view.empty());
  EXPECT_EQ(view.DestinationCount(), 2u);
  EXPECT_EQ(view.DestinationIdentifier(0), "D-1");
  EXPECT_EQ(view.DestinationIdentifier(1), "");
  EXPECT_FALSE(view.DestinationCheckGroup(0).empty());
  EXPECT_TRUE(view.DestinationCheckGroup(1).empty()) << "a group of the wrong type is absent";
  EXPECT_TRUE(view.DestinationAt(2).empty());
  EXPECT_EQ(view.DestinationCheckGroup(0).Setting("A").Severity(), eProblemSeverity_Fault);

  const WCheckGroup group = view.TicketCheckGroup();
  EXPECT_EQ(group.CheckNames(), (std::vector<ustring>{"ResTooLowContone", "all"}));
  EXPECT_EQ(group.Setting("ResTooLowContone").SeverityText(), "warn");
  EXPECT_TRUE(group.Setting("Missing").empty());
  EXPECT_EQ(group.RestrictionCount(), 2u);
  EXPECT_FALSE(group.Restriction(0).message() == nullptr);
  EXPECT_TRUE(group.Restriction(1).empty()) << "a record without entries is an empty group";
  EXPECT_TRUE(group.Restriction(9).empty());

  const WTicket none;
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none.DestinationCount(), 0u);
  EXPECT_TRUE(none.TicketCheckGroup().empty());
  EXPECT_TRUE(none.TicketCheckGroup().CheckNames().empty());
  EXPECT_EQ(none.TicketCheckGroup().RestrictionCount(), 0u);
  EXPECT_EQ(none.DestinationIdentifier(0), "");
  EXPECT_FALSE(none.IsWellFormed());

  const WTicket wrongTypes(Rec()("destinations", 3)("zts", 1).ptr());
  EXPECT_EQ(wrongTypes.DestinationCount(), 0u);
  EXPECT_TRUE(wrongTypes.TicketCheckGroup().empty());
}

TEST(TicketViewTest, EditViewHandsOutChangeableRecords) {
  const Record ticket = valid_ticket();
  WTicketEdit edit(ticket);
  EXPECT_TRUE(edit.IsWellFormed());
  std::shared_ptr<umessage> destination = edit.DestinationAt(1).message();
  destination->set("identifier", "D-1");
  vxtest::CapturedLog log;
  EXPECT_FALSE(edit.IsWellFormed());
  EXPECT_FALSE(WTicket(ticket).IsWellFormed()) << "the change is in the viewed ticket";
  EXPECT_TRUE(log.contains("duplicate destination identifier"));
}

}  // namespace
