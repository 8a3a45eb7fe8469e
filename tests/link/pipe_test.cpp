// Pipes of the link service, over real Unix sockets in a private runtime
// folder.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link_test_support.h"
#include "platform/Link.h"
#include "platform/Process.h"

namespace {

namespace fs = std::filesystem;
using vxlinktest::ScopedEnvironment;
using vxlinktest::TempFolder;

constexpr std::size_t kNoLimit = 64u << 20;

std::string pipe_name(const std::string& short_name) { return "\\\\.\\pipe\\" + short_name; }

// Bytes of every value, in an order that shows shifted or dropped bytes.
std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return bytes;
}

class PipeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    env_.set("VX_RUNTIME_DIR", runtime_.c_str());
  }

  std::unique_ptr<vxp::PipeServer> serve(const std::string& short_name,
                                         vxp::PipeServeMode mode = vxp::ePipeServe_Accept) {
    vxp::PipeError error = vxp::ePipeError_None;
    auto server = link().serve_pipe(pipe_name(short_name), mode, &error);
    EXPECT_TRUE(server) << "serve_pipe error " << error;
    return server;
  }

  vxp::PipeError open_error(const std::string& name) {
    vxp::PipeError error = vxp::ePipeError_None;
    auto connection = link().open_pipe(name, &error);
    EXPECT_EQ(connection == nullptr, error != vxp::ePipeError_None);
    return error;
  }

  // Sends one message as the plug-in does, in pieces of at most `piece`
  // bytes: every byte written, then the connection closed.
  static bool send(const std::string& short_name, const std::string& message, std::size_t piece) {
    vxp::PipeError error;
    auto connection = link().open_pipe(pipe_name(short_name), &error);
    if (!connection) return false;
    for (std::size_t done = 0; done < message.size();) {
      std::size_t written = 0;
      const std::size_t size = std::min(piece, message.size() - done);
      if (!connection->write(message.data() + done, size, &written) || written == 0 || written > size)
        return false;
      done += written;
    }
    return true;
  }

  static vxp::LinkService& link() { return vxp::LinkService::Default(); }
  std::string socket_path(const std::string& short_name) const { return runtime_ + "/pipe/" + short_name; }

  TempFolder temp_;
  const std::string runtime_ = temp_ / "r";
  ScopedEnvironment env_;
};

