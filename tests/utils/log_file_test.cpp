// The logger's copy stream and the log file behind it.
#include "utils/LogFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <streambuf>
#include <string>

#include "platform/Platform.h"
#include "utils/Logger.h"

namespace {

namespace fs = std::filesystem;

constexpr vxu::LogSite kSite{"Source\\Here", 12, "Here"};

// A stream buffer that counts how often it is flushed.
class CountingBuf : public std::stringbuf {
 public:
  int flushes = 0;

 protected:
  int sync() override {
    ++flushes;
    return std::stringbuf::sync();
  }
};

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(LogCopyTest, EveryLineReachesBothStreamsWholeAndTheCopyIsFlushedEachTime) {
  std::ostringstream own;
  CountingBuf copy_buf;
  std::ostream copy(&copy_buf);
  vxu::Logger<127> logger(own);
  logger.set_copy_stream(&copy);
  VX_LOG_TO(logger, vxu::eLogLevel_Debug, kSite) << "first " << 1;
  VX_LOG_TO(logger, vxu::eLogLevel_Error, kSite) << "second\nline";
  EXPECT_EQ(copy_buf.str(), own.str());
  EXPECT_NE(own.str().find("[Here:Here:12] first 1\n"), std::string::npos) << own.str();
  EXPECT_NE(own.str().find("] second\\nline\n"), std::string::npos) << own.str();
  EXPECT_EQ(copy_buf.flushes, 2);

  // A level the logger's mask leaves out reaches neither.
  logger.set_mask(vxu::eLogLevel_Error);
  VX_LOG_TO(logger, vxu::eLogLevel_Debug, kSite) << "masked";
  EXPECT_EQ(copy_buf.str(), own.str());

  logger.set_copy_stream(nullptr);
  VX_LOG_TO(logger, vxu::eLogLevel_Error, kSite) << "own only";
  EXPECT_NE(own.str().find("own only"), std::string::npos);
  EXPECT_EQ(copy_buf.str().find("own only"), std::string::npos);
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (vxp::Platform::Default().path_style() != vxp::ePathStyle_Posix) GTEST_SKIP() << "POSIX paths";
    folder_ = fs::temp_directory_path() /
              ("log_file_test_" + std::to_string(vxp::Platform::Default().current_process_id()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  fs::path folder_;
};

TEST_F(LogFileTest, LinesAreAppendedAfterWhatTheFileHeld) {
  const fs::path log = folder_ / "plugin.log";
  std::ofstream(log, std::ios::binary) << "earlier run\n";
  std::ostringstream own;
  vxu::Logger<127> logger(own);
  ASSERT_TRUE(vxu::append_log_file(logger, ustring(log.string())));
  EXPECT_EQ(vxu::log_file_path(logger), ustring(log.string()));
  VX_LOG_TO(logger, vxu::eLogLevel_Warn, kSite) << "now";
  // Asking again for the same file keeps the one stream: no line twice.
  ASSERT_TRUE(vxu::append_log_file(logger, ustring(log.string())));
  VX_LOG_TO(logger, vxu::eLogLevel_Warn, kSite) << "again";
  EXPECT_EQ(FileText(log), "earlier run\n" + own.str());
}

TEST_F(LogFileTest, AFileThatCannotBeOpenedLeavesTheCopyAsItWas) {
  std::ostringstream own;
  std::ostringstream copy;
  vxu::Logger<127> logger(own);
  logger.set_copy_stream(&copy);
  const fs::path cases[] = {folder_ / "missing-folder" / "plugin.log", folder_};
  for (const fs::path& path : cases) {
    SCOPED_TRACE(path.string());
    EXPECT_FALSE(vxu::append_log_file(logger, ustring(path.string())));
    EXPECT_EQ(logger.copy_stream(), &copy);
  }
  EXPECT_FALSE(vxu::append_log_file(logger, ustring()));
  EXPECT_EQ(logger.copy_stream(), &copy);
}

}  // namespace
