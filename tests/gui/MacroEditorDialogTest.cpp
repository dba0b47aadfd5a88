// The macro editor as the user meets it: inserting macros, the multiplier/divider pair, stepping
// through the macros of an address, Expand, the format list, and OK/Cancel of a modal opening.
#include "gui/macros/MacroEditorDialog.h"

#include "gui/controls/DegreeSpin.h"
#include "gui/controls/IntegerSpin.h"
#include "gui/controls/RealSpin.h"
#include "gui/widgets/RadioGroup.h"
#include "support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <map>

using namespace kestrix;
using namespace kestrix::gui;

namespace {

class MacroEditor : public ::testing::Test {
protected:
    test::ScriptedDialogs dialogs;
    FixedClock clock{*parseIsoDateTime("2026-12-08T14:05:09Z")};
    FormatSettings fs = defaultFormatSettings();
    MacroEditorDialog dlg{dialogs, clock, fs};

    void SetUp() override {
        dlg.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        dlg.show();
    }

    template <typename T> T* find(const char* name) {
        T* w = dlg.findChild<T*>(name);
        if (!w)
            ADD_FAILURE() << "no control " << name;
        return w;
    }
    QLineEdit* url() { return find<QLineEdit>("URLEdit"); }
    void click(const char* name) { find<QPushButton>(name)->click(); }
    void retype(QLineEdit* box, const char* text) {
        box->selectAll();
        QTest::keyClicks(box, text);
    }
    int page() { return find<QStackedWidget>("MacroPageControl")->currentIndex(); }
    // Runs the dialog modally; `inside` acts on it, then it closes with OK or Cancel.
    bool open(std::string& address, const std::function<void()>& inside, bool ok) {
        QTimer::singleShot(0, &dlg, [this, inside, ok] {
            inside();
            ok ? click("OKBtn") : click("CancelBtn");
        });
        return dlg.editUrlMacros(address);
    }
};

} // namespace

TEST_F(MacroEditor, ShowsItsControlsWithTheirCaptions) {
    EXPECT_EQ(dlg.windowTitle(), "Macro Editor");
    EXPECT_EQ(dlg.size(), QSize(445, 385));
    const std::pair<const char*, const char*> buttons[] = {
        {"ExpandBtn", "Expand"},
        {"FindNextBtn", "Find Next Macro"},
        {"InsertDateBtn", "Insert Macro In URL"},
        {"InsertCounterBtn", "Insert Macro In URL"},
        {"OKBtn", "OK"},
        {"CancelBtn", "Cancel"}};
    for (const auto& [name, caption] : buttons)
        EXPECT_EQ(find<QPushButton>(name)->text(), caption) << name;
    EXPECT_TRUE(find<QPushButton>("OKBtn")->isDefault());
    QSignalSpy help(&dlg, &MacroEditorDialog::helpRequested);
    find<QPushButton>("HelpBtn")->click();
    EXPECT_EQ(help.count() == 1 ? help.at(0).at(0).toInt() : 0, 1);
    std::map<QString, QString> labels;
    for (QLabel* label : dlg.findChildren<QLabel*>())
        if (label->buddy())
            labels[label->buddy()->objectName()] = label->text();
    const std::map<QString, QString> expected = {
        {"URLEdit", "URL"},
        {"ExpandedEdit", "Expanded URL"},
        {"TimeOffsetSpin", "Offset From UTC"},
        {"FormatEdit", "Format String"},
        {"FormatList", "Format Options - Double Click to Insert"},
        {"CounterMultiplierSpin", "Multiplier"},
        {"DividerSpin", "Divider"},
        {"CounterOffset1Spin", "Offset1"},
        {"CounterOffset2Spin", "Offset2"},
        {"CounterWidthSpin", "Number Width"}};
    EXPECT_EQ(labels, expected);
    EXPECT_EQ(find<QLabel>("DateHeading")->text(),
              " Date/Time Macro - Used to insert date and time information into the URL");
    EXPECT_EQ(find<QLabel>("CounterHeading")->text(),
              "  Counter Macro - Used to insert a count into the URL sttring.");
    auto* list = find<QTableWidget>("FormatList");
    ASSERT_EQ(list->rowCount(), 12);
    EXPECT_EQ(list->item(7, 0)->text(), "HH");
    EXPECT_EQ(list->item(7, 1)->text(), "Hour with leading zeros.");
    EXPECT_EQ(page(), 0);
    EXPECT_EQ(find<RadioGroup>("MacroRadio")->itemIndex(), 0);
    EXPECT_EQ(find<QWidget>("DateSheet"), find<QStackedWidget>("MacroPageControl")->widget(0));
    EXPECT_EQ(find<QWidget>("CounterSheet"), find<QStackedWidget>("MacroPageControl")->widget(1));
}

