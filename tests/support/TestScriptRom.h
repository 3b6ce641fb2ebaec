#pragma once

// The set-up script tests on an open ROM share: a generated image loaded into
// a document, and a script host over it with the given dialogs, its folders in
// a temporary directory (autoload.js and plugins.js go there) and its scripts
// loaded. The host goes first at tear-down, before whatever the fixture built
// on it and before the dialogs it was given.

#include "rom/clsRom.h"
#include "rom/clsRomDocument.h"
#include "rom/mdlRomGen.h"
#include "scripting/frmScripts.h"

#include "support/TestFiles.h"
#include "support/TestServices.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class TScriptRomTest : public ::testing::Test {
protected:
    void startHost(IScriptDialogs* dialogs, const QString& family = QStringLiteral("p28"))
    {
        svc.messages.setDefaultAnswer(mrOk);
        doc = std::make_unique<TRomDocument>(rom, svc.services());
        TRomGenOptions o;
        o.family = family;
        const QString path = dir.path() + QStringLiteral("/rom.bin");
        writeBytes(path, generateRom(o));
        ASSERT_TRUE(doc->loadFile(path));
        TScriptEnvironment env;
        env.services = svc.services();
        env.dialogs = dialogs;
        env.document = doc.get();
        host = std::make_unique<TScriptForm>(env);
        host->setFolders(dir.path(), dir.path());
        host->reloadScripts();
    }
    void TearDown() override { host.reset(); }

    QTemporaryDir dir;
    TTestServices svc;
    TRom rom;
    std::unique_ptr<TRomDocument> doc;
    std::unique_ptr<TScriptForm> host;
};
