#include "datalog/clsVexorTuner.h"

#include "rom/clsRom.h"

#include <algorithm>
#include <cmath>

TVEXORTuner::TVEXORTuner() { resize({QPoint(DefaultColumns, DefaultRows), QPoint(DefaultColumns, DefaultRows)}); }

void TVEXORTuner::setRom(const TRom* rom)
{
    m_rom = rom && rom->isLoaded() ? rom : nullptr;
    m_ctx = sampleContextFor(m_rom);
    m_axesStamp = {-1, -1};
    if (!m_rom) {
        resize({QPoint(DefaultColumns, DefaultRows), QPoint(DefaultColumns, DefaultRows)});
        return;
    }
    std::array<QPoint, 2> shapes;
    for (int cam = 0; cam < 2; ++cam)
        shapes[cam] = QPoint(std::max(0, m_rom->columns(cam)), std::max(0, m_rom->rows(cam)));
    resize(shapes);
}

void TVEXORTuner::refreshAxes()
{
    // Any write to the image (a scale edited, an undo) moves the undo stack.
    const TBinUndoStack& undo = m_rom->buffer().undoStack();
    const std::pair<int, int> stamp{undo.position(), undo.top()};
    if (stamp == m_axesStamp)
        return;
    m_axesStamp = stamp;
    m_itb = m_rom->hasFlag(ffITB);
    auto value = [](auto f) {
        try {
            return static_cast<int>(f());
        } catch (const std::exception&) {
            return NoValue;
        }
    };
    for (int cam = 0; cam < 2; ++cam) {
        const bool high = cam == 1;
        TAxes& a = m_axes[cam];
        a.load.assign(static_cast<size_t>(std::max(0, m_rom->columns(cam))), NoValue);
        a.tps.assign(a.load.size(), NoValue);
        a.rpm.assign(static_cast<size_t>(std::max(0, m_rom->rows(cam))), NoValue);
        for (size_t i = 0; i < a.load.size(); ++i) {
            a.load[i] = value([&] { return m_rom->load(high, static_cast<int>(i)); });
            if (m_itb)
                a.tps[i] = value([&] { return m_rom->throttleLoad(high, static_cast<int>(i)); });
        }
        for (size_t i = 0; i < a.rpm.size(); ++i)
            a.rpm[i] = value([&] { return m_rom->rpm(high, static_cast<int>(i)); });
    }
}

TLiveCell TVEXORTuner::cellOf(const DatalogSample& s)
{
    TLiveCell cell;
    cell.HighCam = s.vtec();
    if (!m_rom)
        return cell;
    const bool high = cell.HighCam;
    cell.Col = s.u8(DatalogSample::LoadColumn);
    cell.Row = s.u8(high ? DatalogSample::HighCamRow : DatalogSample::LowCamRow);
    if (s.isMarker() || !datalog::rpmValid(s))
        return cell;
    cell.Valid = true;
    if (TrackMode != 0 && TrackMode != 2 && TrackMode != 3)
        return cell;
    refreshAxes();
    const TAxes& a = m_axes[high ? 1 : 0];
    const auto c = static_cast<size_t>(cell.Col);
    if (c + 1 < a.load.size()) {
        const int tpsLoad = a.tps[c];
        if (m_itb && tpsLoad != NoValue && tpsLoad != 0) {
            const int next = a.tps[c + 1];
            const int tps = static_cast<int>(roundEven(datalog::throttlePercent(s)));
            if (next != NoValue && std::abs(next - tps) < std::abs(tpsLoad - tps))
                ++cell.Col;
        } else {
            const int here = a.load[c], next = a.load[c + 1];
            const int map = datalog::mapMbar(s, m_ctx);
            if (here != NoValue && next != NoValue && std::abs(next - map) < std::abs(here - map))
                ++cell.Col;
        }
    }
    const auto r = static_cast<size_t>(cell.Row);
    if (r + 1 < a.rpm.size()) {
        const int here = a.rpm[r], next = a.rpm[r + 1];
        const int rpm = datalog::rpm(s);
        if (here != NoValue && next != NoValue && std::abs(here - rpm) > std::abs(rpm - next))
            ++cell.Row;
    }
    return cell;
}

void TVEXORTuner::resize(const std::array<QPoint, 2>& shapes)
{
    for (int cam = 0; cam < 2; ++cam) {
        TGrid& g = m_grids[cam];
        g.cols = shapes[cam].x();
        g.rows = shapes[cam].y();
        const size_t n = static_cast<size_t>(g.cols) * static_cast<size_t>(g.rows);
        g.sum.assign(n, 0.0);
        g.count.assign(n, 0);
        g.knock.assign(n, 0);
        g.tunable.assign(n, 1);
    }
    clear();
}

