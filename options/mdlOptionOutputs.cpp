#include "options/mdlOptionOutputs.h"

#include "options/mdlOptionBuild.h"
#include "rom/clsRom.h"
#include "rom/mdlCodePatches.h"
#include "settings/mdlErrors.h"
#include "settings/mdlMessages.h"

const std::array<TEventInputItem, 7> EventInputItems = {{{0, 0, 0},
                                                         {EventInputChosen, 0, 0},
                                                         {EventInputChosen, 529, 1028},
                                                         {EventInputChosen, 528, 2048},
                                                         {EventInputChosen, 529, 4096},
                                                         {EventInputChosen, 528, 32768},
                                                         {EventInputChosen, 529, 514}}};

const std::array<TEventOutputItem, 9> EventOutputItems = {{{0, 0, 0},
                                                           {0x01, 34, 256},
                                                           {0x10, 32, 2048},
                                                           {0x100, 34, 4096},
                                                           {0x02, 32, 256},
                                                           {0x08, 32, 1024},
                                                           {0x80, 32, 8192},
                                                           {0x04, 32, 512},
                                                           {0x40, 0, 0}}};

namespace {

// Items 1.. of the boost (and event 3) list and of the VTEC-plus list.
constexpr int BoostBits[] = {0x01, 0x10, 0x02, 0x08, 0x80, 0x04, 0x40};
constexpr int VtecPlusBits[] = {0x10, 0x02, 0x08, 0x04, 0x40};
constexpr int InvertBit = 0x80;
constexpr int IabEnableBit = 0x01;

[[noreturn]] void unexpectedIndex() { throw EVexorError(QStringLiteral("Unexpected selection index")); }

int listBit(const int* bits, int count, int item)
{
    if (item < 0 || item > count)
        unexpectedIndex();
    return item == 0 ? 0 : bits[item - 1];
}

bool eventHasInput(const TRom& rom, int event)
{
    const int at = eventBlock(rom, event);
    return at != 0 && (rom.byteAt(at) & EventHasInput) != 0;
}

int eventOutputBit(const TRom& rom, int event)
{
    if (!eventHasInput(rom, event))
        return 0;
    return EventOutputItems[size_t(eventOutputItem(rom, event))].bit;
}

TOutputUser eventUser(int event) { return TOutputUser(int(TOutputUser::Event1) + event); }

// The outputs of event 3 are the boost list; events 1 and 2 have the full list.
int eventItemCount(int event) { return event == 2 ? int(std::size(BoostBits)) + 1 : int(EventOutputItems.size()); }

int eventItemBit(int event, int item)
{
    if (event == 2)
        return listBit(BoostBits, int(std::size(BoostBits)), item);
    if (item < 0 || item >= int(EventOutputItems.size()))
        unexpectedIndex();
    return EventOutputItems[size_t(item)].bit;
}

int eventItemOfBit(int event, int bit)
{
    if (event == 2)
        return comboItemOfBit(BoostBits, int(std::size(BoostBits)), bit);
    for (size_t i = 0; i < EventOutputItems.size(); ++i)
        if (EventOutputItems[i].bit == bit)
            return int(i);
    return 0;
}

} // namespace

int parseComboIndex(const QString& text, int count)
{
    bool ok = false;
    const int i = text.trimmed().toInt(&ok);
    if (!ok)
        throw EVexorError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    if (i < 0 || i >= count)
        unexpectedIndex();
    return i;
}

int boostOutputBit(int item) { return listBit(BoostBits, int(std::size(BoostBits)), item); }
int vtecPlusOutputBit(int item) { return listBit(VtecPlusBits, int(std::size(VtecPlusBits)), item); }

int comboItemOfBit(const int* bits, int count, int bit)
{
    for (int i = 0; i < count; ++i)
        if (bits[i] == bit)
            return i + 1;
    return 0;
}

TRomEntry eventEntry(int event) { return TRomEntry(aeEvent1Block + event); }

