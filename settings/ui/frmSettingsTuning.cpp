// The tuning-conditions and wideband-conversion pages of the settings window.

#include "settings/mdlIniFile.h"
#include "settings/mdlWideband.h"
#include "settings/ui/frmSettingsPages.h"
#include "settings/ui/mdlKeyFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

// ---------------------------------------------------------------- Tuning conditions

TTuningPage::TTuningPage(QWidget* parent) : TSettingsPage(parent)
{
    setObjectName(QStringLiteral("tsTuning"));
    auto* columns = new QHBoxLayout(this);
    auto* left = new QFormLayout;
    auto* right = new QFormLayout;
    columns->addLayout(left);
    columns->addLayout(right);

    // Labels are UTF-8 literals ("\u00B0C"). Each field edits the key its name
    // gives without the "txt" prefix.
    const auto checked = [this](QFormLayout* f, QLineEdit* e, const char* name, const char* label) {
        const QString caption = QString::fromUtf8(label);
        f->addRow(caption, e);
        checkField(e, QStringLiteral("Tuning Conditions"), QString::fromLatin1(name + 3), caption.chopped(1));
    };
    const auto addInt = [this, checked](QFormLayout* f, const char* name, const char* label, int TTuningConditions::*m,
                                        bool isSigned = false) {
        QLineEdit* e = newIntField(this, name, isSigned);
        checked(f, e, name, label);
        m_ints.push_back({e, m});
    };
    const auto addReal = [this, checked](QFormLayout* f, const char* name, const char* label,
                                         double TTuningConditions::*m, bool isSigned = false) {
        QLineEdit* e = newRealField(this, name, isSigned);
        checked(f, e, name, label);
        m_reals.push_back({e, m});
    };
    const auto addBool = [this](QFormLayout* f, const char* name, const char* label, bool TTuningConditions::*m) {
        auto* c = new QCheckBox(QString::fromUtf8(label), this);
        c->setObjectName(QString::fromLatin1(name));
        f->addRow(c);
        m_bools.push_back({c, m});
    };

    addInt(left, "txtMinThrottle", "Minimum throttle (%):", &TTuningConditions::minThrottle);
    addInt(left, "txtMaxThrottle", "Maximum throttle (%):", &TTuningConditions::maxThrottle);
    addReal(left, "txtMinLambda", "Minimum lambda:", &TTuningConditions::minLambda);
    addReal(left, "txtMaxLambda", "Maximum lambda:", &TTuningConditions::maxLambda);
    addInt(left, "txtMinRPM", "Minimum rpm:", &TTuningConditions::minRPM);
    addInt(left, "txtMaxRPM", "Maximum rpm:", &TTuningConditions::maxRPM);
    addInt(left, "txtMinLoad", "Minimum load (mbar):", &TTuningConditions::minLoad);
    addInt(left, "txtMaxLoad", "Maximum load (mbar):", &TTuningConditions::maxLoad);
    addInt(left, "txtMinTemp", "Minimum coolant (\u00B0C):", &TTuningConditions::minTemp, true);
    addInt(left, "txtMaxTemp", "Maximum coolant (\u00B0C):", &TTuningConditions::maxTemp, true);
    txtGearSet = new QLineEdit(this);
    txtGearSet->setObjectName(QStringLiteral("txtGearSet"));
    txtGearSet->setToolTip(QStringLiteral("The gears accepted for tuning, as digits 0 to 5"));
    left->addRow(QStringLiteral("Gears:"), txtGearSet);
    addReal(left, "txtLambdaOffset", "Lambda offset:", &TTuningConditions::lambdaOffset, true);
    addInt(left, "txtSamplingPriority", "Repaint every n samples:", &TTuningConditions::samplingPriority);

    addReal(right, "txtMinFuelAdj", "Minimum fuel change (%):", &TTuningConditions::minFuelAdj);
    addReal(right, "txtMaxFuelAdj", "Maximum fuel change (%):", &TTuningConditions::maxFuelAdj);
    addInt(right, "txtAcceptance", "Samples per cell:", &TTuningConditions::acceptance);
    addReal(right, "txtStdDeviation", "Deviation filter:", &TTuningConditions::stdDeviation);
    addInt(right, "txtSmartFillPasses", "Smart fill passes:", &TTuningConditions::smartFillPasses);
    addInt(right, "txtMinSample", "Live adjust after samples:", &TTuningConditions::minSample);
    addInt(right, "txtMinInterval", "Live adjust interval (ms):", &TTuningConditions::minInterval);
    addBool(right, "chkClearLog", "Clear cells after adjusting", &TTuningConditions::clearLog);
    addBool(right, "chkMapSmooth", "Smooth after adjusting", &TTuningConditions::mapSmooth);
    addBool(right, "chkFilterData", "Filter data before adjusting", &TTuningConditions::filterData);
    addBool(right, "chkSmartFill", "Smart fill before adjusting", &TTuningConditions::smartFill);
    addBool(right, "chkAutoSaveLogs", "Keep a recovery file while recording", &TTuningConditions::autoSaveLogs);
}

