#pragma once

// The ROM object of the script object model (`window.rom`): bytes and words of
// the image, cells of the working table, the axis scalars, the address map,
// feature flags, title, notes and unit conversions of the one open ROM. It
// holds no state of its own: every member acts on the live document, and every
// write goes through the edit buffer like the editor's own, so it undoes.
//
// Parameterised properties have a getter of their own name and a setter
// "set_<name>(args..., value)" (see scriptSetterName); the script host rewrites
// `rom.byteAt(i) = v` into the setter call. Numeric arguments arrive as double
// and are checked against the width the interface declares.

#include "scripting/mdlScriptHost.h"

#include <QJSValue>
#include <QObject>
#include <QString>

class TRom;
class TRomDocument;

class TRomScript : public QObject {
    Q_OBJECT
    Q_PROPERTY(double working_table READ working_table WRITE setWorking_table)
    Q_PROPERTY(double hasLaunchControl READ hasLaunchControl WRITE setHasLaunchControl)
    Q_PROPERTY(double hasFullThrottleShift READ hasFullThrottleShift WRITE setHasFullThrottleShift)
    Q_PROPERTY(double hasIAB READ hasIAB WRITE setHasIAB)
    Q_PROPERTY(double hasBoost READ hasBoost WRITE setHasBoost)
    Q_PROPERTY(double base READ base WRITE setBase)
    Q_PROPERTY(QString title READ title WRITE setTitle)
    Q_PROPERTY(QString filename READ filename)
    Q_PROPERTY(double hasFinalMultiplier READ hasFinalMultiplier WRITE setHasFinalMultiplier)
    Q_PROPERTY(double OBDMode READ OBDMode WRITE setOBDMode)
    Q_PROPERTY(QString notes READ notes WRITE setNotes)
    Q_PROPERTY(double hasShiftLight READ hasShiftLight WRITE setHasShiftLight)
    Q_PROPERTY(double hasBoostLimit READ hasBoostLimit WRITE setHasBoostLimit)
    Q_PROPERTY(double checksum READ checksum)
    Q_PROPERTY(double hasITB READ hasITB WRITE setHasITB)
    Q_PROPERTY(QJSValue events READ events)
    Q_PROPERTY(double endian READ endian WRITE setEndian)

public:
    TRomScript(TRomDocument& doc, IScriptHost& host, TRomHookNames& names, QObject* parent = nullptr);

    // Raw image access.
    Q_INVOKABLE double byteAt(double index);
    Q_INVOKABLE void set_byteAt(double index, double value);
    Q_INVOKABLE double wordAt(double index);
    Q_INVOKABLE void set_wordAt(double index, double value);

    // The working table (the model's current table).
    [[nodiscard]] double working_table() const;
    void setWorking_table(double value);
    Q_INVOKABLE double tableByte(double col, double row);
    Q_INVOKABLE void set_tableByte(double col, double row, double value);
    Q_INVOKABLE double tableValue(double col, double row);
    Q_INVOKABLE void set_tableValue(double col, double row, double value);
    Q_INVOKABLE double tableWidth();
    Q_INVOKABLE double tableHeight();
    Q_INVOKABLE double tableIValue(double ofTable, double map, double rpm);

    // The address map, by feature name or by index.
    Q_INVOKABLE double addressOf(const QJSValue& feature);
    Q_INVOKABLE void set_addressOf(const QJSValue& feature, double value);
    Q_INVOKABLE double addressIn(double index);
    Q_INVOKABLE void set_addressIn(double index, double value);

    // Axis scalars, through the model's accessors (and so through any hook).
    Q_INVOKABLE double mapScalar(double map, double col);
    Q_INVOKABLE void set_mapScalar(double map, double col, double value);
    Q_INVOKABLE double revScalar(double map, double row);
    Q_INVOKABLE void set_revScalar(double map, double row, double value);

    // Feature flags.
    [[nodiscard]] double hasLaunchControl() const;
    void setHasLaunchControl(double value);
    [[nodiscard]] double hasFullThrottleShift() const;
    void setHasFullThrottleShift(double value);
    [[nodiscard]] double hasIAB() const;
    void setHasIAB(double value);
    [[nodiscard]] double hasShiftLight() const;
    void setHasShiftLight(double value);
    [[nodiscard]] double hasBoostLimit() const;
    void setHasBoostLimit(double value);
    [[nodiscard]] double hasITB() const;
    void setHasITB(double value);
    [[nodiscard]] double hasBoost() const;
    void setHasBoost(double value);
    [[nodiscard]] double hasFinalMultiplier() const;
    void setHasFinalMultiplier(double value);
    Q_INVOKABLE double addFuelCorrection(const QString& caption, double scalarAdr, double offsetAdr);

    // Identification and document.
    [[nodiscard]] double base() const;
    void setBase(double value);
    [[nodiscard]] double OBDMode() const;
    void setOBDMode(double value);
    [[nodiscard]] QString title() const;
    void setTitle(const QString& value);
    [[nodiscard]] QString filename() const;
    [[nodiscard]] QString notes() const;
    void setNotes(const QString& value);
    [[nodiscard]] double checksum() const;
    [[nodiscard]] double endian() const;
    void setEndian(double value);
    // Closes an undo group: the edits since the previous marker undo as one step.
    Q_INVOKABLE void gup();
    // A new ROM events object on every read.
    [[nodiscard]] QJSValue events();

    // Unit conversions.
    Q_INVOKABLE double byteToMillibar(double b);
    Q_INVOKABLE double byteToCelcius(double b);
    Q_INVOKABLE double millibarToByte(double m);
    Q_INVOKABLE double celciusToByte(double c);

    // The undo-group kind that gup closes.
    static constexpr quint8 ScriptUndoGroup = 9;

private:
    [[nodiscard]] TRom& rom() const;
    [[nodiscard]] double flag(quint16 bit) const;
    void setFlag(quint16 bit, double value, const char* name);

    TRomDocument& m_doc;
    IScriptHost& m_host;
    TRomHookNames& m_names;
};
