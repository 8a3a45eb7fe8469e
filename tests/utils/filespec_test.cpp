// UFileSpecCore: path text rules (Windows-form cases on any OS), native paths,
// special folders through fake platforms, and real file operations in a
// private folder with their log lines.
#include "utils/UFileSpecCore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "utils/Logger.h"

namespace {

namespace fs = std::filesystem;
using vxp::Platform;

// --- Platforms ---------------------------------------------------------------

// The native platform with the path style of a test's choice.
class StylePlatform : public vxp::PlatformWrapper {
 public:
  explicit StylePlatform(vxp::PathStyle style) : PlatformWrapper(vxp::native_platform()), style_(style) {}
  vxp::PathStyle path_style() override { return style_; }

 private:
  vxp::PathStyle style_;
};

// Installs a path style for one scope.
class ScopedStyle {
 public:
  explicit ScopedStyle(vxp::PathStyle style) : platform_(style), scope_(platform_) {}

 private:
  StylePlatform platform_;
  vxp::ScopedPlatform scope_;
};

const char* style_name(vxp::PathStyle style) {
  return style == vxp::ePathStyle_Windows ? "windows" : "posix";
}

constexpr vxp::PathStyle kBothStyles[] = {vxp::ePathStyle_Windows, vxp::ePathStyle_Posix};

// --- Captured log ------------------------------------------------------------

// Redirects standard error (the system logger's stream) for one scope.
class CapturedLog {
 public:
  CapturedLog() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~CapturedLog() { std::cerr.rdbuf(previous_); }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  // Each line without its time and thread fields: "[LEVEL][source] text".
  // A line whose fixed fields are malformed is returned whole, so the
  // comparison shows it.
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::istringstream in(captured_.str());
    std::string line;
    while (std::getline(in, line)) out.push_back(without_time_and_thread(line));
    return out;
  }

 private:
  static std::string without_time_and_thread(const std::string& line) {
    // "[YYYY-mm-ddTHH:MM:SS]" then "[LEVEL]" then "[thread]".
    static const std::string kTimeShape = "[dddd-dd-ddTdd:dd:dd]";
    bool ok = line.size() > kTimeShape.size();
    for (std::size_t i = 0; ok && i < kTimeShape.size(); ++i)
      ok = kTimeShape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                : line[i] == kTimeShape[i];
    const std::size_t level_end = ok ? line.find(']', kTimeShape.size()) : std::string::npos;
    const std::size_t thread_end = level_end == std::string::npos ? level_end : line.find(']', level_end + 1);
    ok = thread_end != std::string::npos && line[level_end + 1] == '[' && thread_end > level_end + 2;
    for (std::size_t i = level_end + 2; ok && i < thread_end; ++i)
      ok = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
    if (!ok) return "malformed: " + line;
    return line.substr(kTimeShape.size(), level_end + 1 - kTimeShape.size()) + line.substr(thread_end + 1);
  }

  std::ostringstream captured_;
  std::streambuf* previous_;
};

std::string warn_line(const char* function, int line, const std::string& text) {
  return std::string("[WARN][UFileSpecCore.cpp:") + function + ":" + std::to_string(line) + "] " + text;
}

const std::string kMoveInvalid =
    warn_line("UFileSpecCore::move", 1165, "attempt to move a file to an invalid destination");
const std::string kMoveExisting =
    warn_line("UFileSpecCore::move", 1170, "attempt to move a file to an already existing destination");
const std::string kMoveMissing =
    warn_line("UFileSpecCore::move", 1176, "attempt to move a non-existing file");
const std::string kCopyInvalid =
    warn_line("UFileSpecCore::copy", 1192, "attempt to copy a file to an invalid destination");
const std::string kCopyExisting =
    warn_line("UFileSpecCore::copy", 1201, "attempt to copy a file to an already existing destination");
const std::string kCopyIntoItself =
    warn_line("UFileSpecCore::copy", 1205, "attempt to copy a folder into itself");
const std::string kCopyMissing =
    warn_line("UFileSpecCore::copy", 1219, "attempt to copy a non-existing file");
std::string mkdir_line(int error) { return warn_line("UFileSpecCore::mkdir", 1131, std::to_string(error)); }

// --- Path text ---------------------------------------------------------------

UFileSpecCore spec_of(const char* path) {
  UFileSpecCore spec;
  spec.set_path(path);
  return spec;
}

TEST(FileSpecPathTest, SetPathStoresAbsolutePathsWithoutTrailingSeparators) {
  static const struct {
    const char* input;
    bool ok;
    const char* stored;
  } kCases[] = {
      {"C:\\dir\\sub\\", true, "C:\\dir\\sub"},
      {"C:\\", true, "C:\\"},
      {"C:/", true, "C:/"},
      {"C:\\\\\\", true, "C:\\"},
      {"c:/dir//", true, "c:/dir"},
      {"C:\\a/b\\c", true, "C:\\a/b\\c"},
      {"\\\\server\\share\\", true, "\\\\server\\share"},
      {"//server/share", true, "//server/share"},
      {"\\\\\\\\\\", true, "\\\\\\"},  // only separators: the root's 3 bytes stay
      {"dir", false, ""},
      {"", false, ""},
      {"C", false, ""},
      {"C:", false, ""},
      {"C:x", false, ""},
      {"1:\\x", false, ""},
      {"\\\\", false, ""},
      {"C:\\a?b", false, ""},
      {"\\\\?\\C:\\long", false, ""},
  };
  for (const vxp::PathStyle style : kBothStyles) {
    ScopedStyle scoped(style);
    for (const auto& c : kCases) {
      UFileSpecCore spec = spec_of("C:\\previous");
      EXPECT_EQ(spec.set_path(c.input), c.ok) << style_name(style) << " " << c.input;
      EXPECT_EQ(spec.path(), c.stored) << style_name(style) << " " << c.input;
    }
  }
}

TEST(FileSpecPathTest, EmbeddedNulIsRefusedBecauseTheOsWouldSeeAShorterPath) {
  UFileSpecCore spec;
  EXPECT_FALSE(spec.set_path(ustring("C:\\keep\0\\..\\victim", 19)));
  EXPECT_TRUE(spec.empty());
  spec.set_path("C:\\a");
  EXPECT_FALSE(spec.append(ustring("b\0c", 3)));
  EXPECT_TRUE(spec.empty());
}

