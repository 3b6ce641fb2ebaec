// The small pages of the settings window: general values, option deltas, dyno
// and data graphs, and the text-field helpers every page uses.

#include "settings/mdlIniFile.h"
#include "settings/ui/frmSettingsPages.h"
#include "settings/ui/mdlKeyFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

QLineEdit* newIntField(QWidget* parent, const char* name, bool isSigned)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    setIntegerKeyFilter(e, isSigned);
    return e;
}

QLineEdit* newRealField(QWidget* parent, const char* name, bool isSigned)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    setRealKeyFilter(e, isSigned);
    return e;
}

void showInt(QLineEdit* field, int value) { field->setText(QString::number(value)); }

void showReal(QLineEdit* field, double value) { field->setText(TIniFile::formatFloat(value)); }

int intFrom(const QLineEdit* field, int fallback) { return TIniFile::parseInteger(field->text()).value_or(fallback); }

double realFrom(const QLineEdit* field, double fallback)
{
    // The key filter only lets '.' through; a pasted decimal comma is read as
    // the settings file reads one.
    return TIniFile::parseFloat(field->text()).value_or(fallback);
}

QString refusalOf(const QString& caption, const QString& text, const TSettingRange& range)
{
    const QString t = text.trimmed();
    std::optional<double> v = TIniFile::parseFloat(t);
    if (range.integer) {
        const auto i = TIniFile::parseInteger(t);
        v = i ? std::optional<double>(*i) : std::nullopt;
    }
    if (v && *v >= range.lo && *v <= range.hi)
        return QString();
    return QStringLiteral("%1: \"%2\" is not accepted.\r\n\r\nEnter a number from %3 to %4.")
        .arg(caption, t, QString::number(range.lo, 'g', 15), QString::number(range.hi, 'g', 15));
}

void TSettingsPage::checkField(QLineEdit* edit, const QString& section, const QString& key, const QString& caption)
{
    Q_ASSERT_X(settingRange(section, key), "checkField", "a checked field must edit a ranged key");
    m_checked.push_back({edit, section, key, caption});
}

std::optional<TFieldRefusal> TSettingsPage::refusedField() const
{
    for (const TCheckedField& f : m_checked) {
        const auto range = settingRange(f.section, f.key);
        if (!range || !f.edit->isEnabled())
            continue;
        const QString why = refusalOf(f.caption, f.edit->text(), *range);
        if (why.isEmpty())
            continue;
        QLineEdit* edit = f.edit;
        return TFieldRefusal{why, [edit] {
                                 edit->setFocus(Qt::OtherFocusReason);
                                 edit->selectAll();
                             }};
    }
    return std::nullopt;
}

// ---------------------------------------------------------------- General

