#pragma once

// Whole-file text input and output and the program's folders. The settings
// folder holds vexor.ini, injectors.ini, wideband.ini, plugins.js, the datalog
// recovery file and the template folder NEW/.

#include <QByteArray>
#include <QString>
#include <functional>

class QIODevice;

// Reads the whole file, one character per byte (so any file survives a
// read/write round trip unchanged). Throws EVexorError when it cannot be read.
[[nodiscard]] QString readFile(const QString& path);
// As readFile, but first fails with "'<path>' does not exist." when there is no such file.
[[nodiscard]] QString readExistingFile(const QString& path);
// Creates or replaces the file with the text encoded by encodeLatin1OrUtf8.
// The old file stays intact when writing fails. Throws EVexorError on failure;
// returns true otherwise.
bool writeFile(const QString& path, const QString& text);

// The one way files are saved. The content goes to a temporary file beside the
// target, which is flushed and checked and only then renamed over the target:
// a failure (full disk, no permission, a producer that gives up or throws)
// leaves the old file as it was. Returns false with the system's reason in
// *error. The producer writes the content and returns false when it failed.
using TFileProducer = std::function<bool(QIODevice& out)>;
bool writeFileAtomic(const QString& path, const TFileProducer& produce, QString* error = nullptr);
bool writeFileAtomic(const QString& path, const QByteArray& bytes, QString* error = nullptr);
// For producers of large files: asks the system to start writing to disk what
// has been written to `out` so far, without waiting, so that the writer's
// final flush to disk has little left to wait for. Returns false when `out`
// is no file or the system has no such request (nothing is lost either way).
bool startWriteback(QIODevice& out);

// Whether every character of the text fits in one byte (Latin-1).
[[nodiscard]] bool fitsLatin1(const QString& text);
// Text as the program's files store it: one byte per character when every
// character fits in a byte, UTF-8 otherwise. *usedLatin1 tells which.
[[nodiscard]] QByteArray encodeLatin1OrUtf8(const QString& text, bool* usedLatin1 = nullptr);

// Special-folder ids understood by specialFolder (the Windows CSIDL numbers the
// scripts know).
enum TSpecialFolder : int {
    sfDesktop = 0,
    sfPersonal = 5,
    sfAppData = 26,
    sfLocalAppData = 28,
    sfProfile = 40,
};
// The folder for the id without a trailing separator, or "" for an unknown id.
[[nodiscard]] QString specialFolder(int folderId);
// The per-user configuration folder: $XDG_CONFIG_HOME, else ~/.config.
[[nodiscard]] QString appDataFolder();
// The settings folder: $VEXOR_HOME when set, else appDataFolder() + "/VEXOR".
// No trailing separator. Not created here.
[[nodiscard]] QString settingsFolder();
// A file inside the settings folder.
[[nodiscard]] QString settingsFilePath(const QString& fileName);
// The folder of the executable (autoload.js and shipped data sit beside it).
[[nodiscard]] QString programFolder();
// Creates the folder with every missing parent. On failure returns false and
// describes why in *error ("Could not create the folder '...': ...").
bool ensureFolder(const QString& path, QString* error = nullptr);