TEST(FileSpecPathTest, SingleSlashRootIsAbsoluteOnlyForPosixPaths) {
  static const struct {
    const char* input;
    const char* windows;  // nullptr: refused
    const char* posix;
  } kCases[] = {
      {"/", nullptr, "/"},      {"/a", nullptr, "/a"}, {"/usr/share/", nullptr, "/usr/share"},
      {"///", "///", "///"},  // two separators: the network form in both
      {"/\\x", "/\\x", "/\\x"},
  };
  for (const auto& c : kCases) {
    {
      ScopedStyle scoped(vxp::ePathStyle_Windows);
      UFileSpecCore spec;
      EXPECT_EQ(spec.set_path(c.input), c.windows != nullptr) << c.input;
      EXPECT_EQ(spec.path(), c.windows ? c.windows : "") << c.input;
    }
    {
      ScopedStyle scoped(vxp::ePathStyle_Posix);
      UFileSpecCore spec;
      EXPECT_TRUE(spec.set_path(c.input)) << c.input;
      EXPECT_EQ(spec.path(), c.posix) << c.input;
      EXPECT_TRUE(spec.is_valid()) << c.input;
    }
  }
}

TEST(FileSpecPathTest, RelativePathWithBaseIsAppended) {
  const UFileSpecCore base = spec_of("C:\\a");
  static const struct {
    const char* input;
    bool ok;
    const char* stored;
  } kCases[] = {
      {"b/c", true, "C:\\a/b/c"},
      {"../x/", true, "C:\\x"},
      {"D:\\abs\\", true, "D:\\abs"},
      {"../../x", false, ""},
      {"b?", false, ""},
      {"", false, ""},  // no name is no file, not the base folder
      {".", true, "C:\\a"},
  };
  for (const auto& c : kCases) {
    UFileSpecCore spec;
    EXPECT_EQ(spec.set_path(c.input, base), c.ok) << c.input;
    EXPECT_EQ(spec.path(), c.stored) << c.input;
    EXPECT_EQ(UFileSpecCore(c.input, base).path(), c.stored) << c.input;
  }
  UFileSpecCore no_base;
  EXPECT_FALSE(no_base.set_path("dir", UFileSpecCore()));
  EXPECT_TRUE(no_base.empty());
}

TEST(FileSpecPathTest, ArgumentsAliasingTheSpecificationAreReadBeforeItChanges) {
  UFileSpecCore spec = spec_of("C:\\a\\b\\");
  EXPECT_TRUE(spec.set_path(spec.path()));
  EXPECT_EQ(spec.path(), "C:\\a\\b");
  EXPECT_TRUE(spec.set_path(spec.path(), spec));
  EXPECT_EQ(spec.path(), "C:\\a\\b");
  EXPECT_FALSE(spec.append(spec.path()));  // absolute
  EXPECT_TRUE(spec.empty());
}

TEST(FileSpecPathTest, AppendNormalisesDotsAndFailsAboveTheRoot) {
  static const struct {
    const char* base;
    const char* relative;
    bool ok;
    const char* result;
  } kCases[] = {
      {"C:\\a", "b/./c/../d", true, "C:\\a/b/d"},
      {"C:\\a", "../../x", false, ""},
      {"C:\\a", "C:\\x", false, ""},
      {"C:\\a", "\\\\srv\\x", false, ""},
      {"C:\\a", "x?y", false, ""},
      {"C:\\a", "..", true, "C:\\"},
      {"C:\\a", "../..", false, ""},
      {"C:\\", "x", true, "C:\\x"},
      {"C:\\a", "", true, "C:\\a"},
      {"C:\\a", ".", true, "C:\\a"},
      {"C:\\a", "/", true, "C:\\a"},
      {"C:\\a", "///", false, ""},  // two separators: a network path
      {"C:\\a", "b/", true, "C:\\a/b"},
      {"C:\\a", "b\\", true, "C:\\a/b"},
      {"C:\\a", "b//c", true, "C:\\a/b/c"},
      {"C:\\a", "b\\..\\c", true, "C:\\a/b\\..\\c"},  // split at "/" only
      {"C:\\a", "/x", true, "C:\\a/x"},               // one separator is not a Windows root
      {"\\\\server\\share", "..", true, "\\\\server"},
      {"\\\\server\\share", "../..", false, ""},  // "\\" alone is no path
  };
  ScopedStyle scoped(vxp::ePathStyle_Windows);
  for (const auto& c : kCases) {
    UFileSpecCore spec = spec_of(c.base);
    EXPECT_EQ(spec.append(c.relative), c.ok) << c.base << " + " << c.relative;
    EXPECT_EQ(spec.path(), c.result) << c.base << " + " << c.relative;
  }
}

TEST(FileSpecPathTest, AppendToAnEmptySpecificationFails) {
  UFileSpecCore spec;
  EXPECT_FALSE(spec.append("x"));
  EXPECT_TRUE(spec.empty());
}

TEST(FileSpecPathTest, PosixAppendClimbsToTheSlashRoot) {
  ScopedStyle scoped(vxp::ePathStyle_Posix);
  UFileSpecCore spec = spec_of("/a");
  EXPECT_TRUE(spec.append("../b"));
  EXPECT_EQ(spec.path(), "/b");
  EXPECT_FALSE(spec.append("/c"));  // absolute here
  spec = spec_of("/a");
  EXPECT_FALSE(spec.append("../.."));
}

TEST(FileSpecPathTest, UpRemovesTheLastComponentButNeverTheRoot) {
  static const struct {
    vxp::PathStyle style;
    const char* path;
    bool ok;
    const char* result;
  } kCases[] = {
      {vxp::ePathStyle_Windows, "C:\\a\\b", true, "C:\\a"},
      {vxp::ePathStyle_Windows, "C:\\a", true, "C:\\"},
      {vxp::ePathStyle_Windows, "C:/a", true, "C:/"},
      {vxp::ePathStyle_Windows, "C:\\", false, "C:\\"},
      {vxp::ePathStyle_Windows, "C:\\a\\\\b", true, "C:\\a"},
      {vxp::ePathStyle_Windows, "C:\\a/b\\c", true, "C:\\a/b"},
      {vxp::ePathStyle_Windows, "\\\\server\\share", true, "\\\\server"},
      {vxp::ePathStyle_Windows, "\\\\server", false, "\\\\server"},
      {vxp::ePathStyle_Windows, "\\\\\\", false, "\\\\\\"},
      {vxp::ePathStyle_Posix, "/a/b", true, "/a"},
      {vxp::ePathStyle_Posix, "/a", true, "/"},
      {vxp::ePathStyle_Posix, "/", false, "/"},
  };
  for (const auto& c : kCases) {
    ScopedStyle scoped(c.style);
    UFileSpecCore spec = spec_of(c.path);
    ASSERT_EQ(spec.path(), c.path);
    EXPECT_EQ(spec.up(), c.ok) << c.path;
    EXPECT_EQ(spec.path(), c.result) << c.path;
  }
  UFileSpecCore empty;
  EXPECT_FALSE(empty.up());
  EXPECT_TRUE(empty.empty());
}

