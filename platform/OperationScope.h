// The bracket of one long operation (anything that waits for the sensor):
// while the scope lives the window is busy, the controls that could start
// another operation are disabled, and the operation's progress window (and
// its timer) belongs to the scope. When the scope ends, by a return or by an
// exception, everything it took is given back in the reverse order: owned
// objects deleted and their members cleared, end steps run, controls back as
// they were, busy state ended.
//
// The end shows no message and raises nothing: a message about the outcome
// is shown by the operation's own code after end() (or after the scope's
// block), and an exception goes on to the handler wrapper (Forms.h), which
// shows it once everything is back.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class OperationScope {
public:
    OperationScope() = default;
    ~OperationScope();
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

    // Busy state: `flag` is true until the scope ends, then as it was.
    void busy(bool& flag);
    // `count` is one higher until the scope ends.
    void busy(int& count);
    // `state(true)` now and `state(false)` when the scope ends.
    void busy(const std::function<void(bool)>& state);

    // Disables each control (a widget or a menu action) until the scope ends,
    // then gives it back the state it had. A control named twice ends as it
    // began.
    void disable(std::initializer_list<QObject*> controls);

    // A step that puts the window back when the operation ends (its page, its
    // buttons). It must show no message and raise nothing.
    void atEnd(std::function<void()> step);

    // Takes `object` (a progress window, a timer) for the operation: it is
    // deleted when the scope ends, and `member`, which points at it
    // meanwhile, is cleared first. An object its Qt owner deleted already is
    // not deleted again.
    template <class Object>
    Object* own(std::unique_ptr<Object> object, Object*& member)
    {
        Object* raw = object.get();
        member = raw;
        Object** where = &member;
        keep(std::unique_ptr<QObject>(object.release()), [where, raw] {
            if (*where == raw)
                *where = nullptr;
        });
        return raw;
    }
    template <class Object>
    Object* own(std::unique_ptr<Object> object)
    {
        Object* raw = object.get();
        keep(std::unique_ptr<QObject>(object.release()), {});
        return raw;
    }

    // Ends the operation now, as the end of the scope would; later calls do
    // nothing.
    void end();

private:
    struct Entry {
        std::function<void()> undo;
        std::unique_ptr<QObject> owned;
        QPointer<QObject> alive;
    };
    void push(std::function<void()> undo);
    void keep(std::unique_ptr<QObject> object, std::function<void()> clear);

    std::vector<Entry> entries_;
};
