// A second thread for work beside the run's own: started with every signal blocked, so that
// the handler that removes the temporary files (io/output_file.hpp) always runs on the main
// thread, whose SignalHold covers the renames. Returns no thread (not joinable) when the
// system cannot start one: the work is then done without it.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <system_error>
#include <thread>
#include <utility>

namespace memprep {

template <class Work>
std::thread start_quiet_thread(Work&& work) {
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  std::thread thread;
  try {
    thread = std::thread(std::forward<Work>(work));
  } catch (const std::system_error&) {
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return thread;
}

}  // namespace memprep