TEST(FileSpecPathTest, LeafNameAndExtensionLookAtTheLastComponent) {
  static const struct {
    const char* path;
    const char* leaf;
    const char* stem;
    const char* extension;
  } kCases[] = {
      {"C:\\a\\report.final.pdf", "report.final.pdf", "report.final", "pdf"},
      {"C:\\dir.d\\file", "file", "file", ""},  // a dotted folder is no extension
      {"C:\\a/b.txt", "b.txt", "b", "txt"},
      {"C:\\a\\.profile", ".profile", "", "profile"},
      {"C:\\a\\name.", "name.", "name", ""},
      {"C:\\", "", "", ""},
      {"C:\\x", "x", "x", ""},
      {"\\\\server", "server", "server", ""},
      {"", "", "", ""},
  };
  for (const auto& c : kCases) {
    const UFileSpecCore spec = spec_of(c.path);
    EXPECT_EQ(spec.leaf_name(true), c.leaf) << c.path;
    EXPECT_EQ(spec.leaf_name(false), c.stem) << c.path;
    EXPECT_EQ(spec.extension(), c.extension) << c.path;
  }
}

TEST(FileSpecPathTest, SetExtensionReplacesOnlyTheLastComponentsExtension) {
  static const struct {
    const char* path;
    const char* ext;
    bool ok;
    const char* result;
  } kCases[] = {
      {"C:\\a\\r.pdf", "txt", true, "C:\\a\\r.txt"},     {"C:\\a\\r.pdf", "", true, "C:\\a\\r"},
      {"C:\\a\\r", "pdf", true, "C:\\a\\r.pdf"},         {"C:\\d.d\\r", "pdf", true, "C:\\d.d\\r.pdf"},
      {"C:\\a\\r.x.y", "z", true, "C:\\a\\r.x.z"},       {"C:\\", "pdf", false, "C:\\"},
      {"C:\\a\\.profile", "", false, "C:\\a\\.profile"},  // would become the folder
      {"C:\\a\\r.pdf", "x/../y", false, "C:\\a\\r.pdf"}, {"C:\\a\\r.pdf", "p?f", false, "C:\\a\\r.pdf"},
  };
  for (const auto& c : kCases) {
    UFileSpecCore spec = spec_of(c.path);
    EXPECT_EQ(spec.set_extension(c.ext), c.ok) << c.path << " " << c.ext;
    EXPECT_EQ(spec.path(), c.result) << c.path << " " << c.ext;
  }
}

TEST(FileSpecPathTest, IsAbsolutePathAndSplit) {
  static const struct {
    const char* text;
    bool windows;
    bool posix;
  } kAbsolute[] = {
      {"C:\\", true, true},    {"z:/x", true, true},   {"\\\\s", true, true},  {"//s", true, true},
      {"C:", false, false},    {"\\\\", false, false}, {"/", false, true},     {"/x", false, true},
      {"x:y\\", false, false}, {"", false, false},     {"é:\\", false, false},
  };
  for (const auto& c : kAbsolute) {
    {
      ScopedStyle scoped(vxp::ePathStyle_Windows);
      EXPECT_EQ(UFileSpecCore::is_absolute_path(c.text), c.windows) << c.text;
    }
    {
      ScopedStyle scoped(vxp::ePathStyle_Posix);
      EXPECT_EQ(UFileSpecCore::is_absolute_path(c.text), c.posix) << c.text;
    }
  }
  using V = std::vector<ustring>;
  EXPECT_EQ(UFileSpecCore::split("a/b//c/", '/'), (V{"a", "b", "c"}));
  EXPECT_EQ(UFileSpecCore::split("//", '/'), V{});
  EXPECT_EQ(UFileSpecCore::split("", '/'), V{});
  EXPECT_EQ(UFileSpecCore::split("a\\b/c", '\\'), (V{"a", "b/c"}));
}

TEST(FileSpecPathTest, StreamInsertionAndExtraction) {
  std::ostringstream out;
  out << spec_of("C:\\a\\b");
  EXPECT_EQ(out.str(), "C:\\a\\b");
  std::istringstream in("C:\\x\\y\\  relative  ");
  UFileSpecCore spec;
  in >> spec;
  EXPECT_EQ(spec.path(), "C:\\x\\y");
  in >> spec;
  EXPECT_TRUE(spec.empty());
  in >> spec;  // nothing left
  EXPECT_TRUE(spec.empty());
  EXPECT_TRUE(spec_of("C:\\a") == spec_of("C:\\a\\"));
  EXPECT_FALSE(spec_of("C:\\a") == spec_of("c:\\a"));
}

// Every path operation takes any text without crashing or reading outside it.
TEST(FileSpecPathTest, HostileTextsNeverBreakPathOperations) {
  std::vector<ustring> texts = {"",
                                "\\",
                                "/",
                                "//",
                                "\\\\\\\\",
                                "C:",
                                "C:\\",
                                "?",
                                ".",
                                "..",
                                "C:\\..",
                                "a:",
                                ":\\",
                                "\xFF\xFE",
                                "C:\\\xC3",
                                ustring("\0", 1),
                                ustring("C:\0\\", 4)};
  texts.push_back(ustring(3000, '/'));
  texts.push_back(ustring(3000, '\\'));
  ustring deep("C:\\");
  for (int i = 0; i < 20000; ++i) deep += "a/";
  texts.push_back(deep);
  ustring dots;
  for (int i = 0; i < 5000; ++i) dots += "../";
  texts.push_back(dots);

  for (const vxp::PathStyle style : kBothStyles) {
    ScopedStyle scoped(style);
    for (const ustring& text : texts) {
      UFileSpecCore spec;
      if (spec.set_path(text)) {
        EXPECT_TRUE(UFileSpecCore::is_absolute_path(spec.path()));
        EXPECT_TRUE(spec.is_valid());
      } else {
        EXPECT_TRUE(spec.empty());
      }
      for (const ustring& other : texts) {
        UFileSpecCore appended = spec_of("C:\\base");
        if (!appended.append(other)) {
          EXPECT_TRUE(appended.empty());
        }
        (void)UFileSpecCore(other, spec).path();
      }
      (void)spec.leaf_name(false);
      (void)spec.extension();
      (void)spec.native_path();
      (void)spec.to_reference(spec_of("C:\\x"));
      UFileSpecCore other;
      (void)other.from_reference(std::vector<std::uint8_t>(text.begin(), text.end()), spec);
      (void)UFileSpecCore::split(text, '/');
      (void)UFileSpecCore::is_absolute_path(text);
      for (int i = 0; i < 4; ++i) spec.up();
      spec.set_extension(text);
    }
  }
}

// --- Native paths ----------------------------------------------------------

// A Windows path of exactly n UTF-16 units, made of "C:/" and "/"-separated
// components of ASCII letters, or of "é" (2 bytes, 1 unit) when wide is set.
ustring path_of_units(std::size_t n, bool wide = false, const char* root = "C:/") {
  ustring path(root);
  std::size_t units = path.size();
  while (units < n) {
    if (units % 20 == 19) {
      path.push_back('/');
    } else if (wide) {
      path.append("\xC3\xA9");
    } else {
      path.push_back('x');
    }
    ++units;
  }
  return path;
}

