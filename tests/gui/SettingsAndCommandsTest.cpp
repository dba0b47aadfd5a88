#include "WindowFixture.h"
#include "core/decode/ImageDecoder.h"
#include "core/image/BmpCodec.h"
#include "core/settings/IniFile.h"
#include "core/tools/BCG.h"
#include "core/util/FileIO.h"
#include "gui/QtDialogs.h"
#include "gui/SettingsDialog.h"
#include "gui/controls/IntegerSpin.h"
#include "gui/macros/MacroEditorDialog.h"
#include "gui/tools/PictureDisplay.h"
#include "gui/widgets/PictureView.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

using namespace kestrix;
using namespace kestrix::test;

namespace {

void answer(QDialog& dialog, std::function<void()> fill, bool ok) {
    QTimer::singleShot(0, &dialog, [&dialog, fill = std::move(fill), ok] {
        if (fill)
            fill();
        ok ? dialog.accept() : dialog.reject();
    });
}

} // namespace

TEST_F(WindowTest, SettingsDialogEditsTheSettingsInMemory) {
    start();
    AppSettings& s = window->settings();
    s.flawThreshold = 0.29;
    s.timeOut = 0;
    gui::SettingsDialog& dlg = window->settingsDialog();
    int firstPage = -1;
    answer(
        dlg, [&] { firstPage = dlg.pages()->currentIndex(); }, true);
    find<QAction>("SettingsMnu")->trigger();
    EXPECT_EQ(firstPage, 2); // "File/Path"
    EXPECT_DOUBLE_EQ(s.flawThreshold, 0.29);
    EXPECT_EQ(s.timeOut, 1); // shown as 1, stored as 1
    EXPECT_EQ(s.quality, 10000);
    EXPECT_FALSE(fileExists(iniPath())); // nothing written

    // 150 in the flaw field: limits are not enforced there.
    answer(
        dlg,
        [&] {
            dlg.pages()->setCurrentIndex(0);
            auto* flaw = dlg.findChild<gui::IntegerSpin*>("FlawSpin");
            flaw->setText("150");
            dlg.findChild<QCheckBox*>("BlackFrameChk")->setChecked(false);
            dlg.findChild<QSlider*>("QualityTrack")->setValue(2500);
            EXPECT_EQ(dlg.findChild<QSlider*>("Mp4QualityTrack")->value(), 6500);
            dlg.findChild<QSlider*>("Mp4QualityTrack")->setValue(7300);
        },
        true);
    EXPECT_TRUE(dlg.showSettingsDialog(s));
    EXPECT_DOUBLE_EQ(s.flawThreshold, 1.5);
    EXPECT_FALSE(s.blackFrame);
    EXPECT_EQ(s.quality, 2500);
    EXPECT_EQ(s.mp4Quality, 7300);

    // Cancel after changing everything keeps everything; the page is remembered.
    int page = -1;
    answer(
        dlg,
        [&] {
            page = dlg.pages()->currentIndex();
            dlg.findChild<QLineEdit*>("DefaultFileEdit")->setText("/elsewhere.klnx");
            dlg.findChild<gui::IntegerSpin*>("TimeOutSpin")->setText("99");
        },
        false);
    EXPECT_FALSE(dlg.showSettingsDialog(s));
    EXPECT_EQ(page, 0);
    EXPECT_EQ(s.defaultFile, "default.klnx");
    EXPECT_EQ(s.timeOut, 1);

    // Browse: a cancelled dialog keeps the typed path; a chosen file becomes the path.
    std::string path = "/typed/links.klnx";
    dialogs.files = {std::nullopt, programDir.file("chosen.klnx")};
    dlg.browseLinkFile("Select Default Link File", path);
    EXPECT_EQ(path, "/typed/links.klnx");
    EXPECT_EQ(dialogs.fileDialogs.back().title, "Select Default Link File");
    EXPECT_EQ(dialogs.fileDialogs.back().initialDir, "/typed");
    EXPECT_EQ(dialogs.fileDialogs.back().fileName, "links.klnx");
    dlg.browseLinkFile("Select Default Link File", path);
    EXPECT_EQ(path, programDir.file("chosen.klnx"));
}

