#include "ui/systemlayer/sl_dialogs.h"

#include "deploy/device_connection.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/fb_type.h"
#include "systemlayer/system_layer.h"
#include "ui/mainwindow/main_form.h"
#include "ui/systemlayer/sl_commands.h"
#include "ui/systemlayer/sl_editor.h"
#include "workbench/workbench.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QUndoStack>
#include <QVBoxLayout>

#include <charconv>
#include <filesystem>

namespace telvo {

std::function<int(QDialog&)> RunIppDialog = [](QDialog& dialog) { return dialog.exec(); };
std::function<QDialog*(TfrmSystemLayer&, TslDevice&)> OpcDevicePropertiesFactory;

namespace {

const QStringList fieldbusTypes = {"Unspecified", "PROFIbus", "PROFInet", "LonWorks", "WorldFip"};
const QStringList iecDeviceTypes = {"Unspecified", "Ethernet TCP/IP compatible"};
const QStringList nonIecDeviceTypes = {"Unspecified"};
const QStringList opcDeviceTypes = {"OPC Data Access 1.0", "OPC Data Access 2.0", "OPC Data Access 3.0"};
const QStringList ippDataTypes = {"Unspecified", "Temperature", "Pressure", "Alarm", "Boolean",
                                  "Integer",     "Real",        "Time",     "String"};
// The IPT types with the subtype each one stands for.
const std::pair<const char*, int> iptTypes[] = {{"Undefined", 0}, {"Alarm", 1},     {"Boiler", 2},   {"Compressor", 3},
                                                {"Control Panel", 4}, {"Drill", 5}, {"Robot Arm", 6}, {"Conveyer", 9},
                                                {"Feeder", 10},  {"HMI", 7}};

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

void selectType(QComboBox* box, const std::string& typeName, int fallback = 0)
{
    const int i = box->findText(q(typeName));
    box->setCurrentIndex(i >= 0 ? i : fallback);
}

QTreeWidget* listView(QWidget* parent, const QStringList& columns, const QString& name)
{
    auto* view = new QTreeWidget(parent);
    view->setObjectName(name);
    view->setHeaderLabels(columns);
    view->setRootIsDecorated(false);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->header()->setStretchLastSection(true);
    return view;
}

void fillIO(QTreeWidget* view, const std::vector<std::unique_ptr<TslDeviceIO>>& list)
{
    view->clear();
    for (const auto& io : list)
        new QTreeWidgetItem(view, {q(io->IOName), q(io->IOType), q(io->IODescription),
                                   io->BoundObject ? q(io->BoundObject->Name) : QString()});
    for (int c = 0; c < 3; ++c)
        view->resizeColumnToContents(c);
}

QWidget* emptyPage(QWidget* parent) { return new QWidget(parent); }

} // namespace

// ---------------------------------------------------------------- checks

bool ValidDevicePort(const std::string& text)
{
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end && value >= 1 && value <= 65535;
}

bool ValidDeviceAddress(const std::string& text)
{
    if (text.empty() || text.size() > 253)
        return false;
    // Digits and dots only: an IPv4 address written out in full (the short
    // forms "1.2.3" or "999" read as other addresses than meant).
    if (text.find_first_not_of("0123456789.") == std::string::npos) {
        int parts = 0;
        size_t start = 0;
        while (start <= text.size()) {
            const size_t dot = std::min(text.find('.', start), text.size());
            const std::string part = text.substr(start, dot - start);
            if (part.empty() || part.size() > 3 || std::stoi(part) > 255)
                return false;
            ++parts;
            start = dot + 1;
        }
        return parts == 4;
    }
    if (text.find(':') != std::string::npos) {
        QHostAddress literal;
        return literal.setAddress(q(text)) && literal.protocol() == QAbstractSocket::IPv6Protocol;
    }
    // A host name: dot-separated labels of letters, digits and hyphens, none
    // starting or ending with a hyphen; one trailing dot allowed.
    size_t start = 0;
    while (start < text.size()) {
        const size_t dot = std::min(text.find('.', start), text.size());
        const std::string_view label(text.data() + start, dot - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (char c : label)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-'))
                return false;
        start = dot + 1;
    }
    return true;
}

// ---------------------------------------------------------------- frame

TfrmSlProperties::TfrmSlProperties(TfrmSystemLayer& editor, TslObject& object, const QString& caption)
    : QDialog(&editor, Qt::Dialog | Qt::WindowStaysOnTopHint), editor_(&editor), workbench_(editor.Workbench()),
      key_(editor.Keys().KeyOf(&object)), layout_(new QVBoxLayout(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(caption);
    setObjectName(QStringLiteral("frmProperties"));
}

TfrmSlProperties::~TfrmSlProperties()
{
    if (editor_)
        editor_->Render();
}

TslObject* TfrmSlProperties::Object() const
{
    if (!editor_)
        return nullptr;
    TslObject* object = editor_->Keys().Object(key_);
    return object && editor_->Layer().HoldsEnd(object) ? object : nullptr;
}

void TfrmSlProperties::message(const std::string& text) const { workbench_.UI().ShowMessage(text); }

void TfrmSlProperties::addCommonFields(const QStringList& types, const QString& nameCaption)
{
    TslObject* object = Object();
    auto* form = new QFormLayout;
    edName_ = new QLineEdit(q(object->Name), this);
    edName_->setObjectName(QStringLiteral("edName"));
    form->addRow(nameCaption, edName_);
    if (!types.isEmpty()) {
        auto* row = new QHBoxLayout;
        cbType_ = new QComboBox(this);
        cbType_->setObjectName(QStringLiteral("cbType"));
        cbType_->addItems(types);
        selectType(cbType_, object->TypeName);
        row->addWidget(cbType_, 1);
        auto* more = new QPushButton(QStringLiteral("..."), this);
        more->setObjectName(QStringLiteral("btnTypeMore"));
        more->setFixedWidth(28);
        more->setToolTip(QStringLiteral("More types"));
        row->addWidget(more);
        form->addRow(QStringLiteral("Type:"), row);
    }
    edDescription_ = new QPlainTextEdit(q(object->Description), this);
    edDescription_->setObjectName(QStringLiteral("edDescription"));
    edDescription_->setFixedHeight(60);
    form->addRow(QStringLiteral("Description:"), edDescription_);
    layout_->addLayout(form);
}

QTabWidget* TfrmSlProperties::addTabs()
{
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("pcTabs"));
    layout_->addWidget(tabs_, 1);
    return tabs_;
}

void TfrmSlProperties::addButtons()
{
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    btnOk_ = new QPushButton(QStringLiteral("OK"), this);
    btnOk_->setObjectName(QStringLiteral("btnOK"));
    btnOk_->setDefault(true);
    btnCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel_->setObjectName(QStringLiteral("btnCancel"));
    row->addWidget(btnOk_);
    row->addWidget(btnCancel_);
    layout_->addLayout(row);
    connect(btnOk_, &QPushButton::clicked, this, [this] { Accept(); });
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::close);
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmSlProperties::write(TslObject& object)
{
    if (edName_)
        object.Name = s(edName_->text());
    if (cbType_)
        object.TypeName = s(cbType_->currentText());
    if (edDescription_)
        object.Description = s(edDescription_->toPlainText());
}

bool TfrmSlProperties::Accept()
{
    TslObject* object = Object();
    if (!object) {
        message("The object edited here is no longer in the system layer.");
        close();
        return false;
    }
    if (!check())
        return false;
    const TslObjectFields before = TslObjectFields::Of(*object);
    write(*object);
    if (!(TslObjectFields::Of(*object) == before) && editor_)
        editor_->Push(new TFieldsCommand(editor_->Keys(), *object, before,
                                         QStringLiteral("Properties of %1").arg(q(object->Name))));
    if (editor_)
        editor_->ModelChanged(true, false);
    close();
    return true;
}

// ---------------------------------------------------------------- simple kinds

namespace {

// Fieldbuses: the devices of the matching kind at the other ends.
class TfrmFieldbusProperties final : public TfrmSlProperties {
public:
    TfrmFieldbusProperties(TfrmSystemLayer& editor, TslObject& bus)
        : TfrmSlProperties(editor, bus,
                           bus.Kind == slIECFieldbus ? QStringLiteral("IEC Compliant Fieldbus Properties")
                                                     : QStringLiteral("Non IEC Compliant Fieldbus Properties"))
    {
        addCommonFields(fieldbusTypes);
        if (auto* iec = dynamic_cast<TslIECFieldbus*>(&bus)) {
            allow_ = new QCheckBox(QStringLiteral("Allow non-IEC Compliant Devices"), this);
            allow_->setObjectName(QStringLiteral("cbAllowNonIEC"));
            allow_->setChecked(iec->AllowNonIecDevices);
            layout_->addWidget(allow_);
        }
        layout_->addWidget(new QLabel(QStringLiteral("Connected devices:"), this));
        auto* list = listView(this, {"Name", "Type", "Description"}, QStringLiteral("lvDevices"));
        const uint8_t wanted = bus.Kind == slIECFieldbus ? slIECDevice : slNonIECDevice;
        for (const TSystemConnection* c : bus.Connections) {
            const TslObject* other = c->SourceObject == &bus ? c->TargetObject : c->SourceObject;
            if (other && other->Kind == wanted)
                new QTreeWidgetItem(list, {q(other->Name), q(other->TypeName), q(other->Description)});
        }
        layout_->addWidget(list, 1);
        addButtons();
        resize(420, 380);
    }

protected:
    void write(TslObject& object) override
    {
        TfrmSlProperties::write(object);
        if (auto* iec = dynamic_cast<TslIECFieldbus*>(&object); iec && allow_)
            iec->AllowNonIecDevices = allow_->isChecked();
    }

private:
    QCheckBox* allow_ = nullptr;
};

// Network, computer, interworking unit, switch: nothing to edit.
class TfrmEmptyProperties final : public TfrmSlProperties {
public:
    TfrmEmptyProperties(TfrmSystemLayer& editor, TslObject& object, const QString& caption)
        : TfrmSlProperties(editor, object, caption)
    {
        auto* note = new QLabel(QString::fromStdString(object.Name), this);
        note->setObjectName(QStringLiteral("lblName"));
        layout_->addWidget(note);
        layout_->addStretch(1);
        addButtons();
        resize(300, 160);
    }

protected:
    void write(TslObject&) override {}
};

} // namespace

// ---------------------------------------------------------------- devices

TfrmIECDeviceProperties::TfrmIECDeviceProperties(TfrmSystemLayer& editor, TslDevice& device, const QString& caption)
    : TfrmSlProperties(editor, device, caption), iec_(device.Kind == slIECDevice)
{
    addCommonFields(device.Kind == slOPCDevice ? opcDeviceTypes : iecDeviceTypes);
    if (device.Kind == slOPCDevice && cbType_->findText(q(device.TypeName)) < 0)
        cbType_->setCurrentIndex(1);
    addTabs();
    auto* vendor = new QWidget(tabs_);
    auto* vendorForm = new QFormLayout(vendor);
    vendorForm->addRow(QStringLiteral("Name:"), new QLineEdit(vendor));
    vendorForm->addRow(QStringLiteral("Description:"), new QLineEdit(vendor));
    tabs_->addTab(vendor, QStringLiteral("Vendor"));
    lvInputs_ = listView(tabs_, {"Name", "Type", "Description", "From IPP"}, QStringLiteral("lvInputs"));
    fillIO(lvInputs_, device.InputList);
    tabs_->addTab(lvInputs_, QStringLiteral("Inputs"));
    lvOutputs_ = listView(tabs_, {"Name", "Type", "Description", "To IPP"}, QStringLiteral("lvOutputs"));
    fillIO(lvOutputs_, device.OutputList);
    tabs_->addTab(lvOutputs_, QStringLiteral("Outputs"));

    auto* downloaded = new QWidget(tabs_);
    auto* downloadedLayout = new QVBoxLayout(downloaded);
    lvDownloaded_ = listView(downloaded, {"Name", "Type", "Description"}, QStringLiteral("lvDownloadedFBs"));
    downloadedLayout->addWidget(lvDownloaded_, 1);
    auto* deleteFB = new QPushButton(QStringLiteral("Delete FB"), downloaded);
    deleteFB->setObjectName(QStringLiteral("btnDeleteFB"));
    connect(deleteFB, &QPushButton::clicked, this, [this] { DeleteFBClick(); });
    downloadedLayout->addWidget(deleteFB, 0, Qt::AlignLeft);
    tabs_->addTab(downloaded, QStringLiteral("Downloaded FBs"));
    fillDownloaded();

    if (iec_) {
        tabs_->addTab(emptyPage(tabs_), QStringLiteral("Resources"));
        tabs_->addTab(emptyPage(tabs_), QStringLiteral("Native FBs"));
        auto* advanced = new QWidget(tabs_);
        auto* form = new QFormLayout(advanced);
        auto& iec = static_cast<TslIECDevice&>(device);
        edAddress_ = new QLineEdit(q(iec.DeviceIPAddress), advanced);
        edAddress_->setObjectName(QStringLiteral("edIPAddress"));
        edPort_ = new QLineEdit(iec.DeviceAddressPort.empty() ? QStringLiteral("61499") : q(iec.DeviceAddressPort),
                                advanced);
        edPort_->setObjectName(QStringLiteral("edPort"));
        form->addRow(QStringLiteral("IP address:"), edAddress_);
        form->addRow(QStringLiteral("Port:"), edPort_);
        btnTest_ = new QPushButton(QStringLiteral("Test Communication"), advanced);
        btnTest_->setObjectName(QStringLiteral("btnTestCommunication"));
        connect(btnTest_, &QPushButton::clicked, this, [this] { TestCommunicationClick(); });
        form->addRow(QString(), btnTest_);
        lblTest_ = new QLabel(advanced);
        lblTest_->setObjectName(QStringLiteral("lblTestResult"));
        lblTest_->setWordWrap(true);
        form->addRow(QString(), lblTest_);
        tabs_->addTab(advanced, QStringLiteral("Advanced"));
    }
    auto* diagram = new QPushButton(QStringLiteral("Go To Internal Device Diagram..."), this);
    diagram->setObjectName(QStringLiteral("btnInternalDiagram"));
    connect(diagram, &QPushButton::clicked, this, [this] {
        if (auto* d = dynamic_cast<TslDevice*>(Object()); d && editor_ && editor_->OpenDeviceDiagram) {
            editor_->OpenDeviceDiagram(*d);
            fillIO(lvInputs_, d->InputList);
            fillIO(lvOutputs_, d->OutputList);
        }
    });
    layout_->addWidget(diagram, 0, Qt::AlignLeft);
    addButtons();
    resize(700, 480);
}

TfrmIECDeviceProperties::~TfrmIECDeviceProperties()
{
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    if (connection_)
        connection_->Close();
}

void TfrmIECDeviceProperties::fillDownloaded()
{
    lvDownloaded_->clear();
    auto* device = dynamic_cast<TslDevice*>(Object());
    if (!device)
        return;
    for (const TFB_InstanceRef* record : device->DownloadedFBInstanceList)
        new QTreeWidgetItem(lvDownloaded_, {q(record->Name), record->Type ? q(record->Type->Name) : QString(),
                                            record->Type ? q(record->Type->Comment) : QString()});
}

void TfrmIECDeviceProperties::DeleteFBClick()
{
    auto* device = dynamic_cast<TslDevice*>(Object());
    QTreeWidgetItem* row = lvDownloaded_->currentItem();
    if (!device || !row || !editor_)
        return;
    TFB_InstanceRef* record = editor_->Workbench().FBManager().FindInstance(s(row->text(0)));
    if (record && record->Device == device)
        editor_->TakeBackInstance(device, record);
    fillDownloaded();
}

bool TfrmIECDeviceProperties::check()
{
    if (!iec_)
        return true;
    // An empty address or port is a device not yet placed on the network.
    const std::string address = s(edAddress_->text().trimmed());
    const std::string port = s(edPort_->text().trimmed());
    if (!port.empty() && !ValidDevicePort(port)) {
        message("The port " + port + " is not a number from 1 to 65535.");
        tabs_->setCurrentWidget(edPort_->parentWidget());
        edPort_->setFocus();
        return false;
    }
    if (!address.empty() && !ValidDeviceAddress(address)) {
        message("The IP address " + address + " is neither an IPv4 or IPv6 address nor a host name.");
        tabs_->setCurrentWidget(edAddress_->parentWidget());
        edAddress_->setFocus();
        return false;
    }
    return true;
}

void TfrmIECDeviceProperties::write(TslObject& object)
{
    TfrmSlProperties::write(object);
    if (auto* iec = dynamic_cast<TslIECDevice*>(&object); iec && iec_) {
        iec->DeviceIPAddress = s(edAddress_->text().trimmed());
        iec->DeviceAddressPort = s(edPort_->text().trimmed());
    }
}

bool TfrmIECDeviceProperties::Testing() const { return testTimer_ && testTimer_->isActive(); }

void TfrmIECDeviceProperties::TestCommunicationClick()
{
    if (Testing())
        return;
    const std::string address = s(edAddress_->text().trimmed());
    const std::string port = s(edPort_->text().trimmed());
    if (!ValidDeviceAddress(address)) {
        message("The IP address " + address + " is neither an IPv4 or IPv6 address nor a host name.");
        return;
    }
    if (!ValidDevicePort(port)) {
        message("The port " + port + " is not a number from 1 to 65535.");
        return;
    }
    if (!connection_)
        connection_ = std::make_unique<TPosixDeviceConnection>();
    connection_->Close();
    connection_->OnConnected = nullptr;
    if (!testTimer_) {
        testTimer_ = new QTimer(this);
        testTimer_->setInterval(20);
        connect(testTimer_, &QTimer::timeout, this, [this] { pollTest(); });
    }
    if (!testClock_)
        testClock_ = std::make_unique<QElapsedTimer>();
    testClock_->start();
    btnTest_->setEnabled(false);
    lblTest_->setText(QStringLiteral("Connecting to %1:%2 ...").arg(q(address), q(port)));
    // The attempt runs on its own; the timer looks at it without waiting,
    // so the dialog stays usable.
    testTimer_->start();
    QHostAddress literal;
    if (literal.setAddress(q(address))) {
        startConnect(address, port);
        return;
    }
    // A host name is looked up off the user interface thread (the system's
    // resolver may take long); the time-out counts from the click.
    lookupId_ = QHostInfo::lookupHost(q(address), this, [this, port](const QHostInfo& info) {
        lookupId_ = -1;
        if (!Testing())
            return;
        QString found;
        for (const QHostAddress& a : info.addresses())
            if (found.isEmpty() || (a.protocol() == QAbstractSocket::IPv4Protocol &&
                                    QHostAddress(found).protocol() != QAbstractSocket::IPv4Protocol))
                found = a.toString();
        if (info.error() != QHostInfo::NoError || found.isEmpty()) {
            testFinished(-1, false);
            return;
        }
        startConnect(s(found), port);
    });
}

void TfrmIECDeviceProperties::startConnect(const std::string& address, const std::string& port)
{
    connection_->SetAddress(address);
    connection_->SetPort(port);
    connection_->SetProtocol("tcp");
    // The dialog's own time-out decides; the connection's comes later.
    connection_->ConnectTimeoutMs = TestTimeoutMs + 1000;
    connection_->OnConnected = [this](int error) { testFinished(error, false); };
    connection_->Connect();
    pollTest();
}

void TfrmIECDeviceProperties::pollTest()
{
    if (!connection_ || !Testing())
        return;
    if (lookupId_ < 0)
        connection_->Poll(0);
    // The notification may have ended the test inside Poll.
    if (Testing() && testClock_->elapsed() >= TestTimeoutMs)
        testFinished(-1, true);
}

void TfrmIECDeviceProperties::testFinished(int error, bool timedOut)
{
    testTimer_->stop();
    if (lookupId_ >= 0) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupId_ = -1;
    }
    connection_->OnConnected = nullptr;
    connection_->Close();
    btnTest_->setEnabled(true);
    if (error == 0) {
        lblTest_->setText(QStringLiteral("Communication in specified address and port was succesful!"));
        message("Communication in specified address and port was succesful!");
    } else {
        lblTest_->setText(timedOut ? QStringLiteral("No answer within %1 s.").arg(TestTimeoutMs / 1000.0)
                                   : QStringLiteral("Device not found in specified address and port."));
        if (timedOut)
            workbench_.UI().Log("Test Communication: no answer from " + s(edAddress_->text().trimmed()) + ":" +
                                s(edPort_->text().trimmed()) + " within " + std::to_string(TestTimeoutMs) + " ms");
        message("Device not found in specified address and port.");
    }
}

namespace {

class TfrmNonIECDeviceProperties final : public TfrmSlProperties {
public:
    TfrmNonIECDeviceProperties(TfrmSystemLayer& editor, TslIODevice& device)
        : TfrmSlProperties(editor, device, QStringLiteral("Non IEC Compliant Device Properties"))
    {
        addCommonFields(nonIecDeviceTypes);
        addTabs();
        auto* vendor = new QWidget(tabs_);
        auto* vendorForm = new QFormLayout(vendor);
        vendorForm->addRow(QStringLiteral("Name:"), new QLineEdit(vendor));
        vendorForm->addRow(QStringLiteral("Description:"), new QLineEdit(vendor));
        tabs_->addTab(vendor, QStringLiteral("Vendor"));
        auto* inputs = listView(tabs_, {"Name", "Type", "Description", "From IPP"}, QStringLiteral("lvInputs"));
        fillIO(inputs, device.InputList);
        tabs_->addTab(inputs, QStringLiteral("Inputs"));
        auto* outputs = listView(tabs_, {"Name", "Type", "Description", "To IPP"}, QStringLiteral("lvOutputs"));
        fillIO(outputs, device.OutputList);
        tabs_->addTab(outputs, QStringLiteral("Outputs"));
        addButtons();
        resize(520, 420);
    }
};

} // namespace

// ---------------------------------------------------------------- IPT

TfrmIPTProperties::TfrmIPTProperties(TfrmSystemLayer& editor, TslObject& ipt)
    : TfrmSlProperties(editor, ipt, QStringLiteral("IPT Properties"))
{
    QStringList types;
    for (const auto& [name, subtype] : iptTypes)
        types << QString::fromLatin1(name);
    addCommonFields(types);
    auto* pictureRow = new QHBoxLayout;
    lblPicture_ = new QLabel(this);
    lblPicture_->setObjectName(QStringLiteral("imgPicture"));
    lblPicture_->setFixedSize(120, 90);
    lblPicture_->setFrameShape(QFrame::StyledPanel);
    lblPicture_->setAlignment(Qt::AlignCenter);
    pictureRow->addWidget(lblPicture_);
    auto* change = new QPushButton(QStringLiteral("Change Picture..."), this);
    change->setObjectName(QStringLiteral("btnChangePicture"));
    connect(change, &QPushButton::clicked, this, [this] { ChangePictureClick(); });
    pictureRow->addWidget(change, 0, Qt::AlignBottom);
    pictureRow->addStretch(1);
    layout_->addLayout(pictureRow);

    lvIpps_ = listView(this, {"Name", "Type", "Description"}, QStringLiteral("lvIPPs"));
    lvIpps_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout_->addWidget(new QLabel(QStringLiteral("IPPs:"), this));
    layout_->addWidget(lvIpps_, 1);
    auto* buttons = new QHBoxLayout;
    auto add = [&](const QString& text, const QString& name, void (TfrmIPTProperties::*run)()) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, [this, run] { (this->*run)(); });
        buttons->addWidget(b);
    };
    add(QStringLiteral("Add"), QStringLiteral("btnAddIPP"), &TfrmIPTProperties::AddIppClick);
    add(QStringLiteral("Edit"), QStringLiteral("btnEditIPP"), &TfrmIPTProperties::EditIppClick);
    add(QStringLiteral("Delete"), QStringLiteral("btnDeleteIPP"), &TfrmIPTProperties::DeleteIppClick);
    buttons->addStretch(1);
    layout_->addLayout(buttons);
    auto* popup = new QMenu(this);
    popup->addAction(QStringLiteral("Add"), this, [this] { AddIppClick(); });
    popup->addAction(QStringLiteral("Edit"), this, [this] { EditIppClick(); });
    popup->addAction(QStringLiteral("Delete"), this, [this] { DeleteIppClick(); });
    connect(lvIpps_, &QTreeWidget::customContextMenuRequested, this,
            [this, popup](const QPoint& at) { popup->popup(lvIpps_->viewport()->mapToGlobal(at)); });
    connect(lvIpps_, &QTreeWidget::itemDoubleClicked, this, [this] { EditIppClick(); });

    AskPictureFile = [this] {
        return QFileDialog::getOpenFileName(
            this, QStringLiteral("Change Picture..."), QString(),
            QStringLiteral("All (*.tga *.jpg *.jpeg *.bmp *.ico *.emf *.wmf);;Targa (*.tga);;JPEG Image File (*.jpg);;"
                           "JPEG Image File (*.jpeg);;Bitmaps (*.bmp);;Icons (*.ico);;Enhanced Metafiles (*.emf);;"
                           "Metafiles (*.wmf)"));
    };
    addButtons();
    refresh();
    resize(480, 460);
}