TEST(FileSpecNativePathTest, WindowsPathsLongerThan248UnitsGetTheExtendedForm) {
  ScopedStyle scoped(vxp::ePathStyle_Windows);
  for (const bool wide : {false, true}) {
    const UFileSpecCore at_limit(path_of_units(248, wide));
    const std::wstring plain = at_limit.native_path();
    EXPECT_EQ(plain.size(), 248u);
    EXPECT_EQ(plain, at_limit.path().to_wstring());  // "/" kept, no prefix

    const UFileSpecCore over(path_of_units(249, wide));
    std::wstring expected = L"\\\\?\\" + over.path().to_wstring();
    std::replace(expected.begin(), expected.end(), L'/', L'\\');
    EXPECT_EQ(over.native_path(), expected);
  }
  const UFileSpecCore network(path_of_units(300, false, "//server/share/"));
  const std::wstring native = network.native_path();
  EXPECT_EQ(native.substr(0, 21), L"\\\\?\\UNC\\server\\share\\");
  EXPECT_EQ(native.find(L'/'), std::wstring::npos);
  EXPECT_EQ(UFileSpecCore("C:\\a/b").native_path(), L"C:\\a/b");
}

TEST(FileSpecNativePathTest, PosixPathsPassUnchangedAtAnyLength) {
  ScopedStyle scoped(vxp::ePathStyle_Posix);
  const UFileSpecCore long_path(path_of_units(400, true, "/"));
  EXPECT_EQ(long_path.native_path(), long_path.path().to_wstring());
}

TEST(FileSpecNativePathTest, IllFormedUtf8GivesNoNativePathRatherThanAShorterOne) {
  for (const char* text : {"C:\\keep\\junk\\\xFF", "C:\\keep\\\xC3", "C:\\keep\\\xED\xA0\x80x"}) {
    const UFileSpecCore spec(text);
    ASSERT_FALSE(spec.empty()) << text;
    EXPECT_TRUE(spec.native_path().empty()) << text;
    EXPECT_FALSE(spec.exists());
    EXPECT_FALSE(spec.remove());
  }
  EXPECT_EQ(UFileSpecCore("C:\\\xE6\x97\xA5").native_path(), std::wstring(L"C:\\\x65E5"));
}

// --- References ------------------------------------------------------------

