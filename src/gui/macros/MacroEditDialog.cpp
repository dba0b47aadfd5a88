#include "MacroEditDialog.h"

#include "QtText.h"
#include "controls/DegreeSpin.h"
#include "controls/IntegerSpin.h"
#include "controls/RealSpin.h"
#include "controls/SpinInstances.h"
#include "macros/MacroComposer.h"
#include "ui/MessageText.h"
#include "util/Error.h"
#include "widgets/RadioGroup.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kestrix::gui {

namespace {

constexpr int kHelpTopic = 1;
constexpr int kDatePage = 0;
constexpr int kCounterPage = 1;

struct FormatRow {
    const char* format;
    const char* description;
};

constexpr FormatRow kFormatRows[] = {
    {"D", "Date with no leading zeros."},
    {"DD", "Date with leading zeros."},
    {"M", "Month with no leading zeros."},
    {"MM", "Month with leading zeros."},
    {"YY", "Two digit year."},
    {"YYYY", "Four digit year."},
    {"H", "Hour with no leading zeros."},
    {"HH", "Hour with leading zeros."},
    {"N", "Minutes with no leading zeros."},
    {"NN", "Minutes with leading zeros."},
    {"S", "Seconds with no leading zeros."},
    {"SS", "Seconds with leading zeros."},
};

// A line edit that keeps its selection while another control has the focus, so that an
// insert button can replace what the user selected, and that never selects everything when
// tabbed into.
class KeptSelectionEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override { keepingSelection(event, true); }
    void focusOutEvent(QFocusEvent* event) override { keepingSelection(event, false); }

private:
    void keepingSelection(QFocusEvent* event, bool in) {
        const int start = hasSelectedText() ? selectionStart() : -1;
        const int length = selectionLength();
        const int cursor = cursorPosition();
        if (in)
            QLineEdit::focusInEvent(event);
        else
            QLineEdit::focusOutEvent(event);
        if (start < 0)
            setCursorPosition(cursor);
        else if (cursor == start)
            setSelection(start + length, -length);
        else
            setSelection(start, length);
    }
};

