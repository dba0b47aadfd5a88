#include "gui/AboutDialog.h"

#include "gui/Icons.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace kestrix::gui {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutDlg");
    setWindowTitle("About Kestrix");
    auto* icon = new QLabel(this);
    icon->setPixmap(icons::application().pixmap(64, 64));
    auto* name = new QLabel("<b>Kestrix</b>", this);
    name->setObjectName("ProductName");
    auto* version = new QLabel("Version " KESTRIX_VERSION, this);
    version->setObjectName("Version");
    auto* text = new QLabel("Watches images that the web publishes at fixed addresses:\n"
                            "web cameras, weather radar, volcano cameras.",
                            this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    layout->addWidget(name, 0, Qt::AlignHCenter);
    layout->addWidget(version, 0, Qt::AlignHCenter);
    layout->addWidget(text);
    layout->addWidget(buttons);
}

} // namespace kestrix::gui