std::vector<std::uint8_t> blob_of(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(FileSpecReferenceTest, ReferencesAreRelativeToTheBaseAndResolveBack) {
  static const struct {
    const char* path;
    const char* base;
    const char* text;  // after "PATH:", before the NUL
  } kCases[] = {
      {"C:\\a\\b\\c.pdf", "C:\\a\\x", "../b/c.pdf"},
      {"C:\\a\\b\\c.pdf", "C:/a/x/y", "../../b/c.pdf"},
      {"C:\\a\\b", "C:\\a", "b"},  // a blob shorter than 8 bytes
      {"C:\\a", "C:\\a", ""},
      {"C:\\a", "C:\\a\\b\\c", "../.."},
      {"D:\\x\\y", "C:\\a", "D:\\x\\y"},  // other drive: the whole path
      {"\\\\srv\\share\\f", "\\\\srv\\share", "f"},
      {"C:\\a\\b", "", "C:\\a\\b"},
  };
  for (const auto& c : kCases) {
    const UFileSpecCore spec(c.path);
    const UFileSpecCore base = spec_of(c.base);
    const std::vector<std::uint8_t> blob = spec.to_reference(base);
    EXPECT_EQ(blob, blob_of(std::string("PATH:") + c.text + std::string(1, '\0'))) << c.path;

    UFileSpecCore back;
    ASSERT_TRUE(base.empty() ? back.from_reference(blob) : back.from_reference(blob, base)) << c.path;
    // Resolved paths use "/" where components were added.
    UFileSpecCore expected(c.path);
    ustring a = back.path(), b = expected.path();
    std::replace(a.begin(), a.end(), '\\', '/');
    std::replace(b.begin(), b.end(), '\\', '/');
    EXPECT_EQ(a, b) << c.path;
  }
  EXPECT_TRUE(UFileSpecCore().to_reference(spec_of("C:\\a")).empty());
}

TEST(FileSpecReferenceTest, MalformedBlobsAreRefused) {
  UFileSpecCore spec = spec_of("C:\\keep");
  EXPECT_FALSE(spec.from_reference(blob_of("")));
  EXPECT_TRUE(spec.empty());
  EXPECT_FALSE(spec.from_reference(blob_of("PATH")));
  EXPECT_FALSE(spec.from_reference(blob_of("FILE:C:\\x")));
  EXPECT_FALSE(spec.from_reference(blob_of("PATH:relative"), UFileSpecCore()));
  EXPECT_TRUE(spec.from_reference(blob_of("PATH:C:\\x")));  // no NUL: the text runs to the end
  EXPECT_EQ(spec.path(), "C:\\x");
  EXPECT_TRUE(spec.from_reference(blob_of(std::string("PATH:C:\\y\0trailing", 18))));
  EXPECT_EQ(spec.path(), "C:\\y");
  // Appending fails (climbs above the root): the text is tried as an absolute path.
  EXPECT_FALSE(spec.from_reference(blob_of("PATH:../../x"), spec_of("C:\\a")));
  EXPECT_TRUE(spec.from_reference(blob_of("PATH:C:\\abs"), spec_of("C:\\a")));
  EXPECT_EQ(spec.path(), "C:\\abs");
  UFileSpecCore self = spec_of("C:\\a\\b");
  EXPECT_TRUE(self.from_reference(blob_of("PATH:../c"), self));
  EXPECT_EQ(self.path(), "C:\\a/c");
}

// --- Special folders ---------------------------------------------------------

// Answers the folder queries from a table; an absent entry fails.
class FakeFolders : public vxp::PlatformWrapper {
 public:
  FakeFolders() : PlatformWrapper(vxp::native_platform()) {}
  vxp::PathStyle path_style() override { return vxp::ePathStyle_Windows; }
  bool shell_folder(vxp::ShellFolder folder, std::wstring* out) override {
    const auto found = shell.find(folder);
    return found != shell.end() && (*out = found->second, true);
  }
  bool current_directory(std::wstring* out) override { return answer(cwd, out); }
  bool executable_path(std::wstring* out) override { return answer(exe, out); }
  bool color_directory(std::wstring* out) override { return answer(color, out); }

  std::map<vxp::ShellFolder, std::wstring> shell;
  std::optional<std::wstring> cwd, exe, color;

 private:
  static bool answer(const std::optional<std::wstring>& value, std::wstring* out) {
    if (!value) return false;
    *out = *value;
    return true;
  }
};

TEST(FileSpecSpecialFolderTest, KindsMapToTheirFolders) {
  FakeFolders fake;
  fake.shell = {{vxp::eShellFolder_Documents, L"C:\\Users\\a\\Documents"},
                {vxp::eShellFolder_ApplicationData, L"C:\\Users\\a\\AppData\\Roaming\\"},
                {vxp::eShellFolder_CommonApplicationData, L"C:\\ProgramData"},
                {vxp::eShellFolder_Desktop, L"C:\\Users\\a\\Desktop"}};
  fake.cwd = L"D:\\work";
  fake.exe = L"C:\\Program Files\\Adobe\\Illustrator.exe";
  fake.color = L"C:\\Windows\\system32\\spool\\drivers\\color";
  vxp::ScopedPlatform scope(fake);

  static const struct {
    int kind;
    const char* path;
  } kCases[] = {
      {0, "C:\\Users\\a\\Documents"},
      {1, "D:\\work"},
      {2, "C:\\Program Files\\Adobe\\Illustrator.exe"},
      {3, "C:\\Program Files\\Adobe"},
      {4, "C:\\ProgramData"},
      {5, "C:\\Users\\a\\AppData\\Roaming"},
      {6, "C:\\Windows\\system32\\spool\\drivers\\color"},
      {7, "C:\\Users\\a\\Desktop"},
      {8, "C:\\ProgramData"},
      {9, "C:\\Users\\a\\Documents"},
  };
  for (const auto& c : kCases) {
    UFileSpecCore spec;
    EXPECT_TRUE(spec.set_special(c.kind)) << c.kind;
    EXPECT_EQ(spec.path(), c.path) << c.kind;
  }
  EXPECT_EQ(UFileSpecCore(UFileSpecCore::eSpecialFolder_Desktop).path(), "C:\\Users\\a\\Desktop");
}

TEST(FileSpecSpecialFolderTest, UnknownKindsAndOsFailuresLeaveItEmpty) {
  FakeFolders fake;    // knows nothing
  fake.exe = L"C:\\";  // the application file may be a root; its folder is not
  fake.color = L"relative\\color";
  vxp::ScopedPlatform scope(fake);
  for (const int kind : {-1, 0, 1, 3, 4, 5, 6, 7, 8, 9, 11, 1000}) {
    UFileSpecCore spec = spec_of("C:\\previous");
    EXPECT_FALSE(spec.set_special(kind)) << kind;
    EXPECT_TRUE(spec.empty()) << kind;
  }
  fake.cwd = std::wstring(L"C:\\bad\xD800name");  // unpaired surrogate: not cut short
  UFileSpecCore spec;
  EXPECT_FALSE(spec.set_special(1));
  EXPECT_TRUE(spec.empty());
}

// Sets an environment variable for one scope through the platform.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    std::string old;
    if (Platform::Default().environment_variable(name, &old)) old_ = old;
    Platform::Default().set_environment_variable(name, value);
  }
  ~ScopedEnvironment() {
    Platform::Default().set_environment_variable(name_, old_ ? old_->c_str() : nullptr);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(FileSpecSpecialFolderTest, PosixPlatformMapsFoldersToHomeAndXdgPlaces) {
  if (Platform::Default().path_style() != vxp::ePathStyle_Posix) GTEST_SKIP() << "POSIX mapping";
  ScopedEnvironment home("HOME", "/home/tester/");
  ScopedEnvironment color("VX_COLOR_DIR", "/opt/profiles");
  {
    ScopedEnvironment data("XDG_DATA_HOME", nullptr);
    static const struct {
      int kind;
      const char* path;
    } kCases[] = {
        {0, "/home/tester/Documents"}, {4, "/usr/local/share"},     {5, "/home/tester/.local/share"},
        {6, "/opt/profiles"},          {7, "/home/tester/Desktop"}, {8, "/usr/local/share"},
        {9, "/home/tester/Documents"},
    };
    for (const auto& c : kCases) {
      UFileSpecCore spec;
      EXPECT_TRUE(spec.set_special(c.kind)) << c.kind;
      EXPECT_EQ(spec.path(), c.path) << c.kind;
    }
  }
  {
    ScopedEnvironment data("XDG_DATA_HOME", "/xdg/data");
    EXPECT_EQ(UFileSpecCore(UFileSpecCore::eSpecialFolder_ApplicationData).path(), "/xdg/data");
  }
  {
    ScopedEnvironment no_color("VX_COLOR_DIR", nullptr);
    EXPECT_EQ(UFileSpecCore(UFileSpecCore::eSpecialFolder_ColorProfiles).path(), "/usr/share/color/icc");
  }
  {
    ScopedEnvironment no_home("HOME", nullptr);
    UFileSpecCore spec;
    EXPECT_FALSE(spec.set_special(0));
  }
  const UFileSpecCore exe(UFileSpecCore::eSpecialFolder_ApplicationFile);
  EXPECT_EQ(exe.leaf_name(), "filespec_test");
  EXPECT_TRUE(exe.is_file());
  UFileSpecCore folder(UFileSpecCore::eSpecialFolder_ApplicationFolder);
  EXPECT_TRUE(folder.append("filespec_test"));
  EXPECT_EQ(folder, exe);
  EXPECT_EQ(UFileSpecCore(UFileSpecCore::eSpecialFolder_CurrentDirectory).path(),
            ustring(fs::current_path().string()));
}

// --- Exit cleanups -------------------------------------------------------------

// Keeps the hook instead of installing it into the process.
class HookCatcher : public vxp::PlatformWrapper {
 public:
  HookCatcher() : PlatformWrapper(vxp::native_platform()) {}
  void install_exit_and_signal_hooks(void (*h)(int)) override { hook = h; }
  void (*hook)(int) = nullptr;
};

std::vector<std::string> cleanup_calls;

TEST(FileSpecCleanupTest, CleanupsRunOnceInOrderWithTheReason) {
  HookCatcher catcher;
  vxp::ScopedPlatform scope(catcher);
  cleanup_calls.clear();
  UFileSpecCore::on_exit_or_signal(
      [](int reason) { cleanup_calls.push_back("first " + std::to_string(reason)); });
  UFileSpecCore::on_exit_or_signal([](int) { throw std::runtime_error("swallowed"); });
  UFileSpecCore::on_exit_or_signal(
      [](int reason) { cleanup_calls.push_back("last " + std::to_string(reason)); });
  UFileSpecCore::on_exit_or_signal(nullptr);
  ASSERT_NE(catcher.hook, nullptr);
  catcher.hook(1);
  EXPECT_EQ(cleanup_calls, (std::vector<std::string>{"first 1", "last 1"}));
  catcher.hook(0);
  EXPECT_EQ(cleanup_calls.size(), 2u);

  UFileSpecCore::on_exit_or_signal(
      [](int reason) { cleanup_calls.push_back("later " + std::to_string(reason)); });
  catcher.hook(0);
  EXPECT_EQ(cleanup_calls.back(), "later 0");
}

// --- Real file operations ------------------------------------------------------

// A private folder per test, removed afterwards; POSIX only (the file
// services run against the real file system).
class FileSpecFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Platform::Default().path_style() != vxp::ePathStyle_Posix)
      GTEST_SKIP() << "needs the POSIX file system";
    static int serial = 0;
    root_path_ = fs::temp_directory_path() /
                 ("filespec_test_" + std::to_string(Platform::Default().current_process_id()) + "_" +
                  std::to_string(++serial));
    fs::remove_all(root_path_);
    fs::create_directories(root_path_);
    ASSERT_TRUE(root_.set_path(ustring(root_path_.string())));
  }
  void TearDown() override {
    std::error_code ec;
    if (!root_path_.empty()) {
      fs::permissions(root_path_, fs::perms::owner_all, fs::perm_options::add, ec);
      fs::remove_all(root_path_, ec);
    }
  }

  // The specification of a path below the private folder.
  UFileSpecCore at(const char* relative) const {
    UFileSpecCore spec(root_);
    EXPECT_TRUE(spec.append(relative)) << relative;
    return spec;
  }
  fs::path real(const char* relative) const { return root_path_ / relative; }
  void write(const char* relative, const std::string& content) const {
    fs::create_directories(real(relative).parent_path());
    std::ofstream(real(relative), std::ios::binary) << content;
  }
  std::string read(const char* relative) const {
    std::ifstream in(real(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::set<std::string> names_in(const char* relative) const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(real(relative)))
      names.insert(entry.path().filename().string());
    return names;
  }

  fs::path root_path_;
  UFileSpecCore root_;
};

