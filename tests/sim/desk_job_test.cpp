// vxdesk's pieces in-process: reading the Base64 of requests, answer texts,
// output file names, and its settings and options.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Base64.h"
#include "DeskAnswers.h"
#include "DeskJob.h"
#include "DeskSettings.h"
#include "utils/encoding.h"

namespace {

TEST(DeskBase64Test, AcceptsExactlyWhatTheEncoderWrites) {
  // Every length around the group boundaries, random bytes.
  std::mt19937 random(7);
  for (std::size_t n = 0; n < 64; ++n) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>(random()));
    const ustring text = base64_encode(bytes.data(), bytes.size());
    std::string decoded = "untouched";
    ASSERT_TRUE(base64_decode(text.view(), &decoded)) << text.str();
    EXPECT_EQ(decoded, bytes);
  }
}

TEST(DeskBase64Test, RefusesTextTheEncoderNeverWrites) {
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"TruncatedGroup", "QUJDQQ"},
      {"MissingPadding", "QQ"},
      {"PaddingInsideTheText", "QQ==QUJD"},
      {"ThreePaddingCharacters", "Q==="},
      {"PaddingBeforeData", "QQ=A"},
      {"UnusedBitsSetBeforeOnePad", "QUJ="},  // "QUI=" is "AB"
      {"UnusedBitsSetBeforeTwoPads", "QR=="},
      {"UrlAlphabet", "-_-_"},
      {"LineBreak", "QUJD\nQUJD"},
      {"Space", "QU D"},
      {"NulByte", std::string("QU\0D", 4)},
      {"HighByte", "QU\xC3\xA4"},
  };
  for (const Case& c : cases) {
    std::string decoded = "untouched";
    EXPECT_FALSE(base64_decode(c.text, &decoded)) << c.name;
    EXPECT_EQ(decoded, "untouched") << c.name;
  }
}

TEST(DeskAnswerTextTest, IsTheUpperCaseHexOfEachByteAsUtf16le) {
  EXPECT_EQ(AnswerText(""), "");
  EXPECT_EQ(AnswerText(std::string("\x0A\x1B\x00\xFF", 4)), std::string("0\0A\0"
                                                                        "1\0B\0"
                                                                        "0\0"
                                                                        "0\0"
                                                                        "F\0F\0",
                                                                        16));
  // Beside the system's own encoder: every byte value.
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const ustring hex = hex_encode(all.data(), all.size());
  std::string widened;
  for (const char c : hex.view()) widened += std::string{c, '\0'};
  EXPECT_EQ(AnswerText(all), widened);
}

TEST(DeskWindowTextTest, ReadsTheHandleAsRequestsWriteIt) {
  struct Case {
    const char* text;
    std::optional<vxp::WindowHandle> window;
  };
  const Case cases[] = {
      {"7", 7},
      {"2147483647", 0x7FFFFFFF},
      // Negative: a 32-bit handle widened as Windows widens it.
      {"-2147483647", 0xFFFFFFFF80000001},
      {"-1", 0xFFFFFFFFFFFFFFFF},
      {"0", std::nullopt},  // the plug-in had no window
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"+5", std::nullopt},
      {" 5", std::nullopt},
      {"5x", std::nullopt},
  };
  for (const Case& c : cases) {
    vxp::WindowHandle window = 12345;
    EXPECT_EQ(ParseWindowText(c.text, &window), c.window.has_value()) << c.text;
    EXPECT_EQ(window, c.window.value_or(12345)) << c.text;
  }
}

TEST(DeskOutputNameTest, NamesTheFileAfterTheDocumentOrTheJob) {
  struct Case {
    const char* name;
    const char* document;
    const char* job_id;
    const char* expected;
  };
  const Case cases[] = {
      {"WindowsPath", "C:\\Docs\\Spring advert.ai", "ID", "Spring advert"},
      {"PosixPath", "/home/u/a.b.ai", "ID", "a.b"},
      {"NoExtension", "Poster", "ID", "Poster"},
      {"NoDocumentName", "", "5D1B6E2A-7C3F", "5D1B6E2A-7C3F"},
      {"UnsavedDocumentIsNamedAfterTheJob", "?", "5D1B6E2A-7C3F", "5D1B6E2A-7C3F"},
      {"QuestionMarksInAName", "??", "ID", "__"},
      {"NeitherNameNorId", "", "", "job"},
      {"CharactersNoFileMayHold", "C:\\x\\a<b>c:d\"e|f?g*h\x01.ai", "ID", "a_b_c_d_e_f_g_h_"},
      {"TrailingDotsAndSpaces", "report. .ai", "ID", "report"},
      {"DotDotCannotLeaveTheFolder", "C:\\x\\..", "ID", "ID"},
      {"FolderSeparatorAtTheEnd", "C:\\x\\", "ID", "ID"},
      {"IdWithSeparators", "", "a/../b", "a_.._b"},
  };
  for (const Case& c : cases) {
    BJobFile job;
    job.SetDocumentName(c.document);
    job.SetJobId(c.job_id);
    EXPECT_EQ(OutputName(job), c.expected) << c.name;
  }
}

