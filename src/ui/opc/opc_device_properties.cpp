#include "ui/opc/opc_device_properties.h"

#include "model/fb_instance.h"
#include "model/fb_type.h"
#include "model/user_interface.h"
#include "opc/opc_access.h"
#include "systemlayer/system_layer.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace telvo {

namespace {

const char* const TypeEntries[] = {"OPC Data Access 1.0", "OPC Data Access 2.0", "OPC Data Access 3.0"};
const char* const NoServerText = "Please select a server from the list";

QString q(const std::string& s) { return QString::fromStdString(s); }

// Discovery and connection tests wait at most this long for a machine.
opc::TClientOptions clientOptions()
{
    opc::TClientOptions o;
    o.Timeout = std::chrono::milliseconds(3000);
    return o;
}

} // namespace

TfrmOPCdeviceProperties::TfrmOPCdeviceProperties(TslOPCDevice& device, TUserInterface& ui, QWidget* parent)
    : QDialog(parent), device_(device), ui_(ui)
{
    setWindowTitle("OPC Device Properties");
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setObjectName("frmOPCdeviceProperties");

    auto* form = new QFormLayout;
    edName = new QLineEdit;
    cbType = new QComboBox;
    for (const char* t : TypeEntries)
        cbType->addItem(t);
    edDescription = new QLineEdit;
    lblServerName = new QLabel(NoServerText);
    QFont bold = lblServerName->font();
    bold.setBold(true);
    lblServerName->setFont(bold);
    form->addRow("Device Name:", edName);
    form->addRow("Type:", cbType);
    form->addRow("Description:", edDescription);
    form->addRow("Server name:", lblServerName);

    // "Server"
    auto* serverPage = new QWidget;
    auto* sv = new QVBoxLayout(serverPage);
    sv->addWidget(new QLabel("Machine name: (leave empty for localhost)"));
    auto* machineRow = new QHBoxLayout;
    edMachine = new QLineEdit;
    btnListServers = new QPushButton("List Machine's OPC servers");
    machineRow->addWidget(edMachine, 1);
    machineRow->addWidget(btnListServers);
    sv->addLayout(machineRow);
    lvServers = new QTreeWidget;
    lvServers->setHeaderLabels({"Server Name", "Description", "Guid"});
    lvServers->setRootIsDecorated(false);
    lvServers->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    sv->addWidget(lvServers, 1);
    btnTestConnection = new QPushButton("Test Connection");
    auto* testRow = new QHBoxLayout;
    testRow->addStretch(1);
    testRow->addWidget(btnTestConnection);
    sv->addLayout(testRow);

    // "IPPs <-> OPC items "
    grIPPs = new QTableWidget(1, 3);
    grIPPs->setHorizontalHeaderLabels({"IPP", "Sensor/Actuator", "Type"});
    grIPPs->horizontalHeader()->setStretchLastSection(true);
    grIPPs->setEditTriggers(QAbstractItemView::NoEditTriggers);

    // "Vendor": shown, not stored, as in the other device windows.
    auto* vendorPage = new QWidget;
    auto* vf = new QFormLayout(vendorPage);
    edVendorName = new QLineEdit;
    edVendorDescription = new QLineEdit;
    vf->addRow("Name:", edVendorName);
    vf->addRow("Description:", edVendorDescription);

    // "Downloaded FBs"
    auto* fbPage = new QWidget;
    auto* fv = new QVBoxLayout(fbPage);
    lvDownloadedFBs = new QTreeWidget;
    lvDownloadedFBs->setHeaderLabels({"Name", "Type", "Description"});
    lvDownloadedFBs->setRootIsDecorated(false);
    fv->addWidget(lvDownloadedFBs, 1);
    btnDeleteFB = new QPushButton("Delete FB");
    auto* fbRow = new QHBoxLayout;
    fbRow->addStretch(1);
    fbRow->addWidget(btnDeleteFB);
    fv->addLayout(fbRow);

    pcPages = new QTabWidget;
    pcPages->addTab(serverPage, "Server");
    pcPages->addTab(grIPPs, "IPPs <-> OPC items ");
    pcPages->addTab(vendorPage, "Vendor");
    pcPages->addTab(fbPage, "Downloaded FBs");

    btnGoToInternalDiagram = new QPushButton("Go To Internal Device Diagram...");
    btnOK = new QPushButton("OK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnGoToInternalDiagram);
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(pcPages, 1);
    top->addLayout(buttons);
    resize(620, 480);

    connect(btnListServers, &QPushButton::clicked, this, [this] { btnListServersClick(); });
    connect(btnTestConnection, &QPushButton::clicked, this, [this] { btnTestConnectionClick(); });
    connect(lvServers, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (QTreeWidgetItem* row = lvServers->currentItem())
            lblServerName->setText(row->text(0));
    });
    connect(btnDeleteFB, &QPushButton::clicked, this, [this] {
        QTreeWidgetItem* row = lvDownloadedFBs->currentItem();
        if (!row)
            return;
        const int index = lvDownloadedFBs->indexOfTopLevelItem(row);
        if (index >= 0 && size_t(index) < device_.DownloadedFBInstanceList.size())
            UnassignInstance(&device_, device_.DownloadedFBInstanceList[size_t(index)]);
        fillDownloadedFBs();
    });
    connect(btnGoToInternalDiagram, &QPushButton::clicked, this, [this] {
        emit GoToInternalDiagramRequested(&device_);
        FillIPPGrid();
    });
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // On show: the device's fields.
    edName->setText(q(device_.Name));
    const int type = cbType->findText(q(device_.TypeName));
    cbType->setCurrentIndex(type >= 0 ? type : 1);
    edDescription->setText(q(device_.Description));
    edMachine->setText(q(device_.OPCMachineName));
    FillIPPGrid();
    fillDownloadedFBs();
    if (!device_.OPCServerName.empty()) {
        selectOnListing_ = true;
        btnListServersClick();
    }
}

