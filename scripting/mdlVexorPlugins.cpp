#include "scripting/mdlVexorPlugins.h"

void TCPluginManager::registerPlugin(const QString& author, const QString& caption, const QString& command,
                                     const QString& info, quint8 category)
{
    add(TCPlugin{caption, command, info, author, category > TCPlugin::MaxCategory ? quint8(0) : category});
}