TEST_F(FileSpecFileTest, QueriesTellFilesFoldersAndMissingEntriesApart) {
  write("f.txt", "hello");
  fs::create_directory(real("empty"));
  write("full/inner", "");
  static const struct {
    const char* path;
    bool exists, directory, file, empty_directory;
  } kCases[] = {
      {"f.txt", true, false, true, false},
      {"empty", true, true, false, true},
      {"full", true, true, false, false},
      {"missing", false, false, false, false},
  };
  for (const auto& c : kCases) {
    const UFileSpecCore spec = at(c.path);
    EXPECT_EQ(spec.exists(), c.exists) << c.path;
    EXPECT_EQ(spec.is_directory(), c.directory) << c.path;
    EXPECT_EQ(spec.is_file(), c.file) << c.path;
    EXPECT_EQ(spec.is_empty_directory(), c.empty_directory) << c.path;
  }
  EXPECT_FALSE(UFileSpecCore().exists());
  EXPECT_EQ(at("f.txt").file_size(), 5u);
  EXPECT_EQ(at("missing").file_size(), 0u);
}

TEST_F(FileSpecFileTest, ChildrenArePathPlusSlashPlusName) {
  write("dir/a", "");
  write("dir/b.txt", "");
  fs::create_directory(real("dir/sub"));
  std::set<std::string> children;
  for (const UFileSpecCore& child : at("dir").children()) children.insert(child.path().str());
  const std::string base = at("dir").path().str();
  EXPECT_EQ(children, (std::set<std::string>{base + "/a", base + "/b.txt", base + "/sub"}));
  EXPECT_TRUE(at("missing").children().empty());
  EXPECT_TRUE(at("dir/a").children().empty());
  EXPECT_TRUE(UFileSpecCore().children().empty());
}

TEST_F(FileSpecFileTest, TimesAreSecondsSince1970) {
  write("f", "x");
  const UFileSpecCore file = at("f");
  EXPECT_GT(file.creation_time(), 1600000000);
  EXPECT_TRUE(file.set_modification_time(1234567890));
  EXPECT_EQ(file.modification_time(), 1234567890);
  EXPECT_EQ(at("missing").modification_time(), 0);
  EXPECT_EQ(at("missing").creation_time(), 0);
  EXPECT_FALSE(at("missing").set_modification_time(5));
}

TEST_F(FileSpecFileTest, MkdirCreatesOneFolderAndLogsTheOsError) {
  CapturedLog log;
  EXPECT_TRUE(at("new").mkdir());
  EXPECT_TRUE(fs::is_directory(real("new")));
  EXPECT_TRUE(at("new").mkdir());  // already there: true, no line
  EXPECT_TRUE(log.lines().empty());

  EXPECT_FALSE(at("no/parent").mkdir());
  write("file", "");
  EXPECT_FALSE(at("file").mkdir());  // a file has the name: no folder
  EXPECT_FALSE(UFileSpecCore().mkdir());
  EXPECT_THAT(log.lines(),
              ::testing::ElementsAre(mkdir_line(ENOENT), mkdir_line(EEXIST), mkdir_line(ENOENT)));
}

TEST_F(FileSpecFileTest, MoveChecksDestinationThenSource) {
  write("src", "data");
  write("taken", "other");
  CapturedLog log;
  EXPECT_FALSE(at("src").move(UFileSpecCore()));
  EXPECT_FALSE(at("src").move(at("taken")));
  EXPECT_FALSE(at("missing").move(at("dest")));
  EXPECT_TRUE(at("src").move(at("dest")));
  EXPECT_THAT(log.lines(), ::testing::ElementsAre(kMoveInvalid, kMoveExisting, kMoveMissing));
  EXPECT_FALSE(fs::exists(real("src")));
  EXPECT_EQ(read("dest"), "data");
  EXPECT_EQ(read("taken"), "other");

  write("tree/x/y", "deep");
  EXPECT_TRUE(at("tree").move(at("moved")));
  EXPECT_EQ(read("moved/x/y"), "deep");
}

TEST_F(FileSpecFileTest, CopyFilesAndTrees) {
  write("f.txt", "file");
  write("tree/a", "A");
  write("tree/sub/b", "B");
  fs::create_directory(real("tree/empty"));
  fs::create_directory(real("into"));
  CapturedLog log;
  EXPECT_TRUE(at("f.txt").copy(at("g.txt")));
  EXPECT_TRUE(at("f.txt").copy(at("into")));  // existing folder: copied into it
  EXPECT_TRUE(at("tree").copy(at("copy")));
  EXPECT_TRUE(at("f.txt").copy(at("f.txt")));  // itself
  EXPECT_TRUE(log.lines().empty());
  EXPECT_EQ(read("g.txt"), "file");
  EXPECT_EQ(read("into/f.txt"), "file");
  EXPECT_EQ(read("copy/a"), "A");
  EXPECT_EQ(read("copy/sub/b"), "B");
  EXPECT_TRUE(fs::is_directory(real("copy/empty")));
  EXPECT_EQ(read("tree/a"), "A");
}

