// The program's pictures, drawn in code: tree node pictures, tool and speed button pictures.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kestrix::gui::icons {

// The five 14 x 14 node pictures, indexed as the link tree's picture index: root closed, root
// open, folder closed, folder open, link.
QPixmap nodePicture(int index);

enum class Counter { Start, Left, Right, End };
QIcon counterButton(Counter which);

enum class Tool {
    AutoLoad,
    ManualLoad,
    AbortLoad,
    MoveUp,
    MoveDown,
    Delete,
    Search,
    InsertFolder,
    InsertLink,
    Play,
    Loop,
    AbortAnimation,
    DeleteFrame,
    EraseAnimation,
    LinkDrag,
};
QIcon tool(Tool which);

// The program's own window icon.
QIcon application();

} // namespace kestrix::gui::icons
