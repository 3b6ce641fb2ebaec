#pragma once

// The settings store: the one TSettings value of the program, the files it comes
// from (vexor.ini, plus the injector and wideband definition files of the same
// folder) and the consumers that take their values from it.
//
// Other subsystems never get settings pushed into their classes. Each one that
// needs settings registers a consumer: an apply function that reads what it
// needs from the store whenever settings are loaded or confirmed, and optionally
// a collect function that writes back values it changes at run time (window
// size, recent files, display toggles) before the store is saved. Consumers run
// in registration order; a consumer tied to a QObject is dropped when that
// object is destroyed.

#include "settings/mdlInjectors.h"
#include "settings/mdlSettings.h"
#include "settings/mdlWideband.h"

#include <QPointer>
#include <functional>
#include <vector>

class QObject;

class TSettingsStore {
public:
    using Apply = std::function<void(const TSettings&)>;
    using Collect = std::function<void(TSettings&)>;

    // `folder` is the settings folder (mdlFiles.h settingsFolder() in the program).
    explicit TSettingsStore(const QString& folder);

    [[nodiscard]] const QString& folder() const { return m_folder; }
    [[nodiscard]] QString iniPath() const;       // folder/vexor.ini
    [[nodiscard]] QString injectorsPath() const; // folder/injectors.ini
    [[nodiscard]] QString widebandPath() const;  // folder/wideband.ini
    // The wideband.ini shipped beside the program, read when the settings
    // folder holds none (empty: none shipped). The program sets it to
    // shippedWidebandPath(); tests leave it empty or point it at their own.
    void setShippedWidebandPath(const QString& path) { m_shippedWideband = path; }
    [[nodiscard]] static QString shippedWidebandPath(); // program folder/wideband.ini

    // Creates the settings folder with its missing parents. On failure returns
    // false with a message for the user in *error; the program goes on with
    // what load() gives (defaults), and later saves fail with their own error.
    bool prepareFolder(QString* error = nullptr);
    // Reads vexor.ini (missing: all defaults), wideband.ini and injectors.ini.
    // Never leaves partial values: a file that exists but cannot be read gives
    // defaults and false with the reason in *error. Does not apply.
    bool load(QString* error = nullptr);
    // Collects from the consumers, then writes every key into vexor.ini
    // atomically (other lines of the file are kept). On failure the old file is
    // untouched and *error says why.
    bool save(QString* error = nullptr);

    [[nodiscard]] const TSettings& values() const { return m_values; }
    [[nodiscard]] TSettings& values() { return m_values; }
    void setValues(const TSettings& values) { m_values = values; }

    [[nodiscard]] const TInjectorDefinitions& injectors() const { return m_injectors; }
    [[nodiscard]] const TWidebandDefinitions& widebands() const { return m_widebands; }

    // Registers a consumer. With an owner, the consumer lives as long as the
    // owner; without one, until removeConsumer(). Returns an id for removal.
    int addConsumer(const Apply& apply, const Collect& collect = {}, QObject* owner = nullptr);
    void removeConsumer(int id);
    // Hands the current values to every consumer.
    void apply();
    // Lets every consumer write its live values back.
    void collect();

private:
    struct Consumer {
        int id;
        Apply apply;
        Collect collect;
        bool owned;
        QPointer<QObject> owner;
    };
    void dropDeadConsumers();

    QString m_folder;
    QString m_shippedWideband;
    TSettings m_values;
    TInjectorDefinitions m_injectors;
    TWidebandDefinitions m_widebands;
    std::vector<Consumer> m_consumers;
    int m_nextId = 1;
};
