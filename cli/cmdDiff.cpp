// diff: what differs between two images, named by what it is.
#include "cli/mdlCli.h"
#include "cli/mdlCliRom.h"
#include "rom/mdlRomSettingsTable.h"

#include <QJsonArray>
#include <QJsonObject>
#include <vector>

namespace {

struct Coverage {
    std::vector<bool> named;
    explicit Coverage(int size) : named(size_t(size), false) {}
    void mark(int at, int len)
    {
        for (int i = at; i < at + len; ++i)
            if (i >= 0 && i < int(named.size()))
                named[size_t(i)] = true;
    }
};

int cmdDiff(const QStringList& a)
{
    CliArgs args(a, {QStringLiteral("--json")}, {});
    const QString pathA = args.positionalAt(0, QStringLiteral("A")), pathB = args.positionalAt(1, QStringLiteral("B"));
    TRom ra, rb;
    cliOpenRom(ra, pathA);
    cliOpenRom(rb, pathB);
    const bool json = args.flag(QStringLiteral("--json"));
    const bool sameFamily = ra.sameFamilyAs(rb) && ra.buffer().size() == rb.buffer().size();
    QJsonArray cells, scales, settings, ranges;
    QStringList text;
    Coverage cov(ra.buffer().size());

    if (sameFamily) {
        for (int k = 0; k < 4; ++k) {
            // Shared maps (one table serving both cams) are reported once.
            bool shared = false;
            for (int j = 0; j < k; ++j)
                shared |= ra.tableAddress(j) == ra.tableAddress(k) && ra.address(tableEntry(j)) != 0;
            if (shared || !ra.tableFits(k) || !rb.tableFits(k) || ra.rows(k) != rb.rows(k) ||
                ra.columns(k) != rb.columns(k))
                continue;
            const int rows = ra.rows(k), cols = ra.columns(k), base = ra.tableAddress(k);
            cov.mark(base, cols * (rows + (ra.hasMultiplierRow(k) ? 1 : 0)));
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < cols; ++c) {
                    const int ba = ra.cellByte(c, r, k), bb = rb.cellByte(c, r, k);
                    const double va = ra.tableValue(c, r, k), vb = rb.tableValue(c, r, k);
                    const bool multChanged = ra.multiplierByte(c, k) != rb.multiplierByte(c, k);
                    if (ba == bb && !multChanged)
                        continue;
                    if (ba == bb && va == vb)
                        continue;
                    cells.append(QJsonObject{{QStringLiteral("table"), cliTableName(k)},
                                             {QStringLiteral("col"), c},
                                             {QStringLiteral("row"), r},
                                             {QStringLiteral("rpm"), ra.rpm(TRom::isHighCamKind(k), r)},
                                             {QStringLiteral("load"), ra.load(TRom::isHighCamKind(k), c)},
                                             {QStringLiteral("old"), va},
                                             {QStringLiteral("new"), vb},
                                             {QStringLiteral("old_byte"), ba},
                                             {QStringLiteral("new_byte"), bb}});
                    text << QStringLiteral("%1 col %2 row %3 (%4 mbar, %5 rpm): %6 -> %7")
                                .arg(cliTableName(k))
                                .arg(c)
                                .arg(r)
                                .arg(ra.load(TRom::isHighCamKind(k), c))
                                .arg(ra.rpm(TRom::isHighCamKind(k), r))
                                .arg(cliFormatNumber(va), cliFormatNumber(vb));
                }
            if (ra.hasMultiplierRow(k))
                for (int c = 0; c < cols; ++c)
                    if (ra.multiplierByte(c, k) != rb.multiplierByte(c, k)) {
                        cells.append(QJsonObject{{QStringLiteral("table"), cliTableName(k)},
                                                 {QStringLiteral("col"), c},
                                                 {QStringLiteral("multiplier_old"), ra.multiplierByte(c, k)},
                                                 {QStringLiteral("multiplier_new"), rb.multiplierByte(c, k)}});
                        text << QStringLiteral("%1 col %2 multiplier: %3 -> %4")
                                    .arg(cliTableName(k))
                                    .arg(c)
                                    .arg(ra.multiplierByte(c, k))
                                    .arg(rb.multiplierByte(c, k));
                    }
        }
        for (int cam = 0; cam < 2; ++cam) {
            const bool high = cam == 1;
            const QString camName = high ? QStringLiteral("hi") : QStringLiteral("lo");
            if (const int at = ra.address(loadScaleEntry(high)); at && !(high && at == ra.address(aeLoadScaleLo))) {
                cov.mark(at, ra.columns(cam));
                for (int i = 0; i < ra.columns(cam) && i < rb.columns(cam); ++i)
                    if (ra.load(high, i) != rb.load(high, i)) {
                        scales.append(QJsonObject{{QStringLiteral("scale"), QStringLiteral("load")},
                                                  {QStringLiteral("cam"), camName},
                                                  {QStringLiteral("index"), i},
                                                  {QStringLiteral("old"), ra.load(high, i)},
                                                  {QStringLiteral("new"), rb.load(high, i)}});
                        text << QStringLiteral("load %1[%2]: %3 -> %4 mbar")
                                    .arg(camName)
                                    .arg(i)
                                    .arg(ra.load(high, i))
                                    .arg(rb.load(high, i));
                    }
            }
            if (const int at = ra.address(rpmScaleEntry(high))) {
                cov.mark(at, ra.rows(cam) * (ra.WideRevScalar ? 2 : 1));
                for (int i = 0; i < ra.rows(cam) && i < rb.rows(cam); ++i)
                    if (ra.rpm(high, i) != rb.rpm(high, i)) {
                        scales.append(QJsonObject{{QStringLiteral("scale"), QStringLiteral("rpm")},
                                                  {QStringLiteral("cam"), camName},
                                                  {QStringLiteral("index"), i},
                                                  {QStringLiteral("old"), ra.rpm(high, i)},
                                                  {QStringLiteral("new"), rb.rpm(high, i)}});
                        text << QStringLiteral("rpm %1[%2]: %3 -> %4")
                                    .arg(camName)
                                    .arg(i)
                                    .arg(ra.rpm(high, i))
                                    .arg(rb.rpm(high, i));
                    }
            }
        }
        for (const auto& item : romSettingItems()) {
            for (const auto& [at, len] : item.spans(ra))
                cov.mark(at, len);
            const QVariant va = item.get(ra), vb = item.get(rb);
            if (va != vb) {
                settings.append(QJsonObject{{QStringLiteral("name"), item.name},
                                            {QStringLiteral("old"), QJsonValue::fromVariant(va)},
                                            {QStringLiteral("new"), QJsonValue::fromVariant(vb)}});
                text << QStringLiteral("%1: %2 -> %3").arg(item.name, va.toString(), vb.toString());
            }
        }
        if (const int at = ra.address(aeChecksum))
            cov.mark(at, 1); // the checksum byte follows every change
    } else {
        text << QStringLiteral("Different families or sizes (%1 / %2): comparing bytes only.")
                    .arg(ra.baseName(), rb.baseName());
    }

