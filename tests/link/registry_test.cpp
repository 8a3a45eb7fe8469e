// The registry stand-in: folders for keys, one file per value.
#include <gtest/gtest.h>

#include <string>

#include "link_test_support.h"
#include "platform/Link.h"

namespace {

namespace fs = std::filesystem;
using vxlinktest::ScopedEnvironment;
using vxlinktest::TempFolder;

constexpr auto kUser = vxp::eRegistryHive_CurrentUser;
const std::string kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Veloxa6.exe";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    env_.set("VX_REGISTRY_DIR", root_.c_str());
  }

  // The folder of a key under HKEY_CURRENT_USER, created.
  std::string key_folder(const std::string& relative) {
    const std::string folder = root_ + "/HKEY_CURRENT_USER/" + relative;
    fs::create_directories(folder);
    return folder;
  }

  static bool read(const std::string& key, const std::string& value_name, std::string* value) {
    return vxp::LinkService::Default().read_registry_text(kUser, key, value_name, value);
  }
  static bool write(const std::string& key, const std::string& value_name, const std::string& value) {
    return vxp::LinkService::Default().write_registry_text(kUser, key, value_name, value);
  }

  TempFolder temp_;
  const std::string root_ = temp_ / "reg";
  ScopedEnvironment env_;
};

TEST_F(RegistryTest, ValueFilesAreReadAsAnInstallerOrEchoLeavesThem) {
  const std::string longest(16383, 'a');
  const struct {
    const char* what;
    std::string file_name;
    std::string content;
    bool ok;
    std::string value;
  } cases[] = {
      {"default value written by echo", "@", "/opt/Veloxa/Veloxa6\n", true, "/opt/Veloxa/Veloxa6"},
      {"without line feed", "@", "/opt/Veloxa/Veloxa6", true, "/opt/Veloxa/Veloxa6"},
      {"named value", "Path", "/opt/Veloxa", true, "/opt/Veloxa"},
      {"only one line feed removed", "@", "two\n\n", true, "two\n"},
      {"carriage return kept", "@", "dos\r\n", true, "dos\r"},
      {"text ends at NUL", "@", std::string("cut\0rest\n", 9), true, "cut"},
      {"empty file", "@", "", true, ""},
      {"only a line feed", "@", "\n", true, ""},
      {"UTF-8 text", "@", "/home/j\xC3\xBCrgen/Veloxa \xE6\x97\xA5\n", true,
       "/home/j\xC3\xBCrgen/Veloxa \xE6\x97\xA5"},
      {"longest text with line feed", "@", longest + "\n", true, longest},
      {"longest text", "@", longest, true, longest},
      {"one byte too long", "@", longest + "a", false, ""},
      {"one byte too long with line feed", "@", longest + "a\n", false, ""},
      {"far too long", "@", std::string(100000, 'b'), false, ""},
      {"not UTF-8", "@", "caf\xE9\n", false, ""},
      {"cut UTF-8 sequence", "@", "\xE6\x97", false, ""},
  };
  const std::string folder = key_folder("SOFTWARE/Microsoft/Windows/CurrentVersion/App Paths/Veloxa6.exe");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(folder + "/@");
    fs::remove(folder + "/Path");
    vxlinktest::write_file(folder + "/" + c.file_name, c.content);
    std::string value = "stale";
    EXPECT_EQ(read(kAppPaths, c.file_name == "@" ? "" : c.file_name, &value), c.ok);
    EXPECT_TRUE(value == c.value) << value.size() << " bytes: " << value.substr(0, 40);
  }
}

TEST_F(RegistryTest, KeyLevelsAreFoldersMatchedExactly) {
  vxlinktest::write_file(key_folder("A/B") + "/@", "found\n");
  std::string value;
  EXPECT_TRUE(read("A\\B", "", &value));
  EXPECT_EQ(value, "found");
  EXPECT_FALSE(read("a\\b", "", &value));  // names are matched exactly
  EXPECT_FALSE(read("A", "B", &value));    // a key is no value
}

TEST_F(RegistryTest, MissingKeyValueOrHiveIsFalseAndEmpty) {
  key_folder("Present");
  std::string value = "stale";
  EXPECT_FALSE(read("Absent\\Key", "", &value));
  EXPECT_EQ(value, "");
  value = "stale";
  EXPECT_FALSE(read("Present", "", &value));
  EXPECT_EQ(value, "");
  value = "stale";
  EXPECT_FALSE(vxp::LinkService::Default().read_registry_text(static_cast<vxp::RegistryHive>(7), "Present",
                                                              "", &value));
  EXPECT_EQ(value, "");
}

