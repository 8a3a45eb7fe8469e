// Representative records for the codec benchmarks.
#pragma once

#include "utils/umessage.h"

// A ticket-like record: identity, a check group of 300 named settings and 50
// destination records with a dozen typed entries and a small check group of
// their own each (about 100 KB as compact JSON).
umessage make_ticket_message();

// A "details" request with a 2 KB payload (Base64 text of 1.5 KB of bytes).
umessage make_request_message();