void TfrmIPTProperties::refresh()
{
    lvIpps_->clear();
    auto* ipt = dynamic_cast<TslIPT*>(Object());
    if (!ipt)
        return;
    for (const auto& ipp : ipt->IPPList) {
        auto* row = new QTreeWidgetItem(lvIpps_, {q(ipp->Name), q(ipp->TypeName), q(ipp->Description)});
        // Sensors and actuators are told apart by the row's mark.
        QPixmap mark(12, 12);
        mark.fill(ipp->IsActuator() ? QColor(170, 255, 170) : QColor(202, 202, 255));
        row->setIcon(0, QIcon(mark));
        row->setToolTip(0, ipp->IsActuator() ? QStringLiteral("Actuator") : QStringLiteral("Sensor"));
    }
    QPixmap picture;
    const std::string file = ipt->ImageFileName.empty() ? std::string() : ipt->Layer->ImagePath(ipt->ImageFileName).string();
    if (!file.empty() && std::filesystem::exists(file) && picture.load(q(file)))
        lblPicture_->setPixmap(picture.scaled(lblPicture_->size() - QSize(4, 4), Qt::KeepAspectRatio));
    else
        lblPicture_->setText(QStringLiteral("no picture"));
    if (editor_) {
        editor_->Render();
        editor_->ModelChanged(true, false);
    }
}

