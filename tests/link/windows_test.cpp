// The POSIX window system: windows as sockets in a private runtime folder,
// frames from other threads (which take the same road as other processes),
// posted messages, classes and the window state a user gives.
#include "platform/WindowSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "posix/WindowSocket.h"

namespace {

namespace fs = std::filesystem;
using vxp::WindowHandle;
using Clock = std::chrono::steady_clock;

constexpr char kClass[] = "VXTestWnd";
// Generous: a test that works never waits this long.
constexpr std::uint32_t kPatienceMs = 10000;

// What the procedures saw.
struct Call {
  WindowHandle window;
  std::uint32_t message;
  std::uint64_t wparam;
  std::int64_t lparam;
  std::uint64_t code;
  std::string bytes;
  std::uint32_t thread;
};

std::mutex calls_mutex;
std::vector<Call> calls;

std::vector<Call> calls_of(std::uint32_t message) {
  std::lock_guard<std::mutex> lock(calls_mutex);
  std::vector<Call> found;
  for (const Call& call : calls)
    if (call.message == message) found.push_back(call);
  return found;
}

void record(WindowHandle window, std::uint32_t message, std::uint64_t wparam, std::int64_t lparam) {
  Call call{window, message, wparam, lparam, 0, {}, vxp::Platform::Default().current_thread_id()};
  if (message == vxp::kMessage_CopyData) {
    const auto* data = reinterpret_cast<const vxp::CopyData*>(lparam);
    call.code = data->code;
    call.bytes.assign(static_cast<const char*>(data->data), data->size);
  }
  std::lock_guard<std::mutex> lock(calls_mutex);
  calls.push_back(std::move(call));
}

// Answers kMessage_CopyData with a negative value derived from the code
// (so a result cut to 32 bits or mixed up between senders shows), and
// leaves everything else to the default procedure.
std::int64_t recording_procedure(WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                 std::int64_t lparam) {
  record(window, message, wparam, lparam);
  if (message == vxp::kMessage_CopyData)
    return -static_cast<std::int64_t>(reinterpret_cast<const vxp::CopyData*>(lparam)->code) - 0x100000000;
  return vxp::WindowSystem::Default().default_procedure(window, message, wparam, lparam);
}

std::int64_t expected_result(std::uint64_t code) { return -static_cast<std::int64_t>(code) - 0x100000000; }

std::int64_t refusing_create_procedure(WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                       std::int64_t lparam) {
  record(window, message, wparam, lparam);
  return message == vxp::kMessage_Create ? -1 : 0;
}

std::int64_t self_destroying_procedure(WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                       std::int64_t lparam) {
  record(window, message, wparam, lparam);
  if (message != vxp::kMessage_CopyData) return 0;
  vxp::WindowSystem::Default().destroy_window(window);
  return 7;
}

// A frame as another program writes it, built here byte by byte so that a
// fault in the system's own encoder cannot hide.
std::string frame(std::uint32_t message, std::uint64_t wparam, std::uint64_t code, std::uint32_t size,
                  std::string_view bytes) {
  std::string out;
  const auto le = [&out](std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
  };
  le(message, 4);
  le(wparam, 8);
  le(code, 8);
  le(size, 4);
  out.append(bytes);
  return out;
}

vxp::posix::Deadline in_ms(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    vxp::Platform& platform = vxp::Platform::Default();
    root_ = fs::path("/tmp") /
            ("vxw-" + std::to_string(platform.current_process_id()) + "-" + std::to_string(++serial));
    fs::remove_all(root_);
    ASSERT_TRUE(fs::create_directory(root_));
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::replace);
    had_runtime_dir_ = platform.environment_variable("VX_RUNTIME_DIR", &old_runtime_dir_);
    use_runtime_dir(root_);
    {
      std::lock_guard<std::mutex> lock(calls_mutex);
      calls.clear();
    }
    ASSERT_TRUE(ws_.register_class(kClass, &recording_procedure));
  }

  void TearDown() override {
    ws_.set_dispatch_observer(nullptr);
    for (WindowHandle window : created_)
      if (ws_.is_window(window)) ws_.destroy_window(window);
    for (const char* name : {kClass, "VXOther", "VXRefuse", "VXSelfDestroy"}) ws_.unregister_class(name);
    vxp::Platform::Default().set_environment_variable("VX_RUNTIME_DIR",
                                                      had_runtime_dir_ ? old_runtime_dir_.c_str() : nullptr);
    std::error_code ignored;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::replace, ignored);
    fs::remove_all(root_, ignored);
  }

  void use_runtime_dir(const fs::path& dir) {
    vxp::Platform::Default().set_environment_variable("VX_RUNTIME_DIR", dir.c_str());
  }

  WindowHandle create(const std::string& class_name = kClass) {
    const WindowHandle window = ws_.create_window(class_name, class_name, false);
    if (window != 0) created_.push_back(window);
    return window;
  }

  fs::path socket_file(WindowHandle window) const { return root_ / "hwnd" / std::to_string(window); }

  // Puts a plain file where window `window`'s socket would be.
  void leave_file_at(WindowHandle window) {
    fs::create_directory(root_ / "hwnd");
    fs::permissions(root_ / "hwnd", fs::perms::owner_all, fs::perm_options::replace);
    std::ofstream(socket_file(window)) << "nobody listens";
  }

  // Pumps this thread until `done` holds; false if it never does.
  template <class Done>
  bool pump_until(Done done) {
    const auto give_up = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    while (!done()) {
      if (Clock::now() > give_up) return false;
      ws_.pump_messages(20);
    }
    return true;
  }

  void observe() {
    ws_.set_dispatch_observer([this](const vxp::DispatchedMessage& message) {
      std::lock_guard<std::mutex> lock(observed_mutex_);
      observed_.push_back(message);
    });
  }

  std::vector<vxp::DispatchedMessage> observed() {
    std::lock_guard<std::mutex> lock(observed_mutex_);
    return observed_;
  }

  vxp::WindowSystem& ws_ = vxp::WindowSystem::Default();
  fs::path root_;
  std::vector<WindowHandle> created_;
  std::string old_runtime_dir_;
  bool had_runtime_dir_ = false;
  std::mutex observed_mutex_;
  std::vector<vxp::DispatchedMessage> observed_;
};

