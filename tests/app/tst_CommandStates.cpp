#include "app/mdlCommandStates.h"
#include "app/mdlMainStatus.h"
#include "editor/mdlGridDisplay.h"
#include "rom/clsRom.h"
#include "rom/mdlRomGen.h"

#include <gtest/gtest.h>

namespace {

TCommandContext loaded()
{
    TCommandContext c;
    c.RomLoaded = true;
    c.Focused = true;
    c.SelRows = 1;
    c.SelCols = 1;
    return c;
}

} // namespace

TEST(CommandStates, EnabledByTheWindowState)
{
    struct Row {
        const char* what;
        const char* command;
        std::function<void(TCommandContext&)> change;
        bool enabled;
    };
    const Row rows[] = {
        {"no ROM", "FileSave", [](TCommandContext& c) { c.RomLoaded = false; }, false},
        {"no ROM", "ViewLCF", [](TCommandContext& c) { c.RomLoaded = false; }, false},
        {"no ROM", "FileOpen", [](TCommandContext& c) { c.RomLoaded = false; }, true},
        {"nothing focused", "EditCopy", [](TCommandContext& c) { c.Focused = false; }, false},
        {"values", "EditCopy", [](TCommandContext&) {}, true},
        {"knock view", "EditCopy", [](TCommandContext& c) { c.ViewMode = vmKnock; }, false},
        {"knock view", "EditDelete", [](TCommandContext& c) { c.ViewMode = vmKnock; }, true},
        {"difference view", "EditDelete", [](TCommandContext& c) { c.ViewMode = vmDifference; }, false},
        {"target lambda", "EditIncrease", [](TCommandContext& c) { c.ViewMode = vmTargetLambda; }, true},
        {"target lambda", "EditAdjustments", [](TCommandContext& c) { c.ViewMode = vmTargetLambda; }, false},
        {"duty cycle", "EditAdjustments", [](TCommandContext& c) { c.ViewMode = vmDutyCycle; }, true},
        {"empty clipboard", "EditPaste", [](TCommandContext&) {}, false},
        {"clipboard text", "EditPaste", [](TCommandContext& c) { c.ClipboardHasText = true; }, true},
        {"two rows", "EditInterpolate", [](TCommandContext& c) { c.SelRows = 2; }, false},
        {"three rows", "EditInterpolate", [](TCommandContext& c) { c.SelRows = 3; }, true},
        {"three by three", "EditSmoothSelection", [](TCommandContext& c) { c.SelRows = c.SelCols = 3; }, false},
        {"four columns", "EditSmoothSelection", [](TCommandContext& c) { c.SelCols = 4; }, true},
        {"four rows", "EditSmoothSelection", [](TCommandContext& c) { c.SelRows = 4; }, true},
        {"lambda view", "ViewLCI", [](TCommandContext& c) { c.ViewMode = vmLambda; }, false},
        {"target lambda", "ViewHCI", [](TCommandContext& c) { c.ViewMode = vmTargetLambda; }, false},
        {"values", "ViewHCI", [](TCommandContext&) {}, true},
        {"nothing to undo", "EditUndo", [](TCommandContext&) {}, false},
        {"a step to undo", "EditUndo", [](TCommandContext& c) { c.CanUndo = true; }, true},
        {"a step to redo", "EditRedo", [](TCommandContext& c) { c.CanRedo = true; }, true},
        {"grid focused", "NavigateUpRpm", [](TCommandContext&) {}, false},
        {"graph focused", "NavigateUpRpm", [](TCommandContext& c) { c.GraphFocused = true; }, true},
        {"quick save hidden", "FileQuickSave", [](TCommandContext& c) { c.QuickSaveVisible = false; }, false},
        // Were enabled on Nissan images, where they do nothing.
        {"no target table", "ViewLambda", [](TCommandContext& c) { c.HasTargetLambda = false; }, false},
        {"no target table", "ViewDifference", [](TCommandContext& c) { c.HasTargetLambda = false; }, false},
        {"no target table", "ViewTargetLambda", [](TCommandContext& c) { c.HasTargetLambda = false; }, false},
        {"no target table", "ViewKnock", [](TCommandContext& c) { c.HasTargetLambda = false; }, true},
        {"target table", "ViewLambda", [](TCommandContext&) {}, true},
        // Took Page Up/Down from the table grid while doing nothing there.
        {"table grid focused", "EditIncrementLarge", [](TCommandContext&) {}, false},
        {"option grid focused", "EditDecrementSmall", [](TCommandContext& c) { c.StepGridFocused = true; }, true},
    };
    for (const Row& r : rows) {
        TCommandContext c = loaded();
        r.change(c);
        const TCommandStates s = computeCommandStates(c);
        ASSERT_TRUE(s.contains(QLatin1String(r.command))) << r.command;
        EXPECT_EQ(s[QLatin1String(r.command)].Enabled, r.enabled) << r.what << ": " << r.command;
    }
}

