#pragma once

// The file-dialog service: the standard open and save dialogs behind an
// interface, so file flows run in tests with scripted answers. Filters are given
// in the Windows form "Desc|*.a;*.b|Desc2|*.c" that stored scripts also use.

#include <QString>
#include <QStringList>
#include <optional>

struct TFileDialogRequest {
    QString title;
    QString filter;      // Windows form: description and pattern pairs separated by '|'
    int filterIndex = 1; // 1-based, as in the Windows dialog; 0 also means the first pair
    QString defaultExt;  // ".bin" or "bin"; appended when the chosen name has no extension
    QString initialDir;
    QString fileName; // proposed name
};

class IFileDialogService {
public:
    virtual ~IFileDialogService() = default;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> openFile(const TFileDialogRequest& request) = 0;
    // As openFile; the dialog asks before overwriting an existing file.
    virtual std::optional<QString> saveFile(const TFileDialogRequest& request) = 0;
};

// "Binary Files|*.bin|All Files|*.*" -> {"Binary Files (*.bin)", "All Files (*.*)"}.
// A description without patterns gets "*"; a pattern list keeps its order.
[[nodiscard]] QStringList qtNameFilters(const QString& windowsFilter);
// The same joined with ";;", the form QFileDialog's static functions take.
[[nodiscard]] QString qtFileFilter(const QString& windowsFilter);
// The Qt filter selected by a 1-based Windows filter index (out of range: the first).
[[nodiscard]] QString qtSelectedFilter(const QString& windowsFilter, int filterIndex);
// The default extension without its dot ("bin"), the form QFileDialog wants.
[[nodiscard]] QString defaultSuffix(const QString& defaultExt);
