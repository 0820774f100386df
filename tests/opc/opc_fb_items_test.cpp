// OPC FB instances for a device's items: the type by the item's type text,
// the three parameters, and a process-interface diagram that keeps them
// through a save and a read.

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/user_interface.h"
#include "opc/opc_fb_items.h"
#include "persistence/network_file.h"
#include "support/test_support.h"
#include "systemlayer/system_layer.h"
#include "workbench/workbench.h"

#include <gtest/gtest.h>

namespace telvo {
namespace {

class OpcFBItems : public ::testing::Test {
protected:
    OpcFBItems()
    {
        std::filesystem::create_directories(home_.Path() / "library");
        std::filesystem::copy(test::SourceDir() / "library" / "opc", home_.Path() / "library" / "opc",
                              std::filesystem::copy_options::recursive);
    }
    std::unique_ptr<TWorkbench> bench()
    {
        auto b = std::make_unique<TWorkbench>(home_.Path(), ui_);
        b->IndexLibrary();
        return b;
    }
    static std::string param(const TFB_Instance* i, const char* port)
    {
        return i->Ref->FindDataInput(port)->ValueText;
    }
    test::TempDir home_;
    TRecordingUserInterface ui_;
};

TEST_F(OpcFBItems, TypeByItemTypeText)
{
    struct Case {
        const char* Text;
        const char* Type;
    };
    for (const Case c : {Case{"Integer", "OPCInteger"}, Case{"Unsigned Short(Byte)", "OPCInteger"},
                         Case{"DWORD", "OPCInteger"}, Case{"Shortint", "OPCInteger"}, Case{"Smallint", "OPCInteger"},
                         Case{"WORD", "OPCInteger"}, Case{"BOOL", "OPCBool"}, Case{"Currency", "OPCReal"},
                         Case{"Real8", "OPCReal"}, Case{"Real4", "OPCReal"}, Case{"String", "OPCString"},
                         Case{"Binary String", "OPCString"}, Case{"Date", ""}, Case{"(ARRAY) Integer", ""},
                         Case{"Variant", ""}, Case{"Int64", ""}})
        EXPECT_EQ(OpcFBTypeForItem(c.Text), c.Type) << c.Text;
}

TEST_F(OpcFBItems, InstancesWithTheirParametersSurviveSaveAndRead)
{
    const auto file = (home_ / "OPC1.dfb").string();
    {
        auto b = bench();
        auto* device = dynamic_cast<TslOPCDevice*>(b->SystemLayer().AddObject("OPC1", slOPCDevice));
        ASSERT_NE(device, nullptr);
        device->OPCServerName = "Telvo Test Server";
        device->OPCMachineName = "127.0.0.1:4841";
        TFB_Diagram* d = b->FBManager().CreateDiagram("SysLayer_InternalDevice_OPC1", 1.0);
        d->IsInternalDeviceDiagram = true;
        TFB_Instance* real = AddOpcFBInstance(*d, *device, "Real4", "ns=1;s=Tank.Pressure");
        ASSERT_NE(real, nullptr);
        EXPECT_EQ(real->Ref->Type->Name, "OPCReal");
        EXPECT_EQ(param(real, "OPCItem"), "ns=1;s=Tank.Pressure");
        ASSERT_NE(AddOpcFBInstance(*d, *device, "BOOL", "Plant/Tank/Running"), nullptr);
        EXPECT_EQ(AddOpcFBInstance(*d, *device, "(ARRAY) Real8", "ns=1;s=Tank.Curve"), nullptr);
        EXPECT_EQ(AddOpcFBInstance(*d, *device, "Date", "ns=1;s=Tank.Since"), nullptr);
        TFB_Instance* kalo = AddKaloOpcFBInstance(*d, "StringFB");
        ASSERT_NE(kalo, nullptr);
        EXPECT_EQ(kalo->Ref->Type->Name, "OPCString");
        EXPECT_EQ(param(kalo, "OPCServerName"), "KALO_OPC_SERVER");
        EXPECT_EQ(param(kalo, "OPCItem"), "[ENTER ITEM NAME HERE]");
        EXPECT_EQ(AddKaloOpcFBInstance(*d, "DateFB"), nullptr);
        ASSERT_EQ(d->DrawnInstances.size(), 3u);
        SaveToFile(*d, file);
    }
    auto b = bench();
    TFB_Diagram* d = b->FBManager().CreateDiagram("again", 1.0);
    LoadFromFile(*d, file);
    ASSERT_EQ(d->DrawnInstances.size(), 3u);
    EXPECT_TRUE(d->IsInternalDeviceDiagram);
    const TFB_Instance* real = d->DrawnInstances[0].get();
    EXPECT_EQ(real->Ref->Type->Name, "OPCReal");
    EXPECT_EQ(param(real, "OPCServerName"), "Telvo Test Server");
    EXPECT_EQ(param(real, "OPCMachine"), "127.0.0.1:4841");
    EXPECT_EQ(param(real, "OPCItem"), "ns=1;s=Tank.Pressure");
    EXPECT_EQ(param(d->DrawnInstances[1].get(), "OPCItem"), "Plant/Tank/Running");
    EXPECT_EQ(param(d->DrawnInstances[2].get(), "OPCItem"), "[ENTER ITEM NAME HERE]");
    EXPECT_TRUE(ui_.Messages().empty()) << ui_.Messages().front();
}

} // namespace
} // namespace telvo
