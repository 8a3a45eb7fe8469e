// WTicketT: views over a job ticket, Veloxa's description of a job as a
// umessage (field "SR" of a job payload in its ticket form).
//
// Ticket keys: "identifier", "operator", "style" (texts, one each), "local"
// (texts), "zts" (the ticket's own check group, one record), "destinations"
// (one record per destination), "active", "groupingDisabled" (booleans, one
// each), and "previous_report", "plugin_report", "bookingMatched" (anything).
// A destination holds its booking data (see DestinationIsWellFormed) and its
// check groups under "zts".
//
// A check group is a record with
//   "checks"        record: one new-form setting record per problem name;
//                   the key "all" holds a fallback setting
//   "restrictions"  records: nested check groups of the same layout
//
// WTicketT<Ptr> holds one shared pointer to the ticket; Ptr is
// std::shared_ptr<const umessage> for the read-only view (WTicket) and
// std::shared_ptr<umessage> for the edit view (WTicketEdit), whose views of
// destinations and groups hand out changeable records. A view over a null
// pointer is an empty ticket: every accessor gives its empty or zero result.
// Accessors never throw; a key holding another type than expected reads as
// absent, and an index past the end gives an empty view.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "datastruct/WCheckSetting.h"
#include "utils/umessage.h"
#include "utils/ustring.h"

namespace ticket_detail {

// The i-th record under key in message, or null.
std::shared_ptr<umessage> record_at(const umessage* message, const ustring& key, std::size_t i);
// The number of records under key; 0 when the key holds another type.
std::size_t record_count(const umessage* message, const ustring& key);

}  // namespace ticket_detail

// A check group ("zts" of a ticket or destination, or a restriction).
template <class Ptr>
class WCheckGroupT {
 public:
  WCheckGroupT() = default;
  explicit WCheckGroupT(Ptr group) : group_(std::move(group)) {}

  // Null, or a record without entries.
  bool empty() const { return !group_ || group_->empty(); }
  const Ptr& message() const { return group_; }

  // The "checks" record; null when absent.
  Ptr Checks() const;
  // The keys of "checks" (problem names, "all" included), in key order.
  std::vector<ustring> CheckNames() const;
  // The setting under "checks"[name]; empty when absent or not a record.
  WCheckSetting Setting(const ustring& name) const;

  std::size_t RestrictionCount() const;
  WCheckGroupT Restriction(std::size_t i) const;

 private:
  Ptr group_;
};

// One destination of a ticket.
template <class Ptr>
class WDestinationT {
 public:
  WDestinationT() = default;
  explicit WDestinationT(Ptr destination) : destination_(std::move(destination)) {}

  bool empty() const { return !destination_ || destination_->empty(); }
  const Ptr& message() const { return destination_; }

  // "identifier"; empty text when absent.
  ustring Identifier() const;
  // The first "zts"; empty when absent.
  WCheckGroupT<Ptr> CheckGroup() const;

 private:
  Ptr destination_;
};

template <class Ptr>
class WTicketT {
 public:
  using Destination = WDestinationT<Ptr>;
  using CheckGroup = WCheckGroupT<Ptr>;

  WTicketT() = default;
  explicit WTicketT(Ptr ticket) : ticket_(std::move(ticket)) {}
  WTicketT(const WTicketT&) = default;
  WTicketT& operator=(const WTicketT&) = default;
  WTicketT(WTicketT&&) noexcept = default;
  WTicketT& operator=(WTicketT&&) noexcept = default;
  virtual ~WTicketT() = default;

  // TicketIsWellFormed of the viewed message (logs what is wrong).
  virtual bool IsWellFormed() const;

  const Ptr& message() const { return ticket_; }
  bool empty() const { return !ticket_ || ticket_->empty(); }

  // The number of "destinations" records (0 for an empty ticket).
  std::size_t DestinationCount() const;
  Destination DestinationAt(std::size_t i) const;
  // The ticket's own check group ("zts").
  CheckGroup TicketCheckGroup() const;
  // Shorthands over DestinationAt(i).
  CheckGroup DestinationCheckGroup(std::size_t i) const { return DestinationAt(i).CheckGroup(); }
  ustring DestinationIdentifier(std::size_t i) const { return DestinationAt(i).Identifier(); }

 private:
  Ptr ticket_;
};

using WTicket = WTicketT<std::shared_ptr<const umessage>>;
using WTicketEdit = WTicketT<std::shared_ptr<umessage>>;
using WCheckGroup = WCheckGroupT<std::shared_ptr<const umessage>>;
using WDestination = WDestinationT<std::shared_ptr<const umessage>>;

