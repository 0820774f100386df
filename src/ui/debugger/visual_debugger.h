#pragma once
// The visual debugger: the control panel of the simulation of one FB
// network diagram, docked in the FB diagram editor's left panel by
// "Execute". It owns the runtime environment of the simulation and is its
// host: log lines and schedule entries from the daemon and the runtime FB
// threads are handed to the user-interface thread in the order of the calls
// and shown in the log and the two schedule grids; transition and algorithm
// scripts run on the calling FB's thread through the host's script runner.
// A draw timer repaints the editor twice a second with a blink flag.
//
// The window never changes the model's structure: only the simulation state
// of the instances (values, pending and monitor flags, states), and the
// values the user types into the selection dialog.

#include "runtime/rt_environment.h"
#include "runtime/simulation_host.h"

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QSocketNotifier;
class QTimer;
class QToolButton;

namespace telvo {

class TFB_Diagram;
class TFB_Instance;
class TScheduleGrid;
class TUserInterface;
class TfrmDesignFBDiagram;
class TfrmVisualDebuggerSelectEvents;

class TfrmVisualDebugger : public QWidget, public TSimulationHost {
    Q_OBJECT
public:
    explicit TfrmVisualDebugger(TUserInterface& ui, QWidget* parent = nullptr);
    // Ends a simulation still running (every thread of it) first.
    ~TfrmVisualDebugger() override;

    // Set by the editor before the window is shown; not owned.
    TFB_Diagram* Diagram = nullptr;
    TfrmDesignFBDiagram* Editor = nullptr;

    // ---- The buttons ----
    void CreateRTFBSClick(); // Start
    void StepDaemonClick();  // Step
    void StopSimulationClick();
    void AssignValuesClick(); // Values
    // Run: steps on its own, a pause apart, until Stop, until nothing is
    // pending, or until a breakpoint is reached; pressed again, it pauses.
    void RunClick();
    void ShowDebugMessagesClick();

    // ---- Breakpoints: a runtime FB (by its name) entering a state ----
    void ToggleBreakpoint(const std::string& instance, const std::string& state);
    bool HasBreakpoint(const std::string& instance, const std::string& state) const;
    // The states a breakpoint can be set on for a drawn instance: "STATE"
    // for a basic instance, "INNER.STATE" for the FBs inside a composite.
    static std::vector<std::pair<std::string, std::string>> BreakableStates(const TFB_Instance& instance);
    // The breakpoint that ended the last Run ("" when none).
    std::string BreakpointHit() const { return breakHit_; }

    // ---- Export ----
    // The grids as CSV (cells separated by ";", quoted when needed), the log
    // as text; false (with a message) when the file cannot be written.
    bool ExportEventsTable(const std::string& path);
    bool ExportFBTable(const std::string& path);
    bool ExportLog(const std::string& path);
    // The file dialogs: the chosen file, empty when cancelled.
    std::function<QString(const QString& caption, const QString& filter)> AskSaveFileName;

    // ---- State ----
    // A simulation runs (the Stop button is enabled).
    bool Running() const;
    bool RunningContinuously() const;
    // The blink flag: toggled by every draw tick.
    bool Blink() const { return blink_; }
    // The simulation's model objects may be read: no simulation runs, or
    // every thread of it waits (for a step, or for an event).
    bool ModelAtRest() const;
    TtelvoRT_Environment& Environment() { return *environment_; }
    const TScheduleTable& EventsTable() const { return events_; }
    const TScheduleTable& FBTable() const { return fbs_; }
    const std::vector<std::string>& LogLines() const { return log_; }
    // Applies the host operations handed over so far (the event loop does
    // this on its own).
    void ApplyHostOperations();

    TfrmVisualDebuggerSelectEvents* SelectionDialog() const { return dialog_; }
    // How the selection dialog is shown: modally by default; tests answer it.
    std::function<void(TfrmVisualDebuggerSelectEvents&)> ExecSelectionDialog;

    QToolButton* StartButton() const { return btnStart_; }
    QToolButton* StepButton() const { return btnStep_; }
    QToolButton* StopButton() const { return btnStop_; }
    QToolButton* ValuesButton() const { return btnValues_; }
    QToolButton* RunButton() const { return btnRun_; }
    QCheckBox* ShowDebugMessagesBox() const { return ckbShowDebMessages_; }
    QPlainTextEdit* Log() const { return mDbgStatus_; }
    TScheduleGrid* EventsGrid() const { return grScheduleEvents_; }
    TScheduleGrid* FBGrid() const { return grScheduleFBs_; }
    QTimer* DrawTimer() const { return timerDraw_; }

    // ---- TSimulationHost, called from any thread ----
    void AddLogLine(const std::string& text) override;
    void ShowScheduleEntry(const std::string& fbName, const std::string& eventName, int32_t step) override;
    bool EvaluateTransitionScript(const std::string& script) override;
    void ExecuteAlgorithmScript(const std::string& script, const std::vector<TFBDataMember*>& outputs,
                                const std::vector<TFBInstance_InternalVar*>& variables) override;
    void TerminateScript() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct THostOperation {
        bool Schedule = false;
        std::string Text; // the log line, or the FB name
        std::string Event;
        int32_t Step = 0;
    };
    void post(THostOperation op);
    bool prepareRun();
    void setRunning(bool running);
    void drawTick();
    void runTick();
    void stopRun();
    void paintEditor();
    void addOwnLogLine(const std::string& text);
    void exportClick(int what);
    bool writeText(const std::string& path, const std::string& text);

    TUserInterface& ui_;
    TScriptObject scope_{"TSimulationHost"};
    TSimulationScripts scripts_{&scope_};
    TScheduleTable events_{"FB.Event(Algorithm)"};
    TScheduleTable fbs_{"FB Name"};
    std::vector<std::string> log_;

    std::mutex opsMutex_;
    std::vector<THostOperation> ops_;
    bool flushPosted_ = false;
    // Wakes the event loop when operations wait: a simulation thread only
    // writes to it and never touches a Qt object.
    int wakeFd_ = -1;
    QSocketNotifier* wakeNotifier_ = nullptr;

    mutable std::mutex breakMutex_;
    std::vector<std::pair<std::string, std::string>> breakpoints_;
    std::string pendingHit_;
    std::atomic<bool> hit_{false};
    std::string breakHit_;

    // Last: made after and ended before everything its threads call.
    std::unique_ptr<TtelvoRT_Environment> environment_;

    bool blink_ = false;
    bool drawDue_ = false;
    TfrmVisualDebuggerSelectEvents* dialog_ = nullptr;

    QToolButton* btnStart_ = nullptr;
    QToolButton* btnStep_ = nullptr;
    QToolButton* btnStop_ = nullptr;
    QToolButton* btnValues_ = nullptr;
    QToolButton* btnRun_ = nullptr;
    QToolButton* btnExport_ = nullptr;
    TScheduleGrid* grScheduleEvents_ = nullptr;
    TScheduleGrid* grScheduleFBs_ = nullptr;
    QCheckBox* ckbShowDebMessages_ = nullptr;
    QPlainTextEdit* mDbgStatus_ = nullptr;
    QTimer* timerDraw_ = nullptr;
    QTimer* timerRun_ = nullptr;
};

} // namespace telvo
