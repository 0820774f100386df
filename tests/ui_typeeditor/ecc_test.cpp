// The ECC page: a counter's chart drawn through the page (states, moves,
// transitions, dialogs' results), saved, simulated and compiled; and what the
// page refuses.

#include "type_editor_fixture.h"

#include "../ui/ui_test_support.h"

#include "model/fb_type.h"
#include "model/file_util.h"
#include "ui/typeeditor/ecc_page.h"

#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>
#include <QUndoStack>

#include <pugixml.hpp>

#include <dlfcn.h>

#include <set>
#include <tuple>

namespace telvo::test {

namespace fs = std::filesystem;
using G = TfrmDesignFBType::TGrid;

namespace {

// Presses, drags and releases on the chart as a user does.
void drag(TEccPage& page, QPoint from, QPoint to)
{
    page.MouseDown(from.x(), from.y());
    page.MouseMove((from.x() + to.x()) / 2, (from.y() + to.y()) / 2);
    page.MouseMove(to.x(), to.y());
    page.MouseUp(to.x(), to.y());
}

void click(TEccPage& page, QPoint at)
{
    page.MouseDown(at.x(), at.y());
    page.MouseUp(at.x(), at.y());
}

} // namespace

TEST_F(TypeEditorFixture, ACounterChartDrawnOnTheEccPageSavesSimulatesAndCompiles)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    auto* name = Editor->findChild<QLineEdit*>("edtname");
    name->selectAll();
    QTest::keyClicks(name, "UPCOUNT");
    // Interface: event inputs CU and R; an internal counter.
    Editor->SetCell(G::EventInputs, 0, 0, "R");
    Editor->SetCell(G::EventInputs, 1, 0, "CU");
    Editor->AddClick(G::InternalVars);
    Editor->SetCell(G::InternalVars, 0, 0, "CNT");
    Editor->SetCell(G::InternalVars, 0, 1, "INT");
    Editor->SetCell(G::InternalVars, 0, 3, "0");
    Editor->ShowTab("Algorithms");
    auto* source = Editor->findChild<QPlainTextEdit*>("memSource");
    Editor->SelectAlgorithm(0);
    source->setPlainText("CNT := 0;\nDO_VOUT := 0;\nDO_QO := FALSE;");
    Editor->SelectAlgorithm(1);
    source->setPlainText("CNT := CNT + 1;\nDO_VOUT := CNT;\nDO_QO := TRUE;");

    Editor->ShowTab("ECC");
    TEccPage& page = *Editor->EccPage();
    TFB_Type& type = *Editor->WorkingType();
    // Keep START; the template's two other states go with their transitions.
    UI.Clear();
    for (int i = 0; i < 2; ++i) {
        const TECCState& s = *type.States[1];
        click(page, {s.X + 5, s.Y + 5});
        ASSERT_EQ(page.SelectedState(), 1);
        page.DeleteClick();
    }
    EXPECT_EQ(type.States.size(), 1u);
    EXPECT_TRUE(type.Transitions.empty());
    // Two new states, moved into place, named and given actions.
    page.AddStateClick();
    page.AddStateClick();
    ASSERT_EQ(type.States[1]->Name, "STATE_2");
    ASSERT_EQ(type.States[2]->Name, "STATE_3");
    drag(page, {5, 5}, {105, 205}); // STATE_2 lies on STATE_3 at 0,0: the first is hit
    drag(page, {5, 5}, {405, 205});
    const TECCState& start = *type.States[0];
    EXPECT_EQ(type.States[1]->X, 100);
    EXPECT_EQ(type.States[1]->Y, 200);
    EXPECT_TRUE(page.EditState(1, "UP", "counting", {{"REQ", "CNF"}, {"", ""}}));
    EXPECT_TRUE(page.EditState(2, "RESET", "", {{"INIT", "INITO"}}));
    // Transitions drawn in transition mode, conditions edited.
    page.TransitionModeClick();
    auto connect = [&](const TECCState& a, const TECCState& b) {
        click(page, {a.X + 30, a.Y + 9});
        click(page, {b.X + 30, b.Y + 9});
    };
    connect(start, *type.States[1]);
    connect(*type.States[1], start);
    connect(start, *type.States[2]);
    connect(*type.States[2], start);
    ASSERT_EQ(type.Transitions.size(), 4u);
    EXPECT_TRUE(page.EditTransition(0, "CU"));
    EXPECT_TRUE(page.EditTransition(2, "R"));
    EXPECT_EQ(CheckTransitionCondition(type, "CU"), "");
    EXPECT_NE(CheckTransitionCondition(type, "CU AND NOSUCH"), "");
    page.SelectModeClick();

