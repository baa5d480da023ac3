// A lock-free queue of MIDI messages from one thread to one other: the
// sequencer's playback thread puts messages in, the synthesizer's audio thread
// takes them out between two blocks of audio. Plain C++.
//
// Threads: push() and skipPending() from the producer only, drain() from the
// consumer only, empty() from either. Messages leave in the order they came.
// A message is a channel message (status and data bytes) or a whole SysEx, at
// most MaxMessage bytes.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

class MessageRing
{
public:
    static constexpr std::size_t Capacity = std::size_t(1) << 18; // bytes, a power of two
    static constexpr std::size_t MaxMessage = 0xFFFF;

    // The memory is taken as the queue first goes round, not up front.
    MessageRing() : m_bytes(new std::uint8_t[Capacity]), m_message(new std::uint8_t[MaxMessage]) {}

    // Queues the message; false when there is no room for it now (or it is
    // longer than MaxMessage).
    bool push(std::span<const std::uint8_t> message)
    {
        const std::size_t size = message.size();
        const std::uint64_t head = m_head.load(std::memory_order_relaxed);
        const std::uint64_t tail = m_tail.load(std::memory_order_acquire);
        if (size == 0 || size > MaxMessage || head + 2 + size - tail > Capacity)
            return false;
        const std::array<std::uint8_t, 2> length{std::uint8_t(size & 0xFF),
                                                 std::uint8_t(size >> 8)};
        copyIn(head, length);
        copyIn(head + 2, message);
        m_head.store(head + 2 + size, std::memory_order_release);
        return true;
    }

    // Hands every message queued so far to take(bytes), in order, except those
    // skipPending() dropped. A message counts as taken once take() returns.
    template <typename Take> void drain(Take &&take)
    {
        const std::uint64_t head = m_head.load(std::memory_order_acquire);
        std::uint64_t tail = m_tail.load(std::memory_order_relaxed);
        const std::uint64_t skipUntil = m_skipUntil.load(std::memory_order_acquire);
        std::array<std::uint8_t, 2> length{};
        while (tail < head) {
            copyOut(tail, length);
            const std::size_t size = length[0] | std::size_t(length[1]) << 8;
            if (tail >= skipUntil) {
                copyOut(tail + 2, std::span(m_message.get(), size));
                take(std::span<const std::uint8_t>(m_message.get(), size));
            }
            tail += 2 + size;
            m_tail.store(tail, std::memory_order_release);
        }
    }

    // Everything queued so far will be dropped instead of taken.
    void skipPending() { m_skipUntil.store(m_head.load(), std::memory_order_release); }

    // Whether every message queued has been taken (or dropped).
    bool empty() const
    {
        return m_tail.load(std::memory_order_acquire) == m_head.load(std::memory_order_acquire);
    }

private:
    void copyIn(std::uint64_t at, std::span<const std::uint8_t> from)
    {
        const std::size_t start = std::size_t(at % Capacity);
        const std::size_t first = std::min(from.size(), Capacity - start);
        std::copy_n(from.data(), first, m_bytes.get() + start);
        std::copy_n(from.data() + first, from.size() - first, m_bytes.get());
    }
    void copyOut(std::uint64_t at, std::span<std::uint8_t> to) const
    {
        const std::size_t start = std::size_t(at % Capacity);
        const std::size_t first = std::min(to.size(), Capacity - start);
        std::copy_n(m_bytes.get() + start, first, to.data());
        std::copy_n(m_bytes.get(), to.size() - first, to.data() + first);
    }

    std::unique_ptr<std::uint8_t[]> m_bytes;
    std::unique_ptr<std::uint8_t[]> m_message; // the consumer's copy of one message
    std::atomic<std::uint64_t> m_head{0};      // bytes ever pushed
    std::atomic<std::uint64_t> m_tail{0};      // bytes ever taken
    std::atomic<std::uint64_t> m_skipUntil{0}; // messages before this are dropped
};
