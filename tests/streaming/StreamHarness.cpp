#include "StreamHarness.h"

#include "VeltrixControllerASIO.h"

namespace {
StreamHarness* g_harness = nullptr;
constexpr size_t kMaxRecords = 100000;
}  // namespace

StreamHarness::StreamHarness(VeltrixControllerASIO* driver)
    : m_driver(driver), m_callbacks{OnSwitch, OnRateChanged, OnMessage, OnSwitchTimeInfo} {
    g_harness = this;
}

StreamHarness::~StreamHarness() { g_harness = nullptr; }

ASIOError StreamHarness::CreateBuffers(int inputs, int outputs, long frames) {
    m_inputs = inputs;
    m_outputs = outputs;
    m_frames = frames;
    m_infos.clear();
    for (int i = 0; i < inputs; ++i) m_infos.push_back({ASIOTrue, i, {nullptr, nullptr}});
    for (int o = 0; o < outputs; ++o) m_infos.push_back({ASIOFalse, o, {nullptr, nullptr}});
    ASIOChannelInfo info = {};
    info.channel = 0;
    info.isInput = ASIOFalse;
    m_driver->getChannelInfo(&info);
    m_signal.reset(new LoopbackSignal(info.type == ASIOSTInt16LSB ? 2 : 4, outputs, inputs));
    m_records.reserve(kMaxRecords);
    return m_driver->createBuffers(m_infos.data(), static_cast<long>(m_infos.size()), frames, &m_callbacks);
}

void StreamHarness::StopAndDispose() {
    m_checking = false;
    m_driver->stop();
    m_driver->disposeBuffers();
}

std::vector<SwitchRecord> StreamHarness::Records() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_records;
}

std::vector<DWORD> StreamHarness::ResetThreads() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_resetThreads;
}

void StreamHarness::Process(long index, const ASIOTime* time) {
    const int half = static_cast<int>(index & 1);
    SwitchRecord record = {};
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    record.counter = now.QuadPart;
    record.index = index;
    record.cycleCounter = m_driver->CycleCounter();
    record.timeInfo = time != nullptr;
    if (time) {
        record.flags = time->timeInfo.flags;
        record.position = time->timeInfo.samplePosition;
        record.timeCode = time->timeCode.timeCodeSamples;
    } else {
        ASIOTimeStamp stamp;
        m_driver->getSamplePosition(&record.position, &stamp);
    }
    if (m_checking)
        for (int i = 0; i < m_inputs; ++i) m_signal->Check(i, m_position, m_frames, m_infos[i].buffers[half]);
    for (int o = 0; o < m_outputs; ++o)
        m_signal->Generate(o, m_position, m_frames, m_infos[m_inputs + o].buffers[half]);
    m_position += m_frames;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_records.size() < kMaxRecords) m_records.push_back(record);
    }
    const long number = m_switches++;
    if (duringSwitch) duringSwitch(number);
}

void StreamHarness::OnSwitch(long index, ASIOBool) {
    if (g_harness) g_harness->Process(index, nullptr);
}

ASIOTime* StreamHarness::OnSwitchTimeInfo(ASIOTime* time, long index, ASIOBool) {
    if (g_harness) g_harness->Process(index, time);
    return time;
}

void StreamHarness::OnRateChanged(ASIOSampleRate) {
    if (g_harness) ++g_harness->m_rateChanges;
}

long StreamHarness::OnMessage(long selector, long, void*, double*) {
    if (!g_harness) return 0;
    if (selector == kAsioSupportsTimeInfo) return g_harness->timeInfo ? 1 : 0;
    if (selector == kAsioResetRequest) {
        ++g_harness->m_resetRequests;
        std::lock_guard<std::mutex> guard(g_harness->m_lock);
        g_harness->m_resetThreads.push_back(GetCurrentThreadId());
        return 1;
    }
    return 0;
}
