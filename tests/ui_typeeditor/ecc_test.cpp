// The ECC page: a counter's chart drawn through the page (states, moves,
// transitions, dialogs' results), saved, simulated and compiled; and what the
// page refuses.

#include "type_editor_fixture.h"

#include "../ui/ui_test_support.h"

#include "model/fb_type.h"
#include "model/file_util.h"
#include "ui/typeeditor/ecc_page.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
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

// The chart as the user meets it: events on the paint box, at the place a
// chart point is drawn.
class EccMouse {
public:
    explicit EccMouse(TEccPage& page) : page_(page), box_(page.PaintBox()) {}
    QPoint At(QPoint chart) const { return (chart - page_.Origin()) * page_.Zoom(); }
    void Send(QEvent::Type type, QPoint chart, Qt::MouseButton button, Qt::MouseButtons buttons) const
    {
        const QPoint at = At(chart);
        QMouseEvent e(type, QPointF(at), QPointF(box_->mapToGlobal(at)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(box_, &e);
    }
    void Press(QPoint chart, Qt::MouseButton button = Qt::LeftButton) const
    {
        Send(QEvent::MouseButtonPress, chart, button, button);
    }
    void Release(QPoint chart, Qt::MouseButton button = Qt::LeftButton) const
    {
        Send(QEvent::MouseButtonRelease, chart, button, Qt::NoButton);
    }
    // The mouse moved with no button held.
    void Hover(QPoint chart) const { Send(QEvent::MouseMove, chart, Qt::NoButton, Qt::NoButton); }
    void Drag(QPoint from, QPoint to) const
    {
        Press(from);
        Send(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
        Send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        Release(to);
    }
    // A double click in the order Qt delivers it: press, release, press,
    // double click. The release that follows goes to the dialog the double
    // click opened, not to the chart.
    void DoubleClick(QPoint chart) const
    {
        Press(chart);
        Release(chart);
        Press(chart);
        Send(QEvent::MouseButtonDblClick, chart, Qt::LeftButton, Qt::LeftButton);
    }
    // A right click: the press, then the context menu Qt sends after it.
    void RightClick(QPoint chart) const
    {
        Press(chart, Qt::RightButton);
        const QPoint at = At(chart);
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, box_->mapToGlobal(at));
        QApplication::sendEvent(box_, &e);
        Release(chart, Qt::RightButton);
    }

private:
    TEccPage& page_;
    QWidget* box_;
};

QPoint inside(const TECCState& s) { return {s.X + 20, s.Y + 9}; }

int indexOf(const TFB_Type& type, const std::string& state)
{
    for (size_t i = 0; i < type.States.size(); ++i)
        if (type.States[i]->Name == state)
            return static_cast<int>(i);
    return -1;
}

void clickOk(QDialog* dialog)
{
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    buttons->button(QDialogButtonBox::Ok)->click();
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
    drag(page, {5, 5}, {105, 205}); // STATE_3 stepped aside from STATE_2 at 0,0: to 20,20
    drag(page, {25, 25}, {405, 205});
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

TEST_F(TypeEditorFixture, NewStatesStepAsideAndAPressTakesTheStateOnTop)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    Editor->ShowTab("ECC");
    TEccPage& page = *Editor->EccPage();
    TFB_Type& type = *Editor->WorkingType();
    const size_t before = type.States.size();
    auto* add = page.findChild<QToolButton*>("btnState");
    ASSERT_NE(add, nullptr);
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(add, Qt::LeftButton);
    ASSERT_EQ(type.States.size(), before + 3);
    // Where every new state goes, then down and right past the ones there.
    std::vector<std::pair<int, int>> places;
    for (size_t i = before; i < type.States.size(); ++i)
        places.emplace_back(type.States[i]->X, type.States[i]->Y);
    EXPECT_EQ(places, (std::vector<std::pair<int, int>>{{0, 0}, {20, 20}, {40, 40}}));
    for (size_t i = 0; i < type.States.size(); ++i)
        for (size_t j = i + 1; j < type.States.size(); ++j) {
            const TECCState& a = *type.States[i];
            const TECCState& b = *type.States[j];
            EXPECT_FALSE(QRect(a.X, a.Y, 60, 18).intersects(QRect(b.X, b.Y, 60, 18))) << a.Name << " " << b.Name;
        }

    // The last state dragged half over the one before it: a press on the
    // part they share takes the one drawn on top, and the drag moves it.
    EccMouse mouse(page);
    TECCState& lower = *type.States[before + 1];
    TECCState& upper = *type.States[before + 2];
    mouse.Drag({upper.X + 5, upper.Y + 5}, {lower.X + 15, lower.Y + 15});
    ASSERT_EQ(upper.X, lower.X + 10);
    const QPoint shared(lower.X + 40, lower.Y + 14);
    mouse.Press(shared);
    EXPECT_EQ(page.SelectedState(), static_cast<int>(before + 2));
    mouse.Send(QEvent::MouseMove, {400, 400}, Qt::NoButton, Qt::LeftButton);
    mouse.Release({400, 400});
    EXPECT_EQ(lower.X, 20);
    EXPECT_EQ(lower.Y, 20);
    EXPECT_EQ(upper.X, 400 - 30);
}

// A transition's label lying under a state (its box or its action cells):
// a right click or a double click there is on the state.
TEST_F(TypeEditorFixture, StatesWinOverTransitionLabelsBeneathThem)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    Editor->ShowTab("ECC");
    TEccPage& page = *Editor->EccPage();
    TFB_Type& type = *Editor->WorkingType();
    EccMouse mouse(page);
    const TECCState& init = *type.States[indexOf(type, "INIT")];
    ASSERT_FALSE(init.Actions.empty());
    // START -> REQ, its label dragged onto INIT, under its box and cells.
    TECCTransition& label = *type.Transitions[1];
    ASSERT_EQ(label.Condition, "REQ");
    label.Condition = "REQ AND NOT INIT AND NOT REQ";
    page.Repaint();
    mouse.Drag({label.X + 1, label.Y}, {init.X + 31, init.Y + 9});
    ASSERT_EQ(label.X, init.X + 30);

    struct TPoint {
        const char* Where;
        QPoint At;
    };
    const TPoint points[] = {
        {"the box's right half", {init.X + 50, init.Y + 9}},
        {"the algorithm cell", {init.X + 100, init.Y + 9}},
        {"the output cell", {init.X + 150, init.Y + 9}},
    };
    for (const TPoint& p : points) {
        SCOPED_TRACE(p.Where);
        mouse.RightClick(p.At);
        EXPECT_EQ(page.ContextMenu()->actions().front()->text(), QStringLiteral("Edit INIT..."));
        page.ContextMenu()->hide();
        QString opened;
        TModalAnswers answers;
        answers.OnDialog = [&](QDialog* d) {
            opened = d->windowTitle();
            d->reject();
        };
        mouse.DoubleClick(p.At);
        mouse.Release(p.At);
        EXPECT_EQ(opened, QStringLiteral("Edit State"));
    }
    // Beside the state the label is still there to take.
    mouse.RightClick({init.X + 200, init.Y + 9});
    EXPECT_EQ(page.ContextMenu()->actions().front()->text(), QStringLiteral("Edit REQ AND NOT INIT AND NOT REQ..."));
    page.ContextMenu()->hide();
}

TEST_F(TypeEditorFixture, NoDragSurvivesTheStateDialog)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    Editor->ShowTab("ECC");
    TEccPage& page = *Editor->EccPage();
    TFB_Type& type = *Editor->WorkingType();
    EccMouse mouse(page);
    const TECCState& init = *type.States[indexOf(type, "INIT")];
    const QPoint where(init.X, init.Y);
    int dialogs = 0;
    TModalAnswers answers;
    answers.OnDialog = [&](QDialog* d) {
        ++dialogs;
        clickOk(d);
    };
    mouse.DoubleClick(inside(init));
    ASSERT_EQ(dialogs, 1);
    // The mouse goes on with no button held: the state stays.
    mouse.Hover(inside(init) + QPoint(150, 120));
    mouse.Hover(inside(init) + QPoint(170, 140));
    EXPECT_EQ(QPoint(init.X, init.Y), where);
    // The next press is the user's own: it selects what it hits.
    const TECCState& req = *type.States[indexOf(type, "REQ")];
    mouse.Press(inside(req));
    mouse.Release(inside(req));
    EXPECT_EQ(page.SelectedState(), indexOf(type, "REQ"));
    EXPECT_EQ(QPoint(init.X, init.Y), where);
    // Nor a drag past the context menu: its Escape leaves the state put.
    mouse.RightClick(inside(init));
    page.ContextMenu()->hide();
    mouse.Hover(inside(init) + QPoint(90, 90));
    EXPECT_EQ(QPoint(init.X, init.Y), where);
}

