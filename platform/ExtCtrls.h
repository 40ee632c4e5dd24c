// A group of radio buttons with one chosen item, as the forms use for
// either-or settings.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QRadioButton;
class QVBoxLayout;

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

    // The chosen item, -1 for none.
    int ItemIndex() const;
    // Chooses item `index` (-1 chooses none); Click follows a change.
    void SetItemIndex(int index);
    QRadioButton* Button(int index) const;
    int Count() const;

signals:
    // The chosen item changed, by the user or the program.
    void Click();

private:
    QButtonGroup* group_;
    QVBoxLayout* layout_;
};
