#pragma once

// Owners for the Win32 handles the program creates: each handle is released
// exactly once, by whoever holds it last.

#include <windows.h>

#include <utility>

template <typename Handle, typename Closer> class UniqueWin32Handle {
public:
    UniqueWin32Handle() = default;
    explicit UniqueWin32Handle(Handle handle) : handle_(handle) {}
    ~UniqueWin32Handle() { reset(); }

    UniqueWin32Handle(UniqueWin32Handle&& other) noexcept : handle_(other.release()) {}
    UniqueWin32Handle& operator=(UniqueWin32Handle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueWin32Handle(const UniqueWin32Handle&) = delete;
    UniqueWin32Handle& operator=(const UniqueWin32Handle&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    // Gives up ownership without closing.
    Handle release() { return std::exchange(handle_, nullptr); }

    // Closes the handle held now and takes the new one.
    void reset(Handle handle = nullptr) {
        Handle old = std::exchange(handle_, handle);
        if (old != nullptr)
            Closer::Close(old);
    }

private:
    Handle handle_ = nullptr;
};

struct WindowCloser {
    static void Close(HWND window) { DestroyWindow(window); }
};

struct GdiObjectCloser {
    static void Close(HGDIOBJ object) { DeleteObject(object); }
};

using UniqueWindow = UniqueWin32Handle<HWND, WindowCloser>;
using UniqueBrush = UniqueWin32Handle<HBRUSH, GdiObjectCloser>;
using UniquePen = UniqueWin32Handle<HPEN, GdiObjectCloser>;
