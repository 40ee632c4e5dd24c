// The set-up dialog opened on the stand-in sensor's image pair, with a user's
// hands: clicking tree nodes, typing into edits, choosing list items. Every
// message the dialog shows is collected (and answered by `answer`); the
// images are compared byte for byte with the expected change.
#pragma once

#include "ComCtrls.h"
#include "Dialogs.h"
#include "HvSensor_Quarn.h"
#include "QtPrinters.h"
#include "SensorSetupUnit.h"
#include "Standin.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QStackedWidget>
#include <QStringList>
#include <QTest>
#include <QTreeWidgetItem>

#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

// Offsets where two images differ, as text ("" when they are equal).
template <typename Image>
std::string imageDifferences(const Image& actual, const Image& expected)
{
    const auto* a = reinterpret_cast<const uint8_t*>(&actual);
    const auto* e = reinterpret_cast<const uint8_t*>(&expected);
    std::ostringstream out;
    int shown = 0;
    for (size_t i = 0; i < sizeof(Image); ++i)
        if (a[i] != e[i] && shown++ < 16)
            out << "byte " << i << ": " << int(a[i]) << " expected " << int(e[i]) << "\n";
    return out.str();
}

class SetupDialogFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dialogs::setHook([this](const ShownMessage& m) {
            messages << m.text;
            return answer ? answer(m) : int(mrOk);
        });
        device = std::make_unique<TSensor_Quarn>(nullptr);
        setImages(standin::defaultImages());
        device->Status.MemoryCapacity = 2097152;
        device->Status.MemoryUsed = 524288;
        std::memcpy(device->Status.FirmwareVersion, "2.31", 5);
    }

    void TearDown() override
    {
        form.reset();
        device.reset();
        Dialogs::setHook(nullptr);
    }

    // The images the dialog will be opened on (and the ones edits are
    // compared with).
    void setImages(const standin::SensorImages& images)
    {
        device->ConfData = images.conf;
        device->CalData = images.cal;
        conf = images.conf;
        cal = images.cal;
    }

    void open()
    {
        form = std::make_unique<TSensorSetupForm>(nullptr, &device->ConfData, &device->CalData, &device->Status,
                                                  device.get());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    // The expected images: what the test changed in `conf` and `cal` since
    // setImages, and nothing else.
    void expectImages()
    {
        EXPECT_EQ(imageDifferences(device->ConfData, conf), "") << "configuration image";
        EXPECT_EQ(imageDifferences(device->CalData, cal), "") << "calibration image";
    }

    // --- the tree -----------------------------------------------------------------
    QTreeWidgetItem* node(const QStringList& path) const
    {
        QTreeWidgetItem* n = form->RootNode;
        for (const QString& name : path) {
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; n && i < n->childCount() && !next; ++i)
                if (n->child(i)->text(0) == name)
                    next = n->child(i);
            n = next;
        }
        return n;
    }

    // Clicks a node as the user does and waits for its page.
    void click(QTreeWidgetItem* n)
    {
        ASSERT_NE(n, nullptr);
        TTreeView* tree = form->Treeview;
        tree->scrollToItem(n);
        const QPoint at = tree->visualItemRect(n).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        // The tree reports a change after its delay; then the page is filled.
        QTest::qWait(tree->ChangeDelay() + 30);
        QApplication::processEvents();
    }
    void click(const QStringList& path) { click(node(path)); }

    QWidget* page() const { return form->PropertiesPageControl->currentWidget(); }

    // --- typing ---------------------------------------------------------------------
    // Empties an edit with backspaces (the key every filter lets through)
    // and types `text`, key by key.
    static void retype(QWidget* edit, const QString& text, int length)
    {
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_End);
        for (int i = 0; i < length; ++i)
            QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    static void retype(QLineEdit* edit, const QString& text) { retype(edit, text, int(edit->text().size())); }

    // Selects the whole text, as a drag of the mouse does, and types `text`
    // over it (an empty text: erases it with backspace).
    static void replace(QWidget* edit, const QString& text)
    {
        edit->setFocus();
        if (auto* line = qobject_cast<QLineEdit*>(edit))
            line->selectAll();
        else if (auto* spin = qobject_cast<QAbstractSpinBox*>(edit))
            spin->selectAll();
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Backspace);
        else
            QTest::keyClicks(edit, text);
    }

    // Clicks a check box or radio button where the user does.
    static void tick(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
        QApplication::processEvents();
    }

    // Chooses an item of a drop-down list with the mouse.
    static void choose(QComboBox* combo, const QString& text)
    {
        const int index = combo->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        combo->showPopup();
        QAbstractItemView* view = combo->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
        const QModelIndex item = view->model()->index(index, 0);
        view->scrollTo(item);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(item).center());
        QApplication::processEvents();
    }

    std::unique_ptr<TSensor_Quarn> device;
    std::unique_ptr<TSensorSetupForm> form;
    ConfigurationData conf{};
    CalibrationData cal{};
    QStringList messages;
    std::function<int(const ShownMessage&)> answer;
};
