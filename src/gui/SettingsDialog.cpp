#include "gui/SettingsDialog.h"

#include "core/links/LinkLibrary.h"
#include "gui/QtText.h"
#include "gui/controls/IntegerSpin.h"
#include "gui/controls/SpinInstances.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace kestrix::gui {

namespace {

// A group with a quality track bar 0..10000 between its two labels.
QSlider* addQualityGroup(QWidget* page, const QString& caption, const QString& name) {
    auto* group = new QGroupBox(caption, page);
    auto* track = new QSlider(Qt::Horizontal, group);
    track->setObjectName(name);
    track->setRange(0, 10000);
    track->setTickInterval(1000);
    track->setTickPosition(QSlider::TicksAbove);
    track->setMinimumWidth(220);
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel("More Compression <-", group));
    row->addWidget(track, 1);
    row->addWidget(new QLabel("-> Better Quality", group));
    page->layout()->addWidget(group);
    return track;
}

} // namespace

SettingsDialog::SettingsDialog(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), pages_(new QTabWidget(this)) {
    setObjectName("SettingsDlg");
    setWindowTitle("Settings");
    pages_->setObjectName("PageControl1");
    pages_->addTab(generalPage(), "General");
    pages_->addTab(moviesPage(), "Movies/Animations");
    pages_->addTab(filePage(), "File/Path");
    pages_->addTab(connectionPage(), "Connection");
    pages_->setCurrentIndex(2); // the first opening shows "File/Path"

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKBtn");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("CancelBtn");
    auto* help = new QPushButton("&Help", this);
    help->setObjectName("HelpBtn");
    help->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(help);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(ok, &QPushButton::clicked, this, &SettingsDialog::acceptIfValid);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] { emit helpRequested(2); });
}

QWidget* SettingsDialog::generalPage() {
    auto* page = new QWidget(this);
    timeOutSpin = makeTimeOutSpin(page);
    auto* flaws = new QGroupBox("Flaw Removal", page);
    flawSpin = makeFlawSpin(flaws);
    blackFrameChk = new QCheckBox("Black Frames", flaws);
    blackFrameChk->setObjectName("BlackFrameChk");
    auto* flawGrid = new QGridLayout(flaws);
    flawGrid->addWidget(new QLabel("Flaw Threshold", flaws), 0, 0);
    flawGrid->addWidget(flawSpin, 0, 1);
    flawGrid->addWidget(blackFrameChk, 1, 0, 1, 2);
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel("Image Wait Time Out", page), 0, 0);
    grid->addWidget(timeOutSpin, 0, 1);
    grid->addWidget(flaws, 1, 0, 1, 2);
    grid->setRowStretch(2, 1);
    return page;
}

QWidget* SettingsDialog::moviesPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    qualityTrack = addQualityGroup(page, "AVI Compression", "QualityTrack");
    mp4QualityTrack = addQualityGroup(page, "MP4 Compression (H.264)", "Mp4QualityTrack");
    layout->addStretch(1);
    return page;
}

QWidget* SettingsDialog::filePage() {
    auto* page = new QWidget(this);
    defaultFileEdit = new QLineEdit(page);
    defaultFileEdit->setObjectName("DefaultFileEdit");
    defaultFileEdit->setMinimumWidth(260);
    auto* browse = new QPushButton("Browse", page);
    browse->setObjectName("BrowseEditBtn");
    browse->setAutoDefault(false);
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel("Default Link File/Path", page), 0, 0, 1, 2);
    grid->addWidget(defaultFileEdit, 1, 0);
    grid->addWidget(browse, 1, 1);
    grid->setRowStretch(2, 1);
    connect(browse, &QPushButton::clicked, this, [this] {
        std::string path = fromQ(defaultFileEdit->text());
        browseLinkFile("Select Default Link File", path);
        defaultFileEdit->setText(toQ(path));
    });
    return page;
}

