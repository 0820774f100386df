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

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QPlainTextEdit;
class QPushButton;

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
    void setBusy(bool busy);
    std::optional<std::filesystem::path> askSaveFile(const std::filesystem::path& folder, const std::string& name);

    TWorkbench& workbench_;
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
};

// Opens a new deployment window under the main window (the Distribute
// application command).
void OpenDeploymentWindow(TMainForm& form);

} // namespace telvo
