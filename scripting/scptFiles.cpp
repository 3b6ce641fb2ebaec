#include "scripting/scptFiles.h"

#include "scripting/frmScripts.h"
#include "scripting/mdlScriptArgs.h"
#include "scripting/scptWindow.h"
#include "settings/mdlFileDialogs.h"
#include "settings/mdlFiles.h"

#include <QFileInfo>

TFilesScript::TFilesScript(TScriptForm& host, QObject* parent) : QObject(parent), m_host(host) {}

QString TFilesScript::localName(const QJSValue& filename) { return TWindowScript::text(filename).replace(u'\\', u'/'); }

QString TFilesScript::dialog(bool save, const QJSValue& filter, double filterIndex)
{
    return scriptGuard(this, [&] {
        TFileDialogRequest request;
        request.title = save ? QStringLiteral("Save As") : QStringLiteral("Open");
        request.filter = TWindowScript::text(filter);
        request.filterIndex = scriptArg<qint32>(filterIndex, "FilterIndex");
        IFileDialogService* dialogs = m_host.environment().services.fileDialogs;
        if (!dialogs)
            return QString();
        std::optional<QString> chosen;
        {
            TWatchdogPause pause(m_host);
            chosen = save ? dialogs->saveFile(request) : dialogs->openFile(request);
        }
        return chosen.value_or(QString());
    });
}

QString TFilesScript::showOpen(const QJSValue& Filter, double FilterIndex)
{
    return dialog(false, Filter, FilterIndex);
}

QString TFilesScript::showSave(const QJSValue& Filter, double FilterIndex) { return dialog(true, Filter, FilterIndex); }

int TFilesScript::exists(const QJSValue& filename) { return QFileInfo(localName(filename)).isFile() ? 1 : 0; }

QString TFilesScript::getFile(const QJSValue& filename)
{
    return scriptGuard(this, [&] {
        const QString path = localName(filename);
        if (!QFileInfo::exists(path))
            return QString();
        return readFile(path);
    });
}

void TFilesScript::putFile(const QJSValue& filename, const QJSValue& Data)
{
    scriptGuard(this, [&] {
        const QString path = localName(filename);
        QString why;
        if (!writeFileAtomic(path, encodeLatin1OrUtf8(TWindowScript::text(Data)), &why))
            throw EVexorError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, why));
    });
}

QJSValue TFilesScript::browseFolder() { return QJSValue(); }
