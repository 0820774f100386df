#pragma once
// "OPC Device Properties": name, type, description and OPC server of an
// OPC device. The machine's servers are listed by OPC UA discovery and a
// server can be tried before it is chosen; both run off the UI thread, so
// a machine that does not answer never freezes the window.

#include <QDialog>

#include "opc/opc_access.h"

#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTreeWidget;

namespace telvo {

class TUserInterface;
class TslIPPRef;
class TslOPCDevice;

// Whether a server of that OPC UA application type is listed for the
// window's type entry.
bool ListedForType(int applicationType, const QString& typeEntry);
// An IPP as a device's internal diagram file names it: owner "." name.
std::string IppKey(const TslIPPRef& ipp);
// The type name when it is one of the OPC FB types, else "".
std::string OpcFBTypeName(const std::string& type);
// The OPC item each IPP of a process-interface diagram file reaches: the
// OPCItem constant of the OPC FB the IPP is connected to ("" when the FB
// has none yet), by IppKey. A missing or unreadable file has none.
std::map<std::string, std::string> ReadIppOpcItems(const std::string& file);
// Sets those OPCItem constants in the file (atomically); IPPs without an
// OPC FB are left out. False when the file cannot be read or written.
bool WriteIppOpcItems(const std::string& file, const std::map<std::string, std::string>& items);

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
    // "Go To Internal Device Diagram...": the diagram opens for the server
    // chosen in the window; the IPP grid is refilled afterwards.
    void btnGoToInternalDiagramClick();

    bool Busy() const { return worker_.joinable() && busy_; }

    QLineEdit* edName;
    QComboBox* cbType;
    QLineEdit* edDescription;
    QLabel* lblServerName;
    // Whether the stored server was found on the machine, said in the
    // window rather than in a message box.
    QLabel* lblServerState;
    QLabel* lblCategoryNote;
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
    void listServers(bool userAsked);
    void showServers(const std::vector<opc::TOPCServerInfo>& found);
    void selectStoredServer(bool complain);
    void run(std::function<void()> work);
    void ippCellChanged(int row, int column);
    // The device's internal diagram file as found on disk, or "".
    std::string diagramFile() const;

    TslOPCDevice& device_;
    TUserInterface& ui_;
    std::thread worker_;
    bool busy_ = false;
    // The last listing, whatever the type entry shows of it.
    std::vector<opc::TOPCServerInfo> listed_;
    std::string listedMachine_;
    // The grid's rows by IppKey, and the OPC items edited there.
    std::vector<std::string> rowKeys_;
    std::map<std::string, std::string> itemsEdited_;
    bool filling_ = false;
};

} // namespace telvo
