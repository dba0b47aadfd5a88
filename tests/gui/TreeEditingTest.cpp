#include "WindowFixture.h"
#include "gui/controls/DegreeSpin.h"
#include "gui/links/FindDialog.h"
#include "gui/links/LinkPane.h"
#include "gui/links/LinkTreeModel.h"
#include "gui/links/LinkTreeView.h"
#include "gui/links/NodeEditDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace kestrix;
using namespace kestrix::test;

namespace {

// Answers the next modal dialog: `fill` edits it, then OK (or Cancel).
void answerDialog(QDialog& dialog, std::function<void()> fill, bool ok = true) {
    QTimer::singleShot(0, &dialog, [&dialog, fill = std::move(fill), ok] {
        if (fill)
            fill();
        ok ? dialog.accept() : dialog.reject();
    });
}

LinkNode* byName(LinkTree& tree, const std::string& name) {
    LinkNode* found = nullptr;
    tree.forEachNode([&](LinkNode* n) { return n->text() == name ? (found = n, true) : false; });
    return found;
}

// Whether the box shows its whole text: with the cursor at the end, the start is still in view.
bool showsWholeText(QLineEdit* edit) {
    edit->setCursorPosition(static_cast<int>(edit->text().size()));
    edit->grab(); // lays the text out for the box's width
    return edit->cursorPositionAt(QPoint(edit->contentsRect().left() + 2, edit->height() / 2)) == 0;
}

} // namespace

TEST_F(WindowTest, AddEditAndDeleteFollowTheNodeKind) {
    start();
    LinkTree& tree = window->links().tree();
    gui::NodeEditDialog& editor = window->nodeEditDialog();
    tree.select(byName(tree, "Denver"));
    find<QToolButton>("FolderBtn")->click(); // a link is selected: nothing, no dialog
    find<QToolButton>("LinkBtn")->click();
    EXPECT_EQ(tree.nodeCount(), 11);
    EXPECT_EQ(find<QLabel>("ModifiedDis")->text(), "");
    tree.select(tree.root());
    find<QToolButton>("DeleteBtn")->click(); // the root: nothing, no question
    EXPECT_TRUE(dialogs.asked.empty());

    // Add Link on a folder: the dialog starts with the new link's defaults.
    tree.select(byName(tree, "Colorado"));
    std::string startedWith;
    answerDialog(editor, [&] {
        startedWith = editor.nameEdit->text().toStdString() + "|" +
                      editor.urlEdit->text().toStdString() + "|" +
                      editor.windowTitle().toStdString();
        editor.nameEdit->setText("Pueblo");
        editor.urlEdit->setText("''http://r/p.gif'");
    });
    find<QAction>("AddLinkMnu")->trigger();
    EXPECT_EQ(startedWith, "New Link/URL|http://www.|Edit Name/Web Address");
    LinkNode* pueblo = byName(tree, "Pueblo");
    ASSERT_NE(pueblo, nullptr);
    EXPECT_EQ(pueblo->data().url, "http://r/p.gif");
    EXPECT_EQ(pueblo->data().delay, 60);
    EXPECT_EQ(pueblo->parent(), byName(tree, "Colorado"));
    EXPECT_EQ(find<QLabel>("ModifiedDis")->text(), "Yes");

    // Edit of a folder followed by Cancel still marks the tree modified.
    window->links().setLinksModified(false);
    tree.select(byName(tree, "Weather"));
    answerDialog(
        editor, [&] { EXPECT_EQ(editor.windowTitle(), "Edit Folder Name"); }, false);
    find<QAction>("EditNodeMnu")->trigger();
    EXPECT_TRUE(window->links().modified());

    // Edit of a link: the node takes the edits and becomes the current link.
    tree.select(pueblo);
    answerDialog(editor, [&] {
        editor.nameEdit->setText("Radar: Pueblo");
        editor.delaySpin->setDegrees(0.5);
    });
    find<QAction>("PopEditNodeMnu")->trigger();
    EXPECT_EQ(pueblo->text(), "Radar: Pueblo");
    EXPECT_EQ(pueblo->data().delay, 1800);
    EXPECT_EQ(window->currentLink().name, "Radar: Pueblo");
    EXPECT_EQ(find<QComboBox>("URLCombo")->currentText(), "http://r/p.gif");
    EXPECT_EQ(window->windowTitle(), " Pueblo (0) - Kestrix");

    // Delete asks with the node's name.
    dialogs.answers = {Answer::No, Answer::Yes};
    find<QToolButton>("DeleteBtn")->click();
    EXPECT_NE(byName(tree, "Radar: Pueblo"), nullptr);
    find<QAction>("DeleteNodeMnu")->trigger();
    EXPECT_EQ(dialogs.asked.back(), "Do you want to Delete: Radar: Pueblo");
    EXPECT_EQ(byName(tree, "Radar: Pueblo"), nullptr);
}

