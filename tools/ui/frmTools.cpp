#include "tools/ui/frmTools.h"

#include "rom/mdlEncodings.h"
#include "settings/mdlErrors.h"
#include "settings/mdlInjectors.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QDialogButtonBox* okCancel(QDialog* dialog, const std::function<bool()>& accept)
{
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    box->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    box->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, [dialog, accept] {
        if (accept())
            dialog->accept();
    });
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

QLineEdit* edit(QWidget* parent, const char* name, const QString& text)
{
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

double number(const QLineEdit* e)
{
    bool ok = false;
    const double v = e->text().toDouble(&ok);
    if (!ok)
        throw EVexorError(QStringLiteral("'%1' is not a valid floating point value.").arg(e->text()));
    return v;
}

// Engine displacements offered in the capacity boxes (cc); any number may be typed.
const char* const Capacities[] = {"1493", "1590", "1595", "1668", "1797", "1834", "1972", "1997", "2157"};

} // namespace

TMultiplierForm::TMultiplierForm(TRom& rom, QWidget* parent) : QDialog(parent), m_rom(rom)
{
    setObjectName(QStringLiteral("TMultiplierForm"));
    setWindowTitle(tr("Fuel Multiplier"));
    pcMultiplier = new QTabWidget(this);
    pcMultiplier->setObjectName(QStringLiteral("pcMultiplier"));
    auto* basic = new QWidget(pcMultiplier);
    auto* form = new QFormLayout(basic);
    txtOldInjector = edit(basic, "txtOldInjector", QStringLiteral("240"));
    txtNewInjector = edit(basic, "txtNewInjector", QStringLiteral("240"));
    txtOldFuelPressure = edit(basic, "txtOldFuelPressure", QStringLiteral("45"));
    txtNewFuelPressure = edit(basic, "txtNewFuelPressure", QStringLiteral("45"));
    auto capacity = [basic](const char* name) {
        auto* c = new QComboBox(basic);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);
        for (const char* v : Capacities)
            c->addItem(QLatin1String(v));
        c->setCurrentText(QStringLiteral("1595"));
        return c;
    };
    cbOldCapacity = capacity("cbOldCapacity");
    cbNewCapacity = capacity("cbNewCapacity");
    txtAdjustedMultiplier = edit(basic, "txtAdjustedMultiplier", QStringLiteral("1.000"));
    form->addRow(tr("Old injector (cc):"), txtOldInjector);
    form->addRow(tr("New injector (cc):"), txtNewInjector);
    form->addRow(tr("Old fuel pressure (psi):"), txtOldFuelPressure);
    form->addRow(tr("New fuel pressure (psi):"), txtNewFuelPressure);
    form->addRow(tr("Old displacement (cc):"), cbOldCapacity);
    form->addRow(tr("New displacement (cc):"), cbNewCapacity);
    form->addRow(tr("Adjusted multiplier:"), txtAdjustedMultiplier);
    pcMultiplier->addTab(basic, tr("Basic"));

    tsAdvanced = new QWidget(pcMultiplier);
    tsAdvanced->setObjectName(QStringLiteral("tsAdvanced"));
    auto* grid = new QFormLayout(tsAdvanced);
    for (int i = 0; i < rom.fuelCorrectionCount(); ++i) {
        const TFuelCorrItem& item = rom.fuelCorrection(i);
        const TFuelCorrectionValue v = fuelCorrectionValue(rom, i);
        auto* label = new QLabel(item.caption + QLatin1Char(':'), tsAdvanced);
        label->setObjectName(QStringLiteral("lblCaption%1").arg(i));
        auto* scalar = edit(tsAdvanced, "", QString::asprintf("%.3f", v.scalar));
        scalar->setObjectName(QStringLiteral("txtScalar%1").arg(i));
        auto* offset = edit(tsAdvanced, "", QString::asprintf("%.2f", v.offset));
        offset->setObjectName(QStringLiteral("txtOffset%1").arg(i));
        scalar->setVisible(item.scalarAddress != 0);
        offset->setVisible(item.offsetAddress != 0);
        auto* row = new QHBoxLayout;
        row->addWidget(scalar);
        row->addWidget(offset);
        grid->addRow(label, row);
        lblCaption << label;
        txtScalar << scalar;
        txtOffset << offset;
        connect(offset, &QLineEdit::textEdited, this, [this, offset] { restoreEmpty(offset, QStringLiteral("0.00")); });
    }
    const int advanced = pcMultiplier->addTab(tsAdvanced, tr("Advanced"));
    pcMultiplier->setTabEnabled(advanced, rom.fuelCorrectionCount() > 0);
    pcMultiplier->setTabVisible(advanced, rom.fuelCorrectionCount() > 0);

    // The first item's scalar tells which injector the ROM is set up for.
    if (!txtScalar.isEmpty() && rom.fuelCorrection(0).scalarAddress != 0) {
        const double factor = fuelCorrectionValue(rom, 0).scalar;
        if (factor > 0)
            txtNewInjector->setText(QString::asprintf("%.0f", ReferenceInjectorCc / factor));
    }
    for (QLineEdit* e : {txtOldInjector, txtNewInjector, txtOldFuelPressure, txtNewFuelPressure})
        connect(e, &QLineEdit::textEdited, this, [this, e] {
            restoreEmpty(e, QStringLiteral("0"));
            recompute();
        });
    for (QComboBox* c : {cbOldCapacity, cbNewCapacity})
        connect(c, &QComboBox::currentTextChanged, this, [this] { recompute(); });
    connect(txtAdjustedMultiplier, &QLineEdit::textEdited, this, [this] {
        restoreEmpty(txtAdjustedMultiplier, QStringLiteral("1.000"));
        if (!txtScalar.isEmpty())
            txtScalar[0]->setText(txtAdjustedMultiplier->text());
    });
    recompute();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pcMultiplier);
    layout->addWidget(okCancel(this, [this] {
        apply();
        return true;
    }));
}

