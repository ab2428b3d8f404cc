#include "dirclient/ldap_source.h"

#include <unistd.h>

#include "dirclient/ldap_bind.h"
#include "dirclient/ldap_connection.h"
#include "dirclient/ldap_tree_reader.h"
#include "dirclient/load_progress.h"
#include "dirclient/password_file.h"
#include "dirclient/shown_text.h"
#include "dirclient/sigpipe_block.h"
#include "dirclient/status.h"

namespace dirclient {

Status LoadLdapTree(const LdapTarget& target, const char* passwordFile,
                    std::FILE* diagnostics, const char* program,
                    std::unique_ptr<LoadedTree>* out) {
  // The password is checked before anything is sent: a file others can
  // read is refused even when the server would accept the password.
  SecretBytes password;
  bool simpleBind = passwordFile && *passwordFile;
  if (simpleBind) {
    std::string reason;
    Status status = ReadPasswordFile(passwordFile, &password, &reason);
    if (status != kOk) {
      std::fprintf(diagnostics, "%s: %s: %s\n", program,
                   ShownOn(diagnostics, passwordFile).c_str(), reason.c_str());
      return status;
    }
  }

  // Declared before the connection, so that its unbind is covered too.
  SigpipeBlock sigpipe;
  LdapFailure failure;
  LdapConnection connection;
  auto loaded = std::make_unique<LoadedTree>();
  bool ok = connection.Open(target, &failure) &&
            BindConnection(connection, target, simpleBind ? &password : nullptr,
                           &failure);
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

}  // namespace dirclient