void TTuningPage::show(const TTuningConditions& t)
{
    for (const IntField& f : m_ints)
        showInt(f.edit, t.*f.member);
    for (const RealField& f : m_reals)
        showReal(f.edit, t.*f.member);
    for (const BoolField& f : m_bools)
        f.box->setChecked(t.*f.member);
    txtGearSet->setText(t.gearSet);
}

void TTuningPage::fill(const TSettings& s) { show(s.tuning); }

void TTuningPage::apply(TSettings& s) const
{
    TTuningConditions& t = s.tuning;
    for (const IntField& f : m_ints)
        t.*f.member = intFrom(f.edit, t.*f.member);
    for (const RealField& f : m_reals)
        t.*f.member = realFrom(f.edit, t.*f.member);
    for (const BoolField& f : m_bools)
        t.*f.member = f.box->isChecked();
    t.gearSet = txtGearSet->text();
}

void TTuningPage::defaults() { show(TTuningConditions{}); }

// ---------------------------------------------------------------- Wideband conversion

namespace {
// Cells of the conversion grid take unsigned real numbers only.
class TRealCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* e = qobject_cast<QLineEdit*>(w))
            setRealKeyFilter(e, false);
        return w;
    }
};

QString pointText(double v) { return QString::asprintf("%.2f", v); }
} // namespace

TWidebandPage::TWidebandPage(const TWidebandDefinitions& widebands, QWidget* parent)
    : TSettingsPage(parent), m_widebands(widebands)
{
    setObjectName(QStringLiteral("tsWideband"));
    auto* layout = new QVBoxLayout(this);
    cbxSensor = new QComboBox(this);
    cbxSensor->setObjectName(QStringLiteral("cbxSensor"));
    dgConversion = new QTableWidget(16, 2, this);
    dgConversion->setObjectName(QStringLiteral("dgConversion"));
    dgConversion->setItemDelegate(new TRealCellDelegate(dgConversion));
    dgConversion->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(cbxSensor);
    layout->addWidget(dgConversion, 1);
    connect(cbxSensor, &QComboBox::activated, this, &TWidebandPage::sensorChanged);
}

void TWidebandPage::showPoints(const TLambdaPoints& points)
{
    m_shown = points;
    for (int row = 0; row < 16; ++row) {
        const TLambdaPoint& p = points[static_cast<size_t>(row)];
        const double second = m_showsAFR ? p.lambda * m_stoich : p.lambda;
        dgConversion->setItem(row, 0, new QTableWidgetItem(pointText(p.voltage)));
        dgConversion->setItem(row, 1, new QTableWidgetItem(pointText(second)));
    }
}

void TWidebandPage::sensorChanged(int index)
{
    // A table conversion shows its points from wideband.ini; a script
    // conversion has no points to edit.
    const bool table = index >= 0 && index < m_tableCount;
    dgConversion->setEnabled(table);
    if (table)
        showPoints(m_widebands.points(index));
}

