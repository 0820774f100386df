#include "ui/opc/opc_device_properties.h"

#include "model/fb_instance.h"
#include "model/fb_type.h"
#include "model/user_interface.h"
#include "model/file_util.h"
#include "opc/opc_access.h"
#include "persistence/project_file.h"
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

#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace telvo {

namespace {

// The servers are OPC UA servers: the fourth entry says so, and is what a
// device that names none of the Data Access versions shows.
const char* const TypeEntries[] = {"OPC Data Access 1.0", "OPC Data Access 2.0", "OPC Data Access 3.0",
                                   "OPC UA (no Data Access categories)"};
const int UaEntry = 3;
const char* const CategoryNote =
    "OPC UA has no Data Access categories: a Data Access type lists the machine's servers, OPC UA lists "
    "every application its discovery knows.";
const char* const NoServerText = "Please select a server from the list";

QString machineText(const std::string& machine)
{
    return machine.empty() ? QStringLiteral("this computer") : QString::fromStdString(machine);
}

QString q(const std::string& s) { return QString::fromStdString(s); }

// Discovery and connection tests wait at most this long for a machine.
opc::TClientOptions clientOptions()
{
    opc::TClientOptions o;
    o.Timeout = std::chrono::milliseconds(3000);
    return o;
}

} // namespace

bool ListedForType(int applicationType, const QString& typeEntry)
{
    // UA application types: 0 server, 1 client, 2 client and server, 3
    // discovery server. Every Data Access category is one of servers.
    if (typeEntry == QLatin1String(TypeEntries[UaEntry]))
        return true;
    return applicationType == 0 || applicationType == 2;
}

std::string IppKey(const TslIPPRef& ipp)
{
    return (ipp.Owner ? ipp.Owner->Name : std::string("Unspecified")) + "." + ipp.Name;
}

namespace {

// A connection end "INSTANCE.PORT" split at its last dot.
bool splitEnd(const std::string& end, std::string& instance, std::string& port)
{
    const size_t dot = end.rfind('.');
    if (dot == std::string::npos)
        return false;
    instance = end.substr(0, dot);
    port = end.substr(dot + 1);
    return true;
}

// The OPC FB instance each IPP of the diagram file is connected to.
std::map<std::string, std::string> ippInstances(const pugi::xml_node& network)
{
    std::map<std::string, std::string> found;
    for (pugi::xml_node group : network.children("FBIPPConnections"))
        for (pugi::xml_node c : group.children("Connection")) {
            std::string instance, port;
            if (splitEnd(c.attribute("Destination").value(), instance, port))
                found.emplace(c.attribute("Source").value(), instance);
        }
    return found;
}

pugi::xml_node itemConstant(pugi::xml_node network, const std::string& instance)
{
    const std::string destination = instance + ".OPCItem";
    for (pugi::xml_node group : network.children("DataConnections"))
        for (pugi::xml_node c : group.children("Connection"))
            if (destination == c.attribute("Destination").value())
                return c;
    return {};
}

bool isOpcInstance(const pugi::xml_node& network, const std::string& instance)
{
    for (pugi::xml_node fb : network.children("FB"))
        if (instance == fb.attribute("Name").value())
            return !OpcFBTypeName(fb.attribute("Type").value()).empty();
    return false;
}

} // namespace

std::string OpcFBTypeName(const std::string& type)
{
    for (const char* t : {"OPCInteger", "OPCBool", "OPCReal", "OPCString"})
        if (type == t)
            return type;
    return {};
}

std::map<std::string, std::string> ReadIppOpcItems(const std::string& file)
{
    std::map<std::string, std::string> items;
    pugi::xml_document doc;
    if (file.empty() || !doc.load_file(file.c_str()))
        return items;
    const pugi::xml_node network = doc.child("FBNetwork");
    for (const auto& [ipp, instance] : ippInstances(network))
        if (isOpcInstance(network, instance)) {
            const pugi::xml_node constant = itemConstant(network, instance);
            items[ipp] = constant ? constant.attribute("Source").value() : "";
        }
    return items;
}

