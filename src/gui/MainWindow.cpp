#include "gui/MainWindow.h"

#include "core/acquire/AddressHistory.h"
#include "core/links/StartLinks.h"
#include "core/macros/URLMacros.h"
#include "core/ui/MessageText.h"
#include "gui/AboutDialog.h"
#include "gui/HelpFiles.h"
#include "gui/Icons.h"
#include "gui/MainMenus.h"
#include "gui/PicturePanel.h"
#include "gui/QtDialogs.h"
#include "gui/QtText.h"
#include "gui/StartPicture.h"
#include "gui/WindowCommands.h"
#include "gui/acquire/AcquisitionBars.h"
#include "gui/acquire/AcquisitionPresenter.h"
#include "gui/frames/AnimationPage.h"
#include "gui/frames/FrameCounter.h"
#include "gui/frames/FrameFileCommands.h"
#include "gui/links/LinkEditCommands.h"
#include "gui/links/LinkFileCommands.h"
#include "gui/links/LinkPane.h"
#include "gui/movie/MovieCommands.h"
#include "gui/tools/FrameTools.h"
#include "gui/tools/ImageToolsPage.h"
#include "gui/tools/PictureDisplay.h"
#include "gui/tools/SizeCommands.h"
#include "gui/tools/SizePage.h"
#include "gui/widgets/PictureView.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace kestrix::gui {

namespace {

std::unique_ptr<QtDialogs> realDialogsUnless(const StartOptions& o, QWidget* parent) {
    return o.dialogs ? nullptr : std::make_unique<QtDialogs>(parent);
}

} // namespace

MainWindow::MainWindow(StartOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)),
      qtDialogs_(realDialogsUnless(options_, this)),
      dialogs_(options_.dialogs ? *options_.dialogs : *qtDialogs_), fs_(options_.formatSettings),
      clock_(options_.clock ? *options_.clock : systemClock_), ini_(settingsFilePath()),
      links_(std::make_unique<LinkLibrary>(dialogs_)), frameStore_(std::make_unique<FrameStore>()) {
    setObjectName("Form1");
    setWindowTitle("Kestrix");
    setWindowIcon(icons::application());
    // Hints show on hover whether or not the window has the focus, as a user pointing at a
    // control expects.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    buildLayout();
    createAcquisition();
    createTools();
    createDialogs();
    createFeatures();
    buildMenus();
    addMenuShortcuts();
    wireCommands();
    initialise();
    if (options_.startClock)
        acquisition_->clockTimer()->start();
}