TEST_F(FileSpecFileTest, CopyRefusalsAreLogged) {
  write("f.txt", "new");
  write("old.txt", "old");
  write("into/f.txt", "kept");
  write("tree/a", "A");
  CapturedLog log;
  EXPECT_FALSE(at("f.txt").copy(UFileSpecCore()));
  EXPECT_FALSE(at("f.txt").copy(at("old.txt")));
  EXPECT_FALSE(at("f.txt").copy(at("into")));  // into/f.txt exists
  EXPECT_FALSE(at("missing").copy(at("x")));
  EXPECT_FALSE(at("tree").copy(at("tree/a/../inner")));
  EXPECT_THAT(log.lines(), ::testing::ElementsAre(kCopyInvalid, kCopyExisting, kCopyExisting, kCopyMissing,
                                                  kCopyIntoItself));
  EXPECT_EQ(read("old.txt"), "old");
  EXPECT_EQ(read("into/f.txt"), "kept");
  EXPECT_EQ(names_in("tree"), std::set<std::string>{"a"});
}

TEST_F(FileSpecFileTest, CopyOfAFolderIntoItsOwnTreeStopsAtOnce) {
  write("tree/a", "A");
  fs::create_directory(real("tree/sub"));
  CapturedLog log;
  EXPECT_FALSE(at("tree").copy(at("tree/sub")));  // target tree/sub/tree
  EXPECT_THAT(log.lines(), ::testing::ElementsAre(kCopyIntoItself));
  EXPECT_TRUE(fs::is_empty(real("tree/sub")));
}

TEST_F(FileSpecFileTest, CopyOfAnEmptyFolderFailsWhenItsCopyCannotBeMade) {
  fs::create_directory(real("empty"));
  CapturedLog log;
  EXPECT_FALSE(at("empty").copy(at("no/such/place")));
  EXPECT_THAT(log.lines(), ::testing::ElementsAre(mkdir_line(ENOENT)));
}

TEST_F(FileSpecFileTest, RemoveDeletesTreesButNeverEntersLinks) {
  write("tree/a", "A");
  write("tree/sub/deep/b", "B");
  write("outside/precious", "P");
  fs::create_directory_symlink(real("outside"), real("tree/link"));
  EXPECT_TRUE(at("tree").remove());
  EXPECT_FALSE(fs::exists(real("tree")));
  EXPECT_EQ(read("outside/precious"), "P");

  fs::create_directory_symlink(real("outside"), real("dirlink"));
  EXPECT_TRUE(at("dirlink").remove());
  EXPECT_FALSE(fs::exists(fs::symlink_status(real("dirlink"))));
  EXPECT_EQ(read("outside/precious"), "P");

  write("f", "");
  EXPECT_TRUE(at("f").remove());
  EXPECT_FALSE(at("missing").remove());
  EXPECT_FALSE(UFileSpecCore().remove());
}

TEST_F(FileSpecFileTest, RenameReplacesAnotherEntryButNeverItself) {
  write("a.txt", "A");
  write("b.txt", "B");
  UFileSpecCore a = at("a.txt");
  EXPECT_TRUE(a.rename("b.txt"));
  EXPECT_EQ(a, at("b.txt"));
  EXPECT_EQ(read("b.txt"), "A");
  EXPECT_FALSE(fs::exists(real("a.txt")));

  EXPECT_TRUE(a.rename("b.txt"));  // its own name
  EXPECT_EQ(read("b.txt"), "A");

  fs::create_hard_link(real("b.txt"), real("hard.txt"));
  UFileSpecCore linked = at("b.txt");
  EXPECT_FALSE(linked.rename("hard.txt"));  // the same file under another name
  EXPECT_EQ(read("b.txt"), "A");

  write("keep", "K");
  UFileSpecCore missing = at("missing");
  EXPECT_FALSE(missing.rename("keep"));
  EXPECT_EQ(read("keep"), "K");

  for (const char* bad : {"", ".", "..", "x/y", "x\\y", "?"}) {
    UFileSpecCore spec = at("b.txt");
    EXPECT_FALSE(spec.rename(bad)) << bad;
    EXPECT_EQ(read("b.txt"), "A");
    EXPECT_EQ(read("keep"), "K");
  }
}

TEST_F(FileSpecFileTest, RecycleMovesIntoTheTrashOfTheDataFolder) {
  const std::string data = (root_path_ / "data").string();
  ScopedEnvironment xdg("XDG_DATA_HOME", data.c_str());
  write("doc.pdf", "one");
  EXPECT_TRUE(at("doc.pdf").recycle());
  write("doc.pdf", "two");
  EXPECT_TRUE(at("doc.pdf").recycle());
  write("folder/x", "X");
  EXPECT_TRUE(at("folder").recycle());
  EXPECT_FALSE(fs::exists(real("doc.pdf")));
  EXPECT_FALSE(fs::exists(real("folder")));
  EXPECT_EQ(read("data/Trash/files/doc.pdf"), "one");
  EXPECT_EQ(read("data/Trash/files/doc.pdf.2"), "two");
  EXPECT_EQ(read("data/Trash/files/folder/x"), "X");
  const std::string info = read("data/Trash/info/doc.pdf.2.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + at("doc.pdf").path().str() + "\nDeletionDate=", 0), 0u)
      << info;

  CapturedLog log;
  EXPECT_FALSE(at("missing").recycle());
  EXPECT_THAT(log.lines(), ::testing::ElementsAre(kMoveMissing));
}

TEST_F(FileSpecFileTest, MakeUniqueCountsOnAndSkipsExistingNames) {
  UFileSpecCore first = root_;
  ASSERT_TRUE(first.make_unique("job", "pdf"));
  const std::string name = first.leaf_name().str();
  ASSERT_THAT(name, ::testing::MatchesRegex("job[0-9]+\\.pdf"));
  const long n = std::stol(name.substr(3));
  EXPECT_FALSE(first.exists());  // only the name is made

  UFileSpecCore second = root_;
  ASSERT_TRUE(second.make_unique("job", "pdf"));
  EXPECT_EQ(second.leaf_name(), "job" + std::to_string(n + 1) + ".pdf");

  write(("t" + std::to_string(n + 2)).c_str(), "");
  write(("t" + std::to_string(n + 3)).c_str(), "");
  UFileSpecCore skipped = root_;
  ASSERT_TRUE(skipped.make_unique("", ""));
  EXPECT_EQ(skipped.leaf_name(), "t" + std::to_string(n + 4));

  // A prefix with a dot keeps its number: no endless search for job.pdf.
  write("job.pdf", "");
  UFileSpecCore dotted = root_;
  ASSERT_TRUE(dotted.make_unique("job.v", "pdf"));
  EXPECT_EQ(dotted.leaf_name(), "job.v" + std::to_string(n + 5) + ".pdf");

  static const struct {
    const char* prefix;
    const char* ext;
  } kRefused[] = {{"../up", ""}, {"a/b", ""}, {"a\\b", ""}, {"a", "x/y"}, {"a?", ""}};
  for (const auto& c : kRefused) {
    UFileSpecCore spec = root_;
    EXPECT_FALSE(spec.make_unique(c.prefix, c.ext)) << c.prefix << " " << c.ext;
    EXPECT_EQ(spec, root_);
  }
  UFileSpecCore not_a_folder = at("job.pdf");
  EXPECT_FALSE(not_a_folder.make_unique("x", ""));
}

TEST_F(FileSpecFileTest, FilesAndStreamsOpenOnTheNativePath) {
  {
    std::ofstream out = at("s.bin").open_output(std::ios::out | std::ios::trunc | std::ios::binary);
    ASSERT_TRUE(out.is_open());
    out << "line\n" << 42;
  }
  {
    std::ifstream in = at("s.bin").open_input(std::ios::binary);
    ASSERT_TRUE(in.is_open());
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "line\n42");
  }
  {
    std::fstream both = at("s.bin").open_stream(std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(both.is_open());
    both.seekp(0);
    both << "LINE";
  }
  std::FILE* file = at("s.bin").open_file("rb");
  ASSERT_NE(file, nullptr);
  char buf[16] = {};
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, file), 7u);
  std::fclose(file);
  EXPECT_STREQ(buf, "LINE\n42");

  std::ifstream missing = at("missing").open_input();
  EXPECT_FALSE(missing.is_open());
  EXPECT_TRUE(missing.fail());
  EXPECT_FALSE(UFileSpecCore().open_output().is_open());
  EXPECT_EQ(at("missing").open_file("rb"), nullptr);
  EXPECT_EQ(UFileSpecCore().open_file("rb"), nullptr);
}

