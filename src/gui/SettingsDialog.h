// TSettingsDlg: the time-out, the flaw threshold, black frames, the AVI quality and the default
// link file. OK copies the edits into the settings in memory; nothing is written to the file here.
#pragma once

#include "settings/AppSettings.h"
#include "ui/Dialogs.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSlider;
class QTabWidget;

namespace kestrix::gui {

class TIntegerSpin;

class TSettingsDlg : public QDialog {
    Q_OBJECT
public:
    TSettingsDlg(Dialogs& dialogs, QWidget* parent = nullptr);

    // Loads the controls, shows the dialog and stores the edits on OK; true for OK.
    bool ShowSettingsDialog(AppSettings& settings);
    void LoadSettingsDialog(const AppSettings& settings);
    void StoreSettingsDialog(AppSettings& settings);
    // Lets the user pick an existing link file; the path becomes it when one is chosen.
    void BrowseLinkFile(const std::string& title, std::string& path);

    QTabWidget* pages() const { return pages_; }

signals:
    void helpRequested(int topic);

private:
    QWidget* generalPage();
    QWidget* moviesPage();
    QWidget* filePage();

    Dialogs& dialogs_;
    QTabWidget* pages_;
    TIntegerSpin* TimeOutSpin;
    TIntegerSpin* FlawSpin;
    QCheckBox* BlackFrameChk;
    QSlider* QualityTrack;
    QLineEdit* DefaultFileEdit;
};

} // namespace kestrix::gui