TEST(CommandStates, CheckedFollowsTableAndViewMode)
{
    TCommandContext c = loaded();
    c.CurrentTable = tkHighIgn;
    c.ViewMode = vmDutyCycle;
    c.ShowPsi = true;
    const TCommandStates s = computeCommandStates(c);
    const std::pair<const char*, bool> rows[] = {
        {"ViewHCI", true}, {"ViewLCI", false}, {"ViewLCF", false},   {"ViewDutyCycle", true},   {"ViewIgnFuel", false},
        {"ViewPsi", true}, {"ViewAFR", false}, {"ViewTables", true}, {"ViewFullScreen", false},
    };
    for (const auto& [name, on] : rows)
        EXPECT_EQ(s[QLatin1String(name)].Checked, std::optional<bool>(on)) << name;
}

TEST(CommandStates, ViewToggleCyclesTheWorkPanelsThereAre)
{
    using P = TWorkPanel;
    struct Row {
        std::optional<P> current;
        std::array<bool, WorkPanelCount> present; // tables, graphs, options
        P next;
        const char* why;
    };
    const Row rows[] = {
        {P::Tables, {true, false, false}, P::Tables, "the grid alone stays"},
        {std::nullopt, {true, false, false}, P::Tables, "from the data graphs back to the grid (used to flip to them)"},
        {P::Tables, {true, true, true}, P::Graphs, "grid to graphs"},
        {P::Graphs, {true, true, true}, P::Options, "graphs to options"},
        {P::Options, {true, true, true}, P::Tables, "options back to the grid"},
        {P::Tables, {true, false, true}, P::Options, "no graphs: grid to options"},
        {P::Graphs, {true, true, false}, P::Tables, "no options: graphs to grid"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(nextWorkPanel(r.current, r.present), r.next) << r.why;
}

TEST(MainStatus, OptionsPaneDescribesTheRom)
{
    TRom rom;
    TRomGenOptions o;
    o.family = QStringLiteral("p28");
    rom.buffer().loadBytes(generateRom(o));
    ASSERT_EQ(rom.loadFromBuffer(), TRom::LoadResult::Ok);
    struct Row {
        quint16 flags;
        quint16 entry46;
        const char* text;
    };
    const Row rows[] = {
        {0, 0, ""},
        {ffBoost1, 0, ">Boosted "},
        {ffBoost2 | ffIAB, 0, ">3Bar Boosted>IAB "},
        {ffBoost3, 34268, ">1.5Bar Boosted "},
        {ffBoost3, 1082, ">-31.7Bar "}, // "Boosted" only above 1082 as an unsigned word
        {ffITB | ffIAB, 0, ">IAB >ITB "},
    };
    for (const Row& r : rows) {
        rom.setFeatureFlags(r.flags);
        rom.setAddress(aeMapSensorMax, r.entry46);
        EXPECT_EQ(optionsPaneText(rom), QLatin1String(r.text)) << r.flags;
    }
    rom.setFeatureFlags(ffFinalMultiplier);
    EXPECT_EQ(optionsPaneText(rom), QString::asprintf(">%.2f Final Multiplier", rom.finalMultiplier()));
    EXPECT_EQ(romTypePaneText(rom), rom.baseName());
}