TEST_F(MacroEditor, InsertsTheComposedMacroAtTheCursorAndSelectsIt) {
    struct Case {
        const char* address;
        int selStart, selLength;
        std::function<void()> setUp;
        const char* button;
        const char* expected;
        const char* selected;
    } cases[] = {
        {"http://www.", 11, 0, [] {}, "InsertCounterBtn", "http://www.<counter>1,0,0,0,0</counter>",
         "<counter>1,0,0,0,0</counter>"},
        {"cam/X.jpg", 4, 1,
         [&] {
             find<DegreeSpin>("TimeOffsetSpin")->setDegrees(-7);
             find<QLineEdit>("FormatEdit")->setText("yyyymmdd");
         },
         "InsertDateBtn", "cam/<date>-7,yyyymmdd</date>.jpg", "<date>-7,yyyymmdd</date>"},
        {"a", 0, 0,
         [&] {
             find<DegreeSpin>("TimeOffsetSpin")->setDegrees(5.5);
             find<QLineEdit>("FormatEdit")->setText("dd,mm");
         },
         "InsertDateBtn", "<date>5.5,dd,mm</date>a", "<date>5.5,dd,mm</date>"},
        {"", 0, 0,
         [&] {
             retype(find<RealSpin>("CounterMultiplierSpin"), "0.25");
             retype(find<RealSpin>("CounterOffset1Spin"), "-64.5");
             retype(find<RealSpin>("CounterOffset2Spin"), "100");
             find<QCheckBox>("LeadingZeroChk")->setChecked(true);
             retype(find<IntegerSpin>("CounterWidthSpin"), "6");
         },
         "InsertCounterBtn", "<counter>0.25,-64.5,100,1,6</counter>",
         "<counter>0.25,-64.5,100,1,6</counter>"},
    };
    for (const auto& c : cases) {
        url()->setText(c.address);
        url()->setSelection(c.selStart, c.selLength);
        c.setUp();
        click(c.button);
        EXPECT_EQ(url()->text(), c.expected);
        EXPECT_EQ(url()->selectedText(), c.selected) << c.expected;
    }
    // The macro with a comma in its format expands with the format before the comma.
    url()->setText("<date>0,dd,mm</date>");
    click("ExpandBtn");
    EXPECT_EQ(find<QLineEdit>("ExpandedEdit")->text(), "08");
}

TEST_F(MacroEditor, MultiplierAndDividerFollowEachOther) {
    auto* multiplier = find<RealSpin>("CounterMultiplierSpin");
    auto* divider = find<RealSpin>("DividerSpin");
    retype(divider, "60");
    EXPECT_EQ(multiplier->text(), "0.0166666666666667");
    EXPECT_EQ(multiplier->value(), 1.0 / 60);
    EXPECT_EQ(divider->text(), "60"); // not rewritten from the multiplier in turn
    url()->clear();
    click("InsertCounterBtn");
    EXPECT_EQ(url()->text(), "<counter>0.0166666666666666664,0,0,0,0</counter>");
    // 1/(1/49) is not 49 in binary: a divider rewritten from the multiplier would show it.
    retype(divider, "49");
    EXPECT_EQ(divider->value(), 49);
    retype(multiplier, "0");
    EXPECT_EQ(divider->text(), "0");
    retype(multiplier, "4");
    EXPECT_EQ(divider->text(), "0.25");
    EXPECT_EQ(multiplier->text(), "4");
}

