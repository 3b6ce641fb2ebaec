#pragma once

// The option pages as widgets: thin views over the field descriptors and
// correction grids of options/. The extended family gets the option tree
// (pnlOptions2: tvOptions beside pgcOptions), every other family the simple
// page (pnlOptions). Each control writes through writeOptionField when the
// user leaves or changes it, and every write ends by refilling the pages, so
// a control always shows what the ROM holds.

#include "options/mdlOptionFields.h"
#include "options/mdlOptionTree.h"

#include <QHash>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QStackedWidget;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QGroupBox;
class QLineEdit;
class TCorrectionGrid;
struct TCorrectionGridSpec;
class TVexorGrid;

class TOptionsPanel : public QWidget {
    Q_OBJECT
public:
    // `marks` and `messages` belong to the owner (the main window) and outlive the panel.
    TOptionsPanel(TRom& rom, TTableStructureMarks& marks, IMessageService* messages, QWidget* parent = nullptr);
    ~TOptionsPanel() override;

    // Rebuilds the form for the ROM's family (tree or simple page) and fills it.
    void rebuild();
    // Reads every control from the ROM.
    void fill();
    void setUnits(const TDisplayUnits& units);
    // The live sensor bytes the correction grids mark their break point by;
    // inactive clears the marks.
    void setLiveSensors(bool active, int coolantByte, int intakeByte);

    // Called after every write (the owner refreshes its views).
    std::function<void()> onChanged;
    // What the option buttons run, by control name, set by the owner before
    // the form is built; a button without an action stays disabled.
    QHash<QString, std::function<void()>> buttonActions;

    [[nodiscard]] QWidget* simplePage() const { return pnlOptions; }
    [[nodiscard]] QWidget* treePage() const { return pnlOptions2; }
    [[nodiscard]] QTreeWidget* tree() const { return tvOptions; }
    [[nodiscard]] QWidget* treeWidget() const;
    [[nodiscard]] QStackedWidget* pages() const { return pgcOptions; }
    [[nodiscard]] bool showsTree() const;
    // The control of a field or grid by its name (null when not on the form).
    [[nodiscard]] QWidget* control(const QString& name) const;
    // Selects a tree node: its page and sub-page; focus moves there on Enter.
    void selectNode(int node);
    void focusNode(int node);
    // Scrolls the node's page so the group of its first control is visible.
    void revealNodeGroup(int node);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Bound {
        const TOptionField* field;
        QWidget* widget;
        QWidget* label;
        QWidget* unit;
    };
    struct GridView {
        const TCorrectionGridSpec* gridDef;
        TVexorGrid* grid;
    };

    [[nodiscard]] TOptionContext context() const;
    void clearForm();
    void buildSimple();
    void buildTree();
    QWidget* pageWidget(const QString& page);
    QGroupBox* groupBox(QWidget* page, const QString& title);
    void addField(const TOptionField& f, QGroupBox* box);
    void addGrid(const TCorrectionGridSpec& gridDef, QWidget* page);
    void addGearSetup(QWidget* page);
    void write(const TOptionField& f, const QString& text);
    void afterWrite();
    void fillGrid(GridView& g);
    void showError(const QString& text);
    void setGears();

    TRom& m_rom;
    TTableStructureMarks& m_marks;
    IMessageService* m_messages;
    TDisplayUnits m_units;
    bool m_filling = false;
    bool m_liveActive = false;
    int m_liveEct = 0, m_liveIat = 0;

    QStackedWidget* m_stack = nullptr;
    QWidget* pnlOptions = nullptr;
    QWidget* pnlOptions2 = nullptr;
    QTreeWidget* tvOptions = nullptr;
    QStackedWidget* pgcOptions = nullptr;
    QHash<QString, QWidget*> m_pages;          // top-level and sub-pages by name
    QHash<QString, QTabWidget*> m_subControls; // pgcFuel, pgcBoost, pgcEvents
    std::vector<Bound> m_bound;
    std::vector<GridView> m_grids;
    QHash<QString, QWidget*> m_controls;
    QGroupBox* gbTransSetup = nullptr;
    std::vector<QLineEdit*> m_gearFields; // txtGearRPM, txtGearSpeed1..5
};
