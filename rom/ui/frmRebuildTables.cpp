#include "rom/ui/frmRebuildTables.h"

#include "rom/clsRom.h"
#include "settings/mdlErrors.h"
#include "settings/mdlMessages.h"
#include "settings/mdlServices.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
const char* const GroupTitles[] = {"Load Breakpoints", "Low Cam RPM", "High Cam RPM"};
const char* const GroupNames[] = {"Loads", "LowRpm", "HighRpm"};
const char* const ChoiceTitles[] = {"Unchanged", "Default", "Distribute", "Increment"};
} // namespace

TRebuildTablesForm::TRebuildTablesForm(TRom& rom, TTableStructureMarks& marks, TServices& services, QWidget* parent)
    : QDialog(parent), m_rom(rom), m_marks(marks), m_services(services)
{
    setObjectName(QStringLiteral("frmRebuildTables"));
    setWindowTitle(QStringLiteral("Rebuild Tables"));
    build();
    const TRebuildRequest defaults = rebuildDefaults(rom, marks);
    const TRebuildGroup* groups[] = {&defaults.loads, &defaults.lowRpm, &defaults.highRpm};
    for (int g = 0; g < 3; ++g) {
        setChoice(Group(g), groups[g]->choice);
        setIncrement(Group(g), groups[g]->start, groups[g]->step);
    }
    updateEnabled();
}

void TRebuildTablesForm::build()
{
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    layout->addLayout(row);
    for (int g = 0; g < 3; ++g) {
        auto* box = new QGroupBox(QString::fromLatin1(GroupTitles[g]), this);
        box->setObjectName(QStringLiteral("grp%1").arg(QString::fromLatin1(GroupNames[g])));
        auto* v = new QVBoxLayout(box);
        auto* buttons = new QButtonGroup(box);
        for (int c = 0; c < 4; ++c) {
            auto* rb = new QRadioButton(QString::fromLatin1(ChoiceTitles[c]), box);
            rb->setObjectName(
                QStringLiteral("rb%1%2").arg(QString::fromLatin1(GroupNames[g]), QString::fromLatin1(ChoiceTitles[c])));
            buttons->addButton(rb, c);
            v->addWidget(rb);
            m_groups[size_t(g)].choices[size_t(c)] = rb;
            connect(rb, &QRadioButton::toggled, this, [this] { updateEnabled(); });
        }
        auto* form = new QFormLayout;
        auto* start = new QSpinBox(box);
        auto* step = new QSpinBox(box);
        start->setRange(-32768, 32767);
        step->setRange(-32768, 32767);
        start->setObjectName(QStringLiteral("txt%1Start").arg(QString::fromLatin1(GroupNames[g])));
        step->setObjectName(QStringLiteral("txt%1Step").arg(QString::fromLatin1(GroupNames[g])));
        form->addRow(QStringLiteral("Start"), start);
        form->addRow(QStringLiteral("Step"), step);
        v->addLayout(form);
        m_groups[size_t(g)].start = start;
        m_groups[size_t(g)].step = step;
        row->addWidget(box);
    }
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    box->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    connect(box, &QDialogButtonBox::accepted, this, [this] { okClick(); });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
}

void TRebuildTablesForm::updateEnabled()
{
    for (auto& g : m_groups) {
        const bool increment = g.choices[3]->isChecked();
        g.start->setEnabled(increment);
        g.step->setEnabled(increment);
    }
}

void TRebuildTablesForm::setChoice(Group group, TRebuildChoice choice)
{
    m_groups[size_t(group)].choices[size_t(choice)]->setChecked(true);
}

void TRebuildTablesForm::setIncrement(Group group, int start, int step)
{
    m_groups[size_t(group)].start->setValue(start);
    m_groups[size_t(group)].step->setValue(step);
}

TRebuildRequest TRebuildTablesForm::request() const
{
    auto read = [this](int g) {
        const GroupControls& c = m_groups[size_t(g)];
        TRebuildGroup out;
        for (int k = 0; k < 4; ++k)
            if (c.choices[size_t(k)]->isChecked())
                out.choice = TRebuildChoice(k);
        out.start = c.start->value();
        out.step = c.step->value();
        return out;
    };
    return {read(Loads), read(LowRpm), read(HighRpm)};
}

void TRebuildTablesForm::okClick()
{
    try {
        m_rebuilt = rebuildTables(m_rom, request());
    } catch (const EVexorError& e) {
        if (m_services.messages)
            m_services.messages->showMessage(e.message(), QString(), TMsgKind::Error, TMsgButton::OK);
        return; // the image is unchanged; the user may choose again
    }
    accept();
}

void TRebuildTablesForm::done(int result)
{
    m_marks.clear();
    QDialog::done(result);
}

bool runRebuildTables(TRom& rom, TTableStructureMarks& marks, TServices& services, QWidget* parent)
{
    if (!rom.isLoaded())
        return false;
    TRebuildTablesForm form(rom, marks, services, parent);
    form.exec();
    return form.rebuilt();
}

bool runRebuildQuestion(TRom& rom, TTableStructureMarks& marks, TServices& services, QWidget* parent)
{
    if (!rebuildQuestionDue(rom, marks) || !services.messages || !askRebuildTables(*services.messages))
        return false;
    return runRebuildTables(rom, marks, services, parent);
}
