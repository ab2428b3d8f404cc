#include "ldap/ldap_source.h"

#include <unistd.h>

#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "base/status.h"
#include "ldap/bind_safety.h"
#include "ldap/ldap_bind.h"
#include "ldap/ldap_connection.h"
#include "ldap/ldap_tree_reader.h"
#include "ldap/password_file.h"
#include "ldap/secret_guard.h"
#include "ldap/sigpipe_block.h"
#include "ldap/user_ldap_config.h"
#include "tree/load_progress.h"
#include "tree/tree_builder.h"

namespace ldap_reader {
namespace {

// Everything a simple bind needs is checked before anything is sent: a
// password file others could read or have written is refused even where the
// server would take the password, and so is a password without a bind DN,
// which a lax server would take as an anonymous bind.
base::Failure PrepareSimpleBind(const char* passwordFile, const UserLdapConfig& config,
                                SecretBytes* password) {
  base::Failure failure = CheckWorkingDirConfig(config);
  if (failure.status == base::kOk) failure = ReadPasswordFile(passwordFile, password);
  if (failure.status == base::kOk && !config.bindDn.set) {
    failure.status = base::kPasswordNoBindDn;
    failure.where = passwordFile;
    failure.message = "a password needs a bind DN: set BINDDN in ~/.ldaprc, or LDAPBINDDN";
  }
  return failure;
}

bool UsesTls(const LdapTarget& target) {
  return target.startTls || target.servers.find("ldaps://") != std::string::npos;
}

// Says, before connecting, what the user may not expect: that the working
// directory chose the server or the bind DN, or that certificates go
// unchecked.
void AnnounceChoices(const UserLdapConfig& config, const LdapTarget& target, bool simpleBind,
                     const char* weakCheck, base::LoadObserver& observer) {
  bool serverFromConfig = target.display == ConfiguredLdapUris();
  for (const std::string& line : WorkingDirChoices(config, serverFromConfig, simpleBind))
    observer.Notice(line);
  if (weakCheck && UsesTls(target))
    observer.Notice(std::string("warning: TLS_REQCERT ") + weakCheck +
                    ": the server's certificate is not checked");
}

// Status 0 when a simple bind may go ahead on `connection`.
base::Failure RefusePlaintextBind(LdapConnection& connection,
                                  const base::Environment& environment) {
  if (ConnectionIsConfidential(connection.get()) || PlaintextBindAllowed(environment)) return {};
  return MakeClientFailure(
      base::kPlaintextBindRefused,
      std::string("simple bind refused: the password would cross the network in clear "
                  "(use ldaps:// or StartTLS, or set ") +
          kPlaintextBindVariable + "=" + kPlaintextBindAllowed + ")");
}

// The deadline of the whole load, DIRCLIENT_LOAD_TIMEOUT from now; a
// failure for a value that is no number of seconds.
base::Failure StartDeadline(const base::Environment& environment, LoadDeadline* deadline) {
  base::Failure failure =
      ParseLoadTimeout(environment.Get(kLoadTimeoutVariable), &deadline->seconds);
  if (failure.status != base::kOk) return failure;
  deadline->end = std::chrono::steady_clock::now() + std::chrono::seconds(deadline->seconds);
  return {};
}

base::Failure Load(const LdapTarget& target, const UserLdapConfig& config,
                   const base::Environment& environment, base::LoadObserver& observer,
                   std::unique_ptr<tree::LoadedTree>* out) {
  LoadDeadline deadline;
  if (base::Failure failure = StartDeadline(environment, &deadline); failure.status != base::kOk)
    return failure;
  const char* weakCheck = WeakCertificateCheck();
  const char* passwordFile = environment.Get(kPasswordFileVariable);
  bool simpleBind = passwordFile && *passwordFile;
  // Declared before the password, so that the password is wiped first.
  std::optional<SecretGuard> guard;
  SecretBytes password;
  if (simpleBind) {
    guard.emplace();
    base::Failure failure = PrepareSimpleBind(passwordFile, config, &password);
    if (failure.status != base::kOk) return failure;
  }
  AnnounceChoices(config, target, simpleBind, weakCheck, observer);

  // Declared before the connection, so that its unbind is covered too.
  SigpipeBlock sigpipe;
  LdapConnection connection;
  connection.SetDeadline(deadline);
  auto loaded = std::make_unique<tree::LoadedTree>();
  base::Failure failure = connection.Open(target);
  if (failure.status == base::kOk && simpleBind) {
    failure = RefusePlaintextBind(connection, environment);
    if (failure.status == base::kOk) guard->HandedOn();
  }
  if (failure.status == base::kOk)
    failure =
        BindConnection(connection, target, simpleBind ? &password : nullptr, config.bindDn.value);
  password.Wipe();
  tree::LoadProgress progress(&observer);
  if (failure.status == base::kOk)
    failure = ReadLdapTree(connection, target.base, *loaded, &progress);
  if (failure.status != base::kOk) {
    // A step's failure says what happened; the server it happened with is
    // the URI's.
    failure.where = target.display;
    return failure;
  }
  *out = std::move(loaded);
  return {};
}

}  // namespace

// Memory running out anywhere on the way (the tree, libldap's messages as
// the client copies them) is one failure like the others, not an abort.
base::Failure LoadLdapTree(const LdapTarget& target, const UserLdapConfig& config,
                           const base::Environment& environment, base::LoadObserver& observer,
                           std::unique_ptr<tree::LoadedTree>* out) {
  try {
    return Load(target, config, environment, observer, out);
  } catch (const std::bad_alloc&) {
    base::Failure failure = tree::OutOfMemoryWhileLoading();
    failure.where = target.display;
    return failure;
  }
}

}  // namespace ldap_reader
