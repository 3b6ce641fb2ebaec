#pragma once

// New ROMs start from template images: the "*.new" files of the template
// folder NEW/ inside the settings folder. A template opens untitled (the load
// flow gives a ".NEW" file no document path), so saving it asks for a name.

#include <QList>
#include <QString>

struct TNewRomTemplate {
    QString name; // the file name without ".new"
    QString path; // full path
};

// The template folder: settingsFolder() + "/NEW". Not created here.
[[nodiscard]] QString newRomTemplateFolder();
// Creates the template folder (with its parents) when missing. On failure
// returns false with the reason in *error.
bool ensureNewRomTemplateFolder(QString* error = nullptr);
// The "*.new" files of the folder (extension in any case), sorted by name
// without regard to case. Folders and other files are left out.
[[nodiscard]] QList<TNewRomTemplate> listNewRomTemplates(const QString& folder);
// True for a file whose extension is ".new" in any case: the load flow opens it untitled.
[[nodiscard]] bool isRomTemplateFile(const QString& path);
