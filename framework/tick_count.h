#pragma once
// The system's 32-bit millisecond count, which wraps every 49.7 days,
// carried on as a 64-bit count for the systems that have no 64-bit one.
#include <atomic>
#include <cstdint>

class CTickExtender {
public:
    // The count `read()` gives now, extended: a count below the low half of
    // the last one handed out has wrapped once more. Safe for any number of
    // threads; the count is read again whenever another thread went first.
    template <typename Read>
    std::uint64_t Extend(Read read) {
        std::uint64_t last = m_last.load(std::memory_order_acquire);
        for (;;) {
            const std::uint32_t now = read();
            std::uint64_t high = last & 0xFFFFFFFF00000000ull;
            if (now < static_cast<std::uint32_t>(last)) high += 0x100000000ull;
            const std::uint64_t next = high | now;
            if (m_last.compare_exchange_weak(last, next, std::memory_order_acq_rel, std::memory_order_acquire))
                return next;
        }
    }

private:
    std::atomic<std::uint64_t> m_last{0};
};
