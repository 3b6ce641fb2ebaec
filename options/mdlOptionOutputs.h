#pragma once

// The ECU's spare outputs shared by the boost solenoid, VTEC, the IAB valve,
// VTEC-plus and the three events, and the events' input, condition and output
// blocks. Each output is one bit of the in-use mask; a choice whose bit
// another user holds is refused with the output conflict notice.

#include "options/mdlOptionFields.h"

#include <array>

enum class TOutputUser : quint8 { Boost, Vtec, Iab, VtecPlus, Event1, Event2, Event3 };

// Bits of the outputs the fixed users drive. The in-use mask is the ECU
// program's code-switch word, whose bit 0x0001 is the VTEC solenoid's.
inline constexpr int VtecSolenoidBit = 0x01;
inline constexpr int IabOutputBit = 0x100;

inline constexpr int EventCount = 3;
inline constexpr int EventBlockSize = 24;
inline constexpr int EventConditionsAt = 6;
inline constexpr std::array<quint8, 18> EventDefaultConditions = {0xA6, 0x0E, 0xAA, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00,
                                                                  0xFF, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00};
// Flag bits of an event block's first byte.
inline constexpr int EventInputChosen = 0x89;
inline constexpr int EventHasInput = 0x01;
inline constexpr int EventCelExclusion = 0x08;
inline constexpr int EventStandstillExclusion = 0x80;

struct TEventInputItem {
    quint8 flags;
    quint16 selector; // word at offset 2
    quint16 bits;     // word at offset 4: invert mask (low byte) and input bit (high byte)
};
extern const std::array<TEventInputItem, 7> EventInputItems;

struct TEventOutputItem {
    int bit;
    quint16 port;
    quint16 portBit;
};
extern const std::array<TEventOutputItem, 9> EventOutputItems;

[[nodiscard]] TRomEntry eventEntry(int event); // 0..2
// The image offset of an event's block, 0 when the ROM has none.
[[nodiscard]] int eventBlock(const TRom& rom, int event);
[[nodiscard]] int eventInputItem(const TRom& rom, int event);  // -1 when the stored bytes match no item
[[nodiscard]] int eventOutputItem(const TRom& rom, int event); // 0 none
void setEventInput(TOptionContext& ctx, int event, int item);  // one undo group of kind 26
void setEventOutput(TOptionContext& ctx, int event, int item); // conflict-checked, kind 27

// The output bit a user holds now (0 for none) and the mask of every other user.
[[nodiscard]] int outputBitOf(const TRom& rom, TOutputUser user);
[[nodiscard]] int outputsInUseExcept(const TRom& rom, TOutputUser user);
// The bit of a combo item of the boost, VTEC-plus and event-3 lists; an index
// outside the list raises "Unexpected selection index".
[[nodiscard]] int boostOutputBit(int item);
[[nodiscard]] int vtecPlusOutputBit(int item);
[[nodiscard]] int comboItemOfBit(const int* bits, int count, int bit);

// Refuses a bit that another user holds: with a message service the conflict
// notice is shown and false returned, without one EVexorError is thrown.
bool claimOutput(TOptionContext& ctx, TOutputUser user, int bit);
// Stores the mask of the outputs in use after a change: as the code-switch
// word (which switches the program code off each output another function
// took) and as the word at entry 178, where it survives a reload.
void storeOutputsInUse(TRom& rom);

// The option-tree fields of the outputs and the three events.
void appendOutputFields(std::vector<TOptionField>& fields);
