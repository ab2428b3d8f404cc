#include "dirclient/ldap_source.h"

#include <unistd.h>

#include <cstdlib>
#include <new>
#include <string>

#include "dirclient/ldap_bind.h"
#include "dirclient/ldap_connection.h"
#include "dirclient/ldap_tree_reader.h"
#include "dirclient/load_progress.h"
#include "dirclient/password_file.h"
#include "dirclient/sigpipe_block.h"
#include "dirclient/status.h"

namespace dirclient {
namespace {

// The deadline of the whole load, DIRCLIENT_LOAD_TIMEOUT from now; on a
// value that is no number of seconds, writes why and returns false.
bool StartDeadline(LoadDeadline* deadline, std::FILE* diagnostics, const char* program) {
  std::string reason;
  if (!ParseLoadTimeout(std::getenv(kLoadTimeoutVariable), &deadline->seconds, &reason)) {
    std::fprintf(diagnostics, "%s: %s: %s\n", program, kLoadTimeoutVariable, reason.c_str());
    return false;
  }
  deadline->end = std::chrono::steady_clock::now() + std::chrono::seconds(deadline->seconds);
  return true;
}

Status Load(const LdapTarget& target, const char* passwordFile, std::FILE* diagnostics,
            const char* program, std::unique_ptr<LoadedTree>* out) {
  LoadDeadline deadline;
  if (!StartDeadline(&deadline, diagnostics, program)) return kBadArgument;
  // The password is checked before anything is sent: a file others can
  // read is refused even when the server would accept the password.
  SecretBytes password;
  bool simpleBind = passwordFile && *passwordFile;
  if (simpleBind) {
    std::string reason;
    Status status = ReadPasswordFile(passwordFile, &password, &reason);
    if (status != kOk) {
      std::fprintf(diagnostics, "%s: %s: %s\n", program, passwordFile, reason.c_str());
      return status;
    }
  }

  // Declared before the connection, so that its unbind is covered too.
  SigpipeBlock sigpipe;
  LdapFailure failure;
  LdapConnection connection;
  connection.SetDeadline(deadline);
  auto loaded = std::make_unique<LoadedTree>();
  bool ok = connection.Open(target, &failure) &&
            BindConnection(connection, target, simpleBind ? &password : nullptr,
                           &failure);
  password.Wipe();
  LoadProgress progress(diagnostics, isatty(fileno(diagnostics)) == 1, program);
  ok = ok && ReadLdapTree(connection, target.base, *loaded, &failure, &progress);
  progress.Finish();
  if (!ok) {
    std::fprintf(diagnostics, "%s: %s: %s\n", program, target.display.c_str(),
                 failure.message.c_str());
    return failure.status != kOk ? failure.status : LdapCodeStatus(LDAP_OTHER);
  }
  *out = std::move(loaded);
  return kOk;
}

}  // namespace

// Memory running out anywhere on the way (the tree, libldap's messages as
// the client copies them) is one failure like the others, not an abort.
Status LoadLdapTree(const LdapTarget& target, const char* passwordFile,
                    std::FILE* diagnostics, const char* program,
                    std::unique_ptr<LoadedTree>* out) {
  try {
    return Load(target, passwordFile, diagnostics, program, out);
  } catch (const std::bad_alloc&) {
    std::fprintf(diagnostics, "%s: %s: out of memory\n", program, target.display.c_str());
    return kOutOfMemory;
  }
}

}  // namespace dirclient
