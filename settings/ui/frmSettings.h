#pragma once

// The settings window. It owns the file side of the settings: at start-up it
// prepares the settings folder, reads vexor.ini and the definition files and
// hands the values to the store's consumers (loadSettings); OK applies the
// pages, hands the values on and writes the file; Cancel changes nothing; at
// program end every key is written again from the live objects (saveSettings).
// Its controls are filled from the store whenever it is shown.

#include "settings/mdlConnectionTester.h"
#include "settings/mdlPortLists.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

class IMessageService;
class QPushButton;
class QTabWidget;
class TSettingsPage;
class TSettingsStore;
class TGeneralPage;
class TOptionDeltasPage;
class TEmulatorPage;
class TDatalogPage;
class TTuningPage;
class TWidebandPage;
class TDynoPage;
class TDataGraphsPage;

class TSettingsForm : public QDialog {
    Q_OBJECT
public:
    // `ports` is the port list shared with the links (the window keeps its own
    // when none is given).
    TSettingsForm(TSettingsStore& store, IMessageService& messages, TPortList* ports = nullptr,
                  QWidget* parent = nullptr);
    ~TSettingsForm() override;

    // The links' test entry; without one every test reports no connection.
    void setConnectionTester(IConnectionTester* tester);
    // Captions of the wideband conversions registered by scripts.
    void setScriptConversions(std::function<QStringList()> captions);

    // Start-up ("Loading Settings..."): creates the settings folder, reads the
    // files and applies the values. Problems are reported to the user and the
    // program goes on with defaults. False when something went wrong.
    bool loadSettings();
    // Program end: collects the live values and writes every key. A failure is
    // reported to the user; the old file stays as it was.
    bool saveSettings();

    // Controls from the store's current values.
    void refill();
    // The OK, Cancel and Defaults buttons.
    void btnOKClick();
    void btnCancelClick();
    void btnDefaultsClick();
    // The Test / Detect Connection buttons of the port pages.
    void btnTestRTPClick();
    void btnTestTunerClick();

    [[nodiscard]] QTabWidget* pageControl() const { return pcSettings; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void beginTest();
    void endTest();
    void currentPageChanged();
    bool saveOrReport();

    TSettingsStore& m_store;
    IMessageService& m_messages;
    std::unique_ptr<TPortList> m_ownPorts;
    TPortList& m_ports;
    TNoConnectionTester m_noTester;
    IConnectionTester* m_tester;

    QTabWidget* pcSettings;
    QPushButton* btnDefaults;
    TGeneralPage* m_general;
    TOptionDeltasPage* m_options;
    TEmulatorPage* m_emulator;
    TDatalogPage* m_datalog;
    TTuningPage* m_tuning;
    TWidebandPage* m_wideband;
    TDynoPage* m_dyno;
    TDataGraphsPage* m_graphs;
};