void TVEXORTuner::clear()
{
    for (TGrid& g : m_grids) {
        std::fill(g.sum.begin(), g.sum.end(), 0.0);
        std::fill(g.count.begin(), g.count.end(), 0);
        std::fill(g.knock.begin(), g.knock.end(), 0);
    }
    m_stats = {};
    m_rejections = {};
    m_samples = m_accepted = m_sinceReset = 0;
    m_previousThrottle = 0;
    m_closing = false;
}

bool TVEXORTuner::accumulate(TGrid& g, int col, int row, double lambda, bool counted)
{
    if (col < 0 || row < 0 || col >= g.cols || row >= g.rows) {
        if (counted)
            ++m_rejections.outside;
        return false;
    }
    const size_t i = g.at(col, row);
    if (!g.tunable[i]) {
        if (counted)
            ++m_rejections.untunable;
        return false;
    }
    if (g.count[i] >= MaxCellSamples) {
        if (counted)
            ++m_rejections.full;
        return false;
    }
    g.sum[i] += lambda;
    ++g.count[i];
    return true;
}

bool TVEXORTuner::addSample(const DatalogSample& s)
{
    ++m_samples;
    ++m_sinceReset;
    const TLiveCell cell = cellOf(s);

    // Throttle transients: the lambda of a closing or fast-opening throttle
    // belongs to no steady cell.
    const quint8 throttle = s.u8(DatalogSample::Throttle);
    const auto delta = static_cast<qint8>(static_cast<quint8>(throttle - m_previousThrottle));
    m_previousThrottle = throttle;
    if (s.u16(DatalogSample::Injector) == 0 || (!m_closing && delta < -1))
        m_closing = true;
    else if (m_closing && delta > 0)
        m_closing = false;

    TGrid& g = m_grids[cell.HighCam ? 1 : 0];
    const bool inGrid = cell.Valid && cell.Col < g.cols && cell.Row < g.rows;
    if (inGrid && m_ctx.knockSensor) {
        quint8& k = g.knock[g.at(cell.Col, cell.Row)];
        k = std::max(k, s.u8(DatalogSample::Knock));
    }

    // A sample failing a tuning condition is counted under that condition
    // (something the tuner can change) before it counts as a transient.
    const TTuningConditions& c = Conditions;
    const double tps = datalog::throttlePercent(s);
    if (tps < c.minThrottle || tps > c.maxThrottle) {
        ++m_rejections.throttle;
        return false;
    }
    const double lambda = Lambda[s.u8(DatalogSample::O2)];
    if (lambda < c.minLambda || lambda > c.maxLambda) {
        ++m_rejections.lambda;
        return false;
    }
    const int rpm = datalog::rpm(s);
    if (rpm < c.minRPM || rpm > c.maxRPM) {
        ++m_rejections.rpm;
        return false;
    }
    const int map = datalog::mapMbar(s, m_ctx);
    if (map < c.minLoad || map > c.maxLoad) {
        ++m_rejections.load;
        return false;
    }
    const double coolant = datalog::coolantTempC(s);
    if (coolant < c.minTemp || coolant > c.maxTemp) {
        ++m_rejections.temp;
        return false;
    }
    const int gear = datalog::gear(s, m_ctx);
    if (gear > 7 || !c.acceptsGear(gear)) {
        ++m_rejections.gear;
        return false;
    }
    if (m_closing || delta > 10) {
        ++m_rejections.transient;
        return false;
    }
    if (!cell.Valid) {
        ++m_rejections.outside;
        return false;
    }
    const bool taken = accumulate(g, cell.Col, cell.Row, lambda, true);
    if (TrackMode == 1 || TrackMode == 4 || TrackMode == 5) {
        accumulate(g, cell.Col, cell.Row + 1, lambda, false);
        accumulate(g, cell.Col + 1, cell.Row + 1, lambda, false);
        accumulate(g, cell.Col + 1, cell.Row, lambda, false);
    }
    if (taken)
        ++m_accepted;
    return taken;
}

// ------------------------------------------------------------------- cells

bool TVEXORTuner::inside(int cam, int col, int row) const
{
    const TGrid& g = m_grids[cam & 1];
    return col >= 0 && row >= 0 && col < g.cols && row < g.rows;
}

