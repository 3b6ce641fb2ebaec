#include "rom/clsRomDocument.h"

#include "rom/clsRom.h"
#include "rom/mdlCodePatches.h"
#include "rom/mdlRomFiles.h"
#include "settings/mdlFileDialogs.h"
#include "settings/mdlFiles.h"
#include "settings/mdlSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <algorithm>

namespace {

const QString CaptionPrefix = QStringLiteral("< VEXOR > - ");

// Clears a flag when the scope ends, errors from handlers and scripts included,
// so a failed load never leaves the outside-change check switched off.
class TFlagGuard {
public:
    explicit TFlagGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~TFlagGuard() { m_flag = false; }
    TFlagGuard(const TFlagGuard&) = delete;
    TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
    bool& m_flag;
};

// Notes another editor wrote as UTF-8: valid UTF-8 holding at least one
// multi-byte character that decodes and encodes back to the same bytes. Only
// then are they shown decoded; anything else is one character per byte.
bool isUtf8Notes(const QByteArray& bytes)
{
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return quint8(c) < 0x80; });
    return !ascii && QString::fromUtf8(bytes).toUtf8() == bytes;
}

// The line break the notes already use, so an edit in a "\n" editor keeps the
// file's convention. Notes without any break get the memo's usual "\r\n".
QString notesLineBreak(const QString& notes)
{
    if (notes.contains(QLatin1String("\r\n")))
        return QStringLiteral("\r\n");
    if (notes.contains(QLatin1Char('\r')))
        return QStringLiteral("\r");
    if (notes.contains(QLatin1Char('\n')))
        return QStringLiteral("\n");
    return QStringLiteral("\r\n");
}

} // namespace

bool isReadOnlyFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    // The mode bits, not WriteUser: that one says what this process may do,
    // and for root it is always set.
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return !info.isWritable() || !(info.permissions() & anyWrite);
}

bool writeRomFile(TRom& rom, const QString& path, QString* error)
{
    const QFileInfo info(path);
    // QSaveFile renames over the target, which would replace a file whose
    // write permission was taken away: refuse instead, like the system would
    // for a direct write.
    if (info.exists() && !info.isDir() && isReadOnlyFile(path)) {
        if (error)
            *error = QStringLiteral("'%1' is read-only.").arg(path);
        return false;
    }
    return saveRomImage(rom, path, error);
}

QString quickSaveName(const QString& documentPath, const QTime& time)
{
    const QFileInfo info(documentPath);
    QString name = info.fileName();
    if (name.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive))
        name.chop(4);
    const QTime t = time.isValid() ? time : QTime::currentTime();
    name += QLatin1Char('.') + t.toString(QStringLiteral("hhmmss")) + QStringLiteral(".bin");
    return QDir(info.absolutePath()).filePath(name);
}

TRomDocument::TRomDocument(TRom& rom, const TServices& services) : m_rom(rom), m_services(services)
{
    Q_ASSERT(m_services.messages && m_services.fileDialogs);
}

TRomDocument::~TRomDocument() = default;

QString TRomDocument::path() const { return m_path.isEmpty() ? QString::fromLatin1(Untitled) : m_path; }

QString TRomDocument::fileName() const
{
    return m_path.isEmpty() ? QString::fromLatin1(Untitled) : QFileInfo(m_path).fileName();
}

bool TRomDocument::modified() const { return m_rom.buffer().modified(); }

bool TRomDocument::romLoaded() const { return m_rom.isLoaded(); }

QString TRomDocument::caption() const
{
    QString c = CaptionPrefix + fileName();
    if (modified())
        c += QLatin1Char('*');
    if (m_readOnly)
        c += QStringLiteral(" (Read-Only)");
    return c;
}

int TRomDocument::ask(const QString& text, const QString& title, TMsgKind kind, TMsgButtons buttons)
{
    return m_services.messages->showMessage(text, title, kind, buttons);
}

