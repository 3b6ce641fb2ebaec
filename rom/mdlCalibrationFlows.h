#pragma once

// The main window's Import and Export commands, headless: the file dialog and
// the messages go through the services, so the whole flow runs in tests.

class TRom;
struct TServices;

// Asks for the target file ("Export Tables To...") and writes a ".ct2" or, for
// a ".ctv" name, a table values file. True when a file was written; a failure
// is shown as an error and returns false.
bool runExportCalibration(const TRom& rom, TServices& services);

// Asks for the source file ("Import Tables From...") and imports it as one
// undo step. True when the image may have changed (the caller refreshes its
// views); a failure is shown as an error, leaves the image unchanged and
// returns false.
bool runImportCalibration(TRom& rom, TServices& services);
