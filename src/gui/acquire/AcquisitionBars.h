// The three bars around the picture that belong to image acquisition: the tool bar, the address
// bar with its history, and the status bar.
#pragma once

#include <QFrame>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace kestrix::gui {

// Panel15: "Auto Load", "Manual Load", "Abort Load".
class ToolBarPanel : public QFrame {
    Q_OBJECT
public:
    explicit ToolBarPanel(QWidget* parent = nullptr);
    QToolButton* autoLoadBtn;
    QToolButton* manualBtn;
    QToolButton* readAbortBtn;
};

// AddressBar: the link picture, the address field with its history, and "Go".
class AddressBarPanel : public QFrame {
    Q_OBJECT
public:
    explicit AddressBarPanel(QWidget* parent = nullptr);
    QLabel* linkImage;
    QComboBox* urlCombo;
    QPushButton* goBtn;

    std::string text() const;
    // Sets the address text without counting as a user edit.
    void setText(const std::string& text);
    std::vector<std::string> history() const;
    // Replaces the drop-down list, keeping the address text.
    void setHistory(const std::vector<std::string>& entries);

signals:
    // The user typed in the address field or chose an entry of its list.
    void edited(const QString& text);

protected:
    // The link picture starts a drag of the address.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPoint pressedAt_;
};

// StatusBar: " Reading:", " Age:", " Time:", " Error:", " Status:".
class StatusBarPanel : public QFrame {
    Q_OBJECT
public:
    explicit StatusBarPanel(QWidget* parent = nullptr);
    QLabel* readingDis;
    QLabel* ageDis;
    QLabel* timeOutDis;
    QLabel* errorDis;
    QLabel* statusDis;
    // Navy normally, red while a fetch runs.
    void setStatusColor(bool fetching);
};

} // namespace kestrix::gui
