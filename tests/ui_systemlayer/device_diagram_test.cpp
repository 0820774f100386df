// The device process-interface diagram window.

#include "sl_fixture.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "ui/systemlayer/device_diagram_window.h"
#include "ui/systemlayer/sl_dialogs.h"
#include "ui/ui_test_support.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QUndoStack>

#include <filesystem>

namespace telvo::test {
namespace {

class DeviceDiagramTest : public SlFixture {
protected:
    void TearDown() override
    {
        RunIppDialog = [](QDialog& d) { return d.exec(); };
        SlFixture::TearDown();
    }
    TslDevice& Device(const char* name) { return *static_cast<TslDevice*>(Layer().FindByName(name)); }
};

TEST_F(DeviceDiagramTest, ShowsTheDeviceFileAndLeavesTheProjectAsItWas)
{
    OpenExample();
    const std::string before = ProjectText();
    const size_t diagrams = Workbench->FBManager().Diagrams.size();
    TslDevice& device = Device("IEC_Device0");
    ASSERT_FALSE(device.InternalDeviceDiagramFilename.empty());
    {
        TfrmDeviceFBIPPDiagram window(*Workbench, nullptr, device, Window.get(), Window.get());
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Process Interface FB Diagram <") +
                                            QString::fromStdString(device.InternalDeviceDiagramFilename) +
                                            QStringLiteral(">"));
        EXPECT_EQ(window.Header()->text(), QStringLiteral("Edit internal connections of device IEC_Device0"));
        EXPECT_TRUE(window.Diagram()->IsInternalDeviceDiagram);
        EXPECT_EQ(window.Diagram()->Name, "SysLayer_InternalDevice_IEC_Device0");
        EXPECT_FALSE(window.Diagram()->DrawnInstances.empty());
        EXPECT_FALSE(window.Diagram()->IPPPictures.empty());
        EXPECT_TRUE(window.OpcPanel()->isHidden());
        EXPECT_FALSE(window.Editor()->Button(QStringLiteral("btnInsertIPP"))->isVisible());
        EXPECT_EQ(Workbench->FBManager().Diagrams.size(), diagrams + 1);
        UI.QueueAnswer(false);
        window.close();
        EXPECT_EQ(UI.Questions().back(),
                  "Save changes of the device internal diagram " + window.Diagram()->FileName + " ?");
    }
    EXPECT_EQ(Workbench->FBManager().Diagrams.size(), diagrams);
    // The interface blocks of the device's file are not project records.
    EXPECT_EQ(ProjectText(), before);
}

TEST_F(DeviceDiagramTest, NewDiagramSavedAsDfbAndDeviceIppInserted)
{
    NewProject();
    auto& device = *static_cast<TslDevice*>(Window->AddFromPalette(slOPCDevice));
    const std::string file = (Work.Path() / "opc_inside").string();
    TfrmDeviceFBIPPDiagram window(*Workbench, nullptr, device, Window.get(), Window.get());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Process Interface FB Diagram < new internal diagram >"));
    EXPECT_FALSE(window.OpcPanel()->isHidden());

    // Kept the proposed name: nothing is added.
    RunIppDialog = [](QDialog&) { return int(QDialog::Accepted); };
    window.InsertDeviceIppClick();
    EXPECT_TRUE(device.IPPList.empty());
    RunIppDialog = [](QDialog& d) {
        static_cast<TfrmIppProperties&>(d).NameEdit()->setText(QStringLiteral("Pressure"));
        return int(QDialog::Accepted);
    };
    window.InsertDeviceIppClick();
    ASSERT_EQ(device.IPPList.size(), 1u);
    EXPECT_EQ(device.IPPList[0]->Name, "Pressure");
    EXPECT_NE(window.Diagram()->FindIPPPicture(device.IPPList[0].get()), nullptr);

    window.AskSaveFileName = [&] { return QString::fromStdString(file); };
    ASSERT_TRUE(window.SaveClick());
    EXPECT_EQ(device.InternalDeviceDiagramFilename, file + ".dfb");
    EXPECT_TRUE(std::filesystem::exists(file + ".dfb"));
    EXPECT_TRUE(window.windowTitle().endsWith(QStringLiteral("<") + QString::fromStdString(file) +
                                              QStringLiteral(".dfb>")));
    // The new IPP is one undoable edit of the system layer window.
    ASSERT_TRUE(Window->UndoStack()->canUndo());
    Window->UndoStack()->undo();
    EXPECT_TRUE(device.IPPList.empty());
    EXPECT_EQ(window.Diagram()->IPPPictures.size(), 0u);
}

TEST_F(DeviceDiagramTest, DeviceDeletedWhileTheWindowIsOpen)
{
    NewProject();
    TslObject* device = Window->AddFromPalette(slIECDevice);
    auto window = std::make_unique<TfrmDeviceFBIPPDiagram>(*Workbench, nullptr, *static_cast<TslDevice*>(device),
                                                           Window.get(), Window.get());
    Layer().DeleteObject(device);
    EXPECT_EQ(window->Device(), nullptr);
    EXPECT_FALSE(window->SaveClick());
    window->InsertDeviceIppClick();
    window->close();
    EXPECT_TRUE(UI.Questions().empty());
}

TEST_F(DeviceDiagramTest, SaveButtonAndSaveDialogReadAsThePartGivesThem)
{
    NewProject();
    auto& device = *static_cast<TslDevice*>(Window->AddFromPalette(slIECDevice));
    TfrmDeviceFBIPPDiagram window(*Workbench, nullptr, device, Window.get(), Window.get());
    auto* save = window.findChild<QToolButton*>(QStringLiteral("btnSaveDeviceNetwork"));
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->text(), QStringLiteral("Save Device Internal FB Network..."));
    // The real save dialog, cancelled.
    QStringList filters;
    QString title;
    TModalAnswers answers;
    answers.OnDialog = [&](QDialog* d) {
        if (auto* files = qobject_cast<QFileDialog*>(d)) {
            filters = files->nameFilters();
            title = files->windowTitle();
        }
        d->reject();
    };
    EXPECT_FALSE(window.SaveClick());
    EXPECT_EQ(title, QStringLiteral("Save Device Internal FB Network..."));
    EXPECT_EQ(filters, (QStringList{QStringLiteral("Process Interface FB Diagram (*.dfb)"), QStringLiteral("All (*.*)")}));
    UI.QueueAnswer(false);
    window.close();
}

} // namespace
} // namespace telvo::test