TEST_F(TypeEditorFixture, DeleteKeyDeletesTheSelectionOfTheChart)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    Editor->ShowTab("ECC");
    Editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Editor.get()));
    TEccPage& page = *Editor->EccPage();
    TFB_Type& type = *Editor->WorkingType();
    EccMouse mouse(page);
    auto* box = page.PaintBox();
    // A state, with the transitions into and out of it.
    const size_t transitions = type.Transitions.size();
    QTest::mouseClick(box, Qt::LeftButton, {}, mouse.At(inside(*type.States[indexOf(type, "REQ")])));
    ASSERT_EQ(page.SelectedState(), indexOf(type, "REQ"));
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(indexOf(type, "REQ"), -1);
    EXPECT_EQ(type.Transitions.size(), transitions - 2);
    // A transition.
    const TECCTransition& t = *type.Transitions[0];
    QTest::mouseClick(box, Qt::LeftButton, {}, mouse.At({t.X + 1, t.Y}));
    ASSERT_EQ(page.SelectedTransition(), 0);
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(type.Transitions.size(), transitions - 3);
    // Nothing selected: nothing goes.
    QTest::mouseClick(box, Qt::LeftButton, {}, mouse.At({900, 900}));
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(type.Transitions.size(), transitions - 3);
    EXPECT_EQ(type.States.size(), 2u);
}

