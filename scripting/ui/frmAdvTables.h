#pragma once

// The advanced tables window: the custom tables scripts registered, the
// selected one as an editable grid with a line graph, and the table's own
// commands behind the "more" button. All logic lives in the host's
// TAdvTables model; this only shows it and forwards the user's input.

#include "scripting/mdlAdvTables.h"

#include <QWidget>
#include <functional>

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QToolButton;
class TRomDocument;
class TScriptForm;
class TVexorGrid;

// The graph panel: black background, dotted grid, one line per data row.
class TCustomGraphBox : public QWidget {
    Q_OBJECT
public:
    explicit TCustomGraphBox(TAdvTables& model, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    TAdvTables& m_model;
};

class TAdvanceTableForm : public QWidget {
    Q_OBJECT
public:
    // `document` may be null (no undo then); `romChanged` runs after an undo
    // or redo here so the main window's views follow.
    TAdvanceTableForm(TScriptForm& host, TRomDocument* document, QWidget* parent = nullptr);

    // Shows the window: the first time (or after it was closed) the list is
    // filled and table 0 selected; when it is open already it comes to front.
    void open();
    // Title ("*" while the ROM has unsaved changes) and the undo commands.
    void updateState();

    std::function<void()> romChanged;

    [[nodiscard]] TVexorGrid* grid() const { return dgTable; }
    [[nodiscard]] QListWidget* tableList() const { return lstTables; }
    [[nodiscard]] QToolButton* moreButton() const { return btnMore; }
    [[nodiscard]] QMenu* commandMenu() const { return pmCommands; }
    [[nodiscard]] TCustomGraphBox* graphBox() const { return pbGraph; }
    [[nodiscard]] QAction* undoAction() const { return actUndo; }
    [[nodiscard]] QAction* redoAction() const { return actRedo; }

    static constexpr const char* Caption = "< VEXOR > - Advance Tables";

protected:
    void changeEvent(QEvent* e) override;

private:
    void fillTableList();
    void applyLayout();
    void cellsChanged();
    void growHeaderColumns();
    void rebuildCommands();
    void UndoExecute();
    void RedoExecute();
    void RefreshExecute();

    TScriptForm& m_host;
    TAdvTables& m_model;
    TRomDocument* m_doc;
    QListWidget* lstTables = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblGraphX = nullptr;
    QLabel* lblGraphY = nullptr;
    TVexorGrid* dgTable = nullptr;
    TCustomGraphBox* pbGraph = nullptr;
    QWidget* pnlGraph = nullptr;
    QToolButton* btnMore = nullptr;
    QMenu* pmCommands = nullptr;
    QAction* actUndo = nullptr;
    QAction* actRedo = nullptr;
    QAction* actRefresh = nullptr;
    bool m_filling = false;
};
