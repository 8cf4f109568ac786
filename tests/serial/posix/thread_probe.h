#pragma once

#include <sys/types.h>

#include <set>

// What the kernel knows about this process's threads and descriptors (from /proc).
std::set<pid_t> threadIds();
// The one thread that is in now and was not in before; 0 when there is not exactly one.
pid_t newThread(const std::set<pid_t>& before);
// Time the thread has spent on a CPU, in nanoseconds; -1 once it is gone.
long long threadCpuNanoseconds(pid_t tid);
// How often the thread has gone to sleep voluntarily (each wake-up from a wait counts one); -1 once gone.
long long threadVoluntarySwitches(pid_t tid);
int openDescriptorCount();
