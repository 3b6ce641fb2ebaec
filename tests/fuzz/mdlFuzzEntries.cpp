#include "fuzz/mdlFuzzEntries.h"

#include "datalog/clsCuddleCore.h"
#include "datalog/clsVexorTuner.h"
#include "datalog/frmTuner.h"
#include "datalog/mdlCsvExport.h"
#include "datalog/mdlDatalogSession.h"
#include "datalog/mdlEcuProtocol.h"
#include "emulator/frmRTP.h"
#include "rom/clsRom.h"
#include "rom/mdlCalibration.h"
#include "rom/mdlRomGen.h"
#include "rom/mdlRomSettingsTable.h"
#include "scripting/frmScripts.h"
#include "scripting/mdlPluginList.h"
#include "scripting/mdlScriptRewrite.h"
#include "settings/mdlErrors.h"
#include "settings/mdlIniFile.h"
#include "settings/mdlInjectors.h"
#include "settings/mdlMessages.h"
#include "settings/mdlSettings.h"
#include "settings/mdlWideband.h"
#include "support/FakeSerialPort.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

void check(bool ok, const char* what)
{
    if (!ok)
        broken(what);
}

QByteArray bytesOf(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// The readers under test take files: one scratch folder per process.
QString scratchFile(const QString& name, const QByteArray& bytes)
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vexor-fuzz-XXXXXX"));
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        broken("cannot write the scratch file");
    return path;
}

