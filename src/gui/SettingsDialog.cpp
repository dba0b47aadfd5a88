#include "SettingsDialog.h"

#include "QtText.h"
#include "controls/IntegerSpin.h"
#include "controls/SpinInstances.h"
#include "links/LinkLibrary.h"

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
#include <cmath>

namespace kestrix::gui {

TSettingsDlg::TSettingsDlg(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), pages_(new QTabWidget(this)) {
    setObjectName("SettingsDlg");
    setWindowTitle("Settings");
    pages_->setObjectName("PageControl1");
    pages_->addTab(generalPage(), "General");
    pages_->addTab(moviesPage(), "Movies/Animations");
    pages_->addTab(filePage(), "File/Path");
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
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] { emit helpRequested(2); });
}

QWidget* TSettingsDlg::generalPage() {
    auto* page = new QWidget(this);
    TimeOutSpin = makeTimeOutSpin(page);
    auto* flaws = new QGroupBox("Flaw Removal", page);
    FlawSpin = makeFlawSpin(flaws);
    BlackFrameChk = new QCheckBox("Black Frames", flaws);
    BlackFrameChk->setObjectName("BlackFrameChk");
    auto* flawGrid = new QGridLayout(flaws);
    flawGrid->addWidget(new QLabel("Flaw Threshold", flaws), 0, 0);
    flawGrid->addWidget(FlawSpin, 0, 1);
    flawGrid->addWidget(BlackFrameChk, 1, 0, 1, 2);
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel("Image Wait Time Out", page), 0, 0);
    grid->addWidget(TimeOutSpin, 0, 1);
    grid->addWidget(flaws, 1, 0, 1, 2);
    grid->setRowStretch(2, 1);
    return page;
}

QWidget* TSettingsDlg::moviesPage() {
    auto* page = new QWidget(this);
    auto* avi = new QGroupBox("AVI Compression", page);
    QualityTrack = new QSlider(Qt::Horizontal, avi);
    QualityTrack->setObjectName("QualityTrack");
    QualityTrack->setRange(0, 10000);
    QualityTrack->setTickInterval(1000);
    QualityTrack->setTickPosition(QSlider::TicksAbove);
    QualityTrack->setMinimumWidth(220);
    auto* row = new QHBoxLayout(avi);
    row->addWidget(new QLabel("More Compression <-", avi));
    row->addWidget(QualityTrack, 1);
    row->addWidget(new QLabel("-> Better Quality", avi));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(avi);
    layout->addStretch(1);
    return page;
}

QWidget* TSettingsDlg::filePage() {
    auto* page = new QWidget(this);
    DefaultFileEdit = new QLineEdit(page);
    DefaultFileEdit->setObjectName("DefaultFileEdit");
    DefaultFileEdit->setMinimumWidth(260);
    auto* browse = new QPushButton("Browse", page);
    browse->setObjectName("BrowseEditBtn");
    browse->setAutoDefault(false);
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel("Default Link File/Path", page), 0, 0, 1, 2);
    grid->addWidget(DefaultFileEdit, 1, 0);
    grid->addWidget(browse, 1, 1);
    grid->setRowStretch(2, 1);
    connect(browse, &QPushButton::clicked, this, [this] {
        std::string path = fromQ(DefaultFileEdit->text());
        BrowseLinkFile("Select Default Link File", path);
        DefaultFileEdit->setText(toQ(path));
    });
    return page;
}

bool TSettingsDlg::ShowSettingsDialog(AppSettings& settings) {
    LoadSettingsDialog(settings);
    if (exec() != QDialog::Accepted)
        return false;
    StoreSettingsDialog(settings);
    return true;
}

void TSettingsDlg::LoadSettingsDialog(const AppSettings& s) {
    QualityTrack->setValue(s.Quality); // the bar brings the value to its nearer end
    TimeOutSpin->setValue(s.TimeOut);
    DefaultFileEdit->setText(toQ(s.DefaultFile));
    FlawSpin->setValue(std::llround(s.FlawThreshold * 100));
    BlackFrameChk->setChecked(s.BlackFrame);
}

void TSettingsDlg::StoreSettingsDialog(AppSettings& s) {
    s.Quality = QualityTrack->value();
    s.TimeOut = static_cast<int32_t>(TimeOutSpin->Value());
    s.DefaultFile = fromQ(DefaultFileEdit->text());
    s.FlawThreshold = static_cast<double>(FlawSpin->Value()) / 100.0;
    s.BlackFrame = BlackFrameChk->isChecked();
}

void TSettingsDlg::BrowseLinkFile(const std::string& title, std::string& path) {
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
