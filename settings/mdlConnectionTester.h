#pragma once

// How the settings window's Test / Detect Connection buttons reach the links.
// The datalog link and the emulator link implement it; until they are wired in,
// TNoConnectionTester reports every test as failed.
//
// Each call takes the settings with the page's port choice already applied; the
// implementation uses them as the link's settings, shortens the link's poll
// interval and retry limit for the test (50 ms, 1 try), restores them
// afterwards and leaves the port closed. It reports the outcome only through
// `done` (exactly once, possibly before returning); the window shows the
// message, so the implementation must not. The event loop keeps running while
// a test is under way; the window stays disabled until `done`.

#include "settings/mdlSettings.h"

#include <functional>
#include <optional>

class IConnectionTester {
public:
    using Done = std::function<void(bool connected)>;
    using Found = std::function<void(std::optional<int> portIndex)>;

    virtual ~IConnectionTester() = default;
    // One connection test of the datalog link (port in settings.tunerCom).
    virtual void testDatalog(const TSettings& settings, Done done) = 0;
    // One connection test of the emulator link (hardware index 0).
    virtual void testEmulator(const TSettings& settings, Done done) = 0;
    // Other emulator hardware: tries each existing port of the port list at
    // 920000 baud and stops at the first that answers; reports its index.
    virtual void detectEmulator(const TSettings& settings, Found found) = 0;
};

class TNoConnectionTester : public IConnectionTester {
public:
    void testDatalog(const TSettings&, Done done) override { done(false); }
    void testEmulator(const TSettings&, Done done) override { done(false); }
    void detectEmulator(const TSettings&, Found found) override { found(std::nullopt); }
};