// Validators. Each key of the message is checked against its rules in the
// message's key order; the first violation is logged at ERROR as
// "invalid tickets : <reason>" and the result is false. They never throw.
//
// TicketIsWellFormed: false for a null or empty ticket. Reasons:
//   "identifier has wrong type", "there should be only 1 identifier",
//   "operator has wrong type", "there should be only 1 operator",
//   "local has wrong type", "zts has wrong type", "there should be only 1 zts",
//   "style has wrong type", "there should be only 1 style",
//   "destinations has wrong type", "duplicate destination identifier",
//   "invalid destination" (after the destination's own line),
//   "active field has wrong type", "there should be only 1 active field",
//   "groupingDisabled field has wrong type",
//   "there should be only 1 groupingDisabled field",
//   "unexpected field: <key>".
// Destinations are compared by "identifier" (an absent one counts as the
// empty text), all of them before any is validated.
bool TicketIsWellFormed(const umessage* ticket);
inline bool TicketIsWellFormed(const std::shared_ptr<const umessage>& ticket) {
  return TicketIsWellFormed(ticket.get());
}

// DestinationIsWellFormed: false for a null destination; an empty one is
// well formed. Texts: "identifier", "mlkey", "country", "publication",
// "publisher", "section", "style", "colourName", "namedSize"; numbers (int,
// double or int64): "printerMarkSize", "printerMarkOffset", "width",
// "depth", "columns", "colourMakeup" (4), "bleed" (4), "typeIndent" (4);
// booleans: "requires2DPSFiles", "exported", "ro"; records: "zts" (any
// count), "userFields" (one, whose keys each hold a record). country,
// publication, publisher and section hold at most 2 values, the others
// exactly one unless noted. Type rules look at the first value.
bool DestinationIsWellFormed(const umessage* destination);
inline bool DestinationIsWellFormed(const std::shared_ptr<const umessage>& destination) {
  return DestinationIsWellFormed(destination.get());
}

// ---- template members ------------------------------------------------------

namespace ticket_detail {
inline const ustring kChecks{"checks"};
inline const ustring kRestrictions{"restrictions"};
inline const ustring kIdentifier{"identifier"};
inline const ustring kZts{"zts"};
inline const ustring kDestinations{"destinations"};
}  // namespace ticket_detail

template <class Ptr>
Ptr WCheckGroupT<Ptr>::Checks() const {
  return ticket_detail::record_at(group_.get(), ticket_detail::kChecks, 0);
}

template <class Ptr>
std::vector<ustring> WCheckGroupT<Ptr>::CheckNames() const {
  const Ptr checks = Checks();
  return checks ? checks->names() : std::vector<ustring>();
}

template <class Ptr>
WCheckSetting WCheckGroupT<Ptr>::Setting(const ustring& name) const {
  const Ptr checks = Checks();
  return WCheckSetting(ticket_detail::record_at(checks.get(), name, 0));
}

template <class Ptr>
std::size_t WCheckGroupT<Ptr>::RestrictionCount() const {
  return ticket_detail::record_count(group_.get(), ticket_detail::kRestrictions);
}

template <class Ptr>
WCheckGroupT<Ptr> WCheckGroupT<Ptr>::Restriction(std::size_t i) const {
  return WCheckGroupT(ticket_detail::record_at(group_.get(), ticket_detail::kRestrictions, i));
}

template <class Ptr>
ustring WDestinationT<Ptr>::Identifier() const {
  return destination_ ? destination_->template value<ustring>(ticket_detail::kIdentifier) : ustring();
}

template <class Ptr>
WCheckGroupT<Ptr> WDestinationT<Ptr>::CheckGroup() const {
  return WCheckGroupT<Ptr>(ticket_detail::record_at(destination_.get(), ticket_detail::kZts, 0));
}

template <class Ptr>
bool WTicketT<Ptr>::IsWellFormed() const {
  return TicketIsWellFormed(ticket_.get());
}

template <class Ptr>
std::size_t WTicketT<Ptr>::DestinationCount() const {
  return ticket_detail::record_count(ticket_.get(), ticket_detail::kDestinations);
}

template <class Ptr>
WDestinationT<Ptr> WTicketT<Ptr>::DestinationAt(std::size_t i) const {
  return Destination(ticket_detail::record_at(ticket_.get(), ticket_detail::kDestinations, i));
}

template <class Ptr>
WCheckGroupT<Ptr> WTicketT<Ptr>::TicketCheckGroup() const {
  return CheckGroup(ticket_detail::record_at(ticket_.get(), ticket_detail::kZts, 0));
}

extern template class WTicketT<std::shared_ptr<const umessage>>;
extern template class WTicketT<std::shared_ptr<umessage>>;
