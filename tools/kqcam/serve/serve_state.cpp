#include "serve_state.h"

#include <algorithm>
#include <ctime>

namespace kqcam {

void Gallery::Add(const std::string& name, const std::string& path, std::uint64_t bytes,
                  const FileIdentity& identity, Shot* added) {
    Shot shot;
    shot.identity = identity;
    shot.name = name;
    shot.path = path;
    shot.bytes = bytes;
    shot.time = static_cast<std::int64_t>(std::time(nullptr));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto same = std::find_if(shots_.begin(), shots_.end(),
                                       [&name](const Shot& s) { return s.name == name; });
        if (same != shots_.end()) shots_.erase(same);
        shots_.push_back(shot);
    }
    if (added) *added = shot;
    if (added_) added_(shot);
}

bool Gallery::Find(const std::string& name, Shot* shot) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Shot& s : shots_) {
        if (s.name == name) {
            *shot = s;
            return true;
        }
    }
    return false;
}

std::vector<Shot> Gallery::List() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shots_;
}

bool FeedReader::Next(std::chrono::steady_clock::time_point deadline, std::string* message) {
    std::unique_lock<std::mutex> lock(feed_.mutex_);
    for (;;) {
        if (feed_.shutdown_) return false;
        if (!queue_.empty()) {
            *message = std::move(queue_.front());
            queue_.pop_front();
            return true;
        }
        if (feed_.arrived_.wait_until(lock, deadline) == std::cv_status::timeout && queue_.empty()) {
            return false;
        }
    }
}

std::shared_ptr<FeedReader> EventFeed::Subscribe() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutdown_ || readers_.size() >= maxReaders_) return nullptr;
    std::shared_ptr<FeedReader> reader(new FeedReader(*this));
    readers_.push_back(reader);
    return reader;
}

void EventFeed::Unsubscribe(const std::shared_ptr<FeedReader>& reader) {
    std::lock_guard<std::mutex> lock(mutex_);
    readers_.erase(std::remove(readers_.begin(), readers_.end(), reader), readers_.end());
}

void EventFeed::Publish(const std::string& type, const nlohmann::json& data) {
    const std::string message = "event: " + type + "\ndata: " + data.dump() + "\n\n";
    nlohmann::json last{{"type", type}, {"data", data}, {"time", static_cast<std::int64_t>(std::time(nullptr))}};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        last_ = std::move(last);
        for (const auto& reader : readers_) {
            if (reader->queue_.size() >= maxQueued_) reader->queue_.pop_front();
            reader->queue_.push_back(message);
        }
    }
    arrived_.notify_all();
}

void EventFeed::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shutdown_ = true;
    }
    arrived_.notify_all();
}

nlohmann::json EventFeed::Last() {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
}

}  // namespace kqcam