void TfrmIPTProperties::AddIppClick()
{
    auto* ipt = dynamic_cast<TslIPT*>(Object());
    if (!ipt || !editor_)
        return;
    TslIPPRef* ipp = ipt->AddIpp(TSystemLayerManager::NewIppName(*ipt), "Undefined", TslIPPRef::Sensor);
    if (EditIppProperties(this, workbench_, *ipp, nullptr))
        editor_->Push(new TIppPresenceCommand(editor_->Keys(), &workbench_.FBManager(), *ipp, true,
                                              QStringLiteral("Add IPP %1").arg(q(ipp->Name))));
    else
        ipt->RemoveIpp(ipp);
    refresh();
}

void TfrmIPTProperties::EditIppClick()
{
    auto* ipt = dynamic_cast<TslIPT*>(Object());
    QTreeWidgetItem* row = lvIpps_->currentItem();
    if (!ipt || !row)
        return;
    const int index = lvIpps_->indexOfTopLevelItem(row);
    if (index < 0 || size_t(index) >= ipt->IPPList.size())
        return;
    EditIppProperties(this, workbench_, *ipt->IPPList[size_t(index)], editor_);
    refresh();
}

void TfrmIPTProperties::DeleteIppClick()
{
    auto* ipt = dynamic_cast<TslIPT*>(Object());
    QTreeWidgetItem* row = lvIpps_->currentItem();
    if (!ipt || !row || !editor_)
        return;
    const int index = lvIpps_->indexOfTopLevelItem(row);
    if (index < 0 || size_t(index) >= ipt->IPPList.size())
        return;
    TslIPPRef& ipp = *ipt->IPPList[size_t(index)];
    if (!workbench_.UI().AskYesNo("Delete " + ipp.Name + " ?"))
        return;
    // The IPP leaves every FB diagram as it goes (the layer tells the FB
    // model before it is freed).
    editor_->Push(new TIppPresenceCommand(editor_->Keys(), &workbench_.FBManager(), ipp, false, QStringLiteral("Delete IPP %1").arg(q(ipp.Name))));
    editor_->ModelChanged(true, true);
    refresh();
}