int eventBlock(const TRom& rom, int event) { return rom.address(eventEntry(event)); }

int eventInputItem(const TRom& rom, int event)
{
    const int at = eventBlock(rom, event);
    if (at == 0 || (rom.byteAt(at) & EventHasInput) == 0)
        return 0;
    const int selector = rom.wordAt(at + 2), inputBit = rom.byteAt(at + 5);
    for (size_t i = 2; i < EventInputItems.size(); ++i)
        if (EventInputItems[i].selector == selector && (EventInputItems[i].bits >> 8) == inputBit)
            return int(i);
    return selector == 0 && inputBit == 0 ? 1 : -1;
}

int eventOutputItem(const TRom& rom, int event)
{
    const int at = eventBlock(rom, event);
    if (at == 0)
        return 0;
    const int port = rom.wordAt(at + 20), bit = rom.wordAt(at + 22);
    for (size_t i = 1; i + 1 < EventOutputItems.size(); ++i)
        if (EventOutputItems[i].port == port && EventOutputItems[i].portBit == bit)
            return int(i);
    // The last item has no port of its own: only the in-use mask tells it.
    const int last = int(EventOutputItems.size()) - 1;
    const int lastBit = EventOutputItems[size_t(last)].bit;
    if (port == 0 && bit == 0 && (rom.byteAt(at) & EventHasInput) && rom.address(aeOutputsInUse) &&
        (rom.wordAt(rom.address(aeOutputsInUse)) & lastBit)) {
        for (TOutputUser u : {TOutputUser::Boost, TOutputUser::VtecPlus})
            if (outputBitOf(rom, u) == lastBit)
                return 0;
        return last;
    }
    return 0;
}

int outputBitOf(const TRom& rom, TOutputUser user)
{
    switch (user) {
    // A stored byte that is no output of the list holds none (the list shows "None" for it).
    case TOutputUser::Boost: {
        const int at = rom.address(aeBoostOutput);
        const int bit = at == 0 ? 0 : rom.byteAt(at);
        return comboItemOfBit(BoostBits, int(std::size(BoostBits)), bit) ? bit : 0;
    }
    case TOutputUser::Vtec: return rom.vtecEnabled() ? VtecSolenoidBit : 0;
    case TOutputUser::Iab: {
        const int at = rom.address(aeIabInverted);
        return at != 0 && (rom.byteAt(at) & IabEnableBit) ? IabOutputBit : 0;
    }
    case TOutputUser::VtecPlus: {
        const int at = rom.address(aeVtecPlusOutput);
        const int bit = at == 0 ? 0 : rom.byteAt(at);
        return comboItemOfBit(VtecPlusBits, int(std::size(VtecPlusBits)), bit) ? bit : 0;
    }
    case TOutputUser::Event1:
    case TOutputUser::Event2:
    case TOutputUser::Event3: return eventOutputBit(rom, int(user) - int(TOutputUser::Event1));
    }
    return 0;
}

int outputsInUseExcept(const TRom& rom, TOutputUser user)
{
    int mask = 0;
    for (int u = 0; u <= int(TOutputUser::Event3); ++u)
        if (TOutputUser(u) != user)
            mask |= outputBitOf(rom, TOutputUser(u));
    return mask;
}

bool claimOutput(TOptionContext& ctx, TOutputUser user, int bit)
{
    if (bit == 0 || (outputsInUseExcept(ctx.rom, user) & bit) == 0)
        return true;
    if (!ctx.messages)
        throw EVexorError(QString::fromLatin1(OutputConflictText));
    ctx.messages->showMessage(QString::fromLatin1(OutputConflictText), QString::fromLatin1(OutputConflictTitle),
                              TMsgKind::Information, TMsgButton::OK);
    return false;
}

void storeOutputsInUse(TRom& rom)
{
    const auto mask = quint16(outputsInUseExcept(rom, TOutputUser(0xFF)));
    // The entry-162 feature keeps its own bit of the code-switch word.
    setCodeSwitches(rom, quint16(mask | (entry162Feature(rom) ? csEntry162 : 0)));
    if (const int at = rom.address(aeOutputsInUse); at && rom.wordAt(at) != mask)
        rom.buffer().writeWord(at, mask);
}

