// The project lifecycle: new, open, save, close, with the questions it asks,
// the lines it logs and what it asks of the main window, in order.

#include "model/file_util.h"
#include "project/project_fixture.h"

#include <gmock/gmock.h>

#include <deque>
#include <functional>

namespace telvo::test {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The main window as the lifecycle sees it: every call is recorded, dialogs
// answer from scripts.
class LifecycleTest : public ProjectTest {
protected:
    LifecycleTest() { Hook(); }

    void Hook()
    {
        TProjectWindows& w = Project().Windows;
        w.ShowNewProjectDialog = [this](TNewProjectAnswers& answers) {
            Calls.push_back("new-project dialog");
            if (Dialogs.empty())
                return false;
            answers = Dialogs.front();
            Dialogs.pop_front();
            return true;
        };
        w.AskProjectFileName = [this] {
            Calls.push_back("save dialog");
            std::string name = SaveAnswer;
            return name;
        };
        w.CloseEditorWindows = [this] { Calls.push_back("close windows"); };
        w.ProjectClosed = [this] { Calls.push_back("closed"); };
        w.ProjectShown = [this] { Calls.push_back("shown " + Project().Name); };
        w.ProjectFileRead = [this](const std::string& path) { Calls.push_back("recent " + path); };
        w.SetCaption = [this](const std::string& caption) { Calls.push_back("caption " + caption); };
        w.SetTreeStatus = [this](const std::string& status) { Calls.push_back("status " + status); };
    }

    TNewProjectAnswers Answers(const std::string& title, const fs::path& file) const
    {
        TNewProjectAnswers a;
        a.Title = title;
        a.TelvoFileName = file.string();
        return a;
    }

