// Heap allocations counted while `counting` is on: C++ allocations (the device and the program)
// and C allocations (the GL driver, SDL) apart, so a raw-GL run can show the driver's own share.
#pragma once

#include <atomic>

namespace bench {

extern std::atomic<bool> counting;
extern std::atomic<long long> cxx_allocations;
extern std::atomic<long long> c_allocations;

}  // namespace bench
