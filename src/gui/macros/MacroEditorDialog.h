// MacroEditorDialog: the macro editor. The user edits a web address, composes date and counter
// macros on two pages and inserts them at the cursor, steps through the macros already in the
// address, and sees what the address expands to now. One instance lives for the whole run, so
// every field keeps its value from one opening to the next.
#pragma once

#include "core/ui/Dialogs.h"
#include "core/util/Clock.h"
#include "core/util/FormatSettings.h"

#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableWidget;

namespace kestrix {
struct MacroElement;
}

namespace kestrix::gui {

class RadioGroup;
class DegreeSpin;
class IntegerSpin;
class RealSpin;

class MacroEditorDialog : public QDialog {
    Q_OBJECT
public:
    // The dialogs show conversion errors; the clock and the locale serve Expand. All three must
    // outlive the dialog.
    MacroEditorDialog(Dialogs& dialogs, const Clock& clock, const FormatSettings& fs,
                      QWidget* parent = nullptr);

    // Shows `address` with the cursor at its start and runs the dialog modally. OK stores the
    // edited text in `address` and returns true; Cancel returns false and leaves it alone.
    bool editUrlMacros(std::string& address);

    // Replaces the edit's selection (or inserts at the cursor) with `text`, which is left selected.
    static void insertIntoEdit(QLineEdit* edit, const QString& text);

signals:
    // The Help button; the topic is the help file's context number.
    void helpRequested(int topic);

private:
    QWidget* buildTopPanel();
    QWidget* buildDateSheet();
    QWidget* buildCounterSheet();
    QWidget* buildBottomPanel();
    void wire();
    void centreOnScreen();

    void expandBtnClick();
    void insertDateBtnClick();
    void insertCounterBtnClick();
    void formatListDblClick();
    void findNextBtnClick();
    // Loads a found date or counter macro into its page; other tags load nothing.
    void loadMacro(const MacroElement& element);

    Dialogs& dialogs_;
    const Clock& clock_;
    const FormatSettings& fs_;

    QLineEdit* urlEdit = nullptr;
    QLineEdit* expandedEdit = nullptr;
    QPushButton* expandBtn = nullptr;
    RadioGroup* macroRadio = nullptr;
    QPushButton* findNextBtn = nullptr;
    QStackedWidget* macroPageControl = nullptr;
    DegreeSpin* timeOffsetSpin = nullptr;
    QLineEdit* formatEdit = nullptr;
    QTableWidget* formatList = nullptr;
    QPushButton* insertDateBtn = nullptr;
    RealSpin* counterMultiplierSpin = nullptr;
    RealSpin* dividerSpin = nullptr;
    RealSpin* counterOffset1Spin = nullptr;
    RealSpin* counterOffset2Spin = nullptr;
    QCheckBox* leadingZeroChk = nullptr;
    IntegerSpin* counterWidthSpin = nullptr;
    QPushButton* insertCounterBtn = nullptr;
};

} // namespace kestrix::gui
