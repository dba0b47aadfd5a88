// The pieces every feature uses to offer its commands: one runner through which all commands pass
// (it turns a failure into the error box), and the named actions the menus place.
#pragma once

#include <QString>
#include <functional>

class QAction;
class QObject;

namespace kestrix::gui {

using Command = std::function<void()>;
using CommandRunner = std::function<void(const Command&)>;

// An action owned by `owner`, with the menu item's documented object name and caption.
QAction* namedAction(QObject* owner, const char* name, const QString& caption);

// The same, running `command` through `run` when triggered.
QAction* commandAction(QObject* owner, const char* name, const QString& caption,
                       const CommandRunner& run, Command command);

// Shows the busy cursor for its lifetime.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace kestrix::gui