umessage Json(const std::string& text) {
  umessage m;
  std::istringstream in(text);
  EXPECT_TRUE(m.read(in)) << text;
  return m;
}

TEST(DeskSettingsTest, DefaultsAndPathsFromTheRuntimeFolder) {
  DeskSettings s;
  std::string error;
  ASSERT_TRUE(ReadDeskSettings(umessage(), "/r", &s, &error)) << error;
  EXPECT_EQ(s.outputFolder, "/r/out");
  EXPECT_EQ(s.recordFile, "/r/vxdesk-record.jsonl");
  EXPECT_EQ(s.answerTimeoutMs, 5000u);
  EXPECT_EQ(s.jobSource, "built-in");
  EXPECT_FALSE(s.checkSettings);

  ASSERT_TRUE(ReadDeskSettings(Json(R"({"outputFolder":"pdf/../o","recordFile":"/abs/rec","stopAfter":3,)"
                                    R"("refuse":true,"job":{"jobId":"J"},"checkSettings":{"settings":[]}})"),
                               "/r", &s, &error))
      << error;
  EXPECT_EQ(s.outputFolder, "/r/o");
  EXPECT_EQ(s.recordFile, "/abs/rec");
  EXPECT_EQ(s.stopAfter, 3u);
  EXPECT_TRUE(s.refuse);
  EXPECT_EQ(s.job.value<ustring>("jobId"), "J");
  EXPECT_TRUE(s.checkSettings);
}

TEST(DeskSettingsTest, AMemberThatIsWrongIsAnErrorNotADefault) {
  struct Case {
    const char* json;
    const char* error;
  };
  const Case cases[] = {
      {R"({"stopafter":3})", "unknown member stopafter"},
      {R"({"stopAfter":-1})", "member stopAfter: expected a whole number"},
      {R"({"stopAfter":"3"})", "member stopAfter: expected a whole number"},
      {R"({"stopAfter":1.5})", "member stopAfter: expected a whole number"},
      {R"({"startLateMs":86400001})", "member startLateMs: expected a whole number from 0 to 86400000"},
      {R"({"refuse":1})", "member refuse: expected true or false"},
      {R"({"outputFolder":""})", "member outputFolder: expected a path"},
      {R"({"job":5})", "member job: expected a path or a job object"},
      {R"({"job":"/nonexistent/job.json"})", "cannot read /nonexistent/job.json"},
      {R"({"job":{"groups":5}})", "job (inline): member groups: expected a list of objects"},
      {R"({"checkSettings":"pdf"})", "member checkSettings: expected an object"},
  };
  for (const Case& c : cases) {
    DeskSettings s;
    s.stopAfter = 99;
    std::string error;
    EXPECT_FALSE(ReadDeskSettings(Json(c.json), "/r", &s, &error)) << c.json;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.json << ": " << error;
    EXPECT_EQ(s.stopAfter, 99u) << "settings changed by a refused file";
  }
}

TEST(DeskSettingsTest, OptionsBecomeMembersLaidOverTheFile) {
  umessage options;
  std::vector<std::string> words;
  std::string error;
  ASSERT_TRUE(
      ParseDeskOptions({"send", "--stop-after=3", "--refuse", "attach", "--out", "/o/./x", "--config"},
                       &options, &words, &error))
      << error;
  EXPECT_EQ(words, (std::vector<std::string>{"send", "attach", "--config"}));
  EXPECT_EQ(options.value<std::int64_t>("stopAfter"), 3);
  EXPECT_TRUE(options.value<bool>("refuse"));
  EXPECT_EQ(options.value<ustring>("outputFolder"), "/o/x");

  const umessage merged = OverlaySettings(Json(R"({"stopAfter":9,"answerTimeoutMs":100})"), options);
  EXPECT_EQ(merged.value<int>("stopAfter"), 3);
  EXPECT_EQ(merged.value<int>("answerTimeoutMs"), 100);

  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case bad[] = {
      {{"--slow"}, "unknown option --slow"},
      {{"--stop-after"}, "--stop-after needs a value"},
      {{"--stop-after", "x"}, "--stop-after needs a whole number"},
      {{"--stop-after", "-1"}, "--stop-after needs a whole number"},
      {{"--refuse=yes"}, "--refuse takes no value"},
      {{"--checks", "/nonexistent.json"}, "cannot read /nonexistent.json"},
  };
  for (const Case& c : bad) {
    umessage m;
    std::vector<std::string> w;
    EXPECT_FALSE(ParseDeskOptions(c.args, &m, &w, &error)) << c.args[0];
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

}  // namespace
