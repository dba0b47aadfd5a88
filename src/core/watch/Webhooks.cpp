#include "core/watch/Webhooks.h"

#include "core/net/Hmac.h"
#include "core/util/JsonText.h"

#include <algorithm>

namespace kestrix {

namespace {

using Steady = std::chrono::steady_clock;

// A webhook that takes longer than this is counted as failed and tried again.
constexpr int kPostTimeOutMs = 10000;

} // namespace

std::string cameraEventJson(const CameraEvent& e) {
    return "{\"link\":" + jsonString(e.link) + ",\"directory\":" + jsonString(e.directory) +
           ",\"from\":\"" + cameraStateName(e.from) + "\",\"to\":\"" + cameraStateName(e.to) +
           "\",\"time\":" + jsonString(isoUtc(e.time)) +
           ",\"last_error\":" + jsonString(e.lastError) +
           ",\"last_picture\":" + (e.lastPicture.empty() ? "null" : jsonString(e.lastPicture)) +
           "}";
}

Webhooks::Webhooks(WebhookSettings settings, Notice notice)
    : settings_(std::move(settings)), notice_(std::move(notice)) {
    for (const std::string& url : settings_.urls)
        targets_.push_back({url, {}, {}, std::chrono::milliseconds(0), {}, false});
    if (!targets_.empty())
        thread_ = std::thread([this] { run(); });
}

Webhooks::~Webhooks() {
    stop();
}

void Webhooks::send(const CameraEvent& event) {
    if (targets_.empty())
        return;
    const std::string body = cameraEventJson(event);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (Target& target : targets_) {
            if (target.waiting.size() >= settings_.mostWaiting) {
                target.waiting.pop_front();
                if (notice_)
                    notice_("Webhook " + target.url +
                            ": too many events waiting, the oldest "
                            "was dropped");
            }
            target.waiting.push_back({body, Steady::now()});
        }
    }
    wake_.notify_all();
}

void Webhooks::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void Webhooks::run() {
    HttpClient client;
    applyImageFetchSettings(client);
    applyConnectionOptions(client, settings_.connection);
    client.setTimeOut(kPostTimeOutMs);
    client.setPump([&] {
        if (stop_)
            client.cancel();
    });
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        const auto now = Steady::now();
        Target* due = nullptr;
        auto next = Steady::time_point::max();
        for (Target& target : targets_) {
            if (target.waiting.empty())
                continue;
            if (target.nextTry <= now) {
                due = &target;
                break;
            }
            next = std::min(next, target.nextTry);
        }
        if (!due) {
            if (next == Steady::time_point::max())
                wake_.wait(lock);
            else
                wake_.wait_until(lock, next);
            continue;
        }
        const Pending pending = due->waiting.front();
        lock.unlock();
        deliver(*due, pending, client);
        lock.lock();
    }
}

void Webhooks::deliver(Target& target, const Pending& pending, HttpClient& client) {
    std::vector<std::string> fields;
    if (!settings_.secret.empty())
        fields.push_back("X-Kestrix-Signature-256: sha256=" +
                         hmacSha256Hex(settings_.secret, pending.body));
    std::string error;
    try {
        client.post(target.url, pending.body, "application/json", fields);
        if (client.statusCode() < 200 || client.statusCode() >= 300)
            error = client.statusCode() == 0 ? "no answer" : httpErrorText(client);
    } catch (const std::exception& e) {
        error = e.what();
    }
    client.releaseBody();
    const std::lock_guard<std::mutex> lock(mutex_);
    if (stop_)
        return;
    if (!error.empty()) {
        failed(target, error);
        return;
    }
    target.waiting.pop_front();
    target.pause = std::chrono::milliseconds(0);
    target.nextTry = Steady::now();
    if (target.loggedOnce && notice_)
        notice_("Webhook " + target.url + " works again");
    target.loggedOnce = false;
}

void Webhooks::failed(Target& target, const std::string& error) {
    const auto now = Steady::now();
    target.pause =
        target.pause.count() == 0
            ? settings_.firstRetry
            : std::min<std::chrono::milliseconds>(target.pause * 2, settings_.longestPause);
    target.nextTry = now + target.pause;
    if (now - target.waiting.front().firstTry >= settings_.giveUpAfter) {
        target.waiting.pop_front();
        if (notice_)
            notice_("Webhook " + target.url + ": an event was given up after " +
                    std::to_string(settings_.giveUpAfter.count()) + " s: " + error);
    }
    if (notice_ && (!target.loggedOnce || now - target.lastLogged >= settings_.logEvery)) {
        notice_("Webhook " + target.url + " failing: " + error + " (" +
                std::to_string(target.waiting.size()) + " events waiting)");
        target.lastLogged = now;
        target.loggedOnce = true;
    }
}

} // namespace kestrix
