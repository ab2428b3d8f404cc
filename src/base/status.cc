#include "base/status.h"

namespace base {

const char* StatusText(Status status) {
  switch (status) {
    case kOk: return "success";
    case kNoSuchObject: return "no such object";
    case kNoSuchAttribute: return "the object has no such attribute";
    case kNameTooLong: return "object name longer than 259 bytes";
    case kBadName: return "name does not parse";
    case kBadContext: return "not a context of this client";
    case kBadBuffer: return "not a reply buffer of this client";
    case kBadStream: return "not a stream of this client";
    case kBadIteration: return "iteration handle does not belong to this listing";
    case kNoMoreObjects: return "no more objects in this batch";
    case kBadStreamMode: return "streams can only be opened for reading";
    case kBadContextKey: return "unsupported context key";
    case kBadBufferSize: return "unsupported reply buffer size";
    case kNotStarted: return "client not started";
    case kBadArgument: return "invalid argument";
    case kUnknownCodePage: return "unsupported code page";
    case kOutOfMemory: return "out of memory";
    case kNoTreeConfigured: return "no directory tree configured";
    case kTreeUnreadable: return "directory tree file cannot be read";
    case kTreeMalformed: return "directory tree file is malformed";
    case kAlreadyStarted: return "client already started";
    case kPasswordFileUnreadable: return "password file cannot be read";
    case kPasswordFileExposed: return "password file is open to group or others";
    case kPasswordEmpty: return "password file holds no password";
    case kLdapBadUri: return "LDAP URI does not parse";
    case kLdapNoNamingContexts: return "no base DN and no naming contexts";
    case kLdapPagingBroken: return "server broke off the paged search";
    case kLdapBadDn: return "server sent a DN that does not parse";
    case kPasswordFileOwner: return "password file is owned by another user";
    case kPasswordNoBindDn: return "password file given but no bind DN configured";
    case kLdapConfigUnsafe: return "LDAP configuration in the working directory is not safe";
    case kPlaintextBindRefused: return "simple bind refused over a connection without TLS";
    case kLdapOverLimit: return "server sent more than a documented limit allows";
    case kNoLdapReader: return "this build reads LDIF files, not LDAP servers";
    default: break;
  }
  if (status < kLdapApiBase && status > kLdapApiBase - 100) return "LDAP client library error";
  if (status < kLdapResultBase) return "LDAP server result";
  return "unknown status";
}

}  // namespace base
