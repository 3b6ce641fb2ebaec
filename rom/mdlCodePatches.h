#pragma once

// Program-code patches of the extended family, whose images carry our own ECU
// program: the upgrade of older images to the current code revision (a chain
// of byte patches run once when such an image is opened), the code switches
// that replace 3-byte instruction sequences to turn optional features on and
// off, and the feature switched at address-map entry 162.
//
// Four of the upgrade's patches are long pieces of ECU program code (31, 19,
// 212 and 294 bytes). They are not compiled in: they are read from the code
// upgrade data file beside the program (format in the README, "Code upgrade
// data file"). Without a complete file an image that needs them is left
// exactly as it is, and the user is told.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class TRom;
class IMessageService;

extern const char* const CurrentCodeRevision;     // "C0.96"
extern const char* const CodeUpgradeDataFileName; // "vexorau-code.ini"
extern const char* const CodeUpgradeSection;      // "C0.96"

// The long patches, each at its fixed image offset.
struct TCodeUpgradeData {
    QByteArray at11D1; // 31 bytes, ends with C5 20 3D
    QByteArray at199D; // 19 bytes
    QByteArray at0209; // 212 bytes
    QByteArray at2556; // 294 bytes
};

// The data file's path: the program folder + "/vexorau-code.ini".
[[nodiscard]] QString defaultCodeUpgradeDataPath();
// Reads and checks the data file. Nothing when it is missing, unreadable or
// incomplete (a key missing, not hexadecimal, of the wrong length), with the
// reason in *error.
[[nodiscard]] std::optional<TCodeUpgradeData> loadCodeUpgradeData(const QString& path, QString* error = nullptr);
// The file text for the data (the format the loader reads).
[[nodiscard]] QString formatCodeUpgradeData(const TCodeUpgradeData& data);

// The revision steps ("0.92" ... "0.96") the image would receive, in order;
// empty when the image is not of the extended family or needs none.
[[nodiscard]] QStringList pendingCodeUpgradeSteps(const TRom& rom);

enum class TCodeUpgradeStatus { NotNeeded, Upgraded, Refused };
struct TCodeUpgradeResult {
    TCodeUpgradeStatus status = TCodeUpgradeStatus::NotNeeded;
    QStringList steps; // the steps applied, or those that would have been
    QString reason;    // why it was refused
};

// Runs the steps 0.92, 0.93, 0.94, 0.95 and 0.96 in order, each testing the
// version afresh, then marks the image saved (nothing can be undone). When a
// step is due and `data` is null, nothing at all is written (no version byte,
// no partial step) and the result is Refused.
TCodeUpgradeResult upgradeVexorAuCode(TRom& rom, const TCodeUpgradeData* data);

// The load flow's step: for an extended-family image whose version text is
// not "C0.96", reads the data file and upgrades. When the upgrade is refused
// the user is told once, through the message service, and the image stays unchanged.
TCodeUpgradeResult runCodeUpgradeOnLoad(TRom& rom, IMessageService* messages,
                                        const QString& dataPath = defaultCodeUpgradeDataPath());

// Code-switch word bits that select patch sets.
enum TCodeSwitchBit : quint16 {
    csVtec = 0x0001, // mirrors the VTEC enable setting
    cs432F = 0x0002,
    cs5FC3 = 0x0004,
    cs443B = 0x0008,
    cs43A0 = 0x0010,
    csNoPatch20 = 0x0020,
    csNoPatch40 = 0x0040,
    csEntry162 = 0x0080, // mirrors the entry-162 feature
    cs6C19 = 0x0100,
};

// Stores the code-switch word; for the extended family with its built-in map
// also writes every pattern from the new word alone, as one undo step (group
// kind 3): the replacement where the word has the bit, the original
// instruction where it lacks it. Calling it twice with the same word changes
// nothing the second time. Nothing is recorded when every pattern is in place.
void setCodeSwitches(TRom& rom, quint16 word);

// The entry-162 feature: on when the 3 bytes at entry 162 are C5 20 3D.
[[nodiscard]] bool entry162Feature(const TRom& rom);
// Sets or clears bit 0x0080 of the code-switch word and writes C5 20 3D (on)
// or 00 00 00 (off) at entry 162 when the bytes differ.
void setEntry162Feature(TRom& rom, bool on);