void TfrmIPTProperties::ChangePictureClick()
{
    auto* ipt = dynamic_cast<TslIPT*>(Object());
    if (!ipt || !AskPictureFile)
        return;
    const QString file = AskPictureFile();
    if (file.isEmpty())
        return;
    const TslObjectFields before = TslObjectFields::Of(*ipt);
    ipt->ImageFileName = s(file);
    ipt->SetImage(s(file));
    if (editor_)
        editor_->Push(new TFieldsCommand(editor_->Keys(), *ipt, before, QStringLiteral("Picture of %1").arg(q(ipt->Name))));
    refresh();
}

void TfrmIPTProperties::write(TslObject& object)
{
    object.Name = s(edName_->text());
    auto* ipt = dynamic_cast<TslIPT*>(&object);
    const std::string chosen = s(cbType_->currentText());
    if (ipt && chosen != ipt->TypeName) {
        for (const auto& [name, subtype] : iptTypes)
            if (chosen == name) {
                const TslIptSubtype* sub = IptSubtype(subtype);
                const std::string image =
                    sub && !sub->ImageFile.empty() ? ipt->Layer->ImagePath(sub->ImageFile).string() : std::string();
                ipt->SetSubtype(subtype, image);
            }
    }
    object.Description = s(edDescription_->toPlainText());
}

