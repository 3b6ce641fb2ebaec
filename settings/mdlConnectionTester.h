#pragma once

// How the settings window's Test / Detect Connection buttons reach the links.
// The datalog link and the emulator link implement it; until they are wired in,
// TNoConnectionTester reports every test as failed.
//
// Each call takes the settings with the page's port choice already applied; the
// implementation uses them as the link's settings, shortens the link's poll
// interval and retry limit for the test (50 ms, 1 try) and restores them
// afterwards, and leaves the port closed. The window shows the result.

#include "settings/mdlSettings.h"

#include <optional>

class IConnectionTester {
public:
    virtual ~IConnectionTester() = default;
    // One connection test of the datalog link (port in settings.tunerCom).
    virtual bool testDatalog(const TSettings& settings) = 0;
    // One connection test of the emulator link (hardware index 0).
    virtual bool testEmulator(const TSettings& settings) = 0;
    // Emulator hardware other than index 0: tries each existing port of the port
    // list at 920000 baud, stopping at the first that answers; its index.
    virtual std::optional<int> detectEmulator(const TSettings& settings) = 0;
};

class TNoConnectionTester : public IConnectionTester {
public:
    bool testDatalog(const TSettings&) override { return false; }
    bool testEmulator(const TSettings&) override { return false; }
    std::optional<int> detectEmulator(const TSettings&) override { return std::nullopt; }
};
