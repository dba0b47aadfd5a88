#include "gui/CommandActions.h"

#include <QAction>
#include <QApplication>
#include <QCursor>

namespace kestrix::gui {

QAction* namedAction(QObject* owner, const char* name, const QString& caption) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(name);
    return action;
}

QAction* commandAction(QObject* owner, const char* name, const QString& caption,
                       const CommandRunner& run, Command command) {
    QAction* action = namedAction(owner, name, caption);
    QObject::connect(action, &QAction::triggered, owner,
                     [run, command = std::move(command)] { run(command); });
    return action;
}

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

} // namespace kestrix::gui
