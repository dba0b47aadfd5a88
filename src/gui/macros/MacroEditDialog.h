// TMacroEditDlg: the macro editor. The user edits a web address, composes date and counter
// macros on two pages and inserts them at the cursor, steps through the macros already in the
// address, and sees what the address expands to now. One instance lives for the whole run, so
// every field keeps its value from one opening to the next.
#pragma once

#include "ui/Dialogs.h"
#include "util/Clock.h"
#include "util/FormatSettings.h"

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
class TDegreeSpin;
class TIntegerSpin;
class TRealSpin;

class TMacroEditDlg : public QDialog {
    Q_OBJECT
public:
    // The dialogs show conversion errors; the clock and the locale serve Expand. All three must
    // outlive the dialog.
    TMacroEditDlg(Dialogs& dialogs, const Clock& clock, const FormatSettings& fs,
                  QWidget* parent = nullptr);

    // Shows `address` with the cursor at its start and runs the dialog modally. OK stores the
    // edited text in `address` and returns true; Cancel returns false and leaves it alone.
    bool EditURLMacros(std::string& address);

    // Replaces the edit's selection (or inserts at the cursor) with `text`, which is left selected.
    static void InsertIntoEdit(QLineEdit* edit, const QString& text);

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

    void ExpandBtnClick();
    void InsertDateBtnClick();
    void InsertCounterBtnClick();
    void FormatListDblClick();
    void FindNextBtnClick();
    // Loads a found date or counter macro into its page; other tags load nothing.
    void loadMacro(const MacroElement& element);

    Dialogs& dialogs_;
    const Clock& clock_;
    const FormatSettings& fs_;

    QLineEdit* URLEdit = nullptr;
    QLineEdit* ExpandedEdit = nullptr;
    QPushButton* ExpandBtn = nullptr;
    RadioGroup* MacroRadio = nullptr;
    QPushButton* FindNextBtn = nullptr;
    QStackedWidget* MacroPageControl = nullptr;
    TDegreeSpin* TimeOffsetSpin = nullptr;
    QLineEdit* FormatEdit = nullptr;
    QTableWidget* FormatList = nullptr;
    QPushButton* InsertDateBtn = nullptr;
    TRealSpin* CounterMultiplierSpin = nullptr;
    TRealSpin* DividerSpin = nullptr;
    TRealSpin* CounterOffset1Spin = nullptr;
    TRealSpin* CounterOffset2Spin = nullptr;
    QCheckBox* LeadingZeroChk = nullptr;
    TIntegerSpin* CounterWidthSpin = nullptr;
    QPushButton* InsertCounterBtn = nullptr;
};

} // namespace kestrix::gui
