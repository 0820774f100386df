// Distributing FB instances by dragging them from an FB diagram onto devices
// of the system layer window, and the drops that are refused.

#include "sl_fixture.h"

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "workbench/project_lifecycle.h"

#include <QAction>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUndoStack>

#include <map>
#include <set>

namespace telvo::test {
namespace {

class DistributionTest : public SlFixture {
protected:
    void SetUp() override
    {
        SlFixture::SetUp();
        OpenExample();
        // Every record back from its device: the drops have work to do.
        for (const auto& o : Layer().Objects)
            if (auto* device = dynamic_cast<TslDevice*>(o.get()))
                while (!device->DownloadedFBInstanceList.empty())
                    UnassignInstance(device, device->DownloadedFBInstanceList.back());
        for (const auto& d : Workbench->FBManager().Diagrams)
            if (d->Name == "Filling line")
                Line = d.get();
        ASSERT_NE(Line, nullptr);
        FBEditor = std::make_unique<TfrmDesignFBDiagram>(*Workbench, nullptr);
        FBEditor->resize(800, 600);
        FBEditor->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(FBEditor.get()));
        FBEditor->AttachDiagram(Line);
        FBEditor->StartDrag = [this](QMimeData* data) { Dragged.reset(data); };
    }
    void TearDown() override
    {
        FBEditor.reset();
        SlFixture::TearDown();
    }

    // Selects the instance in the FB diagram and starts a Ctrl-drag there.
    const QMimeData* StartDrag(const std::string& instance)
    {
        Dragged.reset();
        Line->ClearSelection();
        if (TFB_Instance* drawn = Line->FindDrawn(instance))
            Line->Select(drawn);
        FBEditor->MouseDown(5, 5, Qt::LeftButton, Qt::ControlModifier);
        return Dragged.get();
    }

