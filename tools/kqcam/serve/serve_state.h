// The web server's shared state besides live view: the pictures this run
// wrote (the gallery) and the stream of server-sent events.
#ifndef KQCAM_SERVE_STATE_H
#define KQCAM_SERVE_STATE_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "filename.h"

namespace kqcam {

struct Shot {
    std::string name;  // as written by the --filename pattern, relative to the working folder
    std::string path;  // where it is on disk
    std::uint64_t bytes = 0;
    std::int64_t time = 0;  // seconds since 1970 when it was written
    FileIdentity identity;  // the file written; it is served only while still that file
};

// The pictures written since the server started. Only files listed here
// are ever served: a request names a shot, never a path on disk.
class Gallery {
public:
    using Listener = std::function<void(const Shot&)>;
    explicit Gallery(Listener added) : added_(std::move(added)) {}

    // Tells the gallery about a picture written to `path` under `name`; a
    // name written again (--force-overwrite) replaces its entry. The entry
    // as listed goes to `shot` when given.
    void Add(const std::string& name, const std::string& path, std::uint64_t bytes,
             const FileIdentity& identity, Shot* shot = nullptr);
    bool Find(const std::string& name, Shot* shot);
    std::vector<Shot> List();

private:
    Listener added_;
    std::mutex mutex_;
    std::vector<Shot> shots_;
};

// One subscriber's queue of server-sent events. A subscriber that falls
// behind loses the oldest events, never blocks the publisher.
class EventFeed;
class FeedReader {
public:
    // The next event as "event: TYPE\ndata: JSON\n\n"; false on time-out or
    // when the feed shuts down.
    bool Next(std::chrono::steady_clock::time_point deadline, std::string* message);

private:
    friend class EventFeed;
    explicit FeedReader(EventFeed& feed) : feed_(feed) {}
    EventFeed& feed_;
    std::deque<std::string> queue_;  // guarded by the feed's mutex
};

class EventFeed {
public:
    EventFeed(unsigned maxReaders, std::size_t maxQueued)
        : maxReaders_(maxReaders), maxQueued_(maxQueued) {}
    // Null when there are already `maxReaders` or the feed is shut down.
    std::shared_ptr<FeedReader> Subscribe();
    void Unsubscribe(const std::shared_ptr<FeedReader>& reader);
    // `type` is a bare word, `data` what the event says.
    void Publish(const std::string& type, const nlohmann::json& data);
    void Shutdown();
    // The latest event, {"type", "data", "time"} (seconds since 1970), or
    // null before the first.
    nlohmann::json Last();

private:
    friend class FeedReader;
    const unsigned maxReaders_;
    const std::size_t maxQueued_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::shared_ptr<FeedReader>> readers_;
    bool shutdown_ = false;
    nlohmann::json last_;
};

}  // namespace kqcam

#endif  // KQCAM_SERVE_STATE_H