void setEventInput(TOptionContext& ctx, int event, int item)
{
    if (item < 0 || item >= int(EventInputItems.size()))
        unexpectedIndex();
    const int at = eventBlock(ctx.rom, event);
    if (at == 0)
        return;
    const TEventInputItem& in = EventInputItems[size_t(item)];
    TBinEdit& b = ctx.rom.buffer();
    TUndoGroupGuard group(b, ouEventInput);
    b.writeByte(at, in.flags);
    b.writeWord(at + 2, in.selector);
    b.writeWord(at + 4, in.bits);
    for (size_t i = 0; i < EventDefaultConditions.size(); ++i)
        b.writeByte(at + EventConditionsAt + int(i), EventDefaultConditions[i]);
    storeOutputsInUse(ctx.rom);
}

void setEventOutput(TOptionContext& ctx, int event, int item)
{
    const int bit = eventItemBit(event, item);
    const int at = eventBlock(ctx.rom, event);
    if (at == 0 || !claimOutput(ctx, eventUser(event), bit))
        return;
    // Event 3's list names bits; its port words are those of the full list's item with that bit.
    const TEventOutputItem& out = EventOutputItems[size_t(eventItemOfBit(0, bit))];
    TBinEdit& b = ctx.rom.buffer();
    TUndoGroupGuard group(b, ouEventOutput);
    b.writeWord(at + 20, out.port);
    b.writeWord(at + 22, out.portBit);
    storeOutputsInUse(ctx.rom);
}