// --- Handles and socket files ----------------------------------------------

TEST_F(WindowsTest, HandlesTakeTheFirstFreeNumberAndNameTheirSocket) {
  const WindowHandle first = create(), second = create(), third = create();
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(second, 2u);
  EXPECT_EQ(third, 3u);
  for (WindowHandle window : {first, second, third})
    EXPECT_TRUE(fs::is_socket(socket_file(window))) << window;

  ASSERT_TRUE(ws_.destroy_window(second));
  EXPECT_FALSE(fs::exists(socket_file(second)));
  EXPECT_FALSE(ws_.is_window(second));
  EXPECT_EQ(create(), 2u);
}

TEST_F(WindowsTest, FileNobodyListensOnIsReplaced) {
  leave_file_at(1);
  EXPECT_EQ(create(), 1u);
  EXPECT_TRUE(fs::is_socket(socket_file(1)));
}

TEST_F(WindowsTest, LiveSocketOfAnotherOwnerIsSkipped) {
  const WindowHandle first = create();
  ASSERT_EQ(first, 1u);
  // A second name for window 1's socket: to this process's tables handle 2
  // is free, but a socket that answers stands there.
  fs::create_hard_link(socket_file(1), socket_file(2));
  EXPECT_EQ(create(), 3u);
  EXPECT_TRUE(fs::exists(socket_file(2)));
  // Window 1 saw the probe as a sender that left without a frame.
  EXPECT_EQ(ws_.pump_messages(0), 0);
  EXPECT_TRUE(calls_of(vxp::kMessage_CopyData).empty());
}

