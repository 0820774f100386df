// The dialogs of the main window: the new-project dialog's derived file
// names, the New FBDiagram dialog and its name proposal, and the merged
// network of "Merge All Diagrams".

#include "model/fb_manager.h"
#include "systemlayer/geometry.h"
#include "ui/mainwindow/main_form.h"
#include "ui/mainwindow/name_dialog.h"
#include "ui/mainwindow/new_project_dialog.h"
#include "ui/mainwindow/project_browser.h"
#include "ui/ui_test_support.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QDir>
#include <gtest/gtest.h>

using namespace telvo;
using namespace telvo::test;

TEST(NewProjectDialog, DerivesBothFileNamesFromPathAndTitle)
{
    TfrmNewProject dialog("/opt/telvo");
    EXPECT_EQ(dialog.windowTitle(), QString("New TELVO Project"));
    EXPECT_EQ(dialog.Title(), QString("New Project Title"));
    EXPECT_EQ(dialog.ProjectPath(), QString("/opt/telvo/"));
    EXPECT_EQ(dialog.TelvoFileName(), QString("/opt/telvo/New Project Title.crf"));
    EXPECT_EQ(dialog.RoseFileName(), QString("/opt/telvo/New Project Title.mdl"));
    EXPECT_FALSE(dialog.ConnectToRose());

    dialog.TitleEdit()->setText("Bottling");
    dialog.TitleEdit()->textEdited("Bottling");
    EXPECT_EQ(dialog.TelvoFileName(), QString("/opt/telvo/Bottling.crf"));

    // An assigned model holds until the title or the folder changes.
    dialog.AssignModel("/models/plant.mdl");
    EXPECT_EQ(dialog.RoseFileName(), QString("/models/plant.mdl"));
    EXPECT_EQ(dialog.TelvoFileName(), QString("/opt/telvo/Bottling.crf"));
    dialog.TitleEdit()->setText("Bottling 2");
    dialog.TitleEdit()->textEdited("Bottling 2");
    EXPECT_EQ(dialog.RoseFileName(), QString("/opt/telvo/Bottling 2.mdl"));

    dialog.SetProjectFolder("/home/engineer/projects");
    EXPECT_EQ(dialog.ProjectPath(), QString("/home/engineer/projects/"));
    EXPECT_EQ(dialog.TelvoFileName(), QString("/home/engineer/projects/Bottling 2.crf"));
    EXPECT_EQ(dialog.RoseFileName(), QString("/home/engineer/projects/Bottling 2.mdl"));
}

TEST(NewProjectDialog, OkOnlyForATitleThatCanNameAFileAndConfirmsOnlyOnOk)
{
    TfrmNewProject dialog("/opt/telvo/");
    EXPECT_EQ(dialog.ProjectPath(), QString("/opt/telvo/"));
    const std::pair<const char*, bool> titles[] = {
        {"Plant", true}, {"Line A", true}, {"", false}, {"  ", false}, {"a/b", false}, {"..", false}, {"a\\b", false},
    };
    for (const auto& [title, usable] : titles) {
        dialog.TitleEdit()->setText(title);
        dialog.TitleEdit()->textEdited(title);
        EXPECT_EQ(dialog.OkButton()->isEnabled(), usable) << '"' << title << '"';
    }
    dialog.reject();
    EXPECT_FALSE(dialog.Confirmed());
    dialog.TitleEdit()->setText("Plant");
    dialog.TitleEdit()->textEdited("Plant");
    dialog.OkButton()->click();
    EXPECT_TRUE(dialog.Confirmed());
}

TEST(NewProjectDialog, ProposesAFolderInTheHomeAndTakesATypedPath)
{
    EXPECT_EQ(TfrmNewProject::DefaultProjectFolder(), QDir::homePath() + "/TELVO Projects/");
    TfrmNewProject dialog(TfrmNewProject::DefaultProjectFolder());
    EXPECT_EQ(dialog.TelvoFileName(), QDir::homePath() + "/TELVO Projects/New Project Title.crf");
    EXPECT_FALSE(dialog.PathEdit()->isReadOnly());
    // A typed folder needs no closing separator.
    dialog.PathEdit()->setText("/srv/plants");
    dialog.PathEdit()->textEdited("/srv/plants");
    EXPECT_EQ(dialog.TelvoFileName(), QString("/srv/plants/New Project Title.crf"));
    EXPECT_EQ(dialog.RoseFileName(), QString("/srv/plants/New Project Title.mdl"));
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    // No folder, no project.
    dialog.PathEdit()->setText("");
    dialog.PathEdit()->textEdited("");
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
}

