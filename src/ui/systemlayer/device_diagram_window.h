#pragma once
// A device's process-interface diagram ("Process Interface FB Diagram"): an
// FB diagram editor, embedded, on a diagram of its own marked as a device
// diagram and holding the device's IPPs, saved as the device's .dfb file.
//
// The OPC parts (adding OPC FBs from a server's items) are not here: the OPC
// work fills the panel OpcPanel() through OpcPanelFactory; the panel is
// shown only for OPC devices.

#include <QDialog>
#include <QPointer>

#include <functional>
#include <set>
#include <string>

class QLabel;
class QToolButton;

namespace telvo {

class TFB_Diagram;
class TMainForm;
class TWorkbench;
class TfrmDesignFBDiagram;
class TfrmSystemLayer;
class TslDevice;

class TfrmDeviceFBIPPDiagram : public QDialog {
    Q_OBJECT
public:
    // `layerWindow` (may be none) takes the undo entries of new device IPPs.
    TfrmDeviceFBIPPDiagram(TWorkbench& workbench, TMainForm* main, TslDevice& device, TfrmSystemLayer* layerWindow,
                           QWidget* parent = nullptr);
    ~TfrmDeviceFBIPPDiagram() override;

    TslDevice* Device() const;
    TFB_Diagram* Diagram() const { return diagram_; }
    TfrmDesignFBDiagram* Editor() const { return editor_; }
    QLabel* Header() const { return header_; }
    QWidget* OpcPanel() const { return opcPanel_; }
    TWorkbench& Workbench() const { return workbench_; }

    // "Save Device Internal FB Network...": false when cancelled or failed.
    bool SaveClick();
    // "Insert Device IPP".
    void InsertDeviceIppClick();
    // The save dialog (tests answer it): the chosen file, or empty.
    std::function<QString()> AskSaveFileName;

    // Fills the OPC panel of an OPC device's window (the OPC work installs it).
    static std::function<void(TfrmDeviceFBIPPDiagram&)> OpcPanelFactory;

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool saveTo(const std::string& file);
    int deviceKey_ = 0;
    TWorkbench& workbench_;
    QPointer<TMainForm> main_;
    QPointer<TfrmSystemLayer> layerWindow_;
    TslDevice* device_;
    TFB_Diagram* diagram_ = nullptr;
    TfrmDesignFBDiagram* editor_ = nullptr;
    QLabel* header_ = nullptr;
    QWidget* opcPanel_ = nullptr;
    // The instance records that existed before the window opened: those the
    // window made go with it.
    std::set<std::string> recordsBefore_;
    bool deviceGone_ = false;
};

// Opens the window modally, maximised.
void RunDeviceDiagramWindow(TWorkbench& workbench, TMainForm* main, TslDevice& device, QWidget* parent);

} // namespace telvo