TEST_F(WindowsTest, RefusedRuntimeFolderFailsCreationAndSending) {
  const WindowHandle window = create();
  ASSERT_NE(window, 0u);
  fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                  fs::perm_options::replace);
  EXPECT_EQ(create(), 0u);
  bool delivered = true;
  std::int64_t result = 1;
  std::thread([&] { result = ws_.send_copy_data(window, 0, 1, "x", 1, 200, &delivered); }).join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(delivered);
}

TEST_F(WindowsTest, SocketPathTooLongFailsCreationAndSending) {
  // R/hwnd/1 of 108 bytes: one more than a socket address holds beside
  // its terminating NUL.
  constexpr std::size_t kTooLong = 108;
  fs::path deep = root_;
  deep /= std::string(kTooLong - std::string("/hwnd/1").size() - root_.string().size() - 1, 'd');
  ASSERT_EQ((deep / "hwnd" / "1").string().size(), kTooLong);
  fs::create_directory(deep);
  fs::permissions(deep, fs::perms::owner_all, fs::perm_options::replace);
  use_runtime_dir(deep);

  EXPECT_EQ(create(), 0u);
  EXPECT_EQ(calls_of(vxp::kMessage_Create).size(), 0u);
  bool delivered = true;
  EXPECT_EQ(ws_.send_copy_data(1, 0, 1, "x", 1, 200, &delivered), 0);
  EXPECT_FALSE(delivered);
}

// --- Frames from other senders ---------------------------------------------

TEST_F(WindowsTest, FrameIsDispatchedWhetherItArrivesWholeOrInPieces) {
  const std::string payload = std::string("0A\0\xff", 4) + "1b";
  const std::string whole = frame(0x4A, 0x1122334455667788, 59655, 6, payload);
  static const struct {
    const char* name;
    std::vector<std::size_t> cuts;  // offsets where one write ends and the next begins
  } cases[] = {
      {"whole", {}},
      {"first byte alone", {1}},
      {"inside the message number", {2}},
      {"inside wparam", {9}},
      {"inside the code", {15}},
      {"inside the count", {22}},
      {"header alone", {24}},
      {"one payload byte", {25}},
      {"last byte alone", {29}},
      {"several", {3, 11, 20, 24, 26}},
  };
  const WindowHandle window = create();
  ASSERT_NE(window, 0u);
  observe();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard<std::mutex> lock(calls_mutex);
      calls.clear();
    }
    vxp::posix::WindowSocketClient sender;
    ASSERT_TRUE(sender.connect(window, in_ms(kPatienceMs)));
    std::size_t from = 0;
    for (std::size_t cut : c.cuts) {
      ASSERT_TRUE(sender.write(whole.data() + from, cut - from, in_ms(kPatienceMs)));
      from = cut;
      EXPECT_EQ(ws_.pump_messages(kPatienceMs), 0) << "after " << cut << " bytes";
    }
    ASSERT_TRUE(sender.write(whole.data() + from, whole.size() - from, in_ms(kPatienceMs)));
    int dispatched = 0;
    ASSERT_TRUE(pump_until([&] { return (dispatched += ws_.pump_messages(20)) > 0; }));
    EXPECT_EQ(dispatched, 1);

    const auto seen = calls_of(vxp::kMessage_CopyData);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].window, window);
    EXPECT_EQ(seen[0].wparam, 0x1122334455667788u);
    EXPECT_EQ(seen[0].code, 59655u);
    EXPECT_EQ(seen[0].bytes, payload);
    EXPECT_EQ(seen[0].thread, ws_.current_thread());
    std::int64_t result = 0;
    ASSERT_TRUE(sender.read_answer(&result, in_ms(kPatienceMs)));
    EXPECT_EQ(result, expected_result(59655));
  }
  const auto records = observed();
  ASSERT_EQ(records.size(), std::size(cases));
  EXPECT_EQ(records[0].window, window);
  EXPECT_EQ(records[0].message, vxp::kMessage_CopyData);
  EXPECT_EQ(records[0].wparam, 0x1122334455667788u);
  EXPECT_EQ(records[0].code, 59655u);
  EXPECT_EQ(records[0].size, 6u);
  EXPECT_EQ(records[0].result, expected_result(59655));
}

