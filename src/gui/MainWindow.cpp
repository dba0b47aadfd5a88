#include "MainWindow.h"

#include "AboutDialog.h"
#include "Icons.h"
#include "MainMenus.h"
#include "PicturePanel.h"
#include "QtDialogs.h"
#include "QtText.h"
#include "StartPicture.h"
#include "acquire/AcquisitionBars.h"
#include "acquire/AddressHistory.h"
#include "frames/AnimationPage.h"
#include "frames/FrameFileCommands.h"
#include "frames/FrameCounter.h"
#include "links/LinkPane.h"
#include "links/StartLinks.h"
#include "macros/URLMacros.h"
#include "WindowCommands.h"
#include "acquire/AcquisitionPresenter.h"
#include "links/LinkEditCommands.h"
#include "tools/ImageToolsPage.h"
#include "tools/FrameTools.h"
#include "tools/PictureDisplay.h"
#include "tools/SizeCommands.h"
#include "tools/SizePage.h"
#include "ui/MessageText.h"
#include "widgets/PictureView.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
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

TForm1::TForm1(StartOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)),
      qtDialogs_(realDialogsUnless(options_, this)),
      dialogs_(options_.dialogs ? *options_.dialogs : *qtDialogs_), fs_(options_.formatSettings),
      clock_(options_.clock ? *options_.clock : systemClock_),
      ini_(settingsFilePath()), links_(std::make_unique<LinkLibrary>(dialogs_)),
      FrameStore(std::make_unique<TBitmapListEx>()) {
    setObjectName("Form1");
    setWindowTitle("Kestrix");
    setWindowIcon(icons::application());
    buildLayout();
    createAcquisition();
    createTools();
    wireCommands();
    FormCreate();
    createDialogs();
    if (options_.startClock)
        acquisition_->Timer1()->start();
}

void TForm1::createAcquisition() {
    display_ = new PictureDisplay(*imageTools_, *picture_->Image1, *gauge_, *FrameStore, dialogs_,
                                  fs_, this);
    WindowHooks hooks;
    hooks.expandAddress = [this] { return ExpandAddressBar(); };
    hooks.showImageInfo = [this] { ShowImageInfo(); };
    hooks.pushAddressHistory = [this] { PushAddressHistory(); };
    hooks.confirm = [this](const std::string& text) {
        return dialogs_.askYesNo(text, MessageIcon::Information);
    };
    hooks.runCommand = [this](const std::function<void()>& command) { runCommand(command); };
    acquisition_ = new AcquisitionPresenter({*toolBar_, *addressBar_, *statusBar_, *animation_,
                                             *picture_},
                                            *display_, std::move(hooks), *FrameStore, clock_, fs_,
                                            settings_, CurrentLink, this);
    frameFiles_ = new FrameFileCommands(*FrameStore, *acquisition_, *gauge_, dialogs_, this);
}

void TForm1::createTools() {
    frameTools_ = new FrameTools(*FrameStore, *acquisition_, *display_, *gauge_, dialogs_,
                                 settings_, [this](const QString& c) { setCaption(c); }, this);
    sizeCommands_ = new SizeCommands(*sizePage_, *picture_, *display_, *FrameStore, *acquisition_,
                                     *gauge_, dialogs_, this);
    const std::pair<QAbstractButton*, std::function<void()>> buttons[] = {
        {animation_->FlawsBtn, [this] { frameTools_->RemoveFlaws(); }},
        {animation_->DupBtn, [this] { frameTools_->RemoveDuplicates(); }},
        {animation_->DiffBtn, [this] { frameTools_->DiffBtnClick(); }},
        {imageTools_->AverageBtn, [this] { frameTools_->AverageAllFrames(); }},
        {sizePage_->ResizeBtn, [this] { sizeCommands_->ResizeShown(); }},
        {sizePage_->ResizeAllBtn, [this] { sizeCommands_->ResizeAllFrames(); }},
    };
    for (const auto& [button, command] : buttons)
        connect(button, &QAbstractButton::clicked, this, [this, command] { runCommand(command); });
}

Bitmap& TForm1::shownOriginal() { return display_->ShownOriginal(); }

TForm1::~TForm1() {
    // The presenters and panels look at the core objects this window owns: they go first.
    links_->onModifiedChanged = nullptr;
    delete linkEdit_;
    delete sizeCommands_;
    delete frameTools_;
    delete frameFiles_;
    delete acquisition_;
    delete display_;
    delete takeCentralWidget();
}