    const int n = std::min(ra.buffer().size(), rb.buffer().size());
    const quint8* da = ra.buffer().data();
    const quint8* db = rb.buffer().data();
    for (int i = 0; i < n;) {
        if (da[i] == db[i] || (sameFamily && cov.named[size_t(i)])) {
            ++i;
            continue;
        }
        int j = i;
        while (j < n && da[j] != db[j] && !(sameFamily && cov.named[size_t(j)]))
            ++j;
        ranges.append(QJsonObject{
            {QStringLiteral("start"), i}, {QStringLiteral("end"), j - 1}, {QStringLiteral("length"), j - i}});
        text << QStringLiteral("bytes 0x%1-0x%2 (%3 byte(s)) differ")
                    .arg(i, 4, 16, QLatin1Char('0'))
                    .arg(j - 1, 4, 16, QLatin1Char('0'))
                    .arg(j - i);
        i = j;
    }
    if (ra.buffer().size() != rb.buffer().size())
        text << QStringLiteral("image sizes differ: %1 / %2 bytes").arg(ra.buffer().size()).arg(rb.buffer().size());
    const bool notesDiffer = ra.buffer().trailer() != rb.buffer().trailer();
    if (notesDiffer)
        text << QStringLiteral("notes differ");

    if (json) {
        cliJson(QJsonDocument(QJsonObject{
            {QStringLiteral("same_family"), sameFamily},
            {QStringLiteral("cells"), cells},
            {QStringLiteral("scales"), scales},
            {QStringLiteral("settings"), settings},
            {QStringLiteral("ranges"), ranges},
            {QStringLiteral("checksum_old"), ra.checksum()},
            {QStringLiteral("checksum_new"), rb.checksum()},
            {QStringLiteral("notes_differ"), notesDiffer},
        }));
    } else if (text.isEmpty()) {
        cliOut(QStringLiteral("The images are identical."));
    } else {
        for (const QString& line : text)
            cliOut(line);
    }
    return ExitOk;
}

const CliCommand reg("diff", "diff A B [--json]", cmdDiff);

} // namespace
