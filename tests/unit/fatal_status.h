#pragma once
// Whether a child process ended the way a fatal signal ends it: killed by that signal, or, in a build with
// AddressSanitizer (whose handler came first and is handed the signal on), ended by the sanitizer's report, which
// exits or aborts.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <string>

inline ::testing::AssertionResult diedOf(int status, int signal) {
  if (WIFSIGNALED(status) && WTERMSIG(status) == signal) return ::testing::AssertionSuccess();
#if defined(__SANITIZE_ADDRESS__)
  if ((WIFEXITED(status) && WEXITSTATUS(status) != 0) || (WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT))
    return ::testing::AssertionSuccess();
#endif
  if (WIFSIGNALED(status))
    return ::testing::AssertionFailure() << "died of signal " << WTERMSIG(status) << ", not " << signal;
  return ::testing::AssertionFailure() << "exited with " << WEXITSTATUS(status) << " instead of dying of signal "
                                       << signal;
}
