#pragma once

// Calibration files: the four main maps moved between ROM images.
// - ".ct2" (kind 1): an INI text file with each map in engineering units and
//   its own rpm and load breakpoints, plus a readable dump of the settings of
//   the extended family. Import resamples every map onto the target image's
//   breakpoints, so it works across families and table sizes.
// - ".ctv" (kind 0): a raw copy of the table-area bytes, for images of the
//   same table shapes only.
// Each import is one undo step (group kind 7). Failures throw EVexorError with
// the text the user is shown; an import that fails leaves the image as it was.

#include <QByteArray>
#include <QString>
#include <QStringList>

class TRom;
class TTableTranslator;

enum TCalibrationKind : int { ckTableValues = 0, ckCalibration = 1 };

// ".CTV" (any case) is kind 0; every other extension, ".skl" and ".kal"
// included, is kind 1.
[[nodiscard]] int calibrationKindForFile(const QString& fileName);

// Kind 1 writes a ".ct2" file, kind 0 a ".ctv" file; any other kind does nothing.
void exportCalibration(const TRom& rom, const QString& fileName, int kind);
// Kind 1 reads a ".ct2" file, kind 0 a ".ctv" file; any other kind does nothing.
void importCalibration(TRom& rom, const QString& fileName, int kind);

// ".ct2": writes into the INI file (created if missing); keys already in it
// are overwritten, every other key stays.
void exportCt2(const TRom& rom, const QString& fileName);
void importCt2(TRom& rom, const QString& fileName);
// The same from and into INI text, for callers that hold the text themselves.
void importCt2Text(TRom& rom, const QString& iniText, const QString& sourceName);

// ".ctv": the byte string, and the import from bytes.
[[nodiscard]] QByteArray ctvBytes(const TRom& rom);
void exportCtv(const TRom& rom, const QString& fileName);
void importCtv(TRom& rom, const QString& fileName);
void importCtvBytes(TRom& rom, const QByteArray& bytes, const QString& sourceName);

// Comma-separated lists as the INI lists of these files hold them: items are
// separated by commas (blanks around them ignored, a blank inside an unquoted
// item also separates); an item in double quotes may hold commas and blanks,
// "" inside it standing for one quote.
[[nodiscard]] QStringList parseCommaText(const QString& text);
[[nodiscard]] QString formatCommaText(const QStringList& items);

// The file-dialog texts of the Import and Export commands.
extern const char* const CalibrationExportFilter;
extern const char* const CalibrationExportTitle;
extern const char* const CalibrationImportFilter;
extern const char* const CalibrationImportTitle;
extern const char* const CalibrationDefaultExt;
