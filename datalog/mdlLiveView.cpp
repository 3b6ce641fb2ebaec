#include "datalog/mdlLiveView.h"

#include "datalog/mdlCsvExport.h"

#include <algorithm>

namespace {

QString f(const char* format, double v)
{
    QString text = QString::asprintf(format, v);
    // A value that rounds to zero reads 0, whatever its sign ("-0 %").
    if (text.startsWith(QLatin1Char('-')) && std::none_of(text.cbegin(), text.cend(), [](QChar c) {
            return c >= QLatin1Char('1') && c <= QLatin1Char('9');
        }))
        text.remove(0, 1);
    return text;
}

QString d(int v) { return QString::number(v); }

double toFahrenheit(double c) { return c * 1.8 + 32.0; }

} // namespace

QString liveViewHeader(int column) { return column == 0 ? QStringLiteral("Data Type") : QStringLiteral("Value"); }

QString liveViewLabel(int item, const TLiveViewOptions& o)
{
    static const char* const labels[lvItemCount] = {
        "Engine Speed",
        "Vehicle Speed",
        "Gear",
        "Duty Cycle",
        "Injector Duration",
        "Ignition Advance",
        "Throttle Position",
        "TPS Voltage",
        "Engine Load",
        "Boost Pressure",
        "Atmospheric Pressure",
        "Air Temperature",
        "Coolant Temperature",
        "Knock Retard",
        "S. Fuel Trim",
        "Lambda",
        "O2 Voltage",
        "Battery Voltage",
        "VTEC",
        "CEL",
        "Playback Duration",
    };
    if (item == lvLambda && o.units.afr)
        return QStringLiteral("Air Fuel Ratio");
    if (item < 0 || item >= lvItemCount)
        return QString();
    return QString::fromLatin1(labels[item]);
}

QString playbackDurationText(quint32 ms) { return QString::fromLatin1(durationText(ms)); }

QVector<TLiveViewRow> liveViewRows(const DatalogSample& s, const TLiveViewOptions& o)
{
    using namespace datalog;
    QVector<TLiveViewRow> rows(lvItemCount);
    for (int i = 0; i < lvItemCount; ++i)
        rows[i].label = liveViewLabel(i, o);
    if (s.isMarker())
        return rows;
    const TTuningConditions& t = o.tuning;
    auto set = [&rows](int item, const QString& value, const QString& single) {
        rows[item].value = value;
        rows[item].item = single;
    };
    auto red = [&rows](int item, bool on) {
        if (on)
            rows[item].background = liveview::Red;
    };

    if (rpmValid(s)) {
        const int r = rpm(s);
        set(lvEngineSpeed, QStringLiteral("%1 rpm").arg(r), d(r));
        red(lvEngineSpeed, r < t.minRPM || r > t.maxRPM);
        const double duty = dutyCycle(s);
        set(lvDutyCycle, f("%.0f%%", duty), f("%.0f", duty));
        red(lvDutyCycle, duty > 100.0);
    }
    if (o.units.mph)
        set(lvVehicleSpeed, f("%.1f Mph", speedMph(s)), f("%.1f", speedMph(s)));
    else
        set(lvVehicleSpeed, QStringLiteral("%1 kph").arg(speedKmh(s)), d(speedKmh(s)));
    const int g = gear(s, o.ctx);
    set(lvGear, d(g), d(g));
    red(lvGear, g > 7 || !t.acceptsGear(g));
    set(lvInjector, f("%.2f ms", injectorMs(s)), f("%.2f", injectorMs(s)));
    set(lvIgnition, QString::asprintf("%.2f\u00B0", ignition(s, o.ctx)),
        QString::asprintf("%.2f\u00B0", ignition(s, o.ctx)));
    set(lvThrottle, f("%.0f%%", throttlePercent(s)), f("%.0f", throttlePercent(s)));
    set(lvTpsVoltage, f("%.2f V", tpsVolts(s)), f("%.2f", tpsVolts(s)));
    const int map = mapMbar(s, o.ctx);
    set(lvEngineLoad, QStringLiteral("%1 mbar").arg(map), d(map));
    red(lvEngineLoad, map < t.minLoad || map > t.maxLoad);
    const int boost = boostMbar(s, o.ctx, o.units.atmospheric);
    if (o.units.psi) {
        const double psi = boost / 1013.0 * PsiPerBar;
        set(lvBoost, f("%.1f psi", psi), f("%.1f", psi));
    } else {
        const double kg = boost * KgPerCm2PerMbar;
        set(lvBoost, QString::asprintf("%.2f kg/cm\u00B2", kg), f("%.2f", kg));
    }
    const int atm = atmosphericMbar(s);
    set(lvAtmospheric, QStringLiteral("%1 mbar").arg(atm), d(atm));
    const double air = airTempC(s);
    const double coolant = coolantTempC(s);
    const char* tempFormat = o.units.fahrenheit ? "%.2f \u00B0F" : "%.2f \u00B0C";
    const double airShown = o.units.fahrenheit ? toFahrenheit(air) : air;
    const double coolantShown = o.units.fahrenheit ? toFahrenheit(coolant) : coolant;
    set(lvAirTemp, QString::asprintf(tempFormat, airShown), f("%.2f", airShown));
    set(lvCoolantTemp, QString::asprintf(tempFormat, coolantShown), f("%.2f", coolantShown));
    red(lvCoolantTemp, coolant < t.minTemp || coolant > t.maxTemp);
    if (o.ctx.knockSensor)
        set(lvKnock, QString::asprintf("%.2f \u00B0", knockRetard(s)), QString::asprintf("%.2f\u00B0", knockRetard(s)));
    else
        set(lvKnock, QStringLiteral("NONE"), QStringLiteral("NONE"));
    rows[lvKnock].background = IgnitionColor(s.u8(DatalogSample::Knock) * 1.5 + 16);
    set(lvFuelTrim, f("%.0f %%", fuelTrim(s)), f("%.0f", fuelTrim(s)));
    const double lambda = o.lambda[s.u8(DatalogSample::O2)];
    const double mixture = o.units.afr ? lambda * static_cast<double>(o.units.stoich) : lambda;
    set(lvLambda, f("%.2f", mixture), f("%.2f", mixture));
    rows[lvLambda].background = LambdaColor(lambda);
    set(lvO2Voltage, f("%.2f V", o2Volts(s)), f("%.2f", o2Volts(s)));
    set(lvBattery, f("%.2f V", batteryVolts(s)), f("%.2f", batteryVolts(s)));
    if (s.vtec()) {
        set(lvVtec, QStringLiteral("ON"), QStringLiteral("ON"));
        rows[lvVtec].font = liveview::Olive;
        rows[lvVtec].background = liveview::Lime;
    } else {
        set(lvVtec, QStringLiteral("OFF"), QStringLiteral("OFF"));
    }
    if (s.errorWord() != 0) {
        set(lvCel, QStringLiteral("ON"), QStringLiteral("ON"));
        rows[lvCel].font = liveview::Red;
        rows[lvCel].background = liveview::Orange;
    } else {
        set(lvCel, QStringLiteral("OFF"), QStringLiteral("OFF"));
        rows[lvCel].font = liveview::Green;
    }
    // A sample from before the recording's start (the tick counter's
    // difference is then "negative") has no playback time.
    const quint32 since = s.timeStamp() - o.startTime;
    const QString duration = o.connectionActive               ? QStringLiteral("Recording...")
                             : static_cast<qint32>(since) < 0 ? QString()
                                                              : playbackDurationText(since);
    set(lvDuration, duration, duration);
    return rows;
}
