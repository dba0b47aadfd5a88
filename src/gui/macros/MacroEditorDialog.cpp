#include "gui/macros/MacroEditorDialog.h"

#include "core/macros/MacroComposer.h"
#include "core/ui/MessageText.h"
#include "core/util/Error.h"
#include "gui/QtText.h"
#include "gui/controls/DegreeSpin.h"
#include "gui/controls/IntegerSpin.h"
#include "gui/controls/RealSpin.h"
#include "gui/controls/SpinInstances.h"
#include "gui/widgets/RadioGroup.h"

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
void setQuietly(RealSpin* spin, double value) {
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

MacroEditorDialog::MacroEditorDialog(Dialogs& dialogs, const Clock& clock, const FormatSettings& fs,
                                     QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), clock_(clock), fs_(fs) {
    setObjectName("MacroEditDlg");
    setWindowTitle("Macro Editor");
    macroPageControl = new QStackedWidget(this);
    macroPageControl->setObjectName("MacroPageControl");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildTopPanel());
    macroPageControl->addWidget(buildDateSheet());
    macroPageControl->addWidget(buildCounterSheet());
    layout->addWidget(macroPageControl, 1);
    layout->addWidget(buildBottomPanel());
    macroPageControl->setCurrentIndex(kDatePage);
    macroRadio->setItemIndex(kDatePage);
    wire();
    resize(445, 385);
}

QWidget* MacroEditorDialog::buildTopPanel() {
    auto* panel = new QWidget(this);
    urlEdit = new KeptSelectionEdit(panel);
    urlEdit->setObjectName("URLEdit");
    // The selection marks the macro found or inserted last; it must stay as visible as when the
    // edit has the focus.
    QPalette palette = urlEdit->palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    urlEdit->setPalette(palette);
    expandedEdit = new QLineEdit(panel);
    expandedEdit->setObjectName("ExpandedEdit");
    expandedEdit->setReadOnly(true);
    expandBtn = button("ExpandBtn", "Expand", panel);
    macroRadio = new RadioGroup("Macros", {"Date Time", "Counter"}, 2, panel);
    macroRadio->setObjectName("MacroRadio");
    findNextBtn = button("FindNextBtn", "Find Next Macro", panel);

    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(labelFor("URL", urlEdit, panel), 0, 0);
    grid->addWidget(urlEdit, 0, 1);
    grid->addWidget(labelFor("Expanded URL", expandedEdit, panel), 1, 0);
    grid->addWidget(expandedEdit, 1, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(expandBtn, 0, Qt::AlignBottom);
    row->addWidget(macroRadio, 1);
    row->addWidget(findNextBtn, 0, Qt::AlignBottom);
    grid->addLayout(row, 2, 0, 1, 2);
    return panel;
}

QWidget* MacroEditorDialog::buildDateSheet() {
    auto* sheet = new QWidget(macroPageControl);
    sheet->setObjectName("DateSheet");
    timeOffsetSpin = makeTimeOffsetSpin(sheet);
    formatEdit = new KeptSelectionEdit(sheet);
    formatEdit->setObjectName("FormatEdit");
    formatList = new QTableWidget(static_cast<int>(std::size(kFormatRows)), 2, sheet);
    formatList->setObjectName("FormatList");
    formatList->setHorizontalHeaderLabels({"Format", "Description"});
    formatList->verticalHeader()->hide();
    formatList->horizontalHeader()->setStretchLastSection(true);
    formatList->setShowGrid(true);
    formatList->setSelectionBehavior(QAbstractItemView::SelectRows);
    formatList->setSelectionMode(QAbstractItemView::SingleSelection);
    formatList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < formatList->rowCount(); ++r) {
        const FormatRow& row = kFormatRows[r];
        formatList->setItem(r, 0, new QTableWidgetItem(row.format));
        formatList->setItem(r, 1, new QTableWidgetItem(row.description));
    }
    formatList->resizeColumnToContents(0);
    formatList->verticalHeader()->setDefaultSectionSize(formatList->fontMetrics().height() + 4);
    insertDateBtn = button("InsertDateBtn", "Insert Macro In URL", sheet);

    auto* grid = new QGridLayout(sheet);
    grid->setContentsMargins(0, 0, 0, 0);
    auto* title =
        heading(" Date/Time Macro - Used to insert date and time information into the URL", sheet);
    title->setObjectName("DateHeading");
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(labelFor("Offset From UTC", timeOffsetSpin, sheet), 1, 0);
    grid->addWidget(labelFor("Format String", formatEdit, sheet), 1, 1);
    grid->addWidget(timeOffsetSpin, 2, 0, 2, 1);
    grid->addWidget(formatEdit, 2, 1);
    grid->addWidget(insertDateBtn, 3, 1, Qt::AlignRight);
    grid->addWidget(labelFor("Format Options - Double Click to Insert", formatList, sheet), 4, 0, 1,
                    2);
    grid->addWidget(formatList, 5, 0, 1, 2);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(1, 1);
    return sheet;
}