TEST_F(WindowsTest, EmptyPayloadIsDispatched) {
  const WindowHandle window = create();
  vxp::posix::WindowSocketClient sender;
  ASSERT_TRUE(sender.connect(window, in_ms(kPatienceMs)));
  const std::string whole = frame(0x4A, 0, 42609, 0, "");
  ASSERT_TRUE(sender.write(whole.data(), whole.size(), in_ms(kPatienceMs)));
  ASSERT_TRUE(pump_until([&] { return !calls_of(vxp::kMessage_CopyData).empty(); }));
  std::int64_t result = 0;
  ASSERT_TRUE(sender.read_answer(&result, in_ms(kPatienceMs)));
  EXPECT_EQ(result, expected_result(42609));
  EXPECT_EQ(calls_of(vxp::kMessage_CopyData)[0].bytes, "");
}

TEST_F(WindowsTest, ConcurrentSendersEachGetTheirOwnResult) {
  // Larger than a socket buffer, so the frames arrive in pieces and
  // interleaved.
  constexpr int kSenders = 4;
  constexpr std::size_t kBytes = 1 << 20;
  const WindowHandle window = create();
  ASSERT_NE(window, 0u);
  observe();
  std::vector<std::thread> senders;
  std::int64_t results[kSenders] = {};
  bool delivered[kSenders] = {};
  std::atomic<int> done{0};
  for (int i = 0; i < kSenders; ++i) {
    senders.emplace_back([&, i] {
      const std::string bytes(kBytes, static_cast<char>('a' + i));
      results[i] =
          ws_.send_copy_data(window, 100 + i, 1000 + i, bytes.data(), kBytes, kPatienceMs, &delivered[i]);
      ++done;
    });
  }
  const bool all_done = pump_until([&] { return done == kSenders; });
  for (std::thread& sender : senders) sender.join();
  ASSERT_TRUE(all_done);

  for (int i = 0; i < kSenders; ++i) {
    EXPECT_TRUE(delivered[i]) << i;
    EXPECT_EQ(results[i], expected_result(1000 + i)) << i;
  }
  const auto seen = calls_of(vxp::kMessage_CopyData);
  ASSERT_EQ(seen.size(), std::size_t{kSenders});
  for (const Call& call : seen) {
    const int i = static_cast<int>(call.code - 1000);
    ASSERT_GE(i, 0);
    ASSERT_LT(i, kSenders);
    EXPECT_EQ(call.wparam, 100u + i);
    EXPECT_EQ(call.bytes, std::string(kBytes, static_cast<char>('a' + i)));
    EXPECT_EQ(call.thread, ws_.current_thread());
  }
  EXPECT_EQ(observed().size(), std::size_t{kSenders});
}

TEST_F(WindowsTest, FramesThisSystemDoesNotTakeAreAnsweredZeroUnread) {
  static const struct {
    const char* name;
    std::uint32_t message;
    std::uint32_t size;
    bool refused;
  } cases[] = {
      {"largest payload", 0x4A, vxp::kMaxCopyDataBytes, false},
      {"one byte over the bound", 0x4A, vxp::kMaxCopyDataBytes + 1, true},
      {"largest count", 0x4A, 0xFFFFFFFF, true},
      {"another message", 0x10, 4, true},
      {"copy data in the low bits only", 0x1004A, 4, true},
  };
  const WindowHandle window = create();
  ASSERT_NE(window, 0u);
  observe();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    vxp::posix::WindowSocketClient sender;
    ASSERT_TRUE(sender.connect(window, in_ms(kPatienceMs)));
    const std::string header = frame(c.message, 5, 23293, c.size, "");
    ASSERT_TRUE(sender.write(header.data(), header.size(), in_ms(kPatienceMs)));
    EXPECT_EQ(ws_.pump_messages(kPatienceMs), 0);

    // Whatever the owner does with a header, it did in that pump.
    std::int64_t result = -1;
    EXPECT_EQ(sender.read_answer(&result, Clock::now()), c.refused);
    if (c.refused) {
      EXPECT_EQ(result, 0);
      const auto records = observed();
      ASSERT_FALSE(records.empty());
      EXPECT_EQ(records.back().message, c.message);
      EXPECT_EQ(records.back().size, c.size);
      EXPECT_EQ(records.back().code, 23293u);
      EXPECT_EQ(records.back().result, 0);
    }
  }
  EXPECT_TRUE(calls_of(vxp::kMessage_CopyData).empty());
  EXPECT_EQ(observed().size(), 4u);
}

