#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

namespace {

TEST(PlatformTest, ThreadIdsDifferBetweenThreadsAndAreStableWithinOne) {
  vxp::Platform& platform = vxp::Platform::Default();
  const std::uint32_t here = platform.current_thread_id();
  EXPECT_EQ(here, platform.current_thread_id());
  std::uint32_t there = here;
  std::thread([&] { there = platform.current_thread_id(); }).join();
  EXPECT_NE(here, there);
}

TEST(PlatformTest, LocalTimeOfKnownInstantIsPlausible) {
  std::tm tm{};
  ASSERT_TRUE(vxp::Platform::Default().local_time(1700000000, &tm));  // 2023-11-14
  EXPECT_EQ(tm.tm_year, 123);
  EXPECT_EQ(tm.tm_mon, 10);
  EXPECT_GE(tm.tm_mday, 14);
  EXPECT_LE(tm.tm_mday, 15);
}

TEST(PlatformTest, UuidsAreVersion4AndDistinct) {
  std::set<std::basic_string<std::uint8_t>> seen;
  for (int i = 0; i < 100; ++i) {
    std::uint8_t id[16];
    vxp::Platform::Default().create_uuid(id);
    EXPECT_EQ(id[7] & 0xF0, 0x40);
    EXPECT_EQ(id[8] & 0xC0, 0x80);
    seen.emplace(id, 16);
  }
  EXPECT_EQ(seen.size(), 100u);
}

class FixedClock : public vxp::PlatformWrapper {
 public:
  using PlatformWrapper::PlatformWrapper;
  std::int64_t wall_clock_seconds() override { return 42; }
};

TEST(PlatformTest, ScopedPlatformInstallsAndRestoresADouble) {
  vxp::Platform& native = vxp::Platform::Default();
  {
    FixedClock clock(native);
    vxp::ScopedPlatform scope(clock);
    EXPECT_EQ(vxp::Platform::Default().wall_clock_seconds(), 42);
    EXPECT_EQ(vxp::Platform::Default().current_thread_id(), native.current_thread_id());
  }
  EXPECT_EQ(&vxp::Platform::Default(), &native);
}

// Readers of untrusted paths (colour profiles) read only plain files: a
// device or a pipe may never end or block the host.
TEST(PlatformTest, FileStatusTellsPlainFilesFromEverythingElse) {
  vxp::Platform& os = vxp::Platform::Default();
  if (os.path_style() != vxp::ePathStyle_Posix) GTEST_SKIP() << "POSIX paths";
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::temp_directory_path() / ("platform_test_" + std::to_string(os.current_process_id()));
  fs::remove_all(folder);
  fs::create_directories(folder / "folder");
  std::ofstream(folder / "plain") << "bytes";
  fs::create_symlink(folder / "plain", folder / "link");
  fs::create_symlink(folder / "gone", folder / "dangling");
  struct Case {
    fs::path path;
    bool exists;
    bool regular;
  };
  const Case cases[] = {
      {folder / "plain", true, true}, {folder / "link", true, true},      {folder / "folder", true, false},
      {"/dev/null", true, false},     {folder / "dangling", true, false}, {folder / "missing", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string());
    const vxp::FileStatus status = os.file_status(c.path.wstring());
    EXPECT_EQ(status.exists, c.exists);
    EXPECT_EQ(status.is_regular, c.regular);
  }
  fs::remove_all(folder);
}

}  // namespace
