// libmosquitto lives in a module of its own: nothing of it is mapped until a publisher starts,
// and a missing module fails only that start, with a message that says what to install.
#include "core/util/Error.h"
#include "core/watch/MqttPublisher.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;

namespace {

bool mapped(const std::string& library) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        if (line.find(library) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(MqttModule, OpenedOnlyWhenAPublisherStartsAndAMissingOneSaysWhatToInstall) {
    if (mapped("libkestrix_mqtt.so")) {
        // An earlier test of this process opened it: the test runs again in a process of its own.
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        const CommandResult again =
            runCommand(self + " --gtest_filter=MqttModule.OpenedOnlyWhenAPublisherStarts* 2>&1");
        EXPECT_EQ(again.status, 0) << again.out;
        return;
    }
    MqttSettings settings;
    settings.host = "127.0.0.1";
    settings.port = 1;
    {
        MqttPublisher publisher(settings, {{"A", "A"}}, nullptr);
        EXPECT_FALSE(mapped("libkestrix_mqtt.so"));
        EXPECT_FALSE(mapped("libmosquitto"));
        setenv("KESTRIX_MQTT_MODULE", "/nonexistent/libkestrix_mqtt.so", 1);
        try {
            publisher.start();
            ADD_FAILURE() << "started without its module";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(),
                         "MQTT connections need Kestrix's module libkestrix_mqtt.so, which could "
                         "not be loaded: /nonexistent/libkestrix_mqtt.so: cannot open shared "
                         "object file: No such file or directory. Reinstall Kestrix, or install "
                         "its libraries (Debian: apt install libmosquitto1).");
        }
        unsetenv("KESTRIX_MQTT_MODULE");
    }
    EXPECT_FALSE(mapped("libmosquitto"));

    // A failed load is tried again.
    MqttPublisher publisher(settings, {{"A", "A"}}, nullptr);
    publisher.start();
    EXPECT_TRUE(mapped("libkestrix_mqtt.so"));
    EXPECT_TRUE(mapped("libmosquitto"));
    publisher.stop();
}