TEST_F(WindowTest, PictureCommands) {
    start();
    Bitmap picture(6, 4);
    for (int y = 0; y < 4; ++y)
        std::fill(picture.scanLine(y), picture.scanLine(y) + 18, uint8_t{100});
    window->display().showImage(picture);
    find<QSlider>("BrightnessBar")->setValue(60);

    // Save Bitmap writes the adjusted picture as a 24-bit BMP.
    dialogs.files = {programDir.file("shot.bmp")};
    find<QAction>("SaveBitmapMnu")->trigger();
    EXPECT_EQ(dialogs.fileDialogs.back().title, "Save Current Image");
    EXPECT_EQ(dialogs.fileDialogs.back().defaultExtension, "bmp");
    Bitmap saved;
    readBmp(readFile(programDir.file("shot.bmp")), saved);
    EXPECT_EQ(saved.pixelFormat(), PixelFormat::Bit24);
    EXPECT_EQ(saved.scanLine(3)[17], buildLookupTable(0.6, 0.5, 0.5)[100]);

    // Save Picture As writes the same picture as PNG or JPEG, as the name says.
    dialogs.files = {programDir.file("shot.png"), programDir.file("shot.jpg")};
    find<QAction>("SavePictureMnu")->trigger();
    find<QAction>("SavePictureMnu")->trigger();
    EXPECT_EQ(dialogs.fileDialogs.back().title, "Save Picture As");
    EXPECT_EQ(dialogs.fileDialogs.back().filter,
              "PNG Picture (*.png)|*.png|JPEG Picture (*.jpg)|*.jpg;*.jpeg");
    Bitmap png, jpeg;
    decodeImage(readFile(programDir.file("shot.png")), "shot.png", png, nullptr);
    EXPECT_EQ(writeBmp(png), writeBmp(saved));
    decodeImage(readFile(programDir.file("shot.jpg")), "shot.jpg", jpeg, nullptr);
    EXPECT_EQ(readFile(programDir.file("shot.jpg")).substr(0, 2), "\xFF\xD8");
    EXPECT_NEAR(jpeg.scanLine(3)[17], saved.scanLine(3)[17], 2);

    find<QAction>("CopyMnu")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(6, 4));

    // Use Actual Size on, then off: the picture fills the area again.
    auto* actual = find<QCheckBox>("ActualSizeChk");
    actual->click();
    EXPECT_FALSE(find<QScrollArea>("ScrollBox1")->widgetResizable());
    EXPECT_EQ(find<gui::PictureView>("Image1")->size(), QSize(6, 4));
    actual->click();
    EXPECT_TRUE(find<QScrollArea>("ScrollBox1")->widgetResizable());
}

// Help opens the help file beside the program when it is there, otherwise the manual made with
// the program at the section of the menu item or dialog.
TEST_F(WindowTest, HelpOpensTheHelpFileOrTheManualAtItsSection) {
    std::vector<std::string> opened;
    openUrl = [&](const std::string& url) {
        opened.push_back(url);
        return true;
    };
    start();
    find<QAction>("HelpContentsMnu")->trigger();
    window->settingsDialog().findChild<QPushButton*>("HelpBtn")->click();
    window->macroEditDialog().findChild<QPushButton*>("HelpBtn")->click();
    ASSERT_EQ(opened.size(), 3u) << (dialogs.messages.empty() ? "" : dialogs.messages.back());
    const std::string manual = "manual/index.html#";
    EXPECT_NE(opened[0].find(manual + "contents"), std::string::npos) << opened[0];
    EXPECT_EQ(opened[0].rfind("file:///", 0), 0u) << opened[0];
    EXPECT_NE(opened[1].find(manual + "settings"), std::string::npos) << opened[1];
    EXPECT_NE(opened[2].find(manual + "macros"), std::string::npos) << opened[2];
    // The page really has those sections.
    const std::string page =
        readFile(QUrl(QString::fromStdString(opened[0])).toLocalFile().toStdString());
    for (const char* id : {"id=\"contents\"", "id=\"settings\"", "id=\"macros\""})
        EXPECT_NE(page.find(id), std::string::npos) << id;

    writeFile(programDir.file("KSX.CHM"), "help");
    find<QAction>("HelpContentsMnu")->trigger();
    EXPECT_EQ(opened.back(), "file://" + programDir.file("KSX.CHM"));
}

