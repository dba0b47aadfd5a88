#include "core/watch/MqttPublisher.h"

#include "core/decode/ImageDecoder.h"
#include "core/image/ImageFile.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"
#include "core/util/JsonText.h"
#include "core/watch/LinkStateFile.h"
#include "core/watch/PictureArchive.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <pthread.h>
#include <tuple>
#include <unistd.h>

namespace kestrix {

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

// How long poll() waits when there is nothing to send: the longest a new value waits.
constexpr int kIdlePollMs = 50;
// Messages handed over between two looks at the network.
constexpr int kBatch = 64;
// What stop() gives the broker to take what is queued and "offline".
constexpr int kStopGraceMs = 2000;

std::string seconds(std::chrono::milliseconds span) {
    const auto ms = span.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// libmosquitto writes to the socket without MSG_NOSIGNAL: a broker that has gone would raise
// SIGPIPE and end the program. The publisher's thread never takes it; the write fails instead.
void blockSigpipe() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

// At most `most` bytes of the file; nothing when it is larger or cannot be read.
std::optional<std::string> readAtMost(const std::string& file, uint64_t most, bool& tooLarge) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes;
    char buffer[64 * 1024];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<size_t>(in.gcount()));
        if (bytes.size() > most) {
            tooLarge = true;
            return std::nullopt;
        }
    }
    return bytes;
}

std::optional<int> portOf(std::string_view text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos)
        return std::nullopt;
    const int port = std::stoi(std::string(text));
    return port >= 1 && port <= 65535 ? std::optional<int>(port) : std::nullopt;
}

bool plainHost(std::string_view host) {
    if (host.empty())
        return false;
    for (const char c : host)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F || c == '/' || c == '[' || c == ']')
            return false;
    return true;
}

// The UTC second an archive picture's name gives (YYYYMMDD-HHMMSS[-N].ext), or nothing.
std::optional<std::time_t> timeOfPictureName(std::string_view name) {
    if (!isArchivePictureName(name))
        return std::nullopt;
    const auto number = [&](size_t at, size_t length) {
        int value = 0;
        for (size_t i = at; i < at + length; ++i)
            value = value * 10 + (name[i] - '0');
        return value;
    };
    std::tm parts{};
    parts.tm_year = number(0, 4) - 1900;
    parts.tm_mon = number(4, 2) - 1;
    parts.tm_mday = number(6, 2);
    parts.tm_hour = number(9, 2);
    parts.tm_min = number(11, 2);
    parts.tm_sec = number(13, 2);
    if (parts.tm_mon < 0 || parts.tm_mon > 11 || parts.tm_mday < 1 || parts.tm_mday > 31 ||
        parts.tm_hour > 23 || parts.tm_min > 59 || parts.tm_sec > 60)
        return std::nullopt;
    return timegm(&parts);
}

} // namespace

std::optional<MqttBroker> parseMqttBroker(std::string_view text) {
    MqttBroker broker;
    std::string_view port;
    bool portGiven = false;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        broker.host = std::string(text.substr(1, close - 1));
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return std::nullopt;
            port = rest.substr(1);
            portGiven = true;
        }
    } else if (const size_t colon = text.find(':');
               colon != std::string_view::npos && text.find(':', colon + 1) == text.npos) {
        broker.host = std::string(text.substr(0, colon));
        port = text.substr(colon + 1);
        portGiven = true;
    } else {
        broker.host = std::string(text); // a name, or an IPv6 address without brackets
    }
    if (!plainHost(broker.host))
        return std::nullopt;
    if (portGiven) {
        broker.port = portOf(port);
        if (!broker.port)
            return std::nullopt;
    }
    return broker;
}