namespace {
class DiagramCommands : public ::testing::Test, public TMainFormFixture {
protected:
    void SetUp() override
    {
        WriteSettings("[Values]\nDonotShowInitWindow=1\n");
        Start();
    }
};
} // namespace

TEST_F(DiagramCommands, NewDiagramProposesTheNextNumberEvenAfterACancel)
{
    QStringList proposals;
    bool accept = false;
    TModalAnswers answers;
    answers.OnDialog = [&](QDialog* dialog) {
        auto* named = qobject_cast<TfrmNameDialog*>(dialog);
        ASSERT_NE(named, nullptr);
        EXPECT_EQ(named->windowTitle(), QString("New FBDiagram"));
        EXPECT_EQ(named->Label()->text(), QString("Please type the name of your FB diagram"));
        proposals << named->Edit()->text();
        if (accept)
            named->Buttons()->button(QDialogButtonBox::Ok)->click();
        else
            named->reject();
    };
    Form->NewDiagramClick();
    EXPECT_TRUE(Workbench->FBManager().Diagrams.empty());
    accept = true;
    Form->NewDiagramClick();
    EXPECT_EQ(proposals, QStringList({"FB_Diagram_1", "FB_Diagram_2"}));
    ASSERT_EQ(Workbench->FBManager().Diagrams.size(), 1u);
    const TFB_Diagram& made = *Workbench->FBManager().Diagrams[0];
    EXPECT_EQ(made.Name, "FB_Diagram_2");
    EXPECT_EQ(made.Zoom, 0.8) << "made at 1.0, shown by its window at 0.8";
    // No project: the file has no folder yet.
    EXPECT_EQ(made.FileName, "FB_Diagram_2.fbn");
    EXPECT_TRUE(LogTexts(*Form).contains("New window FB_Diagram_2"));
}

TEST_F(DiagramCommands, ANewDiagramOfAProjectLivesInTheProjectFolderAndTree)
{
    const std::string crf = Home.Write("p/plant.crf", "<telvo_project Name=\"Plant\" Comment=\"|\"/>\n").string();
    Form->Projects().OpenProject(crf);
    ASSERT_TRUE(WaitUntil([&] { return !Form->ProjectWorkRunning(); }));
    ASSERT_TRUE(Form->Project().IsOpen());
    TModalAnswers answers;
    answers.OnDialog = [](QDialog* dialog) {
        auto* named = qobject_cast<TfrmNameDialog*>(dialog);
        named->Edit()->setText("Filling");
        named->Buttons()->button(QDialogButtonBox::Ok)->click();
    };
    Form->NewDiagramClick();
    ASSERT_EQ(Workbench->FBManager().Diagrams.size(), 1u);
    EXPECT_EQ(Workbench->FBManager().Diagrams[0]->FileName, (Home / "p" / "Filling.fbn").string());
    EXPECT_NE(Form->ProjectBrowser()->Node({"Application", "Function Block Layer", "Function Block Diagrams",
                                            "Filling"}),
              nullptr);
}