TEST_F(WindowsTest, RefusedSenderStillWritingGetsTheAnswer) {
  // send_copy_data itself with a payload over the bound: the owner answers
  // after the header while the sender is still writing bytes.
  const WindowHandle window = create();
  std::vector<char> bytes(vxp::kMaxCopyDataBytes + 1u, 'x');
  bool delivered = false;
  std::int64_t result = -1;
  std::atomic<bool> done{false};
  std::thread sender([&] {
    result = ws_.send_copy_data(window, 0, 1, bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                kPatienceMs, &delivered);
    done = true;
  });
  const bool finished = pump_until([&] { return done.load(); });
  sender.join();
  ASSERT_TRUE(finished);
  EXPECT_TRUE(delivered);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(calls_of(vxp::kMessage_CopyData).empty());
}

TEST_F(WindowsTest, SenderVanishingMidFrameIsDropped) {
  const std::string whole = frame(0x4A, 1, 2, 8, "12345678");
  const WindowHandle window = create();
  observe();
  for (std::size_t cut : {std::size_t{0}, std::size_t{10}, std::size_t{24}, std::size_t{30}}) {
    SCOPED_TRACE(cut);
    vxp::posix::WindowSocketClient sender;
    ASSERT_TRUE(sender.connect(window, in_ms(kPatienceMs)));
    ASSERT_TRUE(sender.write(whole.data(), cut, in_ms(kPatienceMs)));
    EXPECT_EQ(ws_.pump_messages(kPatienceMs), 0);
    sender.close();
    EXPECT_EQ(ws_.pump_messages(kPatienceMs), 0);
  }
  EXPECT_TRUE(calls_of(vxp::kMessage_CopyData).empty());
  EXPECT_TRUE(observed().empty());

  // The window still serves the next sender.
  std::int64_t result = 0;
  std::thread sender([&] { result = ws_.send_copy_data(window, 0, 9, "ok", 2, kPatienceMs, nullptr); });
  pump_until([&] { return !calls_of(vxp::kMessage_CopyData).empty(); });
  sender.join();
  EXPECT_EQ(result, expected_result(9));
}

TEST_F(WindowsTest, NoResultWhenNobodyPumps) {
  const WindowHandle window = create();
  bool delivered = true;
  std::int64_t result = 1;
  std::thread([&] { result = ws_.send_copy_data(window, 0, 1, "x", 1, 200, &delivered); }).join();
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(delivered);
}

TEST_F(WindowsTest, NoResultWhenOwnerDestroysTheWindowMidFrame) {
  const WindowHandle window = create();
  vxp::posix::WindowSocketClient sender;
  ASSERT_TRUE(sender.connect(window, in_ms(kPatienceMs)));
  const std::string header = frame(0x4A, 0, 1, 4, "");
  ASSERT_TRUE(sender.write(header.data(), header.size(), in_ms(kPatienceMs)));
  EXPECT_EQ(ws_.pump_messages(kPatienceMs), 0);
  ASSERT_TRUE(ws_.destroy_window(window));
  std::int64_t result = 0;
  EXPECT_FALSE(sender.read_answer(&result, in_ms(kPatienceMs)));
}

