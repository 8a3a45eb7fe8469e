#include "Requests.h"

#include <cstddef>
#include <exception>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "CSBoilerPlate/menuHandler_win32.h"
#include "PipeName.h"
#include "VeloxaLink.h"
#include "platform/Link.h"
#include "platform/Process.h"
#include "utils/encoding.h"

namespace {

const char* WhatOf(RequestKind kind) {
  switch (kind) {
    case eRequestKind_About:
      return vxlink::kWhatAbout;
    case eRequestKind_JobList:
      return vxlink::kWhatJobList;
    case eRequestKind_Details:
    case eRequestKind_DetailsForDocument:
      return vxlink::kWhatDetails;
    case eRequestKind_Exported:
      return vxlink::kWhatExported;
  }
  throw std::invalid_argument("unknown request kind");
}

// How long Veloxa is given to start serving its pipe.
constexpr std::uint32_t kLaunchWaitMs = 3000;

}  // namespace

umessage BuildRequest(std::string_view payload, RequestKind kind, vxp::WindowHandle window) {
  const ustring encoded = base64_encode(payload.data(), payload.size());
  umessage request;
  request.set_what(WhatOf(kind));
  switch (kind) {
    case eRequestKind_Details:
    case eRequestKind_Exported:
      request.add(vxlink::kKeyPayload, encoded);
      break;
    case eRequestKind_DetailsForDocument:
      request.add(vxlink::kKeyForDocument, true);
      request.add(vxlink::kKeyPayload, encoded);
      break;
    case eRequestKind_About:
    case eRequestKind_JobList:
      break;
  }
  request.add(vxlink::kKeySender, vxlink::kSender);
  request.add(vxlink::kKeyWindow, ustring(WindowHandleText(window)));
  return request;
}

bool SendRequest(std::string_view payload, RequestKind kind) {
  return DeliverMessage(BuildRequest(payload, kind, CreateReplyWindow()));
}

bool DeliverMessage(const umessage& message) {
  try {
    WriteToPipe(umessage(ustring(vxlink::kWhatPing)));
  } catch (...) {
    LaunchApplication();
  }
  try {
    WriteToPipe(message);
    return true;
  } catch (...) {
    // The request is lost; the user may choose the command again.
    return false;
  }
}

void WriteToPipe(const umessage& message) {
  vxp::PipeError error = vxp::ePipeError_None;
  std::unique_ptr<vxp::PipeConnection> pipe =
      vxp::LinkService::Default().open_pipe(vxlink::PipeName(), &error);
  if (pipe == nullptr) throw std::runtime_error("cannot open pipe");
  std::ostringstream text;
  message.write(text);
  const std::string bytes = std::move(text).str();
  std::size_t done = 0;
  while (done < bytes.size()) {
    std::size_t written = 0;
    // A write that succeeds without taking a byte would loop for ever.
    if (!pipe->write(bytes.data() + done, bytes.size() - done, &written) || written == 0 ||
        written > bytes.size() - done)
      throw std::runtime_error("cannot write to pipe");
    done += written;
  }
}

void LaunchApplication() {
  const std::string path = RegisteredApplicationPath();
  // Without a registered program there is nothing to start (and an empty
  // path would name every process as Veloxa anyway).
  if (path.empty() || IsApplicationRunning(path)) return;
  if (vxp::ProcessService::Default().launch_detached(path))
    vxp::ProcessService::Default().sleep_ms(kLaunchWaitMs);
}

bool IsApplicationRunning(const std::string& path) {
  bool found = false;
  vxp::ProcessService::Default().scan_processes([&](const std::string& image) {
    found = image.find(path) != std::string::npos;
    return found;
  });
  return found;
}

std::string RegisteredApplicationPath() {
  std::string path;
  if (!vxp::LinkService::Default().read_registry_text(vxp::eRegistryHive_CurrentUser, vxlink::kApplicationKey,
                                                      "", &path))
    path.clear();
  return path;
}

std::string WindowHandleText(vxp::WindowHandle window) {
  return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(window & 0xFFFFFFFFu)));
}
