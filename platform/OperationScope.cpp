#include "OperationScope.h"

#include <QAction>
#include <QWidget>
#include <QtGlobal>

#include <exception>
#include <utility>

OperationScope::~OperationScope()
{
    // Nothing may leave a destructor, and another exception may be on its way
    // to the handler already. An end step that raises breaks its contract:
    // it is logged, and the remaining steps still run.
    for (;;) {
        try {
            end();
            return;
        } catch (const std::exception& e) {
            qCritical("An operation's end step failed: %s", e.what());
        } catch (...) {
            qCritical("An operation's end step failed");
        }
    }
}

void OperationScope::busy(bool& flag)
{
    const bool was = flag;
    flag = true;
    push([&flag, was] { flag = was; });
}

void OperationScope::busy(int& count)
{
    ++count;
    push([&count] { --count; });
}

void OperationScope::busy(const std::function<void(bool)>& state)
{
    state(true);
    push([state] { state(false); });
}

namespace {
// Disables `control` (a widget or an action) and returns the step that gives
// it back the state it had, unless it is gone by then.
template <class Control>
std::function<void()> disabled(Control* control)
{
    const QPointer<Control> watched(control);
    const bool was = control->isEnabled();
    control->setEnabled(false);
    return [watched, was] {
        if (watched)
            watched->setEnabled(was);
    };
}
} // namespace

void OperationScope::disable(std::initializer_list<QObject*> controls)
{
    for (QObject* control : controls) {
        if (auto* widget = qobject_cast<QWidget*>(control))
            push(disabled(widget));
        else if (auto* action = qobject_cast<QAction*>(control))
            push(disabled(action));
    }
}

void OperationScope::atEnd(std::function<void()> step)
{
    push(std::move(step));
}

void OperationScope::end()
{
    // Taken off before it runs, so that a step that raises is not run again.
    while (!entries_.empty()) {
        Entry entry = std::move(entries_.back());
        entries_.pop_back();
        if (entry.owned && !entry.alive)
            (void)entry.owned.release(); // its Qt owner deleted it already
        if (entry.undo)
            entry.undo();
        entry.owned.reset();
    }
}

void OperationScope::push(std::function<void()> undo)
{
    entries_.push_back(Entry{std::move(undo), nullptr, nullptr});
}

void OperationScope::keep(std::unique_ptr<QObject> object, std::function<void()> clear)
{
    const QPointer<QObject> alive(object.get());
    entries_.push_back(Entry{std::move(clear), std::move(object), alive});
}
