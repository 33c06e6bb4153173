// The 32-bit tick count carried across its wraps.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "framework/tick_count.h"

namespace {

TEST(TickExtender, CarriesTheCountAcrossEachWrap) {
    const struct {
        std::uint32_t read;
        std::uint64_t extended;
    } steps[] = {
        {5, 5},
        {0xFFFFFF00u, 0xFFFFFF00u},
        {0xFFFFFF00u, 0xFFFFFF00u},            // the same count again is no wrap
        {0x10, 0x100000010ull},                // wrapped
        {0x7FFFFFFF, 0x17FFFFFFFull},
        {0xFFFFFFFFu, 0x1FFFFFFFFull},
        {0, 0x200000000ull},                   // wrapped again, to zero
        {3, 0x200000003ull},
    };
    CTickExtender ticks;
    for (const auto& step : steps) EXPECT_EQ(ticks.Extend([&] { return step.read; }), step.extended) << step.read;
}

TEST(TickExtender, ThreadsNeverSeeTheCountGoBack) {
    // Every thread reads a shared count that moves on across a wrap; no
    // thread's extended counts ever decrease, and none runs ahead of a wrap
    // by taking an older reading for a new one.
    CTickExtender ticks;
    std::atomic<std::uint32_t> clock{0xFFFFF000u};
    std::vector<std::thread> threads;
    std::atomic<bool> backwards{false};
    std::atomic<std::uint64_t> highest{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            std::uint64_t before = 0;
            for (int i = 0; i < 20000; ++i) {
                const std::uint64_t now = ticks.Extend([&] { return clock.fetch_add(1); });
                if (now < before) backwards = true;
                before = now;
            }
            for (std::uint64_t seen = highest.load(); before > seen && !highest.compare_exchange_weak(seen, before);) {
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_FALSE(backwards);
    // One wrap, never two: nothing beyond the count the clock has reached.
    const std::uint64_t end = 0x100000000ull + clock.load();
    EXPECT_LT(highest.load(), end);
    EXPECT_EQ(ticks.Extend([&] { return clock.load(); }), end);
}

}  // namespace
