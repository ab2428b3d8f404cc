// A SIGPIPE raised while the client talks to a server must not end the
// process, and must not be left pending or blocked afterwards.
#include "ldap/sigpipe_block.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

namespace qovant_test {
namespace {

bool Pending() {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

bool Blocked() {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  return sigismember(&mask, SIGPIPE) == 1;
}

// An inner guard leaves the outer one's block in place.
TEST(SigpipeBlockTest, SignalDuringTheGuardIsConsumed) {
  ASSERT_FALSE(Blocked());
  {
    ldap_reader::SigpipeBlock outer;
    {
      ldap_reader::SigpipeBlock inner;
      EXPECT_TRUE(Blocked());
      raise(SIGPIPE);  // would end the test binary if it were delivered
      EXPECT_TRUE(Pending());
    }
    EXPECT_TRUE(Blocked());
    EXPECT_FALSE(Pending());
  }
  EXPECT_FALSE(Pending());
  EXPECT_FALSE(Blocked());
}

}  // namespace
}  // namespace qovant_test
