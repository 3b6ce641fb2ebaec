#pragma once

// The auto-tune adjustment dialog without its window: what it tells the user
// about the selected cells, and the six ways it changes them.

#include "datalog/mdlAutoTune.h"

#include <QString>

class TTableEditor;

struct TTunerAdjustSummary {
    QString averageText;        // "Average Lambda: %.3f" or "No available data from selection."
    QString differenceText;     // "Average Difference: %.2f%%" (or the same text as above)
    QString recommendationText; // "Recommended Adjustment: %.2f%%" or "... No Adjustment"
    QString percentText;        // what the percent field starts with
};

// The selection (data coordinates) of the displayed fuel map against its
// accumulator cells and target lambdas.
[[nodiscard]] TTunerAdjustSummary tunerAdjustSummary(const TRom& rom, const TVEXORTuner& tuner,
                                                     const TGridRect& selection);

enum class TTunerAdjustOption : quint8 { Automatic, Row, Column, Percent, Add, Set };

// Applies the chosen option to the selection of the displayed table as one
// undo step. Percent and add with 0 change nothing. Returns whether a cell
// of the table was written.
bool applyTunerAdjust(TRom& rom, TVEXORTuner& tuner, const TGridRect& selection, TTunerAdjustOption option,
                      double amount, int mapSmoothing);

// The numeric fields take digits, ".", "-", backspace, delete and return.
[[nodiscard]] bool tunerAdjustKeyAccepted(QChar key);
// An emptied field reads "0"; anything else that is no number reads 0 too.
[[nodiscard]] double tunerAdjustFieldValue(const QString& text);
