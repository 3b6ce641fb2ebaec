#pragma once

// ROM handlers: script expressions evaluated when a ROM of a given type is
// loaded or reloaded, registered by window.addRomHandler.

#include "scripting/mdlVexorPlugins.h"

#include <QString>
#include <functional>

struct TCRomHandler {
    quint8 ecuType = 0; // the ROM model's type code (TBaseType)
    QString handler;    // expression evaluated on load
    QString author;
    friend bool operator==(const TCRomHandler&, const TCRomHandler&) = default;
};

class TCRomHandlerManager : public TCRegistry<TCRomHandler> {
public:
    // Registers with the script's type number translated to the model's
    // code (scriptTypeToRomType: 3 and 4 exchanged, above 9 unknown).
    void registerHandler(quint8 scriptType, const QString& author, const QString& handler);
    // Evaluates, in registration order, every handler registered for the type
    // (nothing for the extended family's codes 10 and 11). An exception from
    // `evaluate` ends the run there and reaches the caller: the later
    // handlers do not run.
    void run(quint8 romType, const std::function<void(const QString&)>& evaluate) const;
};