    TFB_Diagram* Line = nullptr;
    std::unique_ptr<TfrmDesignFBDiagram> FBEditor;
    std::unique_ptr<QMimeData> Dragged;
};

// The instances each device's XML command set creates as downloaded ones.
std::map<std::string, std::set<std::string>> downloadedBySet(const std::string& xml)
{
    std::map<std::string, std::set<std::string>> sets;
    std::string device;
    size_t at = 0;
    while (true) {
        const size_t nextSet = xml.find("DEVICENAME=\"", at);
        const size_t nextCreate = xml.find("(DOWNLOADED)", at);
        if (nextSet == std::string::npos && nextCreate == std::string::npos)
            break;
        if (nextSet < nextCreate) {
            const size_t start = nextSet + 12;
            device = xml.substr(start, xml.find('"', start) - start);
            sets[device];
            at = start;
            continue;
        }
        // The second STRING argument is the instance name.
        size_t s = xml.find("<STRING>", nextCreate);
        s = xml.find("<STRING>", s + 8) + 8;
        sets[device].insert(xml.substr(s, xml.find("</STRING>", s) - s));
        at = s;
    }
    return sets;
}

TEST_F(DistributionTest, ThreeDroppedInstancesReachTheCommandSetsOfTheirDevices)
{
    const std::pair<const char*, const char*> drops[] = {
        {"bottle_split", "IEC_Device0"}, {"motor", "IEC_Device0"}, {"station", "IEC_Device1"}};
    for (const auto& [instance, device] : drops) {
        const QMimeData* data = StartDrag(instance);
        ASSERT_NE(data, nullptr) << instance;
        TslObject* target = Layer().FindByName(device);
        EXPECT_TRUE(Window->DragOver(FBEditor->PaintBox(), data, Centre(*target).x(), Centre(*target).y()));
        EXPECT_EQ(Window->DropTarget(), target);
        ASSERT_TRUE(Window->Drop(FBEditor->PaintBox(), data, Centre(*target).x(), Centre(*target).y())) << instance;
        EXPECT_EQ(Workbench->FBManager().FindInstance(instance)->Device, target) << instance;
    }
    auto* device0 = static_cast<TslDevice*>(Layer().FindByName("IEC_Device0"));
    ASSERT_EQ(device0->DownloadedFBInstanceList.size(), 2u);
    EXPECT_EQ(device0->DownloadedFBInstanceList[1]->Name, "motor");
    // Two FB symbols stacked at the device's lower left corner.
    Window->Render();
    const int L = device0->Left, B = device0->Top + device0->Height;
    EXPECT_EQ(Window->Image().pixel(L + 2 + 5, B - 2 - 8) & 0xFFFFFF, 0xFFFAF0u);
    EXPECT_EQ(Window->UndoStack()->count(), 3);

    SaveProject(*Workbench);
    auto r = RunProcess(TELVO_CLI_PATH, {"--home", Home.Path().string(), "deploy", ProjectFile, "--form", "xml"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const auto sets = downloadedBySet(r.Out);
    ASSERT_TRUE(sets.count("IEC_Device0") && sets.count("IEC_Device1")) << r.Out;
    EXPECT_EQ(sets.at("IEC_Device0"), (std::set<std::string>{"bottle_split", "motor"}));
    EXPECT_EQ(sets.at("IEC_Device1"), (std::set<std::string>{"station"}));
}

TEST_F(DistributionTest, DropsThatAreRefused)
{
    TslObject* opc = Layer().FindByName("OPC_Device0");
    TslObject* device = Layer().FindByName("IEC_Device0");
    const QMimeData* data = StartDrag("motor");
    ASSERT_NE(data, nullptr);

    const std::string notHere = "An FB instance can be dropped only on an IEC compliant device.";
    const std::string notOurs = "Only an FB instance selected in a diagram of this project can be dropped here.";
    struct TCase {
        const char* Name;
        QObject* Source;
        QPoint At;
        const std::string& Hint;
    };
    const TCase cases[] = {
        {"on an OPC device", FBEditor->PaintBox(), Centre(*opc), notHere},
        {"on empty space", FBEditor->PaintBox(), QPoint(5, 700), notHere},
        {"from outside this program", nullptr, Centre(*device), notOurs},
        {"from another widget", FBEditor.get(), Centre(*device), notOurs},
    };
    for (const TCase& c : cases) {
        EXPECT_FALSE(Window->DragOver(c.Source, data, c.At.x(), c.At.y())) << c.Name;
        EXPECT_FALSE(Window->Drop(c.Source, data, c.At.x(), c.At.y())) << c.Name;
        EXPECT_EQ(UI.Hints().back().Text, c.Hint) << c.Name;
        EXPECT_EQ(Window->StatusText().toStdString(), c.Hint) << c.Name;
    }
    // Nothing selected in the diagram.
    Line->ClearSelection();
    EXPECT_FALSE(Window->Drop(FBEditor->PaintBox(), data, Centre(*device).x(), Centre(*device).y()));

    // A diagram of another project (another workbench) in this program.
    TempDir otherHome;
    TRecordingUserInterface otherUi;
    TWorkbench other(otherHome.Path(), otherUi);
    TFB_Diagram* foreign = other.FBManager().CreateDiagram("Foreign", 1.0);
    TfrmDesignFBDiagram foreignEditor(other, nullptr);
    foreignEditor.AttachDiagram(foreign);
    EXPECT_FALSE(Window->Drop(foreignEditor.PaintBox(), data, Centre(*device).x(), Centre(*device).y()));

    // The pop-up submenu distributes to an OPC device.
    Click(Centre(*opc));
    Window->UpdateContextMenu();
    for (QAction* item : Window->DownloadMenu()->actions())
        if (item->text() == QStringLiteral("motor (E_SR)"))
            item->trigger();
    EXPECT_EQ(Workbench->FBManager().FindInstance("motor")->Device, opc);
    EXPECT_TRUE(static_cast<TslDevice*>(device)->DownloadedFBInstanceList.empty());
    // A record on a device already is not taken by a drop elsewhere.
    Line->Select(Line->FindDrawn("motor"));
    EXPECT_FALSE(Window->Drop(FBEditor->PaintBox(), data, Centre(*device).x(), Centre(*device).y()));
    EXPECT_EQ(Workbench->FBManager().FindInstance("motor")->Device, opc);
}

} // namespace
} // namespace telvo::test
