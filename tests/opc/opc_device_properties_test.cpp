// "OPC Device Properties" on the offscreen platform against the node-opcua
// test server: listing the machine's servers, testing a connection, storing
// the choice; a machine that does not answer leaves the list empty.

#include "model/user_interface.h"
#include "opc_test_server.h"
#include "systemlayer/system_layer.h"
#include "ui/opc/opc_device_properties.h"

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
    ASSERT_TRUE(waitUntil([&] { return !ui_.Messages().empty(); }));
    EXPECT_EQ(ui_.Messages().back(), "Cannot find OPC Server Boiler Server");
    // Cancel keeps what was stored.
    QTest::mouseClick(w.btnCancel, Qt::LeftButton);
    EXPECT_EQ(device_->OPCServerName, "Boiler Server");
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
