#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

// Replaces a window's procedure with a function object. While attached, the
// window's GWLP_USERDATA holds this object's address: the object must not move,
// and the window's user data must be free for it.
class WindowSubclass {
public:
    using Handler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

    WindowSubclass() = default;
    // A copy takes over the fields but not the window: the window keeps pointing
    // at the original, and only the original detaches it.
    WindowSubclass(const WindowSubclass& other) = default;
    // Detaches this object's own window first.
    WindowSubclass& operator=(const WindowSubclass& other);
    // Detaches, so the window never points at a dead object.
    ~WindowSubclass();

    void Attach(HWND hwnd);
    // Restores the previous procedure; returns the window that was attached, or null.
    HWND Detach();
    // The window is alive and its user data points at this object.
    bool IsAttachedHere() const;

    static LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window = nullptr;
    WNDPROC previous = nullptr;
    // Decides itself whether to pass the message on with CallWindowProcW(previous, ...).
    Handler handler;
    uint32_t tag = 0;
};