TfrmOPCdeviceProperties::~TfrmOPCdeviceProperties()
{
    // A listing still under way ends within its time-out.
    if (worker_.joinable())
        worker_.join();
}

void TfrmOPCdeviceProperties::run(std::function<void()> work)
{
    if (worker_.joinable())
        worker_.join();
    busy_ = true;
    setCursor(Qt::BusyCursor);
    btnListServers->setEnabled(false);
    btnTestConnection->setEnabled(false);
    worker_ = std::thread(std::move(work));
}

void TfrmOPCdeviceProperties::btnListServersClick()
{
    if (busy_)
        return;
    lvServers->clear();
    const std::string machine = edMachine->text().toStdString();
    run([this, machine] {
        std::vector<opc::TOPCServerInfo> found;
        try {
            opc::TOPCServerList list(clientOptions());
            list.Enumerate(machine);
            found = list.Servers();
        } catch (const opc::EOpcError&) {
            // A machine that cannot be reached has no servers to list.
        }
        QMetaObject::invokeMethod(
            this,
            [this, found] {
                busy_ = false;
                unsetCursor();
                btnListServers->setEnabled(true);
                btnTestConnection->setEnabled(true);
                // In name order, as the list of a machine is shown.
                auto sorted = found;
                std::stable_sort(sorted.begin(), sorted.end(),
                                 [](const auto& a, const auto& b) { return a.ServerName < b.ServerName; });
                for (const auto& s : sorted)
                    new QTreeWidgetItem(lvServers, {q(s.ServerName), q(s.Description), q(s.Endpoint)});
                if (selectOnListing_) {
                    selectOnListing_ = false;
                    selectStoredServer(true);
                }
                emit ServersListed();
            },
            Qt::QueuedConnection);
    });
}

void TfrmOPCdeviceProperties::selectStoredServer(bool complain)
{
    const QString stored = q(device_.OPCServerName);
    for (int i = 0; i < lvServers->topLevelItemCount(); ++i)
        if (lvServers->topLevelItem(i)->text(0) == stored) {
            lvServers->setCurrentItem(lvServers->topLevelItem(i));
            lblServerName->setText(stored);
            return;
        }
    if (complain)
        ui_.ShowMessage("Cannot find OPC Server " + device_.OPCServerName);
}

void TfrmOPCdeviceProperties::btnTestConnectionClick()
{
    QTreeWidgetItem* row = lvServers->currentItem();
    if (!row || busy_)
        return;
    const std::string endpoint = row->text(2).toStdString();
    run([this, endpoint] {
        std::string result = "Connected!";
        try {
            opc::TOpcUaClient client(clientOptions());
            client.Connect(endpoint);
            client.Close();
        } catch (const opc::EOpcError& e) {
            result = e.what();
        }
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                busy_ = false;
                unsetCursor();
                btnListServers->setEnabled(true);
                btnTestConnection->setEnabled(true);
                ui_.ShowMessage(result);
                emit ConnectionTested();
            },
            Qt::QueuedConnection);
    });
}

void TfrmOPCdeviceProperties::btnOKClick()
{
    device_.Name = edName->text().toStdString();
    device_.TypeName = cbType->currentText().toStdString();
    device_.Description = edDescription->text().toStdString();
    if (QTreeWidgetItem* row = lvServers->currentItem())
        device_.OPCServerName = row->text(0).toStdString();
    device_.OPCMachineName = edMachine->text().toStdString();
    accept();
}

void TfrmOPCdeviceProperties::FillIPPGrid()
{
    std::vector<const TslIPPRef*> rows;
    for (const auto& in : device_.InputList)
        if (in->BoundObject)
            rows.push_back(in->BoundObject);
    for (const auto& out : device_.OutputList)
        if (out->BoundObject)
            rows.push_back(out->BoundObject);
    for (const auto& ipp : device_.IPPList)
        rows.push_back(ipp.get());
    // The grid always keeps one data row, empty when there is nothing.
    grIPPs->clearContents();
    grIPPs->setRowCount(std::max<int>(1, static_cast<int>(rows.size())));
    for (size_t i = 0; i < rows.size(); ++i) {
        grIPPs->setItem(int(i), 0, new QTableWidgetItem(q(rows[i]->Name)));
        grIPPs->setItem(int(i), 1,
                        new QTableWidgetItem(rows[i]->IsActuator() ? "Actuator (WRITE)" : "Sensor (READ)"));
        grIPPs->setItem(int(i), 2, new QTableWidgetItem(q(rows[i]->TypeName)));
    }
}

void TfrmOPCdeviceProperties::fillDownloadedFBs()
{
    lvDownloadedFBs->clear();
    for (const TFB_InstanceRef* r : device_.DownloadedFBInstanceList)
        new QTreeWidgetItem(lvDownloadedFBs, {q(r->Name), r->Type ? q(r->Type->Name) : QString(),
                                              r->Type ? q(r->Type->Comment) : QString()});
}

} // namespace telvo
