#pragma once

// What turns a recorded sample into the numbers on screen and in the CSV
// export: the display units, the ROM's view of its sensors and the O2 lookup.
// The live view, the data graphs and the CSV export all take it.

#include "datalog/mdlDatalog.h"
#include "datalog/mdlLambdaCurve.h"
#include "settings/mdlDisplayUnits.h"

struct TSampleDisplay {
    TDisplayUnits units;
    TSampleContext ctx;     // MAP sensor, gears, knock switch, ignition offset of the ROM
    TLambdaLookup lambda{}; // O2 byte to lambda

    [[nodiscard]] bool sameAs(const TSampleDisplay& o) const
    {
        return units == o.units && lambda == o.lambda && ctx.mapLookup == o.ctx.mapLookup &&
               ctx.hasGearTable == o.ctx.hasGearTable && ctx.gearThresholds == o.ctx.gearThresholds &&
               ctx.knockSensor == o.ctx.knockSensor && ctx.ignitionOffset == o.ctx.ignitionOffset;
    }
};