void TForm1::buildLayout() {
    buildMainMenu(this);
    treePopup_ = buildTreePopup(this);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    toolBar_ = new ToolBarPanel(central);
    addressBar_ = new AddressBarPanel(central);
    splitter_ = new QSplitter(Qt::Horizontal, central);
    splitter_->setObjectName("Splitter1");

    auto* panel1 = new QWidget(splitter_);
    panel1->setObjectName("Panel1");
    auto* left = new QVBoxLayout(panel1);
    left->setContentsMargins(0, 0, 0, 0);
    pageControl_ = new QTabWidget(panel1);
    pageControl_->setObjectName("PageControl1");
    linkPane_ = new LinkPane(*links_, pageControl_);
    animation_ = new AnimationPage(pageControl_);
    imageTools_ = new ImageToolsPage(pageControl_);
    sizePage_ = new SizePage(pageControl_);
    pageControl_->addTab(linkPane_, "Image Links");
    pageControl_->addTab(animation_, "Animation");
    pageControl_->addTab(imageTools_, "Image Tools");
    pageControl_->addTab(sizePage_, "Size");
    gauge_ = new QProgressBar(panel1);
    gauge_->setObjectName("Gauge1");
    gauge_->setRange(0, 100);
    gauge_->setValue(0);
    gauge_->setTextVisible(false);
    left->addWidget(pageControl_, 1);
    left->addWidget(gauge_);

    picture_ = new PicturePanel(splitter_);
    splitter_->addWidget(panel1);
    splitter_->addWidget(picture_);
    splitter_->setStretchFactor(1, 1);
    panel1->setMinimumWidth(340);
    splitter_->setSizes({360, 760});

    statusBar_ = new StatusBarPanel(central);
    layout->addWidget(toolBar_);
    layout->addWidget(addressBar_);
    layout->addWidget(splitter_, 1);
    layout->addWidget(statusBar_);
    setCentralWidget(central);
    resize(1120, 740);
}

void TForm1::FormCreate() {
    FirstActivate = true;
    animation_->FrameCounter->setMaxFrames(0);
    links_->tree().AddRootNode("Images Links");
    links_->tree().setAllExpanded(true);
    picture_->Image1->setPicture(startPicture());
    ini_.load();
    settings_ = ReadSettings(ini_, fs_);
    try {
        LoadStartLinks(*links_, settings_, fromQ(options_.programDir));
    } catch (const std::exception& e) {
        showError(e);
        return;
    }
    pageControl_->setCurrentIndex(0);
    ReadAddressHistory();
    UseSelectedLink();
    display_->ShownOriginal() = picture_->Image1->picture();
    ShowImageInfo();
    helpFile_ = QDir(options_.programDir).filePath("KSX.CHM");
}

void TForm1::wireCommands() {
    wireLinkCommands();
    wireEditing();
    wireWindowCommands();
    connect(animation_->FrameCounter, &TFrameCounter::OnMaxChange, this,
            &TForm1::UpdateMainCaption);
    connect(addressBar_, &AddressBarPanel::edited, this, [this](const QString& text) {
        CurrentLink.URL = fromQ(text);
        picture_->CurrentLinkDis->clear();
    });
    connect(action("ExitMnu"), &QAction::triggered, this, &QWidget::close);
    connect(action("AddressBarMnu"), &QAction::toggled, addressBar_, &QWidget::setVisible);
    connect(action("SaveSettingsMnu"), &QAction::triggered, this, [this] {
        runCommand([this] {
            WriteSettings(ini_, settings_, links_->tree().absoluteIndex(links_->tree().selected()),
                          fs_);
        });
    });
}

void TForm1::wireLinkCommands() {
    LinkLibrary& lib = *links_;
    const std::pair<const char*, std::function<void()>> fileCommands[] = {
        {"LoadLinksMnu", [&lib] { lib.loadLinksCommand(); }},
        {"InsertLinksMnu", [&lib] { lib.insertLinksCommand(); }},
        {"SaveLinksMnu", [&lib] { lib.saveLinksCommand(); }},
        {"SaveLinkAsMnu", [&lib] { lib.saveLinksAsCommand(); }},
        {"SaveSelectedBranchMnu", [&lib] { lib.saveSelectedBranchCommand(); }},
        {"ExpandAllMnu", [&lib] { lib.tree().setAllExpanded(true); }},
        {"ContractAllMnu", [&lib] { lib.tree().setAllExpanded(false); }},
        {"Select1", [this] { SelectAndLoad(); }},
        {"SaveFrames1", [this] { frameFiles_->SaveFramesCommand(); }},
        {"LoadFrames1", [this] { frameFiles_->LoadFramesCommand(); }},
        {"SaveAnimatedGIFMnu", [this] { frameFiles_->SaveAnimatedGIFCommand(); }},
        {"SaveAviMnu", [this] { frameFiles_->SaveAVICommand(settings_.Quality); }},
        {"LoadAnimatedGIF1", [this] { frameFiles_->LoadAnimatedGIFCommand(); }},
    };
    for (const auto& [name, command] : fileCommands)
        connect(action(name), &QAction::triggered, this, [this, command] { runCommand(command); });
    lib.onModifiedChanged = [this] { linkPane_->showModified(); };
    connect(linkPane_, &LinkPane::nodeDoubleClicked, this,
            [this] { runCommand([this] { SelectAndLoad(); }); });
    connect(linkPane_, &LinkPane::selectionChanged, this, &TForm1::updateMenuEnabling);
    connect(linkPane_, &LinkPane::renamed, this, [this] { links_->SetLinksModified(true); });
    connect(linkPane_, &LinkPane::popupRequested, this,
            [this](const QPoint& at) { treePopup_->popup(at); });
}

