#pragma once
// Deadlines of the port engines: milliseconds of the monotonic clock, -1 for none.

#include <algorithm>
#include <chrono>
#include <cstdint>

inline std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Milliseconds left until a deadline, for poll(); -1 waits without limit.
inline int PollTimeout(std::int64_t deadline) {
    if (deadline < 0) return -1;
    return static_cast<int>(std::max<std::int64_t>(0, deadline - NowMs()));
}
