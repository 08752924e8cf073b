#include "support/WindowSubclass.h"

WindowSubclass& WindowSubclass::operator=(const WindowSubclass& other) {
    if (this == &other)
        return *this;
    if (IsAttachedHere())
        Detach();
    window = other.window;
    previous = other.previous;
    handler = other.handler;
    tag = other.tag;
    return *this;
}

WindowSubclass::~WindowSubclass() {
    if (IsAttachedHere())
        Detach();
}

bool WindowSubclass::IsAttachedHere() const {
    if (window == nullptr || window == INVALID_HANDLE_VALUE || !IsWindow(window))
        return false;
    return GetWindowLongPtrW(window, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this);
}

void WindowSubclass::Attach(HWND hwnd) {
    window = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StaticProc)));
}

HWND WindowSubclass::Detach() {
    if (window == nullptr || window == INVALID_HANDLE_VALUE)
        return nullptr;
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    HWND attached = window;
    window = nullptr;
    return attached;
}

LRESULT CALLBACK WindowSubclass::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<WindowSubclass*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (self->handler)
        return self->handler(hwnd, message, wParam, lParam);
    return CallWindowProcW(self->previous, hwnd, message, wParam, lParam);
}
