// Owns one open registry key and closes it exactly once.
#pragma once

#include <windows.h>

class UniqueRegKey {
public:
    UniqueRegKey() = default;
    explicit UniqueRegKey(HKEY key) : m_key(key) {}
    ~UniqueRegKey() { reset(); }

    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;
    UniqueRegKey(UniqueRegKey&& other) noexcept : m_key(other.release()) {}
    UniqueRegKey& operator=(UniqueRegKey&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    HKEY get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }

    // For the out parameter of RegOpenKey and friends; closes what was held.
    HKEY* put() {
        reset();
        return &m_key;
    }

    HKEY release() {
        HKEY key = m_key;
        m_key = nullptr;
        return key;
    }

    void reset(HKEY key = nullptr) {
        if (m_key) RegCloseKey(m_key);
        m_key = key;
    }

private:
    HKEY m_key = nullptr;
};
