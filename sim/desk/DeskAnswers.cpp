#include "DeskAnswers.h"

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "Base64.h"
#include "DeskJob.h"
#include "VeloxaLink.h"

namespace {

// The text of a payload, refusing one the plug-in would refuse.
std::string checked_text(const std::string& payload) {
  if (payload.size() > vxlink::kMaxAnswerTextBytes / 4)
    throw std::length_error("the job of " + std::to_string(payload.size()) +
                            " bytes is too long for an answer");
  return AnswerText(payload);
}

// The plug-in writes the PDF into the output folder, which a first export
// may find missing; a folder that cannot be made shows when the plug-in
// writes there.
void make_output_folder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
}

}  // namespace

bool ParseWindowText(const ustring& text, vxp::WindowHandle* window) {
  std::string_view digits = text.view();
  const bool negative = !digits.empty() && digits.front() == '-';
  if (negative) digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 10) return false;
  std::int64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX || value == 0) return false;
  *window = static_cast<vxp::WindowHandle>(value);
  return true;
}

std::string DeskResponder::TextFor(std::uint64_t code, const umessage& job_json) const {
  if (code == vxlink::kAnswerBringToFront) return std::string();
  BJobFile job;
  const JobMessages messages = PayloadMessages(job_from_json(job, job_json), settings_.checkSettings);
  if (code == vxlink::kAnswerExport) {
    make_output_folder(settings_.outputFolder);
    CompleteForExport(job, settings_.outputFolder);
  }
  return checked_text(write_job_payload(job, messages));
}

std::string DeskResponder::ExportTextFor(const std::string& payload) const {
  BJobFile job;
  std::istringstream in(payload);
  job.ReadJob(in, eJobFileContent_Full);
  // The definitions of the configured job, as Veloxa keeps them; the
  // request's copy carries none.
  BJobFile configured;
  const JobMessages messages =
      PayloadMessages(job_from_json(configured, settings_.job), settings_.checkSettings);
  make_output_folder(settings_.outputFolder);
  CompleteForExport(job, settings_.outputFolder);
  return checked_text(write_job_payload(job, messages));
}

std::optional<DeskAnswer> DeskResponder::AnswerFor(const umessage& request, std::string* why) const {
  const ustring what = request.what();
  const bool about = what == vxlink::kWhatAbout || what == vxlink::kWhatJobList;
  if (!about && what != vxlink::kWhatDetails) {
    *why = what == vxlink::kWhatPing       ? "a probe"
           : what == vxlink::kWhatExported ? "a report"
                                           : "not a request";
    return std::nullopt;
  }
  DeskAnswer answer;
  ustring window;
  if (!request.get(vxlink::kKeyWindow, 0, window) || !ParseWindowText(window, &answer.window)) {
    *why = "no window in \"hwnd\"";
    return std::nullopt;
  }
  if (about) {
    answer.code = vxlink::kAnswerBringToFront;
    return answer;
  }
  try {
    if (!request.value<bool>(vxlink::kKeyForDocument)) {
      answer.code = vxlink::kAnswerNewDetails;
      answer.text = TextFor(answer.code, settings_.job);
      return answer;
    }
    ustring encoded;
    std::string payload;
    if (!request.get(vxlink::kKeyPayload, 0, encoded) || !base64_decode(encoded.view(), &payload)) {
      *why = "\"v\" is not Base64 text";
      return std::nullopt;
    }
    answer.code = vxlink::kAnswerExport;
    answer.text = ExportTextFor(payload);
    return answer;
  } catch (const std::exception& e) {
    *why = std::string("cannot make the answer: ") + e.what();
    return std::nullopt;
  }
}
