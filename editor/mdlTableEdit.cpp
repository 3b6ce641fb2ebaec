#include "editor/mdlTableEdit.h"

#include "settings/mdlClipboard.h"
#include "settings/mdlErrors.h"

#include <cmath>

namespace {

QLocale numberLocale(QLocale locale)
{
    // "%.2f" has no thousands separators, and a pasted "1,234" must not be
    // read as 1234 in a locale whose decimal separator is the comma's twin.
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

bool isFieldSeparator(QChar c) { return c.unicode() <= 0x20; }

} // namespace

void TTableEditor::setLocale(const QLocale& locale) { m_locale = numberLocale(locale); }

TGridRect TTableEditor::wholeTable() const
{
    if (!m_rom.isLoaded())
        return {};
    try {
        return {0, 0, m_rom.columns() - 1, m_rom.rows() - 1};
    } catch (const EVexorError&) {
        return {};
    }
}

TGridRect TTableEditor::clipToTable(const TGridRect& area) const
{
    const TGridRect all = wholeTable();
    TGridRect r{std::max(area.Left, all.Left), std::max(area.Top, all.Top), std::min(area.Right, all.Right),
                std::min(area.Bottom, all.Bottom)};
    if (r.isEmpty() || all.isEmpty())
        return {};
    return r;
}

TTableEditor::Target TTableEditor::editTarget() const
{
    switch (ViewMode) {
    case vmValues:
    case vmDutyCycle: return Target::Table;
    case vmTargetLambda: return Target::TargetLambda;
    default: return Target::None;
    }
}

bool TTableEditor::highCam() const { return TRom::isHighCamKind(m_rom.CurrentTable); }

int TTableEditor::dataCam() const { return highCam() ? 1 : 0; }

bool TTableEditor::insideTarget(Target t, int col, int row) const
{
    if (col < 0 || row < 0)
        return false;
    switch (t) {
    case Target::Table: return col < m_rom.columns() && row < m_rom.rows();
    case Target::TargetLambda: {
        // The target-lambda table has the shape of the fuel map of its cam,
        // which an ignition table on screen need not share.
        const int cam = m_rom.currentCam();
        return m_rom.address(correctionEntry(cam)) != 0 && col < m_rom.columns(cam) && row < m_rom.rows(cam);
    }
    case Target::None: break;
    }
    return false;
}

double TTableEditor::readCell(Target t, int col, int row) const
{
    if (t == Target::TargetLambda)
        return m_rom.correctionCell(m_rom.currentCam(), col, row);
    return m_rom.tableValue(col, row, m_rom.CurrentTable);
}

void TTableEditor::writeCell(Target t, int col, int row, double value)
{
    if (t == Target::TargetLambda)
        m_rom.setCorrectionCell(m_rom.currentCam(), col, row, value);
    else
        m_rom.setTableValue(col, row, value, m_rom.CurrentTable);
}

TTableEditor::TTypedValue TTableEditor::typeValue(int col, int row, double value)
{
    const Target t = editTarget();
    if (t == Target::None || !insideTarget(t, col, row))
        return {};
    writeCell(t, col, row, value);
    TTypedValue out{readCell(t, col, row), false};
    const double slack = 1e-9 * std::max(1.0, std::abs(value));
    if (t == Target::Table) {
        // Every table encoding clamps to its first or last byte; a value
        // rounded to a neighbouring step never misses in that direction.
        const quint8 b = m_rom.cellByte(col, row, m_rom.CurrentTable);
        out.Limited = (b == 0xFF && value > out.Stored + slack) || (b == 0 && value < out.Stored - slack);
    } else {
        // A lambda is 128 / byte: neighbouring steps lie well under 1 % apart.
        out.Limited = out.Stored == 0 || std::abs(value - out.Stored) > out.Stored / 100;
    }
    return out;
}

bool TTableEditor::tunable(int col, int row) const
{
    return CellData == nullptr || CellData->isTunable(dataCam(), col, row);
}

// --- clipboard ----------------------------------------------------------------

QString TTableEditor::copyText(const TGridRect& sel) const
{
    const Target t = editTarget();
    const TGridRect area = clipToTable(sel);
    QString out;
    for (int row = area.Top; row <= area.Bottom; ++row) {
        if (t != Target::None) {
            QStringList fields;
            for (int col = area.Left; col <= area.Right; ++col)
                fields << m_locale.toString(insideTarget(t, col, row) ? readCell(t, col, row) : 0.0, 'f', 2);
            out += fields.join(QLatin1Char('\t'));
        }
        out += QLatin1String("\r\n");
    }
    return out;
}

void TTableEditor::copy(const TGridRect& sel)
{
    if (m_clipboard)
        m_clipboard->setText(copyText(sel));
}

bool TTableEditor::clipboardHasText() const { return m_clipboard && !m_clipboard->text().isEmpty(); }

QVector<QStringList> TTableEditor::splitClipboardText(const QString& text)
{
    QString normal = text;
    normal.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normal.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = normal.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line break after the last row ends it, it opens no new one
    QVector<QStringList> out;
    out.reserve(lines.size());
    for (const QString& line : lines) {
        QStringList fields;
        QString field;
        for (const QChar c : line) {
            if (isFieldSeparator(c)) {
                if (!field.isEmpty())
                    fields << field;
                field.clear();
            } else {
                field += c;
            }
        }
        if (!field.isEmpty())
            fields << field;
        out << fields;
    }
    return out;
}

double TTableEditor::parseField(const QString& field) const
{
    bool ok = false;
    const double v = m_locale.toDouble(field, &ok);
    if (!ok || !std::isfinite(v))
        throw EVexorError(QStringLiteral("'%1' is not a valid floating point value").arg(field));
    return v;
}

TPasteResult TTableEditor::pasteText(const TGridRect& sel, const QString& text)
{
    const QVector<QStringList> lines = splitClipboardText(text);
    if (sel.isEmpty() || lines.size() != sel.height())
        return TPasteResult::DoesNotFit;
    // Every line must match the selection, not only the first: a longer line
    // would otherwise write past the selected cells.
    for (const QStringList& fields : lines)
        if (fields.size() != sel.width())
            return TPasteResult::DoesNotFit;
    const Target t = editTarget();
    if (t == Target::None)
        return TPasteResult::Pasted;

    // Convert everything first, so a bad field leaves the table untouched.
    QVector<QVector<double>> values(lines.size());
    for (int r = 0; r < lines.size(); ++r) {
        for (const QString& field : lines[r]) {
            const double v = parseField(field);
            if (t == Target::TargetLambda && v == 0)
                throw EVexorError(QStringLiteral("A correction of 0 cannot be stored."));
            values[r] << v;
        }
    }
    for (int r = 0; r < values.size(); ++r)
        for (int c = 0; c < values[r].size(); ++c)
            if (!insideTarget(t, sel.Left + c, sel.Top + r))
                return TPasteResult::DoesNotFit;

    TUndoGroupGuard group(m_rom.buffer(), ugPaste);
    for (int r = 0; r < values.size(); ++r)
        for (int c = 0; c < values[r].size(); ++c)
            writeCell(t, sel.Left + c, sel.Top + r, values[r][c]);
    return TPasteResult::Pasted;
}

TPasteResult TTableEditor::paste(const TGridRect& sel)
{
    return pasteText(sel, m_clipboard ? m_clipboard->text() : QString());
}

void TTableEditor::cut(const TGridRect& sel)
{
    copy(sel);
    deleteCells(sel);
}

// --- block edits ----------------------------------------------------------------

void TTableEditor::deleteCells(const TGridRect& sel)
{
    const TGridRect area = clipToTable(sel);
    if (area.isEmpty())
        return;
    const QVector<QPoint> cells = rectCells(area);
    switch (ViewMode) {
    case vmValues:
    case vmDutyCycle:
    case vmTargetLambda: {
        const Target t = editTarget();
        TUndoGroupGuard group(m_rom.buffer(), ugDelete);
        for (const QPoint& p : cells)
            if (insideTarget(t, p.x(), p.y()))
                writeCell(t, p.x(), p.y(), t == Target::TargetLambda ? 1.0 : 0.0);
        return;
    }
    case vmLambda:
        if (ClearLambdaSamples)
            for (const QPoint& p : cells)
                ClearLambdaSamples(dataCam(), p.x(), p.y());
        return;
    case vmKnock:
        if (ClearKnock)
            for (const QPoint& p : cells)
                ClearKnock(dataCam(), p.x(), p.y());
        return;
    default: return;
    }
}

double TTableEditor::fuelStepUp(double value, const TEditSteps& steps)
{
    const double p = steps.FuelStepPercent;
    const double m = static_cast<qint16>(steps.FuelMinStep);
    if (m > value * p / 100)
        return value + m;
    return value * (1 + p / 100);
}

double TTableEditor::fuelStepDown(double value, const TEditSteps& steps)
{
    const double p = steps.FuelStepPercent;
    const double m = static_cast<qint16>(steps.FuelMinStep);
    if (m > value * p / 100)
        return value - m;
    return value / (1 + p / 100);
}

void TTableEditor::step(const QVector<QPoint>& cells, bool up)
{
    const Target t = editTarget();
    if (t == Target::None || !m_rom.isLoaded())
        return;
    const bool fuel = TRom::isFuelKind(m_rom.CurrentTable);
    TUndoGroupGuard group(m_rom.buffer(), up ? ugIncrease : ugDecrease);
    for (const QPoint& p : cells) {
        const int col = p.x(), row = p.y();
        if (!insideTarget(t, col, row))
            continue;
        const double v = readCell(t, col, row);
        double nv;
        if (t == Target::TargetLambda) {
            nv = up ? v + Steps.LambdaStep : v - Steps.LambdaStep;
        } else {
            if (!tunable(col, row))
                continue;
            if (fuel)
                nv = up ? fuelStepUp(v, Steps) : fuelStepDown(v, Steps);
            else
                nv = up ? v + Steps.IgnitionStep : v - Steps.IgnitionStep;
        }
        writeCell(t, col, row, nv);
    }
}

void TTableEditor::increase(const QVector<QPoint>& cells) { step(cells, true); }

void TTableEditor::decrease(const QVector<QPoint>& cells) { step(cells, false); }

bool TTableEditor::adjust(const TGridRect& sel, TAdjustKind kind, double amount)
{
    if (!std::isfinite(amount))
        throw EVexorError(QStringLiteral("Invalid value: not a finite number."));
    if (kind != TAdjustKind::Set && amount == 0)
        return false;
    const TGridRect area = clipToTable(sel);
    if (area.isEmpty())
        return false;
    TUndoGroupGuard group(m_rom.buffer(), ugAdjustments);
    for (const QPoint& p : rectCells(area)) {
        const double v = m_rom.tableValue(p.x(), p.y(), m_rom.CurrentTable);
        double nv = amount;
        if (kind == TAdjustKind::Percent)
            nv = v * (amount / 100 + 1);
        else if (kind == TAdjustKind::Add)
            nv = v + amount;
        m_rom.setTableValue(p.x(), p.y(), nv, m_rom.CurrentTable);
    }
    return true;
}

bool TTableEditor::interpolate(const TGridRect& sel)
{
    const TGridRect area = clipToTable(sel);
    if (area.height() < 3)
        return false;
    const int kind = m_rom.CurrentTable;
    const bool high = highCam();
    // The rpm axis is expected to rise strictly. Where it does not (two rows
    // of equal rpm, a scale edited out of order) rpm weights would divide by
    // zero or reach outside the two end values, so the rows are spaced
    // evenly instead.
    QVector<double> rpm;
    bool monotonic = true;
    for (int row = area.Top; row <= area.Bottom; ++row) {
        rpm << m_rom.rpm(high, row);
        if (rpm.size() >= 2) {
            const double d0 = rpm[1] - rpm[0], d = rpm.last() - rpm[rpm.size() - 2];
            if (d == 0 || (d > 0) != (d0 > 0))
                monotonic = false;
        }
    }
    TUndoGroupGuard group(m_rom.buffer(), ugInterpolate);
    for (int col = area.Left; col <= area.Right; ++col) {
        const double vt = m_rom.tableValue(col, area.Top, kind);
        const double vb = m_rom.tableValue(col, area.Bottom, kind);
        const double nt = rpm.first(), nb = rpm.last();
        for (int row = area.Top + 1; row < area.Bottom; ++row) {
            const double f =
                monotonic ? (rpm[row - area.Top] - nt) / (nb - nt) : double(row - area.Top) / (area.Bottom - area.Top);
            m_rom.setTableValue(col, row, vt + (vb - vt) * f, kind);
        }
    }
    return true;
}

bool TTableEditor::smoothLine(const QVector<QPoint>& line, const QVector<double>& axis, double tolerance,
                              std::optional<TUndoGroupGuard>& group)
{
    const int kind = m_rom.CurrentTable;
    auto value = [&](int i) { return m_rom.tableValue(line[i].x(), line[i].y(), kind); };
    bool changed = false;
    for (int i = 1; i + 1 < line.size(); ++i) {
        const double v0 = value(i - 1), v1 = value(i + 1);
        const double x0 = axis[i - 1], x1 = axis[i + 1];
        const double slope = x1 == x0 ? 0 : (v1 - v0) / (x1 - x0);
        const double e = v0 + slope * (axis[i] - x0);
        // A prediction of 0 gives no relative deviation to judge; zeroing the
        // cell there would flatten a real value, so it is left alone.
        if (e == 0)
            continue;
        const double v = value(i);
        if (v == e || std::abs(v - e) / std::abs(e) < tolerance)
            continue;
        // Measured against |e| so negative predictions (ignition below 0°)
        // are pulled towards the line rather than pushed away from it.
        const double nv = v > e ? e + std::abs(e) * tolerance : e - std::abs(e) * tolerance;
        if (!group)
            group.emplace(m_rom.buffer(), ugSmoothing);
        m_rom.setTableValue(line[i].x(), line[i].y(), nv, kind);
        changed = true;
    }
    return changed;
}

bool TTableEditor::smooth(const TGridRect& sel)
{
    const TGridRect area = clipToTable(sel);
    if (area.isEmpty())
        return false;
    const double t = Steps.SmoothingTolerance / 1000.0;
    const bool high = highCam();
    std::optional<TUndoGroupGuard> group;
    bool changed = false;
    if (area.height() >= 4) {
        QVector<double> axis;
        for (int row = area.Top; row <= area.Bottom; ++row)
            axis << m_rom.rpm(high, row);
        for (int col = area.Left; col <= area.Right; ++col) {
            QVector<QPoint> line;
            for (int row = area.Top; row <= area.Bottom; ++row)
                line << QPoint(col, row);
            changed |= smoothLine(line, axis, t, group);
        }
    }
    if (area.width() >= 4) {
        QVector<double> axis;
        for (int col = area.Left; col <= area.Right; ++col)
            axis << static_cast<qint16>(m_rom.load(high, col));
        for (int row = area.Top; row <= area.Bottom; ++row) {
            QVector<QPoint> line;
            for (int col = area.Left; col <= area.Right; ++col)
                line << QPoint(col, row);
            changed |= smoothLine(line, axis, t / 2, group);
        }
    }
    return changed;
}

// --- targets ----------------------------------------------------------------------

QVector<QPoint> TTableEditor::rectCells(const TGridRect& sel)
{
    QVector<QPoint> out;
    for (int row = sel.Top; row <= sel.Bottom; ++row)
        for (int col = sel.Left; col <= sel.Right; ++col)
            out << QPoint(col, row);
    return out;
}

QVector<QPoint> TTableEditor::trackedCells(const TLivePosition& live, int cols, int rows)
{
    const int c = live.Col, r = live.Row;
    QVector<QPoint> cand;
    switch (live.TrackMode) {
    case tmSingleCell: cand << QPoint(c, r); break;
    case tmQuadCell: cand << QPoint(c, r) << QPoint(c + 1, r) << QPoint(c + 1, r + 1) << QPoint(c, r + 1); break;
    case tmSingleColumn:
    case tmDoubleColumn:
        for (int dc = 0; dc < (live.TrackMode == tmDoubleColumn ? 2 : 1); ++dc)
            for (int row = 0; row < rows; ++row)
                cand << QPoint(c + dc, row);
        break;
    case tmSingleRow:
    case tmDoubleRow:
        for (int dr = 0; dr < (live.TrackMode == tmDoubleRow ? 2 : 1); ++dr)
            for (int col = 0; col < cols; ++col)
                cand << QPoint(col, r + dr);
        break;
    default: break;
    }
    QVector<QPoint> out;
    for (const QPoint& p : cand)
        if (p.x() >= 0 && p.y() >= 0 && p.x() < cols && p.y() < rows)
            out << p;
    return out;
}
