#pragma once

// The one display-units model: the units every view of engine values uses
// (table grid, live view, data graphs, CSV export, vexor-cli dlf2csv), decided
// in one place so no two of them can disagree.
//
// Two sources feed it. The settings hold the references (atmospheric
// pressure, stoichiometric ratio) and the unit choices as last saved. The
// view state is the View menu's unit toggles of a running window. Where a
// view state exists it wins for the unit choices: it is the user's latest
// choice, and the window writes it back to the settings at exit. Without one
// (the command-line tool) the saved choices apply, so the tool writes what
// the program showed when it was last closed.

#include "settings/mdlSettings.h"

#include <optional>

// The View menu's unit toggles.
struct TViewUnits {
    bool afr = false;       // lambda shown as air-fuel ratio
    bool psi = true;        // boost in psi instead of kg/cm^2 (bar)
    bool mph = true;        // speed in mph instead of km/h
    bool fahrenheit = true; // temperatures in °F instead of °C
    bool operator==(const TViewUnits&) const = default;
};

struct TDisplayUnits {
    bool afr = false;
    bool psi = true;
    bool mph = true;
    bool fahrenheit = true;
    int atmospheric = 1013; // mbar, the zero of boost
    float stoich = 14.7f;   // AFR of lambda 1
    bool operator==(const TDisplayUnits&) const = default;
};

// The unit toggles as the settings saved them.
[[nodiscard]] TViewUnits savedViewUnits(const TGeneralSettings& settings);
// Writes the toggles back to the settings (the window does at exit).
void storeViewUnits(const TViewUnits& view, TGeneralSettings& settings);

// The units: references from the settings, toggles from the view state when
// there is one and from the settings otherwise.
[[nodiscard]] TDisplayUnits displayUnits(const TGeneralSettings& settings,
                                         const std::optional<TViewUnits>& view = std::nullopt);