QString TRomDocument::absolutePath(const QString& path)
{
    if (path.isEmpty())
        return path;
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// --- questions and flows ---------------------------------------------------

bool TRomDocument::closeQuery()
{
    if (!modified())
        return true;
    const int answer = ask(
        QStringLiteral("'%1' has been modified.\r\rDo you wish to save modifications?").arg(fileName()),
        QStringLiteral("Changes Made"), TMsgKind::Confirmation, TMsgButton::Yes | TMsgButton::No | TMsgButton::Cancel);
    if (answer == mrYes)
        return save();
    return answer == mrNo;
}

bool TRomDocument::open()
{
    if (!closeQuery())
        return false;
    TFileDialogRequest request;
    request.title = QStringLiteral("Open ROM Image");
    request.filter = QString::fromLatin1(RomFilter);
    request.defaultExt = QStringLiteral(".bin");
    if (hasFile())
        request.initialDir = QFileInfo(m_path).absolutePath();
    const std::optional<QString> chosen = m_services.fileDialogs->openFile(request);
    if (!chosen || chosen->isEmpty())
        return false;
    return load(*chosen, Source::File);
}

bool TRomDocument::reopen(const QString& path)
{
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        removeRecent(path);
        ask(QStringLiteral("'%1' does not exist.").arg(path), QString(), TMsgKind::Error, TMsgButton::OK);
        return false;
    }
    if (!closeQuery())
        return false;
    return load(path, Source::File);
}

bool TRomDocument::startupLoad(const QString& firstArgument)
{
    if (firstArgument.isEmpty())
        return false;
    const QFileInfo info(firstArgument);
    if (!info.exists() || info.isDir())
        return false;
    return load(firstArgument, Source::File);
}

bool TRomDocument::loadFile(const QString& path) { return load(path, Source::File); }

bool TRomDocument::loadReceivedImage() { return load(QString(), Source::Received); }

