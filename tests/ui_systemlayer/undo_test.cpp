// Every kind of edit in the system layer window is undone and redone
// exactly: the project document returns to its text before the edit, and to
// its text after it.

#include "sl_fixture.h"

#include "model/fb_instance.h"
#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "persistence/network_file.h"
#include "ui/systemlayer/sl_commands.h"
#include "ui/systemlayer/sl_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScrollBar>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>
#include <QUndoStack>

#include <functional>

namespace telvo::test {
namespace {

struct TEditCase {
    const char* Name;
    std::function<void(SlFixture&)> Edit;
};

std::string caseName(const ::testing::TestParamInfo<TEditCase>& info) { return info.param.Name; }

class UndoTest : public SlFixture, public ::testing::WithParamInterface<TEditCase> {
public:
    using SlFixture::Centre;
    using SlFixture::Click;
    using SlFixture::ConnectByMouse;
    using SlFixture::Drag;
    using SlFixture::Layer;
    using SlFixture::Marker;
    using SlFixture::UI;
    using SlFixture::Window;
    using SlFixture::Workbench;
    TslObject& Named(const std::string& name)
    {
        TslObject* o = Layer().FindByName(name);
        EXPECT_NE(o, nullptr) << name;
        return *o;
    }
    // Picks a connection with the mouse, on the middle of its route.
    void PickConnection(const std::string& name)
    {
        Window->Render();
        for (const auto& c : Layer().Connections)
            if (c->Name == name) {
                const auto& a = *c->Points[1];
                const auto& b = *c->Points[2];
                Click(QPoint(int((a.X + b.X) / 2), int((a.Y + b.Y) / 2)));
                return;
            }
    }
    // Every diagram as its network file would be written now.
    std::string DiagramTexts() const
    {
        std::string all;
        for (const auto& d : Workbench->FBManager().Diagrams)
            all += NetworkToText(*d);
        return all;
    }
    template <typename T> T* LastDialog()
    {
        const QList<T*> all = Window->findChildren<T*>();
        return all.isEmpty() ? nullptr : all.back();
    }
};

TEST_P(UndoTest, UndoRestoresTheProjectTextAndRedoTheEdit)
{
    OpenExample();
    Window->Render();
    const std::string before = ProjectText();
    const std::string diagramsBefore = DiagramTexts();
    GetParam().Edit(*this);
    QApplication::processEvents();
    const std::string after = ProjectText();
    ASSERT_TRUE(after != before) << "the edit changed nothing";
    ASSERT_GE(Window->UndoStack()->count(), 1);
    while (Window->UndoStack()->canUndo())
        Window->UndoStack()->undo();
    EXPECT_EQ(ProjectText(), before);
    // The diagrams too: IPP pictures and IPP connections come back.
    EXPECT_EQ(DiagramTexts(), diagramsBefore);
    while (Window->UndoStack()->canRedo())
        Window->UndoStack()->redo();
    EXPECT_EQ(ProjectText(), after);
    // And back once more: keys still name the remade objects.
    while (Window->UndoStack()->canUndo())
        Window->UndoStack()->undo();
    EXPECT_EQ(ProjectText(), before);
}

const TEditCase editCases[] = {
    {"AddFromPalette", [](SlFixture& f) { static_cast<UndoTest&>(f).Window->AddFromPalette(slIPT, 1); }},
    {"Move",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         TslObject& o = t.Named("switch0");
         t.Drag(t.Centre(o), t.Centre(o) + QPoint(40, 25));
     }},
    {"ConnectIppToDevice",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         auto* ipt = static_cast<TslIPT*>(&t.Named("HMI_SCADA2"));
         ASSERT_NE(t.ConnectByMouse(t.Marker(*ipt->IPPList[0]), t.Centre(t.Named("IEC_Device0"))), nullptr);
     }},
    {"ConnectTwoObjects",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         ASSERT_NE(t.ConnectByMouse(t.Centre(t.Named("computer0")), t.Centre(t.Named("switch0"))), nullptr);
     }},
    {"DeleteConnection",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         t.PickConnection("Connection_9");
         ASSERT_NE(t.Layer().SelectedConnection, nullptr);
         t.Window->DeleteClick();
     }},
    {"DeleteDeviceWithDistributionAndIpps",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         t.Click(t.Centre(t.Named("IEC_Device1")));
         t.UI.QueueAnswer(true);
         t.Window->DeleteClick();
         ASSERT_EQ(t.Layer().FindByName("IEC_Device1"), nullptr);
     }},
    {"DeleteFieldbus",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         t.Click(t.Centre(t.Named("IEC_fieldbus0")));
         t.UI.QueueAnswer(true);
         t.Window->DeleteClick();
     }},
    {"DeleteIpt",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         t.Click(t.Centre(t.Named("feeder1")));
         t.UI.QueueAnswer(true);
         t.Window->DeleteClick();
     }},
    {"DevicePropertiesOk",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         auto* d = static_cast<TfrmIECDeviceProperties*>(
             ShowObjectProperties(*t.Window, t.Named("IEC_Device0")));
         d->NameEdit()->setText(QStringLiteral("Filler"));
         d->PortEdit()->setText(QStringLiteral("4242"));
         ASSERT_TRUE(d->Accept());
     }},
    {"IptTypeChange",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         auto* d = static_cast<TfrmIPTProperties*>(ShowObjectProperties(*t.Window, t.Named("feeder1")));
         d->TypeBox()->setCurrentText(QStringLiteral("Boiler"));
         ASSERT_TRUE(d->Accept());
         ASSERT_EQ(t.Named("feeder1").TypeName, "Boiler");
     }},
    {"IptDialogAddIpp",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         auto* d = static_cast<TfrmIPTProperties*>(ShowObjectProperties(*t.Window, t.Named("feeder1")));
         RunIppDialog = [](QDialog& dialog) {
             static_cast<TfrmIppProperties&>(dialog).NameEdit()->setText(QStringLiteral("Pressure"));
             return int(QDialog::Accepted);
         };
         d->AddIppClick();
         RunIppDialog = [](QDialog& dialog) { return dialog.exec(); };
         d->close();
     }},
    {"IptDialogDeleteIpp",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         auto* d = static_cast<TfrmIPTProperties*>(ShowObjectProperties(*t.Window, t.Named("HMI_SCADA2")));
         d->IppList()->setCurrentItem(d->IppList()->topLevelItem(1));
         t.UI.QueueAnswer(true);
         d->DeleteIppClick();
         d->close();
     }},
    {"TakeBackThenDistributeFromPopup",
     [](SlFixture& f) {
         auto& t = static_cast<UndoTest&>(f);
         auto* device = static_cast<TslDevice*>(&t.Named("IEC_Device0"));
         auto* d = static_cast<TfrmIECDeviceProperties*>(ShowObjectProperties(*t.Window, *device));
         d->DownloadedList()->setCurrentItem(d->DownloadedList()->topLevelItem(1));
         d->DeleteFBClick();
         d->close();
         ASSERT_EQ(device->DownloadedFBInstanceList.size(), 3u);
         // Now free: onto the other device through the pop-up.
         t.Click(t.Centre(t.Named("IEC_Device1")));
         t.Window->UpdateContextMenu();
         for (QAction* item : t.Window->DownloadMenu()->actions())
             if (item->text().startsWith(QStringLiteral("motor ")) && item->isEnabled())
                 item->trigger();
         ASSERT_EQ(t.Workbench->FBManager().FindInstance("motor")->Device, &t.Named("IEC_Device1"));
     }},
};

INSTANTIATE_TEST_SUITE_P(Edits, UndoTest, ::testing::ValuesIn(editCases), caseName);

} // namespace
} // namespace telvo::test