double TVEXORTuner::sum(int cam, int col, int row) const
{
    return inside(cam, col, row) ? m_grids[cam & 1].sum[m_grids[cam & 1].at(col, row)] : 0.0;
}

int TVEXORTuner::count(int cam, int col, int row) const
{
    return inside(cam, col, row) ? m_grids[cam & 1].count[m_grids[cam & 1].at(col, row)] : 0;
}

double TVEXORTuner::average(int cam, int col, int row) const
{
    const int n = count(cam, col, row);
    return n == 0 ? 0.0 : sum(cam, col, row) / n;
}

bool TVEXORTuner::qualified(int cam, int col, int row) const
{
    return count(cam, col, row) >= std::max(1, Conditions.acceptance);
}

void TVEXORTuner::setCell(int cam, int col, int row, double sum, int count)
{
    if (!inside(cam, col, row))
        return;
    TGrid& g = m_grids[cam & 1];
    g.sum[g.at(col, row)] = sum;
    g.count[g.at(col, row)] = static_cast<quint8>(std::clamp(count, 0, 255));
}

void TVEXORTuner::setKnock(int cam, int col, int row, quint8 knock)
{
    if (inside(cam, col, row))
        m_grids[cam & 1].knock[m_grids[cam & 1].at(col, row)] = knock;
}

void TVEXORTuner::setTunable(int cam, int col, int row, bool on)
{
    if (inside(cam, col, row))
        m_grids[cam & 1].tunable[m_grids[cam & 1].at(col, row)] = on ? 1 : 0;
}

int TVEXORTuner::knockTotal(int cam) const
{
    int total = 0;
    for (quint8 k : m_grids[cam & 1].knock)
        total += k;
    return total;
}

int TVEXORTuner::qualifiedCount(int cam) const
{
    const quint8 acceptance = static_cast<quint8>(std::clamp(Conditions.acceptance, 1, 255));
    return static_cast<int>(std::count_if(m_grids[cam & 1].count.begin(), m_grids[cam & 1].count.end(),
                                          [acceptance](quint8 n) { return n >= acceptance; }));
}

TCellSamples TVEXORTuner::samples(int cam, int col, int row) const
{
    const int n = count(cam, col, row);
    if (n == 0)
        return TCellSamples::None;
    return n >= std::max(1, Conditions.acceptance) ? TCellSamples::Enough : TCellSamples::Few;
}

quint8 TVEXORTuner::knockByte(int cam, int col, int row) const
{
    return inside(cam, col, row) ? m_grids[cam & 1].knock[m_grids[cam & 1].at(col, row)] : 0;
}

bool TVEXORTuner::isTunable(int cam, int col, int row) const
{
    return !inside(cam, col, row) || m_grids[cam & 1].tunable[m_grids[cam & 1].at(col, row)] != 0;
}

// ------------------------------------------------- statistics, filter, fill

TTunerStats TVEXORTuner::statistics(int cam) const
{
    const TGrid& g = m_grids[cam & 1];
    const quint8 acceptance = static_cast<quint8>(std::clamp(Conditions.acceptance, 1, 255));
    TTunerStats st;
    double total = 0;
    for (size_t i = 0; i < g.count.size(); ++i)
        if (g.count[i] >= acceptance) {
            total += g.sum[i] / g.count[i];
            ++st.qualified;
        }
    if (st.qualified == 0)
        return st;
    st.mean = total / st.qualified;
    double squares = 0;
    for (size_t i = 0; i < g.count.size(); ++i)
        if (g.count[i] >= acceptance) {
            const double d = g.sum[i] / g.count[i] - st.mean;
            squares += d * d;
        }
    st.variance = squares / st.qualified;
    return st;
}

int TVEXORTuner::filter()
{
    const int acceptance = std::clamp(Conditions.acceptance, 1, 255);
    const double band = static_cast<float>(Conditions.stdDeviation);
    int emptied = 0;
    for (int cam = 0; cam < 2; ++cam) {
        // Recomputed every time: statistics kept from before newer samples
        // arrived would judge the cells against a stale mean.
        m_stats[cam] = statistics(cam);
        const TTunerStats& st = m_stats[cam];
        if (st.qualified == 0)
            continue;
        const double limit = std::sqrt(st.variance) * band;
        TGrid& g = m_grids[cam];
        for (size_t i = 0; i < g.count.size(); ++i) {
            if (g.count[i] == 0)
                continue;
            const double avg = g.sum[i] / g.count[i];
            if (std::abs(avg - st.mean) > limit) {
                g.sum[i] = 0;
                g.count[i] = 0;
                ++emptied;
            } else {
                g.sum[i] = avg * acceptance;
                g.count[i] = static_cast<quint8>(acceptance);
            }
        }
    }
    return emptied;
}

