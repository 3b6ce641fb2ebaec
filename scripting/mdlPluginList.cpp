#include "scripting/mdlPluginList.h"

#include "scripting/frmScripts.h"
#include "settings/mdlFileDialogs.h"
#include "settings/mdlFiles.h"
#include "settings/mdlMessages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

namespace {

const QString IncludeOpen = QStringLiteral("include('");
const QString IncludeClose = QStringLiteral("');");
const QString CrLf = QStringLiteral("\r\n");
const QString EditorTitle = QStringLiteral("Plugins Manager");
const QString InstallTitle = QStringLiteral("Plugin Installation");
const QString DialogFilter = QStringLiteral("Plugin Scripts|*.js|All Files|*.*");

QString withSlash(const QString& folder) { return folder.endsWith(u'/') ? folder : folder + u'/'; }

// Lines end in CR LF, LF or a lone CR; a final line break ends the last line
// rather than starting an empty one.
QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

bool isMarker(const QString& line, const char* marker) { return line.trimmed() == QLatin1String(marker); }

// One line between the markers: the include(' before the name and the first
// "'); " after it removed. The name's escapes are undone up to its first
// unescaped quote, so an escaped quote or "');" inside a path cannot cut it
// short; text around the call is kept, as hand-edited files may carry it.
QString entryFromLine(const QString& line)
{
    const qsizetype open = line.indexOf(IncludeOpen);
    if (open < 0)
        return unescapePluginPath(line.trimmed());
    const qsizetype from = open + IncludeOpen.size();
    qsizetype i = from;
    while (i < line.size() && line.at(i) != u'\'')
        i += (line.at(i) == u'\\' && i + 1 < line.size()) ? 2 : 1;
    const QString literal = line.mid(from, i - from);
    QString after = line.mid(i);
    // A quote left unescaped inside the name (files written before quotes
    // were escaped) does not end it: the first "');" then does.
    const qsizetype close = after.indexOf(IncludeClose);
    if (close >= 0)
        after.remove(close, IncludeClose.size());
    return line.left(open).trimmed() + unescapePluginPath(literal) + after.trimmed();
}

// Scripts are UTF-8 when the bytes are valid UTF-8, else one character per byte.
QString decodeWithFlag(const QByteArray& bytes, bool* utf8)
{
    const QString text = decodeScriptText(bytes);
    *utf8 = text.toUtf8() == bytes && !bytes.isEmpty();
    return text;
}

} // namespace

QString escapePluginPath(const QString& path)
{
    QString out;
    out.reserve(path.size() + path.size() / 4);
    for (const QChar c : path) {
        if (c == u'\\')
            out += QLatin1String("\\\\");
        else if (c == u'\'')
            out += QLatin1String("\\'");
        else if (c == u'\r')
            out += QLatin1String("\\r");
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else
            out += c;
    }
    return out;
}

QString unescapePluginPath(const QString& literal)
{
    QString out;
    out.reserve(literal.size());
    for (qsizetype i = 0; i < literal.size(); ++i) {
        const QChar c = literal.at(i);
        if (c != u'\\' || i + 1 >= literal.size()) {
            out += c;
            continue;
        }
        const QChar next = literal.at(i + 1);
        if (next == u'\\' || next == u'\'')
            out += next;
        else if (next == u'r')
            out += u'\r';
        else if (next == u'n')
            out += u'\n';
        else {
            out += c; // not one of ours: the backslash stays as written
            continue;
        }
        ++i;
    }
    return out;
}

TPluginList readPluginList(const QString& text)
{
    TPluginList list;
    list.fileExisted = true;
    enum { Header, Entries, Trailer } part = Header;
    for (const QString& line : splitLines(text)) {
        switch (part) {
        case Header:
            if (isMarker(line, PluginListBegin))
                part = Entries;
            else
                list.header += line + CrLf;
            break;
        case Entries:
            if (isMarker(line, PluginListEnd))
                part = Trailer;
            else if (!line.trimmed().isEmpty()) // a blank line would become include('')
                list.paths << entryFromLine(line);
            break;
        case Trailer: break;
        }
    }
    return list;
}

QString writePluginList(const TPluginList& list)
{
    QString out = list.fileExisted ? list.header : QString::fromLatin1(PluginListNewHeader);
    out += QLatin1String(PluginListBegin) + CrLf;
    for (const QString& path : list.paths)
        out += IncludeOpen + escapePluginPath(path) + IncludeClose + CrLf;
    out += QLatin1String(PluginListEnd) + CrLf;
    return out;
}

