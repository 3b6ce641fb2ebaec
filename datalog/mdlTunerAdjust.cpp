#include "datalog/mdlTunerAdjust.h"

#include "editor/mdlTableEdit.h"
#include "rom/clsRom.h"

#include <algorithm>
#include <cmath>

TTunerAdjustSummary tunerAdjustSummary(const TRom& rom, const TVEXORTuner& tuner, const TGridRect& sel)
{
    const int cam = TRom::isHighCamKind(rom.CurrentTable) ? 1 : 0;
    double lambdaSum = 0, differenceSum = 0;
    int cells = 0, differences = 0;
    for (int row = sel.Top; row <= sel.Bottom; ++row)
        for (int col = sel.Left; col <= sel.Right; ++col) {
            if (tuner.count(cam, col, row) == 0)
                continue;
            const double average = tuner.average(cam, col, row);
            lambdaSum += average;
            ++cells;
            // A target of 0 has no difference to show.
            const double target = rom.correctionCell(cam, col, row);
            if (target != 0) {
                differenceSum += (target - average) / target;
                ++differences;
            }
        }
    TTunerAdjustSummary s;
    if (cells == 0) {
        s.averageText = s.differenceText = QStringLiteral("No available data from selection.");
        s.recommendationText = QStringLiteral("Recommended Adjustment: No Adjustment");
        s.percentText = QStringLiteral("0");
        return s;
    }
    s.averageText = QString::asprintf("Average Lambda: %.3f", lambdaSum / cells);
    if (differences == 0) {
        s.differenceText = s.averageText;
        s.recommendationText = QStringLiteral("Recommended Adjustment: No Adjustment");
        s.percentText = QStringLiteral("0");
        return s;
    }
    const double difference = differenceSum / differences;
    s.differenceText = QString::asprintf("Average Difference: %.2f%%", difference * 100);
    const TTuningConditions& c = tuner.Conditions;
    if (std::abs(difference) * 100 >= c.minFuelAdj) {
        const double limit = c.maxFuelAdj / 100;
        const double recommended = -std::clamp(difference, -limit, limit) * 100;
        s.recommendationText = QString::asprintf("Recommended Adjustment: %.2f%%", recommended);
        s.percentText = QString::asprintf("%.2f", recommended);
    } else {
        s.recommendationText = QStringLiteral("Recommended Adjustment: No Adjustment");
        s.percentText = QStringLiteral("0");
    }
    return s;
}

bool applyTunerAdjust(TRom& rom, TVEXORTuner& tuner, const TGridRect& sel, TTunerAdjustOption option, double amount,
                      int mapSmoothing)
{
    TAutoTune tune(rom, tuner);
    tune.MapSmoothing = mapSmoothing;
    auto wrote = [](const TAutoTuneResult& r) { return r.changed[0] + r.changed[1] > 0; };
    switch (option) {
    case TTunerAdjustOption::Automatic: return wrote(tune.adjustSelection(sel));
    case TTunerAdjustOption::Row: return wrote(tune.adjustRowsIn(sel));
    case TTunerAdjustOption::Column: return wrote(tune.adjustColumnsIn(sel));
    case TTunerAdjustOption::Percent:
    case TTunerAdjustOption::Add:
    case TTunerAdjustOption::Set: {
        // The table values, whatever view the grid shows.
        TTableEditor editor(rom);
        editor.ViewMode = vmValues;
        editor.CellData = &tuner;
        const TAdjustKind kind = option == TTunerAdjustOption::Percent ? TAdjustKind::Percent
                                 : option == TTunerAdjustOption::Add   ? TAdjustKind::Add
                                                                       : TAdjustKind::Set;
        return editor.adjust(sel, kind, amount);
    }
    }
    return false;
}

bool tunerAdjustKeyAccepted(QChar key)
{
    return key.isDigit() || key == QLatin1Char('.') || key == QLatin1Char('-') || key == QChar(8) ||
           key == QChar(127) || key == QLatin1Char('\r');
}

double tunerAdjustFieldValue(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}