// The usual keys of desktop programs, shown beside the menu captions.
void MainWindow::addMenuShortcuts() {
    const std::pair<const char*, QKeySequence> keys[] = {
        {"LoadLinksMnu", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"SaveLinksMnu", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"CopyMnu", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {"ExitMnu", QKeySequence(Qt::CTRL | Qt::Key_Q)},
    };
    for (const auto& [name, key] : keys)
        if (auto* action = findChild<QAction*>(name))
            action->setShortcut(key);
}

void MainWindow::createAcquisition() {
    display_ = new PictureDisplay(*imageTools_, *picture_->pictureView, *gauge_, *frameStore_,
                                  dialogs_, fs_, this);
    WindowHooks hooks;
    hooks.expandAddress = [this] { return expandAddressBar(); };
    hooks.showImageInfo = [this] { showImageInfo(); };
    hooks.pushAddressHistory = [this] { pushAddressHistory(); };
    hooks.confirm = [this](const std::string& text) {
        return dialogs_.askYesNo(text, MessageIcon::Information);
    };
    hooks.runCommand = [this](const std::function<void()>& command) { runCommand(command); };
    hooks.downloadShare = [this](int percent) {
        gauge_->setMaximum(100);
        gauge_->setValue(percent);
    };
    acquisition_ = new AcquisitionPresenter(
        {*toolBar_, *addressBar_, *statusBar_, *animation_, *picture_}, *display_, std::move(hooks),
        *frameStore_, clock_, fs_, settings_, currentLink_, this);
}

void MainWindow::createTools() {
    const CommandRunner run = [this](const Command& command) { runCommand(command); };
    frameTools_ = new FrameTools(
        *frameStore_, *acquisition_, *display_, *gauge_, dialogs_, settings_,
        [this](const QString& c) { setCaption(c); }, this);
    frameTools_->bindButtons(*animation_, *imageTools_, run);
    sizeCommands_ = new SizeCommands(*sizePage_, *picture_, *display_, *frameStore_, *acquisition_,
                                     *gauge_, dialogs_, run, this);
}

Bitmap& MainWindow::shownOriginal() {
    return display_->shownOriginal();
}

MainWindow::~MainWindow() {
    // The presenters and panels look at the core objects this window owns: they go first.
    links_->onModifiedChanged = nullptr;
    delete windowCommands_;
    delete linkEdit_;
    delete linkFiles_;
    delete movies_;
    delete sizeCommands_;
    delete frameTools_;
    delete frameFiles_;
    delete acquisition_;
    delete display_;
    delete takeCentralWidget();
}

void MainWindow::buildLayout() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    toolBar_ = new ToolBarPanel(central);
    addressBar_ = new AddressBarPanel(central);
    splitter_ = new QSplitter(Qt::Horizontal, central);
    splitter_->setObjectName("Splitter1");

    auto* leftPanel = new QWidget(splitter_);
    leftPanel->setObjectName("Panel1");
    auto* left = new QVBoxLayout(leftPanel);
    left->setContentsMargins(0, 0, 0, 0);
    pageControl_ = new QTabWidget(leftPanel);
    pageControl_->setObjectName("PageControl1");
    linkPane_ = new LinkPane(*links_, pageControl_);
    animation_ = new AnimationPage(pageControl_);
    imageTools_ = new ImageToolsPage(pageControl_);
    sizePage_ = new SizePage(pageControl_);
    pageControl_->addTab(linkPane_, "Image Links");
    pageControl_->addTab(animation_, "Animation");
    pageControl_->addTab(imageTools_, "Image Tools");
    pageControl_->addTab(sizePage_, "Size");
    gauge_ = new QProgressBar(leftPanel);
    gauge_->setObjectName("Gauge1");
    gauge_->setRange(0, 100);
    gauge_->setValue(0);
    gauge_->setTextVisible(false);
    left->addWidget(pageControl_, 1);
    left->addWidget(gauge_);

    picture_ = new PicturePanel(splitter_);
    splitter_->addWidget(leftPanel);
    splitter_->addWidget(picture_);
    splitter_->setStretchFactor(1, 1);
    leftPanel->setMinimumWidth(340);
    splitter_->setSizes({360, 760});

    statusBar_ = new StatusBarPanel(central);
    layout->addWidget(toolBar_);
    layout->addWidget(addressBar_);
    layout->addWidget(splitter_, 1);
    layout->addWidget(statusBar_);
    setCentralWidget(central);
    resize(1120, 740);
}

void MainWindow::initialise() {
    firstActivate_ = true;
    animation_->frameCounter->setMaxFrames(0);
    links_->tree().addRootNode("Images Links");
    links_->tree().setAllExpanded(true);
    picture_->pictureView->setPicture(startPicture());
    ini_.load();
    settings_ = readSettings(ini_, fs_);
    settings_.httpsOffMessage = "Secure (https) addresses are off: tick Allow secure (https) "
                                "addresses on the Connection page of the settings";
    readWindowPlace();
    readFrameFolder();
    try {
        loadStartLinks(*links_, settings_, fromQ(options_.programDir));
    } catch (const std::exception& e) {
        showError(e);
        return;
    }
    pageControl_->setCurrentIndex(0);
    readAddressHistory();
    useSelectedLink();
    display_->shownOriginal() = picture_->pictureView->picture();
    showImageInfo();
    helpFile_ = QDir(options_.programDir).filePath("KSX.CHM");
    manualFile_ = findManual(options_.programDir);
}

