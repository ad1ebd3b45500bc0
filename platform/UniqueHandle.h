// Owns one kernel handle. Win32 has two "no handle" values: CreateFile and friends
// fail with INVALID_HANDLE_VALUE, CreateEvent/CreateMutex/CreateThread with NULL.
// Each owner type knows which one its handles use, so neither is ever tested against
// the other.
#pragma once

#include <windows.h>

template <HANDLE (*Invalid)()>
class BasicUniqueHandle {
public:
    BasicUniqueHandle() = default;
    explicit BasicUniqueHandle(HANDLE handle) : m_handle(handle) {}
    ~BasicUniqueHandle() { reset(); }

    BasicUniqueHandle(const BasicUniqueHandle&) = delete;
    BasicUniqueHandle& operator=(const BasicUniqueHandle&) = delete;
    BasicUniqueHandle(BasicUniqueHandle&& other) noexcept : m_handle(other.release()) {}
    BasicUniqueHandle& operator=(BasicUniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle != Invalid() && m_handle != nullptr; }
    explicit operator bool() const { return valid(); }

    HANDLE release() {
        HANDLE handle = m_handle;
        m_handle = Invalid();
        return handle;
    }

    void reset(HANDLE handle = Invalid()) {
        if (valid()) CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle = Invalid();
};

namespace handle_detail {
inline HANDLE NullHandle() { return nullptr; }
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }
}  // namespace handle_detail

// Events, mutexes, threads, processes: NULL means none.
using UniqueHandle = BasicUniqueHandle<handle_detail::NullHandle>;
// Files and devices opened with CreateFile: INVALID_HANDLE_VALUE means none.
using UniqueFileHandle = BasicUniqueHandle<handle_detail::InvalidHandleValue>;