namespace {

const char* const Boost = "tbsBoostControl";
const char* const Vtec = "tbsVTEC";
const char* const Misc = "tbsMisc";

TOptionField outputCombo(const char* name, const char* page, const char* group, TOutputUser user, const int* bits,
                         int count, TRomEntry entry, quint8 kind)
{
    TOptionField f = optCustom(name, TOptionControl::Combo, page, group, "Output");
    f.entry = entry;
    f.undoKind = kind;
    f.items << QStringLiteral("None");
    for (int i = 0; i < count; ++i)
        f.items << QStringLiteral("Output %1 (0x%2)").arg(i + 1).arg(bits[i], 2, 16, QLatin1Char('0'));
    f.read = [user, bits, count](const TOptionContext& ctx) {
        const int bit = outputBitOf(ctx.rom, user);
        return TOptionValue{QString::number(comboItemOfBit(bits, count, bit)), true, bit};
    };
    f.write = [user, bits, count, entry, kind](TOptionContext& ctx, const QString& text) {
        const int item = parseComboIndex(text, count + 1);
        const int bit = listBit(bits, count, item);
        if (!claimOutput(ctx, user, bit))
            return;
        TUndoGroupGuard undo(ctx.rom.buffer(), kind);
        ctx.rom.buffer().writeByte(ctx.rom.address(entry), quint8(bit));
        if (user == TOutputUser::Boost && bit == 0 && ctx.rom.address(aeBoostControlMode))
            ctx.rom.buffer().writeByte(ctx.rom.address(aeBoostControlMode), 0); // no solenoid, no control
        storeOutputsInUse(ctx.rom);
    };
    return f;
}

// A check box that switches a user of a fixed output, refused while another
// user holds that output.
TOptionField outputSwitch(const char* name, const char* page, const char* group, const char* label, TOutputUser user,
                          int bit, std::function<bool(const TRom&)> get, std::function<void(TRom&, bool)> set,
                          TRomEntry entry)
{
    TOptionField f = optCustom(name, TOptionControl::Check, page, group, label);
    f.entry = entry;
    f.read = [get](const TOptionContext& ctx) { return TOptionValue{checkText(get(ctx.rom)), true, -1}; };
    f.write = [user, bit, get, set](TOptionContext& ctx, const QString& text) {
        const bool on = parseOptionNumber(text) != 0;
        if (on == get(ctx.rom) || (on && !claimOutput(ctx, user, bit)))
            return;
        TUndoGroupGuard undo(ctx.rom.buffer(), ugWord);
        set(ctx.rom, on);
        storeOutputsInUse(ctx.rom);
    };
    return f;
}

const char* const EventPages[] = {"tsEvent1", "tsEvent2", "tsEvent3"};

void appendEvent(std::vector<TOptionField>& v, int e)
{
    const QString n = QString::number(e + 1);
    const TRomEntry entry = eventEntry(e);
    auto name = [&](const char* pattern) { return QString::fromLatin1(pattern).arg(n); };
    auto hasInput = [e](const TOptionContext& ctx) { return eventInputItem(ctx.rom, e) > 0; };

    TOptionField input = optCustom("", TOptionControl::Combo, "tbsEvents", "Input", "Input");
    input.name = name("cbxEv%1Input");
    input.page = QString::fromLatin1(EventPages[e]);
    input.entry = entry;
    input.undoKind = ouEventInput;
    input.items = {QStringLiteral("None"),    QStringLiteral("Always"),  QStringLiteral("Input A"),
                   QStringLiteral("Input B"), QStringLiteral("Input C"), QStringLiteral("Input D"),
                   QStringLiteral("Input E")};
    input.read = [e](const TOptionContext& ctx) {
        const int at = eventBlock(ctx.rom, e);
        return TOptionValue{QString::number(eventInputItem(ctx.rom, e)), true, ctx.rom.byteAt(at)};
    };
    input.write = [e](TOptionContext& ctx, const QString& text) {
        setEventInput(ctx, e, parseComboIndex(text, int(EventInputItems.size())));
    };
    v.push_back(input);

    auto flagBox = [&](const char* pattern, const char* label, int bit) {
        TOptionField f = optCheck("", EventPages[e], "Input", label, entry, 0, TOptionConv::Bit, bit);
        f.name = name(pattern);
        const auto generic = f;
        f.read = [generic, hasInput](const TOptionContext& ctx) {
            TOptionField g = generic;
            g.read = nullptr;
            TOptionValue value = readOptionField(ctx, g);
            value.enabled = hasInput(ctx);
            return value;
        };
        v.push_back(f);
    };
    flagBox("chkEv%1CEL", "Not while the CEL is on", EventCelExclusion);
    flagBox("chkEv%1Standstill", "Not at standstill", EventStandstillExclusion);

    TOptionField invert = optCustom("", TOptionControl::Check, EventPages[e], "Input", "Invert input");
    invert.name = name("chkInvertEv%1Input");
    invert.entry = entry;
    invert.read = [e](const TOptionContext& ctx) {
        const int at = eventBlock(ctx.rom, e);
        const int mask = ctx.rom.byteAt(at + 4), bit = ctx.rom.byteAt(at + 5);
        return TOptionValue{checkText(mask != 0 && mask == bit), eventInputItem(ctx.rom, e) > 1, mask};
    };
    invert.write = [e](TOptionContext& ctx, const QString& text) {
        const int at = eventBlock(ctx.rom, e);
        const bool on = parseOptionNumber(text) != 0;
        ctx.rom.buffer().writeByte(at + 4, on ? ctx.rom.byteAt(at + 5) : 0);
    };
    v.push_back(invert);

    struct Cond {
        const char* pattern;
        const char* label;
        int offset;
        int width;
        TOptionConv conv;
    };
    static const Cond conds[] = {
        {"txtEv%1MinRPM", "Minimum engine speed", 6, 2, TOptionConv::Period},
        {"txtEv%1MaxRPM", "Maximum engine speed", 8, 2, TOptionConv::Period},
        {"txtEv%1MinMAP", "Minimum load", 10, 1, TOptionConv::Load},
        {"txtEv%1MaxMAP", "Maximum load", 11, 1, TOptionConv::Load},
        {"txtEv%1MinVSS", "Minimum speed", 12, 1, TOptionConv::Speed},
        {"txtEv%1MaxVSS", "Maximum speed", 13, 1, TOptionConv::Speed},
        {"txtEv%1MinTPS", "Minimum throttle", 14, 1, TOptionConv::Throttle205},
        {"txtEv%1MaxTPS", "Maximum throttle", 15, 1, TOptionConv::Throttle205},
        {"txtEv%1MinIAT", "Minimum intake temperature", 16, 1, TOptionConv::Temperature},
        {"txtEv%1MaxIAT", "Maximum intake temperature", 17, 1, TOptionConv::Temperature},
        {"txtEv%1MinECT", "Minimum coolant temperature", 18, 1, TOptionConv::Temperature},
        {"txtEv%1MaxECT", "Maximum coolant temperature", 19, 1, TOptionConv::Temperature},
    };
    for (const Cond& c : conds) {
        TOptionField f = optText("", EventPages[e], "Conditions", c.label, entry, c.offset, c.width, c.conv);
        f.name = name(c.pattern);
        TOptionField generic = f;
        f.read = [generic, hasInput](const TOptionContext& ctx) {
            TOptionField g = generic;
            g.read = nullptr;
            TOptionValue value = readOptionField(ctx, g);
            value.enabled = hasInput(ctx);
            return value;
        };
        v.push_back(f);
    }

    TOptionField out = optCustom("", TOptionControl::Combo, EventPages[e], "Output", "Output");
    out.name = name("cbxEv%1Output");
    out.entry = entry;
    out.undoKind = ouEventOutput;
    out.items << QStringLiteral("None");
    for (int i = 1; i < eventItemCount(e); ++i)
        out.items << QStringLiteral("Output %1 (0x%2)").arg(i).arg(eventItemBit(e, i), 2, 16, QLatin1Char('0'));
    out.read = [e](const TOptionContext& ctx) {
        const int item = eventOutputItem(ctx.rom, e);
        return TOptionValue{QString::number(eventItemOfBit(e, EventOutputItems[size_t(item)].bit)),
                            eventInputItem(ctx.rom, e) > 0, EventOutputItems[size_t(item)].bit};
    };
    out.write = [e](TOptionContext& ctx, const QString& text) {
        setEventOutput(ctx, e, parseComboIndex(text, eventItemCount(e)));
    };
    v.push_back(out);
}

} // namespace