MqttPublisher::MqttPublisher(MqttSettings settings, const std::vector<MqttLink>& links,
                             Notice notice)
    : settings_(std::move(settings)), notice_(std::move(notice)) {
    if (const std::string problem = mqttPrefixProblem(settings_.prefix); !problem.empty())
        throw Error("The MQTT prefix \"" + settings_.prefix + "\" " + problem);
    if (settings_.statusTopic.empty())
        settings_.statusTopic = settings_.prefix + "/status";
    if (const std::string problem = mqttPrefixProblem(settings_.statusTopic); !problem.empty())
        throw Error("The MQTT status topic \"" + settings_.statusTopic + "\" " + problem);
    discovery_ = {settings_.discoveryPrefix, discoveryId(settings_.prefix), settings_.statusTopic};
    for (MqttLinkTopics& topics : mqttLinkTopics(links, settings_.prefix)) {
        byDirectory_.emplace(topics.directory, slots_.size());
        Slot slot;
        slot.topics = std::move(topics);
        slots_.push_back(std::move(slot));
    }
}

MqttPublisher::~MqttPublisher() {
    stop();
}

void MqttPublisher::start() {
    provider_ = &mqttProvider();
    thread_ = std::thread([this] { run(); });
}

void MqttPublisher::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    if (!temporaryFolder_.empty()) {
        std::error_code error;
        fs::remove_all(temporaryFolder_, error);
        temporaryFolder_.clear();
    }
}

void MqttPublisher::cameraChanged(const CameraEvent& event) {
    const auto found = byDirectory_.find(event.directory);
    if (found == byDirectory_.end())
        return;
    const std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_[found->second];
    slot.state = cameraStateName(event.to);
    slot.stateLive = true;
    mark(found->second, Item::State, true);
}

void MqttPublisher::newPicture(const std::string& directory, std::time_t time,
                               const std::string& file) {
    const auto found = byDirectory_.find(directory);
    if (found == byDirectory_.end())
        return;
    const std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_[found->second];
    slot.lastNew = time;
    slot.picture = file;
    slot.pictureLive = true;
    mark(found->second, Item::LastNew, true);
    if (settings_.pictures)
        mark(found->second, Item::Picture, true);
}

MqttFigures MqttPublisher::figures() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return figures_;
}

void MqttPublisher::mark(size_t index, Item item, bool replacing) {
    Slot& slot = slots_[index];
    const auto bit = static_cast<uint8_t>(item);
    if (slot.dirty & bit) {
        // Still waiting: the value it would have sent is gone.
        if (replacing) {
            ++figures_.dropped;
            ++droppedInEpisode_;
        }
        return;
    }
    slot.dirty |= bit;
    if (item == Item::Picture)
        pictures_.push_back(index);
    else
        queue_.emplace_back(index, item);
}

void MqttPublisher::markEverything() {
    statusDirty_ = true;
    for (const Item item : {Item::Discovery, Item::State, Item::LastNew})
        for (size_t i = 0; i < slots_.size(); ++i)
            mark(i, item, false);
    // Without pictures, the picture topics are cleared of what an earlier run may have left.
    for (size_t i = 0; i < slots_.size(); ++i)
        mark(i, Item::Picture, false);
}

void MqttPublisher::notify(const std::string& line) const {
    if (notice_)
        notice_(line);
}

std::string MqttPublisher::where() const {
    return (settings_.host.find(':') != std::string::npos ? "[" + settings_.host + "]"
                                                          : settings_.host) +
           ":" + std::to_string(settings_.port);
}

void MqttPublisher::run() {
    blockSigpipe();
    loadArchive();
    MqttConnectSettings connect{settings_.host,
                                settings_.port,
                                settings_.user,
                                settings_.password,
                                settings_.tls,
                                settings_.certificateFile,
                                settings_.keepAliveSeconds,
                                settings_.statusTopic,
                                "offline"};
    std::chrono::milliseconds pause = settings_.firstRetry;
    bool reported = false; // the broker's absence is logged once, until it is back
    while (!stop_) {
        std::string why;
        bool wasConnected = false;
        {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                ++figures_.tries;
            }
            const std::unique_ptr<MqttConnection> connection = provider_->connection(connect);
            if (connection->connect(why)) {
                wasConnected = runConnection(*connection, why);
                if (wasConnected)
                    pause = settings_.firstRetry;
            }
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            figures_.connected = false;
        }
        if (stop_)
            break;
        if (wasConnected) {
            notify("MQTT: lost the broker at " + where() + " (" + why + "); connecting again");
            reported = true;
        } else if (!reported) {
            notify("MQTT: cannot connect to " + where() + " (" + why +
                   "); trying again, with pauses from " + seconds(settings_.firstRetry) + " to " +
                   seconds(settings_.longestPause));
            reported = true;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_for(lock, pause, [this] { return stop_.load(); });
        pause = std::min(pause * 2, settings_.longestPause);
    }
}