QLabel* heading(const char* text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    // A wide system font must not make the dialog wider than its size.
    label->setWordWrap(true);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel* labelFor(const char* text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QPushButton* button(const char* name, const char* caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

// Writes a spin's value without telling anyone, so the multiplier and the divider can follow
// each other without chasing each other.
void setQuietly(TRealSpin* spin, double value) {
    spin->setBlockChangeEvent(true);
    spin->setValue(value);
    spin->setBlockChangeEvent(false);
}

// Positions in the UTF-8 text the core works on, and back to the edit's UTF-16 positions.
size_t utf8Position(const QString& text, int position) {
    return static_cast<size_t>(text.left(position).toUtf8().size());
}

int editPosition(const std::string& utf8, size_t position) {
    return static_cast<int>(
        QString::fromUtf8(utf8.data(), static_cast<qsizetype>(position)).size());
}

} // namespace

TMacroEditDlg::TMacroEditDlg(Dialogs& dialogs, const Clock& clock, const FormatSettings& fs,
                             QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), clock_(clock), fs_(fs) {
    setObjectName("MacroEditDlg");
    setWindowTitle("Macro Editor");
    MacroPageControl = new QStackedWidget(this);
    MacroPageControl->setObjectName("MacroPageControl");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildTopPanel());
    MacroPageControl->addWidget(buildDateSheet());
    MacroPageControl->addWidget(buildCounterSheet());
    layout->addWidget(MacroPageControl, 1);
    layout->addWidget(buildBottomPanel());
    MacroPageControl->setCurrentIndex(kDatePage);
    MacroRadio->setItemIndex(kDatePage);
    wire();
    resize(445, 385);
}

QWidget* TMacroEditDlg::buildTopPanel() {
    auto* panel = new QWidget(this);
    URLEdit = new KeptSelectionEdit(panel);
    URLEdit->setObjectName("URLEdit");
    // The selection marks the macro found or inserted last; it must stay as visible as when the
    // edit has the focus.
    QPalette palette = URLEdit->palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    URLEdit->setPalette(palette);
    ExpandedEdit = new QLineEdit(panel);
    ExpandedEdit->setObjectName("ExpandedEdit");
    ExpandedEdit->setReadOnly(true);
    ExpandBtn = button("ExpandBtn", "Expand", panel);
    MacroRadio = new RadioGroup("Macros", {"Date Time", "Counter"}, 2, panel);
    MacroRadio->setObjectName("MacroRadio");
    FindNextBtn = button("FindNextBtn", "Find Next Macro", panel);

    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(labelFor("URL", URLEdit, panel), 0, 0);
    grid->addWidget(URLEdit, 0, 1);
    grid->addWidget(labelFor("Expanded URL", ExpandedEdit, panel), 1, 0);
    grid->addWidget(ExpandedEdit, 1, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(ExpandBtn, 0, Qt::AlignBottom);
    row->addWidget(MacroRadio, 1);
    row->addWidget(FindNextBtn, 0, Qt::AlignBottom);
    grid->addLayout(row, 2, 0, 1, 2);
    return panel;
}

QWidget* TMacroEditDlg::buildDateSheet() {
    auto* sheet = new QWidget(MacroPageControl);
    sheet->setObjectName("DateSheet");
    TimeOffsetSpin = makeTimeOffsetSpin(sheet);
    FormatEdit = new KeptSelectionEdit(sheet);
    FormatEdit->setObjectName("FormatEdit");
    FormatList = new QTableWidget(static_cast<int>(std::size(kFormatRows)), 2, sheet);
    FormatList->setObjectName("FormatList");
    FormatList->setHorizontalHeaderLabels({"Format", "Description"});
    FormatList->verticalHeader()->hide();
    FormatList->horizontalHeader()->setStretchLastSection(true);
    FormatList->setShowGrid(true);
    FormatList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FormatList->setSelectionMode(QAbstractItemView::SingleSelection);
    FormatList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < FormatList->rowCount(); ++r) {
        const FormatRow& row = kFormatRows[r];
        FormatList->setItem(r, 0, new QTableWidgetItem(row.format));
        FormatList->setItem(r, 1, new QTableWidgetItem(row.description));
    }
    FormatList->resizeColumnToContents(0);
    FormatList->verticalHeader()->setDefaultSectionSize(FormatList->fontMetrics().height() + 4);
    InsertDateBtn = button("InsertDateBtn", "Insert Macro In URL", sheet);

    auto* grid = new QGridLayout(sheet);
    grid->setContentsMargins(0, 0, 0, 0);
    auto* title =
        heading(" Date/Time Macro - Used to insert date and time information into the URL", sheet);
    title->setObjectName("DateHeading");
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(labelFor("Offset From UTC", TimeOffsetSpin, sheet), 1, 0);
    grid->addWidget(labelFor("Format String", FormatEdit, sheet), 1, 1);
    grid->addWidget(TimeOffsetSpin, 2, 0, 2, 1);
    grid->addWidget(FormatEdit, 2, 1);
    grid->addWidget(InsertDateBtn, 3, 1, Qt::AlignRight);
    grid->addWidget(labelFor("Format Options - Double Click to Insert", FormatList, sheet), 4, 0, 1,
                    2);
    grid->addWidget(FormatList, 5, 0, 1, 2);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(1, 1);
    return sheet;
}

QWidget* TMacroEditDlg::buildCounterSheet() {
    auto* sheet = new QWidget(MacroPageControl);
    sheet->setObjectName("CounterSheet");
    auto* equation = new QGroupBox("Equation", sheet);
    CounterMultiplierSpin = makeCounterMultiplierSpin(equation);
    DividerSpin = makeDividerSpin(equation);
    CounterOffset1Spin = makeCounterOffset1Spin(equation);
    CounterOffset2Spin = makeCounterOffset2Spin(equation);
    auto* equationGrid = new QGridLayout(equation);
    equationGrid->addWidget(labelFor("Multiplier", CounterMultiplierSpin, equation), 0, 0);
    equationGrid->addWidget(labelFor("Divider", DividerSpin, equation), 0, 1);
    equationGrid->addWidget(CounterMultiplierSpin, 1, 0);
    equationGrid->addWidget(DividerSpin, 1, 1);
    equationGrid->addWidget(labelFor("Offset1", CounterOffset1Spin, equation), 2, 0);
    equationGrid->addWidget(labelFor("Offset2", CounterOffset2Spin, equation), 2, 1);
    equationGrid->addWidget(CounterOffset1Spin, 3, 0);
    equationGrid->addWidget(CounterOffset2Spin, 3, 1);

    auto* numberFormat = new QGroupBox("Number Format", sheet);
    LeadingZeroChk = new QCheckBox("Add Leading Zeros", numberFormat);
    LeadingZeroChk->setObjectName("LeadingZeroChk");
    CounterWidthSpin = makeCounterWidthSpin(numberFormat);
    auto* formatColumn = new QVBoxLayout(numberFormat);
    formatColumn->addWidget(LeadingZeroChk);
    formatColumn->addWidget(labelFor("Number Width", CounterWidthSpin, numberFormat));
    formatColumn->addWidget(CounterWidthSpin);
    formatColumn->addStretch(1);

    InsertCounterBtn = button("InsertCounterBtn", "Insert Macro In URL", sheet);
    auto* grid = new QGridLayout(sheet);
    grid->setContentsMargins(0, 0, 0, 0);
    auto* title = heading("  Counter Macro - Used to insert a count into the URL sttring.", sheet);
    title->setObjectName("CounterHeading");
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(equation, 1, 0);
    grid->addWidget(numberFormat, 1, 1);
    grid->addWidget(InsertCounterBtn, 2, 1, Qt::AlignRight);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    return sheet;
}

QWidget* TMacroEditDlg::buildBottomPanel() {
    auto* panel = new QWidget(this);
    auto* ok = button("OKBtn", "OK", panel);
    ok->setDefault(true);
    auto* cancel = button("CancelBtn", "Cancel", panel);
    auto* help = button("HelpBtn", "&Help", panel);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] { emit helpRequested(kHelpTopic); });
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    row->addWidget(help);
    return panel;
}

