// "OPC Device Properties" on the offscreen platform against the node-opcua
// test server: listing the machine's servers, testing a connection, storing
// the choice; a machine that does not answer leaves the list empty.

#include "model/user_interface.h"
#include "opc_test_server.h"
#include "support/test_support.h"
#include "systemlayer/system_layer.h"
#include "ui/opc/opc_device_properties.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace telvo {
namespace {

bool waitUntil(const std::function<bool()>& done, int ms = 15000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return done();
        QTest::qWait(5);
    }
    return true;
}

class OpcDeviceWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<test::OpcTestServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    OpcDeviceWindow()
    {
        device_ = dynamic_cast<TslOPCDevice*>(layer_.AddObject("OPC_Device1", slOPCDevice));
        device_->TypeName = "OPC Data Access 3.0";
        device_->Description = "Tank farm";
    }

    static std::unique_ptr<test::OpcTestServer> server_;
    TSystemLayerManager layer_;
    TslOPCDevice* device_ = nullptr;
    TRecordingUserInterface ui_;
};

std::unique_ptr<test::OpcTestServer> OpcDeviceWindow::server_;

TEST_F(OpcDeviceWindow, FindsTestsAndStoresAServer)
{
    TELVO_REQUIRE_OPC_SERVER(*server_);
    TfrmOPCdeviceProperties w(*device_, ui_);
    w.show();
    EXPECT_EQ(w.windowTitle(), "OPC Device Properties");
    EXPECT_EQ(w.edName->text(), "OPC_Device1");
    EXPECT_EQ(w.cbType->currentText(), "OPC Data Access 3.0");
    EXPECT_EQ(w.lblServerName->text(), "Please select a server from the list");
    EXPECT_TRUE(w.lblServerName->font().bold());
    QStringList tabs;
    for (int i = 0; i < w.pcPages->count(); ++i)
        tabs << w.pcPages->tabText(i);
    EXPECT_EQ(tabs, (QStringList{"Server", "IPPs <-> OPC items ", "Vendor", "Downloaded FBs"}));

    w.edMachine->setText(QString::fromStdString("127.0.0.1:" + server_->Port()));
    QTest::mouseClick(w.btnListServers, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !w.Busy() && w.lvServers->topLevelItemCount() > 0; }));
    QTreeWidgetItem* row = w.lvServers->topLevelItem(0);
    EXPECT_EQ(row->text(0), "Telvo Test Server");
    EXPECT_EQ(row->text(1), "urn:telvo:test:server");
    EXPECT_EQ(row->text(2).toStdString(), server_->Endpoint());

    w.lvServers->setCurrentItem(row);
    EXPECT_EQ(w.lblServerName->text(), "Telvo Test Server");
    QTest::mouseClick(w.btnTestConnection, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !ui_.Messages().empty(); }));
    EXPECT_EQ(ui_.Messages().back(), "Connected!");

    if (const char* shot = std::getenv("TELVO_OPC_SCREENSHOT"))
        w.grab().save(shot);

    w.edName->setText("Tanks");
    w.cbType->setCurrentText("OPC Data Access 2.0");
    QTest::mouseClick(w.btnOK, Qt::LeftButton);
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_EQ(device_->Name, "Tanks");
    EXPECT_EQ(device_->TypeName, "OPC Data Access 2.0");
    EXPECT_EQ(device_->Description, "Tank farm");
    EXPECT_EQ(device_->OPCServerName, "Telvo Test Server");
    EXPECT_EQ(device_->OPCMachineName, "127.0.0.1:" + server_->Port());
}

TEST_F(OpcDeviceWindow, StoredServerIsSelectedOrMissed)
{
    TELVO_REQUIRE_OPC_SERVER(*server_);
    device_->OPCMachineName = "127.0.0.1:" + server_->Port();
    device_->OPCServerName = "Telvo Test Server";
    {
        TfrmOPCdeviceProperties w(*device_, ui_);
        ASSERT_TRUE(waitUntil([&] { return !w.Busy() && w.lvServers->topLevelItemCount() > 0; }));
        EXPECT_EQ(w.lblServerName->text(), "Telvo Test Server");
        ASSERT_NE(w.lvServers->currentItem(), nullptr);
        EXPECT_TRUE(ui_.Messages().empty());
    }
    device_->OPCServerName = "Boiler Server";
    TfrmOPCdeviceProperties w(*device_, ui_);
    // Opening the window asks nothing: the window shows what it found.
    ASSERT_TRUE(waitUntil([&] { return !w.Busy() && w.lvServers->topLevelItemCount() > 0; }));
    EXPECT_TRUE(ui_.Messages().empty()) << ui_.Messages().front();
    EXPECT_EQ(w.lblServerState->text().toStdString(),
              "Cannot find OPC Server Boiler Server on 127.0.0.1:" + server_->Port() + ".");
    // The user lists the servers: now it is said.
    QTest::mouseClick(w.btnListServers, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !ui_.Messages().empty(); }));
    EXPECT_EQ(ui_.Messages().back(), "Cannot find OPC Server Boiler Server");
    // Cancel keeps what was stored.
    QTest::mouseClick(w.btnCancel, Qt::LeftButton);
    EXPECT_EQ(device_->OPCServerName, "Boiler Server");
}