// ---------------------------------------------------------------- IPP

TfrmIppProperties::TfrmIppProperties(TslIPPRef& ipp, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("IPP properties"));
    setObjectName(QStringLiteral("frmIPPProperties"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    edName_ = new QLineEdit(q(ipp.Name), this);
    edName_->setObjectName(QStringLiteral("edName"));
    form->addRow(QStringLiteral("Name:"), edName_);
    cbDataType_ = new QComboBox(this);
    cbDataType_->setObjectName(QStringLiteral("cbDataType"));
    cbDataType_->addItems(ippDataTypes);
    selectType(cbDataType_, ipp.TypeName);
    form->addRow(QStringLiteral("Data Type:"), cbDataType_);
    auto* kind = new QHBoxLayout;
    rbSensor_ = new QRadioButton(QStringLiteral("Sensor"), this);
    rbSensor_->setObjectName(QStringLiteral("rbSensor"));
    rbActuator_ = new QRadioButton(QStringLiteral("Actuator"), this);
    rbActuator_->setObjectName(QStringLiteral("rbActuator"));
    (ipp.IsActuator() ? rbActuator_ : rbSensor_)->setChecked(true);
    kind->addWidget(rbSensor_);
    kind->addWidget(rbActuator_);
    kind->addStretch(1);
    form->addRow(QStringLiteral("Type:"), kind);
    edDescription_ = new QPlainTextEdit(q(ipp.Description), this);
    edDescription_->setObjectName(QStringLiteral("edDescription"));
    edDescription_->setFixedHeight(60);
    form->addRow(QStringLiteral("Description:"), edDescription_);
    cbEvent_ = new QCheckBox(QStringLiteral("Is Event IPP"), this);
    cbEvent_->setObjectName(QStringLiteral("cbEventIPP"));
    cbEvent_->setChecked(ipp.IsEventIPP);
    form->addRow(QString(), cbEvent_);
    lblOwner_ = new QLabel(ipp.Owner ? q(ipp.Owner->Name) : QStringLiteral("NONE"), this);
    lblOwner_->setObjectName(QStringLiteral("lblIPT"));
    form->addRow(QStringLiteral("IPT:"), lblOwner_);
    layout->addLayout(form);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(360, 280);
}

void TfrmIppProperties::WriteTo(TslIPPRef& ipp) const
{
    ipp.Name = s(edName_->text());
    ipp.TypeName = s(cbDataType_->currentText());
    ipp.SensorActuator = rbActuator_->isChecked() ? TslIPPRef::Actuator : TslIPPRef::Sensor;
    ipp.Description = s(edDescription_->toPlainText());
    ipp.IsEventIPP = cbEvent_->isChecked();
}

bool EditIppProperties(QWidget* parent, TWorkbench& workbench, TslIPPRef& ipp, TfrmSystemLayer* editor)
{
    TfrmIppProperties dialog(ipp, parent);
    // The IPP may go while the dialog is up (another window deletes its
    // IPT): the dialog then writes nothing.
    TLayerKeys watch(workbench.SystemLayer());
    const int key = watch.KeyOf(&ipp);
    if (RunIppDialog(dialog) != QDialog::Accepted)
        return false;
    if (!watch.Object(key)) {
        workbench.UI().ShowMessage("The IPP edited here is no longer in the system layer.");
        return false;
    }
    const TslObjectFields before = TslObjectFields::Of(ipp);
    dialog.WriteTo(ipp);
    if (editor && !(TslObjectFields::Of(ipp) == before))
        editor->Push(new TFieldsCommand(editor->Keys(), ipp, before, QStringLiteral("Properties of %1").arg(q(ipp.Name))));
    if (editor)
        editor->Render();
    return true;
}

// ---------------------------------------------------------------- connection

namespace {

class TfrmConnectionProperties final : public QDialog {
public:
    TfrmConnectionProperties(QWidget* parent, const TSystemConnection& c)
        : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint)
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowTitle(QStringLiteral("Connection Properties"));
        setObjectName(QStringLiteral("frmConnectionProperties"));
        auto* layout = new QVBoxLayout(this);
        auto* form = new QFormLayout;
        auto* name = new QLineEdit(q(c.Name), this);
        name->setObjectName(QStringLiteral("edName"));
        form->addRow(QStringLiteral("Name:"), name);
        auto* type = new QLabel(q(std::string(ConnectionTypeName(c.ConnectionType))), this);
        type->setObjectName(QStringLiteral("lblType"));
        QFont bold = type->font();
        bold.setBold(true);
        type->setFont(bold);
        form->addRow(QStringLiteral("Type:"), type);
        auto* description = new QPlainTextEdit(q(c.Description), this);
        description->setObjectName(QStringLiteral("edDescription"));
        description->setFixedHeight(60);
        form->addRow(QStringLiteral("Description:"), description);
        layout->addLayout(form);
        auto* tabs = new QTabWidget(this);
        for (const char* page : {"IEC Fieldbus <-> IEC Device", "IEC Fieldbus <-> non IEC Device",
                                 "non IEC Fieldbus <-> non IEC Device", "Computer <-> Switch", "Computer <-> Network",
                                 "IU <-> Switch", "Switch <-> Switch", "Network <-> Switch", "Device <-> IPP"})
            tabs->addTab(new QWidget(tabs), QString::fromLatin1(page));
        tabs->setUsesScrollButtons(true);
        layout->addWidget(tabs, 1);
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        // OK and Cancel do nothing here: the frame closes the window.
        auto* ok = new QPushButton(QStringLiteral("OK"), this);
        ok->setObjectName(QStringLiteral("btnOK"));
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
        cancel->setObjectName(QStringLiteral("btnCancel"));
        row->addWidget(ok);
        row->addWidget(cancel);
        layout->addLayout(row);
        resize(520, 300);
        if (QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
};

} // namespace

QDialog* ShowObjectProperties(TfrmSystemLayer& editor, TslObject& object)
{
    QDialog* dialog = nullptr;
    switch (object.Kind) {
    case slIECFieldbus:
    case slNonIECFieldbus:
        dialog = new TfrmFieldbusProperties(editor, object);
        break;
    case slIECDevice:
        dialog = new TfrmIECDeviceProperties(editor, static_cast<TslDevice&>(object),
                                             QStringLiteral("IEC Compliant Device Properties"));
        break;
    case slOPCDevice:
        if (OpcDevicePropertiesFactory)
            dialog = OpcDevicePropertiesFactory(editor, static_cast<TslDevice&>(object));
        else
            dialog = new TfrmIECDeviceProperties(editor, static_cast<TslDevice&>(object),
                                                 QStringLiteral("OPC Device Properties"));
        break;
    case slNonIECDevice:
        dialog = new TfrmNonIECDeviceProperties(editor, static_cast<TslIODevice&>(object));
        break;
    case slIPT:
        dialog = new TfrmIPTProperties(editor, object);
        break;
    case slIPPRef:
        EditIppProperties(&editor, editor.Workbench(), static_cast<TslIPPRef&>(object), &editor);
        editor.Render();
        return nullptr;
    case slNetBone:
        dialog = new TfrmEmptyProperties(editor, object, QStringLiteral("Network Properties"));
        break;
    case slComputer:
        dialog = new TfrmEmptyProperties(editor, object, QStringLiteral("Computer Properties"));
        break;
    case slInterunit:
        dialog = new TfrmEmptyProperties(editor, object, QStringLiteral("Interworking Unit Properties"));
        break;
    case slSwitch:
        dialog = new TfrmEmptyProperties(editor, object, QStringLiteral("Switch Properties"));
        break;
    default:
        return nullptr;
    }
    if (dialog)
        dialog->show();
    return dialog;
}

QDialog* ShowConnectionProperties(TfrmSystemLayer& editor, TSystemConnection& connection)
{
    auto* dialog = new TfrmConnectionProperties(&editor, connection);
    dialog->show();
    return dialog;
}

} // namespace telvo
