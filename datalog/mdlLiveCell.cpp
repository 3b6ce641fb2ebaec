#include "datalog/mdlLiveCell.h"

#include "rom/clsRom.h"

#include <cmath>
#include <cstdlib>
#include <exception>
#include <optional>

namespace {

template <typename F>
std::optional<int> tryValue(F f)
{
    try {
        return f();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

TLiveCell findSampleCell(const DatalogSample& s, const TRom* rom, quint8 trackMode, const TSampleContext& ctx)
{
    TLiveCell cell;
    cell.HighCam = s.vtec();
    if (!rom || !rom->isLoaded())
        return cell;
    const bool high = cell.HighCam;
    cell.Col = s.u8(DatalogSample::LoadColumn);
    cell.Row = s.u8(high ? DatalogSample::HighCamRow : DatalogSample::LowCamRow);
    // A marker is not a reading, and without engine speed there is no row.
    if (s.isMarker() || !datalog::rpmValid(s))
        return cell;
    cell.Valid = true;

    const bool nearest = trackMode == 0 || trackMode == 2 || trackMode == 3;
    if (!nearest)
        return cell;
    const int kind = high ? 1 : 0;
    const int columns = rom->columns(kind);
    const int rows = rom->rows(kind);

    if (cell.Col >= 0 && cell.Col + 1 < columns) {
        const int c = cell.Col;
        const std::optional<int> tpsLoad =
            rom->hasFlag(ffITB) ? tryValue([&] { return rom->throttleLoad(high, c); }) : std::nullopt;
        if (tpsLoad && *tpsLoad != 0) {
            const auto next = tryValue([&] { return rom->throttleLoad(high, c + 1); });
            const int tps = static_cast<int>(roundEven(datalog::throttlePercent(s)));
            if (next && std::abs(*next - tps) < std::abs(*tpsLoad - tps))
                cell.Col = c + 1;
        } else {
            const auto here = tryValue([&] { return rom->load(high, c); });
            const auto next = tryValue([&] { return rom->load(high, c + 1); });
            const int map = datalog::mapMbar(s, ctx);
            if (here && next && std::abs(*next - map) < std::abs(*here - map))
                cell.Col = c + 1;
        }
    }
    if (cell.Row >= 0 && cell.Row + 1 < rows) {
        const int r = cell.Row;
        const auto here = tryValue([&] { return rom->rpm(high, r); });
        const auto next = tryValue([&] { return rom->rpm(high, r + 1); });
        const int rpm = datalog::rpm(s);
        if (here && next && std::abs(*here - rpm) > std::abs(rpm - *next))
            cell.Row = r + 1;
    }
    return cell;
}