TGeneralPage::TGeneralPage(QWidget* parent) : TSettingsPage(parent)
{
    setObjectName(QStringLiteral("tsGeneral"));
    auto* form = new QFormLayout(this);
    txtIgnitionAdjustment = newRealField(this, "txtIgnitionAdjustment", false);
    txtFuelAdjustment1 = newRealField(this, "txtFuelAdjustment1", false);
    txtFuelAdjustment2 = newIntField(this, "txtFuelAdjustment2", false);
    txtLambdaAdjustment = newRealField(this, "txtLambdaAdjustment", false);
    trkMapSmoothing = new QSlider(Qt::Horizontal, this);
    trkMapSmoothing->setObjectName(QStringLiteral("trkMapSmoothing"));
    trkMapSmoothing->setRange(0, 1000);
    trkMapSmoothing->setPageStep(10);
    auto* smoothingValue = new QLabel(this);
    connect(trkMapSmoothing, &QSlider::valueChanged, smoothingValue,
            [smoothingValue](int v) { smoothingValue->setText(QString::number(v / 10.0, 'f', 1) + QLatin1Char('%')); });
    auto* smoothingRow = new QHBoxLayout;
    smoothingRow->addWidget(trkMapSmoothing, 1);
    smoothingRow->addWidget(smoothingValue);
    txtAtmospheric = newIntField(this, "txtAtmospheric", false);
    txtStoichValue = newRealField(this, "txtStoichValue", false);
    chkShowFahrenheit = new QCheckBox(QStringLiteral("Temperature in degrees Fahrenheit"), this);
    chkShowFahrenheit->setObjectName(QStringLiteral("chkShowFahrenheit"));
    chkShowMph = new QCheckBox(QStringLiteral("Speed in miles per hour"), this);
    chkShowMph->setObjectName(QStringLiteral("chkShowMph"));
    chkShowPsi = new QCheckBox(QStringLiteral("Pressure in psi"), this);
    chkShowPsi->setObjectName(QStringLiteral("chkShowPsi"));
    chkShowAFR = new QCheckBox(QStringLiteral("Mixture as air-fuel ratio"), this);
    chkShowAFR->setObjectName(QStringLiteral("chkShowAFR"));

    form->addRow(QStringLiteral("Ignition step (degrees):"), txtIgnitionAdjustment);
    form->addRow(QStringLiteral("Fuel step (percent):"), txtFuelAdjustment1);
    form->addRow(QStringLiteral("Smallest fuel step:"), txtFuelAdjustment2);
    form->addRow(QStringLiteral("Lambda step:"), txtLambdaAdjustment);
    form->addRow(QStringLiteral("Smoothing tolerance:"), smoothingRow);
    form->addRow(QStringLiteral("Atmospheric pressure (mbar):"), txtAtmospheric);
    form->addRow(QStringLiteral("Stoichiometric ratio:"), txtStoichValue);
    form->addRow(chkShowFahrenheit);
    form->addRow(chkShowMph);
    form->addRow(chkShowPsi);
    form->addRow(chkShowAFR);

    const QString section = QStringLiteral("General Settings");
    checkField(txtIgnitionAdjustment, section, QStringLiteral("IgnitionAdjustment"), QStringLiteral("Ignition step"));
    checkField(txtFuelAdjustment1, section, QStringLiteral("FuelAdjustment1"), QStringLiteral("Fuel step"));
    checkField(txtFuelAdjustment2, section, QStringLiteral("FuelAdjustment2"), QStringLiteral("Smallest fuel step"));
    checkField(txtLambdaAdjustment, section, QStringLiteral("LambdaAdjustment"), QStringLiteral("Lambda step"));
    checkField(txtAtmospheric, section, QStringLiteral("Atmospheric"), QStringLiteral("Atmospheric pressure (mbar)"));
    checkField(txtStoichValue, section, QStringLiteral("StoichValue"), QStringLiteral("Stoichiometric ratio"));
}

void TGeneralPage::fill(const TSettings& s)
{
    const TGeneralSettings& g = s.general;
    showReal(txtIgnitionAdjustment, g.ignitionAdjustment);
    showReal(txtFuelAdjustment1, g.fuelAdjustment1);
    showInt(txtFuelAdjustment2, g.fuelAdjustment2);
    showReal(txtLambdaAdjustment, g.lambdaAdjustment);
    trkMapSmoothing->setValue(g.mapSmoothing);
    showInt(txtAtmospheric, g.atmospheric);
    showReal(txtStoichValue, g.stoichValue);
    chkShowFahrenheit->setChecked(g.showFahrenheit);
    chkShowMph->setChecked(g.showMph);
    chkShowPsi->setChecked(g.showPsi);
    chkShowAFR->setChecked(g.showAFR);
}

void TGeneralPage::apply(TSettings& s) const
{
    TGeneralSettings& g = s.general;
    g.ignitionAdjustment = realFrom(txtIgnitionAdjustment, g.ignitionAdjustment);
    g.fuelAdjustment1 = realFrom(txtFuelAdjustment1, g.fuelAdjustment1);
    g.fuelAdjustment2 = intFrom(txtFuelAdjustment2, g.fuelAdjustment2);
    g.lambdaAdjustment = realFrom(txtLambdaAdjustment, g.lambdaAdjustment);
    g.mapSmoothing = trkMapSmoothing->value();
    g.atmospheric = intFrom(txtAtmospheric, g.atmospheric);
    g.stoichValue = realFrom(txtStoichValue, g.stoichValue);
    g.showFahrenheit = chkShowFahrenheit->isChecked();
    g.showMph = chkShowMph->isChecked();
    g.showPsi = chkShowPsi->isChecked();
    g.showAFR = chkShowAFR->isChecked();
}