// Every question gets OK; nothing is shown.
class TSilentMessages : public IMessageService {
protected:
    int doShowMessage(const TMessage&) override { return mrOk; }
    std::optional<QString> doInputQuery(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
};

// Reads the input as a sequence of small commands.
class TOps {
public:
    TOps(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    [[nodiscard]] bool more() const { return m_pos < m_size; }
    quint8 byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    QByteArray chunk(size_t n)
    {
        n = std::min(n, m_size - m_pos);
        QByteArray b(reinterpret_cast<const char*>(m_data + m_pos), static_cast<qsizetype>(n));
        m_pos += n;
        return b;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// ------------------------------------------------------------------ ROM

// Every reader a loaded image offers, as the grid, the graphs, the option
// pages and the command line call them.
void readEverything(const TRom& rom)
{
    for (int kind = 0; kind < 4; ++kind) {
        if (!rom.tableFits(kind))
            continue;
        const bool high = TRom::isHighCamKind(kind);
        const int rows = rom.rows(kind), cols = rom.columns(kind);
        check(rows > 0 && cols > 0 && rows <= 256 && cols <= 256, "a fitting table has a sane shape");
        for (int r = 0; r < rows; ++r)
            (void)rom.rpm(high, r);
        for (int c = 0; c < cols; ++c) {
            (void)rom.load(high, c);
            (void)rom.loadScaleByte(high, c);
            if (rom.hasMultiplierRow(kind))
                (void)rom.multiplierByte(c, kind);
        }
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                (void)rom.cellByte(c, r, kind);
                check(std::isfinite(rom.tableValue(c, r, kind)), "a table value is a number");
            }
        for (double mbar : {-100.0, 0.0, 500.0, 2000.0, 1e9})
            for (double rpm : {-1.0, 0.0, 3000.0, 9000.0, 1e9})
                check(!std::isnan(rom.interpolatedValue(kind, mbar, rpm)), "an interpolated value is a number");
    }
    for (const TRomSettingItem& item : romSettingItems()) {
        (void)item.get(rom);
        if (item.spans)
            (void)item.spans(rom);
    }
    for (int b = 0; b < 256; ++b) {
        (void)rom.byteToMillibar(b, false);
        (void)rom.byteToMillibar(b, true);
    }
    (void)rom.mapCalibrationMin();
    (void)rom.mapCalibrationMax();
    (void)rom.versionText();
    (void)rom.checksum();
    (void)rom.gear(60, 5000);
}

int fuzzRom(const uint8_t* data, size_t size)
{
    TRom rom;
    rom.buffer().loadBytes(bytesOf(data, size));
    if (rom.loadFromBuffer() != TRom::LoadResult::Ok)
        return 0;
    // An image that ends before its map was refused; one that was accepted
    // holds every item the map names.
    check(rom.sourceHoldsMap(), "an accepted image holds its address map");
    check(rom.isLoaded(), "an accepted image reads as loaded");
    readEverything(rom);
    return 0;
}

// ------------------------------------------------------------------ calibration

// A valid target image of one of four families (old, extended with its own
// table shape, large, Nissan), picked by the first input byte.
QByteArray targetImage(quint8 pick)
{
    static const QByteArray images[] = {
        generateRom(TRomGenOptions{}),
        generateRom(TRomGenOptions{QStringLiteral("vexorau"), 12, 16, {}, 3}),
        generateRom(TRomGenOptions{QStringLiteral("pr3"), 20, 24, {}, 5}),
        generateRom(TRomGenOptions{QStringLiteral("vg"), 20, 24, {}, 7}),
    };
    return images[pick % 4];
}

// Import into a valid image: a refused file leaves every byte as it was; an
// accepted one is a single undo step away from the old image, and the image
// still reads.
template <typename Import>
int fuzzImport(const uint8_t* data, size_t size, Import import)
{
    if (size == 0)
        return 0;
    TRom rom;
    rom.buffer().loadBytes(targetImage(data[0]));
    check(rom.loadFromBuffer() == TRom::LoadResult::Ok, "the target image loads");
    const QByteArray before = rom.buffer().fileBytes();
    try {
        import(rom, bytesOf(data + 1, size - 1));
    } catch (const EVexorError&) {
        check(rom.buffer().fileBytes() == before, "a refused import leaves the image as it was");
        return 0;
    }
    readEverything(rom);
    rom.buffer().undo();
    check(rom.buffer().fileBytes() == before, "an import is one undo step");
    return 0;
}

int fuzzCt2(const uint8_t* data, size_t size)
{
    return fuzzImport(data, size, [](TRom& rom, const QByteArray& bytes) {
        importCt2(rom, scratchFile(QStringLiteral("in.ct2"), bytes));
    });
}

int fuzzCtv(const uint8_t* data, size_t size)
{
    return fuzzImport(data, size, [](TRom& rom, const QByteArray& bytes) {
        importCtv(rom, scratchFile(QStringLiteral("in.ctv"), bytes));
    });
}

// ------------------------------------------------------------------ datalog file

// Load, replay through the tuner as a loaded file is, playback moves, CSV.
// A torn last record (size not a multiple of 40) is dropped by the reader;
// its first byte picks the CSV units here.
int fuzzDlf(const uint8_t* data, size_t size)
{
    static const QByteArray romBytes = generateRom(TRomGenOptions{});
    TRom rom;
    rom.buffer().loadBytes(romBytes);
    (void)rom.loadFromBuffer();

    TManualClock clock;
    TFakeSerialPort port;
    TSilentMessages messages;
    TTunerForm tuner(clock, clock, &port, &messages);
    TCuddleCore store(clock);
    TDatalogSession session(tuner, store, clock, clock, &messages, nullptr);
    TVEXORTuner autoTune;
    autoTune.setRom(&rom);
    session.trackSample = [&](const DatalogSample& s, bool) {
        if (!s.isMarker())
            autoTune.addSample(s);
    };
    const QString path = scratchFile(QStringLiteral("in.dlf"), bytesOf(data, size));
    check(session.loadDatalog(path, false), "a readable file loads");
    const qint64 records = static_cast<qint64>(size / DatalogSample::Size);
    check(store.count() == records, "every whole record is loaded");
    for (qint64 p : {qint64(0), records / 2, records - 1, records, qint64(-1)})
        session.playbackMove(p);
    (void)store.samplesPerSecond();
    (void)store.playbackPageSize();

    const quint8 flags = size % DatalogSample::Size ? data[size - size % DatalogSample::Size] : 0;
    TCsvOptions options;
    options.units.afr = flags & 1;
    options.units.psi = flags & 2;
    options.units.mph = flags & 4;
    options.units.fahrenheit = flags & 8;
    if (flags & 16)
        options.ctx = sampleContextFor(&rom);
    DatalogSample first;
    if (store.readAt(0, first))
        options.startTime = first.timeStamp();
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    writeCsv(out, store.data(), options);
    const QByteArray& csv = out.data();
    check(csv.count("\r\n") == records + 1, "the CSV has a header and one line per record");
    check(!csv.contains("nan") && !csv.contains("inf"), "the CSV holds numbers only");
    return 0;
}

// ------------------------------------------------------------------ INI files

// The same text as vexor.ini, injectors.ini and wideband.ini.
int fuzzIni(const uint8_t* data, size_t size)
{
    const QString path = scratchFile(QStringLiteral("in.ini"), bytesOf(data, size));
    TIniFile ini;
    check(ini.load(path), "a readable file loads");
    for (const QString& section : ini.sections())
        for (const QString& key : ini.keys(section)) {
            check(ini.valueExists(section, key), "a listed key exists");
            (void)ini.readInteger(section, key, 0);
            (void)ini.readFloat(section, key, 0);
            (void)ini.readBool(section, key, false);
        }
    TSettings settings;
    settings.read(ini);
    for (const TSettingValue& v : settingValues(settings)) {
        const auto range = settingRange(v.section, v.key);
        if (!range || !v.value.isValid())
            continue;
        const double x = v.value.toDouble();
        check(std::isfinite(x) && x >= range->lo && x <= range->hi, "a numeric setting lies in its range");
    }
    TIniFile written;
    settings.write(written);
    TSettings again;
    again.read(written);
    check(again == settings, "settings read back as they were written");

    TInjectorDefinitions injectors;
    check(injectors.load(path), "injectors load");
    for (const QString& name : injectors.names()) {
        check(injectors.size(name) > 0, "an injector size is positive");
        const auto block = injectors.deadTimeBlock(name);
        check(!block || block->size() == TInjectorDefinitions::DeadTimeBlockSize, "a dead-time block is whole");
    }
    TWidebandDefinitions widebands;
    check(widebands.load(path), "widebands load");
    for (int i = 0; i < widebands.count(); ++i)
        (void)widebands.points(i);
    return 0;
}

// ------------------------------------------------------------------ ECU protocols

// The frame readers over arbitrary bytes, delivered in arbitrary chunks.
int fuzzEcuFrames(const uint8_t* data, size_t size)
{
    TOps ops(data, size);
    const int protocol = ops.byte() % 3;
    DatalogSample sample;
    if (protocol == 0) {
        ecu::TP0Decoder decoder;
        size_t samples = 0, bytes = 0;
        while (ops.more()) {
            ecu::TP0Decoder::TSlot0 slot0 = ecu::TP0Decoder::TSlot0::None;
            const quint8 b = ops.byte();
            ++bytes;
            if (b == 0xFF && ops.byte() == 0xFF) {
                decoder.resync();
                continue;
            }
            (void)decoder.request();
            samples += decoder.consume(b, sample, slot0);
            check(decoder.position() >= 0 && decoder.position() < 15, "the position stays in the cycle");
            check(decoder.cycle() >= 0 && decoder.cycle() < 7, "the cycle counter stays in range");
        }
        check(samples * 15 <= bytes, "a sample takes fifteen replies");
        return 0;
    }
    QByteArray buffer;
    std::array<quint8, ecu::FramePayload> payload{};
    ecu::TFrameStats stats;
    const int frameLength = protocol == 1 ? ecu::Protocol1FrameLength : ecu::Protocol2FrameLength;
    size_t received = 0;
    while (ops.more()) {
        const QByteArray chunk = ops.chunk(1 + ops.byte() % 64);
        received += static_cast<size_t>(chunk.size());
        buffer += chunk;
        (void)ecu::checkHandshake(protocol, buffer);
        for (;;) {
            const qsizetype had = buffer.size();
            const ecu::TFrameStep step = ecu::frameStep(protocol, buffer, payload, stats);
            check(buffer.size() <= had, "a step never grows the buffer");
            if (step == ecu::TFrameStep::NeedMore)
                break;
            check(buffer.size() < had, "a step that judged a frame removes bytes");
            if (step == ecu::TFrameStep::Accepted)
                ecu::mapPayload(protocol, payload, sample);
        }
        // The reader keeps at most one incomplete frame.
        check(buffer.size() < 2 * frameLength, "the receive buffer stays bounded");
    }
    check(stats.frames * static_cast<quint64>(frameLength) <= received, "a frame takes its full length");
    return 0;
}

// The connection state machine: open, then replies, silence, pauses and
// reopenings in the order the input gives.
int fuzzTuner(const uint8_t* data, size_t size)
{
    TOps ops(data, size);
    TManualClock clock;
    TFakeSerialPort port;
    TSilentMessages messages;
    TTunerForm tuner(clock, clock, &port, &messages);
    TTunerSettings s;
    const quint8 setup = ops.byte();
    s.protocolIndex = setup % 3;
    s.maxTries = (setup >> 2) % 4;
    s.timeout = 50 + 50 * ((setup >> 4) % 4);
    s.port.portName = QStringLiteral("fake");
    tuner.setSettings(s);
    quint64 injected = 0;
    tuner.open();
    while (ops.more()) {
        switch (ops.byte() % 8) {
        case 0:
        case 1:
        case 2: {
            const QByteArray chunk = ops.chunk(1 + ops.byte() % 48);
            injected += static_cast<quint64>(chunk.size());
            port.inject(chunk);
            break;
        }
        case 3: clock.advance(1 + ops.byte() * 4u); break;
        case 4:
            if (tuner.isPaused())
                tuner.resume();
            else
                tuner.pause({});
            break;
        case 5: tuner.close(); break;
        case 6: tuner.open(); break;
        default: port.failPort(QStringLiteral("gone")); break;
        }
        const int st = tuner.state();
        check(st >= 0 && st <= 9, "the state is one of the machine's");
    }
    const quint64 shortest = s.protocolIndex == 0 ? 15 : ecu::Protocol1FrameLength;
    check(tuner.stats().samples * shortest <= injected, "no sample without its reply bytes");
    tuner.close();
    return 0;
}

// ------------------------------------------------------------------ emulator link

// One operation of the emulator link fed arbitrary replies; once the line
// goes silent it must end within its tries, and report once.
int fuzzRtp(const uint8_t* data, size_t size)
{
    TOps ops(data, size);
    TManualClock clock;
    TFakeSerialPort port;
    TSilentMessages messages;
    TRTPForm link(clock, &port, &messages);
    const quint8 setup = ops.byte();
    static const int codes[] = {0, 2, 3};
    static const int kinds[] = {rtp::KindRead,      rtp::KindWrite,      rtp::KindVerify, rtp::KindChipRead,
                                rtp::KindChipWrite, rtp::KindChipVerify, rtp::KindDetect, rtp::KindRead};
    TRTPLinkSettings s;
    s.hardwareCode = codes[setup % 3];
    s.use512K = setup & 4;
    s.timeout = 20;
    s.maxTries = 2;
    s.port.portName = QStringLiteral("fake");
    link.setSettings(s);
    if (!link.openPort())
        return 0;
    const int kind = kinds[(setup >> 3) % 8];
    QByteArray image(rtp::BlockSize * (1 + (setup >> 6) % 2), '\x5A');
    int reports = 0;
    check(link.start(
              kind, image, [&](const TRTPResult&) { ++reports; }, true),
          "an idle link starts");
    while (ops.more() && link.busy()) {
        switch (ops.byte() % 4) {
        case 0:
        case 1: port.inject(ops.chunk(1 + ops.byte() % 64)); break;
        case 2: clock.advance(1 + ops.byte()); break;
        default:
            if (ops.byte() == 0xFF)
                link.cancel();
            break;
        }
    }
    for (int i = 0; i < 1000 && link.busy(); ++i)
        clock.advance(1000);
    check(!link.busy(), "a silent line ends the operation");
    check(reports == 1, "an operation reports once");
    return 0;
}

// ------------------------------------------------------------------ scripts

// A user's plugins.js as the loader reads it (decoding, path macros), then
// the source rewriter, which must keep every line on its line.
int fuzzScript(const uint8_t* data, size_t size)
{
    static TScriptForm host{TScriptEnvironment{}};
    const QString path = scratchFile(QStringLiteral("plugins.js"), bytesOf(data, size));
    QString text;
    try {
        text = host.loadScriptText(path);
    } catch (const EVexorError&) {
        return 0;
    }
    const QString rewritten = rewriteScriptSource(text);
    check(rewritten.count(QLatin1Char('\n')) == text.count(QLatin1Char('\n')), "the rewriter keeps the line count");
    return 0;
}

// plugins.js as the plug-in editor reads and writes it: whatever the file
// holds, its list written and read back has the same header and entries,
// writing that again gives the same text, and every path survives escaping.
int fuzzPlugins(const uint8_t* data, size_t size)
{
    const TPluginList list = readPluginList(decodeScriptText(bytesOf(data, size)));
    const QString written = writePluginList(list);
    const TPluginList back = readPluginList(written);
    check(back.header == list.header, "a written list reads back with its header");
    check(back.paths == list.paths, "a written list reads back with its entries");
    check(writePluginList(back) == written, "writing a list read back gives the same text");
    for (const QString& path : list.paths)
        check(unescapePluginPath(escapePluginPath(path)) == path, "a path survives its escaping");
    return 0;
}

} // namespace

const std::vector<TFuzzTarget>& fuzzTargets()
{
    static const std::vector<TFuzzTarget> targets{
        {"rom", fuzzRom},         {"ct2", fuzzCt2}, {"ctv", fuzzCtv},
        {"dlf", fuzzDlf},         {"ini", fuzzIni}, {"ecu_frames", fuzzEcuFrames},
        {"tuner", fuzzTuner},     {"rtp", fuzzRtp}, {"script", fuzzScript},
        {"plugins", fuzzPlugins},
    };
    return targets;
}

const TFuzzTarget* findFuzzTarget(const char* name)
{
    for (const TFuzzTarget& t : fuzzTargets())
        if (std::strcmp(t.name, name) == 0)
            return &t;
    return nullptr;
}

void fuzzInit(int* argc, char*** argv)
{
    if (!QCoreApplication::instance())
        new QCoreApplication(*argc, *argv); // lives as long as the process
}
