#pragma once

// The open ROM as the user handles it: the file it came from, opening,
// reloading, saving, quick copies, the question before discarding changes, the
// outside-change check, the notes after the image and the recent-files list.
//
// Nothing here is a widget. Questions go through the message service, file
// choices through the file-dialog service; the main window fills the event slots
// below (refresh its views, rebuild the recent menu, tell the datalog link the
// table shape, run ROM handlers and scripts) and calls the flows from its
// actions. Every flow returns whether it went through, so an action can chain
// them (close query -> exit).

#include "settings/mdlMessages.h"
#include "settings/mdlServices.h"
#include "settings/mdlSettings.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>
#include <memory>

class QObject;
class TRom;
class TSettingsStore;

// Fixes the checksum and writes image and notes to `path` the safe way: the
// target is replaced only after a complete write, so a failure leaves the old
// file as it was and the image still modified. A read-only target (no write
// permission bit, or not writable by us) is refused rather than replaced, and
// so is a folder. On success the image is marked saved. On failure *error holds
// the reason as the system gave it.
bool writeRomFile(TRom& rom, const QString& path, QString* error);

// The file's read-only state as the save flows understand it: no write
// permission bit at all (what a read-only attribute becomes on Unix, and it
// holds even for root) or not writable by this process.
[[nodiscard]] bool isReadOnlyFile(const QString& path);

// The name of a Quick Save copy: in the document's own folder, the file name
// with its trailing ".bin" (any case) replaced by ".hhnnss.bin", or with
// ".hhnnss.bin" appended when it has no ".bin".
[[nodiscard]] QString quickSaveName(const QString& documentPath, const QTime& time);

class TRomDocument {
public:
    // Filled by the main window; every slot may stay empty.
    struct Events {
        // Caption, menus, status panes and views: something about the document changed.
        std::function<void()> refresh;
        // The recent-files list changed: rebuild its menu entries.
        std::function<void()> recentChanged;
        // The window goes to its no-ROM state (view mode 0, grid panel disabled...).
        std::function<void()> romClosed;
        // A ROM was loaded and is ready: enable the table panel, reset the views.
        std::function<void()> romLoaded;
        // Runs after the family was selected and before an unknown family is
        // refused, on load and on reload: the ROM handlers registered for the
        // identified type, then "_on_rom_loaded_()" when the scripts define it.
        std::function<void()> runRomHandlers;
        // The datalog link learns the current table's rows and columns.
        std::function<void(int rows, int columns)> tableShape;
        // A VexorAu-family image older than the current code revision was
        // loaded: bring its code up to date (it ends by marking saved).
        std::function<void()> onVexorAuLoaded;
        // An image was written to this path (Save, Save As or a Quick Save copy).
        std::function<void(const QString& path)> saved;
        // The wall-clock time of a Quick Save copy name; the system clock when empty.
        std::function<QTime()> currentTime;
    };

    static constexpr const char* Untitled = "Untitled";
    static constexpr const char* RomFilter = "Binary Files|*.bin|All Files|*.*";
    // Files this large are refused before anything is read: no ROM image plus
    // notes comes near it, and reading it would only exhaust memory.
    static constexpr qint64 MaxFileSize = 64LL * 1024 * 1024;

    TRomDocument(TRom& rom, const TServices& services);
    ~TRomDocument();
    TRomDocument(const TRomDocument&) = delete;
    TRomDocument& operator=(const TRomDocument&) = delete;

    Events events;

    [[nodiscard]] TRom& rom() { return m_rom; }

    // --- state -----------------------------------------------------------
    // The document path, "Untitled" when the image has no file.
    [[nodiscard]] QString path() const;
    [[nodiscard]] bool hasFile() const { return !m_path.isEmpty(); }
    // The file name without its folder ("Untitled" when none).
    [[nodiscard]] QString fileName() const;
    [[nodiscard]] bool readOnly() const { return m_readOnly; }
    [[nodiscard]] bool modified() const;
    [[nodiscard]] bool loading() const { return m_loading; }
    [[nodiscard]] bool romLoaded() const;
    [[nodiscard]] QDateTime fileTime() const { return m_fileTime; }
    // "< VEXOR > - name", then "*" when modified and " (Read-Only)".
    [[nodiscard]] QString caption() const;

