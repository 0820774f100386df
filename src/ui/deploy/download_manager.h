#pragma once
// The deployment window, "Download Application Manager": a view over the
// deployment manager. Start sends each IEC device its command set, DUNEX
// output shows every device's set in the script form, Make Configuration
// for KALO saves each OPC device's set to a file. The window never waits on
// a device: the connection is driven from the event loop.

#include "deploy/deployment.h"
#include "deploy/device_connection.h"
#include "systemlayer/system_layer.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace telvo {

class TMainForm;
class TWorkbench;

class TfrmDownloadApplicationManager : public QWidget, private TSystemLayerListener {
    Q_OBJECT
public:
    TfrmDownloadApplicationManager(TWorkbench& workbench, QWidget* parent = nullptr);
    ~TfrmDownloadApplicationManager() override;

    QPushButton* StartButton() const { return btnStart_; }
    QPushButton* DunexButton() const { return btnDunex_; }
    QPushButton* KaloButton() const { return btnKalo_; }
    QPlainTextEdit* Output() const { return memOutput_; }
    // Where Start deploys: 0 the devices' command sets, 1 IEC 61499
    // runtimes (FORTE).
    QComboBox* Target() const { return cbTarget_; }
    QCheckBox* ReplaceBox() const { return chkReplace_; }
    // With the runtime target: resource names (DEVICE=NAME ..., the
    // device's own name otherwise) and the address of the first
    // publish/subscribe pair.
    QLineEdit* ResourcesEdit() const { return edResources_; }
    QLineEdit* IdBaseEdit() const { return edIdBase_; }
    // The watched ports: device, INSTANCE.PORT, last value read.
    QTableWidget* WatchTable() const { return tblWatch_; }
    QLineEdit* WatchEdit() const { return edWatch_; }
    QPushButton* WatchButton() const { return btnWatch_; }
    // Adds "DEVICE INSTANCE.PORT" to the watched ports; false when the text
    // names no IEC device and port.
    bool AddWatch(const QString& text);
    // The text area's lines.
    QStringList Lines() const;
    // A Start run is under way.
    bool Running() const;

    // The connection the window drives: its time-outs may be set.
    TPosixDeviceConnection& Connection() { return connection_; }

    void btnStartClick();
    void btnDunexClick();
    void btnKaloClick();

private:
    void LayerDestroying(TSystemLayerManager& layer) override;
    TDeploymentManager& deployment();
    void poll();
    void runFinished();
    void startForte();
    // The resource names set in the window; a text that is not DEVICE=NAME
    // entries gives none.
    std::map<std::string, std::string> resourceNames() const;
    void readWatched();
    void setBusy(bool busy);
    std::optional<std::filesystem::path> askSaveFile(const std::filesystem::path& folder, const std::string& name);
    // A run's error: written into the text area after the lines of the run
    // it ended, and shown in a box with the warning icon.
    void warn(const std::string& text);

    TWorkbench& workbench_;
    // The deployment's user channel: the workbench's, with its messages
    // (all of them errors) going through warn.
    std::unique_ptr<TUserInterface> deployUi_;
    TPosixDeviceConnection connection_;
    std::unique_ptr<TDeploymentManager> deployment_;
    // The save dialog opens in the KALO folder the first time, then where
    // the last save went; it survives the deployment manager.
    std::filesystem::path saveFolder_;
    QTimer pollTimer_;
    QPushButton* btnStart_ = nullptr;
    QPushButton* btnDunex_ = nullptr;
    QPushButton* btnKalo_ = nullptr;
    QPlainTextEdit* memOutput_ = nullptr;
    QComboBox* cbTarget_ = nullptr;
    QCheckBox* chkReplace_ = nullptr;
    QLineEdit* edResources_ = nullptr;
    QLineEdit* edIdBase_ = nullptr;
    QTableWidget* tblWatch_ = nullptr;
    QLineEdit* edWatch_ = nullptr;
    QPushButton* btnWatch_ = nullptr;
    QTimer watchTimer_;
    // Runtime work runs on its own thread, one job at a time each: the
    // window never waits on a runtime.
    std::thread forteThread_;
    std::atomic<bool> forteRunning_{false};
    std::thread readThread_;
    std::atomic<bool> reading_{false};
};

// Opens a new deployment window under the main window (the Distribute
// application command).
void OpenDeploymentWindow(TMainForm& form);

} // namespace telvo