TEST_F(WindowsTest, SendingToNoWindowGivesNoResult) {
  ASSERT_EQ(create(), 1u);  // the runtime folder is fine
  leave_file_at(5);
  for (WindowHandle window : {WindowHandle{0}, WindowHandle{5}, WindowHandle{999}, WindowHandle{1} << 31}) {
    SCOPED_TRACE(window);
    bool delivered = true;
    EXPECT_EQ(ws_.send_copy_data(window, 0, 1, "x", 1, kPatienceMs, &delivered), 0);
    EXPECT_FALSE(delivered);
  }
}

TEST_F(WindowsTest, ProcedureDestroyingItsWindowStillAnswersTheSender) {
  ASSERT_TRUE(ws_.register_class("VXSelfDestroy", &self_destroying_procedure));
  const WindowHandle window = create("VXSelfDestroy");
  ASSERT_NE(window, 0u);
  std::int64_t result = 0;
  bool delivered = false;
  std::atomic<bool> done{false};
  std::thread sender([&] {
    result = ws_.send_copy_data(window, 0, 1, "x", 1, kPatienceMs, &delivered);
    done = true;
  });
  const bool finished = pump_until([&] { return done.load(); });
  sender.join();
  ASSERT_TRUE(finished);
  EXPECT_TRUE(delivered);
  EXPECT_EQ(result, 7);
  EXPECT_FALSE(ws_.is_window(window));
  EXPECT_EQ(calls_of(vxp::kMessage_Destroy).size(), 1u);
}

TEST_F(WindowsTest, SendOnTheOwnerThreadCallsTheProcedureDirectly) {
  const WindowHandle window = create();
  observe();
  bool delivered = false;
  // Time-out 0: no pump could answer in time; the call needs none.
  EXPECT_EQ(ws_.send_copy_data(window, 3, 23262, "abc", 3, 0, &delivered), expected_result(23262));
  EXPECT_TRUE(delivered);
  const auto seen = calls_of(vxp::kMessage_CopyData);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].bytes, "abc");
  EXPECT_EQ(seen[0].wparam, 3u);
  EXPECT_TRUE(observed().empty());
}

// --- Posted messages, creation and destruction -------------------------------

TEST_F(WindowsTest, PostedMessagesRunInOrderOnTheOwnerThreadOnly) {
  const WindowHandle window = create();
  observe();
  int pumped_elsewhere = -1;
  std::thread([&] {
    for (std::uint64_t i = 0; i < 3; ++i) EXPECT_TRUE(ws_.post_message(window, 0x0400, i, 10 + i));
    pumped_elsewhere = ws_.pump_messages(10);  // this thread owns no window
  }).join();
  EXPECT_EQ(pumped_elsewhere, 0);
  EXPECT_TRUE(calls_of(0x0400).empty());

  EXPECT_EQ(ws_.pump_messages(0), 3);
  const auto seen = calls_of(0x0400);
  ASSERT_EQ(seen.size(), 3u);
  for (std::uint64_t i = 0; i < 3; ++i) {
    EXPECT_EQ(seen[i].wparam, i);
    EXPECT_EQ(seen[i].lparam, static_cast<std::int64_t>(10 + i));
    EXPECT_EQ(seen[i].thread, ws_.current_thread());
  }
  EXPECT_TRUE(observed().empty());
  EXPECT_FALSE(ws_.post_message(window + 1, 0x0400, 0, 0));
}

TEST_F(WindowsTest, PostFromAnotherThreadWakesAWaitingPump) {
  const WindowHandle window = create();
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ws_.post_message(window, 0x0401, 0, 0);
  });
  // A pump that was not woken would sit out its whole time-out.
  const auto start = Clock::now();
  int dispatched = 0;
  while (dispatched == 0 && Clock::now() - start < std::chrono::seconds(30))
    dispatched = ws_.pump_messages(kPatienceMs);
  const auto waited = Clock::now() - start;
  poster.join();
  EXPECT_EQ(dispatched, 1);
  EXPECT_LT(waited, std::chrono::milliseconds(kPatienceMs));
}

