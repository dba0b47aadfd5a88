// One connection to an MQTT broker, made by the MQTT module (libmosquitto; see RuntimeModule.h),
// so that only a watch told to publish maps that library and its TLS. A connection is one try:
// it is made, driven by poll() from a single thread until it fails, and then thrown away, so that
// nothing queued on a lost connection is ever sent after what was published on the next one.
// The connection never waits on the network: connect() starts the handshake (only a host lookup
// may take time there), poll() waits at most its time-out, publish() only queues.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace kestrix {

struct MqttConnectSettings {
    std::string host;
    int port = 1883;
    std::string user; // none: anonymous
    std::string password;
    bool tls = false;
    // A PEM file of further trusted certificates, beside the system's trust store (with tls).
    std::string certificateFile;
    int keepAliveSeconds = 60;
    // The last will: published (retained) by the broker when the connection ends without a
    // DISCONNECT, such as when the process is killed.
    std::string willTopic;
    std::string willPayload;
};

class MqttConnection {
public:
    enum class Status { Connecting, Connected, Failed };

    virtual ~MqttConnection() = default;

    // Starts the connection; false with `why` when it failed at once (host unknown, refused).
    virtual bool connect(std::string& why) = 0;
    // Does the network's work for at most `timeOutMs`: the handshake, sending what is queued,
    // acknowledgements, keep-alive. Failed (with `why`) once the connection is refused or lost.
    virtual Status poll(int timeOutMs, std::string& why) = 0;
    // Queues a message (QoS 1); false when the connection cannot take it.
    virtual bool publish(const std::string& topic, std::string_view payload, bool retain) = 0;
    // Messages queued by publish and not yet acknowledged by the broker, and their payload bytes.
    virtual size_t waitingMessages() const = 0;
    virtual size_t waitingBytes() const = 0;
    // Sends what is queued for at most `graceMs`; then, when the broker has acknowledged it all,
    // a DISCONNECT, so that the will is not published. Otherwise the connection is dropped and
    // the broker publishes the will.
    virtual void disconnect(int graceMs) = 0;
};

// What the MQTT module's entry answers.
class MqttProvider {
public:
    virtual std::unique_ptr<MqttConnection>
    connection(const MqttConnectSettings& settings) const = 0;

protected:
    ~MqttProvider() = default;
};

// Changes whenever the entry or the classes above change.
constexpr int kMqttModuleInterface = 1;
using MqttModuleEntry = const MqttProvider* (*)(int interface);

// Opens the module the first time. Raises "MQTT connections need Kestrix's module
// libkestrix_mqtt.so, which could not be loaded: ..." when it is missing; a failed load is tried
// again by the next call.
const MqttProvider& mqttProvider();

} // namespace kestrix
