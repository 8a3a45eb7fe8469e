// The runtime folder R: where it is, how it is made, what is refused.
#include <gtest/gtest.h>

#include <string>

#include "link_test_support.h"
#include "platform/Link.h"

namespace {

namespace fs = std::filesystem;
using vxlinktest::ScopedEnvironment;
using vxlinktest::TempFolder;

bool runtime_directory(std::string* path, std::string* error) {
  return vxp::LinkService::Default().runtime_directory(path, error);
}

TEST(RuntimeDirTest, MadePrivateWithItsPipeAndWindowFolders) {
  TempFolder temp;
  ScopedEnvironment env;
  const std::string r = temp / "r";
  env.set("VX_RUNTIME_DIR", (r + "/").c_str());  // a trailing slash names the same folder
  std::string path, error;
  ASSERT_TRUE(runtime_directory(&path, &error)) << error;
  EXPECT_EQ(path, r);
  for (const std::string& folder : {r, r + "/pipe", r + "/hwnd"}) {
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(folder))) << folder;
    EXPECT_EQ(vxlinktest::mode_of(folder), fs::perms::owner_all) << folder;
  }
  // Asking again finds it as it is.
  EXPECT_TRUE(runtime_directory(&path, &error)) << error;
}

TEST(RuntimeDirTest, LocationFollowsTheEnvironment) {
  TempFolder temp;
  static const struct {
    const char* what;
    const char* runtime_dir;  // paths below the temporary folder
    const char* xdg_runtime_dir;
    const char* tmpdir;
    std::string expected;
  } cases[] = {
      {"explicit", "/mine", "/xdg", "/t", "/mine"},
      {"desktop session", nullptr, "/xdg", "/t", "/xdg/vx"},
      {"empty explicit ignored", "", "/xdg", "/t", "/xdg/vx"},
      {"temporary folder", nullptr, nullptr, "/t", "/t/vx-"},
      {"relative session folder ignored", nullptr, "xdg", "/t", "/t/vx-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedEnvironment env;
    fs::create_directory(temp / "xdg");
    fs::create_directory(temp / "t");
    const auto in_temp = [&temp](const char* p) { return p[0] == '/' ? temp.path() + p : std::string(p); };
    env.set("VX_RUNTIME_DIR", c.runtime_dir ? in_temp(c.runtime_dir).c_str() : nullptr);
    env.set("XDG_RUNTIME_DIR", c.xdg_runtime_dir ? in_temp(c.xdg_runtime_dir).c_str() : nullptr);
    env.set("TMPDIR", c.tmpdir ? in_temp(c.tmpdir).c_str() : nullptr);
    std::string path, error;
    ASSERT_TRUE(runtime_directory(&path, &error)) << error;
    // The last case's folder carries the user's number.
    EXPECT_EQ(path.substr(0, temp.path().size() + c.expected.size()), temp.path() + c.expected);
    EXPECT_TRUE(fs::is_directory(path + "/pipe"));
  }
}

TEST(RuntimeDirTest, UnsafeOrUnusablePlacesAreRefusedWithTheReason) {
  static const struct {
    const char* what;
    const char* runtime_dir;  // below the temporary folder unless absolute-looking is wanted
  } cases[] = {
      {"link to a private folder", "link"}, {"folder open to the group", "shared"},
      {"folder open to others", "public"},  {"file", "file"},
      {"pipe folder is a link", "badpipe"}, {"window folder open to others", "badhwnd"},
      {"parent missing", "missing/r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder temp;
    fs::create_directory(temp / "private");
    fs::permissions(temp / "private", fs::perms::owner_all);
    fs::create_directory_symlink(temp / "private", temp / "link");
    fs::create_directory(temp / "shared");
    fs::permissions(temp / "shared", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    fs::create_directory(temp / "public");
    fs::permissions(temp / "public", fs::perms::owner_all | fs::perms::others_exec);
    vxlinktest::write_file(temp / "file", "");
    fs::create_directory(temp / "badpipe");
    fs::permissions(temp / "badpipe", fs::perms::owner_all);
    fs::create_directory_symlink(temp / "private", temp / "badpipe/pipe");
    fs::create_directory(temp / "badhwnd");
    fs::permissions(temp / "badhwnd", fs::perms::owner_all);
    fs::create_directory(temp / "badhwnd/hwnd");
    fs::permissions(temp / "badhwnd/hwnd", fs::perms::owner_all | fs::perms::others_read);

    ScopedEnvironment env;
    const std::string chosen = temp / c.runtime_dir;
    env.set("VX_RUNTIME_DIR", chosen.c_str());
    std::string path = "untouched", error;
    EXPECT_FALSE(runtime_directory(&path, &error));
    EXPECT_EQ(path, "untouched");
    EXPECT_NE(error.find(temp.path()), std::string::npos) << error;
    // Nothing was made safe behind the user's back.
    EXPECT_EQ(vxlinktest::mode_of(temp / "shared"),
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    EXPECT_TRUE(fs::is_empty(temp / "private"));
  }
}

TEST(RuntimeDirTest, RelativeFolderIsRefused) {
  ScopedEnvironment env;
  env.set("VX_RUNTIME_DIR", "relative/r");
  std::string path, error;
  EXPECT_FALSE(runtime_directory(&path, &error));
  EXPECT_NE(error.find("relative/r"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists("relative"));
}

}  // namespace