TEST_F(WindowTest, TheLinkDialogKeepsIntervalsInRange) {
    start();
    gui::NodeEditDialog& editor = window->nodeEditDialog();
    struct Case {
        int32_t stored;
        QString hours, minutes, seconds;
        int32_t returned;
    } cases[] = {
        {0, "0", "0", "1", 1}, {3000000, "720", "0", "0", 2592000}, {90, "0", "1", "30", 90}};
    for (const auto& c : cases) {
        std::string name = "n", url = "''''";
        int32_t delay = c.stored;
        QString shown;
        answerDialog(editor, [&] {
            shown = editor.delaySpin->box(0)->text() + "," + editor.delaySpin->box(1)->text() +
                    "," + editor.delaySpin->box(2)->text();
        });
        ASSERT_TRUE(editor.editLinkDialog(name, url, delay));
        EXPECT_EQ(shown, c.hours + "," + c.minutes + "," + c.seconds);
        EXPECT_EQ(delay, c.returned);
        EXPECT_EQ(url, ""); // only apostrophes: empty
    }
}

// The dialog opens wide enough for the whole address (the built-in sample's, a macro address),
// at most two thirds of the screen for a very long one, and can be made wider, the address box
// widening with it. Folder mode is no taller than its one box needs.
TEST_F(WindowTest, TheLinkDialogShowsTheWholeAddress) {
    start();
    gui::NodeEditDialog& editor = window->nodeEditDialog();
    const int screenWidth = editor.screen()->availableGeometry().width();
    struct Case {
        std::string url;
        bool whole;
    } cases[] = {{"http://volcanoes.usgs.gov/vsc/captures/st_helens/jro-webcam.jpg", true},
                 {"http://radar.example/composite/<date>0,yyyymmdd_hhnn</date>_loop.gif", true},
                 {"http://a.example/" + std::string(238, 'w'), false}};
    for (const Case& c : cases) {
        std::string name = "Radar", url = c.url;
        int32_t delay = 300;
        bool whole = false;
        int boxWidth = 0, widened = 0;
        answerDialog(editor, [&] {
            QLineEdit* edit = editor.findChild<QLineEdit*>("URLEdit");
            whole = showsWholeText(edit);
            boxWidth = edit->width();
            editor.resize(editor.width() + 150, editor.height());
            QApplication::sendPostedEvents(); // the layout follows the new size
            widened = edit->width() - boxWidth;
        });
        ASSERT_TRUE(editor.editLinkDialog(name, url, delay));
        EXPECT_EQ(whole, c.whole) << c.url;
        EXPECT_LE(boxWidth, screenWidth * 2 / 3) << c.url;
        EXPECT_EQ(widened, 150) << c.url;
    }
    int folderHeight = 0, linkHeight = editor.height();
    answerDialog(editor, [&] { folderHeight = editor.height(); });
    std::string folder = "Weather";
    ASSERT_TRUE(editor.editFolderDialog(folder));
    EXPECT_LT(folderHeight, linkHeight / 2);
}

