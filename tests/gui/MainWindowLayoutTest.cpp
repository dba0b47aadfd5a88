#include "WindowFixture.h"
#include "gui/controls/RealSpin.h"
#include "gui/frames/FrameCounter.h"
#include "gui/widgets/PictureView.h"
#include "gui/widgets/RadioGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>

using namespace kestrix;
using namespace kestrix::test;

namespace {

struct ButtonState {
    const char* name;
    const char* text;
    const char* hint;
    bool checked;
};

} // namespace

TEST_F(WindowTest, ControlsStartWithTheirCaptionsHintsAndStates) {
    start();
    const ButtonState buttons[] = {
        {"AutoLoadBtn", "Auto Load", "Enable Auto Load", false},
        {"ManualBtn", "Manual Load", "Manual Load Image", false},
        {"ReadAbortBtn", "Abort Load", "Abort Loading", false},
        {"MoveUpBtn", "", "Move Up", false},
        {"MoveDnBtn", "", "Move Down", false},
        {"DeleteBtn", "", "Delete", false},
        {"FindBtn", "", "Search", false},
        {"FolderBtn", "", "Insert Folder", false},
        {"LinkBtn", "", "Insert Link", false},
        {"PlayAnimBtn", "", "Play Animation", false},
        {"LoopBtn", "", "Loop Animation", false},
        {"AnimateAbortBtn", "", "Abort Animation", false},
        {"DelPointBtn", "", "Delete Frame", false},
        {"ClearBtn", "", "Erase Animation", false},
        {"GoBtn", "Go", "", false},
        {"FlawsBtn", "Remove Flaws      ", "Remove Defects", false},
        {"DupBtn", "Remove Duplicates", "Remove Defects", false},
        {"ResetBCGBtn", "Reset", "", false},
        {"BCGAllBtn", " Permanent", "", false},
        {"AverageBtn", "Average All Frames", "", false},
        {"ResizeBtn", "Resize", "", false},
        {"ResizeAllBtn", "Resize All", "Resize All Images", false},
        {"ResetSizeBtn", "Reset", "", false},
        {"CaptureChk", "Capture Animation", "", true},
        {"DifferenceChk", "Motion Detection", "", false},
        {"GIFAnimationChk", "Load GIF Animations", "", true},
        {"IncAnimationChk", "Incremental GIF Load", "", false},
        {"ClearOldChk", "Clear Old Animations", "", true},
        {"AllFramesChk", "Apply To All Frames", "", false},
        {"ActualSizeChk", "Use Actual Size", "", false},
    };
    for (const auto& b : buttons) {
        auto* w = find<QAbstractButton>(b.name);
        ASSERT_NE(w, nullptr);
        if (*b.text) {
            EXPECT_EQ(w->text().toStdString(), b.text) << b.name;
        }
        EXPECT_EQ(w->toolTip().toStdString(), b.hint) << b.name;
        EXPECT_EQ(w->isChecked(), b.checked) << b.name;
        EXPECT_TRUE(w->isEnabled()) << b.name;
    }
    EXPECT_TRUE(find<QToolButton>("AutoLoadBtn")->isCheckable());
    EXPECT_TRUE(find<QToolButton>("LoopBtn")->isCheckable());
    EXPECT_TRUE(find<QPushButton>("DiffBtn")->isHidden());
    EXPECT_EQ(find<QLabel>("LinkImage")->toolTip(), "Drag Links");
    EXPECT_TRUE(find<QComboBox>("URLCombo")->isEditable());
    EXPECT_FALSE(find<QWidget>("AddressBar")->isHidden());

    auto* pages = find<QTabWidget>("PageControl1");
    ASSERT_EQ(pages->count(), 4);
    EXPECT_EQ(pages->tabText(0), "Image Links");
    EXPECT_EQ(pages->tabText(1), "Animation");
    EXPECT_EQ(pages->tabText(2), "Image Tools");
    EXPECT_EQ(pages->tabText(3), "Size");
    EXPECT_EQ(pages->currentIndex(), 0);

    for (const char* bar : {"BrightnessBar", "ContrastBar", "GammaBar"}) {
        auto* s = find<QSlider>(bar);
        EXPECT_EQ(s->minimum(), 0);
        EXPECT_EQ(s->maximum(), 100);
        EXPECT_EQ(s->value(), 50);
        EXPECT_EQ(s->tickInterval(), 10);
        EXPECT_EQ(s->tickPosition(), QSlider::TicksBelow);
    }
    const std::pair<const char*, const char*> fields[] = {
        {"ModifiedDis", ""},
        {"BrightDis", ""},
        {"ContrastDis", ""},
        {"GammaDis", ""},
        {"ImageSizeDis", " 639 x 433"},
        {"IncUnitsDis", "Percent"},
        {"PercentDis", " 0"},
        {"ReadingDis", ""},
        {"AgeDis", ""},
        {"TimeOutDis", ""},
        {"ErrorDis", ""},
        {"StatusDis", ""},
        {"ImageTimeDis", ""},
        {"ImageIntervalDis", ""},
        {"AveIntervalDis", ""},
        {"BMSizeDis", "639x433"},
        {"CurrentLinkDis", "Mt. Saint Hellens "},
    };
    for (const auto& [name, text] : fields)
        EXPECT_EQ(find<QLabel>(name)->text().toStdString(), text) << name;
    EXPECT_EQ(find<QLabel>("StatusDis")->palette().color(QPalette::WindowText), QColor(0, 0, 128));

    auto* units = find<gui::RadioGroup>("UnitsRadio");
    EXPECT_EQ(units->title(), "Units");
    EXPECT_EQ(units->itemIndex(), 0);
    EXPECT_EQ(units->itemText(1), "Pixels");
    auto* inc = find<gui::RadioGroup>("IncRadio");
    EXPECT_EQ(inc->count(), 6);
    EXPECT_EQ(inc->itemText(inc->itemIndex()), "10");
    auto* sharp = find<gui::RadioGroup>("SharpGroup");
    EXPECT_EQ(sharp->itemText(sharp->itemIndex()), "Sharp");
    EXPECT_EQ(find<QGroupBox>("GroupBox3")->title(), " Image Size");

    auto* fps = find<gui::RealSpin>("FPSSpin");
    EXPECT_EQ(fps->value(), 10);
    EXPECT_EQ(fps->minValue(), 0.5);
    EXPECT_EQ(fps->maxValue(), 200);
    auto* counter = find<gui::FrameCounter>("FrameCounter");
    EXPECT_EQ(counter->maxFrames(), 0);
    EXPECT_EQ(counter->caption(), "");
    EXPECT_TRUE(counter->showCount());
    EXPECT_FALSE(counter->wrap());
    EXPECT_EQ(find<QProgressBar>("Gauge1")->value(), 0);
    EXPECT_TRUE(find<QScrollArea>("ScrollBox1")->widgetResizable());
    EXPECT_EQ(find<gui::PictureView>("Image1")->picture().width(), 639);
}