    // --- flows -----------------------------------------------------------
    // Before anything replaces or discards a modified image: "Changes Made",
    // Yes saves (and goes on only when the save succeeded), No goes on, Cancel stops.
    bool closeQuery();
    // The ROM part of closing the program (the window asks about an unsaved
    // recording first): the same question.
    bool exitQuery() { return closeQuery(); }
    // Close query, file dialog, then load the chosen file.
    bool open();
    // A recent-files entry: a missing file leaves the list with an error.
    bool reopen(const QString& path);
    // The first command-line argument, when it names an existing file: loaded
    // without dialog or close query. False when there is nothing to load.
    bool startupLoad(const QString& firstArgument);
    // Loads a file without asking anything (start-up, outside change, templates).
    // Every load reads the whole file before the open image is closed, so a
    // file that cannot be read costs nothing. A failure is shown and gives
    // false; an exception from a ROM handler closes the half-loaded ROM and
    // goes on to the caller.
    bool loadFile(const QString& path);
    // The edit buffer was filled from elsewhere (emulator download): the load
    // steps on those bytes, without a file.
    bool loadReceivedImage();
    // Re-runs identification, handlers and lookups on the bytes in the buffer.
    bool reload();
    bool save();
    bool saveAs();
    bool quickSave();
    // Close query, then the no-ROM state.
    bool close();
    // The application came to the front: offer to reload a file changed on disk.
    void onApplicationActivated();

    // --- notes (the bytes after the image) ---------------------------------
    // One character per byte, so any trailer survives a get/set round trip.
    [[nodiscard]] QString notes() const;
    // Stores the text as the trailer (one byte per character when every
    // character fits, UTF-8 otherwise) and marks the image modified when it changed.
    void setNotes(const QString& text);
    // The notes with their line breaks as "\n", for an editor widget; notes
    // written as UTF-8 are shown decoded.
    [[nodiscard]] QString notesForEditor() const;
    // The editor's text stored back with the line breaks the notes already use
    // ("\r\n" when they have none yet), in the encoding it was shown in.
    void setNotesFromEditor(const QString& text);

    // --- recent files ------------------------------------------------------
    [[nodiscard]] const QStringList& recentFiles() const { return m_recent.paths(); }
    void setRecentFiles(const QStringList& paths);
    // Keeps the list in the settings store: taken from it whenever settings are
    // applied, written into its values on every change and when it collects.
    // The store must outlive the document (the program's store lives for the
    // whole run); the store forgets the document when the document goes.
    void bindSettings(TSettingsStore& store);

private:
    void storeNotes(const QByteArray& bytes); // marks modified and refreshes when they changed
    enum class Source { File, Received };
    bool load(const QString& path, Source source);
    bool readRomFile(const QString& path, QByteArray* bytes);
    void closeRom();
    bool writeImage(const QString& path);
    void rememberFile();
    void addRecent(const QString& path);
    void removeRecent(const QString& path);
    void recentUpdated();
    void tellTableShape();
    void fire(const std::function<void()>& f) const
    {
        if (f)
            f();
    }
    int ask(const QString& text, const QString& title, TMsgKind kind, TMsgButtons buttons);
    static QString absolutePath(const QString& path);

    TRom& m_rom;
    TServices m_services;
    QString m_path; // empty: untitled
    bool m_readOnly = false;
    QDateTime m_fileTime;
    qint64 m_fileSize = -1;
    bool m_loading = false;
    bool m_askingOutsideChange = false;
    TRecentFiles m_recent;
    TSettingsStore* m_store = nullptr;
    std::unique_ptr<QObject> m_storeAnchor; // ties the store's consumer to this document
};
