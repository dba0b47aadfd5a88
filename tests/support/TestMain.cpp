// Test entry: every test process gets its own settings folder and working folder, so no test
// touches the real home folder. GUI tests also get an offscreen application object.
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#ifdef KESTRIX_GUI_TEST
#include <QApplication>
#endif

int main(int argc, char** argv) {
    static kestrix::test::TempDir home("home");
    setenv("XDG_CONFIG_HOME", (home.path() + "/config").c_str(), 1);
    setenv("HOME", home.path().c_str(), 1);
    std::filesystem::current_path(home.path());
    ::testing::InitGoogleTest(&argc, argv);
#ifdef KESTRIX_GUI_TEST
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
#else
    return RUN_ALL_TESTS();
#endif
}