namespace {

// The clutch switch and the target-boost set switch are inputs like an
// event's: a selector word at one entry and a bits word at the next (input
// bit in the high byte, invert mask in the low byte, as at an event block's
// offset 4). Their items are the event inputs without "Always".
struct TInputSwitch {
    const char* input;  // combo box
    const char* invert; // check box
    const char* page;
    const char* group;
    const char* label;
    TRomEntry selector, bits;
    quint8 undoKind;
};

int switchInputItem(const TRom& rom, const TInputSwitch& s)
{
    const int selector = rom.wordAt(rom.address(s.selector)), bit = rom.wordAt(rom.address(s.bits)) >> 8;
    if (selector == 0 && bit == 0)
        return 0;
    for (size_t i = 2; i < EventInputItems.size(); ++i)
        if (EventInputItems[i].selector == selector && (EventInputItems[i].bits >> 8) == bit)
            return int(i) - 1;
    return -1;
}

void appendInputSwitch(std::vector<TOptionField>& v, const TInputSwitch& s)
{
    TOptionField input = optCustom(s.input, TOptionControl::Combo, s.page, s.group, s.label);
    input.entry = s.selector;
    input.undoKind = s.undoKind;
    input.items = {QStringLiteral("None"),    QStringLiteral("Input A"), QStringLiteral("Input B"),
                   QStringLiteral("Input C"), QStringLiteral("Input D"), QStringLiteral("Input E")};
    input.present = [s](const TOptionContext& ctx) {
        return ctx.rom.address(s.selector) != 0 && ctx.rom.address(s.bits) != 0;
    };
    input.read = [s](const TOptionContext& ctx) {
        return TOptionValue{QString::number(switchInputItem(ctx.rom, s)), true,
                            ctx.rom.wordAt(ctx.rom.address(s.selector))};
    };
    input.write = [s](TOptionContext& ctx, const QString& text) {
        const int item = parseComboIndex(text, 6);
        const TEventInputItem in = item == 0 ? EventInputItems[0] : EventInputItems[size_t(item) + 1];
        TBinEdit& b = ctx.rom.buffer();
        TUndoGroupGuard undo(b, s.undoKind);
        b.writeWord(ctx.rom.address(s.selector), in.selector);
        b.writeWord(ctx.rom.address(s.bits), quint16(in.bits & 0xFF00));
    };
    v.push_back(input);
    TOptionField invert = optCustom(s.invert, TOptionControl::Check, s.page, s.group, "Invert input");
    invert.entry = s.bits;
    invert.present = input.present;
    invert.read = [s](const TOptionContext& ctx) {
        const int w = ctx.rom.wordAt(ctx.rom.address(s.bits));
        return TOptionValue{checkText((w & 0xFF) != 0), switchInputItem(ctx.rom, s) > 0, w};
    };
    invert.write = [s](TOptionContext& ctx, const QString& text) {
        const int at = ctx.rom.address(s.bits);
        const int bit = ctx.rom.wordAt(at) >> 8;
        ctx.rom.buffer().writeWord(at, quint16((bit << 8) | (parseOptionNumber(text) != 0 ? bit : 0)));
    };
    v.push_back(invert);
}

} // namespace

