// ReplyKind and PendingReply: the answer from Veloxa that waits for the next
// timer tick.
//
// At most one answer waits: a newer one replaces an older one not yet taken.
// The reply window fills it and the timer tick empties it; both run on the
// host's main thread, so it needs no lock.
#pragma once

#include <optional>
#include <string>
#include <utility>

// What an answer asks for (its WM_COPYDATA code in brackets).
enum ReplyKind : int {
  eReplyKind_None = 0,
  eReplyKind_AttachJob = 1,   // 23262: store the job in the current document
  eReplyKind_NewDetails = 2,  // 23293: job details for a new document
  eReplyKind_Export = 3,      // 59655: export the document as PDF
};

class PendingReply {
 public:
  bool HasReply() const { return bytes_.has_value(); }
  // The waiting answer's bytes (null when none waits) and kind.
  const std::string* Bytes() const { return bytes_ ? &*bytes_ : nullptr; }
  ReplyKind Kind() const { return kind_; }

  // Parks an answer, replacing the one waiting.
  void Park(std::string bytes, ReplyKind kind) {
    bytes_ = std::move(bytes);
    kind_ = kind;
  }
  void Drop() noexcept {
    bytes_.reset();
    kind_ = eReplyKind_None;
  }
  // Moves the waiting answer out, leaving none; false when none waits.
  bool Take(std::string* bytes, ReplyKind* kind) {
    if (!bytes_) return false;
    *bytes = std::move(*bytes_);
    *kind = kind_;
    Drop();
    return true;
  }

 private:
  std::optional<std::string> bytes_;
  ReplyKind kind_ = eReplyKind_None;
};
