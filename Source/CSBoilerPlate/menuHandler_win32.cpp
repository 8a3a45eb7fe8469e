#include "CSBoilerPlate/menuHandler_win32.h"

#include <array>
#include <cstring>
#include <exception>
#include <sstream>
#include <utility>

#include "DocumentJob.h"
#include "Documents.h"
#include "PdfExport.h"
#include "SupportLog.h"
#include "VXIllustratorPlugin.h"
#include "VeloxaLink.h"
#include "datastruct/BJobFile.h"
#include "platform/Process.h"
#include "utils/Logger.h"
#include "utils/UException.h"

static_assert(vxlink::kMaxAnswerTextBytes == vxp::kMaxCopyDataBytes,
              "the window system refuses what the plug-in would refuse");

namespace {

constexpr const char* kSourceFile = "Source\\CSBoilerPlate\\menuHandler_win32";
constexpr vxu::LogSite kSiteAnswerRefused{kSourceFile, __LINE__, "DecodeHexPayload"};
// The function as the Windows compiler names one of an unnamed namespace.
constexpr vxu::LogSite kSiteAnswerFailed{kSourceFile, 76, "`anonymous-namespace'::HandleReceivedEvent"};

// The reply window of the process (0: none).
vxp::WindowHandle reply_window = 0;

// Digit values of the characters' low bytes; kNotHex marks the others.
constexpr std::uint8_t kNotHex = 0x10;
constexpr std::array<std::uint8_t, 256> MakeHexTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& value : table) value = kNotHex;
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<std::uint8_t>(c - 'a' + 10);
  return table;
}
constexpr std::array<std::uint8_t, 256> kHexTable = MakeHexTable();

// The answer code of a kind (for the capture file).
std::uint64_t CodeOf(ReplyKind kind) {
  switch (kind) {
    case eReplyKind_AttachJob:
      return vxlink::kAnswerAttachJob;
    case eReplyKind_NewDetails:
      return vxlink::kAnswerNewDetails;
    case eReplyKind_Export:
      return vxlink::kAnswerExport;
    case eReplyKind_None:
      break;
  }
  return 0;
}

// Routes one answer to the document operation its kind names, each of which
// reads the job from the payload itself. Whatever the operation throws ends
// the handling of this answer with one ERROR record; the plug-in carries on
// with the next. The operations acquire suites through ai::suite::basic, the
// basic suite of the message being handled.
void HandleReceivedEvent(ai::BasicSuite* /*basic*/, const std::string& payload, ReplyKind kind) {
  try {
    BJobFile job;
    std::istringstream stream(payload);
    switch (kind) {
      case eReplyKind_AttachJob:
        AttachReceivedJob(stream, job, true);
        break;
      case eReplyKind_NewDetails:
        HandleNewDetailsReply(stream, job);
        break;
      case eReplyKind_Export:
        HandleExportReply(stream, job);
        break;
      case eReplyKind_None:
        break;
    }
  } catch (const UException& e) {
    VX_LOG(vxu::eLogLevel_Error, kSiteAnswerFailed) << e.message();
  } catch (const std::exception& e) {
    VX_LOG(vxu::eLogLevel_Error, kSiteAnswerFailed) << e.what();
  } catch (...) {
    VX_LOG(vxu::eLogLevel_Error, kSiteAnswerFailed) << "unknown exception";
  }
}

}  // namespace

// --- The window ----------------------------------------------------------------

vxp::WindowHandle CreateReplyWindow() {
  vxp::WindowSystem& windows = vxp::WindowSystem::Default();
  if (reply_window != 0 && windows.is_window(reply_window)) return reply_window;
  reply_window = 0;
  if (!windows.is_class_registered(kReplyWindowClass) &&
      !windows.register_class(kReplyWindowClass, ReplyWindowProcedure))
    return 0;
  reply_window = windows.create_window(kReplyWindowClass, kReplyWindowClass, false);
  return reply_window;
}

void DestroyReplyWindow() {
  vxp::WindowSystem& windows = vxp::WindowSystem::Default();
  if (reply_window != 0) {
    windows.destroy_window(reply_window);
    reply_window = 0;
  }
  windows.unregister_class(kReplyWindowClass);
}

vxp::WindowHandle ReplyWindow() { return reply_window; }

std::int64_t ReplyWindowProcedure(vxp::WindowHandle window, std::uint32_t message, std::uint64_t wparam,
                                  std::int64_t lparam) {
  switch (message) {
    case vxp::kMessage_ActivateApp:
    case vxp::kMessage_Create:
    case vxp::kMessage_Destroy:
      return 0;
    case vxp::kMessage_CopyData:
      try {
        const auto* data = reinterpret_cast<const vxp::CopyData*>(lparam);
        if (data == nullptr) return 0;
        switch (data->code) {
          case vxlink::kAnswerAttachJob:
            return DecodeHexPayload(data->data, data->size, eReplyKind_AttachJob) ? 1 : 0;
          case vxlink::kAnswerNewDetails:
            return DecodeHexPayload(data->data, data->size, eReplyKind_NewDetails) ? 1 : 0;
          case vxlink::kAnswerExport:
            return DecodeHexPayload(data->data, data->size, eReplyKind_Export) ? 1 : 0;
          case vxlink::kAnswerBringToFront:
            BringHostToFront();
            return 1;
          default:
            return 0;
        }
      } catch (...) {
        // A window procedure must not throw: the window system would carry
        // the exception through code that cannot handle it.
        return 0;
      }
    default:
      return vxp::WindowSystem::Default().default_procedure(window, message, wparam, lparam);
  }
}

