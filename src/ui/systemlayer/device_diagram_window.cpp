#include "ui/systemlayer/device_diagram_window.h"

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "persistence/network_file.h"
#include "persistence/project_file.h"
#include "systemlayer/system_layer.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "ui/mainwindow/main_form.h"
#include "ui/systemlayer/sl_commands.h"
#include "ui/systemlayer/sl_dialogs.h"
#include "ui/systemlayer/sl_editor.h"
#include "workbench/workbench.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include <filesystem>

namespace telvo {

std::function<void(TfrmDeviceFBIPPDiagram&)> TfrmDeviceFBIPPDiagram::OpcPanelFactory;

namespace {

// Watches the device: the window must not touch it once it is deleted.
class TDeviceWatch final : public TSystemLayerListener {
public:
    TDeviceWatch(TSystemLayerManager& layer, const TslDevice* device, bool& gone) : device_(device), gone_(gone)
    {
        layer.AddListener(this);
    }
    ~TDeviceWatch() override
    {
        if (ListenedLayer())
            ListenedLayer()->RemoveListener(this);
    }
    void ObjectDeleting(TslObject& o) override
    {
        if (&o == device_)
            gone_ = true;
    }
    void LayerDestroying(TSystemLayerManager&) override { gone_ = true; }

private:
    const TslDevice* device_;
    bool& gone_;
};

} // namespace

TfrmDeviceFBIPPDiagram::TfrmDeviceFBIPPDiagram(TWorkbench& workbench, TMainForm* main, TslDevice& device,
                                               TfrmSystemLayer* layerWindow, QWidget* parent)
    : QDialog(parent), workbench_(workbench), main_(main), layerWindow_(layerWindow), device_(&device)
{
    setObjectName(QStringLiteral("frmDeviceFBIPPDiagram"));
    auto* watch = new TDeviceWatch(workbench.SystemLayer(), &device, deviceGone_);
    connect(this, &QObject::destroyed, [watch] { delete watch; });

    TFB_Manager& fbm = workbench.FBManager();
    for (const auto& record : fbm.Instances)
        recordsBefore_.insert(record->Name);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* top = new QHBoxLayout;
    QString header = QStringLiteral("Edit internal connections of device ") + QString::fromStdString(device.Name);
    if (auto* opc = dynamic_cast<TslOPCDevice*>(&device)) {
        header += QStringLiteral(" ") + QString::fromStdString(opc->OPCServerName);
        if (!opc->OPCMachineName.empty())
            header += QStringLiteral(" on ") + QString::fromStdString(opc->OPCMachineName);
    }
    header_ = new QLabel(header, this);
    header_->setObjectName(QStringLiteral("lblHeader"));
    QFont bold = header_->font();
    bold.setBold(true);
    header_->setFont(bold);
    top->addWidget(header_, 1);
    auto* save = new QToolButton(this);
    save->setObjectName(QStringLiteral("btnSaveDeviceNetwork"));
    save->setText(QStringLiteral("Save Device Internal FB Network..."));
    save->setToolTip(QStringLiteral("Save Device Internal FB Network..."));
    connect(save, &QToolButton::clicked, this, [this] { SaveClick(); });
    top->addWidget(save);
    auto* insert = new QToolButton(this);
    insert->setObjectName(QStringLiteral("btnInsertDeviceIPP"));
    insert->setText(QStringLiteral("Insert Device IPP"));
    insert->setToolTip(QStringLiteral("Insert Device IPP"));
    connect(insert, &QToolButton::clicked, this, [this] { InsertDeviceIppClick(); });
    top->addWidget(insert);
    layout->addLayout(top);

    // Where the OPC work adds "Add OPC FB:" and "Add KALO OPC FB:".
    opcPanel_ = new QWidget(this);
    opcPanel_->setObjectName(QStringLiteral("pnlOPC"));
    new QHBoxLayout(opcPanel_);
    opcPanel_->layout()->setContentsMargins(0, 0, 0, 0);
    opcPanel_->setVisible(device.Kind == slOPCDevice);
    layout->addWidget(opcPanel_);

    diagram_ = fbm.CreateDiagram("SysLayer_InternalDevice_" + device.Name, 1.0);
    diagram_->IsInternalDeviceDiagram = true;
    diagram_->AddDeviceIPPs(&device);
    QString caption = QStringLiteral("Process Interface FB Diagram < new internal diagram >");
    if (!device.InternalDeviceDiagramFilename.empty()) {
        caption = QStringLiteral("Process Interface FB Diagram <") +
                  QString::fromStdString(device.InternalDeviceDiagramFilename) + QStringLiteral(">");
        const std::string projectFile = workbench.SystemLayer().ProjectFile.string();
        std::string file = projectFile.empty() ? device.InternalDeviceDiagramFilename
                                               : ResolveProjectRelative(projectFile, device.InternalDeviceDiagramFilename);
        if (file.empty() && std::filesystem::exists(device.InternalDeviceDiagramFilename))
            file = device.InternalDeviceDiagramFilename;
        if (!file.empty() && std::filesystem::exists(file)) {
            try {
                LoadFromFile(*diagram_, file);
                diagram_->FileName = file;
            } catch (const std::exception& e) {
                workbench.UI().ShowMessage("The process-interface diagram " + file + " cannot be read: " + e.what());
            }
        }
    }
    setWindowTitle(caption);

    editor_ = new TfrmDesignFBDiagram(workbench, main, this);
    editor_->setObjectName(QStringLiteral("SysLayer_InternalDevice_") + QString::fromStdString(device.Name));
    for (const char* hidden : {"btnInsertIPP", "btnOpenFBNetwork", "btnExportFBNetwork"})
        if (QToolButton* b = editor_->Button(QString::fromLatin1(hidden)))
            b->setVisible(false);
    editor_->AttachDiagram(diagram_);
    layout->addWidget(editor_, 1);

    AskSaveFileName = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save Device Internal FB Network..."), QString(),
                                            QStringLiteral("Process Interface FB Diagram (*.dfb);;All (*.*)"));
    };
    if (device.Kind == slOPCDevice && OpcPanelFactory)
        OpcPanelFactory(*this);
    deviceKey_ = 0;
    resize(1000, 700);
}