// The state dialog's lists lie over the selected cell of their column and
// fill it at once.
TEST_F(TypeEditorFixture, StateDialogListsCoverTheSelectedCellAndFillIt)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    Editor->ShowTab("ECC");
    TEccPage& page = *Editor->EccPage();
    TFB_Type& type = *Editor->WorkingType();
    EccMouse mouse(page);
    const int init = indexOf(type, "INIT");
    bool checked = false;
    auto check = [&](QDialog* d) {
        auto* grid = d->findChild<QTableWidget*>("StringGrid1");
        auto* algorithms = d->findChild<QComboBox*>("cmbAlgorithms");
        auto* outputs = d->findChild<QComboBox*>("cmbOutputs");
        ASSERT_NE(grid, nullptr);
        ASSERT_NE(algorithms, nullptr);
        ASSERT_NE(outputs, nullptr);
        auto over = [&](QComboBox* list, int row, int column) {
            const QRect cell = grid->visualItemRect(grid->item(row, column));
            EXPECT_EQ(list->pos(), grid->viewport()->mapTo(d, cell.topLeft()));
            EXPECT_EQ(list->width(), cell.width() + 4);
        };
        // When the dialog shows: the first algorithm cell, its text chosen.
        EXPECT_TRUE(algorithms->isVisible());
        EXPECT_FALSE(outputs->isVisible());
        over(algorithms, 0, 0);
        EXPECT_EQ(algorithms->currentText(), QStringLiteral("INIT"));
        EXPECT_EQ(algorithms->itemText(0), QString());
        // A click on an output cell: the other list, there.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(1, 1)).center());
        EXPECT_FALSE(algorithms->isVisible());
        EXPECT_TRUE(outputs->isVisible());
        over(outputs, 1, 1);
        EXPECT_EQ(outputs->currentIndex(), 0);
        // Choosing fills the cell at once.
        QTest::keyClick(outputs, Qt::Key_Down);
        EXPECT_EQ(grid->item(1, 1)->text(), QStringLiteral("INITO"));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(1, 0)).center());
        EXPECT_TRUE(algorithms->isVisible());
        over(algorithms, 1, 0);
        EXPECT_EQ(algorithms->currentIndex(), 0);
        QTest::keyClick(algorithms, Qt::Key_Down);
        QTest::keyClick(algorithms, Qt::Key_Down);
        EXPECT_EQ(grid->item(1, 0)->text(), QStringLiteral("REQ"));
        checked = true;
    };
    TModalAnswers answers;
    answers.OnDialog = [&](QDialog* d) {
        check(d);
        if (checked)
            clickOk(d);
        else
            d->reject();
    };
    mouse.DoubleClick(inside(*type.States[init]));
    ASSERT_TRUE(checked);
    const TECCState& state = *type.States[init];
    ASSERT_EQ(state.Actions.size(), 2u);
    EXPECT_EQ(state.Actions[1]->Algorithm, "REQ");
    EXPECT_EQ(state.Actions[1]->Output, "INITO");
}

TEST_F(TypeEditorFixture, StateDialogListsHideWhenTheGridScrolls)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    Editor->ShowTab("ECC");
    TEccPage& page = *Editor->EccPage();
    TFB_Type& type = *Editor->WorkingType();
    const int init = indexOf(type, "INIT");
    ASSERT_TRUE(page.EditState(init, "INIT", "", std::vector<std::pair<std::string, std::string>>(20, {"INIT", "CNF"})));
    EccMouse mouse(page);
    bool hidden = false;
    auto check = [&](QDialog* d) {
        auto* grid = d->findChild<QTableWidget*>("StringGrid1");
        auto* algorithms = d->findChild<QComboBox*>("cmbAlgorithms");
        auto* outputs = d->findChild<QComboBox*>("cmbOutputs");
        ASSERT_TRUE(grid && algorithms && outputs);
        ASSERT_TRUE(algorithms->isVisible());
        ASSERT_GT(grid->verticalScrollBar()->maximum(), 0);
        // Left where it was, a list would cover another row's cell.
        grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
        hidden = !algorithms->isVisible() && !outputs->isVisible();
    };
    TModalAnswers answers;
    answers.OnDialog = [&](QDialog* d) {
        check(d);
        d->reject();
    };
    mouse.DoubleClick(inside(*type.States[init]));
    EXPECT_TRUE(hidden);
    EXPECT_EQ(type.States[init]->Actions.size(), 20u);
}

} // namespace telvo::test
