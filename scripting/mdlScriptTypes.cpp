#include "scripting/mdlScriptTypes.h"

#include "rom/clsRomAddresses.h"

namespace {

constexpr quint8 ScriptToRom[] = {btP28, btP30, btP72, btPR3, btP13, btJDMPW0, btEDMPW0, btPM6, btPR4, btReserved9};
constexpr quint8 ScriptOtherFamily = 10;

} // namespace

quint8 scriptTypeToRomType(int scriptType)
{
    if (scriptType < 0 || scriptType >= int(std::size(ScriptToRom)))
        return btUnknown;
    return ScriptToRom[scriptType];
}

quint8 romTypeForScript(int romType)
{
    return (romType >= 0 && romType <= btReserved9) ? quint8(romType) : ScriptOtherFamily;
}
