#include "app/mdlAdvTablesCommand.h"

#include "app/frmMain.h"
#include "app/mdlActionManager.h"
#include "rom/clsRomDocument.h"
#include "scripting/frmScripts.h"
#include "scripting/mdlAdvTables.h"
#include "scripting/ui/frmAdvTables.h"

#include <QAction>
#include <QMenu>

TAdvTablesCommand::TAdvTablesCommand(TMainForm& form, TScriptForm& host) : m_form(form), m_host(host)
{
    QAction* open = form.actionManager()->add(QStringLiteral("ViewAdvTables"), tr("Advance &Tables..."),
                                              [this] { ViewAdvTablesExecute(); });
    form.addAction(open);
    // In the View menu after the work panels.
    if (auto* view = form.findChild<QMenu*>(QStringLiteral("mnuView"))) {
        const QList<QAction*> items = view->actions();
        QAction* after = form.actionManager()->action(QStringLiteral("ViewInjectorDuration"));
        const qsizetype at = items.indexOf(after);
        view->insertAction(at >= 0 && at + 1 < items.size() ? items.at(at + 1) : nullptr, open);
    }
    // The window's title and undo commands follow every edit made elsewhere.
    TRomDocument& doc = form.document();
    m_previousRefresh = doc.events.refresh;
    doc.events.refresh = [this] {
        if (m_previousRefresh)
            m_previousRefresh();
        if (m_window && m_window->isVisible())
            m_window->updateState();
    };
    // Another ROM: the table's functions read it, so the cells are fetched again.
    m_previousLoaded = doc.events.romLoaded;
    doc.events.romLoaded = [this] {
        if (m_previousLoaded)
            m_previousLoaded();
        if (m_window && m_window->isVisible())
            m_host.advTables().refresh();
    };
}

TAdvTablesCommand::~TAdvTablesCommand()
{
    m_form.document().events.refresh = m_previousRefresh;
    m_form.document().events.romLoaded = m_previousLoaded;
    delete m_window; // before the host whose tables it shows
}

TAdvanceTableForm* TAdvTablesCommand::window() const { return m_window; }

void TAdvTablesCommand::ViewAdvTablesExecute()
{
    if (!m_window) {
        m_window = new TAdvanceTableForm(m_host, &m_form.document(), &m_form);
        m_window->romChanged = [this] { m_form.refreshViews(); };
    }
    m_window->open();
}
