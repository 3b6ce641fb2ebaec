#pragma once

// The auto-tune commands of the main window: the accumulator fed by the
// datalog sample pipeline (live and replayed), the grid's auto-tune views,
// the Auto-Tune menu and its tool bar buttons, the adjustment dialog and the
// live automatic adjustment. The work is done by the core classes
// (clsVexorTuner.h, mdlAutoTune.h, mdlTunerAdjust.h); this unit decides what
// to ask and tell.

#include "datalog/clsVexorTuner.h"
#include "datalog/mdlTunerAdjust.h"
#include "datalog/mdlWidebandConv.h"
#include "settings/mdlServices.h"
#include "settings/mdlSettings.h"

#include <QObject>
#include <functional>
#include <optional>

class QAction;
class QMenu;
class QToolBar;
class TMainDatalog;
class TMainForm;
class TSettingsStore;

struct TTunerAdjustChoice {
    TTunerAdjustOption option = TTunerAdjustOption::Automatic;
    double amount = 0;
};

class TAutoTuneCommands : public QObject {
    Q_OBJECT
public:
    TAutoTuneCommands(TMainForm& form, TMainDatalog& datalog, const TServices& services, TSettingsStore* store);
    ~TAutoTuneCommands() override;

    [[nodiscard]] TVEXORTuner& tuner() { return m_tuner; }
    [[nodiscard]] TJsWidebandConvManager& widebandConversions() { return m_conversions; }
    // The script host plugs in here; until then script conversions give 0.
    void setWidebandEvaluator(IWidebandEvaluator* evaluator);
    [[nodiscard]] QMenu* menu() const { return m_menu; }
    [[nodiscard]] QToolBar* toolBar() const { return m_toolBar; }
    [[nodiscard]] bool liveAutoAdjust() const { return m_liveAutoAdjust; }
    // "Samples n, used n; not used: ..." as the tool bar's tool tip shows it.
    [[nodiscard]] QString rejectionSummary() const;

    // Asks for the dialog's choice (the window by default; tests answer).
    std::function<std::optional<TTunerAdjustChoice>(const TTunerAdjustSummary&)> askAdjustment;

    void updateCommandStates();

    void TunerAutoAdjustMapExecute();
    void TunerAdjustRowExecute();
    void TunerAdjustColumnExecute();
    void TunerAdjustSelectionExecute();
    void TunerAdjustExecute(); // the adjustment dialog
    void TunerFilterDataExecute();
    void TunerSmartFillExecute();
    void TunerClearExecute();
    void TunerToggleTunableExecute();
    void TunerLiveAutoAdjustExecute() { m_liveAutoAdjust = !m_liveAutoAdjust; }

    // One sample from the session's pipeline.
    void trackSample(const DatalogSample& sample, bool replay);

private:
    void createActions();
    void applySettings(const TSettings& s);
    void rebuildLambda();
    void onRomLoaded();
    void report(const TAutoTuneResult& result);
    void liveAdjust();
    [[nodiscard]] bool lightLoad(const DatalogSample& sample) const;
    QAction* addCommand(const char* name, const QString& text, std::function<void()> execute, bool checkable = false);

    TMainForm& m_form;
    TMainDatalog& m_datalog;
    TServices m_services;
    TSettingsStore* m_store;
    TVEXORTuner m_tuner;
    TJsWidebandConvManager m_conversions;
    TNoScriptEvaluator m_noScripts;
    IWidebandEvaluator* m_evaluator = &m_noScripts;
    TSettings m_settings;
    std::function<void()> m_previousRomLoaded;
    QMenu* m_menu = nullptr;
    QToolBar* m_toolBar = nullptr;
    bool m_liveAutoAdjust = false;
    quint32 m_lastLiveAdjust = 0;
    bool m_liveSaveFailureTold = false;
};