TEST_F(PipeTest, MessageArrivesByteForByte) {
  static const struct {
    std::size_t size;
    std::size_t piece;
  } cases[] = {
      {1, 1}, {300, 1}, {1000, 2}, {4099, 3}, {10000, 7}, {70001, 13}, {200003, 1024}, {6u << 20, 6u << 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("size " + std::to_string(c.size) + " in pieces of " + std::to_string(c.piece));
    auto server = serve("VeloxaIPC.alice");
    ASSERT_TRUE(server);
    const std::string message = pattern(c.size);
    bool sent = false;
    std::thread client([&] { sent = send("VeloxaIPC.alice", message, c.piece); });
    std::string received;
    bool timed_out = true;
    const bool ok = server->receive(10000, kNoLimit, &received, &timed_out);
    server.reset();  // a writer still waiting gives up now
    client.join();
    EXPECT_TRUE(ok);
    EXPECT_FALSE(timed_out);
    EXPECT_TRUE(sent);
    EXPECT_EQ(received.size(), message.size());
    EXPECT_TRUE(received == message);
  }
}

TEST_F(PipeTest, ServerReceivesOneMessagePerConnectionInOrder) {
  auto server = serve("p");
  ASSERT_TRUE(server);
  // Small messages fit the socket buffers: no reader needed while sending.
  ASSERT_TRUE(send("p", "{\"what\":\"ping\"}", 100));
  ASSERT_TRUE(send("p", "{\"what\":\"about\"}", 100));
  std::string first, second;
  EXPECT_TRUE(server->receive(5000, kNoLimit, &first, nullptr));
  EXPECT_TRUE(server->receive(5000, kNoLimit, &second, nullptr));
  EXPECT_EQ(first, "{\"what\":\"ping\"}");
  EXPECT_EQ(second, "{\"what\":\"about\"}");
}

TEST_F(PipeTest, NoServerIsNoSuchPipe) {
  EXPECT_EQ(open_error(pipe_name("nobody")), vxp::ePipeError_NoSuchPipe);
}

TEST_F(PipeTest, RefusingServerLooksLikeNoPipeAndItsReceiveTimesOut) {
  auto server = serve("refusing", vxp::ePipeServe_Refuse);
  ASSERT_TRUE(server);
  EXPECT_EQ(open_error(pipe_name("refusing")), vxp::ePipeError_NoSuchPipe);
  std::string message = "old";
  bool timed_out = false;
  EXPECT_FALSE(server->receive(20, kNoLimit, &message, &timed_out));
  EXPECT_TRUE(timed_out);
  EXPECT_EQ(message, "");
}

TEST_F(PipeTest, ReceiveTimesOutWithoutClient) {
  auto server = serve("quiet");
  ASSERT_TRUE(server);
  std::string message = "old";
  bool timed_out = false;
  EXPECT_FALSE(server->receive(30, kNoLimit, &message, &timed_out));
  EXPECT_TRUE(timed_out);
  EXPECT_EQ(message, "");
  EXPECT_FALSE(server->receive(0, kNoLimit, &message, &timed_out));
  EXPECT_TRUE(timed_out);
}

// A Veloxa that crashed leaves its socket file behind; so can anything else
// that takes the name's place.
TEST_F(PipeTest, LeftoverFileIsNoSuchPipeAndANewServerReplacesIt) {
  const std::string helper = VX_LINK_HELPER;
  for (const char* leftover : {"socket of a killed server", "regular file", "empty folder"}) {
    SCOPED_TRACE(leftover);
    const std::string name = "left";
    const std::string path = socket_path(name);
    if (std::string(leftover) == "socket of a killed server") {
      std::string error;
      const std::string ready = temp_ / "ready";
      auto child =
          vxp::ProcessService::Default().spawn(helper, {helper, "serve", pipe_name(name), ready}, {}, &error);
      ASSERT_TRUE(child) << error;
      const bool serving = vxlinktest::wait_for_file(ready);
      child->kill();
      ASSERT_TRUE(serving);
      ASSERT_TRUE(fs::is_socket(path));
    } else if (std::string(leftover) == "regular file") {
      vxlinktest::write_file(path, "x");
    } else {
      fs::create_directory(path);
    }
    EXPECT_EQ(open_error(pipe_name(name)), vxp::ePipeError_NoSuchPipe);
    auto server = serve(name);
    ASSERT_TRUE(server);
    EXPECT_TRUE(fs::is_socket(path));
    ASSERT_TRUE(send(name, "after", 100));
    std::string message;
    EXPECT_TRUE(server->receive(5000, kNoLimit, &message, nullptr));
    EXPECT_EQ(message, "after");
    server.reset();
    EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
  }
}

TEST_F(PipeTest, SecondLiveServerIsInUseAndTheFirstGoesOnUndisturbed) {
  auto first = serve("shared");
  ASSERT_TRUE(first);
  vxp::PipeError error = vxp::ePipeError_None;
  EXPECT_FALSE(link().serve_pipe(pipe_name("shared"), vxp::ePipeServe_Accept, &error));
  EXPECT_EQ(error, vxp::ePipeError_InUse);
  EXPECT_FALSE(link().serve_pipe(pipe_name("shared"), vxp::ePipeServe_Refuse, &error));
  EXPECT_EQ(error, vxp::ePipeError_InUse);
  // The refused servers' look at the name is no message for the first one.
  ASSERT_TRUE(send("shared", "hello", 100));
  std::string message;
  EXPECT_TRUE(first->receive(5000, kNoLimit, &message, nullptr));
  EXPECT_EQ(message, "hello");
  EXPECT_TRUE(fs::is_socket(socket_path("shared")));
}

TEST_F(PipeTest, ServerRemovesOnlyItsOwnSocketFile) {
  // A refusing server's name looks stale, so a new server takes it over.
  auto old_server = serve("taken", vxp::ePipeServe_Refuse);
  ASSERT_TRUE(old_server);
  auto new_server = serve("taken");
  ASSERT_TRUE(new_server);
  old_server.reset();
  ASSERT_TRUE(fs::is_socket(socket_path("taken")));
  ASSERT_TRUE(send("taken", "still here", 100));
  std::string message;
  EXPECT_TRUE(new_server->receive(5000, kNoLimit, &message, nullptr));
  EXPECT_EQ(message, "still here");
  new_server.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(socket_path("taken"))));
}

