#pragma once

// The option pages as data: every field of the settings editors is one
// descriptor naming its control, where its value lies in the image, how it is
// converted and how it is read and written. The widgets, the command line and
// the tests all go through the same two handlers, readOptionField and
// writeOptionField, so a field behaves the same wherever it is edited.
//
// Every value crosses the handlers as text: a number for text fields and track
// bars, "1"/"0" for check boxes, the item index for combo boxes.

#include "rom/clsRomAddresses.h"
#include "rom/mdlTableRebuild.h"
#include "settings/mdlDisplayUnits.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class TRom;
class IMessageService;

enum class TOptionControl : quint8 { Text, Check, Combo, Track, Button };

// Unit conversions between the stored byte or word and the shown value.
enum class TOptionConv : quint8 {
    Raw,         // the stored number itself
    Period,      // rpm as 1875000 / word (integer division), refusing 0 rpm
    Speed,       // km/h byte; mph typed and shown with the mph unit (x 1.6, rounded)
    Temperature, // sensor byte through the temperature table; °F with the °F unit
    Throttle205, // percent: byte round(% x 2.05 + 24)
    Throttle207, // percent: byte round(% x 2.07 + 24)
    Load,        // millibar through the ROM's MAP conversion
    Retard,      // degrees: byte round(deg x 4), at most 63.75
    TpsVolts,    // volts: byte round(V x 51.2)
    ClLimit,     // percent: word round((100 - %) x 327.68), 0..100 %
    WbOffset,    // millivolts: byte round(mV / 19.5) + 256, low 8 bits
    Percent,     // byte percent, clamped to the byte range
    FuelWordPct, // (word / word at entry 50 - 1) x 100, refused when that base word is 0
    InjectorUs,  // injector duration in µs of word / 4 units of 17.3 µs
    Switch,      // check box: on at `onValue`, written onValue / offValue
    Bit,         // check box: one bit (`onValue`) of the byte
    Gain,        // boost controller gain: byte / 5
};

// Undo-group kinds of the option pages' multi-byte writes.
enum TOptionUndoKind : quint8 {
    ouSpeedLimitOff = 19,
    ouVtecPoints = 22,
    ouBoostOutput = 23,
    ouVtecPlusOutput = 24,
    ouEventInput = 26,
    ouEventOutput = 27,
    ouRevCuts = 29,
    ouInjectorClutchPulse = 40,
    ouModeAndGears = 41,
    ouBoostSwitchAndSensor = 42,
    ouGearRatios = 44,
    ouTpsCalibration = 90,
};

// What a handler works on: the ROM, the units on screen, the marks of table
// structure changes, and the message service for the output conflict notice.
struct TOptionContext {
    TRom& rom;
    TDisplayUnits units;
    TTableStructureMarks* marks = nullptr;
    IMessageService* messages = nullptr;
};

// A field as it is shown: its text, whether it can be edited, and the raw
// stored value for the tool tip (-1 when there is none).
struct TOptionValue {
    QString text;
    bool enabled = true;
    int raw = -1;
};

struct TOptionField {
    QString name; // control name, e.g. txtLoRevCut
    TOptionControl control = TOptionControl::Text;
    QString page;  // page of the option tree (tbsRevs ...) or pnlOptions
    QString group; // group box on the page
    QString label;
    TRomEntry entry = aeChecksum; // aeChecksum: not stored at one entry (custom handlers)
    int offset = 0;
    int width = 1; // bytes: 1 or 2
    TOptionConv conv = TOptionConv::Raw;
    quint8 undoKind = 0; // group kind of a multi-byte write, 0 for one value
    int onValue = 0xFF, offValue = 0x00;
    int switchMask = 0;                           // Switch: when set, on unless (byte & mask) equals (offValue & mask)
    QStringList items;                            // combo-box captions, in index order
    QString absentText;                           // shown, disabled, when the ROM lacks the feature ("none" if empty)
    QString tip;                                  // tool tip text beside the raw value
    int trackMin = -100, trackMax = 100;          // track bar range
    QString trackCaption = QStringLiteral("%1%"); // track bar caption, %1 the position
    // Read rule: the field is present on this ROM (default: its entry is non-zero).
    std::function<bool(const TOptionContext&)> present;
    // Custom read and write rules, replacing the generic entry/offset/conversion ones.
    std::function<TOptionValue(const TOptionContext&)> read;
    std::function<void(TOptionContext&, const QString&)> write;
};

// The fields of the simple page (every family without the option tree) and of
// the option tree, in page order.
[[nodiscard]] const std::vector<TOptionField>& simplePageFields();
[[nodiscard]] const std::vector<TOptionField>& optionTreeFields();
// The fields this ROM's page shows (tree or simple page by family).
[[nodiscard]] const std::vector<TOptionField>& optionFieldsFor(const TRom& rom);
[[nodiscard]] const TOptionField* findOptionField(const TRom& rom, const QString& name);

// The unit shown beside a field under the given units ("rpm", "°F", "%" ...).
[[nodiscard]] QString optionUnit(const TOptionField& field, const TDisplayUnits& units);

[[nodiscard]] TOptionValue readOptionField(const TOptionContext& ctx, const TOptionField& field);
// Parses, converts, compares and writes only what differs (one undo group of
// the field's kind when it takes several writes). Text that is not a number
// or a value the field refuses throws EVexorError with the image unchanged.
void writeOptionField(TOptionContext& ctx, const TOptionField& field, const QString& text);

// --- conversions shared with the grids -------------------------------------------

// A number typed into a field; anything else throws the conversion error.
[[nodiscard]] double parseOptionNumber(const QString& text);
[[nodiscard]] int encodeOption(const TOptionContext& ctx, TOptionConv conv, double value);
[[nodiscard]] double decodeOption(const TOptionContext& ctx, TOptionConv conv, int raw);
[[nodiscard]] QString formatOption(TOptionConv conv, double value);
// Temperature byte <-> °C or °F as the units say.
[[nodiscard]] double shownTemperature(const TDisplayUnits& units, int sensorByte);
[[nodiscard]] quint8 storedTemperature(const TDisplayUnits& units, double shown);

// The message and title of an output conflict.
extern const char* const OutputConflictText;
extern const char* const OutputConflictTitle;
