#pragma once

// Waiting a little before sleeping. Waking a thread that sleeps on another processor costs
// tens of microseconds, more than a short worker job takes, so the threads that hand jobs and
// their results to each other look for the next one for a moment first. The thread yields
// between looks, so a thread it shares a processor with runs meanwhile, and it sleeps for
// real after the budget, so an idle program still uses no processor time.

#include <chrono>
#include <thread>

inline constexpr std::chrono::microseconds trv_brief_spin_budget{50};

// True as soon as `ready()` holds, false when it still does not after the budget.
template <class Ready>
bool trv_brief_spin(Ready ready) {
  const auto until = std::chrono::steady_clock::now() + trv_brief_spin_budget;
  do {
    if (ready()) return true;
    std::this_thread::yield();
  } while (std::chrono::steady_clock::now() < until);
  return ready();
}