TEST_F(MacroEditor, FindNextStepsThroughTheMacrosAndWrapsAround) {
    const QString address = "a<date>0,yyyy</date>b<counter>2,0,0,1,4</counter>";
    url()->setText(address);
    url()->setCursorPosition(0);
    auto* radio = find<RadioGroup>("MacroRadio");
    for (int round = 0; round < 2; ++round) {
        click("FindNextBtn");
        EXPECT_EQ(url()->selectedText(), "<date>0,yyyy</date>");
        EXPECT_EQ(page(), 0);
        EXPECT_EQ(radio->itemIndex(), 0);
        EXPECT_EQ(find<QLineEdit>("FormatEdit")->text(), "yyyy");
        if (round == 1)
            break;
        click("FindNextBtn");
        EXPECT_EQ(url()->selectedText(), "<counter>2,0,0,1,4</counter>");
        EXPECT_EQ(page(), 1);
        EXPECT_EQ(radio->itemIndex(), 1);
        EXPECT_EQ(find<RealSpin>("CounterMultiplierSpin")->text(), "2");
        EXPECT_EQ(find<RealSpin>("DividerSpin")->text(), "0.5");
        EXPECT_TRUE(find<QCheckBox>("LeadingZeroChk")->isChecked());
        EXPECT_EQ(find<IntegerSpin>("CounterWidthSpin")->value(), 4);
        click("FindNextBtn");
        EXPECT_FALSE(url()->hasSelectedText());
        EXPECT_EQ(url()->cursorPosition(), address.size());
    }
    EXPECT_EQ(dlg.focusWidget(), url());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MacroEditor, FindNextSelectsByCharactersAndReportsUnreadableMacros) {
    // Characters beyond ASCII take more bytes than edit positions: the selection must not drift.
    url()->setText("ö€<b>x</b>é<counter>5e,0,0,1,4</counter>");
    url()->setCursorPosition(0);
    click("FindNextBtn");
    EXPECT_EQ(url()->selectedText(), "<b>x</b>");
    EXPECT_EQ(page(), 0);
    click("FindNextBtn");
    EXPECT_EQ(url()->selectedText(), "<counter>5e,0,0,1,4</counter>");
    EXPECT_EQ(page(), 0);
    EXPECT_EQ(find<RealSpin>("CounterMultiplierSpin")->text(), "1");
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"'5e' is not a valid floating point value."});
}

TEST_F(MacroEditor, ExpandShowsTheAddressOrAnErrorBox) {
    auto* expanded = find<QLineEdit>("ExpandedEdit");
    url()->setText("img<date>-2,yyyymmddhh</date>_<counter>1,0,0,1,6</counter>.jpg");
    click("ExpandBtn");
    EXPECT_EQ(expanded->text(), "img2026120812_050709.jpg");
    url()->setText("<date>5e,yyyy</date>");
    click("ExpandBtn");
    EXPECT_EQ(expanded->text(), "img2026120812_050709.jpg");
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"'5e' is not a valid floating point value."});
}

TEST_F(MacroEditor, DoubleClickedFormatGoesIntoTheFormatString) {
    auto* list = find<QTableWidget>("FormatList");
    auto* format = find<QLineEdit>("FormatEdit");
    format->setText("yyyy-XX");
    format->setSelection(5, 2);
    // Focus moving to the list must not lose the selection that the format replaces.
    QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
    QApplication::sendEvent(format, &out);
    // A double click is a click followed by the double-click event.
    const QPoint row = list->visualRect(list->model()->index(1, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
    EXPECT_EQ(format->text(), "yyyy-DD");
    EXPECT_FALSE(format->hasSelectedText());
    EXPECT_EQ(format->cursorPosition(), 7);
    EXPECT_EQ(dlg.focusWidget(), format);
}

TEST_F(MacroEditor, CancelReturnsNothingAndOkTheEditedAddress) {
    std::string address = "http://x/<date>0,yyyy</date>";
    const std::string original = address;
    EXPECT_FALSE(open(
        address,
        [&] {
            EXPECT_EQ(url()->text().toStdString(), original);
            EXPECT_EQ(url()->cursorPosition(), 0);
            EXPECT_FALSE(url()->hasSelectedText());
            url()->setCursorPosition(9);
            click("InsertCounterBtn");
            for (QRadioButton* item : dlg.findChildren<QRadioButton*>())
                if (item->text() == "Counter")
                    item->click();
        },
        false));
    EXPECT_EQ(address, original);

    // The next opening starts from the page and settings the last one left.
    EXPECT_TRUE(open(
        address,
        [&] {
            EXPECT_EQ(url()->text().toStdString(), original);
            EXPECT_EQ(page(), 1);
            url()->end(false);
            click("InsertCounterBtn");
        },
        true));
    EXPECT_EQ(address, original + "<counter>1,0,0,0,0</counter>");
}
