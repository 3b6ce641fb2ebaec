#pragma once

// The main window on a generated ROM with the script commands attached, as
// the window-level script tests use it: the folders point into a temporary
// directory (autoload.js goes there, the user folder is "user" inside it),
// message boxes answer OK unless a test queues other answers.

#include "app/frmMain.h"
#include "app/mdlScriptCommands.h"
#include "rom/mdlRomGen.h"

#include "support/TestFiles.h"
#include "support/TestScriptDialogs.h"
#include "support/TestServices.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

class TScriptWindowTest : public ::testing::Test {
protected:
    TScriptWindowTest()
        : romPath(writeRom()), form(svc.services(), nullptr, romPath),
          scripts(form, svc.services(), nullptr, &conversions, &dialogs)
    {
        scripts.host().setFolders(dir.path(), dir.filePath(QStringLiteral("user")));
    }

    QTemporaryDir dir;
    TTestServices svc;
    TScriptedScriptDialogs dialogs;
    QString romPath;
    TMainForm form;
    TJsWidebandConvManager conversions;
    TScriptCommands scripts;

private:
    QString writeRom()
    {
        svc.messages.setDefaultAnswer(mrOk);
        const QString path = dir.filePath(QStringLiteral("p28.bin"));
        writeBytes(path, generateRom({}));
        return path;
    }
};