void TMultiplierForm::restoreEmpty(QLineEdit* e, const QString& empty)
{
    if (!e->text().isEmpty())
        return;
    e->setText(empty);
    e->selectAll();
}

void TMultiplierForm::recompute()
{
    TMultiplierInputs in;
    auto value = [](const QString& text) { return text.toDouble(); }; // not a number: 0, shown as "1"
    in.oldInjector = value(txtOldInjector->text());
    in.newInjector = value(txtNewInjector->text());
    in.oldPressure = value(txtOldFuelPressure->text());
    in.newPressure = value(txtNewFuelPressure->text());
    in.oldCapacity = value(cbOldCapacity->currentText());
    in.newCapacity = value(cbNewCapacity->currentText());
    txtAdjustedMultiplier->setText(QString::asprintf("%.3f", fuelMultiplier(in)));
    if (!txtScalar.isEmpty())
        txtScalar[0]->setText(txtAdjustedMultiplier->text());
}

double TMultiplierForm::multiplier() const { return number(txtAdjustedMultiplier); }

void TMultiplierForm::apply()
{
    if (pcMultiplier->currentWidget() != tsAdvanced) {
        applyFuelMultiplier(m_rom, multiplier());
        return;
    }
    QVector<TFuelCorrectionValue> values;
    for (int i = 0; i < txtScalar.size(); ++i) {
        const TFuelCorrItem& item = m_rom.fuelCorrection(i);
        values.push_back(
            {item.scalarAddress ? number(txtScalar[i]) : 1.0, item.offsetAddress ? number(txtOffset[i]) : 0.0});
    }
    applyFuelCorrections(m_rom, values);
}

