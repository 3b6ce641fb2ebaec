#pragma once

// The ROM events object (`rom.events`): a script takes over the ROM model's
// reads and writes of map scalars, rev scalars and table values by naming a
// function of the main script. The ROM model then calls that function, for
// every access by any part of the program, instead of touching the image.
//
// The names live in the main window's TRomHookNames, the callbacks in the ROM
// model's hook slots; this object holds nothing itself, so every `rom.events`
// read may create a fresh one.

#include "rom/clsRom.h"
#include "scripting/mdlScriptHost.h"

#include <QObject>
#include <QString>
#include <QStringList>

class TRomDocument;

// The call text of one hooked access: "name(a,b)" for the reads of scalars,
// "name(a,b,c)" for the table read and the scalar writes, "name(a,b,c,d)" for
// the table write. Each argument is written in its declared width (map and
// table small signed, column and row unsigned bytes, the map-scalar value
// signed 16-bit, the rev-scalar value unsigned 16-bit, the table value a
// 32-bit float) with a decimal point whatever the locale. A value outside its
// width is an error rather than a wrapped number. romHookArguments gives the
// argument texts alone.
[[nodiscard]] QStringList romHookArguments(TRom::HookSlot slot, double a, double b, double c, double d);
[[nodiscard]] QString romHookCallText(TRom::HookSlot slot, const QString& name, double a, double b, double c, double d);

// The ROM model's callback for a slot: calls the function named in
// names[slot] (read at call time) through the host, exactly as its call text
// would, and converts the result of the reads. A script error propagates as EScriptError to the
// operation that made the access; after such a failure the callback fails
// every access quietly (no second message) until the hook is installed again.
// A hook that reaches its own kind of value again through the ROM object fails
// with an error instead of recursing.
[[nodiscard]] TRomHook romHookCallback(IScriptHost& host, TRomHookNames& names, TRom::HookSlot slot);

class TRomEventsScript : public QObject {
    Q_OBJECT
    // Write-only in spirit: reading gives the name last installed.
    Q_PROPERTY(QString OnGetMapScalar READ onGetMapScalar WRITE setOnGetMapScalar)
    Q_PROPERTY(QString OnSetMapScalar READ onSetMapScalar WRITE setOnSetMapScalar)
    Q_PROPERTY(QString OnGetRevScalar READ onGetRevScalar WRITE setOnGetRevScalar)
    Q_PROPERTY(QString OnSetRevScalar READ onSetRevScalar WRITE setOnSetRevScalar)
    Q_PROPERTY(QString OnGetTableValue READ onGetTableValue WRITE setOnGetTableValue)
    Q_PROPERTY(QString OnSetTableValue READ onSetTableValue WRITE setOnSetTableValue)

public:
    TRomEventsScript(TRomDocument& doc, IScriptHost& host, TRomHookNames& names, QObject* parent = nullptr);

    // Installs the hook when the main script defines the function (exact,
    // case-sensitive); otherwise nothing changes.
    void install(TRom::HookSlot slot, const QString& function);

    [[nodiscard]] QString onGetMapScalar() const { return m_names[TRom::OnGetMapScalar]; }
    void setOnGetMapScalar(const QString& f) { install(TRom::OnGetMapScalar, f); }
    [[nodiscard]] QString onSetMapScalar() const { return m_names[TRom::OnSetMapScalar]; }
    void setOnSetMapScalar(const QString& f) { install(TRom::OnSetMapScalar, f); }
    [[nodiscard]] QString onGetRevScalar() const { return m_names[TRom::OnGetRevScalar]; }
    void setOnGetRevScalar(const QString& f) { install(TRom::OnGetRevScalar, f); }
    [[nodiscard]] QString onSetRevScalar() const { return m_names[TRom::OnSetRevScalar]; }
    void setOnSetRevScalar(const QString& f) { install(TRom::OnSetRevScalar, f); }
    [[nodiscard]] QString onGetTableValue() const { return m_names[TRom::OnGetTableValue]; }
    void setOnGetTableValue(const QString& f) { install(TRom::OnGetTableValue, f); }
    [[nodiscard]] QString onSetTableValue() const { return m_names[TRom::OnSetTableValue]; }
    void setOnSetTableValue(const QString& f) { install(TRom::OnSetTableValue, f); }

    // Empties all six slots of the ROM model; the stored names stay.
    Q_INVOKABLE void unhook();

private:
    TRomDocument& m_doc;
    IScriptHost& m_host;
    TRomHookNames& m_names;
};