QVector<QPoint> TVEXORTuner::smartFillWalk(int C, int R)
{
    QVector<QPoint> order;
    if (C <= 0 || R <= 0)
        return order;
    order.reserve(C * R);
    std::vector<char> visited(static_cast<size_t>(C) * R, 0);
    auto V = [&](int c, int r) {
        return c >= 0 && r >= 0 && c < C && r < R && visited[static_cast<size_t>(c) * R + r] != 0;
    };
    enum Dir { Right, Down, Left, Up };
    int c = std::max(0, C / 2 - 1), r = std::max(0, R / 2 - 1);
    Dir dir = Right;
    // The spiral rules first, for as long as they lead to a cell not yet
    // visited; on some shapes they turn back onto the spiral or stop short.
    for (int step = 1; step <= C * R; ++step) {
        visited[static_cast<size_t>(c) * R + r] = 1;
        order << QPoint(c, r);
        switch (dir) {
        case Right:
            if (step % 2 == 0 && r < R - 1 && !V(c, r + 1)) {
                ++r;
                dir = Down;
            } else if (c == C - 1) {
                while (r < R - 1 && V(c - 1, r))
                    ++r;
                dir = Left;
            } else {
                ++c;
            }
            break;
        case Down:
            if (c == 0 || V(c - 1, r)) {
                if (r == R - 1) {
                    while (c > 0 && V(c, r - 1))
                        --c;
                    dir = Up;
                } else {
                    ++r;
                }
            } else {
                --c;
                dir = Left;
            }
            break;
        case Left:
            if (r > 0 && !V(c, r - 1)) {
                --r;
                dir = Up;
            } else if (c > 0) {
                --c;
            } else {
                while (r > 0 && V(c + 1, r))
                    --r;
                dir = Right;
            }
            break;
        case Up:
            if (c >= C - 1 || V(c + 1, r)) {
                if (r == 0) {
                    while (c < C - 1 && V(c, r + 1))
                        ++c;
                    dir = Down;
                } else {
                    --r;
                }
            } else {
                ++c;
                dir = Right;
            }
            break;
        }
        if (c < 0 || r < 0 || c >= C || r >= R || V(c, r))
            break;
    }
    // Then every cell the rules missed, nearest to the start first, so the
    // fill still works outwards from the middle.
    if (order.size() < C * R) {
        const QPoint start = order.first();
        QVector<QPoint> rest;
        for (int row = 0; row < R; ++row)
            for (int col = 0; col < C; ++col)
                if (!V(col, row))
                    rest << QPoint(col, row);
        auto distance = [&](const QPoint& p) {
            return std::max(std::abs(p.x() - start.x()), std::abs(p.y() - start.y()));
        };
        std::stable_sort(rest.begin(), rest.end(),
                         [&](const QPoint& a, const QPoint& b) { return distance(a) < distance(b); });
        order += rest;
    }
    return order;
}

int TVEXORTuner::smartFillCam(int cam)
{
    const TTunerStats& st = m_stats[cam];
    if (st.qualified == 0)
        return 0;
    const double band = std::sqrt(st.variance) * static_cast<float>(Conditions.stdDeviation) + 0.01;
    const TGrid& g = m_grids[cam];
    int replaced = 0;
    for (const QPoint& p : smartFillWalk(g.cols, g.rows)) {
        const int c = p.x(), r = p.y();
        double total = 0;
        int n = 0;
        auto take = [&](bool allowed, int col, int row) {
            if (allowed && qualified(cam, col, row)) {
                total += average(cam, col, row);
                ++n;
            }
        };
        take(c > 1, c - 1, r);
        take(r > 1, c, r - 1);
        take(c < g.cols - 1, c + 1, r);
        take(r < g.rows - 1, c, r + 1);
        if (n < 2)
            continue;
        const double mean = total / n;
        const double avg = average(cam, c, r);
        if (!qualified(cam, c, r) || std::abs(avg - st.mean) > band || std::abs(avg - mean) > 0.03) {
            setCell(cam, c, r, mean, 1);
            ++replaced;
        }
    }
    return replaced;
}

int TVEXORTuner::smartFillPass()
{
    for (int cam = 0; cam < 2; ++cam)
        if (m_stats[cam].qualified == 0)
            m_stats[cam] = statistics(cam);
    return smartFillCam(0) + smartFillCam(1);
}
