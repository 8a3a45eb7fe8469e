// The job stored in the document: attaching a job, reading it back for the
// menu and the details request, and what a damaged entry does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DocumentJob.h"
#include "VeloxaLink.h"
#include "docops_fixture.h"
#include "support/captured_log.h"

namespace vxdoctest {
namespace {

TEST_F(DocOpsTest, AnAttachedJobIsStoredInTheOpenDocumentOrDropped) {
  struct Case {
    const char* name;
    bool document;
  };
  for (const Case& c : {Case{"no document", false}, Case{"a document open", true}}) {
    SCOPED_TRACE(c.name);
    Restart();
    if (c.document) host_->new_document(612.28, 858.89, std::nullopt);
    vxtest::CapturedLog log;
    Answer(vxlink::kAnswerAttachJob, Payload(Job(kDemoJob, "")));
    EXPECT_FALSE(log.contains("[ERROR]")) << log.text();
    EXPECT_TRUE(Requests().empty());
    if (!c.document) {
      EXPECT_TRUE(host_->documents().empty());
      EXPECT_TRUE(host_->actions().empty());
      continue;
    }
    ASSERT_EQ(host_->documents().size(), 1u);
    const ai::DocumentData* document = host_->documents()[0];
    BJobFile stored;
    ASSERT_TRUE(StoredJob(document, &stored));
    EXPECT_EQ(stored.jobId(), "0B5E2C1A-7D3F-4A8E-9B04-D35C0F1E2A77");
    EXPECT_EQ(stored.layoutWidth(), 595.28);
    EXPECT_TRUE(document->modified);
    EXPECT_EQ(Guides(document).size(), 1u) << "the trim guides";
    EXPECT_TRUE(Enabled("AdjustSize..."));
  }
}

// A document whose entry does not read back counts as one without a job: the
// menu update and the details request work as for a document without one,
// and the reason is logged.
TEST_F(DocOpsTest, ADamagedStoredJobCountsAsNoJob) {
  std::string valid;
  {
    const std::string payload = Payload(Job(kDemoJob, ""));
    BJobFile job;
    std::istringstream in(payload);
    job.ReadJob(in, eJobFileContent_Full);
    std::ostringstream out;
    job.WriteJob(out, eJobFileContent_Layout);
    valid = out.str();
  }
  struct Case {
    const char* name;
    vxsim::DictionaryEntry entry;
    const char* error;  // the ERROR record's text, "" for none
  };
  const Case cases[] = {
      {"bytes that are no job",
       {vxsim::DictionaryEntry::eType_Binary, "\x01\x02garbage", false},
       "stored job cannot be read: UKeyInStream: "},
      {"a job whose meta record is no record",
       {vxsim::DictionaryEntry::eType_Binary, valid.substr(0, 4) + "\x7F\xFF\xFF\xFF" + valid.substr(8),
        false},
       "stored job cannot be read: UKeyInStream: expecting record"},
      {"an empty entry", {vxsim::DictionaryEntry::eType_Binary, "", false}, "stored job cannot be read: "},
      {"an entry larger than any job",
       {vxsim::DictionaryEntry::eType_Binary, std::string(kMaxStoredJobBytes + 1, 'J'), false},
       "stored job of 16777217 bytes refused"},
      {"an entry of another type", {vxsim::DictionaryEntry::eType_Boolean, "", true}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restart();
    ai::DocumentData* document = host_->new_document(500, 700, std::nullopt);
    (*document->dictionary)[kJobEntryKey] = c.entry;
    vxtest::CapturedLog log;
    EXPECT_FALSE(Enabled("AdjustSize..."));
    ASSERT_TRUE(Pick("Job Details / Export..."));
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_NE(Requests()[0].find(R"("x":true)"), std::string::npos) << Requests()[0];
    if (*c.error != '\0') {
      EXPECT_TRUE(log.contains("[ERROR]")) << log.text();
      EXPECT_TRUE(log.contains("[VXIllustrator:CreateFromDocumentSLUG:")) << log.text();
      EXPECT_TRUE(log.contains(c.error)) << log.text();
    } else {
      EXPECT_TRUE(log.contains("[VXIllustrator:CreateFromDocumentSLUG:206] ILLE ")) << log.text();
    }
  }
}

TEST_F(DocOpsTest, AdjustSizeIsEnabledOnlyForADocumentWithAStoredJob) {
  EXPECT_FALSE(Enabled("AdjustSize..."));
  host_->new_document(500, 700, std::nullopt);
  vxtest::CapturedLog log;
  EXPECT_FALSE(Enabled("AdjustSize..."));
  // The size query's code of a document without the entry.
  EXPECT_TRUE(log.contains("[VXIllustrator:CreateFromDocumentSLUG:205] entry size = 0, err = " +
                           std::to_string(ai::kNoSuchKeyErr) + "\n"))
      << log.text();
  Answer(vxlink::kAnswerAttachJob, Payload(Job(kDemoJob, "")));
  EXPECT_TRUE(Enabled("AdjustSize..."));
  host_->close_document();
  EXPECT_FALSE(Enabled("AdjustSize..."));
}

// The entry is the only place the job lives on: a host that refuses it is
// logged, and the document is not marked as changed.
TEST_F(DocOpsTest, AJobEntryTheHostRefusesIsLogged) {
  const ai::DocumentData* document = host_->new_document(500, 700, std::nullopt);
  host_->fail("SetBinaryEntry", ai::FourCC("FUL!"));
  vxtest::CapturedLog log;
  Answer(vxlink::kAnswerAttachJob, Payload(Job(kDemoJob, "")));
  EXPECT_TRUE(log.contains("[ERROR]")) << log.text();
  EXPECT_TRUE(log.contains("[VXIllustrator:PutIntoDocumentSLUG:")) << log.text();
  EXPECT_TRUE(log.contains("] ILLE " + std::to_string(ai::FourCC("FUL!")) + "\n")) << log.text();
  EXPECT_FALSE(document->modified);
  EXPECT_TRUE(document->dictionary->empty());
}

}  // namespace
}  // namespace vxdoctest
