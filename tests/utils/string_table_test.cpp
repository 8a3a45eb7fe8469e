#include "utils/ustring_load.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "platform/Process.h"
#include "support/captured_log.h"
#include "utils/Tokenizer.h"
#include "utils/ustring.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

using Files = std::vector<std::pair<std::string, std::string>>;

// The host program "runs" from a private folder; opening files can be made
// to fail.
class FakeHost : public vxp::PlatformWrapper {
 public:
  FakeHost() : PlatformWrapper(vxp::native_platform()) {}
  bool executable_path(std::wstring* out) override {
    *out = executable;
    return true;
  }
  bool open_filebuf(std::filebuf& buf, const std::wstring& path, std::ios::openmode mode) override {
    return !refuse_opening && PlatformWrapper::open_filebuf(buf, path, mode);
  }

  std::wstring executable;
  bool refuse_opening = false;
};

class FakeLocale : public vxp::ProcessServiceWrapper {
 public:
  FakeLocale() : ProcessServiceWrapper(vxp::native_process_service()) {}
  vxp::UserLocale user_locale() override { return locale; }

  vxp::UserLocale locale{"en", 1};
};

// The records of a captured log written at the given level, each as its
// source without the line number and its text: "file:function] text". A
// line that does not have the logger's layout
//   [YYYY-MM-DDTHH:MM:SS][LEVEL][thread][file:function:line] text
// comes back whole after "malformed: ".
std::vector<std::string> records(const std::string& log, const std::string& level) {
  std::vector<std::string> found;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const std::string time_shape = "[dddd-dd-ddTdd:dd:dd][";
    bool well_formed = line.size() > time_shape.size();
    for (std::size_t i = 0; well_formed && i < time_shape.size(); ++i) {
      const char c = line[i];
      well_formed = time_shape[i] == 'd' ? (c >= '0' && c <= '9') : c == time_shape[i];
    }
    if (!well_formed) {
      found.push_back("malformed: " + line);
      continue;
    }
    std::size_t at = time_shape.size();
    const std::size_t level_end = line.find("][", at);
    if (level_end == std::string::npos) {
      found.push_back("malformed: " + line);
      continue;
    }
    if (line.compare(at, level_end - at, level) != 0) continue;
    at = level_end + 2;
    const std::size_t thread_end = line.find("][", at);
    const std::size_t source_end = line.find("] ", at);
    const std::size_t line_number = line.rfind(':', source_end);
    if (thread_end == std::string::npos || source_end == std::string::npos || thread_end == at ||
        line.find_first_not_of("0123456789", at) != thread_end || line_number == std::string::npos ||
        line_number < thread_end || line.find_first_not_of("0123456789", line_number + 1) != source_end) {
      found.push_back("malformed: " + line);
      continue;
    }
    found.push_back(line.substr(thread_end + 2, line_number - thread_end - 2) + line.substr(source_end));
  }
  return found;
}

// A private host folder with its Resources folder, fresh caches, and the
// user's language under the test's control.
class StringTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (vxp::Platform::Default().path_style() != vxp::ePathStyle_Posix)
      GTEST_SKIP() << "needs the POSIX file system";
    static int serial = 0;
    root_ = fs::path("/tmp") / ("strtab_" + std::to_string(vxp::native_platform().current_process_id()) +
                                "_" + std::to_string(++serial));
    fs::remove_all(root_);
    fs::create_directories(resources());
    host_.executable = ustring((root_ / "Illustrator").string()).to_wstring();
    detail::reset_string_tables_for_tests();
  }
  void TearDown() override {
    detail::reset_string_tables_for_tests();
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
  }

  fs::path resources() const { return root_ / "Resources"; }

  // Writes bytes to a file below Resources, creating its folders.
  void write(const std::string& relative, const std::string& bytes) const {
    const fs::path path = resources() / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  void write_all(const Files& files) const {
    for (const auto& [relative, bytes] : files) write(relative, bytes);
  }
  // Starts again as a new process would: empty Resources, empty caches.
  void start_over(const char* language, int sublanguage) {
    fs::remove_all(resources());
    fs::create_directories(resources());
    locale_.locale = {language, sublanguage};
    detail::reset_string_tables_for_tests();
  }

  fs::path root_;
  FakeHost host_;
  FakeLocale locale_;
  vxp::ScopedPlatform platform_scope_{host_};
  vxp::ScopedService<vxp::ProcessService> process_scope_{locale_};
};

