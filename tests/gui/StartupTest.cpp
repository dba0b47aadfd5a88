#include "WindowFixture.h"
#include "core/links/LinkFile.h"
#include "core/settings/IniFile.h"
#include "core/util/Error.h"
#include "core/util/FileIO.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTest>
#include <fstream>

using namespace kestrix;
using namespace kestrix::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> comboItems(QComboBox* combo) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(combo->count()));
    for (int i = 0; i < combo->count(); ++i)
        out.push_back(combo->itemText(i).toStdString());
    return out;
}

const char* kTwoLinks = "<ImageAddressXML KSX=\"1.0\"><FolderItem FolderName=\"Radar\">"
                        "<URLItem URLName=\"Radar: Denver\" URLAddress=\"http://r/den.gif\" "
                        "URLDelay=\"300\"/><URLItem URLName=\"Pueblo\" URLAddress=\"http://r/p\" "
                        "Selected=\"yes\"/></FolderItem></ImageAddressXML>";

} // namespace

TEST_F(WindowTest, FirstStartWithoutSettingsOrLinkFile) {
    gui::MainWindow& w = start();
    EXPECT_EQ(w.settings().timeOut, 60);
    EXPECT_EQ(w.settings().quality, 10000);
    EXPECT_DOUBLE_EQ(w.settings().flawThreshold, 0.07);
    EXPECT_TRUE(w.settings().blackFrame);
    EXPECT_EQ(w.settings().defaultFile, "default.klnx");

    EXPECT_EQ(w.links().tree().selected()->text(), "Mt. Saint Hellens");
    EXPECT_EQ(w.currentLink().name, "Mt. Saint Hellens");
    EXPECT_EQ(w.currentLink().delay, 60);
    EXPECT_EQ(w.windowTitle(), "Mt. Saint Hellens (0) - Kestrix");
    EXPECT_FALSE(w.links().modified());
    EXPECT_EQ(find<QLabel>("ModifiedDis")->text(), "");

    // Ten empty history lines, with the address pushed to the top by the start-up.
    auto* combo = find<QComboBox>("URLCombo");
    std::vector<std::string> expected(11);
    expected[0] = w.currentLink().url;
    EXPECT_EQ(comboItems(combo), expected);
    EXPECT_EQ(combo->currentText().toStdString(), w.currentLink().url);

    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(programDir.path()), {}), 0);
    EXPECT_FALSE(fs::exists(iniPath()));
    EXPECT_TRUE(window->helpFile().endsWith("/KSX.CHM"));

    // Closing an unmodified tree asks nothing and writes the selection and the history.
    EXPECT_TRUE(requestClose());
    EXPECT_TRUE(dialogs.asked.empty());
    IniFile ini(iniPath());
    ini.load();
    EXPECT_EQ(ini.readInteger("Links", "SelectedInx", -1), 10);
    EXPECT_EQ(ini.readInteger("AddressBar", "Count", -1), 10);
    EXPECT_EQ(ini.readString("AddressBar", "Item0", ""), w.currentLink().url);
}

TEST_F(WindowTest, DefaultLinkFileSelectionAndHistoryAreRestored) {
    writeFile(programDir.file("default.klnx"), kTwoLinks);
    fs::create_directories(configDir.path() + "/kestrix");
    writeFile(iniPath(), "[Links]\nSelectedInx=2\n[AddressBar]\nCount=2\nItem0=http://R/DEN.GIF\n"
                         "Item1=http://old\n");
    gui::MainWindow& w = start();
    EXPECT_EQ(w.links().tree().selected()->text(), "Radar: Denver");
    EXPECT_EQ(w.links().currentFile(), programDir.file("default.klnx"));
    EXPECT_EQ(find<QLabel>("ModifiedDis")->text(), "No");
    // The caption drops everything up to the colon; the label shows the whole name.
    EXPECT_EQ(w.windowTitle(), " Denver (0) - Kestrix");
    EXPECT_EQ(find<QLabel>("CurrentLinkDis")->text(), "Radar: Denver ");
    // The typed address matched a list entry ignoring case: the stored form wins.
    auto* combo = find<QComboBox>("URLCombo");
    EXPECT_EQ(comboItems(combo), (std::vector<std::string>{"http://R/DEN.GIF", "http://old"}));
    EXPECT_EQ(combo->currentText(), "http://R/DEN.GIF");
}

TEST_F(WindowTest, ABrokenDefaultLinkFileIsReportedAndStartGoesOn) {
    writeFile(programDir.file("default.klnx"), "<ImageAddressXML><FolderItem>");
    gui::MainWindow& w = start();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("Line: 1"), std::string::npos);
    EXPECT_EQ(w.links().tree().nodeCount(), 1);
    EXPECT_EQ(w.currentLink().name, "Mt. Saint Hellens");
}