QString toPluginPath(const QString& path, const QString& programFolder, const QString& userFolder)
{
    const QString clean = QDir::cleanPath(path);
    for (const auto& [folder, prefix] :
         {std::pair{programFolder, ProgramFolderPrefix}, {userFolder, UserFolderPrefix}}) {
        if (folder.isEmpty())
            continue;
        const QString root = withSlash(QDir::cleanPath(folder));
        if (clean.startsWith(root)) {
            QString rest = clean.mid(root.size());
            return QLatin1String(prefix) + rest.replace(u'/', u'\\');
        }
    }
    return path;
}

QString expandPluginPrefixes(const QString& stored, const QString& programFolder, const QString& userFolder)
{
    QString name = stored;
    auto replaceFirst = [&name](const QString& what, const QString& with) {
        const qsizetype at = name.indexOf(what);
        if (at >= 0)
            name.replace(at, what.size(), with);
    };
    const QString program = withSlash(programFolder);
    const QString user = withSlash(userFolder);
    replaceFirst(QLatin1String(ProgramFolderPrefix), program);
    replaceFirst(QLatin1String(UserFolderPrefix), user);
    replaceFirst(QStringLiteral("$(VEXOR)/"), program);
    replaceFirst(QStringLiteral("$(APPDATA)/"), user);
    return name;
}

QString expandPluginPath(const QString& stored, const QString& programFolder, const QString& userFolder)
{
    return expandPluginPrefixes(stored, programFolder, userFolder).replace(u'\\', u'/');
}

QString resolvePluginPath(const QString& stored, const QString& programFolder, const QString& userFolder)
{
    const QString local = expandPluginPath(stored, programFolder, userFolder);
    if (local.isEmpty())
        return QString();
    for (const QString& candidate : {withSlash(programFolder) + local, withSlash(userFolder) + local, local})
        if (QFileInfo(candidate).isFile())
            return candidate;
    return QString();
}

// --- the editor ----------------------------------------------------------------

TPluginEditor::TPluginEditor(const TServices& services, QString programFolder, QString userFolder)
    : m_services(services), m_programFolder(std::move(programFolder)), m_userFolder(std::move(userFolder))
{}

QString TPluginEditor::filePath() const { return withSlash(m_userFolder) + QLatin1String(PluginListFileName); }

void TPluginEditor::load()
{
    m_list = TPluginList{};
    m_selected = -1;
    m_readError = false;
    m_utf8 = false;
    const QString path = filePath();
    if (!QFileInfo::exists(path)) {
        if (m_services.messages)
            m_services.messages->showMessage(QStringLiteral("'plugins.js' could not be found."), EditorTitle,
                                             TMsgKind::Warning, TMsgButton::OK);
        notify();
        return;
    }
    QFile f(path);
    QByteArray bytes;
    if (f.open(QIODevice::ReadOnly))
        bytes = f.readAll();
    if (!f.isOpen() || f.error() != QFileDevice::NoError) {
        m_readError = true;
        m_list.fileExisted = true;
        if (m_services.messages)
            m_services.messages->showMessage(QStringLiteral("Cannot read file \"%1\". %2").arg(path, f.errorString()),
                                             QString(), TMsgKind::Error, TMsgButton::OK);
        notify();
        return;
    }
    m_list = readPluginList(decodeWithFlag(bytes, &m_utf8));
    notify();
}

bool TPluginEditor::save()
{
    const QString path = filePath();
    QString error;
    if (m_readError)
        error = QStringLiteral("'%1' could not be read, so it was not replaced.").arg(path);
    else if (ensureFolder(m_userFolder, &error)) {
        const QString text = writePluginList(m_list);
        // Written back in the encoding it was read in, unless a new path needs UTF-8.
        const QByteArray bytes = (m_utf8 || !fitsLatin1(text)) ? text.toUtf8() : text.toLatin1();
        QString why;
        if (writeFileAtomic(path, bytes, &why)) {
            m_list.fileExisted = true;
            return true;
        }
        error = QStringLiteral("Cannot create file \"%1\". %2").arg(path, why);
    }
    if (m_services.messages)
        m_services.messages->showMessage(error, QString(), TMsgKind::Error, TMsgButton::OK);
    return false;
}