TEST_F(OpcDeviceWindow, TheStoredServerFoundIsShownInTheWindow)
{
    TELVO_REQUIRE_OPC_SERVER(*server_);
    device_->OPCMachineName = "127.0.0.1:" + server_->Port();
    device_->OPCServerName = "Telvo Test Server";
    TfrmOPCdeviceProperties w(*device_, ui_);
    EXPECT_TRUE(w.lblServerState->text().startsWith("Looking for Telvo Test Server"));
    ASSERT_TRUE(waitUntil([&] { return !w.Busy() && w.lvServers->topLevelItemCount() > 0; }));
    EXPECT_EQ(w.lblServerState->text().toStdString(),
              "Telvo Test Server found on 127.0.0.1:" + server_->Port() + ".");
}

// OPC UA knows no Data Access categories; where it can tell (servers
// from clients and discovery servers) the Data Access types list servers
// only, and the type field names OPC UA for a device that names no
// Data Access version.
TEST(OpcDeviceCategories, ServersListedPerType)
{
    struct Case {
        int ApplicationType;
        const char* Type;
        bool Listed;
    };
    const Case cases[] = {
        {0, "OPC Data Access 2.0", true},  {2, "OPC Data Access 1.0", true},
        {1, "OPC Data Access 3.0", false}, {3, "OPC Data Access 2.0", false},
        {3, "OPC UA (no Data Access categories)", true}, {1, "OPC UA (no Data Access categories)", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ListedForType(c.ApplicationType, c.Type), c.Listed) << c.ApplicationType << " " << c.Type;
}

TEST_F(OpcDeviceWindow, TheTypeFieldSaysWhatTheServersAre)
{
    device_->TypeName.clear();
    TfrmOPCdeviceProperties w(*device_, ui_);
    QStringList entries;
    for (int i = 0; i < w.cbType->count(); ++i)
        entries << w.cbType->itemText(i);
    EXPECT_EQ(entries, (QStringList{"OPC Data Access 1.0", "OPC Data Access 2.0", "OPC Data Access 3.0",
                                    "OPC UA (no Data Access categories)"}));
    EXPECT_EQ(w.cbType->currentText(), "OPC UA (no Data Access categories)");
    EXPECT_TRUE(w.lblCategoryNote->text().startsWith("OPC UA has no Data Access categories"));
}

// The "IPPs <-> OPC items " page shows the OPC item each IPP reaches
// through its OPC FB in the internal diagram, and edits it there.
TEST_F(OpcDeviceWindow, TheIppPageShowsAndEditsTheOpcItems)
{
    test::TempDir dir;
    const std::string dfb = dir.Write("feeder.dfb", R"(<?xml version="1.0" encoding="UTF-8"?>
<FBNetwork IsInternalDeviceDiagram="true">
  <FB Name="valve_item" Type="OPCBool" x="900" y="600"/>
  <FB Name="level_item" Type="OPCInteger" x="900" y="1700"/>
  <DataConnections>
    <Connection Source="Telvo Test Server" Destination="valve_item.OPCServerName"/>
    <Connection Source="ns=1;s=Feeder.Valve" Destination="valve_item.OPCItem"/>
  </DataConnections>
  <FBIPPConnections>
    <Connection Source="OPC_Device1.Valve" Destination="valve_item.OPCWriteVal"/>
  </FBIPPConnections>
  <FBIPPConnections>
    <Connection Source="OPC_Device1.Level" Destination="level_item.OPCReadVal"/>
  </FBIPPConnections>
</FBNetwork>
)").string();
    device_->InternalDeviceDiagramFilename = dfb;
    for (const char* name : {"Valve", "Level", "Spare"}) {
        auto ipp = std::make_unique<TslIPPRef>();
        ipp->Name = name;
        ipp->Owner = device_;
        device_->AddIppRef(std::move(ipp));
    }
    TfrmOPCdeviceProperties w(*device_, ui_);
    ASSERT_EQ(w.grIPPs->columnCount(), 4);
    EXPECT_EQ(w.grIPPs->horizontalHeaderItem(3)->text(), "OPC item");
    ASSERT_EQ(w.grIPPs->rowCount(), 3);
    EXPECT_EQ(w.grIPPs->item(0, 3)->text(), "ns=1;s=Feeder.Valve");
    EXPECT_EQ(w.grIPPs->item(1, 3)->text(), ""); // an OPC FB without its item yet
    EXPECT_FALSE(w.grIPPs->item(2, 3)->flags() & Qt::ItemIsEditable) << "no OPC FB behind Spare";
    EXPECT_TRUE(w.grIPPs->item(0, 3)->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(w.grIPPs->item(0, 0)->flags() & Qt::ItemIsEditable);

    // Typed into the cells, as the user does.
    w.show();
    const auto type = [&](int row, const char* text) {
        w.pcPages->setCurrentWidget(w.grIPPs);
        w.grIPPs->setCurrentCell(row, 3);
        w.grIPPs->editItem(w.grIPPs->item(row, 3));
        QLineEdit* editor = nullptr; // the one open now; a closed one may not be gone yet
        for (QLineEdit* e : w.grIPPs->viewport()->findChildren<QLineEdit*>())
            if (e->isVisible())
                editor = e;
        ASSERT_NE(editor, nullptr);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents(); // the closed editor goes
    };
    type(0, "ns=1;s=Feeder.Inlet");
    type(1, "ns=1;s=Feeder.Level");
    EXPECT_EQ(w.grIPPs->item(1, 3)->text(), "ns=1;s=Feeder.Level");
    EXPECT_EQ(ReadIppOpcItems(dfb).at("OPC_Device1.Valve"), "ns=1;s=Feeder.Valve") << "nothing written before OK";
    QTest::mouseClick(w.btnOK, Qt::LeftButton);
    const auto items = ReadIppOpcItems(dfb);
    EXPECT_EQ(items.at("OPC_Device1.Valve"), "ns=1;s=Feeder.Inlet");
    EXPECT_EQ(items.at("OPC_Device1.Level"), "ns=1;s=Feeder.Level") << test::ReadFile(dfb);
    EXPECT_EQ(items.count("OPC_Device1.Spare"), 0u);
}

// "Go To Internal Device Diagram..." works with the server chosen in the
// window, before OK stores it.
TEST_F(OpcDeviceWindow, TheDiagramIsOpenedForTheServerChosenInTheWindow)
{
    TELVO_REQUIRE_OPC_SERVER(*server_);
    const std::string oldMachine = "127.0.0.1:" + test::FreeLocalPort(); // nothing answers there
    device_->OPCServerName = "Old Server";
    device_->OPCMachineName = oldMachine;
    TfrmOPCdeviceProperties w(*device_, ui_);
    ASSERT_TRUE(waitUntil([&] { return !w.Busy(); }));
    w.edMachine->setText(QString::fromStdString("127.0.0.1:" + server_->Port()));
    QTest::mouseClick(w.btnListServers, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !w.Busy() && w.lvServers->topLevelItemCount() > 0; }));
    w.lvServers->setCurrentItem(w.lvServers->topLevelItem(0));
    std::string seenServer, seenMachine;
    QObject::connect(&w, &TfrmOPCdeviceProperties::GoToInternalDiagramRequested, &w, [&](TslOPCDevice* d) {
        seenServer = d->OPCServerName;
        seenMachine = d->OPCMachineName;
    });
    QTest::mouseClick(w.btnGoToInternalDiagram, Qt::LeftButton);
    EXPECT_EQ(seenServer, "Telvo Test Server");
    EXPECT_EQ(seenMachine, "127.0.0.1:" + server_->Port());
    // Not stored until OK.
    EXPECT_EQ(device_->OPCServerName, "Old Server");
    EXPECT_EQ(device_->OPCMachineName, oldMachine);
    QTest::mouseClick(w.btnOK, Qt::LeftButton);
    EXPECT_EQ(device_->OPCServerName, "Telvo Test Server");
}

