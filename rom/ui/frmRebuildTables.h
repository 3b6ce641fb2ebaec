#pragma once

// The Rebuild Tables dialog: for the load breakpoints and the rpm breakpoints
// of each cam, keep them (Unchanged) or write a Default, Distribute or
// Increment set, all as one undo step.

#include "rom/mdlTableRebuild.h"

#include <QDialog>
#include <array>

class QRadioButton;
class QSpinBox;
class TRom;
struct TServices;

class TRebuildTablesForm : public QDialog {
    Q_OBJECT
public:
    enum Group { Loads = 0, LowRpm = 1, HighRpm = 2 };

    // Preselects as rebuildDefaults() says; the marks are cleared when the dialog closes.
    TRebuildTablesForm(TRom& rom, TTableStructureMarks& marks, TServices& services, QWidget* parent = nullptr);

    // The choices as they stand.
    [[nodiscard]] TRebuildRequest request() const;
    void setChoice(Group group, TRebuildChoice choice);
    void setIncrement(Group group, int start, int step);
    // True once OK wrote a rebuild.
    [[nodiscard]] bool rebuilt() const { return m_rebuilt; }

    void done(int result) override;

private:
    struct GroupControls {
        std::array<QRadioButton*, 4> choices{}; // Unchanged, Default, Distribute, Increment
        QSpinBox* start = nullptr;
        QSpinBox* step = nullptr;
    };
    void build();
    void okClick();
    void updateEnabled();

    TRom& m_rom;
    TTableStructureMarks& m_marks;
    TServices& m_services;
    std::array<GroupControls, 3> m_groups;
    bool m_rebuilt = false;
};

// The Rebuild Tables command: opens the dialog. True when a rebuild was written
// (the caller refreshes its views).
bool runRebuildTables(TRom& rom, TTableStructureMarks& marks, TServices& services, QWidget* parent = nullptr);

// Entering the grid or a graph: when rebuildQuestionDue(), asks the rebuild
// question and on Yes opens the dialog. True when a rebuild was written.
bool runRebuildQuestion(TRom& rom, TTableStructureMarks& marks, TServices& services, QWidget* parent = nullptr);