// --- The language ---------------------------------------------------------------

TEST_F(StringTableTest, LanguageFollowsTheUserLocale) {
  const struct {
    const char* language;
    int sublanguage;
    const char* expected;
  } cases[] = {
      {"en", 1, "en_US"},                   // English (United States)
      {"en", 2, "en"},                      // English (United Kingdom)
      {"en", 0, "en"},                      // English, no region
      {"zh", 4, "zh_CN"},                   // Chinese (Taiwan) reads the simplified tables too
      {"zh", 2, "zh_CN"},                   // Chinese (PRC)
      {"de", 1, "de"},    {"de", 3, "de"},  // German (Germany, Austria)
      {"ja", 1, "ja"},    {"fr", 1, "fr"}, {"es", 1, "es"}, {"it", 1, "en"},  // not supported
      {"", 0, "en"},                                                          // the OS could not tell
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.language) + " " + std::to_string(c.sublanguage));
    start_over(c.language, c.sublanguage);
    EXPECT_EQ(current_language(), c.expected);
  }
}

TEST_F(StringTableTest, LanguageIsComputedOnce) {
  start_over("de", 1);
  write("de.lproj/T.strings", "K = de;");
  write("fr.lproj/T.strings", "K = fr;");
  EXPECT_EQ(current_language(), "de");
  locale_.locale = {"fr", 1};
  EXPECT_EQ(current_language(), "de");
  EXPECT_EQ(ustring_load("K", "T"), "de");
}

// --- Folders and files ----------------------------------------------------------

