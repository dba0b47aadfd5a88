#include "core/settings/AppSettings.h"
#include "core/util/Error.h"
#include "support/Child.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace kestrix;
using namespace kestrix::test;

TEST(IniFile, ReadingRules) {
    IniFile ini("unused");
    ini.parse("; comment\r\n"
              "[avi]\r\n"
              "quality = 0x10\r\n"
              "[Sampling]\n"
              "TimeOut=12abc\n"
              "[Files]\n"
              "DefaultFile=\"my links.klnx\"\n"
              "Long=" +
              std::string(3000, 'a') +
              "\n"
              "Nul=a" +
              std::string(1, '\0') +
              "b\n"
              "[Flaws]\n"
              "FlawThreshold=0.29\n"
              "BlackFrame=5\n"
              "[Links]\n"
              "SelectedInx=-3\n");
    EXPECT_EQ(ini.readInteger("AVI", "QUALITY", 1), 16);
    EXPECT_EQ(ini.readInteger("Sampling", "TimeOut", 60), 60); // not a number: default
    EXPECT_EQ(ini.readString("files", "defaultfile", ""), "my links.klnx");
    EXPECT_EQ(ini.readString("Files", "Long", "").size(), 2047u);
    EXPECT_EQ(ini.readString("Files", "Nul", ""), std::string("a\0b", 3));
    EXPECT_EQ(ini.readString("Files", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("Nowhere", "Key", "dflt"), "dflt");
    EXPECT_DOUBLE_EQ(ini.readFloat("Flaws", "FlawThreshold", 0, defaultFormatSettings()), 0.29);
    EXPECT_TRUE(ini.readBool("Flaws", "BlackFrame", false));
    EXPECT_EQ(ini.readInteger("Links", "SelectedInx", 0), -3);
}

TEST(IniFile, DefaultsWhenTheFileIsMissingOrBroken) {
    TempDir dir;
    for (const std::string& text :
         {std::string(), std::string("\xFF\xFE garbage\n[AVI\nQuality")}) {
        IniFile ini(dir.file("ksx.ini"));
        writeFile(ini.path(), text);
        ini.load();
        AppSettings s = readSettings(ini, defaultFormatSettings());
        EXPECT_EQ(s.quality, 10000);
        EXPECT_EQ(s.mp4Quality, 6500);
        EXPECT_EQ(s.timeOut, 60);
        EXPECT_EQ(s.defaultFile, "default.klnx");
        EXPECT_EQ(s.selectedInx, 0);
        EXPECT_DOUBLE_EQ(s.flawThreshold, 0.07);
        EXPECT_TRUE(s.blackFrame);
        // The connection settings send the documented request until they are changed.
        EXPECT_FALSE(s.allowHttps);
        EXPECT_FALSE(s.conditional);
        EXPECT_EQ(s.userAgent, "");
        EXPECT_EQ(readAddressHistory(ini), std::vector<std::string>(10));
    }
}

TEST(IniFile, WritingKeepsOtherLinesAndRoundTrips) {
    TempDir dir;
    IniFile ini(dir.file("sub/ksx.ini"));
    std::filesystem::create_directories(dir.file("sub"));
    writeFile(ini.path(), "; mine\n[Other]\nKeep=1\n[flaws]\nblackframe=1\n");
    AppSettings s;
    s.quality = 500;
    s.mp4Quality = 8000;
    s.timeOut = 7;
    s.defaultFile = "/links/my.klnx";
    s.flawThreshold = 0.07;
    s.blackFrame = false;
    s.allowHttps = true;
    s.certificateFile = "/etc/cams/ca.pem";
    s.pins = std::string(64, 'A') + " " + std::string(64, 'b');
    s.conditional = true;
    s.userAgent = "Archive/1.0";
    writeSettings(ini, s, 4, defaultFormatSettings());
    std::string text = readFile(ini.path());
    EXPECT_NE(text.find("; mine\n[Other]\nKeep=1\n[flaws]\nblackframe=0\nFlawThreshold=0.07\n"),
              std::string::npos)
        << text;
    IniFile again(ini.path());
    again.load();
    AppSettings back = readSettings(again, defaultFormatSettings());
    EXPECT_EQ(back.quality, 500);
    EXPECT_EQ(back.mp4Quality, 8000);
    EXPECT_NE(text.find("[MP4]\nQuality=8000\n"), std::string::npos) << text;
    EXPECT_EQ(back.timeOut, 7);
    EXPECT_EQ(back.defaultFile, "/links/my.klnx");
    EXPECT_EQ(back.selectedInx, 4);
    EXPECT_FALSE(back.blackFrame);
    EXPECT_EQ(again.readString("Other", "Keep", ""), "1");
    EXPECT_NE(text.find("[Connection]\nAllowHttps=1\nCertificateFile=/etc/cams/ca.pem\n"),
              std::string::npos)
        << text;
    const ConnectionOptions options = connectionOptions(back);
    EXPECT_TRUE(options.tls.allowHttps);
    EXPECT_EQ(options.tls.certificateFile, "/etc/cams/ca.pem");
    EXPECT_EQ(options.tls.pins,
              (std::vector<std::string>{std::string(64, 'a'), std::string(64, 'b')}));
    EXPECT_TRUE(options.conditional);
    EXPECT_EQ(options.userAgent, "Archive/1.0");
}

TEST(IniFile, HistoryKeepsTenEntriesAndLeavesOlderKeys) {
    TempDir dir;
    IniFile ini(dir.file("ksx.ini"));
    std::vector<std::string> entries;
    entries.reserve(12);
    for (int i = 0; i < 12; ++i)
        entries.push_back("http://host/" + std::to_string(i));
    writeAddressHistory(ini, entries);
    writeAddressHistory(ini, {"a", "b"});
    ini.load();
    EXPECT_EQ(ini.readInteger("AddressBar", "Count", 0), 2);
    EXPECT_EQ(readAddressHistory(ini), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(ini.readString("AddressBar", "Item9", ""), "http://host/9");
    EXPECT_EQ(ini.readString("AddressBar", "Item10", "none"), "none");

    ini.parse("[AddressBar]\nCount=2000000000\n");
    EXPECT_EQ(readAddressHistory(ini).size(), static_cast<size_t>(kMaxHistoryEntries));
}

TEST(IniFile, UnwritableFileRaisesUnableToWrite) {
    TempDir dir;
    IniFile ini(dir.file("ksx.ini"));
    writeSelectedIndex(ini, 1);
    EXPECT_TRUE(inChild([&] {
        limitFileSize(8);
        try {
            writeSelectedIndex(ini, 123456789);
            return false;
        } catch (const Error& e) {
            return std::string(e.what()) == "Unable to write to " + ini.path();
        }
    }));
    ini.load();
    EXPECT_EQ(ini.readInteger("Links", "SelectedInx", 0), 1);
}

TEST(IniFile, SettingsPathFollowsXdgConfigHome) {
    const char* old = getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(settingsFilePath(), "/cfg/kestrix/ksx.ini");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(settingsFilePath(), std::string(getenv("HOME")) + "/.config/kestrix/ksx.ini");
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}