void TMacroEditDlg::wire() {
    connect(ExpandBtn, &QPushButton::clicked, this, &TMacroEditDlg::ExpandBtnClick);
    connect(FindNextBtn, &QPushButton::clicked, this, &TMacroEditDlg::FindNextBtnClick);
    connect(InsertDateBtn, &QPushButton::clicked, this, &TMacroEditDlg::InsertDateBtnClick);
    connect(InsertCounterBtn, &QPushButton::clicked, this, &TMacroEditDlg::InsertCounterBtnClick);
    connect(FormatList, &QTableWidget::doubleClicked, this, &TMacroEditDlg::FormatListDblClick);
    // Clicking an item shows its page; showing a page any other way moves the choice with it.
    connect(MacroRadio, &RadioGroup::itemClicked, MacroPageControl,
            &QStackedWidget::setCurrentIndex);
    connect(MacroPageControl, &QStackedWidget::currentChanged, MacroRadio,
            &RadioGroup::setItemIndex);
    connect(CounterMultiplierSpin, &TRealSpin::OnChange, this,
            [this] { setQuietly(DividerSpin, reciprocal(CounterMultiplierSpin->Value())); });
    connect(DividerSpin, &TRealSpin::OnChange, this,
            [this] { setQuietly(CounterMultiplierSpin, reciprocal(DividerSpin->Value())); });
}