    const fs::path file = Home / "library" / "Test" / "UPCOUNT.fbt";
    fs::create_directories(file.parent_path());
    Editor->AskSaveFileName = [&](const QString&, const QString&) { return QString::fromStdString(file.string()); };
    ASSERT_TRUE(Editor->Save());
    EXPECT_TRUE(UI.Messages().empty()) << UI.Messages().front();

    // The chart in the file, element by element.
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(file.c_str()));
    pugi::xml_node ecc = doc.child("FBType").child("BasicFB").child("ECC");
    std::vector<std::string> states;
    for (pugi::xml_node s : ecc.children("ECState")) {
        std::string line = s.attribute("Name").value();
        for (pugi::xml_node a : s.children("ECAction"))
            line += std::string(" ") + a.attribute("Algorithm").value() + "/" + a.attribute("Output").value();
        states.push_back(line);
    }
    EXPECT_EQ(states, (std::vector<std::string>{"START", "UP REQ/CNF", "RESET INIT/INITO"}));
    std::vector<std::string> transitions;
    for (pugi::xml_node t : ecc.children("ECTransition"))
        transitions.push_back(std::string(t.attribute("Source").value()) + ">" + t.attribute("Destination").value() +
                              ":" + t.attribute("Condition").value());
    EXPECT_EQ(transitions, (std::vector<std::string>{"START>UP:CU", "UP>START:1", "START>RESET:R", "RESET>START:1"}));
    pugi::xml_node up = ecc.find_child_by_attribute("ECState", "Name", "UP");
    EXPECT_STREQ(up.attribute("x").value(), "599.9647"); // 100 x 5.882 + 11.7647
    EXPECT_STREQ(up.attribute("Comment").value(), "counting");

    const std::string net = Home.Write("count.fbn", R"(<?xml version="1.0" encoding="UTF-8"?>
<FBNetwork IsInternalDeviceDiagram="false">
  <FB Name="c" Type="UPCOUNT" Comment="" x="100" y="100"/>
</FBNetwork>
)").string();
    ProcessResult r = Telvo({"simulate", net, "--event", "c.CU", "--steps", "3", "--event", "c.CU"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("value\tc.VOUT\t2\n"), std::string::npos) << r.Out;
    r = Telvo({"simulate", net, "--event", "c.CU", "--event", "c.R", "--steps", "4"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("value\tc.QO\tFALSE\n"), std::string::npos) << r.Out;

    Editor->ShowTab("Compile");
    ASSERT_TRUE(Editor->CreateCodeClick());
    Editor->CompileClick();
    ASSERT_TRUE(WaitUntil([&] { return !Editor->Compiling(); }, 120000));
    ASSERT_TRUE(Editor->CompileStatus().startsWith("Exit status: 0")) << Editor->CompilerOutput().toStdString();
    void* handle = dlopen((Editor->GeneratedSource().parent_path() / "libUPCOUNT.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    using TIsValid = int32_t (*)(const char*, int32_t);
    auto isValid = reinterpret_cast<TIsValid>(dlsym(handle, "isValidFB"));
    ASSERT_NE(isValid, nullptr);
    EXPECT_EQ(isValid("UPCOUNT", 1), 1);
    EXPECT_EQ(isValid("OTHER", 2), 0);
    dlclose(handle);
}

TEST_F(TypeEditorFixture, TheEccPageRefusesWhatWouldBreakTheChart)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    TEccPage& page = *Editor->EccPage();
    TFB_Type& type = *Editor->WorkingType();
    const std::string start = Editor->TypeText();
    EXPECT_FALSE(page.EditState(1, "START", "", {}));
    EXPECT_EQ(UI.Messages().back(), "There is already a state named START.");
    EXPECT_FALSE(page.EditState(1, "", "", {}));
    EXPECT_EQ(UI.Messages().back(), "A state needs a name.");
    click(page, {type.States[0]->X + 5, type.States[0]->Y + 5});
    ASSERT_EQ(page.SelectedState(), 0);
    page.DeleteClick();
    EXPECT_EQ(UI.Messages().back(), "The initial state START cannot be deleted.");
    EXPECT_EQ(Editor->TypeText(), start);
    // A condition pasted with line breaks stays on one line.
    EXPECT_TRUE(page.EditTransition(0, "INIT\r\nAND QI"));
    EXPECT_EQ(type.Transitions[0]->Condition, "INIT  AND QI");
    // Deleting a state takes its transitions: none is left naming it.
    click(page, {type.States[1]->X + 5, type.States[1]->Y + 5});
    const std::string gone = type.States[1]->Name;
    page.DeleteClick();
    for (const auto& t : type.Transitions) {
        EXPECT_NE(t->Source, gone);
        EXPECT_NE(t->Destination, gone);
    }
    // Renaming START renames the transitions that named it.
    ASSERT_TRUE(page.EditState(0, "IDLE", "", {}));
    for (const auto& t : type.Transitions)
        EXPECT_TRUE(t->Source != "START" && t->Destination != "START");
    // The context menu offers Edit and Delete only with a selection.
    click(page, {2000, 2000});
    page.UpdateContextMenu();
    EXPECT_FALSE(page.ContextMenu()->actions()[0]->isEnabled());
}

TEST_F(TypeEditorFixture, EccEditsAreUndoneExactly)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    TEccPage& page = *Editor->EccPage();
    // Undo and redo put a fresh copy of the type in place: look it up anew.
    auto type = [&]() -> TFB_Type& { return *Editor->WorkingType(); };
    const std::vector<std::pair<const char*, std::function<void()>>> edits = {
        {"add state", [&] { page.AddStateClick(); }},
        {"move state", [&] { drag(page, {type().States[1]->X + 5, type().States[1]->Y + 5}, {700, 700}); }},
        {"move label",
         [&] { drag(page, {type().Transitions[0]->X + 1, type().Transitions[0]->Y}, {900, 40}); }},
        {"add transition",
         [&] {
             page.TransitionModeClick();
             click(page, {type().States[1]->X + 30, type().States[1]->Y + 9});
             click(page, {type().States[1]->X + 30, type().States[1]->Y + 9}); // to itself
             page.SelectModeClick();
         }},
        {"edit state", [&] { page.EditState(1, "FIRST", "c", {{"REQ", "CNF"}, {"INIT", ""}}); }},
        {"edit condition", [&] { page.EditTransition(1, "REQ AND QI"); }},
        {"delete state",
         [&] {
             click(page, {type().States[2]->X + 5, type().States[2]->Y + 5});
             page.DeleteClick();
         }},
    };
    for (const auto& [name, edit] : edits) {
        SCOPED_TRACE(name);
        const std::string before = Editor->TypeText();
        const int steps = Editor->UndoStack()->count();
        edit();
        const std::string after = Editor->TypeText();
        ASSERT_NE(before, after);
        EXPECT_EQ(Editor->UndoStack()->count(), steps + 1);
        Editor->UndoStack()->undo();
        EXPECT_EQ(Editor->TypeText(), before);
        Editor->UndoStack()->redo();
        EXPECT_EQ(Editor->TypeText(), after);
    }
}

} // namespace telvo::test