void TWidebandPage::fill(const TSettings& s)
{
    const QStringList tables = m_widebands.names();
    m_tableCount = static_cast<int>(tables.size());
    cbxSensor->clear();
    cbxSensor->addItems(tables);
    if (m_scriptCaptions)
        for (const QString& caption : m_scriptCaptions())
            cbxSensor->addItem(QStringLiteral("JS:") + caption);

    // The grid shows lambda or air-fuel ratio as the mixture display is set
    // now; confirming converts back with the same ratio.
    m_showsAFR = s.general.showAFR;
    m_stoich = s.general.stoichValue;
    dgConversion->setHorizontalHeaderLabels(
        {QStringLiteral("O2 Sensor Voltage"),
         m_showsAFR ? QStringLiteral("Air-Fuel Ratio") : QStringLiteral("Lambda Value")});

    const int index = s.tuning.sensorIndex < cbxSensor->count() ? s.tuning.sensorIndex : -1;
    cbxSensor->setCurrentIndex(index);
    dgConversion->setEnabled(index >= 0 && index < m_tableCount);
    showPoints(s.lambdaConversion); // the active points, as last confirmed
}

std::optional<TFieldRefusal> TWidebandPage::refusedField() const
{
    const int index = cbxSensor->currentIndex();
    if (index < 0 || index >= m_tableCount)
        return std::nullopt; // the grid is not applied
    const QString section = QStringLiteral("Lambda Conversion");
    for (int row = 0; row < 16; ++row) {
        const TLambdaPoint& shown = m_shown[static_cast<size_t>(row)];
        for (int col = 0; col < 2; ++col) {
            const QTableWidgetItem* item = dgConversion->item(row, col);
            const QString text = item ? item->text().trimmed() : QString();
            const double shownValue = col == 0 ? shown.voltage : m_showsAFR ? shown.lambda * m_stoich : shown.lambda;
            if (text == pointText(shownValue))
                continue; // kept exactly, see apply()
            auto range =
                *settingRange(section, (col == 0 ? QStringLiteral("Voltage%1") : QStringLiteral("Lambda%1")).arg(row));
            if (col == 1 && m_showsAFR) {
                range.lo *= m_stoich;
                range.hi *= m_stoich;
            }
            const QString caption =
                QStringLiteral("Conversion point %1, %2").arg(row).arg(dgConversion->horizontalHeaderItem(col)->text());
            const QString why = refusalOf(caption, text, range);
            if (why.isEmpty())
                continue;
            QTableWidget* grid = dgConversion;
            return TFieldRefusal{why, [grid, row, col] {
                                     grid->setCurrentCell(row, col);
                                     grid->setFocus(Qt::OtherFocusReason);
                                 }};
        }
    }
    return std::nullopt;
}

void TWidebandPage::apply(TSettings& s) const
{
    const int index = cbxSensor->currentIndex();
    if (index < 0)
        return; // the stored conversion is no longer listed; leave it as it was
    s.tuning.sensorIndex = index;
    if (index >= m_tableCount)
        return;
    for (int row = 0; row < 16; ++row) {
        const TLambdaPoint& shown = m_shown[static_cast<size_t>(row)];
        TLambdaPoint& p = s.lambdaConversion[static_cast<size_t>(row)];
        const auto cell = [this, row](int col) {
            const QTableWidgetItem* item = dgConversion->item(row, col);
            return item ? item->text().trimmed() : QString();
        };
        // A cell left as shown keeps its exact value, so confirming the window
        // does not round the points to two decimals each time.
        const QString voltText = cell(0);
        if (voltText == pointText(shown.voltage))
            p.voltage = shown.voltage;
        else
            p.voltage = TIniFile::parseFloat(voltText).value_or(shown.voltage);

        const double shownSecond = m_showsAFR ? shown.lambda * m_stoich : shown.lambda;
        const QString secondText = cell(1);
        if (secondText == pointText(shownSecond)) {
            p.lambda = shown.lambda;
        } else {
            const double v = TIniFile::parseFloat(secondText).value_or(shownSecond);
            p.lambda = m_showsAFR ? v / m_stoich : v;
        }
    }
}