void TGeneralPage::defaults()
{
    // The page's own defaults; the smallest fuel step differs from the value a
    // missing key gets (10 here, 5 there) by design.
    showReal(txtIgnitionAdjustment, 0.25);
    showReal(txtFuelAdjustment1, 3.0);
    showInt(txtFuelAdjustment2, 10);
    showReal(txtLambdaAdjustment, 0.01);
    trkMapSmoothing->setValue(30);
    chkShowFahrenheit->setChecked(true);
    chkShowMph->setChecked(true);
    chkShowPsi->setChecked(true);
    chkShowAFR->setChecked(false);
    showInt(txtAtmospheric, 1013);
    showReal(txtStoichValue, 14.7);
}

// ---------------------------------------------------------------- Option deltas

TOptionDeltasPage::TOptionDeltasPage(QWidget* parent) : TSettingsPage(parent)
{
    setObjectName(QStringLiteral("tsOptions"));
    auto* form = new QFormLayout(this);
    const auto field = [this](const char* name) {
        QLineEdit* e = newIntField(this, name, false);
        e->setMaxLength(4);
        return e;
    };
    txtRevDelta = field("txtRevDelta");
    txtLaunchDelta = field("txtLaunchDelta");
    txtShiftDelta = field("txtShiftDelta");
    txtVTECDelta = field("txtVTECDelta");
    txtIABDelta = field("txtIABDelta");
    form->addRow(QStringLiteral("Rev limit resume gap (rpm):"), txtRevDelta);
    form->addRow(QStringLiteral("Launch limit resume gap (rpm):"), txtLaunchDelta);
    form->addRow(QStringLiteral("Shift limit resume gap (rpm):"), txtShiftDelta);
    form->addRow(QStringLiteral("VTEC disable gap (rpm):"), txtVTECDelta);
    form->addRow(QStringLiteral("IAB disable gap (rpm):"), txtIABDelta);
    form->addRow(new QLabel(QStringLiteral("Each gap is at most %1 rpm.").arg(TOptionDeltas::Max), this));
}

void TOptionDeltasPage::fill(const TSettings& s)
{
    showInt(txtRevDelta, s.options.revDelta);
    showInt(txtLaunchDelta, s.options.launchDelta);
    showInt(txtShiftDelta, s.options.shiftDelta);
    showInt(txtVTECDelta, s.options.vtecDelta);
    showInt(txtIABDelta, s.options.iabDelta);
}

void TOptionDeltasPage::apply(TSettings& s) const
{
    // An empty field is 0; anything above the limit is the limit.
    const auto gap = [](const QLineEdit* e) {
        return std::clamp(TIniFile::parseInteger(e->text()).value_or(0), 0, TOptionDeltas::Max);
    };
    s.options.revDelta = gap(txtRevDelta);
    s.options.launchDelta = gap(txtLaunchDelta);
    s.options.shiftDelta = gap(txtShiftDelta);
    s.options.vtecDelta = gap(txtVTECDelta);
    s.options.iabDelta = gap(txtIABDelta);
}

void TOptionDeltasPage::defaults()
{
    // Page defaults, not the missing-key defaults (launch 0 and shift 100 here).
    showInt(txtRevDelta, 500);
    showInt(txtLaunchDelta, 0);
    showInt(txtShiftDelta, 100);
    showInt(txtVTECDelta, 500);
    showInt(txtIABDelta, 500);
}

// ---------------------------------------------------------------- Dyno