bool TMacroEditDlg::EditURLMacros(std::string& address) {
    URLEdit->setText(toQ(address));
    URLEdit->setCursorPosition(0);
    URLEdit->setFocus();
    centreOnScreen();
    if (exec() != QDialog::Accepted)
        return false;
    address = fromQ(URLEdit->text());
    return true;
}

void TMacroEditDlg::InsertIntoEdit(QLineEdit* edit, const QString& text) {
    const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    edit->insert(text);
    edit->setSelection(start, edit->cursorPosition() - start);
}

void TMacroEditDlg::centreOnScreen() {
    if (const QScreen* s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TMacroEditDlg::ExpandBtnClick() {
    try {
        ExpandedEdit->setText(toQ(ExpandURLMacros(fromQ(URLEdit->text()), clock_, fs_)));
    } catch (const Error& e) {
        dialogs_.showMessage(withFullStop(e.what()), MessageIcon::Error);
    }
}

void TMacroEditDlg::InsertDateBtnClick() {
    const DateMacroSettings settings{TimeOffsetSpin->Degrees(), fromQ(FormatEdit->text())};
    InsertIntoEdit(URLEdit, toQ(composeDateMacro(settings)));
}

void TMacroEditDlg::InsertCounterBtnClick() {
    const CounterMacroSettings settings{CounterMultiplierSpin->Value(), CounterOffset1Spin->Value(),
                                        CounterOffset2Spin->Value(), LeadingZeroChk->isChecked(),
                                        CounterWidthSpin->Value()};
    InsertIntoEdit(URLEdit, toQ(composeCounterMacro(settings)));
}

void TMacroEditDlg::FormatListDblClick() {
    const QModelIndexList rows = FormatList->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    InsertIntoEdit(FormatEdit, FormatList->item(rows.first().row(), 0)->text());
    FormatEdit->setCursorPosition(FormatEdit->selectionEnd());
    FormatEdit->setFocus();
}

void TMacroEditDlg::FindNextBtnClick() {
    const QString text = URLEdit->text();
    const std::string utf8 = fromQ(text);
    const int start =
        URLEdit->hasSelectedText() ? URLEdit->selectionStart() : URLEdit->cursorPosition();
    const size_t selStart = utf8Position(text, start);
    const size_t selEnd = utf8Position(text, start + URLEdit->selectionLength());
    const MacroElement element = findNextMacro(utf8, selStart, selEnd - selStart);
    if (element.found) {
        const int from = editPosition(utf8, element.start);
        URLEdit->setSelection(from, editPosition(utf8, element.end) - from);
        loadMacro(element);
    } else {
        URLEdit->setCursorPosition(static_cast<int>(text.size()));
    }
    URLEdit->setFocus();
}

void TMacroEditDlg::loadMacro(const MacroElement& element) {
    // The arguments are read in full before any field changes, so a macro that cannot be read
    // leaves the pages as they were.
    try {
        if (element.tag == "date") {
            const DateMacroSettings settings = readDateMacro(element.args);
            MacroPageControl->setCurrentIndex(kDatePage);
            FormatEdit->setText(toQ(settings.format));
            TimeOffsetSpin->setDegrees(settings.offsetHours);
        } else if (element.tag == "counter") {
            const CounterMacroSettings settings = readCounterMacro(element.args);
            MacroPageControl->setCurrentIndex(kCounterPage);
            setQuietly(CounterMultiplierSpin, settings.multiplier);
            setQuietly(DividerSpin, reciprocal(settings.multiplier));
            setQuietly(CounterOffset1Spin, settings.offset1);
            setQuietly(CounterOffset2Spin, settings.offset2);
            LeadingZeroChk->setChecked(settings.leadingZeros);
            CounterWidthSpin->setValue(settings.width);
        }
    } catch (const Error& e) {
        dialogs_.showMessage(withFullStop(e.what()), MessageIcon::Error);
    }
}

} // namespace kestrix::gui