TEST_F(OpcDeviceWindow, UnreachableMachineGivesAnEmptyList)
{
    TfrmOPCdeviceProperties w(*device_, ui_);
    w.edMachine->setText(QString::fromStdString("127.0.0.1:" + test::FreeLocalPort()));
    w.btnListServersClick();
    EXPECT_FALSE(w.btnListServers->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !w.Busy(); }));
    EXPECT_EQ(w.lvServers->topLevelItemCount(), 0);
    EXPECT_TRUE(w.btnListServers->isEnabled());
    // Nothing selected: "Test Connection" does nothing, OK stores no server.
    w.btnTestConnectionClick();
    EXPECT_FALSE(w.Busy());
    w.btnOKClick();
    EXPECT_EQ(device_->OPCServerName, "");
}

TEST_F(OpcDeviceWindow, IppGridRows)
{
    {
        TfrmOPCdeviceProperties w(*device_, ui_);
        ASSERT_EQ(w.grIPPs->rowCount(), 1); // one empty data row
        EXPECT_EQ(w.grIPPs->item(0, 0), nullptr);
        EXPECT_EQ(w.grIPPs->horizontalHeaderItem(1)->text(), "Sensor/Actuator");
    }
    auto own = std::make_unique<TslIPPRef>();
    own->Name = "Level";
    own->TypeName = "INT";
    device_->AddIppRef(std::move(own));
    auto valve = std::make_unique<TslIPPRef>();
    valve->Name = "Valve";
    valve->TypeName = "BOOL";
    valve->SensorActuator = TslIPPRef::Actuator;
    TslIPPRef* v = device_->AddIppRef(std::move(valve));
    TfrmOPCdeviceProperties w(*device_, ui_);
    ASSERT_EQ(w.grIPPs->rowCount(), 2);
    EXPECT_EQ(w.grIPPs->item(0, 0)->text(), "Level");
    EXPECT_EQ(w.grIPPs->item(0, 1)->text(), "Sensor (READ)");
    EXPECT_EQ(w.grIPPs->item(1, 1)->text(), "Actuator (WRITE)");
    EXPECT_EQ(w.grIPPs->item(1, 2)->text(), "BOOL");
    (void)v;
}

} // namespace
} // namespace telvo

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/fb_type.h"
#include "persistence/network_file.h"
#include "support/test_support.h"
#include "ui/diagram/diagram_renderer.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "ui/opc/opc_windows.h"