TEST_F(WindowsTest, MessagesPostedToADestroyedWindowAreDropped) {
  const WindowHandle window = create();
  ASSERT_TRUE(ws_.post_message(window, 0x0400, 0, 0));
  ASSERT_TRUE(ws_.destroy_window(window));
  // The number is free again; the new window must not get the old mail.
  ASSERT_EQ(create(), window);
  EXPECT_EQ(ws_.pump_messages(0), 0);
  EXPECT_TRUE(calls_of(0x0400).empty());
}

TEST_F(WindowsTest, CreateAndDestroyReachTheProcedure) {
  const WindowHandle window = create();
  auto created = calls_of(vxp::kMessage_Create);
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0].window, window);
  EXPECT_TRUE(calls_of(vxp::kMessage_Destroy).empty());

  bool destroyed_elsewhere = true;
  std::thread([&] { destroyed_elsewhere = ws_.destroy_window(window); }).join();
  EXPECT_FALSE(destroyed_elsewhere);
  EXPECT_TRUE(ws_.is_window(window));

  EXPECT_TRUE(ws_.destroy_window(window));
  const auto destroyed = calls_of(vxp::kMessage_Destroy);
  ASSERT_EQ(destroyed.size(), 1u);
  EXPECT_EQ(destroyed[0].window, window);
  EXPECT_FALSE(ws_.destroy_window(window));
}

TEST_F(WindowsTest, CreateRefusedByTheProcedureLeavesNoWindow) {
  ASSERT_TRUE(ws_.register_class("VXRefuse", &refusing_create_procedure));
  EXPECT_EQ(create("VXRefuse"), 0u);
  EXPECT_EQ(ws_.find_window("VXRefuse"), 0u);
  EXPECT_FALSE(fs::exists(socket_file(1)));
  EXPECT_EQ(calls_of(vxp::kMessage_Destroy).size(), 1u);
  EXPECT_TRUE(ws_.unregister_class("VXRefuse"));
}

// --- Classes and finding ----------------------------------------------------

TEST_F(WindowsTest, ClassRegistrationRules) {
  EXPECT_FALSE(ws_.register_class(kClass, &recording_procedure));
  EXPECT_FALSE(ws_.register_class("vxtestWND", &recording_procedure));  // names ignore case
  EXPECT_TRUE(ws_.is_class_registered("VXTESTWND"));
  EXPECT_FALSE(ws_.register_class("VXOther", nullptr));
  EXPECT_FALSE(ws_.register_class("", &recording_procedure));
  EXPECT_FALSE(ws_.is_class_registered("VXOther"));
  EXPECT_EQ(create("VXOther"), 0u);

  const WindowHandle window = create();
  EXPECT_FALSE(ws_.unregister_class(kClass));
  EXPECT_TRUE(ws_.is_class_registered(kClass));
  ASSERT_TRUE(ws_.destroy_window(window));
  EXPECT_TRUE(ws_.unregister_class(kClass));
  EXPECT_FALSE(ws_.is_class_registered(kClass));
  EXPECT_FALSE(ws_.unregister_class(kClass));
  EXPECT_EQ(create(), 0u);
}

TEST_F(WindowsTest, FindWindowGivesTheFirstCreatedOfTheClass) {
  ASSERT_TRUE(ws_.register_class("VXOther", &recording_procedure));
  const WindowHandle other = create("VXOther");
  const WindowHandle first = create();
  const WindowHandle second = create();
  EXPECT_EQ(ws_.find_window(kClass), first);
  EXPECT_EQ(ws_.find_window("vxtestwnd"), first);
  EXPECT_EQ(ws_.find_window("VXOther"), other);
  EXPECT_EQ(ws_.find_window("Shell_TrayWnd"), 0u);
  ASSERT_TRUE(ws_.destroy_window(first));
  EXPECT_EQ(ws_.find_window(kClass), second);
  // A number freed and taken again does not make the newer window first.
  ASSERT_TRUE(ws_.destroy_window(other));
  const WindowHandle reused = create();
  EXPECT_LT(reused, second);
  EXPECT_EQ(ws_.find_window(kClass), second);
}

