#include "scripting/mdlVexorPlugins.h"

void TCPluginManager::registerPlugin(const QString& author, const QString& caption, const QString& command,
                                     const QString& info, quint8 category)
{
    add(TCPlugin{caption, command, info, author, category > TCPlugin::MaxCategory ? quint8(0) : category});
}

TCCustomTable TCCustomTable::unknown()
{
    constexpr quint8 UnknownWidth = 10;
    constexpr quint8 UnknownHeight = 2;
    TCCustomTable t;
    t.name = QStringLiteral("Unknown");
    t.width = UnknownWidth;
    t.height = UnknownHeight;
    return t;
}
