// What the client accepts from a server, and for how long it reads: the
// documented limits of an LDAP load (docs/ldap.md, "How the tree is read").
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "base/failure.h"
#include "base/status.h"
#include "tree/entry_mapping.h"

namespace ldap_reader {

// The largest LDAP message taken from a server (liblber's
// LBER_SB_OPT_SET_MAX_INCOMING): one entry with its four attributes, or a
// result. A header that claims more is refused before anything is
// allocated for it.
inline constexpr std::size_t kMaxIncomingMessage = 16 * 1024 * 1024;

// The whole load (connect, bind, read) must end within this many seconds,
// DIRCLIENT_LOAD_TIMEOUT, or kDefaultLoadTimeoutSeconds.
inline constexpr char kLoadTimeoutVariable[] = "DIRCLIENT_LOAD_TIMEOUT";
inline constexpr long kDefaultLoadTimeoutSeconds = 3600;
inline constexpr long kMaxLoadTimeoutSeconds = 7 * 24 * 3600;

// Reads DIRCLIENT_LOAD_TIMEOUT's value (`setting`, may be null) into
// *seconds: unset or empty is the default; otherwise a whole number of
// seconds from 1 to kMaxLoadTimeoutSeconds. Anything else is a failure
// (kBadArgument, about the variable) and leaves *seconds as it was.
base::Failure ParseLoadTimeout(const char* setting, long* seconds);

// The instant a load must be over by.
struct LoadDeadline {
  std::chrono::steady_clock::time_point end;
  long seconds = kDefaultLoadTimeoutSeconds;  // as the user set it, for messages
};

}  // namespace ldap_reader
