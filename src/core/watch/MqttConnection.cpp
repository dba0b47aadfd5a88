#include "core/watch/MqttConnection.h"

#include "core/util/RuntimeModule.h"

#include <mutex>

namespace kestrix {

namespace {

constexpr RuntimeModule kMqttModule{"libkestrix_mqtt.so", "kestrixMqttProvider",
                                    "KESTRIX_MQTT_MODULE", "MQTT connections", "libmosquitto1"};

} // namespace

const MqttProvider& mqttProvider() {
    // Not a function-local static: a failed load must be tried again by the next call.
    static std::mutex mutex;
    static const MqttProvider* provider = nullptr;
    const std::lock_guard<std::mutex> lock(mutex);
    if (provider == nullptr) {
        const auto entry = reinterpret_cast<MqttModuleEntry>(loadModuleEntry(kMqttModule));
        const MqttProvider* answer = entry(kMqttModuleInterface);
        if (answer == nullptr)
            throwModuleUnusable(kMqttModule, "it belongs to another build of Kestrix");
        provider = answer;
    }
    return *provider;
}

} // namespace kestrix