TEST_F(PipeTest, FullQueueIsBusyAtOnce) {
  auto server = serve("crowded");
  ASSERT_TRUE(server);
  // Nobody accepts: connections queue until the server's backlog is full.
  std::vector<std::unique_ptr<vxp::PipeConnection>> queued;
  vxp::PipeError error = vxp::ePipeError_None;
  while (queued.size() < 64) {
    auto connection = link().open_pipe(pipe_name("crowded"), &error);
    if (!connection) break;
    queued.push_back(std::move(connection));
  }
  EXPECT_EQ(error, vxp::ePipeError_Busy);
  EXPECT_GE(queued.size(), 8u);  // the documented backlog
  EXPECT_LT(queued.size(), 64u);
}

TEST_F(PipeTest, BadNamesCannotBeOpenedOrServed) {
  static const char* const names[] = {
      "VeloxaIPC.alice",         // no pipe prefix
      "\\\\.\\pipe\\",           // empty name
      "\\\\.\\pipe\\.",          // the pipe folder itself
      "\\\\.\\pipe\\..",         // the runtime folder
      "\\\\.\\pipe\\../escape",  // a path out of the pipe folder
      "\\\\.\\pipe\\a/b",        // a sub-folder
      "\\\\.\\pipe",             // prefix without its separator
      "//./pipe/x",              // forward slashes
  };
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(open_error(name), vxp::ePipeError_Failed);
    vxp::PipeError error = vxp::ePipeError_None;
    EXPECT_FALSE(link().serve_pipe(name, vxp::ePipeServe_Accept, &error));
    EXPECT_EQ(error, vxp::ePipeError_Failed);
  }
  const std::string with_nul = pipe_name(std::string("a\0b", 3));
  EXPECT_EQ(open_error(with_nul), vxp::ePipeError_Failed);
  EXPECT_FALSE(fs::exists(runtime_ + "/escape"));
  EXPECT_FALSE(fs::exists(runtime_ + "/pipe/a"));
}

TEST_F(PipeTest, SocketPathLongerThanTheOsTakesIsAMissingPipe) {
  const std::string folder = runtime_ + "/pipe/";
  ASSERT_LT(folder.size(), 100u);
  const std::string longest(107 - folder.size(), 'n');  // R/pipe/NAME of exactly 107 bytes
  auto server = serve(longest);
  ASSERT_TRUE(server);
  ASSERT_TRUE(send(longest, "fits", 10));
  std::string message;
  EXPECT_TRUE(server->receive(5000, kNoLimit, &message, nullptr));
  EXPECT_EQ(message, "fits");

  const std::string too_long = longest + "n";
  EXPECT_EQ(open_error(pipe_name(too_long)), vxp::ePipeError_NoSuchPipe);
  vxp::PipeError error = vxp::ePipeError_None;
  EXPECT_FALSE(link().serve_pipe(pipe_name(too_long), vxp::ePipeServe_Accept, &error));
  EXPECT_EQ(error, vxp::ePipeError_Failed);
}

std::atomic<int> broken_pipe_signals{0};
extern "C" void count_broken_pipe(int) { ++broken_pipe_signals; }

