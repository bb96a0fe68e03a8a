// The recording Camera SDK's trace file: whole lines from many threads at
// once, never past its bound, and a closing line that always fits.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tool_test_support.h"
#include "trace_log.h"

namespace {

TEST(TraceLog, LinesFromManyThreadsStayWholeAndTheFileStaysWithinItsBound) {
    const std::string path = tooltest::WorkFolder("trace-log") + "trace.log";
    constexpr std::uint64_t kBound = 64 * 1024;
    {
        ztrecord::TraceLog log;
        ASSERT_TRUE(log.Open(path, kBound));
        std::vector<std::thread> writers;
        for (int t = 0; t < 4; ++t) {
            writers.emplace_back([&log, t]() {
                for (int i = 0; i < 2000; ++i) {
                    log.Write(ztrecord::TraceLine(i, static_cast<std::uint32_t>(t), std::string(40, 'a' + t) + "|end"));
                }
            });
        }
        for (std::thread& writer : writers) writer.join();
        log.Write(std::string(20000, 'x'));  // counted, not written: the trace is full
        EXPECT_GT(log.Dropped(), 0u);
        log.Finish("closing line");
        log.Write("after the finish");
    }
    const std::string text = tooltest::ReadFile(path);
    EXPECT_LE(text.size(), kBound);
    EXPECT_GT(text.size(), kBound - 2 * ztrecord::TraceLog::kReserve - 64);
    std::istringstream lines(text);
    std::string line, last, previous;
    int whole = 0;
    while (std::getline(lines, line)) {
        if (line.find("|end") != std::string::npos) {
            const std::string body = line.substr(line.rfind(' ') + 1);
            EXPECT_EQ(body.size(), 44u) << line;
            EXPECT_EQ(body.find_first_not_of(body[0]), 40u) << line;
            ++whole;
        }
        previous = last;
        last = line;
    }
    EXPECT_GT(whole, 1000);
    EXPECT_EQ(last, "closing line");
    EXPECT_NE(previous.find("trace full"), std::string::npos);
}

TEST(TraceLog, LongLinesAreCutAndAnUnopenableFileWritesNothing) {
    const std::string path = tooltest::WorkFolder("trace-cut") + "trace.log";
    {
        ztrecord::TraceLog log;
        ASSERT_TRUE(log.Open(path, 1 << 20));
        log.Write(std::string(3 * ztrecord::TraceLog::kMaxLine, 'y'));
        log.Finish(std::string());
    }
    const std::string text = tooltest::ReadFile(path);
    EXPECT_EQ(text.size(), ztrecord::TraceLog::kMaxLine + 1);
    EXPECT_EQ(text.substr(text.size() - 4), "...\n");
    ztrecord::TraceLog nowhere;
    EXPECT_FALSE(nowhere.Open(tooltest::WorkFolder("trace-cut") + "no/such/folder/trace.log", 4096));
    nowhere.Write("lost");
    EXPECT_EQ(nowhere.Dropped(), 1u);
}

}  // namespace