TEST_F(WindowTest, ViewWithBrowserHandsOnlyWebAddresses) {
    std::vector<std::string> opened;
    bool desktopWorks = true;
    openUrl = [&](const std::string& url) {
        opened.push_back(url);
        return desktopWorks;
    };
    start();
    auto* combo = find<QComboBox>("URLCombo");
    find<QAction>("AddressBarMnu")->trigger(); // hidden, the bar still holds the address
    combo->setEditText("cams.example.org/cam<counter>0,0,7,0,0</counter>.jpg");
    find<QAction>("ViewWithBrowserMnu")->trigger();
    EXPECT_EQ(opened, std::vector<std::string>{"http://cams.example.org/cam7.jpg"});
    combo->setEditText("file:///etc/passwd");
    find<QAction>("ViewWithBrowserMnu")->trigger();
    EXPECT_EQ(dialogs.messages.back(),
              "Only web addresses (http or https) can be opened in the browser.");
    EXPECT_EQ(opened.size(), 1u);
    desktopWorks = false;
    combo->setEditText("http://host/x");
    find<QAction>("ViewWithBrowserMnu")->trigger();
    EXPECT_EQ(dialogs.messages.back(),
              "There is no application associated with the given filename extension.");
}

// The Connection page: its settings reach the settings in memory on OK, and pins that cannot be
// read keep the dialog open with the reason.
TEST_F(WindowTest, ConnectionPageEditsTheConnectionSettings) {
    start();
    AppSettings& s = window->settings();
    gui::SettingsDialog& dlg = window->settingsDialog();
    EXPECT_EQ(dlg.pages()->tabText(3), "Connection");
    const std::string pin(64, 'c');
    answer(
        dlg,
        [&] {
            dlg.findChild<QCheckBox*>("AllowHttpsChk")->setChecked(true);
            dlg.findChild<QLineEdit*>("CertificateFileEdit")->setText("/etc/cams/ca.pem");
            dlg.findChild<QLineEdit*>("PinsEdit")->setText(QString::fromStdString(pin));
            dlg.findChild<QCheckBox*>("ConditionalChk")->setChecked(true);
            dlg.findChild<QLineEdit*>("UserAgentEdit")->setText("Archive/1.0");
        },
        true);
    EXPECT_TRUE(dlg.showSettingsDialog(s));
    EXPECT_TRUE(s.allowHttps);
    EXPECT_EQ(s.certificateFile, "/etc/cams/ca.pem");
    EXPECT_EQ(s.pins, pin);
    EXPECT_TRUE(s.conditional);
    EXPECT_EQ(s.userAgent, "Archive/1.0");

    bool stayedOpen = false;
    QTimer::singleShot(0, &dlg, [&] {
        dlg.findChild<QLineEdit*>("PinsEdit")->setText("12:34");
        dlg.findChild<QPushButton*>("OKBtn")->click();
        stayedOpen = dlg.isVisible();
        dlg.reject();
    });
    EXPECT_FALSE(dlg.showSettingsDialog(s));
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(dialogs.messages.back(), "Invalid certificate fingerprint: 1234.");
    EXPECT_EQ(s.pins, pin);

    // A user agent with a control character would break the request's lines: refused the same
    // way. Other characters beyond ASCII are fine.
    const QString agents[] = {"Archive/1.0\r\nX-Injected: 1", "Archive\n", "Tab\tbed", "Null\x01",
                              "Del\x7f"};
    for (const QString& agent : agents) {
        QTimer::singleShot(0, &dlg, [&] {
            dlg.findChild<QLineEdit*>("UserAgentEdit")->setText(agent);
            dlg.findChild<QPushButton*>("OKBtn")->click();
            stayedOpen = dlg.isVisible();
            dlg.reject();
        });
        EXPECT_FALSE(dlg.showSettingsDialog(s));
        EXPECT_TRUE(stayedOpen) << agent.toStdString();
        EXPECT_EQ(dialogs.messages.back(), "The User-Agent must not contain line breaks, tabs or "
                                           "other control characters.");
        EXPECT_EQ(dlg.pages()->currentIndex(), 3);
    }
    EXPECT_EQ(s.userAgent, "Archive/1.0");
    answer(
        dlg,
        [&] { dlg.findChild<QLineEdit*>("UserAgentEdit")->setText("Kamera-Archiv/2 (Zürich)"); },
        true);
    EXPECT_TRUE(dlg.showSettingsDialog(s));
    EXPECT_EQ(s.userAgent, "Kamera-Archiv/2 (Zürich)");
}

