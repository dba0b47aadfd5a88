// The main menu and the link tree's pop-up menu. They only place the actions the features own;
// the order and the separators are the program's documented menu layout.
#pragma once

#include "gui/WindowCommands.h"
#include "gui/frames/FrameFileCommands.h"
#include "gui/links/LinkEditCommands.h"
#include "gui/links/LinkFileCommands.h"
#include "gui/movie/MovieCommands.h"

class QMainWindow;
class QMenu;
class QWidget;

namespace kestrix::gui {

struct MenuActions {
    const LinkFileCommands::Actions& linkFiles;
    const LinkEditCommands::Actions& linkEdit;
    const FrameFileCommands::Actions& frameFiles;
    const MovieCommands::Actions& movies;
    const WindowCommands::Actions& window;
};

void buildMainMenu(QMainWindow* window, const MenuActions& actions);
QMenu* buildTreePopup(QWidget* parent, const MenuActions& actions);

} // namespace kestrix::gui
