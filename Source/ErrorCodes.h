// The host error codes the plug-in itself produces (four-character codes,
// first character in the most significant byte).
#pragma once

#include "AIHost.h"

// The plug-in object could not be allocated; also a suite holder that could
// not be made.
inline constexpr ai::Err ErrOutOfMemory = ai::FourCC("!MEM");
// No handler for the caller and selector. Never reaches the host: the
// dispatch turns it into 0.
inline constexpr ai::Err ErrUnhandledMessage = ai::FourCC("!MSG");
// A handler threw something other than ai::Error.
inline constexpr ai::Err ErrUnexpected = ai::FourCC("CANT");
// The plug-in's own start-up (initialisation) failed.
inline constexpr ai::Err ErrNotImplemented = ai::FourCC("!IMP");
// Answer to a purge request the plug-in refuses.
inline constexpr ai::Err ErrPurgeRefused = ai::FourCC("pFls");

static_assert(ErrOutOfMemory == 0x214D454D && ErrUnhandledMessage == 0x214D5347 &&
              ErrUnexpected == 0x43414E54 && ErrNotImplemented == 0x21494D50 &&
              ErrPurgeRefused == 0x70466C73);