// --- Answers -------------------------------------------------------------------

bool DecodeHexText(const void* characters, std::uint32_t byte_count, std::string* out) {
  if (byte_count > vxlink::kMaxAnswerTextBytes) return false;
  if (characters == nullptr && byte_count != 0) return false;
  // Characters are 2 bytes each; a byte pair of characters makes one byte.
  const std::size_t size = byte_count / 4;
  std::string bytes(size, '\0');
  const auto* in = static_cast<const unsigned char*>(characters);
  auto* to = reinterpret_cast<unsigned char*>(bytes.data());
  // Collects, without branches, the high bytes of all characters and the
  // not-a-digit marks; any bit set refuses the text.
  std::uint32_t bad = 0;
  std::size_t i = 0;
  // Two output bytes per step: four characters, eight input bytes.
  for (; i + 2 <= size; i += 2, in += 8) {
    const std::uint8_t a = kHexTable[in[0]], b = kHexTable[in[2]], c = kHexTable[in[4]], d = kHexTable[in[6]];
    bad |= static_cast<std::uint32_t>(in[1] | in[3] | in[5] | in[7]) | ((a | b | c | d) & kNotHex);
    to[i] = static_cast<unsigned char>((a << 4) | b);
    to[i + 1] = static_cast<unsigned char>((c << 4) | d);
  }
  for (; i < size; ++i, in += 4) {
    const std::uint8_t a = kHexTable[in[0]], b = kHexTable[in[2]];
    bad |= static_cast<std::uint32_t>(in[1] | in[3]) | ((a | b) & kNotHex);
    to[i] = static_cast<unsigned char>((a << 4) | b);
  }
  if (bad != 0) return false;
  *out = std::move(bytes);
  return true;
}

bool DecodeHexPayload(const void* characters, std::uint32_t byte_count, ReplyKind kind,
                      PendingReply& pending) {
  std::string bytes;
  if (!DecodeHexText(characters, byte_count, &bytes)) {
    VX_LOG(vxu::eLogLevel_Error, kSiteAnswerRefused)
        << "answer of kind " << static_cast<int>(kind) << " refused: "
        << (byte_count > vxlink::kMaxAnswerTextBytes ? "text too long (" : "not hexadecimal text (")
        << static_cast<unsigned int>(byte_count) << " bytes)";
    return false;
  }
  CaptureAnswer(CodeOf(kind), bytes);
  pending.Park(std::move(bytes), kind);
  return true;
}

bool DecodeHexPayload(const void* characters, std::uint32_t byte_count, ReplyKind kind) {
  return DecodeHexPayload(characters, byte_count, kind, ThePlugin().Pending());
}

// --- The host's window -----------------------------------------------------------

void BringHostToFront() {
  vxp::WindowSystem& windows = vxp::WindowSystem::Default();
  vxp::WindowHandle target = windows.find_window(kHostWindowClass);
  if (target == 0) return;
  if (const vxp::WindowHandle popup = windows.enabled_popup(target); popup != 0) target = popup;
  if (!windows.is_window(target) || windows.is_hung(target)) return;
  if (windows.is_minimised(target)) {
    windows.post_message(target, vxp::kMessage_SysCommand, vxp::kSysCommand_Restore, 0);
    return;
  }
  if (windows.foreground_window() != target) {
    windows.bring_to_top(target);
    if (!windows.set_foreground(target)) {
      // The system lets only the thread that owns the foreground make
      // another window the foreground: borrow its input for a moment.
      vxp::WindowHandle foreground = windows.foreground_window();
      if (foreground == 0) foreground = windows.find_window("Shell_TrayWnd");
      const std::uint32_t from = windows.window_thread(foreground);
      const std::uint32_t to = windows.window_thread(target);
      const bool attached = windows.attach_thread_input(from, to, true);
      if (!windows.set_foreground(target)) {
        // A key event of this process also grants it the foreground.
        static constexpr vxp::WindowSystem::KeyEvent kAltTwice[] = {
            {0x12, 1}, {0x12, 3}, {0x12, 1}, {0x12, 3}};
        windows.send_key_events(kAltTwice, 4);
        windows.set_foreground(target);
      }
      if (attached) windows.attach_thread_input(from, to, false);
    }
  }
  vxp::ProcessService::Default().sleep_ms(50);
}

// --- The timer tick --------------------------------------------------------------

void ProcessPendingReply(ai::BasicSuite* basic) {
  std::string payload;
  ReplyKind kind = eReplyKind_None;
  // Taken out before it is handled: an answer whose handling fails must not
  // be handled again on every tick.
  if (!ThePlugin().Pending().Take(&payload, &kind)) return;
  HandleReceivedEvent(basic, payload, kind);
}
