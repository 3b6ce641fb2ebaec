#pragma once

// The lambda lookup: one lambda for each value of the O2 sample byte. Every
// lambda the live view shows and the CSV export writes comes from it. This
// unit builds it from the settings' voltage-to-lambda curve; conversions
// registered by scripts are evaluated by the script host, which fills a
// lookup of the same type.

#include "settings/mdlSettings.h"

#include <array>

using TLambdaLookup = std::array<float, 256>;

// Entry b: the curve of points 0..11 at b x 0.01961 V, interpolated between
// the two points around it, plus the offset, in single precision. Voltages
// below the first point take the first point's lambda, voltages at or above
// the twelfth take the twelfth's.
[[nodiscard]] TLambdaLookup lambdaLookupFromCurve(const TLambdaPoints& points, double lambdaOffset);

// The lookup the settings select. A SensorIndex inside the definition file's
// sections selects the settings curve; past them it names one of the
// `scriptConversions` conversions registered by scripts, which only the
// script host can evaluate: here every entry is then the offset alone
// (lambda 0 never passes a tuning filter) and *scriptSelected is set. An
// index that names no conversion at all falls back to the settings curve
// rather than to a table of zeros.
[[nodiscard]] TLambdaLookup lambdaLookupFromSettings(const TSettings& settings, int widebandSections,
                                                     int scriptConversions = 0, bool* scriptSelected = nullptr);
