#include "app/mdlActionManager.h"

QAction* TActionManager::add(const QString& name, const QString& text, std::function<void()> execute,
                             const QList<QKeySequence>& shortcuts, bool checkable)
{
    auto* a = new QAction(text, this);
    a->setObjectName(name);
    if (!shortcuts.isEmpty())
        a->setShortcuts(shortcuts);
    // Check items show the state the updates compute; a click only executes.
    a->setCheckable(checkable);
    connect(a, &QAction::triggered, this, [this, a, name, execute = std::move(execute)] {
        if (a->isCheckable())
            a->setChecked(!a->isChecked()); // undo Qt's own toggle; the update sets the state
        if (!execute)
            return;
        if (m_runner)
            m_runner(name, execute);
        else
            execute();
    });
    m_actions.insert(name, a);
    m_ordered << a;
    return a;
}

void TActionManager::apply(const TCommandStates& states)
{
    for (auto it = states.cbegin(); it != states.cend(); ++it) {
        QAction* a = m_actions.value(it.key());
        if (!a)
            continue;
        const TCommandState& s = it.value();
        if (a->isEnabled() != s.Enabled)
            a->setEnabled(s.Enabled);
        if (a->isVisible() != s.Visible)
            a->setVisible(s.Visible);
        if (s.Checked && a->isCheckable() && a->isChecked() != *s.Checked)
            a->setChecked(*s.Checked);
    }
}
