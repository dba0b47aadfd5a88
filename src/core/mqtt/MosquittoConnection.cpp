// The MQTT module: one broker connection on libmosquitto, driven by mosquitto_loop() from the
// caller's thread. Each connection is a fresh client object: libmosquitto keeps QoS 1 messages
// that were not acknowledged and sends them again after a reconnect, which could put an old
// retained value on the broker after a newer one; a new object starts with nothing queued.
#include "core/watch/MqttConnection.h"

#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <unordered_map>

namespace kestrix {

namespace {

// MQTT's largest payload (the remaining length of a packet is at most 2^28 - 1).
constexpr size_t kLargestPayload = 268435455 - 65536;

std::string describe(int rc, int savedErrno) {
    switch (rc) {
    case MOSQ_ERR_ERRNO:
        return std::strerror(savedErrno);
    case MOSQ_ERR_EAI:
        return "host not found";
    case MOSQ_ERR_TLS:
        return "secure connection failed (TLS error, such as an untrusted certificate)";
    case MOSQ_ERR_CONN_LOST:
        return "connection lost";
    case MOSQ_ERR_KEEPALIVE:
        return "no answer within the keep-alive time";
    default:
        return mosquitto_strerror(rc);
    }
}

class MosquittoConnection final : public MqttConnection {
public:
    explicit MosquittoConnection(const MqttConnectSettings& settings)
        : settings_(settings), client_(mosquitto_new(nullptr, true, this)) {}
    ~MosquittoConnection() override {
        if (client_ != nullptr)
            mosquitto_destroy(client_);
    }
    MosquittoConnection(const MosquittoConnection&) = delete;
    MosquittoConnection& operator=(const MosquittoConnection&) = delete;

    bool connect(std::string& why) override {
        if (client_ == nullptr) {
            why = "out of memory";
            return false;
        }
        if (!configure(why))
            return false;
        errno = 0;
        const int rc = mosquitto_connect_async(client_, settings_.host.c_str(), settings_.port,
                                               settings_.keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS) {
            why = describe(rc, errno);
            return false;
        }
        return true;
    }

    Status poll(int timeOutMs, std::string& why) override {
        errno = 0;
        const int rc = mosquitto_loop(client_, timeOutMs, 1);
        const int savedErrno = errno;
        if (refusal_ != 0) {
            why = std::string("refused: ") + mosquitto_connack_string(refusal_);
            return Status::Failed;
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            why = describe(rc, savedErrno);
            return Status::Failed;
        }
        return connected_ ? Status::Connected : Status::Connecting;
    }

    bool publish(const std::string& topic, std::string_view payload, bool retain) override {
        if (!connected_ || payload.size() > kLargestPayload)
            return false;
        int mid = 0;
        const int rc =
            mosquitto_publish(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                              payload.data(), 1, retain);
        if (rc != MOSQ_ERR_SUCCESS)
            return false;
        waiting_[mid] = payload.size();
        waitingBytes_ += payload.size();
        return true;
    }

    size_t waitingMessages() const override { return waiting_.size(); }
    size_t waitingBytes() const override { return waitingBytes_; }

    void disconnect(int graceMs) override {
        if (!connected_)
            return;
        constexpr int kStepMs = 20;
        std::string why;
        for (int spent = 0; !waiting_.empty() && spent < graceMs; spent += kStepMs)
            if (poll(kStepMs, why) == Status::Failed)
                return;
        // A message still waiting may be the last one ("offline"): then the connection is only
        // closed, by the destructor, and the broker publishes the will in its place.
        if (!waiting_.empty())
            return;
        // Outside callbacks and threads, the DISCONNECT is written at once and the socket closed.
        mosquitto_disconnect(client_);
        connected_ = false;
    }

private:
    bool configure(std::string& why) {
        mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_connect_callback_set(client_, onConnect);
        mosquitto_publish_callback_set(client_, onPublish);
        if (!settings_.user.empty() &&
            mosquitto_username_pw_set(client_, settings_.user.c_str(),
                                      settings_.password.empty()
                                          ? nullptr
                                          : settings_.password.c_str()) != MOSQ_ERR_SUCCESS) {
            why = "the user name is not valid UTF-8";
            return false;
        }
        if (!settings_.willTopic.empty() &&
            mosquitto_will_set(client_, settings_.willTopic.c_str(),
                               static_cast<int>(settings_.willPayload.size()),
                               settings_.willPayload.data(), 1, true) != MOSQ_ERR_SUCCESS) {
            why = "the status topic is not valid";
            return false;
        }
        if (settings_.tls) {
            // The system's trust store, and the certificate file besides when one is named.
            mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
            if (!settings_.certificateFile.empty() &&
                mosquitto_tls_set(client_, settings_.certificateFile.c_str(), nullptr, nullptr,
                                  nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
                why = "cannot read the certificate file " + settings_.certificateFile;
                return false;
            }
        }
        return true;
    }

    static void onConnect(mosquitto*, void* self, int rc) {
        auto* connection = static_cast<MosquittoConnection*>(self);
        if (rc == 0)
            connection->connected_ = true;
        else
            connection->refusal_ = rc;
    }

    static void onPublish(mosquitto*, void* self, int mid) {
        auto* connection = static_cast<MosquittoConnection*>(self);
        const auto found = connection->waiting_.find(mid);
        if (found == connection->waiting_.end())
            return;
        connection->waitingBytes_ -= found->second;
        connection->waiting_.erase(found);
    }

    MqttConnectSettings settings_;
    mosquitto* client_;
    bool connected_ = false;
    int refusal_ = 0;                         // the broker's CONNACK code when it refused
    std::unordered_map<int, size_t> waiting_; // payload bytes by message id
    size_t waitingBytes_ = 0;
};

class MosquittoProvider final : public MqttProvider {
public:
    MosquittoProvider() { mosquitto_lib_init(); }
    std::unique_ptr<MqttConnection> connection(const MqttConnectSettings& settings) const override {
        return std::make_unique<MosquittoConnection>(settings);
    }
};

} // namespace

} // namespace kestrix

extern "C" __attribute__((visibility("default"))) const kestrix::MqttProvider*
kestrixMqttProvider(int interface) {
    // mosquitto_lib_init is not thread-safe; a function-local static runs it once.
    static const kestrix::MosquittoProvider provider;
    return interface == kestrix::kMqttModuleInterface ? &provider : nullptr;
}