bool MqttPublisher::runConnection(MqttConnection& connection, std::string& why) {
    const auto started = Steady::now();
    bool connected = false;
    bool more = false;
    for (;;) {
        const MqttConnection::Status status = connection.poll(more ? 0 : kIdlePollMs, why);
        if (status == MqttConnection::Status::Failed)
            return connected;
        if (status == MqttConnection::Status::Connected && !connected) {
            connected = true;
            const bool again = [&] {
                const std::lock_guard<std::mutex> lock(mutex_);
                const bool before = figures_.connections > 0;
                figures_.connected = true;
                ++figures_.connections;
                droppedInEpisode_ = 0;
                full_ = false;
                markEverything();
                return before;
            }();
            notify(again ? "MQTT: back on " + where() : "MQTT: connected to " + where());
        }
        if (stop_) {
            if (connected) {
                connection.publish(settings_.statusTopic, "offline", true);
                connection.disconnect(kStopGraceMs);
            }
            return connected;
        }
        if (!connected && Steady::now() - started >= settings_.connectTimeOut) {
            why = "no answer within " + seconds(settings_.connectTimeOut);
            return false;
        }
        more = connected && sendSome(connection);
    }
}

void MqttPublisher::loadArchive() {
    if (settings_.saveDir.empty())
        return;
    const CameraRecords records = readCameraRecords(settings_.saveDir);
    const LinkState pictures = readLinkState(settings_.saveDir);
    const std::lock_guard<std::mutex> lock(mutex_);
    for (Slot& slot : slots_) {
        const std::string& directory = slot.topics.directory;
        if (const auto r = records.find(directory); r != records.end() && !slot.stateLive)
            slot.state = cameraStateName(r->second.state);
        if (slot.pictureLive)
            continue;
        std::string name;
        if (const auto p = pictures.find(directory); p != pictures.end())
            name = p->second.file;
        else if (const auto r = records.find(directory); r != records.end())
            name = r->second.lastPicture;
        if (const auto time = timeOfPictureName(name)) {
            slot.lastNew = *time;
            slot.picture = settings_.saveDir + "/" + directory + "/" + name;
        }
    }
}

bool MqttPublisher::sendSome(MqttConnection& connection) {
    for (int n = 0; n < kBatch; ++n) {
        std::string line;
        if (connection.waitingMessages() >= settings_.mostWaiting ||
            connection.waitingBytes() >= settings_.mostWaitingBytes) {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                if (!full_)
                    line = "MQTT: the broker at " + where() + " is " +
                           std::to_string(connection.waitingMessages()) +
                           " messages behind; values that change meanwhile are sent only as "
                           "their latest";
                full_ = true;
            }
            if (!line.empty())
                notify(line);
            return false;
        }
        Job job;
        if (!takeJob(job, line)) {
            if (!line.empty())
                notify(line);
            return false;
        }
        for (const Message& message : messagesFor(job)) {
            if (!connection.publish(message.topic, message.payload, true))
                return false; // the connection is failing; a new one sends everything again
            const std::lock_guard<std::mutex> lock(mutex_);
            ++figures_.sent;
            figures_.peakWaiting = std::max(figures_.peakWaiting, connection.waitingMessages());
        }
    }
    return true;
}