TfrmDeviceFBIPPDiagram::~TfrmDeviceFBIPPDiagram()
{
    // The editor paints the diagram: it goes first.
    delete editor_;
    editor_ = nullptr;
    TFB_Manager& fbm = workbench_.FBManager();
    bool known = false;
    for (const auto& d : fbm.Diagrams)
        known = known || d.get() == diagram_;
    if (known)
        fbm.DeleteDiagram(diagram_);
    // Records this window made live in the device's file, not in the
    // project.
    std::vector<TFB_InstanceRef*> made;
    for (const auto& record : fbm.Instances)
        if (!recordsBefore_.count(record->Name))
            made.push_back(record.get());
    for (TFB_InstanceRef* record : made)
        fbm.DeleteInstance(record);
}

TslDevice* TfrmDeviceFBIPPDiagram::Device() const { return deviceGone_ ? nullptr : device_; }

bool TfrmDeviceFBIPPDiagram::saveTo(const std::string& file)
{
    try {
        SaveToFile(*diagram_, file);
    } catch (const std::exception& e) {
        workbench_.UI().ShowMessage(e.what());
        return false;
    }
    return true;
}

bool TfrmDeviceFBIPPDiagram::SaveClick()
{
    TslDevice* device = Device();
    if (!device)
        return false;
    std::string file = diagram_->FileName;
    if (file.empty() || !std::filesystem::exists(file)) {
        const QString chosen = AskSaveFileName ? AskSaveFileName() : QString();
        if (chosen.isEmpty())
            return false;
        file = chosen.toStdString();
        if (file.find(".dfb") == std::string::npos)
            file += ".dfb";
    }
    if (!saveTo(file))
        return false;
    device->InternalDeviceDiagramFilename = file;
    setWindowTitle(windowTitle() + QStringLiteral(" <") + QString::fromStdString(file) + QStringLiteral(">"));
    if (main_)
        main_->RefreshSystemLayerTree();
    return true;
}

void TfrmDeviceFBIPPDiagram::InsertDeviceIppClick()
{
    TslDevice* device = Device();
    if (!device)
        return;
    auto ipp = std::make_unique<TslIPPRef>(&workbench_.SystemLayer());
    ipp->Name = "UnnamedIPP";
    ipp->Owner = device;
    if (!EditIppProperties(this, workbench_, *ipp, nullptr) || ipp->Name == "UnnamedIPP")
        return;
    TslIPPRef* added = device->AddIppRef(std::move(ipp));
    if (layerWindow_)
        layerWindow_->Push(new TIppPresenceCommand(layerWindow_->Keys(), &workbench_.FBManager(), *added, true,
                                                   QStringLiteral("Add IPP %1").arg(QString::fromStdString(added->Name))));
    editor_->AddIppPicture(added, 50, 50);
    diagram_->RebuildLines();
    editor_->PaintDiagram();
}

void TfrmDeviceFBIPPDiagram::closeEvent(QCloseEvent* event)
{
    if (Device()) {
        const std::string file = diagram_->FileName;
        // The diagram goes with the window: a box left without an answer,
        // or a save that did not happen, keeps the window open.
        const TAnswer answer = workbench_.UI().AskYesNoCancel("Save changes of the device internal diagram " + file + " ?");
        if (answer == TAnswer::Cancel || (answer == TAnswer::Yes && !SaveClick())) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

// Escape closes the window as its close button does: through the question.
void TfrmDeviceFBIPPDiagram::reject() { close(); }

void RunDeviceDiagramWindow(TWorkbench& workbench, TMainForm* main, TslDevice& device, QWidget* parent)
{
    TfrmDeviceFBIPPDiagram window(workbench, main, device, qobject_cast<TfrmSystemLayer*>(parent), parent);
    window.setWindowState(Qt::WindowMaximized);
    window.exec();
}

} // namespace telvo