void appendOutputFields(std::vector<TOptionField>& v)
{
    appendInputSwitch(v, {"cbxClutchInput", "chkInvertClutch", "tbsRevs", "Clutch", "Clutch input", aeClutchInput,
                          aeClutchInvert, ouInjectorClutchPulse});
    v.push_back(outputCombo("cbxPWMOutput", Boost, "Boost control", TOutputUser::Boost, BoostBits,
                            int(std::size(BoostBits)), aeBoostOutput, ouBoostOutput));
    v.push_back(optCheck("chkInvertPWMOutput", Boost, "Boost control", "Invert output", aeBoostOutputInvert, 0,
                         TOptionConv::Bit, InvertBit));
    // The switch chooses between the two target-boost sets.
    appendInputSwitch(v, {"cbxTargetBoostSwitch", "chkInvertTargetBoostSwitch", Boost, "Target boost switch",
                          "Second set while", aeTargetBoostSwitch, aeTargetBoostSwitchBits, ouBoostSwitchAndSensor});
    v.push_back(outputCombo("cbxVTECPlus", Vtec, "VTEC-plus", TOutputUser::VtecPlus, VtecPlusBits,
                            int(std::size(VtecPlusBits)), aeVtecPlusOutput, ouVtecPlusOutput));
    v.push_back(outputSwitch(
        "chkEnableVTEC", Vtec, "VTEC", "Enable VTEC", TOutputUser::Vtec, VtecSolenoidBit,
        [](const TRom& r) { return r.vtecEnabled(); }, [](TRom& r, bool on) { r.setVtecEnabled(on); }, aeVtecEnable));
    v.push_back(outputSwitch(
        "chkEnableIAB", Misc, "IAB", "Enable IAB", TOutputUser::Iab, IabOutputBit,
        [](const TRom& r) { return (r.byteAt(r.address(aeIabInverted)) & IabEnableBit) != 0; },
        [](TRom& r, bool on) {
            const int at = r.address(aeIabInverted);
            const int b = r.byteAt(at);
            r.buffer().writeByte(at, quint8(on ? (b | IabEnableBit) : (b & ~IabEnableBit)));
        },
        aeIabInverted));
    for (int e = 0; e < EventCount; ++e)
        appendEvent(v, e);
}
