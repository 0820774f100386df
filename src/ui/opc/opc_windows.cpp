#include "ui/opc/opc_windows.h"

#include "model/fb_instance.h"
#include "model/user_interface.h"
#include "opc/opc_access.h"
#include "opc/opc_fb_items.h"
#include "systemlayer/system_layer.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "ui/opc/opc_device_properties.h"
#include "ui/systemlayer/device_diagram_window.h"
#include "ui/systemlayer/sl_dialogs.h"
#include "ui/systemlayer/sl_editor.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>

#include <memory>

namespace telvo {

namespace {

// "Add OPC FB:": the server's items are fetched when the list first opens.
class TOpcItemCombo : public QComboBox {
public:
    std::function<void()> BeforeFirstOpen;
    void showPopup() override
    {
        if (BeforeFirstOpen) {
            auto fill = std::move(BeforeFirstOpen);
            BeforeFirstOpen = nullptr;
            fill();
        }
        QComboBox::showPopup();
    }
};

} // namespace

void FillOpcPanel(TfrmDeviceFBIPPDiagram& window)
{
    auto* device = dynamic_cast<TslOPCDevice*>(window.Device());
    QWidget* panel = window.OpcPanel();
    if (!device || !panel || !panel->layout())
        return;
    TWorkbench& workbench = window.Workbench();
    auto* layout = static_cast<QHBoxLayout*>(panel->layout());
    auto* items = new TOpcItemCombo;
    items->setObjectName("cbOPCItems");
    items->setMinimumWidth(360);
    auto* kalo = new QComboBox;
    kalo->setObjectName("cbKALOItems");
    kalo->addItems({"IntegerFB", "RealFB", "BooleanFB", "StringFB"});
    kalo->setCurrentIndex(-1);
    layout->addWidget(new QLabel("Add OPC FB:"));
    layout->addWidget(items);
    layout->addWidget(new QLabel("Add KALO OPC FB:"));
    layout->addWidget(kalo);
    layout->addStretch(1);

    auto infos = std::make_shared<std::vector<opc::TOPCItemInfo>>();
    QPointer<TfrmDeviceFBIPPDiagram> guard(&window);
    items->BeforeFirstOpen = [device, infos, items, &workbench] {
        if (device->OPCServerName.empty()) {
            workbench.UI().ShowMessage("Please select an OPC server from Device Properties window");
            items->BeforeFirstOpen = nullptr;
            return;
        }
        // Bounded by the client's time-outs; the list is made once.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        try {
            opc::TClientOptions options;
            options.Timeout = std::chrono::milliseconds(3000);
            opc::TOpcUaClient client(options);
            client.Connect(opc::ResolveOpcEndpoint(device->OPCMachineName, device->OPCServerName, options));
            *infos = opc::ListOpcItems(client);
            for (const auto& i : *infos)
                items->addItem(QString::fromStdString(opc::OpcItemEntryText(i)));
            items->setCurrentIndex(-1);
        } catch (const opc::EOpcError& e) {
            workbench.UI().ShowMessage(e.what());
        }
        QApplication::restoreOverrideCursor();
    };
    QObject::connect(items, QOverload<int>::of(&QComboBox::activated), items, [guard, device, infos](int index) {
        if (!guard || index < 0 || size_t(index) >= infos->size())
            return;
        const opc::TOPCItemInfo& item = (*infos)[size_t(index)];
        const std::string type = OpcFBTypeForItem(item.TypeText);
        if (type.empty())
            return; // an array, a date, …: no OPC FB takes it
        if (TFB_Instance* inst = guard->Editor()->AddInstanceOfType(type)) {
            SetOpcFBParameters(*inst, device->OPCServerName, device->OPCMachineName, item.ItemID);
            guard->Editor()->PaintDiagram();
        }
    });
    QObject::connect(kalo, QOverload<int>::of(&QComboBox::activated), kalo, [guard, kalo](int index) {
        if (!guard || index < 0)
            return;
        static const char* const types[] = {"OPCInteger", "OPCReal", "OPCBool", "OPCString"};
        if (TFB_Instance* inst = guard->Editor()->AddInstanceOfType(types[index]))
            SetOpcFBParameters(*inst, "KALO_OPC_SERVER", "", "[ENTER ITEM NAME HERE]");
        guard->Editor()->PaintDiagram();
        kalo->setCurrentIndex(-1);
    });
}

void InstallOpcWindows()
{
    OpcDevicePropertiesFactory = [](TfrmSystemLayer& editor, TslDevice& device) -> QDialog* {
        auto* opc = dynamic_cast<TslOPCDevice*>(&device);
        if (!opc)
            return nullptr;
        auto* dialog = new TfrmOPCdeviceProperties(*opc, editor.Workbench().UI(), &editor);
        QPointer<TfrmSystemLayer> layer(&editor);
        QObject::connect(dialog, &TfrmOPCdeviceProperties::GoToInternalDiagramRequested, dialog,
                         [layer, dialog](TslOPCDevice* d) {
                             if (!layer)
                                 return;
                             // Opened over the properties window, which stays on
                             // top: beside it, the diagram would be covered by it
                             // while blocking its buttons.
                             TfrmDeviceFBIPPDiagram window(layer->Workbench(), layer->Main(), *d, layer.data(),
                                                           dialog);
                             window.setWindowState(Qt::WindowMaximized);
                             window.exec();
                         });
        QObject::connect(dialog, &QDialog::finished, dialog, [layer] {
            if (layer)
                layer->Render();
        });
        return dialog;
    };
    TfrmDeviceFBIPPDiagram::OpcPanelFactory = FillOpcPanel;
}

} // namespace telvo