TEST_F(FileSpecFileTest, TemporaryDescriptorsAndTheirFailureLine) {
  const int fd = at("scratch.tmp").open_temporary();
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(fs::exists(real("scratch.tmp")));  // nameless on POSIX
  EXPECT_EQ(UFileSpecCore::close_temporary(fd), 0);

  CapturedLog log;
  EXPECT_LT(at("no/such/dir/x.tmp").open_temporary(), 0);
  EXPECT_THAT(log.lines(), ::testing::ElementsAre(
                               std::string("[ERROR][UFileSpecCore.cpp:UFileSpecCore::open_temporary:1342] ") +
                               std::strerror(ENOENT)));
}

TEST_F(FileSpecFileTest, PathsLongerThanTheWindowsLimitWorkOnPosix) {
  UFileSpecCore deep = root_;
  while (deep.path().size() < 600) {
    ASSERT_TRUE(deep.append("a_rather_long_folder_name_to_grow_the_path"));
    ASSERT_TRUE(deep.mkdir());
  }
  ASSERT_TRUE(deep.append("file.txt"));
  {
    std::ofstream out = deep.open_output();
    out << "far";
  }
  EXPECT_TRUE(deep.is_file());
  EXPECT_EQ(deep.file_size(), 3u);
  EXPECT_TRUE(root_.children().front().remove());
  EXPECT_TRUE(root_.is_empty_directory());
}

// --- Scratch folder (each case in a child process: the state is per process) --

// The native platform with a temporary folder, process id and path style of
// the test's choice.
class ScratchPlatform : public vxp::PlatformWrapper {
 public:
  ScratchPlatform(std::wstring temporary, std::uint32_t pid)
      : PlatformWrapper(vxp::native_platform()), temporary_(std::move(temporary)), pid_(pid) {}
  bool temporary_directory(std::wstring* out) override {
    *out = temporary_;
    return true;
  }
  std::uint32_t current_process_id() override { return pid_; }

 private:
  std::wstring temporary_;
  std::uint32_t pid_;
};

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)

// Runs in the child: creates the scratch folder (after an old one is left
// over), puts a file into it, then ends with `end`. Exit code 3 reports a
// failed expectation inside the child.
void use_scratch_folder_then(const fs::path& temporary, void (*end)()) {
  ScratchPlatform fake(ustring((temporary.string() + "/").c_str()).to_wstring(), 4312);
  vxp::ScopedPlatform scope(fake);
  const UFileSpecCore folder = UFileSpecCore::temporary_folder();
  bool ok = folder.path() == ustring((temporary / "vx4312").string()) && folder.is_directory() &&
            folder.is_empty_directory();  // the leftover went
  UFileSpecCore again;
  ok = ok && again.set_special(10) && again == folder;
  UFileSpecCore file = folder;
  ok = ok && file.append("work.txt");
  {
    std::ofstream out = file.open_output();
    out << "scratch";
  }
  ok = ok && file.is_file();
  if (!ok) std::_Exit(3);
  end();
}

TEST_F(FileSpecFileTest, ScratchFolderIsRemovedAtExit) {
  write("vx4312/leftover", "old");
  EXPECT_EXIT(use_scratch_folder_then(root_path_, [] { std::exit(0); }), ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(fs::is_empty(root_path_));
}

TEST_F(FileSpecFileTest, ScratchFolderIsRemovedOnASignalWhichStillEndsTheProcess) {
  write("vx4312/leftover", "old");
  EXPECT_EXIT(use_scratch_folder_then(root_path_, [] { std::raise(SIGTERM); }),
              ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_TRUE(fs::is_empty(root_path_));
}

TEST_F(FileSpecFileTest, ScratchFolderNameFollowsTheTemporaryPath) {
  // Windows-form text: the folder name is added after the OS's own trailing
  // separator. The file services see paths they cannot reach here, so
  // creation fails; only the composed path is checked.
  auto child = [] {
    class WindowsTemp : public ScratchPlatform {
     public:
      WindowsTemp() : ScratchPlatform(L"C:\\Users\\a\\AppData\\Local\\Temp\\", 4312) {}
      vxp::PathStyle path_style() override { return vxp::ePathStyle_Windows; }
      vxp::CreateDirectoryResult create_directory(const std::wstring& path, std::uint32_t*) override {
        made = path;
        return vxp::eCreateDirectory_Created;
      }
      void install_exit_and_signal_hooks(void (*)(int)) override {}
      std::wstring made;
    } fake;
    vxp::ScopedPlatform scope(fake);
    UFileSpecCore folder;
    const bool ok = folder.set_special(10) && folder.path() == "C:\\Users\\a\\AppData\\Local\\Temp\\vx4312" &&
                    fake.made == L"C:\\Users\\a\\AppData\\Local\\Temp\\vx4312";
    std::_Exit(ok ? 0 : 3);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

TEST_F(FileSpecFileTest, ScratchFolderFailsWithoutATemporaryPath) {
  auto child = [] {
    class NoTemp : public vxp::PlatformWrapper {
     public:
      NoTemp() : PlatformWrapper(vxp::native_platform()) {}
      bool temporary_directory(std::wstring*) override { return false; }
    } fake;
    vxp::ScopedPlatform scope(fake);
    UFileSpecCore folder = UFileSpecCore::temporary_folder();
    std::_Exit(folder.empty() ? 0 : 3);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

#endif

}  // namespace
