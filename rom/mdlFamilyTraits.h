#pragma once

// What each base family has, in one table: every place that behaves
// differently per family asks here instead of comparing family codes.

#include <QtGlobal>

// Where a family's table rows and columns come from.
enum class TShapeSource : quint8 {
    None,          // no tables (reserved codes, unknown)
    AddressMap,    // packed shape entries of the address map
    InImageCounts, // count bytes in the image, named by the address map
    FixedNissan,   // always 16 x 16
};

// How the rev limits (and the OBD0 idle speed) are stored.
enum class TRevLimitEncoding : quint8 {
    PeriodWord,     // 16-bit crank period
    Obd0PeriodByte, // 8-bit period (OBD0 PR3 and PW0)
    SplitPeriod,    // 16-bit period split over two bytes (PM6/PM7, PR4)
};

struct TFamilyTraits {
    bool known = false;               // an image of this code can be opened
    bool installsMap = false;         // selecting the code installs an address map (maybe an empty one)
    bool extended = false;            // the extended family: MAP calibration block, version bytes, code
                                      // upgrade, settings in the calibration export
    bool fixedCodeLayout = false;     // the extended family's code sits at known offsets (switch patches)
    bool nissanEncodings = false;     // raw byte cells and scales, no multiplier row, all 16 x 16
    bool obd0 = false;                // identification sets OBDMode 0 (else 1)
    bool wideRevScalar = false;       // rev scale as 16-bit period words
    bool setsIab = false;             // identification sets hasIAB
    bool fixedRpmScale = false;       // the rpm scale is the fixed list, whatever the map says
    bool extraVtecBytes = false;      // a second copy of the VTEC point at fixed offsets
    bool optionTree = false;          // option pages as a tree (else one simple page)
    bool tuningViews = false;         // lambda, target-lambda and difference views and auto-tune apply
    bool targetLambdaTable = false;   // per-cell target lambda (correction) tables exist
    bool fixedLastBreakpoint = false; // the ECU code fixes the last load column and rpm row
    TShapeSource shape = TShapeSource::None;
    TRevLimitEncoding revLimit = TRevLimitEncoding::PeriodWord;
};

// The row of a base type code; codes outside 0..13 get the unknown row.
[[nodiscard]] const TFamilyTraits& familyTraits(int baseType);

// Rows and columns of every Nissan table.
inline constexpr int NissanTableSize = 16;

// The image offsets of the extra VTEC bytes (enable, enable, disable, disable).
inline constexpr int ExtraVtecEnableAt[] = {0x645D, 0x645F};
inline constexpr int ExtraVtecDisableAt[] = {0x6464, 0x6466};

// The extended family's version: a letter and two numbers at these image offsets.
inline constexpr int ExtendedVersionAt = 56;
inline constexpr int ExtendedVersionMajorAt = ExtendedVersionAt + 1;
inline constexpr int ExtendedVersionMinorAt = ExtendedVersionAt + 2;
inline constexpr int ExtendedVersionLength = 3;
