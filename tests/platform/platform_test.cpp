#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <set>
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

}  // namespace
