// A watch's cameras on an MQTT broker (Home Assistant's, or any other), on a thread of its own so
// that fetching never waits for the broker. Per link, retained: PREFIX/LINK/state ("up", "down",
// "stale"), PREFIX/LINK/last_new (the ISO time of the last new picture) and, when asked,
// PREFIX/LINK/picture (the latest picture as JPEG; others are converted). PREFIX/status says
// "online" while the watch is connected and "offline" after it (the broker's last will when the
// process dies). Home Assistant's discovery messages make a device per camera.
//
// The publisher keeps, per topic, the value the broker should hold, and sends what changed. A
// connection is made with a pause of 1 s doubling to 60 s between tries; each new connection
// sends every value again, so a broker that restarted without its retained messages gets them
// back. The messages handed to the broker and not yet acknowledged are bounded (by count and by
// bytes): while the broker is behind or away, a value that changes again before it was sent is
// dropped for the newer one, and that is logged once per episode. Pictures are read from the
// archive when their turn comes, never held for later.
#pragma once

#include "core/watch/CameraStates.h"
#include "core/watch/MqttConnection.h"
#include "core/watch/MqttTopics.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace kestrix {

// HOST[:PORT] as users write it: "host", "host:1883", "192.0.2.7:1883", "[2001:db8::7]:8883",
// or a bare IPv6 address. Nothing for an empty host, a port outside 1..65535, or blanks and
// control characters.
struct MqttBroker {
    std::string host;
    std::optional<int> port;
};
std::optional<MqttBroker> parseMqttBroker(std::string_view text);

struct MqttSettings {
    std::string host;
    int port = 1883;
    std::string user;
    std::string password;
    bool tls = false;
    std::string certificateFile; // trusted besides the system's store, with tls
    std::string prefix = "kestrix";
    std::string statusTopic; // "": PREFIX/status
    std::string discoveryPrefix = "homeassistant";
    bool pictures = false;
    // The watch's archive: the camera states and last pictures a previous run left are published
    // until the watch reports newer ones. "": none.
    std::string saveDir;
    int keepAliveSeconds = 60;
    std::chrono::milliseconds firstRetry{1000};
    std::chrono::milliseconds longestPause{60000};
    std::chrono::milliseconds connectTimeOut{10000};
    // Messages handed to the broker and not yet acknowledged. The bound is checked before each
    // value, and a link's discovery is three messages: it may be passed by two.
    size_t mostWaiting = 1000;
    size_t mostWaitingBytes = 16u << 20;
    // Larger pictures are not sent (logged once per link).
    uint64_t mostPictureBytes = 8u << 20;
    int jpegQuality = 90;
};

// What the publisher did, for tests and benchmarks.
struct MqttFigures {
    bool connected = false;
    uint64_t tries = 0;           // connections tried
    uint64_t connections = 0;     // made, counting reconnections
    uint64_t sent = 0;            // messages handed to the broker
    uint64_t dropped = 0;         // values replaced by newer ones before they were sent
    uint64_t picturesSkipped = 0; // too large, unreadable or not a picture
    size_t peakWaiting = 0;       // the most messages waiting for the broker at once
};

class MqttPublisher {
public:
    // Lines worth a log (connected, lost, back, dropped values), from the publisher's thread.
    using Notice = std::function<void(const std::string&)>;

    // Raises for a prefix or status topic that cannot name topics (see mqttPrefixProblem).
    MqttPublisher(MqttSettings settings, const std::vector<MqttLink>& links, Notice notice);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Loads the MQTT module (raising what mqttProvider raises) and starts the thread, which
    // connects by itself.
    void start();
    // Publishes "offline" and disconnects, waiting at most a few seconds for the broker.
    void stop();

    // Both only note the new value and return; links the publisher was not given are ignored.
    void cameraChanged(const CameraEvent& event);
    // `file` is the archived picture; it is read (and converted) on the publisher's thread.
    void newPicture(const std::string& directory, std::time_t time, const std::string& file);

    MqttFigures figures() const;
    const std::string& statusTopic() const { return settings_.statusTopic; }

private:
    enum class Item : uint8_t { Discovery = 1, State = 2, LastNew = 4, Picture = 8 };
    struct Slot {
        MqttLinkTopics topics;
        std::string state = "up";
        std::time_t lastNew = 0;
        std::string picture;    // the archived file
        bool stateLive = false; // reported by the watch: what the archive says is older
        bool pictureLive = false;
        bool tooLargeLogged = false;
        uint8_t dirty = 0; // Items waiting to be sent
    };
    struct Job {
        Item item = Item::State;
        size_t index = 0;
        bool status = false; // PREFIX/status, not a link's
        std::string value;   // the state, or the picture's file
        std::time_t time = 0;
    };
    struct Message {
        std::string topic;
        std::string payload;
    };

    void run();
    // Runs one connection until it fails or the publisher stops; true once it had connected.
    bool runConnection(MqttConnection& connection, std::string& why);
    void loadArchive();
    // Hands messages to the connection while it has room; true when there is more to send now.
    bool sendSome(MqttConnection& connection);
    // The next value to send; none (with `caughtUp` set when an episode of drops ended).
    bool takeJob(Job& job, std::string& caughtUp);
    std::vector<Message> messagesFor(const Job& job);
    std::optional<std::string> pictureBytes(const Job& job);
    std::string convertedToJpeg(const std::string& bytes, const std::string& file);
    // Under mutex_.
    void mark(size_t index, Item item, bool replacing);
    void markEverything();
    void notify(const std::string& line) const;
    std::string where() const;

    MqttSettings settings_;
    Notice notice_;
    const MqttProvider* provider_ = nullptr;
    DiscoverySettings discovery_;
    std::vector<Slot> slots_;
    std::unordered_map<std::string, size_t> byDirectory_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<size_t, Item>> queue_; // discovery, states, times
    std::deque<size_t> pictures_;
    bool statusDirty_ = false;
    bool full_ = false; // the broker is behind: values are being dropped
    uint64_t droppedInEpisode_ = 0;
    MqttFigures figures_;
    std::atomic<bool> stop_{false};
    std::string temporaryFolder_; // for pictures converted to JPEG; made when first needed
    std::thread thread_;
};

} // namespace kestrix
