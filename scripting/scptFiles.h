#pragma once

// The files object (window.files): the open and save dialogs and whole-file
// text input and output for scripts. No state; every read of window.files
// makes a new one. Dialogs go through the host's file-dialog service, so
// without a screen they answer Cancel.

#include <QJSValue>
#include <QObject>
#include <QString>

class TScriptForm;

class TFilesScript : public QObject {
    Q_OBJECT
public:
    explicit TFilesScript(TScriptForm& host, QObject* parent = nullptr);

    // The chosen path, or "" when cancelled. Filter in the form
    // "desc|pattern|desc|pattern", FilterIndex 1-based (0: the first).
    Q_INVOKABLE QString showOpen(const QJSValue& Filter, double FilterIndex = 0);
    // As showOpen; the dialog asks before overwriting an existing file.
    Q_INVOKABLE QString showSave(const QJSValue& Filter, double FilterIndex = 0);
    // 1 when the file exists, else 0.
    Q_INVOKABLE int exists(const QJSValue& filename);
    // The whole file, one character per byte; "" when there is no such file.
    // A file that exists but cannot be read is a script error.
    Q_INVOKABLE QString getFile(const QJSValue& filename);
    // Creates or replaces the file with the text (no line break added). The
    // write is atomic: a failure is a script error and leaves the old file
    // (or no file) behind, never part of the new text.
    Q_INVOKABLE void putFile(const QJSValue& filename, const QJSValue& Data);
    // Kept for scripts that call it: always an empty (undefined) value.
    Q_INVOKABLE QJSValue browseFolder();

    // A script's file name as a local path: '\' (scripts written for Windows
    // join paths with it) becomes '/'.
    [[nodiscard]] static QString localName(const QJSValue& filename);

private:
    QString dialog(bool save, const QJSValue& filter, double filterIndex);

    TScriptForm& m_host;
};
