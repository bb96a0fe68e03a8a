#include "support/bridge_fixture.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "capture/quiet_preview_log.h"
#include "log/trace.h"
#include "platform/platform.h"

namespace kq::test {

namespace {

std::mutex fakeMutex;
std::vector<std::uint32_t> sleeps;
std::vector<std::string> messageBoxes;

void FakeSleep(std::uint32_t milliseconds) {
    std::lock_guard<std::mutex> lock(fakeMutex);
    sleeps.push_back(milliseconds);
}

void FakeMessageBox(const char* text) {
    std::lock_guard<std::mutex> lock(fakeMutex);
    messageBoxes.push_back(text != nullptr ? text : "");
}

std::string ReadFrom(long offset) {
    FlushLog();
    std::string text;
    std::FILE* file = std::fopen(LogFilePath(), "rb");
    if (file == nullptr) return text;
    if (std::fseek(file, offset, SEEK_SET) == 0) {
        char chunk[4096];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    }
    std::fclose(file);
    return text;
}

}  // namespace

void LogReader::Mark() {
    FlushLog();
    offset_ = 0;
    std::FILE* file = std::fopen(LogFilePath(), "rb");
    if (file == nullptr) return;
    std::fseek(file, 0, SEEK_END);
    offset_ = std::ftell(file);
    std::fclose(file);
}

std::vector<std::string> LogReader::RawLines() {
    std::vector<std::string> lines;
    const std::string text = ReadFrom(offset_);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> LogReader::Lines() {
    std::vector<std::string> messages;
    for (const std::string& line : RawLines()) {
        // "INF 12-07 22:50:54.123 | message"; blank lines come from messages
        // that end in a line break of their own.
        if (line.size() < kLinePrefixLength) continue;
        messages.push_back(line.substr(0, 3) + " " + line.substr(kLinePrefixLength));
    }
    return messages;
}

std::vector<std::uint32_t>& BridgeTest::Sleeps() { return sleeps; }
std::vector<std::string>& BridgeTest::MessageBoxes() { return messageBoxes; }

void BridgeTest::SetUp() {
    ZTSim_Reset();
    state.Reset();
    quietPreviewLog = 1;  // its value at load: a test's release must not leak into the next
    {
        std::lock_guard<std::mutex> lock(fakeMutex);
        sleeps.clear();
        messageBoxes.clear();
    }
    platform::Hooks hooks{FakeSleep, FakeMessageBox};
    platform::SetHooksForTesting(&hooks);
    log.Mark();
}

void BridgeTest::TearDown() {
    KQ_FinishSDK();
    ZTSim_WaitIdle();
    ExpectSimulatorClean();
    EXPECT_EQ(state.handles.LiveRecordCount(), 0u) << "a handle left to a user that never ended";
    state.Reset();
    platform::SetHooksForTesting(nullptr);
}

void BridgeTest::StandInSubscription(HandleSlot& slot) {
    slot.Open(HandleRef(), HandleSlot::Mode::kIfEmpty);
}

void BridgeTest::ExpectSimulatorClean() {
    char description[2048] = {0};
    ZTSim_Describe(description, sizeof description);
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u) << description;
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u) << description;
}

}  // namespace kq::test