// The program's file filters in the file dialog's form: each pattern list shown once, and the
// dialog filtering by all of a filter's patterns.
TEST(QtDialogsFilter, PatternsAreShownOnce) {
    const struct {
        const char* filter;
        const char* shown;
    } cases[] = {
        {"Bitmaps (*.bmp)|*.bmp|All Files|*.*", "Bitmaps (*.bmp);;All Files (*)"},
        {"PNG Picture (*.png)|*.png|JPEG Picture (*.jpg)|*.jpg;*.jpeg",
         "PNG Picture (*.png);;JPEG Picture (*.jpg *.jpeg)"},
        {"MP4 Movie (H.264)|*.mp4", "MP4 Movie (H.264) (*.mp4)"},
        {"Certificates (PEM)|*.pem;*.crt|All Files|*.*",
         "Certificates (PEM) (*.pem *.crt);;All Files (*)"},
        {"All Pictures|*.gif;*.bmp|GIF Files|*.gif",
         "All Pictures (*.gif *.bmp);;GIF Files (*.gif)"},
        {"Image Link Files|*.klnx|XML|*.xml|All Files|*.*",
         "Image Link Files (*.klnx);;XML (*.xml);;All Files (*)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gui::QtDialogs::qtFilter(c.filter), c.shown) << c.filter;
    // The extension a name typed without one gets from the chosen file type.
    EXPECT_EQ(gui::QtDialogs::filterExtension("JPEG Picture (*.jpg *.jpeg)"), "jpg");
    EXPECT_EQ(gui::QtDialogs::filterExtension("PNG Picture (*.png)"), "png");
    EXPECT_EQ(gui::QtDialogs::filterExtension("All Files (*.*)"), "");
    EXPECT_EQ(gui::QtDialogs::filterExtension("All Files (*)"), "");

    // What the real save dialog offers for "Save Picture As...".
    gui::QtDialogs real(nullptr);
    QStringList offered;
    QTimer::singleShot(0, [&offered] {
        for (QWidget* shown : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(shown); dialog && dialog->isVisible()) {
                offered = dialog->nameFilters();
                dialog->reject();
            }
    });
    FileDialogOptions o;
    o.filter = "PNG Picture (*.png)|*.png|JPEG Picture (*.jpg)|*.jpg;*.jpeg";
    EXPECT_EQ(real.saveFile(o), std::nullopt);
    EXPECT_EQ(offered, QStringList({"PNG Picture (*.png)", "JPEG Picture (*.jpg *.jpeg)"}));
}
