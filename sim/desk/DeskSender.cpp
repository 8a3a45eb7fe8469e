#include "DeskSender.h"

#include <utility>

std::int64_t SendAnswer(const DeskAnswer& answer, std::uint32_t timeout_ms, bool* delivered) {
  const void* bytes = answer.text.empty() ? nullptr : answer.text.data();
  // Texts are bounded by vxlink::kMaxAnswerTextBytes long before 4 GiB.
  return vxp::WindowSystem::Default().send_copy_data(answer.window, 0, answer.code, bytes,
                                                     static_cast<std::uint32_t>(answer.text.size()),
                                                     timeout_ms, delivered);
}

DeskSender::DeskSender(std::uint32_t timeout_ms, DeskLogger& log)
    : timeout_ms_(timeout_ms), log_(log), thread_([this] { Run(); }) {}

DeskSender::~DeskSender() { Finish(false); }

void DeskSender::Post(DeskAnswer answer, std::string label) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finishing_) return;
    queue_.push_back(Item{std::move(answer), std::move(label)});
  }
  wake_.notify_one();
}

void DeskSender::Finish(bool drain) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finishing_ && !thread_.joinable()) return;
    finishing_ = true;
    drain_ = drain;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void DeskSender::Run() {
  for (;;) {
    Item item;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return finishing_ || !queue_.empty(); });
      if (finishing_ && (!drain_ || queue_.empty())) {
        if (!queue_.empty())
          VX_LOG_TO(log_, vxu::eLogLevel_Warn, kDeskLogSite)
              << "dropped " << queue_.size() << " answers not yet sent";
        queue_.clear();
        return;
      }
      item = std::move(queue_.front());
      queue_.pop_front();
    }
    bool delivered = false;
    const std::int64_t result = SendAnswer(item.answer, timeout_ms_, &delivered);
    if (delivered) {
      VX_LOG_TO(log_, vxu::eLogLevel_Info, kDeskLogSite)
          << "answer " << item.answer.code << " (" << item.answer.text.size() << " bytes) to window "
          << item.answer.window << " for " << item.label << ": result " << result;
    } else {
      VX_LOG_TO(log_, vxu::eLogLevel_Warn, kDeskLogSite)
          << "answer " << item.answer.code << " (" << item.answer.text.size() << " bytes) to window "
          << item.answer.window << " for " << item.label
          << ": not delivered (no such window, or no result within " << timeout_ms_ << " ms)";
    }
  }
}
