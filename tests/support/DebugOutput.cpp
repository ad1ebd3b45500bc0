#include "DebugOutput.h"

#include <algorithm>

namespace testsupport {
namespace {

std::vector<std::string>* g_output = nullptr;

LONG CALLBACK CaptureDebugString(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || record->NumberParameters < 2 || !g_output)
        return EXCEPTION_CONTINUE_SEARCH;
    std::string text(reinterpret_cast<const char*>(record->ExceptionInformation[1]),
                     size_t(record->ExceptionInformation[0]));
    while (!text.empty() && text.back() == '\0') text.pop_back();
    g_output->push_back(text);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

DebugOutput::DebugOutput() : m_handler(AddVectoredExceptionHandler(1, CaptureDebugString)) { g_output = &lines; }

DebugOutput::~DebugOutput() {
    g_output = nullptr;
    RemoveVectoredExceptionHandler(m_handler);
}

bool DebugOutput::Contains(const std::string& text) const { return Count(text) > 0; }

size_t DebugOutput::Count(const std::string& text) const {
    return size_t(std::count(lines.begin(), lines.end(), text));
}

}  // namespace testsupport