TEST_F(PipeTest, ServerGoneMidWriteFailsTheWriteWithoutSignal) {
  // Counted instead of ending the test program, so the failure is told.
  const auto previous = std::signal(SIGPIPE, count_broken_pipe);
  auto server = serve("vanishing");
  ASSERT_TRUE(server);
  vxp::PipeError error;
  auto connection = link().open_pipe(pipe_name("vanishing"), &error);
  ASSERT_TRUE(connection);
  std::size_t written = 0;
  EXPECT_TRUE(connection->write("{\"wh", 4, &written));
  EXPECT_EQ(written, 4u);
  server.reset();
  const std::string block(64 * 1024, 'x');
  bool failed = false;
  for (int i = 0; i < 64 && !failed; ++i) failed = !connection->write(block.data(), block.size(), &written);
  EXPECT_TRUE(failed);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(broken_pipe_signals.load(), 0);
  std::signal(SIGPIPE, previous);
}

TEST_F(PipeTest, OversizedMessageIsAFailedReadAndTheServerGoesOn) {
  auto server = serve("bounded");
  ASSERT_TRUE(server);
  ASSERT_TRUE(send("bounded", "0123456789A", 100));  // one byte over
  ASSERT_TRUE(send("bounded", "0123456789", 100));   // exactly the limit
  std::string message = "old";
  bool timed_out = true;
  EXPECT_FALSE(server->receive(5000, 10, &message, &timed_out));
  EXPECT_FALSE(timed_out);
  EXPECT_EQ(message, "");
  EXPECT_TRUE(server->receive(5000, 10, &message, &timed_out));
  EXPECT_EQ(message, "0123456789");
}

TEST_F(PipeTest, ClientThatFallsSilentIsDroppedAndTheServerGoesOn) {
  auto server = serve("patient");
  ASSERT_TRUE(server);
  vxp::PipeError error;
  auto silent = link().open_pipe(pipe_name("patient"), &error);
  ASSERT_TRUE(silent);
  std::size_t written = 0;
  ASSERT_TRUE(silent->write("{\"what\"", 7, &written));
  ASSERT_TRUE(send("patient", "next", 100));
  // The silent client holds its connection open throughout; the server
  // gives up on it after five seconds.
  std::string message = "old";
  bool timed_out = true;
  EXPECT_FALSE(server->receive(30000, kNoLimit, &message, &timed_out));
  EXPECT_FALSE(timed_out);
  EXPECT_EQ(message, "");
  EXPECT_TRUE(server->receive(5000, kNoLimit, &message, &timed_out));
  EXPECT_EQ(message, "next");
}

TEST_F(PipeTest, EmptyConnectionIsNoMessage) {
  auto server = serve("empty");
  ASSERT_TRUE(server);
  {
    vxp::PipeError error;
    ASSERT_TRUE(link().open_pipe(pipe_name("empty"), &error));  // opened and closed at once
  }
  std::string message;
  bool timed_out = false;
  EXPECT_FALSE(server->receive(50, kNoLimit, &message, &timed_out));
  EXPECT_TRUE(timed_out);
  ASSERT_TRUE(send("empty", "x", 1));
  EXPECT_TRUE(server->receive(5000, kNoLimit, &message, &timed_out));
  EXPECT_EQ(message, "x");
}

TEST_F(PipeTest, RefusedRuntimeFolderFailsPipes) {
  fs::create_directory(runtime_);
  fs::permissions(runtime_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  EXPECT_EQ(open_error(pipe_name("p")), vxp::ePipeError_Failed);
  vxp::PipeError error = vxp::ePipeError_None;
  EXPECT_FALSE(link().serve_pipe(pipe_name("p"), vxp::ePipeServe_Accept, &error));
  EXPECT_EQ(error, vxp::ePipeError_Failed);
  EXPECT_FALSE(fs::exists(runtime_ + "/pipe"));
}

}  // namespace