bool WriteIppOpcItems(const std::string& file, const std::map<std::string, std::string>& items)
{
    pugi::xml_document doc;
    if (file.empty() || !doc.load_file(file.c_str(), pugi::parse_default | pugi::parse_declaration | pugi::parse_comments))
        return false;
    pugi::xml_node network = doc.child("FBNetwork");
    if (!network)
        return false;
    const auto instances = ippInstances(network);
    bool changed = false;
    for (const auto& [ipp, item] : items) {
        const auto at = instances.find(ipp);
        if (at == instances.end() || !isOpcInstance(network, at->second))
            continue;
        pugi::xml_node constant = itemConstant(network, at->second);
        if (!constant) {
            pugi::xml_node group = network.child("DataConnections");
            if (!group) {
                // Where the writer puts it: after the instances.
                pugi::xml_node lastFb;
                for (pugi::xml_node fb : network.children("FB"))
                    lastFb = fb;
                group = lastFb ? network.insert_child_after("DataConnections", lastFb)
                               : network.prepend_child("DataConnections");
            }
            constant = group.append_child("Connection");
            constant.append_attribute("Source");
            constant.append_attribute("Destination") = (at->second + ".OPCItem").c_str();
        }
        if (item != constant.attribute("Source").value()) {
            constant.attribute("Source") = item.c_str();
            changed = true;
        }
    }
    if (!changed)
        return true;
    std::ostringstream out;
    // As the network file writer writes it.
    doc.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
    try {
        WriteFileAtomic(file, out.str());
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

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
    lblCategoryNote = new QLabel(CategoryNote);
    lblCategoryNote->setObjectName("lblCategoryNote");
    lblCategoryNote->setWordWrap(true);
    cbType->setToolTip(CategoryNote);
    lblServerState = new QLabel;
    lblServerState->setObjectName("lblServerState");
    lblServerState->setWordWrap(true);
    form->addRow("Device Name:", edName);
    form->addRow("Type:", cbType);
    form->addRow("", lblCategoryNote);
    form->addRow("Description:", edDescription);
    form->addRow("Server name:", lblServerName);
    form->addRow("", lblServerState);

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
    // The fourth column is the mapping itself: the OPC item each IPP
    // reaches through its OPC FB in the internal diagram, edited in place.
    grIPPs = new QTableWidget(1, 4);
    grIPPs->setHorizontalHeaderLabels({"IPP", "Sensor/Actuator", "Type", "OPC item"});
    grIPPs->horizontalHeader()->setStretchLastSection(true);
    grIPPs->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);

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
    connect(btnGoToInternalDiagram, &QPushButton::clicked, this, [this] { btnGoToInternalDiagramClick(); });
    connect(cbType, &QComboBox::currentIndexChanged, this, [this] {
        // A listing made for another type may hold servers this one does
        // not take.
        if (lvServers->topLevelItemCount() > 0 && !busy_)
            showServers(listed_);
    });
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(grIPPs, &QTableWidget::cellChanged, this, [this](int row, int column) { ippCellChanged(row, column); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // On show: the device's fields.
    edName->setText(q(device_.Name));
    const int type = cbType->findText(q(device_.TypeName));
    cbType->setCurrentIndex(type >= 0 ? type : UaEntry);
    edDescription->setText(q(device_.Description));
    edMachine->setText(q(device_.OPCMachineName));
    FillIPPGrid();
    fillDownloadedFBs();
    if (!device_.OPCServerName.empty()) {
        // The stored server is looked for at once, but whether it is there
        // is shown in the window, not asked: nobody did anything yet.
        lblServerState->setText("Looking for " + q(device_.OPCServerName) + " on " +
                                machineText(device_.OPCMachineName) + "...");
        listServers(false);
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

void TfrmOPCdeviceProperties::btnListServersClick() { listServers(true); }

void TfrmOPCdeviceProperties::listServers(bool userAsked)
{
    if (busy_)
        return;
    lvServers->clear();
    const std::string machine = edMachine->text().toStdString();
    listedMachine_ = machine;
    run([this, machine, userAsked] {
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
            [this, found, userAsked] {
                busy_ = false;
                unsetCursor();
                btnListServers->setEnabled(true);
                btnTestConnection->setEnabled(true);
                listed_ = found;
                showServers(found);
                selectStoredServer(userAsked);
                emit ServersListed();
            },
            Qt::QueuedConnection);
    });
}

void TfrmOPCdeviceProperties::showServers(const std::vector<opc::TOPCServerInfo>& found)
{
    const QString chosen = lvServers->currentItem() ? lvServers->currentItem()->text(0) : QString();
    lvServers->clear();
    // In name order, as the list of a machine is shown.
    auto sorted = found;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.ServerName < b.ServerName; });
    for (const auto& s : sorted)
        if (ListedForType(s.ApplicationType, cbType->currentText())) {
            auto* row = new QTreeWidgetItem(lvServers, {q(s.ServerName), q(s.Description), q(s.Endpoint)});
            if (row->text(0) == chosen)
                lvServers->setCurrentItem(row);
        }
}

void TfrmOPCdeviceProperties::selectStoredServer(bool complain)
{
    if (device_.OPCServerName.empty()) {
        lblServerState->clear();
        return;
    }
    const QString stored = q(device_.OPCServerName);
    for (int i = 0; i < lvServers->topLevelItemCount(); ++i)
        if (lvServers->topLevelItem(i)->text(0) == stored) {
            if (!lvServers->currentItem())
                lvServers->setCurrentItem(lvServers->topLevelItem(i));
            if (lvServers->currentItem() == lvServers->topLevelItem(i))
                lblServerName->setText(stored);
            lblServerState->setText(stored + " found on " + machineText(listedMachine_) + ".");
            return;
        }
    const std::string missing = "Cannot find OPC Server " + device_.OPCServerName;
    lblServerState->setText(q(missing) + " on " + machineText(listedMachine_) + ".");
    // Asked for by the user: said out loud as well.
    if (complain && !lvServers->currentItem())
        ui_.ShowMessage(missing);
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
    // The items edited in the grid go into the internal diagram file, where
    // the OPC FBs keep them; a file that cannot be written keeps the window.
    if (!itemsEdited_.empty()) {
        if (!WriteIppOpcItems(diagramFile(), itemsEdited_)) {
            ui_.ShowMessage("The OPC items cannot be written to " + diagramFile() + ".");
            return;
        }
        itemsEdited_.clear();
    }
    device_.Name = edName->text().toStdString();
    device_.TypeName = cbType->currentText().toStdString();
    device_.Description = edDescription->text().toStdString();
    if (QTreeWidgetItem* row = lvServers->currentItem())
        device_.OPCServerName = row->text(0).toStdString();
    device_.OPCMachineName = edMachine->text().toStdString();
    accept();
}

void TfrmOPCdeviceProperties::btnGoToInternalDiagramClick()
{
    // The diagram's "Add OPC FB:" works on the server chosen here, stored
    // or not yet; the device gets its own back afterwards (OK stores).
    const std::string server = device_.OPCServerName, machine = device_.OPCMachineName;
    if (QTreeWidgetItem* row = lvServers->currentItem())
        device_.OPCServerName = row->text(0).toStdString();
    device_.OPCMachineName = edMachine->text().toStdString();
    emit GoToInternalDiagramRequested(&device_);
    device_.OPCServerName = server;
    device_.OPCMachineName = machine;
    // What the diagram saved wins over edits made before it opened.
    itemsEdited_.clear();
    FillIPPGrid();
}

std::string TfrmOPCdeviceProperties::diagramFile() const
{
    const std::string& stored = device_.InternalDeviceDiagramFilename;
    if (stored.empty())
        return {};
    const std::string projectFile = device_.Layer ? device_.Layer->ProjectFile.string() : std::string();
    std::string file = projectFile.empty() ? stored : ResolveProjectRelative(projectFile, stored);
    if (file.empty() && std::filesystem::exists(stored))
        file = stored;
    return file;
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
    const std::map<std::string, std::string> items = ReadIppOpcItems(diagramFile());
    // The grid always keeps one data row, empty when there is nothing.
    filling_ = true;
    grIPPs->clearContents();
    grIPPs->setRowCount(std::max<int>(1, static_cast<int>(rows.size())));
    rowKeys_.assign(rows.size(), std::string());
    const auto readOnly = [](QTableWidgetItem* item) {
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        return item;
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        grIPPs->setItem(int(i), 0, readOnly(new QTableWidgetItem(q(rows[i]->Name))));
        grIPPs->setItem(int(i), 1, readOnly(new QTableWidgetItem(rows[i]->IsActuator() ? "Actuator (WRITE)"
                                                                                       : "Sensor (READ)")));
        grIPPs->setItem(int(i), 2, readOnly(new QTableWidgetItem(q(rows[i]->TypeName))));
        rowKeys_[i] = IppKey(*rows[i]);
        const auto item = items.find(rowKeys_[i]);
        auto* cell = new QTableWidgetItem(item != items.end() ? q(item->second) : QString());
        if (item == items.end()) {
            // No OPC FB behind the IPP yet: the diagram is where one is added.
            readOnly(cell)->setToolTip("Not connected to an OPC FB: use Go To Internal Device Diagram...");
        }
        grIPPs->setItem(int(i), 3, cell);
    }
    filling_ = false;
}

void TfrmOPCdeviceProperties::ippCellChanged(int row, int column)
{
    if (filling_ || column != 3 || row < 0 || size_t(row) >= rowKeys_.size())
        return;
    itemsEdited_[rowKeys_[size_t(row)]] = grIPPs->item(row, column)->text().toStdString();
}

void TfrmOPCdeviceProperties::fillDownloadedFBs()
{
    lvDownloadedFBs->clear();
    for (const TFB_InstanceRef* r : device_.DownloadedFBInstanceList)
        new QTreeWidgetItem(lvDownloadedFBs, {q(r->Name), r->Type ? q(r->Type->Name) : QString(),
                                              r->Type ? q(r->Type->Comment) : QString()});
}

} // namespace telvo