bool TRomDocument::readRomFile(const QString& path, QByteArray* bytes)
{
    const auto refuse = [this, &path](const QString& reason) {
        ask(QStringLiteral("Could not load file.\r\n\r\n'%1': %2").arg(path, reason), QStringLiteral("Invalid File"),
            TMsgKind::Error, TMsgButton::OK);
        return false;
    };
    const QFileInfo info(path);
    if (!info.exists()) {
        ask(QStringLiteral("'%1' does not exist.").arg(path), QString(), TMsgKind::Error, TMsgButton::OK);
        return false;
    }
    if (info.isDir())
        return refuse(QStringLiteral("this is a folder, not a file."));
    if (info.size() > MaxFileSize)
        return refuse(QStringLiteral("the file is too large to be a ROM image."));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    *bytes = file.read(MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return refuse(file.errorString());
    if (bytes->size() > MaxFileSize)
        return refuse(QStringLiteral("the file is too large to be a ROM image."));
    return true;
}

bool TRomDocument::load(const QString& path, Source source)
{
    const bool fromFile = source == Source::File;
    const QString filePath = absolutePath(path);
    // The file is read completely before the open image is touched: a file that
    // vanished, a folder or an unreadable file leaves the current ROM as it was.
    QByteArray bytes;
    if (fromFile && !readRomFile(filePath, &bytes))
        return false;

    TFlagGuard loadingGuard(m_loading);
    QString extension;
    if (fromFile) {
        closeRom();
        m_rom.buffer().loadBytes(bytes);
        extension = QFileInfo(filePath).suffix().toUpper();
    }
    if (m_rom.buffer().isBlank(true)) {
        if (fromFile)
            ask(QStringLiteral("Could not load file."), QStringLiteral("Invalid File"), TMsgKind::Error,
                TMsgButton::OK);
        else
            ask(QStringLiteral("Could not load ROM."), QStringLiteral("Invalid ROM"), TMsgKind::Error, TMsgButton::OK);
        closeRom();
        return false;
    }

    // A template (".NEW") opens as an untitled image, so Save asks for a name.
    const bool keepsFile = fromFile && extension != QLatin1String("NEW");
    m_path.clear();
    m_readOnly = false;
    if (keepsFile) {
        m_path = filePath;
        m_readOnly = isReadOnlyFile(filePath);
    }

    TRom::LoadResult result = TRom::LoadResult::Blank;
    try {
        result = m_rom.loadFromBuffer([this] { fire(events.runRomHandlers); });
    } catch (...) {
        // A handler failed half-way: no half-identified ROM stays open under
        // the file's name. The error goes on to whoever shows it.
        closeRom();
        throw;
    }
    if (result != TRom::LoadResult::Ok) {
        ask(QStringLiteral("Could not load file."), QStringLiteral("Invalid File1"), TMsgKind::Error, TMsgButton::OK);
        closeRom();
        return false;
    }
    if (keepsFile)
        addRecent(filePath);
    // Lookups built, image marked saved and automatic upload off: done by the model.
    fire(events.romLoaded);
    tellTableShape();
    if (m_rom.traits().extended && m_rom.versionText() != QLatin1String(CurrentCodeRevision))
        fire(events.onVexorAuLoaded);
    rememberFile();
    fire(events.refresh);
    return true;
}

bool TRomDocument::reload()
{
    if (!m_rom.buffer().isBlank(true)) {
        TFlagGuard loadingGuard(m_loading);
        if (m_rom.reload([this] { fire(events.runRomHandlers); }) == TRom::LoadResult::Ok) {
            tellTableShape();
            fire(events.refresh);
            return true;
        }
    }
    ask(QStringLiteral("Error trying to reload ROM."), QStringLiteral("Invalid ROM"), TMsgKind::Error, TMsgButton::OK);
    closeRom();
    return false;
}

void TRomDocument::closeRom()
{
    m_rom.reset();
    m_path.clear();
    m_readOnly = false;
    m_fileTime = QDateTime();
    m_fileSize = -1;
    fire(events.romClosed);
    fire(events.refresh);
}

bool TRomDocument::close()
{
    if (!closeQuery())
        return false;
    closeRom();
    return true;
}

bool TRomDocument::writeImage(const QString& path)
{
    QString error;
    if (writeRomFile(m_rom, path, &error)) {
        if (events.saved)
            events.saved(path);
        return true;
    }
    ask(QStringLiteral("Could not save '%1'.\r\n\r\n%2").arg(path, error), QString(), TMsgKind::Error, TMsgButton::OK);
    fire(events.refresh); // the checksum fix may have changed the image
    return false;
}

bool TRomDocument::save()
{
    if (!hasFile() || !QFileInfo::exists(m_path))
        return saveAs();
    if (isReadOnlyFile(m_path)) {
        const int answer =
            ask(m_path + QStringLiteral(
                             "\r\n\r\nCannot overwrite this file. Would you like to save the changes in another file?"),
                QStringLiteral("Read-Only File"), TMsgKind::Information, TMsgButton::Yes | TMsgButton::No);
        return answer == mrYes && saveAs();
    }
    if (!writeImage(m_path))
        return false;
    rememberFile();
    fire(events.refresh);
    return true;
}

bool TRomDocument::saveAs()
{
    TFileDialogRequest request;
    request.title = QStringLiteral("Save ROM Image As...");
    request.filter = QString::fromLatin1(RomFilter);
    request.defaultExt = QStringLiteral(".bin");
    if (hasFile()) {
        request.initialDir = QFileInfo(m_path).absolutePath();
        request.fileName = QFileInfo(m_path).fileName();
    }
    for (;;) {
        const std::optional<QString> chosen = m_services.fileDialogs->saveFile(request);
        if (!chosen || chosen->isEmpty())
            return false;
        const QString target = absolutePath(*chosen);
        const QFileInfo info(target);
        // The same offer as Save: never replace a read-only file, ask for another name.
        if (info.exists() && !info.isDir() && isReadOnlyFile(target)) {
            const int answer = ask(
                target + QStringLiteral(
                             "\r\n\r\nCannot overwrite this file. Would you like to save the changes in another file?"),
                QStringLiteral("Read-Only File"), TMsgKind::Information, TMsgButton::Yes | TMsgButton::No);
            if (answer != mrYes)
                return false;
            request.initialDir = info.absolutePath();
            request.fileName = info.fileName();
            continue;
        }
        // The document takes the new name only once the image is safely there.
        if (!writeImage(target))
            return false;
        m_path = target;
        addRecent(target);
        rememberFile();
        fire(events.refresh);
        return true;
    }
}

bool TRomDocument::quickSave()
{
    if (!hasFile() || !QFileInfo::exists(m_path))
        return saveAs();
    const QTime now = events.currentTime ? events.currentTime() : QTime::currentTime();
    if (!writeImage(quickSaveName(m_path, now)))
        return false;
    fire(events.refresh);
    return true;
}

void TRomDocument::rememberFile()
{
    if (!hasFile()) {
        m_readOnly = false;
        m_fileTime = QDateTime();
        m_fileSize = -1;
        return;
    }
    const QFileInfo info(m_path);
    m_readOnly = isReadOnlyFile(m_path);
    m_fileTime = info.lastModified();
    m_fileSize = info.size();
}

void TRomDocument::onApplicationActivated()
{
    // The question itself deactivates and reactivates the application: never
    // ask twice for one change.
    if (m_loading || m_askingOutsideChange || !hasFile())
        return;
    const QFileInfo info(m_path);
    if (!info.exists() || info.isDir())
        return;
    const QDateTime time = info.lastModified();
    // The size is compared too: on a file system with coarse time stamps a
    // quick rewrite can keep the old time.
    if (time == m_fileTime && info.size() == m_fileSize)
        return;
    m_fileTime = time;
    m_fileSize = info.size();
    TFlagGuard askingGuard(m_askingOutsideChange);
    const int answer =
        ask(QStringLiteral("This file has been modified outside of Vexor. Would you like to reload the file?"),
            QStringLiteral("File Modified"), TMsgKind::Confirmation, TMsgButton::Yes | TMsgButton::No);
    if (answer == mrYes)
        load(m_path, Source::File);
    fire(events.refresh);
}

void TRomDocument::tellTableShape()
{
    if (events.tableShape)
        events.tableShape(m_rom.rows(), m_rom.columns());
}

// --- notes -----------------------------------------------------------------

QString TRomDocument::notes() const { return QString::fromLatin1(m_rom.buffer().trailer()); }

void TRomDocument::setNotes(const QString& text) { storeNotes(encodeLatin1OrUtf8(text)); }

void TRomDocument::storeNotes(const QByteArray& bytes)
{
    QByteArray& trailer = m_rom.buffer().trailer();
    if (bytes == trailer)
        return;
    trailer = bytes;
    m_rom.buffer().setModified(true);
    fire(events.refresh);
}

QString TRomDocument::notesForEditor() const
{
    const QByteArray& bytes = m_rom.buffer().trailer();
    return displayLineBreaks(isUtf8Notes(bytes) ? QString::fromUtf8(bytes) : notes());
}

void TRomDocument::setNotesFromEditor(const QString& text)
{
    const QString lineBreak = notesLineBreak(notes());
    QString t = displayLineBreaks(text);
    if (lineBreak != QLatin1String("\n"))
        t.replace(QLatin1Char('\n'), lineBreak);
    // Stored in the encoding it was shown in, so untouched notes keep their bytes.
    if (isUtf8Notes(m_rom.buffer().trailer()))
        storeNotes(t.toUtf8());
    else
        setNotes(t);
}

// --- recent files ------------------------------------------------------------

void TRomDocument::setRecentFiles(const QStringList& paths)
{
    m_recent.assign(paths);
    recentUpdated();
}

void TRomDocument::addRecent(const QString& path)
{
    m_recent.add(path);
    recentUpdated();
}

void TRomDocument::removeRecent(const QString& path)
{
    m_recent.remove(path);
    recentUpdated();
}

void TRomDocument::recentUpdated()
{
    // The store always holds the live list, so a settings window that applies
    // a copy of the values can never bring back an old one.
    if (m_store)
        m_store->values().recentFiles = m_recent;
    fire(events.recentChanged);
}

void TRomDocument::bindSettings(TSettingsStore& store)
{
    // A new anchor drops the consumer of an earlier binding.
    m_storeAnchor = std::make_unique<QObject>();
    m_store = &store;
    m_recent = store.values().recentFiles;
    store.addConsumer(
        [this](const TSettings& s) {
            m_recent = s.recentFiles;
            fire(events.recentChanged);
        },
        [this](TSettings& s) { s.recentFiles = m_recent; }, m_storeAnchor.get());
    fire(events.recentChanged);
}