TDynoPage::TDynoPage(QWidget* parent) : TSettingsPage(parent)
{
    setObjectName(QStringLiteral("tsDyno"));
    auto* form = new QFormLayout(this);
    txtDynoMinThrottle = newIntField(this, "txtDynoMinThrottle", false);
    cbxGear = new QComboBox(this);
    cbxGear->setObjectName(QStringLiteral("cbxGear"));
    cbxGear->addItems({QStringLiteral("1st"), QStringLiteral("2nd"), QStringLiteral("3rd"), QStringLiteral("4th"),
                       QStringLiteral("5th"), QStringLiteral("6th")});
    txtVehicleWeight = newIntField(this, "txtVehicleWeight", false);
    form->addRow(QStringLiteral("Minimum throttle (percent):"), txtDynoMinThrottle);
    form->addRow(QStringLiteral("Gear:"), cbxGear);
    form->addRow(QStringLiteral("Vehicle weight:"), txtVehicleWeight);
    const QString section = QStringLiteral("Dyno Settings");
    checkField(txtDynoMinThrottle, section, QStringLiteral("MinThrottle"),
               QStringLiteral("Minimum throttle (percent)"));
    checkField(txtVehicleWeight, section, QStringLiteral("VehicleWeight"), QStringLiteral("Vehicle weight"));
}

void TDynoPage::fill(const TSettings& s)
{
    showInt(txtDynoMinThrottle, s.dyno.minThrottle);
    cbxGear->setCurrentIndex(s.dyno.gear - 1);
    showInt(txtVehicleWeight, s.dyno.vehicleWeight);
}

void TDynoPage::apply(TSettings& s) const
{
    s.dyno.minThrottle = intFrom(txtDynoMinThrottle, s.dyno.minThrottle);
    if (cbxGear->currentIndex() >= 0)
        s.dyno.gear = cbxGear->currentIndex() + 1;
    s.dyno.vehicleWeight = intFrom(txtVehicleWeight, s.dyno.vehicleWeight);
}

void TDynoPage::defaults()
{
    const TDynoSettings d;
    showInt(txtDynoMinThrottle, d.minThrottle);
    cbxGear->setCurrentIndex(d.gear - 1);
    showInt(txtVehicleWeight, d.vehicleWeight);
}

// ---------------------------------------------------------------- Data graphs

TDataGraphsPage::TDataGraphsPage(QWidget* parent) : TSettingsPage(parent)
{
    setObjectName(QStringLiteral("tsDataGraphs"));
    auto* row = new QHBoxLayout(this);
    for (int g = 0; g < 2; ++g) {
        auto* box = new QGroupBox(QStringLiteral("Data graph %1").arg(g + 1), this);
        auto* grid = new QGridLayout(box);
        // Highest bit (RPM) first, as the channels are listed everywhere else.
        for (int pos = 0, ch = dgChannelCount - 1; ch >= 0; --ch, ++pos) {
            auto* c = new QCheckBox(dataGraphChannelName(ch), box);
            c->setObjectName(QStringLiteral("chkDG%1%2").arg(g + 1).arg(dataGraphChannelName(ch)));
            grid->addWidget(c, pos % 8, pos / 8);
            m_boxes[g][ch] = c;
        }
        row->addWidget(box);
    }
}

void TDataGraphsPage::fill(const TSettings& s)
{
    const int bits[2] = {s.dataGraphs.graph1, s.dataGraphs.graph2};
    for (int g = 0; g < 2; ++g)
        for (int ch = 0; ch < dgChannelCount; ++ch)
            m_boxes[g][ch]->setChecked((bits[g] >> ch) & 1);
}

void TDataGraphsPage::apply(TSettings& s) const
{
    int bits[2] = {0, 0};
    for (int g = 0; g < 2; ++g)
        for (int ch = 0; ch < dgChannelCount; ++ch)
            if (m_boxes[g][ch]->isChecked())
                bits[g] |= 1 << ch;
    s.dataGraphs.graph1 = bits[0];
    s.dataGraphs.graph2 = bits[1];
}

void TDataGraphsPage::defaults()
{
    for (auto& graph : m_boxes)
        for (QCheckBox* c : graph)
            c->setChecked(false);
}