TEST_F(RegistryTest, OnlyRegularFilesAreValues) {
  const std::string folder = key_folder("K");
  fs::create_directory(folder + "/@");
  vxlinktest::write_file(folder + "/target", "through link\n");
  fs::create_symlink(folder + "/missing", folder + "/dangling");
  std::string value = "stale";
  EXPECT_FALSE(read("K", "", &value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(read("K", "dangling", &value));
  EXPECT_EQ(value, "");
}

TEST_F(RegistryTest, BadKeyOrValueNamesAreRefusedAndNothingEscapesTheRoot) {
  key_folder("K");
  vxlinktest::write_file(temp_ / "secret", "outside\n");
  static const struct {
    const char* key;
    const char* value_name;
  } cases[] = {
      {"", ""},
      {"\\K", ""},
      {"K\\", ""},
      {"K\\\\L", ""},
      {"K\\.\\L", ""},
      {"K\\..\\..", "secret"},
      {"..\\..", "secret"},
      {"K/L", ""},
      {"K", ".."},
      {"K", "."},
      {"K", "a/b"},
      {"K", "../../../secret"},
      {"K", "@"},
      {"K", ".hidden"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " / " + c.value_name);
    std::string value = "stale";
    EXPECT_FALSE(read(c.key, c.value_name, &value));
    EXPECT_EQ(value, "");
    EXPECT_FALSE(write(c.key, c.value_name, "written"));
  }
  std::string value;
  EXPECT_FALSE(read("K", std::string("a\0b", 3), &value));
  EXPECT_FALSE(write(std::string("K\0L", 3), "", "written"));
  EXPECT_EQ(vxlinktest::read_file(temp_ / "secret"), "outside\n");
  EXPECT_FALSE(fs::exists(temp_ / "written"));
}

TEST_F(RegistryTest, WrittenValuesReadBackUnchanged) {
  static const std::string values[] = {
      "/opt/Veloxa/Veloxa6", "", "ends in a line feed\n", std::string(16383, 'z'), "\xE2\x82\xAC 5",
  };
  for (const std::string& written : values) {
    SCOPED_TRACE(written.substr(0, 20));
    ASSERT_TRUE(write(kAppPaths, "", written));
    std::string value;
    EXPECT_TRUE(read(kAppPaths, "", &value));
    EXPECT_TRUE(value == written) << value.size() << " bytes: " << value.substr(0, 40);
  }
  // The file is what `echo TEXT > @` gives, in private folders, with no
  // temporary file left behind.
  ASSERT_TRUE(write(kAppPaths, "", "/opt/Veloxa/Veloxa6"));
  const std::string folder =
      root_ + "/HKEY_CURRENT_USER/SOFTWARE/Microsoft/Windows/CurrentVersion/App Paths/Veloxa6.exe";
  EXPECT_EQ(vxlinktest::read_file(folder + "/@"), "/opt/Veloxa/Veloxa6\n");
  EXPECT_EQ(vxlinktest::mode_of(folder), fs::perms::owner_all);
  EXPECT_EQ(vxlinktest::mode_of(root_ + "/HKEY_CURRENT_USER"), fs::perms::owner_all);
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    EXPECT_EQ(entry.path().filename(), "@");
    ++entries;
  }
  EXPECT_EQ(entries, 1);

  ASSERT_TRUE(write(kAppPaths, "Path", "/opt/Veloxa"));
  std::string value;
  EXPECT_TRUE(read(kAppPaths, "Path", &value));
  EXPECT_EQ(value, "/opt/Veloxa");
  EXPECT_TRUE(read(kAppPaths, "", &value));
  EXPECT_EQ(value, "/opt/Veloxa/Veloxa6");
}

TEST_F(RegistryTest, ValuesThatCannotBeReadBackAreNotWritten) {
  EXPECT_FALSE(write("K", "", std::string(16384, 'z')));
  EXPECT_FALSE(write("K", "", std::string("a\0b", 3)));
  EXPECT_FALSE(write("K", "", "caf\xE9"));
  ASSERT_TRUE(write("K", "", "kept"));
  EXPECT_FALSE(write("K", "", std::string(16384, 'z')));
  std::string value;
  EXPECT_TRUE(read("K", "", &value));
  EXPECT_EQ(value, "kept");
}

TEST_F(RegistryTest, WriteOverAFolderFailsAndLeavesNoTemporaryFile) {
  const std::string folder = key_folder("K");
  fs::create_directory(folder + "/@");
  EXPECT_FALSE(write("K", "", "text"));
  EXPECT_TRUE(fs::is_directory(folder + "/@"));
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(RegistryTest, RootComesFromTheEnvironment) {
  static const struct {
    const char* what;
    const char* registry_dir;
    const char* config_home;
    const char* home;
    const char* root;  // below the temporary folder; null: no registry
  } cases[] = {
      {"explicit root", "/chosen", "/config", "/home", "/chosen"},
      {"config home", nullptr, "/config", "/home", "/config/vx/registry"},
      {"empty explicit root ignored", "", "/config", "/home", "/config/vx/registry"},
      {"home", nullptr, nullptr, "/home", "/home/.config/vx/registry"},
      {"relative config home ignored", nullptr, "relative", "/home", "/home/.config/vx/registry"},
      {"relative explicit root fails", "relative", "/config", "/home", nullptr},
      {"nothing", nullptr, nullptr, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedEnvironment env;
    const auto in_temp = [this](const char* path) {
      return path == nullptr || path[0] != '/' ? std::string(path ? path : "") : temp_.path() + path;
    };
    const std::string registry_dir = in_temp(c.registry_dir), config_home = in_temp(c.config_home),
                      home = in_temp(c.home);
    env.set("VX_REGISTRY_DIR", c.registry_dir ? registry_dir.c_str() : nullptr);
    env.set("XDG_CONFIG_HOME", c.config_home ? config_home.c_str() : nullptr);
    env.set("HOME", c.home ? home.c_str() : nullptr);
    const bool written = write("K", "", c.what);
    EXPECT_EQ(written, c.root != nullptr);
    if (c.root != nullptr) {
      EXPECT_EQ(vxlinktest::read_file(temp_.path() + c.root + "/HKEY_CURRENT_USER/K/@"),
                std::string(c.what) + "\n");
      fs::remove_all(temp_.path() + c.root);
    }
  }
}

}  // namespace
