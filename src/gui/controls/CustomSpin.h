// CustomSpin: the common part of the integer and real spin boxes. A line edit with a units
// caption panel and a pair of arrows inside its right edge; it filters typed characters, steps on
// the arrows and the Up/Down keys (ten steps with Ctrl) and tidies its text when the focus leaves.
#pragma once

#include "core/util/FormatSettings.h"

#include <QLineEdit>
#include <string>

class QLabel;

namespace kestrix::gui {

class UpDownButton;

class CustomSpin : public QLineEdit {
    Q_OBJECT
public:
    explicit CustomSpin(QWidget* parent = nullptr);

    // When false the text cannot be typed, only spun with the arrows and keys.
    bool editorEnabled() const { return editorEnabled_; }
    void setEditorEnabled(bool enabled);
    // Neither typing nor spinning; a refused step beeps. Also sets the line edit's own flag.
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly);
    // The caption in a small panel left of the arrows; no panel while it is empty.
    const QString& unitsString() const { return unitsString_; }
    void setUnitsString(const QString& units);
    // The panel's width; 0 sizes it to the caption plus 6 pixels.
    int panelWidth() const { return panelWidth_; }
    void setPanelWidth(int width);
    // While true, onChange does not fire.
    bool blockChangeEvent() const { return blockChangeEvent_; }
    void setBlockChangeEvent(bool block) { blockChangeEvent_ = block; }

    UpDownButton* arrows() const { return arrows_; }
    QLabel* unitsPanel() const { return unitsPanel_; }

signals:
    // Every change of the text, typed or written, unless blockChangeEvent is on.
    void onChange();

protected:
    // One step up or down; `ctrl` asks for ten.
    virtual void step(bool up, bool ctrl) = 0;
    virtual bool acceptsKey(char32_t c) const = 0;
    // Rewrites the text in canonical form when the focus leaves the box.
    virtual void normalise() = 0;
    // Runs on every change of the text, before onChange; `written` tells the box's own writes
    // from the user's edits.
    virtual void textChangedHook(bool) {}
    // The locale's separators changed; formatSettings() already holds the new ones.
    virtual void localeChangedHook() {}

    const FormatSettings& formatSettings() const { return fs_; }
    // Shows a text written by the box itself.
    void showText(const std::string& text);

    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void spin(bool up, bool ctrl);
    void textChanged();
    void layoutChildren();
    void updateMinimumHeight();
    int frameWidth() const;

    UpDownButton* arrows_;
    QLabel* unitsPanel_;
    FormatSettings fs_;
    QString unitsString_;
    int panelWidth_ = 0;
    bool editorEnabled_ = true;
    bool readOnly_ = false;
    bool blockChangeEvent_ = false;
    bool writing_ = false;
};

} // namespace kestrix::gui