// --- The state a user gives a window ------------------------------------------

TEST_F(WindowsTest, RestoreCommandThroughTheDefaultProcedureUnminimises) {
  static const struct {
    std::uint64_t wparam;
    bool restores;
  } cases[] = {
      {vxp::kSysCommand_Restore, true},
      {vxp::kSysCommand_Restore | 0x2, true},  // low bits are the system's own
      {0xF020, false},                         // minimise
      {0xF060, false},                         // close
  };
  const WindowHandle window = create();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wparam);
    ASSERT_TRUE(ws_.set_minimised(window, true));
    ASSERT_TRUE(ws_.is_minimised(window));
    ASSERT_TRUE(ws_.post_message(window, vxp::kMessage_SysCommand, c.wparam, 0));
    EXPECT_EQ(ws_.pump_messages(0), 1);
    EXPECT_EQ(ws_.is_minimised(window), !c.restores);
  }
  EXPECT_FALSE(ws_.set_minimised(window + 1, true));
}

TEST_F(WindowsTest, ForegroundAndWindowStateBelongToLiveWindowsOfThisProcess) {
  const WindowHandle window = create();
  const WindowHandle other = create();
  EXPECT_EQ(ws_.foreground_window(), 0u);
  EXPECT_TRUE(ws_.set_foreground(window));
  EXPECT_EQ(ws_.foreground_window(), window);
  ws_.activate_other_window();
  EXPECT_EQ(ws_.foreground_window(), 0u);
  EXPECT_FALSE(ws_.set_foreground(999));
  EXPECT_TRUE(ws_.set_foreground(other));
  ASSERT_TRUE(ws_.destroy_window(other));
  EXPECT_EQ(ws_.foreground_window(), 0u);

  EXPECT_TRUE(ws_.bring_to_top(window));
  EXPECT_FALSE(ws_.bring_to_top(other));
  EXPECT_EQ(ws_.enabled_popup(window), 0u);

  EXPECT_FALSE(ws_.is_hung(window));
  EXPECT_TRUE(ws_.set_hung(window, true));
  EXPECT_TRUE(ws_.is_hung(window));
  EXPECT_TRUE(ws_.set_hung(window, false));
  EXPECT_FALSE(ws_.is_hung(window));
  EXPECT_FALSE(ws_.set_hung(other, true));
}

TEST_F(WindowsTest, ThreadsOfWindowsAndInput) {
  const std::uint32_t here = vxp::Platform::Default().current_thread_id();
  EXPECT_EQ(ws_.current_thread(), here);
  const WindowHandle mine = create();

  // Another thread's window, alive while this thread looks at it.
  std::promise<std::pair<WindowHandle, std::uint32_t>> made;
  std::promise<void> looked;
  std::thread owner([&] {
    const WindowHandle window = ws_.create_window(kClass, "", false);
    made.set_value({window, ws_.current_thread()});
    looked.get_future().wait();
    ws_.destroy_window(window);
  });
  const auto [theirs, there] = made.get_future().get();
  EXPECT_NE(theirs, 0u);
  EXPECT_EQ(ws_.window_thread(mine), here);
  EXPECT_EQ(ws_.window_thread(theirs), there);
  EXPECT_NE(there, here);
  EXPECT_EQ(ws_.window_thread(999), 0u);

  EXPECT_TRUE(ws_.attach_thread_input(here, there, true));
  EXPECT_TRUE(ws_.attach_thread_input(here, there, false));
  // Behind an absent foreground window there is no thread to attach.
  EXPECT_FALSE(ws_.attach_thread_input(ws_.window_thread(ws_.foreground_window()), there, true));
  looked.set_value();
  owner.join();
  EXPECT_FALSE(ws_.is_window(theirs));

  const vxp::WindowSystem::KeyEvent alt[] = {{0x12, 1}, {0x12, 3}, {0x12, 1}, {0x12, 3}};
  EXPECT_EQ(ws_.send_key_events(alt, 4), 4u);
}

}  // namespace
