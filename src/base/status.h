// The client's failure statuses. Every value keeps its number for good:
// users look up the hexadecimal form the tool prints (-601 prints as
// FFFFFDA7), so a number is never reused or moved.
#pragma once

#include <cstdint>

namespace base {

using Status = int32_t;

enum DirStatus : Status {
  kOk = 0,

  // Names and objects.
  kNoSuchObject = -601,     // the name parses but names no object
  kNoSuchAttribute = -602,  // the object has no such attribute
  kNameTooLong = -603,      // a listed name over 259 bytes
  kBadName = -604,          // a name that does not parse

  // Calls the client cannot serve.
  kBadContext = -610,
  kBadBuffer = -611,
  kBadStream = -612,
  kBadIteration = -613,   // not the handle of this context's listing
  kNoMoreObjects = -614,  // more names read than the batch holds
  kBadStreamMode = -615,  // streams are read-only
  kBadContextKey = -616,
  kBadBufferSize = -617,
  kNotStarted = -618,  // an operation before a successful start-up
  kBadArgument = -619,
  kUnknownCodePage = -620,
  kOutOfMemory = -621,  // words for a load: kOutOfMemoryWhileLoading

  // Start-up.
  kNoTreeConfigured = -630,
  kTreeUnreadable = -631,  // the LDIF file cannot be opened or read
  kTreeMalformed = -632,   // the LDIF file does not parse
  kAlreadyStarted = -633,
  kPasswordFileUnreadable = -634,  // missing, not a file, or too long
  kPasswordFileExposed = -635,     // group or others have access to it
  kPasswordEmpty = -636,           // would make the bind anonymous
  kLdapBadUri = -637,              // an LDAP URI that does not parse
  kLdapNoNamingContexts = -638,    // no base in the URI, none in the root DSE
  kLdapPagingBroken = -639,        // the server did not keep to paged results
  kLdapBadDn = -640,               // the server sent a DN that does not parse
  kPasswordFileOwner = -641,       // owned by neither the user nor root
  kPasswordNoBindDn = -642,        // a password but no bind DN to send it with
  kLdapConfigUnsafe = -643,        // working-directory configuration others could write
  kPlaintextBindRefused = -644,    // the password would cross a network in clear
  kLdapOverLimit = -645,           // the server sent more than a limit allows
  kNoLdapReader = -646,            // an LDAP URI, in a build that reads LDIF files only

  // LDAP: a libldap API error e (negative, -1 to -99) maps to kLdapApiBase + e
  // (-901 to -999), and a server result code c (positive) to
  // kLdapResultBase - c (-1001 and below), so every cause stays distinct.
  kLdapApiBase = -900,
  kLdapResultBase = -1000,
};

// How a load that ran out of memory is reported, whichever reader ran it
// and on whichever thread memory ran out: a server and its export fail
// alike.
inline constexpr char kOutOfMemoryWhileLoading[] = "out of memory while loading the tree";

// One line of text saying what a status means, for diagnostics and docs.
const char* StatusText(Status status);

}  // namespace base