void MainWindow::wireCommands() {
    connect(animation_->frameCounter, &FrameCounter::onMaxChange, this,
            &MainWindow::updateMainCaption);
    connect(animation_->saveEachChk, &QCheckBox::clicked, this,
            [this] { runCommand([this] { useFrameFolder(false); }); });
    connect(animation_->frameFolderBtn, &QPushButton::clicked, this,
            [this] { runCommand([this] { useFrameFolder(true); }); });
    connect(addressBar_, &AddressBarPanel::edited, this, [this](const QString& text) {
        currentLink_.url = fromQ(text);
        picture_->currentLinkDis->clear();
    });
    links_->onModifiedChanged = [this] { linkPane_->showModified(); };
    connect(linkPane_, &LinkPane::nodeDoubleClicked, this,
            [this] { runCommand([this] { selectAndLoad(); }); });
    connect(linkPane_, &LinkPane::renamed, this, [this] { links_->setLinksModified(true); });
    connect(linkPane_, &LinkPane::popupRequested, this,
            [this](const QPoint& at) { treePopup_->popup(at); });
}

void MainWindow::runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        showError(e);
    }
}

void MainWindow::showError(const std::exception& e) {
    dialogs_.showMessage(withFullStop(e.what()), MessageIcon::Error);
}

void MainWindow::updateMainCaption() {
    picture_->currentLinkDis->setText(toQ(currentLinkLabel(currentLink_)));
    setCaption(toQ(mainCaption(currentLink_, animation_->frameCounter->maxFrames())));
}

void MainWindow::setCaption(const QString& caption) {
    // No application display name is ever set: the platform would add it to every window's
    // title, after the caption that already names the program.
    setWindowTitle(caption);
    if (qtDialogs_)
        qtDialogs_->setTitle(caption);
}

bool MainWindow::useSelectedLink() {
    if (!takeSelectedLink(links_->tree(), currentLink_))
        return false;
    addressBar_->setText(currentLink_.url);
    updateMainCaption();
    return true;
}

void MainWindow::selectAndLoad() {
    if (useSelectedLink())
        acquisition_->cycle().loadImage();
}

void MainWindow::showImageInfo() {
    const Bitmap& shown = picture_->pictureView->picture();
    picture_->bmSizeDis->setText(QString("%1x%2").arg(shown.width()).arg(shown.height()));
    pushAddressHistory();
    sizeCommands_->resetSizeFields();
}

void MainWindow::pushAddressHistory() {
    std::vector<std::string> list = addressBar_->history();
    std::string text = addressBar_->text();
    kestrix::pushAddressHistory(list, text);
    addressBar_->setHistory(list);
    addressBar_->setText(text);
}

void MainWindow::readAddressHistory() {
    addressBar_->setText("");
    addressBar_->setHistory(kestrix::readAddressHistory(ini_));
}

void MainWindow::writeAddressHistory() {
    kestrix::writeAddressHistory(ini_, addressBar_->history());
}

void MainWindow::writeSelectedIndex() {
    kestrix::writeSelectedIndex(ini_, links_->tree().absoluteIndex(links_->tree().selected()));
}

