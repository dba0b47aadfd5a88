// A captioned group of radio buttons laid out in columns, addressed by item index.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;

namespace kestrix::gui {

class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, const QStringList& items, int columns,
               QWidget* parent = nullptr);

    int itemIndex() const;
    // Checks item `index` without emitting `clicked`.
    void setItemIndex(int index);
    QString itemText(int index) const;
    int count() const;

signals:
    // A user click on item `index`.
    void itemClicked(int index);

private:
    QButtonGroup* buttons_;
};

} // namespace kestrix::gui
