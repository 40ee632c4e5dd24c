// Real message boxes as the user meets them (no dialog hook): each box that
// comes up is looked at from inside its own modal loop and then answered by
// a click through its own window, as a user answers it.
//
// What the user sees cannot be read from the offscreen platform's stacking,
// so a box counts as in front of window W when it is what a window manager
// stacks above W: W is its transient parent, and it shares W's stay-on-top
// layer (a manager keeps a normal window beneath stay-on-top ones, even ones
// that own it). And it is usable: the active and the modal window, taking
// the click that closes it.
#pragma once

#include "Dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <vector>

struct SeenBox {
    QString text;
    QPointer<QWidget> owner;   // the window the box belongs to
    QString ownerTitle;        // its caption then
    bool ownerInFront = false; // the box is stacked as a child of that window
    bool sameLayer = false;    // stay-on-top when the owner is, and only then
    bool active = false;       // the active window while it is up
    bool modal = false;        // the modal window while it is up
    bool answered = false;     // a click through its window closed it
};

class MessageBoxWatch {
public:
    // `press` is the button clicked in every box.
    explicit MessageBoxWatch(QMessageBox::StandardButton press = QMessageBox::Ok) : press_(press)
    {
        Dialogs::setHook(nullptr);
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start(5);
    }

    // Every box was in front of its owner and usable; `owners` names, box by
    // box, the window each was expected to belong to.
    void expectInFront(const std::vector<QWidget*>& owners) const
    {
        ASSERT_EQ(boxes.size(), owners.size());
        for (size_t i = 0; i < boxes.size(); ++i) {
            SCOPED_TRACE(boxes[i].text.toStdString());
            EXPECT_EQ(boxes[i].owner.data(), owners[i]) << "owned by " << boxes[i].ownerTitle.toStdString();
        }
        expectUsable();
    }
    // Every box was in front of its owner, whichever that was, and usable.
    void expectUsable() const
    {
        for (const SeenBox& b : boxes) {
            SCOPED_TRACE(b.text.toStdString());
            EXPECT_TRUE(b.ownerInFront);
            EXPECT_TRUE(b.sameLayer);
            EXPECT_TRUE(b.active);
            EXPECT_TRUE(b.modal);
            EXPECT_TRUE(b.answered);
        }
    }
    QStringList texts() const
    {
        QStringList t;
        for (const SeenBox& b : boxes)
            t << b.text;
        return t;
    }

    std::vector<SeenBox> boxes;

private:
    static bool onTop(const QWidget* w) { return w->windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

    void look()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box == last_.data())
            return;
        last_ = box;
        SeenBox seen;
        seen.text = box->text();
        seen.owner = box->parentWidget() ? box->parentWidget()->window() : nullptr;
        if (seen.owner)
            seen.ownerTitle = seen.owner->windowTitle();
        seen.ownerInFront = seen.owner && box->windowHandle()->transientParent() == seen.owner->windowHandle();
        seen.sameLayer = seen.owner && onTop(box) == onTop(seen.owner);
        seen.active = QTest::qWaitFor([box] { return QApplication::activeWindow() == box; }, 2000);
        seen.modal = QApplication::activeModalWidget() == box;
        if (QAbstractButton* button = box->button(press_)) {
            QPointer<QMessageBox> alive(box);
            QTest::mouseClick(box->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                              button->mapTo(box, button->rect().center()));
            seen.answered = !alive || !alive->isVisible();
        }
        boxes.push_back(seen);
        if (!seen.answered && last_)
            last_->done(QMessageBox::Cancel); // no test hangs on a box the click missed
    }

    QMessageBox::StandardButton press_;
    QTimer timer_;
    QPointer<QMessageBox> last_;
};