#include <QPainter>
#include "ui/systemlayer/device_diagram_window.h"
#include "ui/systemlayer/sl_dialogs.h"
#include "ui/systemlayer/sl_editor.h"
#include "workbench/workbench.h"

#include <QTimer>

namespace telvo {
namespace {

class OpcDeviceDiagram : public OpcDeviceWindow {
protected:
    OpcDeviceDiagram()
    {
        std::filesystem::create_directories(home_.Path() / "library");
        std::filesystem::copy(test::SourceDir() / "library" / "opc", home_.Path() / "library" / "opc",
                              std::filesystem::copy_options::recursive);
        bench_ = std::make_unique<TWorkbench>(home_.Path(), ui_);
        bench_->IndexLibrary();
        opcDevice_ = dynamic_cast<TslOPCDevice*>(bench_->SystemLayer().AddObject("Feeder", slOPCDevice));
    }
    test::TempDir home_;
    std::unique_ptr<TWorkbench> bench_;
    TslOPCDevice* opcDevice_ = nullptr;
};

TEST_F(OpcDeviceDiagram, ItemsOfTheServerBecomeOpcFBsWithTheirParameters)
{
    TELVO_REQUIRE_OPC_SERVER(*server_);
    opcDevice_->OPCServerName = "Telvo Test Server";
    opcDevice_->OPCMachineName = "127.0.0.1:" + server_->Port();
    TfrmDeviceFBIPPDiagram window(*bench_, nullptr, *opcDevice_, nullptr);
    FillOpcPanel(window);
    auto* items = window.OpcPanel()->findChild<QComboBox*>("cbOPCItems");
    auto* kalo = window.OpcPanel()->findChild<QComboBox*>("cbKALOItems");
    ASSERT_NE(items, nullptr);
    ASSERT_NE(kalo, nullptr);
    window.show();
    items->showPopup();
    items->hidePopup();
    ASSERT_EQ(items->count(), 308) << (ui_.Messages().empty() ? "" : ui_.Messages().back());
    const int pressure = items->findText("ns=1;s=Tank.Pressure | Real4 (READ/WRITE)");
    ASSERT_GE(pressure, 0);
    EXPECT_GE(items->findText("ns=1;s=Tank.Serial | String (READ ONLY)"), 0);
    emit items->activated(pressure);
    emit kalo->activated(2); // BooleanFB
    if (const char* shot = std::getenv("TELVO_OPC_PANEL_SCREENSHOT"))
        window.grab().save(shot);
    TFB_Diagram* d = window.Diagram();
    ASSERT_EQ(d->DrawnInstances.size(), 2u);
    const auto file = (home_ / "Feeder.dfb").string();
    SaveToFile(*d, file);

    TFB_Diagram* again = bench_->FBManager().CreateDiagram("again", 1.0);
    LoadFromFile(*again, file);
    ASSERT_EQ(again->DrawnInstances.size(), 2u);
    const TFB_InstanceRef* real = again->DrawnInstances[0]->Ref;
    EXPECT_EQ(real->Type->Name, "OPCReal");
    EXPECT_EQ(real->FindDataInput("OPCServerName")->ValueText, "Telvo Test Server");
    EXPECT_EQ(real->FindDataInput("OPCMachine")->ValueText, "127.0.0.1:" + server_->Port());
    EXPECT_EQ(real->FindDataInput("OPCItem")->ValueText, "ns=1;s=Tank.Pressure");
    const TFB_InstanceRef* boolean = again->DrawnInstances[1]->Ref;
    EXPECT_EQ(boolean->Type->Name, "OPCBool");
    EXPECT_EQ(boolean->FindDataInput("OPCServerName")->ValueText, "KALO_OPC_SERVER");
}

// The diagram opens over the properties window (which stays on top), so
// that the window's buttons are not left under a modal diagram.
TEST_F(OpcDeviceDiagram, TheDiagramOpensOverThePropertiesWindow)
{
    InstallOpcWindows();
    TfrmSystemLayer layer(*bench_, nullptr);
    std::unique_ptr<QDialog> dialog(OpcDevicePropertiesFactory(layer, *opcDevice_));
    ASSERT_NE(dialog, nullptr);
    dialog->show();
    auto* properties = static_cast<TfrmOPCdeviceProperties*>(dialog.get());
    QWidget* opened = nullptr;
    QWidget* openedParent = nullptr;
    QTimer::singleShot(0, [&] {
        waitUntil([&] { return qobject_cast<TfrmDeviceFBIPPDiagram*>(QApplication::activeModalWidget()); }, 5000);
        opened = QApplication::activeModalWidget();
        if (opened) {
            openedParent = opened->parentWidget();
            opened->close(); // the saving question: No (the recording answer)
        }
    });
    QTest::mouseClick(properties->btnGoToInternalDiagram, Qt::LeftButton);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(openedParent, dialog.get());
}

// An OPC FB's port names on one row (OPCServerName beside OPCReadVal)
// stand apart: the block is wide enough for both, in the font it is drawn
// with.
TEST_F(OpcDeviceDiagram, TheOpcFBsPortNamesDoNotRunIntoEachOther)
{
    TfrmDeviceFBIPPDiagram window(*bench_, nullptr, *opcDevice_, nullptr);
    window.show();
    for (const char* type : {"OPCInteger", "OPCBool", "OPCReal", "OPCString"}) {
        TFB_Instance* inst = window.Editor()->AddInstanceOfType(type);
        ASSERT_NE(inst, nullptr) << type;
        window.Editor()->PaintDiagram();
        QImage surface(8, 8, QImage::Format_RGB32);
        QPainter painter(&surface);
        QFont font(QStringLiteral("Arial"));
        font.setPointSize(std::max(DiagramFontPoints(inst->Scale), 1));
        font.setStyleHint(QFont::SansSerif);
        painter.setFont(font);
        const QFontMetrics fm = painter.fontMetrics();
        const TFB_Type& t = *inst->Ref->Type;
        for (size_t i = 0; i < std::min(t.DataInputs.size(), t.DataOutputs.size()); ++i) {
            const int both = fm.horizontalAdvance(QString::fromStdString(t.DataInputs[i]->Name)) +
                             fm.horizontalAdvance(QString::fromStdString(t.DataOutputs[i]->Name));
            // The names' boxes start 2 pixels in and end 4 pixels short.
            EXPECT_LT(both + 6, inst->Width) << type << " row " << i;
        }
    }
}

TEST_F(OpcDeviceDiagram, WithoutAServerTheListSaysSo)
{
    TfrmDeviceFBIPPDiagram window(*bench_, nullptr, *opcDevice_, nullptr);
    FillOpcPanel(window);
    auto* items = window.OpcPanel()->findChild<QComboBox*>("cbOPCItems");
    items->showPopup();
    items->hidePopup();
    EXPECT_EQ(items->count(), 0);
    ASSERT_FALSE(ui_.Messages().empty());
    EXPECT_EQ(ui_.Messages().back(), "Please select an OPC server from Device Properties window");
}

} // namespace
} // namespace telvo
