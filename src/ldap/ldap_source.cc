#include "ldap/ldap_source.h"

#include <unistd.h>

#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "ldap/bind_safety.h"
#include "ldap/ldap_bind.h"
#include "ldap/ldap_connection.h"
#include "ldap/ldap_tree_reader.h"
#include "client/load_progress.h"
#include "ldap/password_file.h"
#include "ldap/secret_guard.h"
#include "client/shown_text.h"
#include "ldap/sigpipe_block.h"
#include "client/status.h"
#include "ldap/user_ldap_config.h"

namespace dirclient {
namespace {

// Everything a simple bind needs is checked before anything is sent: a
// password file others could read or have written is refused even where the
// server would take the password, and so is a password without a bind DN,
// which a lax server would take as an anonymous bind. On failure *where is
// what the message is about.
Status PrepareSimpleBind(const char* passwordFile, const UserLdapConfig& config,
                         SecretBytes* password, std::string* where, std::string* reason) {
  *where = passwordFile;
  Status status = ReadPasswordFile(passwordFile, password, reason);
  if (status != kOk) return status;
  status = CheckWorkingDirConfig(config, reason);
  if (status != kOk) {
    where->clear();
    return status;
  }
  if (!config.bindDn.set) {
    *reason = "a password needs a bind DN: set BINDDN in ~/.ldaprc, or LDAPBINDDN";
    return kPasswordNoBindDn;
  }
  return kOk;
}

bool UsesTls(const LdapTarget& target) {
  return target.startTls || target.servers.find("ldaps://") != std::string::npos;
}

// Says, before connecting, what the user may not expect: that the working
// directory chose the server or the bind DN, or that certificates go
// unchecked.
void AnnounceChoices(const UserLdapConfig& config, const LdapTarget& target, bool simpleBind,
                     const char* weakCheck, std::FILE* diagnostics, const char* program) {
  bool serverFromConfig = target.display == ConfiguredLdapUris();
  for (const std::string& line : WorkingDirChoices(config, serverFromConfig, simpleBind))
    std::fprintf(diagnostics, "%s: %s\n", program, ShownOn(diagnostics, line).c_str());
  if (weakCheck && UsesTls(target))
    std::fprintf(diagnostics,
                 "%s: warning: TLS_REQCERT %s: the server's certificate is not checked\n",
                 program, weakCheck);
}

bool RefusePlaintextBind(LdapConnection& connection, LdapFailure* failure) {
  if (ConnectionIsConfidential(connection.get()) || PlaintextBindAllowed()) return false;
  *failure = MakeClientFailure(
      kPlaintextBindRefused,
      std::string("simple bind refused: the password would cross the network in clear "
                  "(use ldaps:// or StartTLS, or set ") +
          kPlaintextBindVariable + "=" + kPlaintextBindAllowed + ")");
  return true;
}

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
  // Asking libldap first makes it read its configuration now, before the
  // client looks at the same files.
  const char* weakCheck = WeakCertificateCheck();
  UserLdapConfig config = ReadUserLdapConfig();
  bool simpleBind = passwordFile && *passwordFile;
  // Declared before the password, so that the password is wiped first.
  std::optional<SecretGuard> guard;
  SecretBytes password;
  if (simpleBind) {
    guard.emplace();
    std::string where, reason;
    Status status = PrepareSimpleBind(passwordFile, config, &password, &where, &reason);
    if (status != kOk) {
      if (!where.empty()) where = ShownOn(diagnostics, where) + ": ";
      std::fprintf(diagnostics, "%s: %s%s\n", program, where.c_str(),
                   ShownOn(diagnostics, reason).c_str());
      return status;
    }
  }
  AnnounceChoices(config, target, simpleBind, weakCheck, diagnostics, program);

  // Declared before the connection, so that its unbind is covered too.
  SigpipeBlock sigpipe;
  LdapFailure failure;
  LdapConnection connection;
  connection.SetDeadline(deadline);
  auto loaded = std::make_unique<LoadedTree>();
  bool ok = connection.Open(target, &failure);
  if (ok && simpleBind) {
    ok = !RefusePlaintextBind(connection, &failure);
    if (ok) guard->HandedOn();
  }
  ok = ok && BindConnection(connection, target,
                            simpleBind ? &password : nullptr, config.bindDn.value, &failure);
  password.Wipe();
  LoadProgress progress(diagnostics, isatty(fileno(diagnostics)) == 1, program);
  ok = ok && ReadLdapTree(connection, target.base, *loaded, &failure, &progress);
  progress.Finish();
  if (!ok) {
    std::fprintf(diagnostics, "%s: %s: %s\n", program,
                 ShownOn(diagnostics, target.display).c_str(),
                 ShownOn(diagnostics, failure.message).c_str());
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
    std::fprintf(diagnostics, "%s: %s: out of memory\n", program,
                 ShownOn(diagnostics, target.display).c_str());
    return kOutOfMemory;
  }
}

}  // namespace dirclient