TBoostForm::TBoostForm(TRom& rom, int atmosphericMbar, QWidget* parent)
    : QDialog(parent), m_rom(rom), m_atmospheric(atmosphericMbar)
{
    setObjectName(QStringLiteral("TBoostForm"));
    setWindowTitle(tr("Boost Columns"));
    auto radio = [](QWidget* group, const char* name, const QString& text) {
        auto* r = new QRadioButton(text, group);
        r->setObjectName(QLatin1String(name));
        return r;
    };
    auto* ign = new QGroupBox(tr("Ignition boost columns"), this);
    auto* ignLayout = new QFormLayout(ign);
    rdoIgnitionNoChange = radio(ign, "rdoIgnitionNoChange", tr("No change"));
    rdoIgnitionInitialize = radio(ign, "rdoIgnitionInitialize", tr("Copy the last naturally aspirated column"));
    rdoIgnitionRetard = radio(ign, "rdoIgnitionRetard", tr("Retard (degrees per psi):"));
    txtIgnitionRetard = edit(ign, "txtIgnitionRetard", QStringLiteral("1"));
    ignLayout->addRow(rdoIgnitionNoChange);
    ignLayout->addRow(rdoIgnitionInitialize);
    ignLayout->addRow(rdoIgnitionRetard, txtIgnitionRetard);
    auto* fuel = new QGroupBox(tr("Fuel boost columns"), this);
    auto* fuelLayout = new QFormLayout(fuel);
    rdoFuelNoChange = radio(fuel, "rdoFuelNoChange", tr("No change"));
    rdoFuelInitialize = radio(fuel, "rdoFuelInitialize", tr("Copy the last naturally aspirated column"));
    rdoFuelTurboEfficiency = radio(fuel, "rdoFuelTurboEfficiency", tr("Turbo efficiency (%):"));
    txtTurboEfficiency = edit(fuel, "txtTurboEfficiency", QStringLiteral("70"));
    fuelLayout->addRow(rdoFuelNoChange);
    fuelLayout->addRow(rdoFuelInitialize);
    fuelLayout->addRow(rdoFuelTurboEfficiency, txtTurboEfficiency);
    rdoIgnitionNoChange->setChecked(true);
    rdoFuelNoChange->setChecked(true);
    // Typing into a field chooses its option.
    connect(txtIgnitionRetard, &QLineEdit::textEdited, rdoIgnitionRetard,
            [this] { rdoIgnitionRetard->setChecked(true); });
    connect(txtTurboEfficiency, &QLineEdit::textEdited, rdoFuelTurboEfficiency,
            [this] { rdoFuelTurboEfficiency->setChecked(true); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ign);
    layout->addWidget(fuel);
    layout->addWidget(okCancel(this, [this] {
        apply();
        return true;
    }));
}

TBoostRequest TBoostForm::request() const
{
    TBoostRequest r;
    r.atmosphericMbar = m_atmospheric;
    if (rdoIgnitionInitialize->isChecked())
        r.ignition = TIgnitionBoost::Initialize;
    if (rdoIgnitionRetard->isChecked()) {
        r.ignition = TIgnitionBoost::Retard;
        r.retardPerPsi = number(txtIgnitionRetard);
    }
    if (rdoFuelInitialize->isChecked())
        r.fuel = TFuelBoost::Initialize;
    if (rdoFuelTurboEfficiency->isChecked()) {
        r.fuel = TFuelBoost::Efficiency;
        r.efficiencyPercent = number(txtTurboEfficiency);
    }
    return r;
}

TTPSCalibForm::TTPSCalibForm(std::function<std::optional<quint8>()> sample, QWidget* parent)
    : QDialog(parent), m_sample(std::move(sample))
{
    setObjectName(QStringLiteral("TTPSCalibForm"));
    setWindowTitle(tr("Throttle Sensor Calibration"));
    auto* hint = new QLabel(tr("Open the throttle fully and let it close, then press OK."), this);
    lblMinThrottle = new QLabel(m_cal.minText(), this);
    lblMinThrottle->setObjectName(QStringLiteral("lblMinThrottle"));
    lblMaxThrottle = new QLabel(m_cal.maxText(), this);
    lblMaxThrottle->setObjectName(QStringLiteral("lblMaxThrottle"));
    tmrTPSCal = new QTimer(this);
    tmrTPSCal->setObjectName(QStringLiteral("tmrTPSCal"));
    tmrTPSCal->setInterval(100);
    connect(tmrTPSCal, &QTimer::timeout, this, &TTPSCalibForm::tick);
    tmrTPSCal->start();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(lblMinThrottle);
    layout->addWidget(lblMaxThrottle);
    // A sensor that never moved would store a zero-width range: OK waits for movement.
    layout->addWidget(okCancel(this, [this] {
        if (m_cal.maximum() > m_cal.minimum())
            return true;
        lblMaxThrottle->setText(m_cal.maxText() + tr(" (move the throttle first)"));
        return false;
    }));
}

void TTPSCalibForm::tick()
{
    if (const std::optional<quint8> b = m_sample ? m_sample() : std::nullopt) {
        m_cal.observe(*b);
        lblMinThrottle->setText(m_cal.minText());
        lblMaxThrottle->setText(m_cal.maxText());
    }
}

TInjectorForm::TInjectorForm(TRom& rom, const TInjectorDefinitions& defs, QWidget* parent)
    : QDialog(parent), m_rom(rom), m_defs(defs)
{
    setObjectName(QStringLiteral("TInjectorForm"));
    setWindowTitle(tr("Injectors"));
    cbxInjector = new QComboBox(this);
    cbxInjector->setObjectName(QStringLiteral("cbxInjector"));
    cbxInjector->setEditable(true);
    cbxInjector->addItems(defs.names());
    cbxInjector->setCurrentText(injectorText(rom, defs));
    cbxInjector->setMinimumContentsLength(40);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Choose an injector, or type its size in cc. The injector scalars, and for a "
                                    "listed injector its dead times, are rewritten."),
                                 this));
    layout->addWidget(cbxInjector);
    layout->addWidget(okCancel(this, [this] {
        apply();
        return true;
    }));
}

void TInjectorForm::apply() { applyInjectorText(m_rom, m_defs, cbxInjector->currentText().trimmed()); }
