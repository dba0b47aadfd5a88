// The main menu and the link tree's pop-up menu, with every item named as the program names it.
#pragma once

class QMainWindow;
class QMenu;
class QWidget;

namespace kestrix::gui {

void buildMainMenu(QMainWindow* window);
QMenu* buildTreePopup(QWidget* parent);

} // namespace kestrix::gui
