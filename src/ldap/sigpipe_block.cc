#include "ldap/sigpipe_block.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace ldap_reader {
namespace {

sigset_t PipeSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

bool PipePending() {
  sigset_t pending;
  return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

SigpipeBlock::SigpipeBlock() {
  sigset_t pipe = PipeSet();
  wasPending_ = PipePending();
  active_ = pthread_sigmask(SIG_BLOCK, &pipe, &saved_) == 0;
}

SigpipeBlock::~SigpipeBlock() {
  if (!active_) return;
  if (!wasPending_ && PipePending()) {
    sigset_t pipe = PipeSet();
    struct timespec now = {0, 0};
    while (sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace ldap_reader
