#pragma once

// A counting semaphore whose count may go below zero, and a guard for it.

#include <condition_variable>
#include <cstdint>
#include <mutex>

class CountingSemaphore {
public:
    explicit CountingSemaphore(int64_t count = 0) : count(count) {}
    CountingSemaphore(const CountingSemaphore&) = delete;
    CountingSemaphore& operator=(const CountingSemaphore&) = delete;

    // Waits for a positive count, then takes one.
    void Acquire();
    // Takes one when the count is positive; never waits.
    bool TryAcquire();
    // Takes one without waiting; the count may go negative.
    void Debit();
    // Gives one back; wakes the waiters once the count is not negative.
    void Release();
    // Waits until the count is exactly zero.
    void WaitZero();
    // Waits until the count is positive, without taking it.
    void WaitPositive();

    int64_t Count();

private:
    std::condition_variable cond;
    std::mutex mutex;
    int64_t count;
};

// Mode 0 acquires and releases, mode 1 only acquires, mode 2 only releases.
class CountingSemaphoreGuard {
public:
    CountingSemaphoreGuard() = default;
    CountingSemaphoreGuard(CountingSemaphore& semaphore, int32_t mode);
    ~CountingSemaphoreGuard();
    CountingSemaphoreGuard(CountingSemaphoreGuard&& other) noexcept;
    CountingSemaphoreGuard& operator=(CountingSemaphoreGuard&& other) noexcept;
    CountingSemaphoreGuard(const CountingSemaphoreGuard&) = delete;
    CountingSemaphoreGuard& operator=(const CountingSemaphoreGuard&) = delete;

    void Release();

private:
    int32_t mode = 0;
    CountingSemaphore* semaphore = nullptr;
};