    std::vector<std::string> Calls;
    std::deque<TNewProjectAnswers> Dialogs;
    std::string SaveAnswer;
};

TEST_F(LifecycleTest, ClosingWithNoProjectAsksNothingAndChangesNothing)
{
    TFB_Manager* manager = &M();
    TSystemLayerManager* layer = &Layer();
    CloseProject(W());
    EXPECT_THAT(UI.Questions(), IsEmpty());
    EXPECT_THAT(UI.LogLines(), IsEmpty());
    EXPECT_THAT(Calls, IsEmpty());
    EXPECT_EQ(&M(), manager);
    EXPECT_EQ(&Layer(), layer);
}

TEST_F(LifecycleTest, NewProjectIsWrittenAtOnceWithItsLibraryFolder)
{
    const fs::path file = Work / "cell.crf";
    ASSERT_TRUE(NewProject(W(), Answers("Cell", file)));
    EXPECT_EQ(Project().Name, "Cell");
    EXPECT_EQ(Project().FileName, file.string());
    EXPECT_EQ(Project().Comment, "Write your FB Network Diagram comment...");
    EXPECT_FALSE(Project().HasUmlModel);
    EXPECT_EQ(ReadFile(file), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<telvo_project Name=\"Cell\" "
                              "Comment=\"|Write your FB Network Diagram comment...\" />\n");
    EXPECT_TRUE(fs::is_directory(Home / "library" / "Cell"));
    EXPECT_THAT(UI.LogLines(), ElementsAre("Save file " + file.string()));
    EXPECT_THAT(UI.Questions(), IsEmpty());
    EXPECT_THAT(Calls, ElementsAre("shown Cell"));

    // A title that is no plain folder name still makes one folder inside
    // the library.
    ASSERT_TRUE(NewProject(W(), Answers("../Line/2", Work / "line.crf")));
    EXPECT_TRUE(fs::is_directory(Home / "library" / ".._Line_2"));
    EXPECT_FALSE(fs::exists(Home / "Line"));
}

TEST_F(LifecycleTest, NewProjectOverAnExistingFileAsksAndNoShowsTheDialogAgain)
{
    const fs::path taken = Work.Write("taken.crf", "keep me");
    // No, then the dialog again with a free name: that one is made.
    UI.QueueAnswer(false);
    Dialogs.push_back(Answers("Second try", Work / "free.crf"));
    ASSERT_TRUE(NewProject(W(), Answers("First", taken)));
    EXPECT_THAT(UI.Questions(), ElementsAre("File already exists. Overwrite?"));
    EXPECT_THAT(Calls, ElementsAre("new-project dialog", "shown Second try"));
    EXPECT_EQ(ReadFile(taken), "keep me");
    EXPECT_TRUE(fs::exists(Work / "free.crf"));

    // No, then a cancelled dialog: nothing happens, the open project stays.
    Calls.clear();
    UI.Clear();
    UI.QueueAnswer(false);
    EXPECT_FALSE(NewProject(W(), Answers("Third", taken)));
    EXPECT_THAT(Calls, ElementsAre("new-project dialog"));
    EXPECT_EQ(Project().Name, "Second try");
    EXPECT_EQ(ReadFile(taken), "keep me");

    // Yes overwrites, after closing the open project (No to saving it).
    Calls.clear();
    UI.Clear();
    UI.QueueAnswer(true);
    UI.QueueAnswer(false);
    ASSERT_TRUE(NewProject(W(), Answers("Fourth", taken)));
    EXPECT_THAT(UI.Questions(),
                ElementsAre("File already exists. Overwrite?", "Save changes to project: Second try"));
    EXPECT_THAT(Calls, ElementsAre("close windows", "closed", "shown Fourth"));
    EXPECT_THAT(ReadFile(taken), HasSubstr("Name=\"Fourth\""));
}

TEST_F(LifecycleTest, NewProjectFromTheDialogStopsWhenItIsCancelled)
{
    EXPECT_FALSE(NewProject(W()));
    EXPECT_THAT(Calls, ElementsAre("new-project dialog"));
    Dialogs.push_back(Answers("Dialog", Work / "dialog.crf"));
    EXPECT_TRUE(NewProject(W()));
    EXPECT_EQ(Project().Name, "Dialog");
    // Without a title there is no project to make.
    EXPECT_FALSE(NewProject(W(), Answers("", Work / "x.crf")));
    EXPECT_EQ(Project().Name, "Dialog");
    EXPECT_FALSE(fs::exists(Work / "x.crf"));
}

TEST_F(LifecycleTest, NewProjectTiedToAUmlModelWithoutATool)
{
    TNewProjectAnswers a = Answers("Uml", Work / "uml.crf");
    a.ConnectToRose = true;
    a.RoseFileName = (Work / "uml.mdl").string();
    ASSERT_TRUE(NewProject(W(), a));
    EXPECT_TRUE(Project().HasUmlModel);
    EXPECT_EQ(Project().UmlModelFile, a.RoseFileName);
    EXPECT_THAT(UI.LogLines(),
                ElementsAre("No UML modelling tool can be connected: the project keeps its model file but works "
                            "without the tool",
                            "No UML modelling tool is connected: no new model is made in " + a.RoseFileName,
                            "Save file " + (Work / "uml.crf").string()));
    EXPECT_THAT(ReadFile(Work / "uml.crf"), HasSubstr("Comment=\"" + a.RoseFileName + "|Write"));

    // Opened again with the model file there: the question, and Yes
    // connects (which says it cannot) and opens the model.
    Work.Write("uml.mdl", "model");
    UI.Clear();
    UI.QueueAnswer(false); // do not save
    UI.QueueAnswer(true);  // connect
    OpenProject(W(), (Work / "uml.crf").string());
    EXPECT_THAT(UI.Questions(),
                ElementsAre("Save changes to project: Uml",
                            "The project needs a connection to Rational Rose. Continue with connecting to Rose?"));
    EXPECT_THAT(UI.LogLines(), Contains("No UML modelling tool is connected: the model " + a.RoseFileName +
                                        " is not opened"));
    EXPECT_TRUE(Project().HasUmlModel);

    // Without the model file the project is not tied to it, and asks nothing.
    fs::remove(Work / "uml.mdl");
    UI.Clear();
    OpenProject(W(), (Work / "uml.crf").string());
    EXPECT_THAT(UI.Questions(), ElementsAre("Save changes to project: Uml"));
    EXPECT_FALSE(Project().HasUmlModel);
    EXPECT_EQ(Project().UmlModelFile, a.RoseFileName);
}

TEST_F(LifecycleTest, SaveWritesToTheProjectFileOrAsksForOne)
{
    SaveProject(W()); // no project: nothing
    EXPECT_THAT(Calls, IsEmpty());

    ASSERT_TRUE(NewProject(W(), Answers("Saved", Work / "saved.crf")));
    Calls.clear();
    UI.Clear();
    M().CreateDiagram("D", 1.0)->AddInstance("A", "COUNTER", false, nullptr);
    SaveProject(W());
    EXPECT_THAT(Calls, IsEmpty()); // never a dialog when the project has a file
    EXPECT_THAT(UI.LogLines(), ElementsAre("Save file " + (Work / "saved.crf").string()));
    EXPECT_TRUE(fs::exists(Work / "D.fbn"));

    // A project without a file asks; cancelling writes nothing.
    Project().FileName.clear();
    UI.Clear();
    SaveProject(W());
    EXPECT_THAT(Calls, ElementsAre("save dialog"));
    EXPECT_THAT(UI.LogLines(), IsEmpty());
    SaveAnswer = (Work / "renamed").string();
    SaveProject(W());
    EXPECT_EQ(Project().FileName, (Work / "renamed.crf").string());
    EXPECT_TRUE(fs::exists(Work / "renamed.crf"));
    SaveAnswer = (Work / "kept.crf.bak").string();
    Project().FileName.clear();
    SaveProject(W());
    EXPECT_EQ(Project().FileName, SaveAnswer);
}

TEST_F(LifecycleTest, ClosingAsksToSaveThenEmptiesTheWorkbench)
{
    BuildRichProject();
    Project().FileName = (Work / "rich.crf").string();
    UI.Clear();
    UI.QueueAnswer(true);
    CloseProject(W());
    EXPECT_THAT(UI.Questions(), ElementsAre("Save changes to project: Line"));
    EXPECT_THAT(UI.LogLines(), ElementsAre("Save file " + (Work / "rich.crf").string(), "Close active project Line"));
    EXPECT_THAT(Calls, ElementsAre("close windows", "closed"));
    EXPECT_TRUE(fs::exists(Work / "rich.crf"));
    EXPECT_TRUE(M().Diagrams.empty());
    EXPECT_TRUE(M().Instances.empty());
    EXPECT_TRUE(M().Types.empty());
    EXPECT_TRUE(Layer().Objects.empty());
    EXPECT_FALSE(Project().IsOpen());
    EXPECT_TRUE(Project().FileName.empty() && Project().UmlModelFile.empty() && Project().Comment.empty());
    EXPECT_EQ(M().SystemLayer, &Layer());
    // The library listing survives.
    EXPECT_NE(W().LibraryIndex.FolderListing("COUNTER"), nullptr);

    // No keeps the file as it was.
    const std::string saved = ReadFile(Work / "rich.crf");
    OpenProject(W(), (Work / "rich.crf").string());
    Layer().AddObject("extra", slSwitch);
    UI.Clear();
    CloseProject(W());
    EXPECT_EQ(ReadFile(Work / "rich.crf"), saved);
}

TEST_F(LifecycleTest, OpeningTellsTheWindowsAndOpeningTheSameProjectTwiceGivesItOnce)
{
    BuildRichProject();
    const std::string path = (Work / "twice.crf").string();
    Project().FileName = path;
    SaveProject(W());
    const std::vector<std::string> saved = DescribeProject(W());
    Restart();
    Hook();

    OpenProject(W(), path);
    EXPECT_THAT(Calls, ElementsAre("caption TELVO Engineering Support System [Line] ",
                                   "status [line.mdl|Bottles | and cans]", "shown Line", "recent " + path));
    Calls.clear();
    OpenProject(W(), path);
    EXPECT_THAT(Calls, ElementsAre("close windows", "closed", "caption TELVO Engineering Support System [Line] ",
                                   "status [line.mdl|Bottles | and cans]", "shown Line", "recent " + path));
    EXPECT_THAT(UI.Messages(), IsEmpty());
    EXPECT_EQ(DescribeProject(W()), saved);
}

TEST_F(LifecycleTest, FailedOpenResetsTheWindows)
{
    ASSERT_TRUE(NewProject(W(), Answers("Before", Work / "before.crf")));
    Calls.clear();
    EXPECT_THROW(OpenProject(W(), (Work / "nothing.crf").string()), EProjectFileError);
    EXPECT_THAT(Calls, ElementsAre("close windows", "closed", "closed"));
    EXPECT_FALSE(Project().IsOpen());
}

TEST_F(LifecycleTest, ExitClosesTheProjectAndDropsTheUmlLink)
{
    ASSERT_TRUE(NewProject(W(), Answers("Exit", Work / "exit.crf")));
    ASSERT_NE(Project().UmlTool(), nullptr);
    ExitProjects(W());
    EXPECT_FALSE(Project().IsOpen());
    EXPECT_EQ(Project().UmlTool(), nullptr);
    EXPECT_THAT(UI.LogLines(), Contains("Close active project Exit"));
}

// Cancel at the saving question, whichever command asked it, leaves the
// open project, its file and the windows exactly as they were.
struct CancelCase {
    const char* Name;
    std::function<bool(TWorkbench&)> Command; // false: it reported the cancel
};

class CancelledClose : public LifecycleTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(CancelledClose, KeepsTheProjectAsItWas)
{
    ASSERT_TRUE(NewProject(W(), Answers("Kept", Work / "kept.crf")));
    const std::string before = ReadFile(Work / "kept.crf");
    Layer().AddObject("unsaved", slSwitch);
    Calls.clear();
    UI.Clear();
    UI.QueueAnswer(TAnswer::Cancel);
    EXPECT_FALSE(GetParam().Command(W()));
    EXPECT_THAT(UI.Questions(), ElementsAre("Save changes to project: Kept"));
    EXPECT_THAT(Calls, IsEmpty());
    EXPECT_TRUE(Project().IsOpen());
    EXPECT_EQ(Project().Name, "Kept");
    EXPECT_NE(Layer().FindByName("unsaved"), nullptr);
    EXPECT_NE(Project().UmlTool(), nullptr);
    EXPECT_EQ(ReadFile(Work / "kept.crf"), before);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommandThatCloses, CancelledClose,
    ::testing::Values(CancelCase{"Close", [](TWorkbench& w) { return CloseProject(w); }},
                      CancelCase{"Exit", [](TWorkbench& w) { return ExitProjects(w); }},
                      CancelCase{"Open",
                                 [](TWorkbench& w) {
                                     OpenProject(w, (w.ProgramFolder() / "other.crf").string());
                                     return w.ProjectManager().Name != "Kept";
                                 }},
                      CancelCase{"New",
                                 [](TWorkbench& w) {
                                     TNewProjectAnswers a;
                                     a.Title = "Other";
                                     a.TelvoFileName = (w.ProgramFolder() / "new.crf").string();
                                     return NewProject(w, a);
                                 }}),
    [](const ::testing::TestParamInfo<CancelCase>& info) { return std::string(info.param.Name); });

} // namespace
} // namespace telvo::test