TEST_F(WindowTest, MenusHoldEveryItemInOrder) {
    start();
    auto captions = [&](const char* menu) {
        std::vector<std::string> out;
        for (QAction* a : find<QMenu>(menu)->actions())
            out.push_back(a->isSeparator() ? "-" : a->text().toStdString());
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(captions("File1"),
              (V{"&Load Links...", "Insert Links...", "-", "&Save Links...", "Sa&ve Links As...",
                 "Save Selected Branch...", "-", "Save &Bitmap...", "Save &Picture As...", "-",
                 "Load Frames...", "Save Frames...", "-", "Save &Avi File...", "Save MP4 Movie...",
                 "Save Animated GIF...", "Load Animated GIF...", "-", "E&xit"}));
    EXPECT_EQ(captions("Edit1"), (V{"&Copy Image", "&Search Links...", "-",
                                    "&Address Bar - Edit Macros...", "View With Browser"}));
    EXPECT_EQ(captions("Links1"), (V{"Add Folder", "Add Link", "Delete Item", "Edit Link",
                                     "Edit Macros...", "-", "Expand All", "Collapse All"}));
    EXPECT_EQ(captions("Options1"), (V{"&Settings...", "Address Bar", "-", "Save Settings"}));
    EXPECT_EQ(captions("Help1"), (V{"&Contents", "-", "&About..."}));
    EXPECT_EQ(captions("TreePopup"),
              (V{"&Select", "-", "Add &Folder", "Add &Link", "-", "&Delete", "&Edit",
                 "Edit &Macros...", "-", "&Find", "Move &Up", "Move D&own"}));
    auto* addressBar = find<QAction>("AddressBarMnu");
    EXPECT_TRUE(addressBar->isCheckable());
    EXPECT_TRUE(addressBar->isChecked());
    QStringList titles;
    for (QAction* a : window->menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "Links", "&Options", "&Help"}));
    for (const char* name : {"LoadLinksMnu",
                             "InsertLinksMnu",
                             "SaveLinksMnu",
                             "SaveLinkAsMnu",
                             "SaveSelectedBranchMnu",
                             "SaveBitmapMnu",
                             "LoadFrames1",
                             "SaveFrames1",
                             "SaveAviMnu",
                             "SaveMp4Mnu",
                             "SaveAnimatedGIFMnu",
                             "LoadAnimatedGIF1",
                             "ExitMnu",
                             "CopyMnu",
                             "SearchLinks1",
                             "MacroEditorMnu",
                             "ViewWithBrowserMnu",
                             "AddFolderMnu",
                             "AddLinkMnu",
                             "DeleteNodeMnu",
                             "EditNodeMnu",
                             "EditMacrosMnu",
                             "ExpandAllMnu",
                             "ContractAllMnu",
                             "SettingsMnu",
                             "SaveSettingsMnu",
                             "HelpContentsMnu",
                             "AboutMnu",
                             "Select1",
                             "PopAddFolderMnu",
                             "PopAddLinkMnu",
                             "PopDeleteNodeMnu",
                             "PopEditNodeMnu",
                             "PopEditMacrosMnu",
                             "Find1",
                             "MoveUp1",
                             "MoveDown1"})
        find<QAction>(name);
}

TEST_F(WindowTest, MenuItemsFollowTheSelectedNodesKind) {
    start();
    LinkTree& tree = window->links().tree();
    auto enabled = [&](const char* name) { return find<QAction>(name)->isEnabled(); };
    struct Case {
        LinkNode* node;
        bool add, edit, macros;
    } cases[] = {{tree.root(), true, false, false},
                 {tree.root()->child(0), true, true, false},
                 {tree.root()->child(0)->child(0), false, true, true}};
    for (const auto& c : cases) {
        tree.select(c.node);
        EXPECT_EQ(enabled("PopAddFolderMnu"), c.add);
        EXPECT_EQ(enabled("AddLinkMnu"), c.add);
        EXPECT_EQ(enabled("PopDeleteNodeMnu"), c.edit);
        EXPECT_EQ(enabled("EditNodeMnu"), c.edit);
        EXPECT_EQ(enabled("EditMacrosMnu"), c.macros);
        EXPECT_EQ(enabled("PopEditMacrosMnu"), c.macros);
    }
}