QWidget* SettingsDialog::connectionPage() {
    auto* page = new QWidget(this);
    allowHttpsChk = new QCheckBox("Allow secure (https) addresses", page);
    allowHttpsChk->setObjectName("AllowHttpsChk");
    certificateFileEdit = new QLineEdit(page);
    certificateFileEdit->setObjectName("CertificateFileEdit");
    certificateFileEdit->setPlaceholderText("PEM file, added to the system's trusted certificates");
    auto* browse = new QPushButton("Browse", page);
    browse->setObjectName("BrowseCertificateBtn");
    browse->setAutoDefault(false);
    pinsEdit = new QLineEdit(page);
    pinsEdit->setObjectName("PinsEdit");
    pinsEdit->setPlaceholderText("SHA-256 fingerprints, separated by blanks");
    conditionalChk = new QCheckBox("Ask only for changes", page);
    conditionalChk->setObjectName("ConditionalChk");
    userAgentEdit = new QLineEdit(page);
    userAgentEdit->setObjectName("UserAgentEdit");
    userAgentEdit->setPlaceholderText("empty: the program's own");
    auto* grid = new QGridLayout(page);
    grid->addWidget(allowHttpsChk, 0, 0, 1, 2);
    grid->addWidget(new QLabel("Trusted certificates file", page), 1, 0, 1, 2);
    grid->addWidget(certificateFileEdit, 2, 0);
    grid->addWidget(browse, 2, 1);
    grid->addWidget(new QLabel("Pinned certificates", page), 3, 0, 1, 2);
    grid->addWidget(pinsEdit, 4, 0, 1, 2);
    grid->addWidget(conditionalChk, 5, 0, 1, 2);
    grid->addWidget(new QLabel("User agent", page), 6, 0, 1, 2);
    grid->addWidget(userAgentEdit, 7, 0, 1, 2);
    grid->setRowStretch(8, 1);
    connect(browse, &QPushButton::clicked, this, [this] {
        FileDialogOptions o;
        o.title = "Select Trusted Certificates";
        o.filter = "Certificates (PEM)|*.pem;*.crt|All Files|*.*";
        o.initialDir = fromQ(QFileInfo(certificateFileEdit->text()).absolutePath());
        if (auto chosen = dialogs_.openFile(o))
            certificateFileEdit->setText(toQ(*chosen));
    });
    return page;
}

std::string SettingsDialog::connectionProblem() const {
    try {
        parseFingerprints(fromQ(pinsEdit->text()));
    } catch (const std::exception& e) {
        return std::string(e.what()) + ".";
    }
    // A line break would end the request's User-Agent line and start a header of the text's own.
    const QString agent = userAgentEdit->text();
    if (std::any_of(agent.begin(), agent.end(),
                    [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; }))
        return "The User-Agent must not contain line breaks, tabs or other control characters.";
    return {};
}

void SettingsDialog::acceptIfValid() {
    if (const std::string problem = connectionProblem(); !problem.empty()) {
        pages_->setCurrentIndex(3);
        dialogs_.showMessage(problem, MessageIcon::Error);
        return;
    }
    accept();
}

bool SettingsDialog::showSettingsDialog(AppSettings& settings) {
    loadSettingsDialog(settings);
    if (exec() != QDialog::Accepted)
        return false;
    storeSettingsDialog(settings);
    return true;
}

void SettingsDialog::loadSettingsDialog(const AppSettings& s) {
    qualityTrack->setValue(s.quality); // the bar brings the value to its nearer end
    mp4QualityTrack->setValue(s.mp4Quality);
    timeOutSpin->setValue(s.timeOut);
    defaultFileEdit->setText(toQ(s.defaultFile));
    flawSpin->setValue(std::llround(s.flawThreshold * 100));
    blackFrameChk->setChecked(s.blackFrame);
    allowHttpsChk->setChecked(s.allowHttps);
    certificateFileEdit->setText(toQ(s.certificateFile));
    pinsEdit->setText(toQ(s.pins));
    conditionalChk->setChecked(s.conditional);
    userAgentEdit->setText(toQ(s.userAgent));
}

void SettingsDialog::storeSettingsDialog(AppSettings& s) {
    s.quality = qualityTrack->value();
    s.mp4Quality = mp4QualityTrack->value();
    s.timeOut = static_cast<int32_t>(timeOutSpin->value());
    s.defaultFile = fromQ(defaultFileEdit->text());
    s.flawThreshold = static_cast<double>(flawSpin->value()) / 100.0;
    s.blackFrame = blackFrameChk->isChecked();
    s.allowHttps = allowHttpsChk->isChecked();
    s.certificateFile = fromQ(certificateFileEdit->text());
    s.pins = fromQ(pinsEdit->text());
    s.conditional = conditionalChk->isChecked();
    s.userAgent = fromQ(userAgentEdit->text());
}

void SettingsDialog::browseLinkFile(const std::string& title, std::string& path) {
    const QFileInfo current(toQ(path));
    FileDialogOptions o;
    o.title = title;
    o.filter = kLinkFileFilter;
    o.initialDir = fromQ(current.absolutePath());
    o.fileName = fromQ(current.fileName());
    if (auto chosen = dialogs_.openFile(o))
        path = fromQ(QFileInfo(toQ(*chosen)).absoluteFilePath());
}

} // namespace kestrix::gui
