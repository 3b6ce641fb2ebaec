#include "datalog/ui/frmTunerAdjust.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

TTunerAdjustForm::TTunerAdjustForm(const TTunerAdjustSummary& summary, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TTunerAdjustForm"));
    setWindowTitle(tr("Auto-Tune Adjustment"));
    lblAverage = new QLabel(summary.averageText, this);
    lblDifference = new QLabel(summary.differenceText, this);
    lblRecommendation = new QLabel(summary.recommendationText, this);
    rdoAutomatic = new QRadioButton(tr("&Automatic (cell by cell)"), this);
    rdoRow = new QRadioButton(tr("&Row correction"), this);
    rdoColumn = new QRadioButton(tr("&Column correction"), this);
    rdoPercent = new QRadioButton(tr("&Percent"), this);
    rdoAdd = new QRadioButton(tr("A&dd"), this);
    rdoSet = new QRadioButton(tr("&Set to"), this);
    txtPercent = new QLineEdit(summary.percentText, this);
    txtAdd = new QLineEdit(QStringLiteral("0"), this);
    txtSet = new QLineEdit(QStringLiteral("0"), this);
    rdoAutomatic->setChecked(true);

    auto* layout = new QVBoxLayout(this);
    for (QLabel* l : {lblAverage, lblDifference, lblRecommendation})
        layout->addWidget(l);
    layout->addWidget(rdoAutomatic);
    layout->addWidget(rdoRow);
    layout->addWidget(rdoColumn);
    auto* fields = new QFormLayout;
    fields->addRow(rdoPercent, txtPercent);
    fields->addRow(rdoAdd, txtAdd);
    fields->addRow(rdoSet, txtSet);
    layout->addLayout(fields);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    for (QLineEdit* field : {txtPercent, txtAdd, txtSet}) {
        field->installEventFilter(this);
        // An emptied field reads "0" once the user leaves it.
        connect(field, &QLineEdit::editingFinished, field, [field] {
            if (field->text().isEmpty())
                field->setText(QStringLiteral("0"));
        });
    }
    connect(txtPercent, &QLineEdit::textEdited, rdoPercent, [this] { rdoPercent->setChecked(true); });
    connect(txtAdd, &QLineEdit::textEdited, rdoAdd, [this] { rdoAdd->setChecked(true); });
    connect(txtSet, &QLineEdit::textEdited, rdoSet, [this] { rdoSet->setChecked(true); });
}

TTunerAdjustOption TTunerAdjustForm::option() const
{
    if (rdoRow->isChecked())
        return TTunerAdjustOption::Row;
    if (rdoColumn->isChecked())
        return TTunerAdjustOption::Column;
    if (rdoPercent->isChecked())
        return TTunerAdjustOption::Percent;
    if (rdoAdd->isChecked())
        return TTunerAdjustOption::Add;
    if (rdoSet->isChecked())
        return TTunerAdjustOption::Set;
    return TTunerAdjustOption::Automatic;
}

double TTunerAdjustForm::amount() const
{
    switch (option()) {
    case TTunerAdjustOption::Percent: return tunerAdjustFieldValue(txtPercent->text());
    case TTunerAdjustOption::Add: return tunerAdjustFieldValue(txtAdd->text());
    case TTunerAdjustOption::Set: return tunerAdjustFieldValue(txtSet->text());
    default: return 0;
    }
}

bool TTunerAdjustForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool editing = key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete ||
                             key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                             key->key() == Qt::Key_Left || key->key() == Qt::Key_Right || key->key() == Qt::Key_Tab ||
                             key->key() == Qt::Key_Backtab;
        if (!editing && !text.isEmpty() && !tunerAdjustKeyAccepted(text.at(0)))
            return true; // swallowed
    }
    return QDialog::eventFilter(watched, event);
}