TEST_F(DiagramCommands, MergeAllDiagramsPlacesEveryRecordAndIpp)
{
    TFB_Manager& fbm = Workbench->FBManager();
    ASSERT_TRUE(fbm.LoadTypeFromLibrary("", "E_CTU"));
    ASSERT_TRUE(fbm.LoadTypeFromLibrary("", "E_SWITCH"));
    for (const char* name : {"C1", "C2", "C3", "C4"})
        ASSERT_NE(fbm.CreateInstance(name, "E_CTU", true), nullptr);
    TFB_InstanceRef* s = fbm.CreateInstance("S", "E_SWITCH", true);
    auto data = std::make_unique<TFB_DataAssocRef>();
    data->SourceInstance = fbm.FindInstance("C4");
    data->SourcePort = data->SourceInstance->FindDataOutput("Q");
    data->DestInstance = s;
    data->DestPort = s->FindDataInput("G");
    fbm.AddDataConn(std::move(data));
    auto* tank = dynamic_cast<TslIPT*>(Workbench->SystemLayer().AddObject("Tank", slIPT, 2));
    TslIPPRef* level = tank->AddIpp("Level", "REAL", TslIPPRef::Sensor);
    TslIPPRef* valve = tank->AddIpp("Valve", "BOOL", TslIPPRef::Actuator);
    TslIPPRef* alarm = tank->AddIpp("Alarm", "BOOL", TslIPPRef::Actuator);
    fbm.TakeDiagramNumber(); // one number used up before

    TFB_Diagram* merged = Form->MergeAllDiagrams();
    ASSERT_NE(merged, nullptr);
    EXPECT_EQ(merged->Name, "FB_Diagram_2");
    EXPECT_EQ(fbm.NextDiagramNumber, 4) << "the caption took the number after the name's";

    struct Place {
        const char* Name;
        int X, Y;
    };
    const Place places[] = {{"C1", 100, 150}, {"C2", 400, 150}, {"C3", 700, 150}, {"C4", 100, 400}, {"S", 400, 400}};
    ASSERT_EQ(merged->DrawnInstances.size(), std::size(places));
    for (const Place& p : places) {
        const TFB_Instance* drawn = merged->FindDrawn(p.Name);
        ASSERT_NE(drawn, nullptr) << p.Name;
        EXPECT_EQ(drawn->BaseX, p.X) << p.Name;
        EXPECT_EQ(drawn->BaseY, p.Y) << p.Name;
        EXPECT_EQ(drawn->Ref, fbm.FindInstance(p.Name)) << "the project's own record is placed";
    }
    const TslIPP* levelPicture = merged->FindIPPPicture(level);
    const TslIPP* valvePicture = merged->FindIPPPicture(valve);
    const TslIPP* alarmPicture = merged->FindIPPPicture(alarm);
    ASSERT_TRUE(levelPicture && valvePicture && alarmPicture);
    // On the instances' grid, whatever zoom the window took.
    EXPECT_EQ(std::make_pair(levelPicture->BaseX, levelPicture->BaseY), std::make_pair(10, 50));
    EXPECT_EQ(std::make_pair(valvePicture->BaseX, valvePicture->BaseY), std::make_pair(824, 50));
    EXPECT_EQ(std::make_pair(alarmPicture->BaseX, alarmPicture->BaseY), std::make_pair(824, 90));
    EXPECT_EQ(alarmPicture->X, RoundHalfEven(824 * merged->Zoom));
    EXPECT_EQ(merged->DataLines.size(), 1u) << "the lines between the placed records are drawn";
}

#include "systemlayer/system_layer.h"
#include "ui/systemlayer/device_diagram_window.h"

#include <QTest>

namespace {

// Closing a device's internal diagram, whose diagram goes with the window:
// the question has Cancel, and every way of leaving it without an answer
// (Cancel, Escape, the box's close button) keeps the window and its
// diagram; Escape in the window itself asks as its close button does.
class DeviceDiagramClosing : public ::testing::Test, public TMainFormFixture {
protected:
    void SetUp() override
    {
        WriteSettings("[Values]\nDonotShowInitWindow=1\n");
        Start();
        device = dynamic_cast<TslDevice*>(Workbench->SystemLayer().AddObject("IEC_Device0", slIECDevice));
        ASSERT_NE(device, nullptr);
    }
    TslDevice* device = nullptr;
};

TEST_F(DeviceDiagramClosing, LeavingTheQuestionKeepsTheWindow)
{
    TfrmDeviceFBIPPDiagram window(*Workbench, Form.get(), *device, nullptr);
    window.show();
    TModalAnswers answers;
    const std::function<void()> closers[] = {
        [&] { window.close(); },
        [&] { QTest::keyClick(&window, Qt::Key_Escape); },
    };
    const std::function<void()> dismissals[] = {
        [&] { answers.Queue(QMessageBox::Cancel); },
        [&] { answers.QueueEscapeKey(); },
        [&] { answers.QueueCloseButton(); },
    };
    int asked = 0;
    for (const auto& close : closers)
        for (const auto& dismiss : dismissals) {
            dismiss();
            close();
            ++asked;
            ASSERT_EQ(int(answers.Texts.size()), asked);
            EXPECT_EQ(answers.Texts.back().toStdString(),
                      "Save changes of the device internal diagram " + window.Diagram()->FileName + " ?");
            EXPECT_TRUE(window.isVisible()) << "question " << asked;
        }
    // No closes it, without saving.
    answers.Queue(QMessageBox::No);
    window.close();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(device->InternalDeviceDiagramFilename.empty());
}

} // namespace