// "Fi&nd what:" shows its N underlined, as the key that puts the focus in the text box.
TEST_F(WindowTest, TheFindDialogsLabelGivesAltNToTheTextBox) {
    start();
    gui::FindDialog& findDialog = window->findDialog();
    auto* text = findDialog.findChild<QLineEdit*>("FindText");
    QLabel* label = nullptr;
    for (QLabel* l : findDialog.findChildren<QLabel*>())
        if (l->text() == "Fi&nd what:")
            label = l;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->buddy(), text);
    findDialog.show();
    QApplication::setActiveWindow(&findDialog);
    findDialog.findChild<QPushButton*>("FindNextBtn")->setFocus();
    QTest::keyClick(&findDialog, Qt::Key_N, Qt::AltModifier);
    EXPECT_TRUE(text->hasFocus());
    findDialog.hide();
}

TEST_F(WindowTest, MovesSearchRenameAndDrops) {
    start();
    LinkTree& tree = window->links().tree();
    gui::LinkPane* pane = window->findChild<gui::LinkPane*>();
    ASSERT_NE(pane, nullptr);
    tree.select(byName(tree, "City Cams"));
    find<QToolButton>("MoveUpBtn")->click(); // already first: not modified
    EXPECT_EQ(find<QLabel>("ModifiedDis")->text(), "");
    find<QToolButton>("MoveDnBtn")->click();
    EXPECT_EQ(tree.root()->child(1)->text(), "City Cams");
    EXPECT_EQ(find<QLabel>("ModifiedDis")->text(), "Yes");

    // Searching down for "den" from the root finds Denver.
    tree.select(tree.root());
    find<QToolButton>("FindBtn")->click();
    gui::FindDialog& findDialog = window->findDialog();
    EXPECT_TRUE(findDialog.isVisible());
    findDialog.setText("DEN");
    emit findDialog.findNext();
    EXPECT_EQ(tree.selected()->text(), "Denver");

    // Renaming in place is allowed for folders and links, never the root.
    pane->view()->setCurrentIndex(pane->model()->indexOf(tree.root()));
    emit pane->clicked();
    EXPECT_EQ(pane->view()->editTriggers(), QAbstractItemView::NoEditTriggers);
    LinkNode* denver = byName(tree, "Denver");
    tree.select(denver);
    emit pane->clicked();
    EXPECT_NE(pane->view()->editTriggers(), QAbstractItemView::NoEditTriggers);
    window->links().setLinksModified(false);
    pane->model()->setData(pane->model()->indexOf(denver), "Denver West", Qt::EditRole);
    EXPECT_EQ(denver->text(), "Denver West");
    EXPECT_TRUE(window->links().modified());

    // Drags: a folder onto a link is refused; a link onto a link lands before it.
    gui::LinkTreeView* view = pane->view();
    view->expandAll();
    QMimeData node, address;
    node.setData(gui::kNodeMime, {});
    address.setData(gui::kAddressMime, {});
    LinkNode* weather = byName(tree, "Weather");
    LinkNode* elRancho = byName(tree, "El Rancho");
    // Selecting may scroll the view: the point is taken after each selection.
    auto onRancho = [&] { return view->visualRect(pane->model()->indexOf(elRancho)).center(); };
    tree.select(weather);
    EXPECT_FALSE(view->acceptsDrop(&node, onRancho()));
    EXPECT_TRUE(view->acceptsDrop(&address, onRancho()));
    tree.select(byName(tree, "Mt. Saint Hellens"));
    EXPECT_TRUE(view->acceptsDrop(&node, onRancho()));
    emit view->nodeDropped(pane->model()->indexOf(elRancho));
    EXPECT_EQ(byName(tree, "Mt. Saint Hellens")->parent(), byName(tree, "City Cams"));
    EXPECT_EQ(byName(tree, "City Cams")->child(0)->text(), "Mt. Saint Hellens");

    // The address bar's picture dropped on a link in a folder: "New" at the end of the folder.
    find<QComboBox>("URLCombo")->setEditText("http://x/new.jpg");
    emit view->addressDropped(pane->model()->indexOf(byName(tree, "Denver West")));
    LinkNode* colorado = byName(tree, "Colorado");
    EXPECT_EQ(colorado->child(colorado->childCount() - 1)->text(), "New");
    EXPECT_EQ(colorado->child(colorado->childCount() - 1)->data().url, "http://x/new.jpg");
}
