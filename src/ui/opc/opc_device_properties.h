#pragma once
// "OPC Device Properties": name, type, description and OPC server of an
// OPC device. The machine's servers are listed by OPC UA discovery and a
// server can be tried before it is chosen; both run off the UI thread, so
// a machine that does not answer never freezes the window.

#include <QDialog>

#include <functional>
#include <thread>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTreeWidget;

namespace telvo {

class TUserInterface;
class TslOPCDevice;

class TfrmOPCdeviceProperties : public QDialog {
    Q_OBJECT
public:
    TfrmOPCdeviceProperties(TslOPCDevice& device, TUserInterface& ui, QWidget* parent = nullptr);
    ~TfrmOPCdeviceProperties() override;

    // "List Machine's OPC servers": fills the list when the listing ends
    // (ServersListed is emitted then).
    void btnListServersClick();
    // "Test Connection": "Connected!" or the error, once the attempt ends
    // (ConnectionTested is emitted then).
    void btnTestConnectionClick();
    void btnOKClick();

    bool Busy() const { return worker_.joinable() && busy_; }

    QLineEdit* edName;
    QComboBox* cbType;
    QLineEdit* edDescription;
    QLabel* lblServerName;
    QTabWidget* pcPages;
    QLineEdit* edMachine;
    QPushButton* btnListServers;
    QTreeWidget* lvServers;
    QPushButton* btnTestConnection;
    QTableWidget* grIPPs;
    QLineEdit* edVendorName;
    QLineEdit* edVendorDescription;
    QTreeWidget* lvDownloadedFBs;
    QPushButton* btnDeleteFB;
    QPushButton* btnGoToInternalDiagram;
    QPushButton* btnOK;
    QPushButton* btnCancel;

signals:
    void ServersListed();
    void ConnectionTested();
    // "Go To Internal Device Diagram...": the device diagram window is the
    // system layer editor's to open; the IPP grid is refilled afterwards
    // through FillIPPGrid.
    void GoToInternalDiagramRequested(TslOPCDevice* device);

public slots:
    void FillIPPGrid();

private:
    void fillDownloadedFBs();
    void selectStoredServer(bool complain);
    void run(std::function<void()> work);

    TslOPCDevice& device_;
    TUserInterface& ui_;
    std::thread worker_;
    bool busy_ = false;
    bool selectOnListing_ = false;
};

} // namespace telvo
