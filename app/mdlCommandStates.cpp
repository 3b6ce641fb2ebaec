#include "app/mdlCommandStates.h"

#include "editor/mdlGridDisplay.h"
#include "rom/clsRom.h"

bool editingTargetActive(const TCommandContext& c)
{
    if (!c.RomLoaded || !c.Focused)
        return false;
    if (c.GraphFocused)
        return true;
    return c.GridVisible && (c.ViewMode == vmValues || c.ViewMode == vmTargetLambda || c.ViewMode == vmDutyCycle);
}

TCommandStates computeCommandStates(const TCommandContext& c)
{
    TCommandStates s;
    auto enable = [&s](const char* name, bool on) { s[QLatin1String(name)].Enabled = on; };
    auto check = [&s](const char* name, bool on) { s[QLatin1String(name)].Checked = on; };
    const bool rom = c.RomLoaded;
    const bool target = editingTargetActive(c);

    // File
    for (const char* n : {"FileOpen", "FileReopen", "FileExit"})
        enable(n, true);
    for (const char* n : {"FileNew", "FileOpen"})
        enable(n, true);
    for (const char* n :
         {"FileSave", "FileSaveAs", "FileClose", "FileReload", "FileImport", "FileExport", "ToolsNotes"})
        enable(n, rom);
    // Rebuilding breakpoints belongs to the family whose table shape is free.
    const bool family = (c.FeatureFlags & ffVexorAuFamily) != 0;
    s[QStringLiteral("ToolsRebuildTables")] = {rom, family, std::nullopt};
    // The tuning tools; the boost columns exist on boosted ROMs only.
    for (const char* n : {"ToolsFuelMultiplier", "EditIgnitionOffset"})
        enable(n, rom);
    const bool boosted = (c.FeatureFlags & (ffBoost1 | ffBoost2 | ffBoost3 | ffVexorAuFamily)) != 0;
    s[QStringLiteral("ToolsBoost")] = {rom && boosted, boosted, std::nullopt};
    s[QStringLiteral("FileQuickSave")] = {rom && c.QuickSaveVisible, c.QuickSaveVisible, std::nullopt};

    // Edit
    enable("EditUndo", c.CanUndo);
    enable("EditRedo", c.CanRedo);
    for (const char* n : {"EditCut", "EditCopy", "EditSelectAll", "EditIncrease", "EditDecrease", "EditSmoothMap"})
        enable(n, target);
    enable("EditPaste", target && c.ClipboardHasText);
    enable("EditDelete", target || (rom && c.Focused && (c.ViewMode == vmLambda || c.ViewMode == vmKnock)));
    enable("EditAdjustments",
           rom && c.Focused &&
               ((c.GridVisible && (c.ViewMode == vmValues || c.ViewMode == vmDutyCycle)) || c.GraphFocused));
    enable("EditInterpolate", target && c.SelRows >= 3);
    enable("EditSmoothSelection", target && (c.SelRows >= 4 || c.SelCols >= 4));
    // Disabled elsewhere, so their keys (Page Up, Page Down) page through
    // the table grid instead.
    for (const char* n : {"EditIncrementSmall", "EditDecrementSmall", "EditIncrementLarge", "EditDecrementLarge"})
        enable(n, rom && c.StepGridFocused);
    for (const char* n : {"NavigateUpRpm", "NavigateDownRpm", "NavigateUpColumn", "NavigateDownColumn",
                          "NavigateSelectRpmUp", "NavigateSelectRpmDn", "NavigateSelectMapUp", "NavigateSelectMapDn"})
        enable(n, c.GraphFocused);

    // View
    for (const char* n : {"ViewRefresh", "ViewTables", "ViewOptions", "ViewToggle", "ViewLCF", "ViewHCF", "ViewIgnFuel",
                          "ViewDutyCycle", "ViewKnock"})
        enable(n, rom);
    for (const char* n : {"ViewGraphs", "ViewGraph2D", "ViewGraph3D", "ViewInjectorDuration"})
        enable(n, rom);
    check("ViewGraphs", c.GraphsVisible);
    check("ViewInjectorDuration", c.ShowDuration);
    for (const char* n : {"ViewTargetLambda", "ViewLambda", "ViewDifference"})
        enable(n, rom && c.HasTargetLambda);
    enable("ViewLCI", rom && c.ViewMode == vmValues);
    enable("ViewHCI", rom && c.ViewMode == vmValues);
    check("ViewLCF", c.CurrentTable == tkLowFuel);
    check("ViewHCF", c.CurrentTable == tkHighFuel);
    check("ViewLCI", c.CurrentTable == tkLowIgn);
    check("ViewHCI", c.CurrentTable == tkHighIgn);
    check("ViewIgnFuel", c.ViewMode == vmValues);
    check("ViewDifference", c.ViewMode == vmDifference);
    check("ViewLambda", c.ViewMode == vmLambda);
    check("ViewTargetLambda", c.ViewMode == vmTargetLambda);
    check("ViewKnock", c.ViewMode == vmKnock);
    check("ViewDutyCycle", c.ViewMode == vmDutyCycle);
    check("ViewTables", c.GridVisible);
    check("ViewFullScreen", c.FullScreen);
    enable("ViewFullScreen", true);
    for (const char* n : {"ViewAFR", "ViewMph", "ViewPsi", "ViewTempF"})
        enable(n, true);
    check("ViewAFR", c.ShowAFR);
    check("ViewMph", c.ShowMph);
    check("ViewPsi", c.ShowPsi);
    check("ViewTempF", c.ShowTempF);
    return s;
}

TWorkPanel nextWorkPanel(std::optional<TWorkPanel> current, const std::array<bool, WorkPanelCount>& present)
{
    if (!current)
        return TWorkPanel::Tables;
    for (int step = 1; step < WorkPanelCount; ++step) {
        const int i = (int(*current) + step) % WorkPanelCount;
        if (present[i])
            return TWorkPanel(i);
    }
    return TWorkPanel::Tables;
}