TEST_F(WindowTest, ClosingWritesTenOfFifteenHistoryEntries) {
    start();
    auto* combo = find<QComboBox>("URLCombo");
    combo->clear();
    for (int i = 0; i < 15; ++i)
        combo->addItem(QString("http://host/%1").arg(i));
    EXPECT_TRUE(requestClose());
    IniFile ini(iniPath());
    ini.load();
    EXPECT_EQ(ini.readInteger("AddressBar", "Count", 0), 10);
    EXPECT_EQ(ini.readString("AddressBar", "Item9", ""), "http://host/9");
    EXPECT_EQ(ini.readString("AddressBar", "Item10", "none"), "none");
}

TEST_F(WindowTest, ClosingAModifiedTreeAsksToSave) {
    gui::MainWindow& w = start();
    w.links().setLinksModified(true);
    EXPECT_EQ(find<QLabel>("ModifiedDis")->text(), "Yes");

    dialogs.answers = {Answer::Cancel};
    EXPECT_FALSE(requestClose());
    // The selection and the history were written all the same.
    EXPECT_TRUE(fs::exists(iniPath()));
    // Yes without a current link file opens Save Links As; cancelling it keeps the window.
    dialogs.answers = {Answer::Yes};
    dialogs.files = {std::nullopt};
    EXPECT_FALSE(requestClose());
    dialogs.answers = {Answer::Yes};
    dialogs.files = {programDir.file("saved.klnx")};
    EXPECT_TRUE(requestClose());
    EXPECT_TRUE(fs::exists(programDir.file("saved.klnx")));
    EXPECT_EQ(dialogs.asked, std::vector<std::string>(3, "Save Changes To Link List?"));
}

TEST_F(WindowTest, CommandLineLinkFileOpensAtFirstActivation) {
    writeFile(programDir.file("list.KLNX"), kTwoLinks);
    writeFile(programDir.file("list.xml"), kTwoLinks);
    gui::MainWindow& w = start({QString::fromStdString(programDir.file("list.KLNX"))});
    EXPECT_EQ(w.links().tree().nodeCount(), 11); // the built-in set until activation
    w.openStartFile();
    EXPECT_EQ(w.links().tree().nodeCount(), 4);
    EXPECT_EQ(w.links().currentFile(), programDir.file("list.KLNX"));
    EXPECT_EQ(w.links().tree().selected()->text(), "Pueblo");
    EXPECT_EQ(w.currentLink().name, "Mt. Saint Hellens"); // no link made current
    EXPECT_EQ(fs::current_path(), fs::path(programDir.path()));
    // Only the first activation opens it.
    w.links().tree().clear();
    w.openStartFile();
    EXPECT_EQ(w.links().tree().nodeCount(), 0);

    window.reset();
    gui::MainWindow& other = start({QString::fromStdString(programDir.file("list.xml"))});
    other.openStartFile();
    EXPECT_EQ(other.links().tree().nodeCount(), 11);
}

// Load Links: the current link and the address bar follow the loaded tree's selection, as at
// start. A load that is cancelled or cannot read its file leaves them.
TEST_F(WindowTest, LoadLinksMakesTheLoadedSelectionCurrent) {
    std::string unselected = kTwoLinks;
    unselected.replace(unselected.find(" Selected=\"yes\""), 15, "");
    writeFile(programDir.file("list.klnx"), kTwoLinks);
    writeFile(programDir.file("unselected.klnx"), unselected);
    writeFile(programDir.file("broken.klnx"), "<ImageAddressXML><FolderItem");
    gui::MainWindow& w = start();
    auto load = [&](std::optional<std::string> file) {
        dialogs.files = {std::move(file)};
        find<QAction>("LoadLinksMnu")->trigger();
    };
    load(std::nullopt);
    load(programDir.file("broken.klnx"));
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(w.currentLink().name, "Mt. Saint Hellens");

    load(programDir.file("list.klnx"));
    EXPECT_EQ(w.currentLink().name, "Pueblo");
    EXPECT_EQ(w.currentLink().url, "http://r/p");
    EXPECT_EQ(find<QComboBox>("URLCombo")->currentText(), "http://r/p");
    EXPECT_EQ(find<QLabel>("CurrentLinkDis")->text(), "Pueblo ");
    EXPECT_EQ(w.windowTitle(), "Pueblo (0) - Kestrix");

    // No link selected in the file: the first link, as Load Links selects it.
    load(programDir.file("unselected.klnx"));
    EXPECT_EQ(w.currentLink().name, "Radar: Denver");
    EXPECT_EQ(w.currentLink().delay, 300);
    EXPECT_EQ(find<QComboBox>("URLCombo")->currentText(), "http://r/den.gif");
    EXPECT_EQ(w.windowTitle(), " Denver (0) - Kestrix");
}

