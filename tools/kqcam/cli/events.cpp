// --wait-event, and events that arrive while another action waits.
#include <cstdio>

#include "names.h"
#include "platform.h"
#include "session.h"

namespace kqcam {

Clock::time_point TimeLimitEnd(const Limit& limit, Clock::time_point start) {
    if (limit.kind != Limit::kSeconds) return Clock::time_point::max();
    return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limit.seconds));
}

void RunWaitEvent(Session& session, const Limit& limit) {
    Camera& camera = session.Connected();
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = TimeLimitEnd(limit, start);
    std::uint64_t received = 0;
    std::uint64_t pictures = 0;  // released-image events: "Nf" counts these
    KQEventRecord record;
    while ((limit.kind != Limit::kCount || received < limit.count) &&
           (limit.kind != Limit::kFiles || pictures < limit.count)) {
        if (!camera.NextEvent(end, &record)) break;  // time is up or interrupted
        ++received;
        if (record.eventCode == kqPTP_FULL_VIEW_RELEASED) ++pictures;
        PrintEvent(session.out, record, std::chrono::duration<double>(Clock::now() - start).count());
    }
    if (!session.out.json) {
        std::fprintf(session.out.info, "Events: %llu received in %.2f s\n",
                     static_cast<unsigned long long>(received),
                     std::chrono::duration<double>(Clock::now() - start).count());
    }
}

void ReportStrayEvent(Session& session, const KQEventRecord& record) {
    const char* name = EventName(record.eventCode);
    std::fprintf(stderr, "kqcam: camera event 0x%04X %s (0x%08X 0x%08X 0x%08X)\n", record.eventCode,
                 name[0] != '\0' ? name : "unknown", static_cast<unsigned>(record.param1),
                 static_cast<unsigned>(record.param2), static_cast<unsigned>(record.param3));
    (void)session;
}

}  // namespace kqcam
