#include "gui/acquire/AcquisitionBars.h"

#include "gui/Icons.h"
#include "gui/QtText.h"
#include "gui/links/LinkTreeView.h"
#include "gui/widgets/Fields.h"

#include <QApplication>
#include <QComboBox>
#include <QDrag>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

namespace kestrix::gui {

namespace {

QToolButton* toolButton(const char* name, const char* caption, const char* hint, icons::Tool icon,
                        QWidget* parent) {
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
    autoLoadBtn =
        toolButton("AutoLoadBtn", "Auto Load", "Enable Auto Load", icons::Tool::AutoLoad, this);
    autoLoadBtn->setCheckable(true);
    manualBtn =
        toolButton("ManualBtn", "Manual Load", "Manual Load Image", icons::Tool::ManualLoad, this);
    readAbortBtn =
        toolButton("ReadAbortBtn", "Abort Load", "Abort Loading", icons::Tool::AbortLoad, this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(autoLoadBtn);
    layout->addWidget(manualBtn);
    layout->addWidget(readAbortBtn);
    layout->addStretch(1);
}

AddressBarPanel::AddressBarPanel(QWidget* parent) : QFrame(parent) {
    setObjectName("AddressBar");
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    linkImage = new QLabel(this);
    linkImage->setObjectName("LinkImage");
    linkImage->setPixmap(icons::tool(icons::Tool::LinkDrag).pixmap(20, 20));
    linkImage->setToolTip("Drag Links");
    linkImage->setCursor(Qt::PointingHandCursor);
    urlCombo = new QComboBox(this);
    urlCombo->setObjectName("URLCombo");
    urlCombo->setEditable(true);
    urlCombo->setInsertPolicy(QComboBox::NoInsert);
    urlCombo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    urlCombo->setMaxVisibleItems(12);
    goBtn = new QPushButton("Go", this);
    goBtn->setObjectName("GoBtn");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(new QLabel("  Address ", this));
    layout->addWidget(linkImage);
    layout->addWidget(urlCombo, 1);
    layout->addWidget(goBtn);
    linkImage->installEventFilter(this);
    connect(urlCombo->lineEdit(), &QLineEdit::textEdited, this, &AddressBarPanel::edited);
    connect(urlCombo, &QComboBox::textActivated, this, &AddressBarPanel::edited);
}

bool AddressBarPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == linkImage && event->type() == QEvent::MouseButtonPress) {
        pressedAt_ = static_cast<QMouseEvent*>(event)->position().toPoint();
    } else if (watched == linkImage && event->type() == QEvent::MouseMove) {
        const auto* move = static_cast<QMouseEvent*>(event);
        if ((move->buttons() & Qt::LeftButton) &&
            (move->position().toPoint() - pressedAt_).manhattanLength() >=
                QApplication::startDragDistance()) {
            auto* drag = new QDrag(linkImage);
            auto* data = new QMimeData;
            data->setData(kAddressMime, urlCombo->currentText().toUtf8());
            drag->setMimeData(data);
            drag->setPixmap(linkImage->pixmap());
            drag->exec(Qt::CopyAction);
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

std::string AddressBarPanel::text() const {
    return fromQ(urlCombo->currentText());
}

void AddressBarPanel::setText(const std::string& text) {
    QSignalBlocker block(urlCombo);
    urlCombo->setEditText(toQ(text));
}

std::vector<std::string> AddressBarPanel::history() const {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(urlCombo->count()));
    for (int i = 0; i < urlCombo->count(); ++i)
        out.push_back(fromQ(urlCombo->itemText(i)));
    return out;
}

void AddressBarPanel::setHistory(const std::vector<std::string>& entries) {
    const QString text = urlCombo->currentText();
    QSignalBlocker block(urlCombo);
    urlCombo->clear();
    for (const std::string& e : entries)
        urlCombo->addItem(toQ(e));
    urlCombo->setCurrentIndex(-1);
    urlCombo->setEditText(text);
}

StatusBarPanel::StatusBarPanel(QWidget* parent) : QFrame(parent) {
    setObjectName("StatusBar");
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    readingDis = valueField("ReadingDis", this, 70);
    ageDis = valueField("AgeDis", this, 50);
    timeOutDis = valueField("TimeOutDis", this, 40);
    errorDis = valueField("ErrorDis", this, 200);
    statusDis = valueField("StatusDis", this, 200);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 1, 4, 1);
    const std::pair<const char*, QLabel*> fields[] = {{" Reading:", readingDis},
                                                      {" Age:", ageDis},
                                                      {" Time:", timeOutDis},
                                                      {" Error:", errorDis},
                                                      {" Status:", statusDis}};
    for (const auto& [caption, value] : fields) {
        layout->addWidget(fieldLabel(caption, this));
        layout->addWidget(value, value == errorDis || value == statusDis ? 1 : 0);
    }
}

void StatusBarPanel::setStatusColor(bool fetching) {
    QPalette p = statusDis->palette();
    p.setColor(QPalette::WindowText, fetching ? QColor(255, 0, 0) : navy());
    statusDis->setPalette(p);
}

} // namespace kestrix::gui