TEST_F(StringTableTest, LanguageFolderUsesTheAliasWhenItsOwnIsMissing) {
  const struct {
    const char* name;
    std::vector<const char*> folders;
    const char* code;
    const char* expected;  // below Resources, "" for none
  } cases[] = {
      {"alias when de.lproj is missing", {"German.lproj"}, "de", "German.lproj"},
      {"own folder first", {"de.lproj", "German.lproj"}, "de", "de.lproj"},
      {"alias read backwards", {"de.lproj"}, "German", "de.lproj"},
      {"english alias", {"English.lproj"}, "en", "English.lproj"},
      {"code without alias", {"it.lproj"}, "it", "it.lproj"},
      {"no folder", {"German.lproj"}, "fr", ""},
      {"another code's alias is not used", {"French.lproj"}, "de", ""},
      {"code leading outside Resources", {"de.lproj"}, "../Resources/de", ""},
      {"empty code", {".lproj"}, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start_over("en", 1);
    for (const char* folder : c.folders) fs::create_directories(resources() / folder);
    const UFileSpecCore folder = language_folder(c.code);
    if (*c.expected == '\0') {
      EXPECT_TRUE(folder.empty()) << folder.path();
    } else {
      EXPECT_EQ(folder.path(), ustring((resources() / c.expected).string()));
    }
  }

  start_over("en", 1);
  write("de.lproj", "a file, not a folder");
  EXPECT_TRUE(language_folder("de").empty());
}

TEST_F(StringTableTest, GermanTablesAreReadFromTheAliasFolder) {
  start_over("de", 1);
  write("German.lproj/Illustrator.strings", "\"AdjustSize...\" = \"Größe anpassen...\";");
  EXPECT_EQ(ustring_load("AdjustSize...", "Illustrator"), "Größe anpassen...");
  EXPECT_EQ(ustring_load2("AdjustSize...", "Illustrator", "de"), "Größe anpassen...");
}

TEST_F(StringTableTest, TableFileComesFromTheLanguageThenEnglishThenResources) {
  const struct {
    const char* name;
    const char* language;
    int sublanguage;
    Files files;
    const char* expected;
  } cases[] = {
      {"current language's file",
       "de",
       1,
       {{"de.lproj/T.strings", "K = de;"}, {"en.lproj/T.strings", "K = en;"}, {"T.strings", "K = top;"}},
       "de"},
      {"english when the language's folder has no such file",
       "de",
       1,
       {{"de.lproj/Other.strings", "K = other;"},
        {"en.lproj/T.strings", "K = en;"},
        {"T.strings", "K = top;"}},
       "en"},
      {"en_US without a folder of its own reads en", "en", 1, {{"en.lproj/T.strings", "K = en;"}}, "en"},
      {"english from its alias folder", "fr", 1, {{"English.lproj/T.strings", "K = en;"}}, "en"},
      {"resources folder last",
       "de",
       1,
       {{"de.lproj/Other.strings", "K = x;"}, {"T.strings", "K = top;"}},
       "top"},
      {"the language's file lacks the key: no fallback",
       "de",
       1,
       {{"de.lproj/T.strings", "Other = x;"}, {"en.lproj/T.strings", "K = en;"}},
       "K"},
      {"a folder named like the file is skipped",
       "de",
       1,
       {{"de.lproj/T.strings/inside", ""}, {"en.lproj/T.strings", "K = en;"}},
       "en"},
      {"no file at all", "de", 1, {}, "K"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start_over(c.language, c.sublanguage);
    write_all(c.files);
    EXPECT_EQ(ustring_load("K", "T"), c.expected);
  }
}

TEST_F(StringTableTest, FindTableFileRefusesNamesThatLeaveTheFolder) {
  start_over("en", 1);
  write("en.lproj/T.strings", "K = en;");
  EXPECT_EQ(find_table_file("T.strings").path(), ustring((resources() / "en.lproj/T.strings").string()));
  for (const char* name : {"../en.lproj/T.strings", "en.lproj/T.strings", "..", ".", ""}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(find_table_file(name).empty());
  }
}

// --- Values -----------------------------------------------------------------------

TEST_F(StringTableTest, TrailingStarsAreRemovedFromValues) {
  start_over("en", 1);
  write("en.lproj/T.strings",
        "Done = \"Done*\"; Stars = \"***\"; Inner = \"A*b**\"; Leading = \"*x\"; Plain = x;");
  const struct {
    const char* key;
    const char* expected;
  } cases[] = {{"Done", "Done"}, {"Stars", ""}, {"Inner", "A*b"}, {"Leading", "*x"}, {"Plain", "x"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ustring_load(c.key, "T"), c.expected) << c.key;
    EXPECT_EQ(ustring_load2(c.key, "T", "en"), c.expected) << c.key;
  }
}

TEST_F(StringTableTest, MissingKeyIsReturnedWithOneDebugLine) {
  start_over("de", 1);
  write("de.lproj/Illustrator.strings", "\"About Veloxa...\" = \"Über Veloxa...\";");
  const struct {
    const char* function;
    std::function<ustring()> lookup;
  } cases[] = {
      {"ustring_load", [] { return ustring_load("AdjustSize...", "Illustrator"); }},
      {"ustring_load2", [] { return ustring_load2("AdjustSize...", "Illustrator", "de"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    vxtest::CapturedLog log;
    EXPECT_EQ(c.lookup(), "AdjustSize...");
    EXPECT_THAT(records(log.text(), "DEBUG"),
                ElementsAre("ustring_load.cpp:" + std::string(c.function) +
                            "] Key missing in \"Illustrator\" table: \"AdjustSize...\""));
  }
}

// --- Reading files ----------------------------------------------------------------

TEST_F(StringTableTest, BrokenFileKeepsTheEntriesBeforeTheFaultAndLogsOnce) {
  start_over("en", 1);
  write("en.lproj/Illustrator.strings",
        "\"a\" = \"1\";\n"
        "\"b\" = \"2\";\n"
        "\"c\" = \"3\"\n"  // no ";": the pair is stored before it is demanded
        "d = \"4\";\n"
        "\"e\" = \"5\";\n");
  vxtest::CapturedLog log;
  EXPECT_EQ(ustring_load("a", "Illustrator"), "1");
  EXPECT_EQ(ustring_load("b", "Illustrator"), "2");
  EXPECT_EQ(ustring_load("c", "Illustrator"), "3");
  EXPECT_EQ(ustring_load("d", "Illustrator"), "d");
  EXPECT_EQ(ustring_load("e", "Illustrator"), "e");
  EXPECT_THAT(
      records(log.text(), "ERROR"),
      ElementsAre("ustring_load.cpp:loadStringTable] Illustrator : unexpected element in stream at line 4"));
}

TEST_F(StringTableTest, PerLanguageErrorTextHasNoSpaceAfterTheColon) {
  start_over("en", 1);
  write("de.lproj/T.strings", "\"a\" = \"1\"; \"b\" = ;");
  vxtest::CapturedLog log;
  EXPECT_EQ(ustring_load2("a", "T", "de"), "1");
  EXPECT_EQ(ustring_load2("b", "T", "de"), "b");
  EXPECT_THAT(records(log.text(), "ERROR"),
              ElementsAre("ustring_load.cpp:loadStringTable] de-T :unexpected element in stream at line 1"));
}

// UTF-16 code units of text, in the given byte order, after an optional mark.
std::string utf16_bytes(const std::u16string& text, bool big_endian, bool mark) {
  std::string bytes;
  auto put = [&](char16_t unit) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += big_endian ? high : low;
    bytes += big_endian ? low : high;
  };
  if (mark) put(0xFEFF);
  for (char16_t unit : text) put(unit);
  return bytes;
}

TEST_F(StringTableTest, FilesInUtf16AndUtf8AreRead) {
  const std::u16string text = u"/* Menü */\r\n\"Über\" = \"Größe\"; // ß\r\nKey = Wert;\r\n";
  const std::string utf8 = ustring(text).str();
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"utf-16le with mark", utf16_bytes(text, false, true)},
      {"utf-16be with mark", utf16_bytes(text, true, true)},
      {"utf-16le without mark", utf16_bytes(text, false, false)},
      {"utf-8 with mark", "\xEF\xBB\xBF" + utf8},
      {"utf-8", utf8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start_over("de", 1);
    write("de.lproj/T.strings", c.bytes);
    vxtest::CapturedLog log;
    EXPECT_EQ(ustring_load("Über", "T"), "Größe");
    EXPECT_EQ(ustring_load("Key", "T"), "Wert");
    EXPECT_EQ(log.text(), "");
  }
}

TEST_F(StringTableTest, FileThatCannotBeOpenedGivesAnEmptyTableSilently) {
  start_over("en", 1);
  write("en.lproj/T.strings", "K = en;");
  host_.refuse_opening = true;
  vxtest::CapturedLog log;
  EXPECT_EQ(ustring_load("K", "T"), "K");
  EXPECT_EQ(ustring_load2("K", "T", "en"), "K");
  EXPECT_EQ(ustring_load2("K", "T", "fr"), "K");  // no folder at all
  EXPECT_THAT(records(log.text(), "ERROR"), IsEmpty());
  EXPECT_THAT(records(log.text(), "DEBUG"), SizeIs(3));
}

TEST_F(StringTableTest, CachesKeepWhatTheyFirstSaw) {
  start_over("de", 1);
  write("de.lproj/T.strings", "K = de; L = \"de L\";");
  EXPECT_EQ(ustring_load("K", "T"), "de");
  EXPECT_EQ(ustring_load2("K", "T", "de"), "de");
  EXPECT_TRUE(language_folder("fr").empty());
  EXPECT_EQ(ustring_load("K", "Later"), "K");

  // Each file was read once: what happens to the files now is not seen.
  fs::remove(resources() / "de.lproj/T.strings");
  fs::create_directories(resources() / "fr.lproj");
  write("de.lproj/Later.strings", "K = later;");
  EXPECT_EQ(ustring_load("L", "T"), "de L");
  EXPECT_EQ(ustring_load2("L", "T", "de"), "de L");
  EXPECT_TRUE(language_folder("fr").empty());
  EXPECT_EQ(ustring_load("K", "Later"), "K");

  // Reading a cached table again changes nothing.
  loadStringTable("T");
  loadStringTable("de", "T");
  EXPECT_EQ(ustring_load("K", "T"), "de");
  EXPECT_EQ(ustring_load2("K", "T", "de"), "de");
}

TEST_F(StringTableTest, PerLanguageLookupReadsOnlyItsLanguageAndCachesApart) {
  start_over("de", 1);
  write("de.lproj/T.strings", "K = de;");
  write("en.lproj/T.strings", "K = en; E = \"only en\";");
  write("en.lproj/de-T.strings", "K = \"table de-T\";");

  EXPECT_EQ(ustring_load("K", "T"), "de");
  EXPECT_EQ(ustring_load2("K", "T", "en"), "en");  // not ustring_load's table T
  EXPECT_EQ(ustring_load2("E", "T", "de"), "E");   // no fallback to English
  EXPECT_EQ(ustring_load("E", "T"), "E");
  EXPECT_EQ(ustring_load2("K", "T", "fr"), "K");  // no folder, no fallback
  EXPECT_EQ(ustring_load2("K", "T", "German"), "de");

  // A table whose name looks like a per-language cache key is its own table.
  EXPECT_EQ(ustring_load2("K", "T", "de"), "de");
  EXPECT_EQ(ustring_load("K", "de-T"), "table de-T");
}

// --- The grammar -------------------------------------------------------------------

TEST(StringTableGrammarTest, EntriesAndErrors) {
  using Entries = std::vector<std::pair<std::string, std::string>>;
  const struct {
    const char* name;
    std::string input;
    Entries entries;
    const char* error;  // the parser's message, "" for none
  } cases[] = {
      {"empty input", "", {}, ""},
      {"only comments", "// a\n/* b\n c */ /**/", {}, ""},
      {"quoted key and value", "\"Key\" = \"Value\";", {{"Key", "Value"}}, ""},
      {"words as key and value", "key_1 = Value2;", {{"key_1", "Value2"}}, ""},
      {"adjacent quoted strings join", "\"A\" \"B\" = \"C\";", {{"AB", "C"}}, ""},
      {"joined across lines", "\"A\"\n\t\"B\" = \"C\" \r\n \"D\";", {{"AB", "CD"}}, ""},
      {"comments between every token",
       "// head\n\"k\" /* x */ = // y\n \"v\" /* z\n */ ; // tail",
       {{"k", "v"}},
       ""},
      {"a star inside a block comment", "/* a * b **/ k = v;", {{"k", "v"}}, ""},
      {"a lone slash is skipped", "\"k\" / = / \"v\" /;", {{"k", "v"}}, ""},
      {"a slash before a word", "/k = v;", {{"k", "v"}}, ""},
      {"escapes", R"("a\"b\\c\nd\re\tf\bg\fh\qi\/j" = "x";)", {{"a\"b\\c\nd\ne\tf\bg\fhqi/j", "x"}}, ""},
      {"raw line break and UTF-8 in a string", "\"a\r\nb\" = \"\xC3\xBC\";", {{"a\r\nb", "\xC3\xBC"}}, ""},
      {"empty strings", "\"\" = \"\";", {{"", ""}}, ""},
      {"a later entry replaces an earlier one", "k = 1; k = 2;", {{"k", "2"}}, ""},
      {"no white space needed", "a=1;b=\"2\";", {{"a", "1"}, {"b", "2"}}, ""},
      {"missing semicolon at the end", "k = v", {{"k", "v"}}, "unexpected element in stream at line 1"},
      {"missing semicolon before the next key",
       "a = 1\nb = 2;",
       {{"a", "1"}},
       "unexpected element in stream at line 2"},
      {"missing equals sign", "k v;", {}, "unexpected element in stream at line 1"},
      {"missing value", "k = ;", {}, "unexpected element in stream at line 1"},
      {"missing key", "= v;", {}, "unexpected element in stream at line 1"},
      {"semicolon where a key starts", "k = v;;", {{"k", "v"}}, "unexpected element in stream at line 1"},
      {"a comment ends a join", "\"A\" /**/ \"B\" = \"C\";", {}, "unexpected element in stream at line 1"},
      {"a byte outside words", "a = 1;\nb-c = 2;", {{"a", "1"}}, "unexpected element in stream at line 2"},
      {"a non-ASCII word", "\xC3\xA4 = 1;", {}, "unexpected element in stream at line 1"},
      {"a zero byte after a word",
       std::string("a = 1;\nb\0 = 2;", 14),
       {{"a", "1"}},
       "unexpected element in stream at line 2"},
      {"a zero byte after a string",
       std::string("\"a\"\0 = 1;", 9),
       {},
       "unexpected element in stream at line 1"},
      {"a string the input ends inside keeps nothing of it",
       "a = 1;\nb = \"2;\nc = 3;\n",
       {{"a", "1"}},
       "unexpected element in stream at line 4"},
      {"a backslash at the very end", "a = \"x\\", {}, "unexpected element in stream at line 1"},
      {"an unterminated block comment hides no entry silently",
       "a = 1;\n/* b = 2;\nc = 3;",
       {{"a", "1"}},
       "unexpected element in stream at line 3"},
      {"a block comment opened by /*/ is not closed",
       "/*/ a = 1;",
       {},
       "unexpected element in stream at line 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::istringstream input(c.input);
    StringTable table;
    std::string error;
    try {
      read_string_table(input, table);
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    EXPECT_EQ(error, c.error);
    Entries read;
    for (const auto& [key, value] : table) read.emplace_back(key.str(), value.str());
    EXPECT_EQ(read, c.entries);
  }
}

TEST(StringTableGrammarTest, TokenKindsAndTexts) {
  std::istringstream input("k = \"v\"; // c");
  Tokenizer tokenizer(input);
  Tokenizer::Token token;
  const std::pair<string_file_token_type, const char*> expected[] = {
      {eStringFileToken_String, "k"},
      {eStringFileToken_Equals, "="},
      {eStringFileToken_String, "v"},
      {eStringFileToken_Semicolon, ";"},
  };
  for (const auto& [kind, text] : expected) {
    ASSERT_TRUE(tokenizer.get_token(token));
    EXPECT_EQ(token.kind, kind);
    EXPECT_EQ(token.text, text);
  }
  EXPECT_FALSE(tokenizer.get_token(token));
  EXPECT_FALSE(tokenizer.get_token(token));  // the end stays the end
}

// --- The shipped tables ---------------------------------------------------------------

TEST_F(StringTableTest, ShippedMenuTextsAreReadFromTheProductFolder) {
  host_.executable = ustring(std::string(VX_PRODUCT_DIR) + "/Illustrator").to_wstring();
  const char* const keys[] = {"About Veloxa...", "Show Job List Window", "Job Details / Export...",
                              "AdjustSize..."};
  const char* const german[] = {"Über Veloxa...", "Auftragsliste anzeigen", "Auftragsdetails / Export...",
                                "Größe anpassen..."};
  detail::reset_string_tables_for_tests();
  locale_.locale = {"de", 1};
  vxtest::CapturedLog log;
  for (std::size_t i = 0; i < std::size(keys); ++i) {
    EXPECT_EQ(ustring_load(keys[i], "Illustrator"), german[i]);
    EXPECT_EQ(ustring_load2(keys[i], "Illustrator", "en"), keys[i]);
  }
  EXPECT_EQ(log.text(), "");  // every key present, both files well-formed
}

}  // namespace
