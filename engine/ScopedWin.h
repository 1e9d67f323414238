// Tiny owners for Win32 handles, so that every early return and every exception closes what it opened.
#pragma once

#include <windows.h>

#include <cstdio>

class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE h) : h_(h) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : h_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    HANDLE get() const { return h_; }
    HANDLE* out() { reset(); return &h_; }
    bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }
    HANDLE release() { HANDLE h = h_; h_ = nullptr; return h; }
    void reset(HANDLE h = nullptr) {
        if (valid()) CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_ = nullptr;
};

class ScopedKey {
public:
    ScopedKey() = default;
    ~ScopedKey() { if (key_) RegCloseKey(key_); }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY get() const { return key_; }
    HKEY* out() { return &key_; }

private:
    HKEY key_ = nullptr;
};

class ScopedFile {
public:
    explicit ScopedFile(FILE* f) : f_(f) {}
    ~ScopedFile() { if (f_) fclose(f_); }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    FILE* get() const { return f_; }
    explicit operator bool() const { return f_ != nullptr; }

private:
    FILE* f_;
};

// Holds an auto-reset event used as a lock: released on scope exit, also when an allocation throws.
class EventLock {
public:
    explicit EventLock(HANDLE event) : event_(event) { WaitForSingleObject(event_, INFINITE); }
    ~EventLock() { SetEvent(event_); }
    EventLock(const EventLock&) = delete;
    EventLock& operator=(const EventLock&) = delete;

private:
    HANDLE event_;
};
