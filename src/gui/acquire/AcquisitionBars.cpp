#include "AcquisitionBars.h"

#include "Icons.h"
#include "QtText.h"
#include "links/LinkTreeView.h"
#include "widgets/Fields.h"

#include <QApplication>
#include <QComboBox>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

namespace kestrix::gui {

namespace {

QToolButton* toolButton(const char* name, const char* caption, const char* hint,
                        icons::Tool icon, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setToolTip(hint);
    b->setIcon(icons::tool(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    return b;
}

} // namespace

ToolBarPanel::ToolBarPanel(QWidget* parent) : QFrame(parent) {
    setObjectName("Panel15");
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    AutoLoadBtn = toolButton("AutoLoadBtn", "Auto Load", "Enable Auto Load", icons::Tool::AutoLoad,
                             this);
    AutoLoadBtn->setCheckable(true);
    ManualBtn = toolButton("ManualBtn", "Manual Load", "Manual Load Image", icons::Tool::ManualLoad,
                           this);
    ReadAbortBtn = toolButton("ReadAbortBtn", "Abort Load", "Abort Loading",
                              icons::Tool::AbortLoad, this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(AutoLoadBtn);
    layout->addWidget(ManualBtn);
    layout->addWidget(ReadAbortBtn);
    layout->addStretch(1);
}

AddressBarPanel::AddressBarPanel(QWidget* parent) : QFrame(parent) {
    setObjectName("AddressBar");
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    LinkImage = new QLabel(this);
    LinkImage->setObjectName("LinkImage");
    LinkImage->setPixmap(icons::tool(icons::Tool::LinkDrag).pixmap(20, 20));
    LinkImage->setToolTip("Drag Links");
    LinkImage->setCursor(Qt::PointingHandCursor);
    URLCombo = new QComboBox(this);
    URLCombo->setObjectName("URLCombo");
    URLCombo->setEditable(true);
    URLCombo->setInsertPolicy(QComboBox::NoInsert);
    URLCombo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    URLCombo->setMaxVisibleItems(12);
    GoBtn = new QPushButton("Go", this);
    GoBtn->setObjectName("GoBtn");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(new QLabel("  Address ", this));
    layout->addWidget(LinkImage);
    layout->addWidget(URLCombo, 1);
    layout->addWidget(GoBtn);
    LinkImage->installEventFilter(this);
    connect(URLCombo->lineEdit(), &QLineEdit::textEdited, this, &AddressBarPanel::edited);
    connect(URLCombo, &QComboBox::textActivated, this, &AddressBarPanel::edited);
}

bool AddressBarPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LinkImage && event->type() == QEvent::MouseButtonPress) {
        pressedAt_ = static_cast<QMouseEvent*>(event)->position().toPoint();
    } else if (watched == LinkImage && event->type() == QEvent::MouseMove) {
        const auto* move = static_cast<QMouseEvent*>(event);
        if ((move->buttons() & Qt::LeftButton) &&
            (move->position().toPoint() - pressedAt_).manhattanLength() >=
                QApplication::startDragDistance()) {
            auto* drag = new QDrag(LinkImage);
            auto* data = new QMimeData;
            data->setData(kAddressMime, URLCombo->currentText().toUtf8());
            drag->setMimeData(data);
            drag->setPixmap(LinkImage->pixmap());
            drag->exec(Qt::CopyAction);
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

std::string AddressBarPanel::text() const { return fromQ(URLCombo->currentText()); }

void AddressBarPanel::setText(const std::string& text) {
    QSignalBlocker block(URLCombo);
    URLCombo->setEditText(toQ(text));
}

std::vector<std::string> AddressBarPanel::history() const {
    std::vector<std::string> out;
    for (int i = 0; i < URLCombo->count(); ++i)
        out.push_back(fromQ(URLCombo->itemText(i)));
    return out;
}

void AddressBarPanel::setHistory(const std::vector<std::string>& entries) {
    const QString text = URLCombo->currentText();
    QSignalBlocker block(URLCombo);
    URLCombo->clear();
    for (const std::string& e : entries)
        URLCombo->addItem(toQ(e));
    URLCombo->setCurrentIndex(-1);
    URLCombo->setEditText(text);
}

StatusBarPanel::StatusBarPanel(QWidget* parent) : QFrame(parent) {
    setObjectName("StatusBar");
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    ReadingDis = valueField("ReadingDis", this, 70);
    AgeDis = valueField("AgeDis", this, 50);
    TimeOutDis = valueField("TimeOutDis", this, 40);
    ErrorDis = valueField("ErrorDis", this, 200);
    StatusDis = valueField("StatusDis", this, 200);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 1, 4, 1);
    const std::pair<const char*, QLabel*> fields[] = {{" Reading:", ReadingDis},
                                                      {" Age:", AgeDis},
                                                      {" Time:", TimeOutDis},
                                                      {" Error:", ErrorDis},
                                                      {" Status:", StatusDis}};
    for (const auto& [caption, value] : fields) {
        layout->addWidget(fieldLabel(caption, this));
        layout->addWidget(value, value == ErrorDis || value == StatusDis ? 1 : 0);
    }
}

void StatusBarPanel::setStatusColor(bool fetching) {
    QPalette p = StatusDis->palette();
    p.setColor(QPalette::WindowText, fetching ? QColor(255, 0, 0) : navy());
    StatusDis->setPalette(p);
}

} // namespace kestrix::gui
