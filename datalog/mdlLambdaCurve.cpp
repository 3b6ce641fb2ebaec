#include "datalog/mdlLambdaCurve.h"

#include "rom/mdlEncodings.h"

TLambdaLookup lambdaLookupFromCurve(const TLambdaPoints& points, double lambdaOffset)
{
    constexpr int CurvePoints = 12;
    TLambdaLookup out{};
    for (int b = 0; b < 256; ++b) {
        const double v = sensorByteToVolts(b);
        int i = 0;
        while (i < CurvePoints && !(points[static_cast<size_t>(i)].voltage > v))
            ++i;
        double value;
        if (i == 0) {
            value = points[0].lambda;
        } else if (i == CurvePoints) {
            value = points[CurvePoints - 1].lambda;
        } else {
            // volt(i-1) <= v < volt(i): the divisor is positive.
            const TLambdaPoint& lo = points[static_cast<size_t>(i - 1)];
            const TLambdaPoint& hi = points[static_cast<size_t>(i)];
            value = lo.lambda + (v - lo.voltage) * (hi.lambda - lo.lambda) / (hi.voltage - lo.voltage);
        }
        out[static_cast<size_t>(b)] = static_cast<float>(value + lambdaOffset);
    }
    return out;
}

TLambdaLookup lambdaLookupFromSettings(const TSettings& settings, int widebandSections, int scriptConversions,
                                       bool* scriptSelected)
{
    const double offset = settings.tuning.lambdaOffset;
    const int s = settings.tuning.sensorIndex;
    const bool script = s >= widebandSections && s - widebandSections < scriptConversions;
    if (scriptSelected)
        *scriptSelected = script;
    if (script) {
        TLambdaLookup out;
        out.fill(static_cast<float>(offset));
        return out;
    }
    return lambdaLookupFromCurve(settings.lambdaConversion, offset);
}
