// Collects what OutputDebugStringA writes in this process while an object of this
// class lives: the text arrives as the DBG_PRINTEXCEPTION_C exception, which a
// vectored handler sees first and dismisses. One collector at a time.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

class DebugOutput {
public:
    DebugOutput();
    ~DebugOutput();
    DebugOutput(const DebugOutput&) = delete;
    DebugOutput& operator=(const DebugOutput&) = delete;

    // True when some line written so far equals text.
    bool Contains(const std::string& text) const;
    // How many lines written so far equal text.
    size_t Count(const std::string& text) const;

    std::vector<std::string> lines;

private:
    PVOID m_handler;
};

}  // namespace testsupport
