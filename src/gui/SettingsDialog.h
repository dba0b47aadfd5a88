// SettingsDialog: the time-out, the flaw threshold, black frames, the AVI and MP4 qualities, the
// default link file and the connection settings (https and its trust, conditional requests, the
// user agent). OK copies the edits into the settings in memory; nothing is written to the file
// here.
#pragma once

#include "core/settings/AppSettings.h"
#include "core/ui/Dialogs.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSlider;
class QTabWidget;

namespace kestrix::gui {

class IntegerSpin;

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    SettingsDialog(Dialogs& dialogs, QWidget* parent = nullptr);

    // Loads the controls, shows the dialog and stores the edits on OK; true for OK.
    bool showSettingsDialog(AppSettings& settings);
    void loadSettingsDialog(const AppSettings& settings);
    void storeSettingsDialog(AppSettings& settings);
    // Lets the user pick an existing link file; the path becomes it when one is chosen.
    void browseLinkFile(const std::string& title, std::string& path);

    QTabWidget* pages() const { return pages_; }

signals:
    void helpRequested(int topic);

private:
    QWidget* generalPage();
    QWidget* moviesPage();
    QWidget* filePage();
    QWidget* connectionPage();
    // Why the Connection page's values cannot be taken (pins that cannot be read, a user agent
    // with control characters); empty when they can.
    std::string connectionProblem() const;
    // OK with such values says why and keeps the dialog open.
    void acceptIfValid();

    Dialogs& dialogs_;
    QTabWidget* pages_;
    IntegerSpin* timeOutSpin;
    IntegerSpin* flawSpin;
    QCheckBox* blackFrameChk;
    QSlider* qualityTrack;
    QSlider* mp4QualityTrack;
    QLineEdit* defaultFileEdit;
    QCheckBox* allowHttpsChk;
    QLineEdit* certificateFileEdit;
    QLineEdit* pinsEdit;
    QCheckBox* conditionalChk;
    QLineEdit* userAgentEdit;
};

} // namespace kestrix::gui
