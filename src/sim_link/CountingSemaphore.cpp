#include "sim_link/CountingSemaphore.h"

#include <utility>

void CountingSemaphore::Acquire() {
    std::unique_lock<std::mutex> lock(mutex);
    cond.wait(lock, [this] { return count >= 1; });
    count -= 1;
    if (count == 0)
        cond.notify_all();
}

bool CountingSemaphore::TryAcquire() {
    std::lock_guard<std::mutex> lock(mutex);
    if (count > 0) {
        count -= 1;
        if (count == 0)
            cond.notify_all();
        return true;
    }
    return false;
}

void CountingSemaphore::Debit() {
    std::lock_guard<std::mutex> lock(mutex);
    count -= 1;
    if (count == 0)
        cond.notify_all();
}

void CountingSemaphore::Release() {
    std::lock_guard<std::mutex> lock(mutex);
    count += 1;
    if (count >= 0)
        cond.notify_all();
}

void CountingSemaphore::WaitZero() {
    std::unique_lock<std::mutex> lock(mutex);
    cond.wait(lock, [this] { return count == 0; });
}

void CountingSemaphore::WaitPositive() {
    std::unique_lock<std::mutex> lock(mutex);
    cond.wait(lock, [this] { return count >= 1; });
}

int64_t CountingSemaphore::Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return count;
}

CountingSemaphoreGuard::CountingSemaphoreGuard(CountingSemaphore& semaphore, int32_t mode)
    : mode(mode), semaphore(&semaphore) {
    if (mode != 2)
        semaphore.Acquire();
}

CountingSemaphoreGuard::~CountingSemaphoreGuard() {
    Release();
}

CountingSemaphoreGuard::CountingSemaphoreGuard(CountingSemaphoreGuard&& other) noexcept
    : mode(other.mode), semaphore(std::exchange(other.semaphore, nullptr)) {}

CountingSemaphoreGuard& CountingSemaphoreGuard::operator=(CountingSemaphoreGuard&& other) noexcept {
    if (this != &other) {
        Release();
        mode = other.mode;
        semaphore = std::exchange(other.semaphore, nullptr);
    }
    return *this;
}

void CountingSemaphoreGuard::Release() {
    if (semaphore && mode != 1)
        semaphore->Release();
    semaphore = nullptr;
}
