// The one display-units model: which source decides each unit.

#include "settings/mdlDisplayUnits.h"

#include <gtest/gtest.h>

TEST(DisplayUnits, ViewStateWinsOverTheSavedChoicesReferencesComeFromTheSettings)
{
    TGeneralSettings g;
    g.showAFR = true;
    g.showPsi = false;
    g.showMph = false;
    g.showFahrenheit = true;
    g.atmospheric = 990;
    g.stoichValue = 14.5;

    const TDisplayUnits saved = displayUnits(g); // no window: the command-line tool
    EXPECT_EQ(saved, (TDisplayUnits{true, false, false, true, 990, 14.5f}));

    const TViewUnits view{false, true, true, false};
    const TDisplayUnits shown = displayUnits(g, view);
    EXPECT_EQ(shown, (TDisplayUnits{false, true, true, false, 990, 14.5f}));

    // Saving the view state makes the tool agree with the window.
    storeViewUnits(view, g);
    EXPECT_EQ(displayUnits(g), shown);
    EXPECT_EQ(savedViewUnits(g), view);
}