QWidget* MacroEditorDialog::buildCounterSheet() {
    auto* sheet = new QWidget(macroPageControl);
    sheet->setObjectName("CounterSheet");
    auto* equation = new QGroupBox("Equation", sheet);
    counterMultiplierSpin = makeCounterMultiplierSpin(equation);
    dividerSpin = makeDividerSpin(equation);
    counterOffset1Spin = makeCounterOffset1Spin(equation);
    counterOffset2Spin = makeCounterOffset2Spin(equation);
    auto* equationGrid = new QGridLayout(equation);
    equationGrid->addWidget(labelFor("Multiplier", counterMultiplierSpin, equation), 0, 0);
    equationGrid->addWidget(labelFor("Divider", dividerSpin, equation), 0, 1);
    equationGrid->addWidget(counterMultiplierSpin, 1, 0);
    equationGrid->addWidget(dividerSpin, 1, 1);
    equationGrid->addWidget(labelFor("Offset1", counterOffset1Spin, equation), 2, 0);
    equationGrid->addWidget(labelFor("Offset2", counterOffset2Spin, equation), 2, 1);
    equationGrid->addWidget(counterOffset1Spin, 3, 0);
    equationGrid->addWidget(counterOffset2Spin, 3, 1);

    auto* numberFormat = new QGroupBox("Number Format", sheet);
    leadingZeroChk = new QCheckBox("Add Leading Zeros", numberFormat);
    leadingZeroChk->setObjectName("LeadingZeroChk");
    counterWidthSpin = makeCounterWidthSpin(numberFormat);
    auto* formatColumn = new QVBoxLayout(numberFormat);
    formatColumn->addWidget(leadingZeroChk);
    formatColumn->addWidget(labelFor("Number Width", counterWidthSpin, numberFormat));
    formatColumn->addWidget(counterWidthSpin);
    formatColumn->addStretch(1);

    insertCounterBtn = button("InsertCounterBtn", "Insert Macro In URL", sheet);
    auto* grid = new QGridLayout(sheet);
    grid->setContentsMargins(0, 0, 0, 0);
    auto* title = heading("  Counter Macro - Used to insert a count into the URL sttring.", sheet);
    title->setObjectName("CounterHeading");
    grid->addWidget(title, 0, 0, 1, 2);
    grid->addWidget(equation, 1, 0);
    grid->addWidget(numberFormat, 1, 1);
    grid->addWidget(insertCounterBtn, 2, 1, Qt::AlignRight);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    return sheet;
}

