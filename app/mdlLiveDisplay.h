#pragma once

// The datalog side's live display: the live view dock, the data graphs in the
// window's work area, the tracked cell on the table grid and the smart-track
// switch between the cams' tables. It converts samples through the display
// units, lambda lookup and tuning conditions it is handed, and never reads
// the window's menus or widgets.
//
// Painting is always scheduled: the sample pipeline asks for a refresh, and
// the refresh runs from a zero-interval single-shot timer on the next pass of
// the event loop, never from inside the receive handler.

#include "datalog/mdlLiveCell.h"
#include "datalog/mdlSampleDisplay.h"
#include "settings/mdlSettings.h"

#include <QObject>

class IMessageService;
class QDockWidget;
class QTimer;
class TCuddleCore;
class TDataGraphsPanel;
class TDatalogSession;
class TLiveViewPanel;
class TMainForm;
class TTunerForm;

class TLiveDisplay : public QObject {
    Q_OBJECT
public:
    TLiveDisplay(TMainForm& form, TTunerForm& tuner, TCuddleCore& store, TDatalogSession& session,
                 IMessageService* messages);
    ~TLiveDisplay() override;

    // What the display shows values in and flags.
    void setUnits(const TDisplayUnits& units);
    void setLambda(const TLambdaLookup& lambda);
    void setTuning(const TTuningConditions& tuning);
    void setGraphChannels(int graph1, int graph2);
    void setTrackMode(quint8 mode);
    void setSmartTrack(bool on) { m_smartTrack = on; }
    void setMinimal(bool on);

    [[nodiscard]] quint8 trackMode() const { return m_trackMode; }
    [[nodiscard]] bool smartTrack() const { return m_smartTrack; }
    [[nodiscard]] bool minimal() const { return m_minimal; }
    [[nodiscard]] const TLambdaLookup& lambda() const { return m_sample.lambda; }
    // Units, lambda lookup and the open ROM's sensor context, as the CSV
    // export and the graphs take them.
    [[nodiscard]] TSampleDisplay sampleDisplay() const;
    // The cell of the sample on screen.
    [[nodiscard]] const TLiveCell& liveCell() const { return m_cell; }
    [[nodiscard]] int refreshCount() const { return m_refreshCount; }

    [[nodiscard]] QDockWidget* dock() const { return m_dock; }
    [[nodiscard]] TLiveViewPanel* liveView() const { return m_liveView; }
    [[nodiscard]] TDataGraphsPanel* graphs() const { return m_graphs; }
    [[nodiscard]] bool liveViewVisible() const;
    [[nodiscard]] bool graphsShown() const;

    void showLiveView();
    void toggleLiveView();
    // Shows the graphs in the work area, or the tables again when they are shown.
    void toggleGraphs();
    void setCursorTime(double seconds);
    // A sample the session moved to: its cell, and the cam's table under smart tracking.
    void locateSample(const DatalogSample& sample);

    void scheduleRefresh();
    void scheduleGraphRefresh();
    // Runs the scheduled refresh now (tests; the program waits for the timer).
    void refreshNow();

Q_SIGNALS:
    // The live view dock was shown or hidden.
    void visibilityChanged();

private:
    void refresh();
    void refreshGraphs();
    void smartTrackSwitch(bool highCam);
    void celDetails();

    TMainForm& m_form;
    TTunerForm& m_tuner;
    TCuddleCore& m_store;
    TDatalogSession& m_session;
    IMessageService* m_messages;

    TSampleDisplay m_sample; // units and lambda; the context follows the ROM
    TTuningConditions m_tuning;
    int m_graph1 = 0;
    int m_graph2 = 0;
    TLiveCell m_cell;
    bool m_smartTrack = true;
    quint8 m_trackMode = 0;
    bool m_minimal = false;
    int m_refreshCount = 0;

    QTimer* m_refreshTimer;
    QTimer* m_graphTimer;
    QDockWidget* m_dock;
    TLiveViewPanel* m_liveView;
    TDataGraphsPanel* m_graphs;
};