// Where the window was, how large, where the splitter stood and whether pictures keep their
// proportions, as the user left them: section [Window] of the settings file. A place off every
// screen, or too small to use, is not taken.
void MainWindow::readWindowPlace() {
    const int width = ini_.readInteger("Window", "Width", 0);
    const int height = ini_.readInteger("Window", "Height", 0);
    const QRect place(ini_.readInteger("Window", "Left", 0), ini_.readInteger("Window", "Top", 0),
                      width, height);
    const QScreen* shown = QGuiApplication::screenAt(place.center());
    if (width >= 400 && height >= 300 && shown != nullptr)
        setGeometry(place.intersected(shown->availableVirtualGeometry()));
    const int left = ini_.readInteger("Window", "LinksWidth", 0);
    if (left > 0)
        splitter_->setSizes({left, std::max(1, QWidget::width() - left)});
    picture_->keepProportionsChk->setChecked(ini_.readBool("Window", "KeepProportions", false));
    if (ini_.readBool("Window", "Maximized", false))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::writeWindowPlace() {
    ini_.load();
    const QRect place = normalGeometry();
    ini_.writeInteger("Window", "Left", place.left());
    ini_.writeInteger("Window", "Top", place.top());
    ini_.writeInteger("Window", "Width", place.width());
    ini_.writeInteger("Window", "Height", place.height());
    ini_.writeBool("Window", "Maximized", isMaximized());
    ini_.writeInteger("Window", "LinksWidth", splitter_->sizes().value(0));
    ini_.writeBool("Window", "KeepProportions", picture_->keepProportionsChk->isChecked());
    ini_.save();
}

// "Save each new frame to folder": section [Animation] of the settings file, written at once so
// that the choice outlives a crash as the frames do.
void MainWindow::readFrameFolder() {
    animation_->frameFolderDis->setText(toQ(ini_.readString("Animation", "FrameFolder", "")));
    animation_->saveEachChk->setChecked(ini_.readBool("Animation", "SaveEachFrame", false) &&
                                        !animation_->frameFolderDis->text().isEmpty());
    acquisition_->setFrameFolder(animation_->saveEachChk->isChecked()
                                     ? fromQ(animation_->frameFolderDis->text())
                                     : std::string());
}

void MainWindow::useFrameFolder(bool choose) {
    QString folder = animation_->frameFolderDis->text();
    if (choose || (animation_->saveEachChk->isChecked() && folder.isEmpty())) {
        FileDialogOptions o;
        o.title = "Save each new frame to folder";
        o.initialDir = folder.isEmpty() ? QDir::homePath().toStdString() : fromQ(folder);
        if (const std::optional<std::string> chosen = dialogs_.chooseFolder(o))
            folder = toQ(*chosen);
    }
    animation_->frameFolderDis->setText(folder);
    if (folder.isEmpty())
        animation_->saveEachChk->setChecked(false);
    const bool on = animation_->saveEachChk->isChecked();
    acquisition_->setFrameFolder(on ? fromQ(folder) : std::string());
    ini_.load();
    ini_.writeString("Animation", "FrameFolder", fromQ(folder));
    ini_.writeBool("Animation", "SaveEachFrame", on);
    ini_.save();
}

std::string MainWindow::expandAddressBar() const {
    return expandUrlMacros(addressBar_->text(), clock_, fs_);
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        openStartFile();
    return QMainWindow::event(event);
}

void MainWindow::openStartFile() {
    if (firstActivate_ && !options_.arguments.isEmpty() &&
        QFileInfo(options_.arguments.first()).isFile())
        openFileByExtension(options_.arguments.first());
    firstActivate_ = false;
}

void MainWindow::openFileByExtension(const QString& path) {
    const QFileInfo info(path);
    QDir::setCurrent(info.absolutePath());
    const QString extension = "." + info.suffix().toLower();
    const std::string file = fromQ(info.absoluteFilePath());
    if (extension == ".klnx")
        runCommand([this, &file] { links_->loadLinkFile(file); });
    else if (extension == ".ifrm")
        runCommand([this, &file] { frameFiles_->loadFramesFile(file); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    acquisition_->httpClient().cancel();
    // A settings file that cannot be written is reported but never keeps the program open.
    runCommand([this] { writeSelectedIndex(); });
    runCommand([this] { writeAddressHistory(); });
    runCommand([this] { writeWindowPlace(); });
    bool goOn = false;
    runCommand([this, &goOn] { goOn = links_->askSaveLinks(); });
    // Captured or edited frames are never lost without a word.
    if (goOn) {
        goOn = false;
        runCommand([this, &goOn] { goOn = frameFiles_->askSaveFrames(); });
    }
    if (goOn)
        event->accept();
    else
        event->ignore();
}

} // namespace kestrix::gui