QWidget* MacroEditorDialog::buildBottomPanel() {
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

void MacroEditorDialog::wire() {
    connect(expandBtn, &QPushButton::clicked, this, &MacroEditorDialog::expandBtnClick);
    connect(findNextBtn, &QPushButton::clicked, this, &MacroEditorDialog::findNextBtnClick);
    connect(insertDateBtn, &QPushButton::clicked, this, &MacroEditorDialog::insertDateBtnClick);
    connect(insertCounterBtn, &QPushButton::clicked, this,
            &MacroEditorDialog::insertCounterBtnClick);
    connect(formatList, &QTableWidget::doubleClicked, this, &MacroEditorDialog::formatListDblClick);
    // Clicking an item shows its page; showing a page any other way moves the choice with it.
    connect(macroRadio, &RadioGroup::itemClicked, macroPageControl,
            &QStackedWidget::setCurrentIndex);
    connect(macroPageControl, &QStackedWidget::currentChanged, macroRadio,
            &RadioGroup::setItemIndex);
    connect(counterMultiplierSpin, &RealSpin::onChange, this,
            [this] { setQuietly(dividerSpin, reciprocal(counterMultiplierSpin->value())); });
    connect(dividerSpin, &RealSpin::onChange, this,
            [this] { setQuietly(counterMultiplierSpin, reciprocal(dividerSpin->value())); });
}

bool MacroEditorDialog::editUrlMacros(std::string& address) {
    urlEdit->setText(toQ(address));
    urlEdit->setCursorPosition(0);
    urlEdit->setFocus();
    centreOnScreen();
    if (exec() != QDialog::Accepted)
        return false;
    address = fromQ(urlEdit->text());
    return true;
}

void MacroEditorDialog::insertIntoEdit(QLineEdit* edit, const QString& text) {
    const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    edit->insert(text);
    edit->setSelection(start, edit->cursorPosition() - start);
}

void MacroEditorDialog::centreOnScreen() {
    if (const QScreen* s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

void MacroEditorDialog::expandBtnClick() {
    try {
        expandedEdit->setText(toQ(expandUrlMacros(fromQ(urlEdit->text()), clock_, fs_)));
    } catch (const Error& e) {
        dialogs_.showMessage(withFullStop(e.what()), MessageIcon::Error);
    }
}

void MacroEditorDialog::insertDateBtnClick() {
    const DateMacroSettings settings{timeOffsetSpin->degrees(), fromQ(formatEdit->text())};
    insertIntoEdit(urlEdit, toQ(composeDateMacro(settings)));
}

void MacroEditorDialog::insertCounterBtnClick() {
    const CounterMacroSettings settings{counterMultiplierSpin->value(), counterOffset1Spin->value(),
                                        counterOffset2Spin->value(), leadingZeroChk->isChecked(),
                                        counterWidthSpin->value()};
    insertIntoEdit(urlEdit, toQ(composeCounterMacro(settings)));
}

void MacroEditorDialog::formatListDblClick() {
    const QModelIndexList rows = formatList->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    insertIntoEdit(formatEdit, formatList->item(rows.first().row(), 0)->text());
    formatEdit->setCursorPosition(formatEdit->selectionEnd());
    formatEdit->setFocus();
}

void MacroEditorDialog::findNextBtnClick() {
    const QString text = urlEdit->text();
    const std::string utf8 = fromQ(text);
    const int start =
        urlEdit->hasSelectedText() ? urlEdit->selectionStart() : urlEdit->cursorPosition();
    const size_t selStart = utf8Position(text, start);
    const size_t selEnd = utf8Position(text, start + urlEdit->selectionLength());
    const MacroElement element = findNextMacro(utf8, selStart, selEnd - selStart);
    if (element.found) {
        const int from = editPosition(utf8, element.start);
        urlEdit->setSelection(from, editPosition(utf8, element.end) - from);
        loadMacro(element);
    } else {
        urlEdit->setCursorPosition(static_cast<int>(text.size()));
    }
    urlEdit->setFocus();
}

void MacroEditorDialog::loadMacro(const MacroElement& element) {
    // The arguments are read in full before any field changes, so a macro that cannot be read
    // leaves the pages as they were.
    try {
        if (element.tag == "date") {
            const DateMacroSettings settings = readDateMacro(element.args);
            macroPageControl->setCurrentIndex(kDatePage);
            formatEdit->setText(toQ(settings.format));
            timeOffsetSpin->setDegrees(settings.offsetHours);
        } else if (element.tag == "counter") {
            const CounterMacroSettings settings = readCounterMacro(element.args);
            macroPageControl->setCurrentIndex(kCounterPage);
            setQuietly(counterMultiplierSpin, settings.multiplier);
            setQuietly(dividerSpin, reciprocal(settings.multiplier));
            setQuietly(counterOffset1Spin, settings.offset1);
            setQuietly(counterOffset2Spin, settings.offset2);
            leadingZeroChk->setChecked(settings.leadingZeros);
            counterWidthSpin->setValue(settings.width);
        }
    } catch (const Error& e) {
        dialogs_.showMessage(withFullStop(e.what()), MessageIcon::Error);
    }
}

} // namespace kestrix::gui