bool MqttPublisher::takeJob(Job& job, std::string& caughtUp) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (statusDirty_) {
        statusDirty_ = false;
        job.status = true;
        return true;
    }
    if (!queue_.empty()) {
        std::tie(job.index, job.item) = queue_.front();
        queue_.pop_front();
    } else if (!pictures_.empty()) {
        job.index = pictures_.front();
        job.item = Item::Picture;
        pictures_.pop_front();
    } else {
        // Nothing left to send: an episode of dropped values has ended.
        if (full_)
            caughtUp = "MQTT: the broker at " + where() + " caught up; " +
                       std::to_string(droppedInEpisode_) +
                       " values were dropped for newer ones meanwhile";
        full_ = false;
        droppedInEpisode_ = 0;
        return false;
    }
    Slot& slot = slots_[job.index];
    slot.dirty &= static_cast<uint8_t>(~static_cast<uint8_t>(job.item));
    job.value = job.item == Item::State ? slot.state : slot.picture;
    job.time = slot.lastNew;
    return true;
}

std::vector<MqttPublisher::Message> MqttPublisher::messagesFor(const Job& job) {
    if (job.status)
        return {{settings_.statusTopic, "online"}};
    const MqttLinkTopics& topics = slots_[job.index].topics;
    switch (job.item) {
    case Item::Discovery: {
        std::vector<Message> out;
        for (DiscoveryMessage& m : discoveryMessages(topics, discovery_, settings_.pictures))
            out.push_back({std::move(m.topic), std::move(m.payload)});
        return out;
    }
    case Item::State:
        return {{topics.base + "/state", job.value}};
    case Item::LastNew:
        if (job.time == 0)
            return {};
        return {{topics.base + "/last_new", isoUtc(job.time)}};
    case Item::Picture:
        if (!settings_.pictures)
            return {{topics.base + "/picture", ""}};
        if (job.value.empty())
            return {};
        if (std::optional<std::string> bytes = pictureBytes(job))
            return {{topics.base + "/picture", std::move(*bytes)}};
        return {};
    }
    return {};
}

std::optional<std::string> MqttPublisher::pictureBytes(const Job& job) {
    bool tooLarge = false;
    std::optional<std::string> bytes = readAtMost(job.value, settings_.mostPictureBytes, tooLarge);
    try {
        if (bytes && imageKindFromSignature(*bytes) != ImageKind::Jpeg) {
            std::string converted = convertedToJpeg(*bytes, job.value);
            tooLarge = converted.size() > settings_.mostPictureBytes;
            bytes = tooLarge ? std::nullopt : std::optional<std::string>(std::move(converted));
        }
    } catch (const std::exception&) {
        bytes.reset(); // not a picture the decoders take
    }
    if (bytes)
        return bytes;
    std::string line;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++figures_.picturesSkipped;
        Slot& slot = slots_[job.index];
        if (tooLarge && !slot.tooLargeLogged) {
            slot.tooLargeLogged = true;
            line = "MQTT: pictures of " + slot.topics.path + " are larger than " +
                   std::to_string(settings_.mostPictureBytes) + " bytes and are not sent";
        }
    }
    if (!line.empty())
        notify(line);
    return std::nullopt;
}

std::string MqttPublisher::convertedToJpeg(const std::string& bytes, const std::string& file) {
    Bitmap bitmap;
    decodeImage(bytes, file, bitmap, nullptr);
    if (temporaryFolder_.empty()) {
        // A memory file system where there is one: the file lives only for a moment.
        std::error_code error;
        const fs::path base = fs::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0
                                  ? fs::path("/dev/shm")
                                  : fs::temp_directory_path();
        std::string pattern = (base / "kestrix-mqtt-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw Error("Cannot make a temporary folder for pictures");
        temporaryFolder_ = pattern;
    }
    const std::string jpeg = temporaryFolder_ + "/picture.jpg";
    saveJpegFile(bitmap, jpeg, settings_.jpegQuality);
    std::string out = readFileBytes(jpeg);
    std::error_code error;
    fs::remove(jpeg, error);
    return out;
}

} // namespace kestrix