bool TPluginEditor::entryExists(int index) const
{
    if (index < 0 || index >= m_list.paths.size())
        return false;
    return !resolvePluginPath(m_list.paths.at(index), m_programFolder, m_userFolder).isEmpty();
}

void TPluginEditor::select(int index)
{
    m_selected = (index >= 0 && index < m_list.paths.size()) ? index : -1;
    if (m_selected >= 0)
        m_path = m_list.paths.at(m_selected);
    notify();
}

void TPluginEditor::setPathText(const QString& text)
{
    m_path = text;
    notify();
}

bool TPluginEditor::canAdd() const { return !m_path.isEmpty() && !m_list.paths.contains(m_path); }
bool TPluginEditor::canReplace() const { return canAdd() && m_selected >= 0; }
bool TPluginEditor::canDelete() const { return m_selected >= 0; }
bool TPluginEditor::canMoveUp() const { return m_selected > 0; }
bool TPluginEditor::canMoveDown() const { return m_selected >= 0 && m_selected < m_list.paths.size() - 1; }
bool TPluginEditor::canDeletePaths() const { return !m_list.paths.isEmpty(); }

void TPluginEditor::add()
{
    if (!canAdd())
        return;
    m_list.paths << m_path;
    notify();
}

void TPluginEditor::replace()
{
    if (!canReplace())
        return;
    m_list.paths[m_selected] = m_path;
    notify();
}

void TPluginEditor::remove()
{
    if (!canDelete())
        return;
    m_list.paths.removeAt(m_selected);
    // The next entry takes the place, so several can go in a row.
    m_selected = std::min(m_selected, int(m_list.paths.size()) - 1);
    notify();
}

void TPluginEditor::moveUp()
{
    if (!canMoveUp())
        return;
    m_list.paths.swapItemsAt(m_selected, m_selected - 1);
    --m_selected;
    notify();
}

void TPluginEditor::moveDown()
{
    if (!canMoveDown())
        return;
    m_list.paths.swapItemsAt(m_selected, m_selected + 1);
    ++m_selected;
    notify();
}

void TPluginEditor::deletePaths()
{
    for (int i = int(m_list.paths.size()) - 1; i >= 0; --i)
        if (!entryExists(i))
            m_list.paths.removeAt(i);
    m_selected = -1;
    notify();
}

QString TPluginEditor::storedForm(const QString& path) const
{
    return toPluginPath(path, m_programFolder, m_userFolder);
}

QString TPluginEditor::dialogFolder() const
{
    if (m_path.isEmpty())
        return QString();
    return QFileInfo(expandPluginPath(m_path, m_programFolder, m_userFolder)).path();
}

bool TPluginEditor::browse()
{
    if (!m_services.fileDialogs)
        return false;
    TFileDialogRequest request;
    request.title = QStringLiteral("Select Plugin");
    request.filter = DialogFilter;
    request.initialDir = dialogFolder();
    const std::optional<QString> chosen = m_services.fileDialogs->openFile(request);
    if (!chosen || chosen->isEmpty())
        return false;
    setPathText(storedForm(*chosen));
    return true;
}

bool TPluginEditor::install()
{
    if (!m_services.fileDialogs)
        return false;
    TFileDialogRequest request;
    request.title = QStringLiteral("Install Plugin");
    request.filter = DialogFilter;
    // The shipped examples are the likely first choice.
    const QString shipped = withSlash(m_programFolder) + QStringLiteral("plugins");
    request.initialDir = QFileInfo(shipped).isDir() ? shipped : dialogFolder();
    const std::optional<QString> chosen = m_services.fileDialogs->openFile(request);
    if (!chosen || chosen->isEmpty())
        return false;
    return installPath(*chosen);
}

bool TPluginEditor::installPath(const QString& path)
{
    const QString stored = storedForm(path);
    if (m_list.paths.contains(stored)) {
        if (m_services.messages)
            m_services.messages->showMessage(QStringLiteral("This plugin is already installed."), InstallTitle,
                                             TMsgKind::Warning, TMsgButton::OK);
        return false;
    }
    m_list.paths << stored;
    notify();
    return true;
}

bool TPluginEditor::removePath(const QString& path)
{
    qsizetype at = m_list.paths.indexOf(path);
    if (at < 0)
        at = m_list.paths.indexOf(storedForm(path));
    if (at < 0)
        return false;
    m_list.paths.removeAt(at);
    m_selected = -1;
    notify();
    return true;
}

void TPluginEditor::notify()
{
    if (changed)
        changed();
}
