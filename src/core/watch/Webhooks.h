// Camera events POSTed as JSON to the webhooks a watch was given, on a thread of their own so
// that fetching never waits: each webhook takes its events in order, a failed one is tried again
// with a growing pause for up to an hour, and a webhook that keeps failing is logged once an
// hour, not at every try. With a secret, each body is signed (HMAC-SHA256, header
// "X-Kestrix-Signature-256: sha256=HEX", as the common webhook conventions do).
#pragma once

#include "core/net/HttpClient.h"
#include "core/watch/CameraStates.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrix {

// The event as a webhook receives it.
std::string cameraEventJson(const CameraEvent& event);

struct WebhookSettings {
    std::vector<std::string> urls;
    std::string secret;
    ConnectionOptions connection;
    std::chrono::seconds giveUpAfter{3600};
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::seconds longestPause{300};
    std::chrono::seconds logEvery{3600};
    size_t mostWaiting = 10000; // events kept per webhook; beyond, the oldest are dropped
};

class Webhooks {
public:
    // Lines worth a log (a webhook failing, events dropped), from the sending thread.
    using Notice = std::function<void(const std::string&)>;

    Webhooks(WebhookSettings settings, Notice notice);
    ~Webhooks();
    Webhooks(const Webhooks&) = delete;
    Webhooks& operator=(const Webhooks&) = delete;

    // Queues the event for every webhook; never waits.
    void send(const CameraEvent& event);
    // Ends the thread: what is still waiting is given up; a POST in flight is cancelled.
    void stop();

private:
    struct Pending {
        std::string body;
        std::chrono::steady_clock::time_point firstTry;
    };
    struct Target {
        std::string url;
        std::deque<Pending> waiting;
        std::chrono::steady_clock::time_point nextTry{};
        std::chrono::milliseconds pause{0};
        std::chrono::steady_clock::time_point lastLogged{};
        bool loggedOnce = false;
    };

    void run();
    // One try of the oldest waiting event of `target`, without the lock.
    void deliver(Target& target, const Pending& pending, HttpClient& client);
    void failed(Target& target, const std::string& error);

    WebhookSettings settings_;
    Notice notice_;
    std::vector<Target> targets_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace kestrix
