#pragma once

// When each command of the main window is enabled, visible and checked. The
// window gathers a snapshot of its state on every idle update and applies the
// result to its actions; keeping the rules here, free of widgets, lets them be
// checked one by one.

#include <QHash>
#include <QString>
#include <array>
#include <optional>

struct TCommandContext {
    bool RomLoaded = false;     // image not blank and family known
    bool Focused = false;       // some control of the window has the focus
    bool GridVisible = true;    // the table grid panel is shown
    bool GraphsVisible = false; // the map graphs are shown
    bool GraphFocused = false;  // a graph panel has the focus
    bool ShowDuration = false;  // the graphs show fuel as injector duration
    // An option-page grid has the focus: the small and large steps belong to
    // it (the table grid has Increase and Decrease instead).
    bool StepGridFocused = false;
    // The ROM has a target-lambda table for the cam on screen: the lambda
    // views compare against it (Nissan images have none).
    bool HasTargetLambda = true;
    quint8 ViewMode = 0;
    quint8 CurrentTable = 0;
    bool ClipboardHasText = false;
    int SelRows = 0; // rows and columns of the grid selection
    int SelCols = 0;
    bool CanUndo = false;
    bool CanRedo = false;
    quint16 FeatureFlags = 0;
    bool FullScreen = false;
    bool ShowAFR = false;
    bool ShowMph = false;
    bool ShowPsi = false;
    bool ShowTempF = false;
    bool QuickSaveVisible = true;
};

struct TCommandState {
    bool Enabled = true;
    bool Visible = true;
    std::optional<bool> Checked; // unset: the command is not a check item
    bool operator==(const TCommandState&) const = default;
};

using TCommandStates = QHash<QString, TCommandState>;

// The table-editing commands have a target: a ROM is loaded, a control has the
// focus and the grid shows values, target lambdas or duty cycles, or a map
// graph has the focus.
[[nodiscard]] bool editingTargetActive(const TCommandContext& c);

// The state of every command the window holds, by action name.
[[nodiscard]] TCommandStates computeCommandStates(const TCommandContext& c);

// The work panels ViewToggle cycles through, in this order.
enum class TWorkPanel : quint8 { Tables, Graphs, Options };
constexpr int WorkPanelCount = 3;

// ViewToggle's next panel: grid -> graphs -> options -> grid, skipping the
// panels the window does not have. `current` is empty while a panel outside
// the cycle (the data graphs) is shown: the cycle then goes back to the grid.
[[nodiscard]] TWorkPanel nextWorkPanel(std::optional<TWorkPanel> current,
                                       const std::array<bool, WorkPanelCount>& present);
