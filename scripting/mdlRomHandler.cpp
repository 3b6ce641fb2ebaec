#include "scripting/mdlRomHandler.h"

#include "rom/clsRomAddresses.h"
#include "scripting/mdlScriptTypes.h"

void TCRomHandlerManager::registerHandler(quint8 scriptType, const QString& author, const QString& handler)
{
    add(TCRomHandler{scriptTypeToRomType(scriptType), handler, author});
}

void TCRomHandlerManager::run(quint8 romType, const std::function<void(const QString&)>& evaluate) const
{
    if (romType == btVexorAu || romType == btVexorAuNoMap)
        return;
    // A copy: a handler may reload the scripts, which clears the registry.
    const QVector<TCRomHandler> handlers = items();
    for (const TCRomHandler& h : handlers)
        if (h.ecuType == romType)
            evaluate(h.handler);
}
