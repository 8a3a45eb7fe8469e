// SuiteSet: a holder of the host suites the plug-in keeps for its lifetime.
//
// The suites, in the order they are acquired and released: "SP Access Suite"
// 3, "SP Plug-ins Suite" 6, "AI Notifier Suite" 4, "AI Context Suite" 10,
// "AI User Suite" 21, "AI File Path Suite" 8, "AI Folders Suite" 5,
// "SP Blocks Suite" 2, "AI Menu Suite" 11, "AI Unicode String Suite" 9,
// "AI Document Suite" 21, "AI Document List Suite" 11, "AI Dictionary Suite"
// 10, "AI Action Manager Suite" 5, "AI Matching Art Suite" 7, "AI MdMemory
// Suite" 3, "AI Art Suite" 21, "AI Artboard Suite" 6.
//
// Holders are counted process-wide. The first holder acquires the suites in
// list order through ai::suite::basic into the ai::suite pointers, stopping
// at the first failure and keeping that error (the suites before it stay
// acquired until the count drops). Later holders only count, and report the
// first holder's error. Destroying the holder that brings the count to 0
// releases every acquired suite in list order and clears its pointer. A
// host call that throws out of the first acquisition releases what it took
// and leaves no holder counted. Main thread only.
#pragma once

#include "AIHost.h"

class SuiteSet {
 public:
  SuiteSet();
  ~SuiteSet();
  SuiteSet(const SuiteSet&) = delete;
  SuiteSet& operator=(const SuiteSet&) = delete;

  // The error of the acquisition this holder shares.
  ai::Err error() const { return error_; }

  // Holders alive in the process.
  static int holders();

 private:
  ai::Err error_ = ai::kNoErr;
};