QAction* TForm1::action(const char* name) const { return findChild<QAction*>(name); }

void TForm1::updateMenuEnabling() {
    const LinkNode* node = links_->tree().selected();
    if (!node)
        return;
    const NodeCommands c = enabledCommands(node->kind());
    for (const char* name : {"PopAddFolderMnu", "PopAddLinkMnu", "AddFolderMnu", "AddLinkMnu"})
        action(name)->setEnabled(c.add);
    for (const char* name : {"PopDeleteNodeMnu", "PopEditNodeMnu", "DeleteNodeMnu", "EditNodeMnu"})
        action(name)->setEnabled(c.deleteOrEdit);
    for (const char* name : {"PopEditMacrosMnu", "EditMacrosMnu"})
        action(name)->setEnabled(c.editMacros);
}

void TForm1::runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& e) {
        showError(e);
    }
}

void TForm1::showError(const std::exception& e) {
    dialogs_.showMessage(withFullStop(e.what()), MessageIcon::Error);
}

void TForm1::UpdateMainCaption() {
    picture_->CurrentLinkDis->setText(toQ(currentLinkLabel(CurrentLink)));
    setCaption(toQ(mainCaption(CurrentLink, animation_->FrameCounter->MaxFrames())));
}

void TForm1::setCaption(const QString& caption) {
    setWindowTitle(caption);
    QApplication::setApplicationDisplayName(caption);
    if (qtDialogs_)
        qtDialogs_->setTitle(caption);
}

bool TForm1::UseSelectedLink() {
    if (!takeSelectedLink(links_->tree(), CurrentLink))
        return false;
    addressBar_->setText(CurrentLink.URL);
    UpdateMainCaption();
    return true;
}

void TForm1::SelectAndLoad() {
    if (UseSelectedLink())
        acquisition_->cycle().LoadImage();
}

void TForm1::ShowImageInfo() {
    const Bitmap& shown = picture_->Image1->picture();
    picture_->BMSizeDis->setText(QString("%1x%2").arg(shown.width()).arg(shown.height()));
    PushAddressHistory();
    sizeCommands_->ResetSizeFields();
}

void TForm1::PushAddressHistory() {
    std::vector<std::string> list = addressBar_->history();
    std::string text = addressBar_->text();
    pushAddressHistory(list, text);
    addressBar_->setHistory(list);
    addressBar_->setText(text);
}

void TForm1::ReadAddressHistory() {
    addressBar_->setText("");
    addressBar_->setHistory(kestrix::ReadAddressHistory(ini_));
}

void TForm1::WriteAddressHistory() { kestrix::WriteAddressHistory(ini_, addressBar_->history()); }

void TForm1::WriteSelectedIndex() {
    kestrix::WriteSelectedIndex(ini_, links_->tree().absoluteIndex(links_->tree().selected()));
}

std::string TForm1::ExpandAddressBar() const {
    return ExpandURLMacros(addressBar_->text(), clock_, fs_);
}

bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(event);
}

void TForm1::FormActivate() {
    if (FirstActivate && !options_.arguments.isEmpty() &&
        QFileInfo(options_.arguments.first()).isFile())
        OpenFileByExtension(options_.arguments.first());
    FirstActivate = false;
}

void TForm1::OpenFileByExtension(const QString& path) {
    const QFileInfo info(path);
    QDir::setCurrent(info.absolutePath());
    const QString extension = "." + info.suffix().toLower();
    const std::string file = fromQ(info.absoluteFilePath());
    if (extension == ".klnx")
        runCommand([this, &file] { links_->LoadLinkFile(file); });
    else if (extension == ".ifrm")
        runCommand([this, &file] { frameFiles_->LoadFramesFile(file); });
}

void TForm1::closeEvent(QCloseEvent* event) {
    acquisition_->HttpClient1().Cancel();
    // A settings file that cannot be written is reported but never keeps the program open.
    runCommand([this] { WriteSelectedIndex(); });
    runCommand([this] { WriteAddressHistory(); });
    bool goOn = false;
    runCommand([this, &goOn] { goOn = links_->AskSaveLinks(); });
    if (goOn)
        event->accept();
    else
        event->ignore();
}

} // namespace kestrix::gui
