#pragma once

// The action manager of the main window: every command as a QAction named by
// its command name ("FileOpen", "EditInterpolate" ...), found by that name by
// menus, tool bars, scripts and tests. Executions go through one runner, so a
// failure of the model reaches the user as an error box instead of escaping
// into the event loop.

#include "app/mdlCommandStates.h"

#include <QAction>
#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class TActionManager : public QObject {
    Q_OBJECT
public:
    using Runner = std::function<void(const QString& name, const std::function<void()>& execute)>;

    explicit TActionManager(QObject* parent = nullptr) : QObject(parent) {}

    // Every execution is handed to the runner (default: run directly).
    void setRunner(Runner runner) { m_runner = std::move(runner); }

    // A command; `checkable` makes it a check item whose state the updates set.
    QAction* add(const QString& name, const QString& text, std::function<void()> execute,
                 const QList<QKeySequence>& shortcuts = {}, bool checkable = false);
    [[nodiscard]] QAction* action(const QString& name) const { return m_actions.value(name); }
    [[nodiscard]] const QList<QAction*>& actions() const { return m_ordered; }

    // Applies computed states to the commands that exist; a state for a
    // command the window does not hold is ignored.
    void apply(const TCommandStates& states);

private:
    QHash<QString, QAction*> m_actions;
    QList<QAction*> m_ordered;
    Runner m_runner;
};

// A command of a command group that lives beside the main window (datalog,
// auto-tune, emulator ...): it does nothing once its group is gone, and the
// group refreshes its command states after each run.
template <class Group>
QAction* addGroupCommand(TActionManager& manager, Group* group, const char* name, const QString& text,
                         std::function<void()> execute, bool checkable = false)
{
    const QPointer<Group> self(group);
    return manager.add(
        QLatin1String(name), text,
        [self, execute = std::move(execute)] {
            if (!self)
                return;
            execute();
            self->updateCommandStates();
        },
        {}, checkable);
}
