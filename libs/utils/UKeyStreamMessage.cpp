// The key stream's message fields: a umessage travels as a user/binary field
// holding its flat form. Kept apart from the streams themselves so that
// programs that never carry a message do not pull in the flat-form codec.
#include "utils/UKeyStream.h"

#include <sstream>
#include <string>
#include <utility>

#include "utils/umessage.h"

UKeyOutStream& UKeyOutStream::write_message(const umessage& record) {
  if (failed_) {
    pending_key_ = 0;
    return *this;
  }
  // The flat form carries no length of its own and a field's length precedes
  // its data, so the form is built in memory first.
  std::ostringstream flat;
  record.flatten(flat);
  const std::string bytes = std::move(flat).str();
  return write_bytes(bytes.data(), bytes.size());
}

UKeyInStream& UKeyInStream::read_message(umessage& record) {
  record.clear();
  std::string bytes;
  read(bytes);  // bounded by the field; in an array it takes the next element
  if (bytes.empty()) return *this;
  // unflatten reports and logs a form it rejects and leaves the record empty;
  // the caller only sees the empty record.
  std::istringstream flat(std::move(bytes));
  record.unflatten(flat, message_budget_);
  return *this;
}
