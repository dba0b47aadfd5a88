// The main window. It owns the program's long-lived state, lays out the panels that hold the
// controls, creates the features that own the commands, and places their actions in the menus.
#pragma once

#include "core/frames/BitmapList.h"
#include "core/image/Bitmap.h"
#include "core/links/CurrentLink.h"
#include "core/links/LinkLibrary.h"
#include "core/settings/AppSettings.h"
#include "core/util/Clock.h"
#include "core/util/FormatSettings.h"

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QProgressBar;
class QSplitter;
class QTabWidget;

namespace kestrix::gui {

class AcquisitionPresenter;
class AddressBarPanel;
class FindDialog;
class FrameFileCommands;
class LinkEditCommands;
class LinkFileCommands;
class MovieCommands;
class MacroEditorDialog;
class NodeEditDialog;
class SettingsDialog;
class WindowCommands;
class FrameTools;
class SizeCommands;
class AnimationPage;
class ImageToolsPage;
class LinkPane;
class PictureDisplay;
class PicturePanel;
class QtDialogs;
class SizePage;
class StatusBarPanel;
class AboutDialog;
class ToolBarPanel;

// What the window needs from its surroundings; tests replace the dialogs and the folders.
struct StartOptions {
    QString programDir;           // where the default link file and the help file are looked up
    QStringList arguments;        // command-line arguments after the program name
    Dialogs* dialogs = nullptr;   // null: real message boxes and file dialogs
    const Clock* clock = nullptr; // null: the system clock
    bool startClock = true;       // false: tests drive the one-second clock themselves
    std::function<bool(const std::string& url)> openUrl; // null: the desktop opens addresses
    FormatSettings formatSettings = defaultFormatSettings();
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(StartOptions options, QWidget* parent = nullptr);
    ~MainWindow() override;

    // State other parts of the program read.
    AppSettings& settings() { return settings_; }
    LinkLibrary& links() { return *links_; }
    const LinkInfo& currentLink() const { return currentLink_; }
    Bitmap& shownOriginal();
    FrameStore& frameStore() { return *frameStore_; }
    AcquisitionPresenter& acquisition() { return *acquisition_; }
    PictureDisplay& display() { return *display_; }
    FrameFileCommands& frameFiles() { return *frameFiles_; }
    SizeCommands& sizeCommands() { return *sizeCommands_; }
    SettingsDialog& settingsDialog() { return *settingsDlg_; }
    NodeEditDialog& nodeEditDialog() { return *nodeEditDlg_; }
    MacroEditorDialog& macroEditDialog() { return *macroEditDlg_; }
    FindDialog& findDialog() { return *findDialog_; }
    // The edited link becomes the current link: address bar and caption follow.
    void makeCurrent(const LinkNode* link);
    // The macro editor on an address; true when it was closed with OK.
    bool editMacros(std::string& address);
    const QString& helpFile() const { return helpFile_; }

    // Start and shutdown steps, callable by tests.
    void openStartFile();
    void updateMainCaption();
    bool useSelectedLink();
    // "&Select" and a double-click: the selected link becomes current and is fetched.
    void selectAndLoad();
    void showImageInfo();
    void pushAddressHistory();
    void readAddressHistory();
    void writeAddressHistory();
    void writeSelectedIndex();
    // The address bar's text with its macros expanded; the bar keeps its text.
    std::string expandAddressBar() const;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    void createAcquisition();
    void createTools();
    void createDialogs();
    void createFeatures();
    void buildMenus();
    void addMenuShortcuts();
    void readWindowPlace();
    void writeWindowPlace();
    void readFrameFolder();
    void useFrameFolder(bool choose);
    void openHelp(int topic);
    void editAddressMacros();
    void setCaption(const QString& caption);
    void initialise();
    void wireCommands();
    void openFileByExtension(const QString& path);
    // Runs a command and shows a failure in the error box.
    void runCommand(const std::function<void()>& command);
    void showError(const std::exception& e);

    StartOptions options_;
    std::unique_ptr<QtDialogs> qtDialogs_;
    Dialogs& dialogs_;
    FormatSettings fs_;
    SystemClock systemClock_;
    const Clock& clock_;
    IniFile ini_;
    AppSettings settings_;
    std::unique_ptr<LinkLibrary> links_;
    LinkInfo currentLink_ = initialCurrentLink();
    std::unique_ptr<FrameStore> frameStore_;
    bool firstActivate_ = true;
    QString helpFile_;
    QString manualFile_;

    ToolBarPanel* toolBar_ = nullptr;
    AddressBarPanel* addressBar_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QTabWidget* pageControl_ = nullptr;
    QProgressBar* gauge_ = nullptr;
    LinkPane* linkPane_ = nullptr;
    AnimationPage* animation_ = nullptr;
    ImageToolsPage* imageTools_ = nullptr;
    SizePage* sizePage_ = nullptr;
    PicturePanel* picture_ = nullptr;
    StatusBarPanel* statusBar_ = nullptr;
    QMenu* treePopup_ = nullptr;
    AboutDialog* aboutDlg_ = nullptr;
    PictureDisplay* display_ = nullptr;
    AcquisitionPresenter* acquisition_ = nullptr;
    FrameFileCommands* frameFiles_ = nullptr;
    FrameTools* frameTools_ = nullptr;
    SizeCommands* sizeCommands_ = nullptr;
    SettingsDialog* settingsDlg_ = nullptr;
    NodeEditDialog* nodeEditDlg_ = nullptr;
    MacroEditorDialog* macroEditDlg_ = nullptr;
    FindDialog* findDialog_ = nullptr;
    LinkEditCommands* linkEdit_ = nullptr;
    LinkFileCommands* linkFiles_ = nullptr;
    MovieCommands* movies_ = nullptr;
    WindowCommands* windowCommands_ = nullptr;
};

} // namespace kestrix::gui