TEST_F(WindowTest, SaveSettingsWritesEverySetting) {
    gui::MainWindow& w = start();
    w.settings().timeOut = 30;
    w.settings().flawThreshold = 0.29;
    find<QAction>("SaveSettingsMnu")->trigger();
    IniFile ini(iniPath());
    ini.load();
    EXPECT_EQ(ini.readInteger("Sampling", "TimeOut", 0), 30);
    EXPECT_EQ(ini.readString("Flaws", "FlawThreshold", ""), "0.29");
    EXPECT_EQ(ini.readString("Flaws", "BlackFrame", ""), "1");
    EXPECT_EQ(ini.readInteger("AVI", "Quality", 0), 10000);
    EXPECT_EQ(ini.readString("Files", "DefaultFile", ""), "default.klnx");
    EXPECT_EQ(ini.readInteger("Links", "SelectedInx", 0), 10);
}

TEST_F(WindowTest, AddressBarEditsChangeTheCurrentAddressOnly) {
    gui::MainWindow& w = start();
    auto* combo = find<QComboBox>("URLCombo");
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), "http://x/y.jpg");
    EXPECT_EQ(w.currentLink().url, "http://x/y.jpg");
    EXPECT_EQ(w.currentLink().name, "Mt. Saint Hellens");
    EXPECT_EQ(find<QLabel>("CurrentLinkDis")->text(), "");
    find<QAction>("AddressBarMnu")->trigger();
    EXPECT_TRUE(find<QWidget>("AddressBar")->isHidden());
    EXPECT_EQ(combo->currentText(), "http://x/y.jpg");
}

TEST_F(WindowTest, AddressBarExpansionLeavesTheBarAsTyped) {
    FixedClock clock(*parseIsoDateTime("2026-12-08T14:05:09Z"));
    start({}, &clock);
    auto* combo = find<QComboBox>("URLCombo");
    combo->setEditText("http://h/<date>0,yyyymmdd</date>.jpg");
    EXPECT_EQ(window->expandAddressBar(), "http://h/20261208.jpg");
    EXPECT_EQ(combo->currentText(), "http://h/<date>0,yyyymmdd</date>.jpg");
    combo->setEditText("<date>5e,yyyy</date>");
    EXPECT_THROW(window->expandAddressBar(), Error);
}

// Movies, https and the status page are modules: the window starts without FFmpeg, OpenSSL or
// the web server in memory.
TEST_F(WindowTest, StartMapsNoneOfTheLargeLibraries) {
    const auto mapped = [] {
        std::ifstream maps("/proc/self/maps");
        return std::string(std::istreambuf_iterator<char>(maps), {});
    };
    if (mapped().find("libkestrix_") != std::string::npos)
        GTEST_SKIP() << "an earlier test in this process loaded a module";
    start();
    QTest::qWait(50);
    const std::string libraries = mapped();
    for (const char* heavy : {"libavcodec", "libavformat", "libssl", "libkestrix_"})
        EXPECT_EQ(libraries.find(heavy), std::string::npos) << heavy;
}

// The window's place comes back at the next start; a place that is off every screen or too small
// is not taken. (The offscreen platform of the tests does not lay out a shown window, so the
// splitter is checked by hand.)
TEST_F(WindowTest, WindowPlaceComesBack) {
    fs::create_directories(configDir.path() + "/kestrix");
    writeFile(iniPath(), "[Window]\nLeft=30\nTop=40\nWidth=700\nHeight=500\nLinksWidth=250\n"
                         "KeepProportions=1\n");
    gui::MainWindow& w = start();
    EXPECT_EQ(w.geometry(), QRect(30, 40, 700, 500));
    EXPECT_TRUE(find<QCheckBox>("KeepProportionsChk")->isChecked());
    w.setGeometry(20, 30, 760, 520);
    ASSERT_TRUE(requestClose());
    IniFile ini(iniPath());
    ini.load();
    EXPECT_EQ(ini.readInteger("Window", "Left", 0), 20);
    EXPECT_EQ(ini.readInteger("Window", "Top", 0), 30);
    EXPECT_EQ(ini.readInteger("Window", "Width", 0), 760);
    EXPECT_EQ(ini.readInteger("Window", "Height", 0), 520);
    EXPECT_GT(ini.readInteger("Window", "LinksWidth", 0), 0);
    EXPECT_FALSE(ini.readBool("Window", "Maximized", true));
    EXPECT_TRUE(ini.readBool("Window", "KeepProportions", false));

    window.reset();
    writeFile(iniPath(), "[Window]\nLeft=-90000\nTop=40\nWidth=700\nHeight=500\n");
    EXPECT_EQ(start().size(), QSize(1120, 740));
    EXPECT_FALSE(find<QCheckBox>("KeepProportionsChk")->isChecked()); // off by default
}
