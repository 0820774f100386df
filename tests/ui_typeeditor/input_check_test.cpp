// What the user types is checked where it is typed: names that are no
// identifiers are refused with the reason, unknown data types are kept but
// marked (and named by `telvo type check`), new events are of type Event,
// and conditions and algorithms are checked as the simulation would run
// them, with positions in the user's own text.

#include "type_editor_fixture.h"

#include "../ui/ui_test_support.h"

#include "model/fb_type.h"
#include "model/file_util.h"
#include "runtime/script_check.h"
#include "ui/diagram/diagram_renderer.h"
#include "ui/typeeditor/ecc_page.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QTabWidget>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

namespace telvo::test {

namespace fs = std::filesystem;
using G = TfrmDesignFBType::TGrid;

namespace {

struct NameCase {
    const char* Name;
    G Grid;
    const char* Tab; // the page that shows the grid
    int Row;
    const char* Typed;
    std::string Message;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.Name; }

// The page of the interface lists that holds the grid comes to the front.
void showGridPage(TfrmDesignFBType& editor, G grid)
{
    QWidget* table = editor.Grid(grid);
    for (QWidget* w = table; w; w = w->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr))
            if (tabs->indexOf(w) >= 0)
                tabs->setCurrentWidget(w);
}

const char* const kNotAnIdentifier =
    " cannot be used: a name starts with a letter or \"_\" and holds only letters, digits and \"_\".";

class TypeEditorNames : public TypeEditorFixture, public ::testing::WithParamInterface<NameCase> {};

} // namespace

TEST_P(TypeEditorNames, ANameThatIsNoIdentifierIsRefusedWithTheReason)
{
    const NameCase& c = GetParam();
    ASSERT_TRUE(Editor->NewBasicClick());
    Editor->AddClick(G::Plugs);
    Editor->AddClick(G::InternalVars);
    Editor->ShowTab(c.Tab);
    showGridPage(*Editor, c.Grid);
    const std::string before = Editor->TypeText();
    const QString shown = Editor->Grid(c.Grid)->item(c.Row, 0)->text();
    UI.Clear();
    TypeIntoCell(c.Grid, c.Row, 0, QString::fromUtf8(c.Typed));
    ASSERT_EQ(UI.Messages().size(), 1u);
    EXPECT_EQ(UI.Messages().back(), c.Message);
    EXPECT_EQ(Editor->TypeText(), before);
    EXPECT_EQ(Editor->Grid(c.Grid)->item(c.Row, 0)->text(), shown);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, TypeEditorNames,
    ::testing::Values(NameCase{"DataInputWithBlanks", G::DataInputs, "Information", 0, "1 bad name",
                               std::string("The name 1 bad name") + kNotAnIdentifier},
                      NameCase{"EventOutputWithDash", G::EventOutputs, "Information", 1, "DONE-NOW",
                               std::string("The name DONE-NOW") + kNotAnIdentifier},
                      NameCase{"InternalVariableStartingWithDigit", G::InternalVars, "Information", 0, "2CNT",
                               std::string("The name 2CNT") + kNotAnIdentifier},
                      NameCase{"PlugWithPoint", G::Plugs, "Information", 0, "P.1",
                               std::string("The name P.1") + kNotAnIdentifier},
                      NameCase{"AlgorithmWithBlank", G::Algorithms, "Algorithms", 0, "Alg 1",
                               std::string("The name Alg 1") + kNotAnIdentifier}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TypeEditorFixture, ANameTypedIntoAnEmptyListMakesNoItemWhenRefused)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    ASSERT_TRUE(Editor->WorkingType()->Sockets.empty());
    showGridPage(*Editor, G::Sockets);
    TypeIntoCell(G::Sockets, 0, 0, "no way");
    EXPECT_TRUE(Editor->WorkingType()->Sockets.empty());
    ASSERT_FALSE(UI.Messages().empty());
    EXPECT_EQ(UI.Messages().back(), std::string("The name no way") + kNotAnIdentifier);
    TypeIntoCell(G::Sockets, 0, 0, "_S1");
    ASSERT_EQ(Editor->WorkingType()->Sockets.size(), 1u);
    EXPECT_EQ(Editor->WorkingType()->Sockets[0]->Name, "_S1");
    // Emptying a name is refused as well.
    UI.Clear();
    Editor->SetCell(G::Sockets, 0, 0, "");
    ASSERT_FALSE(UI.Messages().empty());
    EXPECT_EQ(UI.Messages().back(), "A name is needed.");
    EXPECT_EQ(Editor->WorkingType()->Sockets[0]->Name, "_S1");
}

TEST_F(TypeEditorFixture, AnUnknownDataTypeIsKeptMarkedAndNamedByTheCheck)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    auto* name = Editor->findChild<QLineEdit*>("edtname");
    name->selectAll();
    QTest::keyClicks(name, "ODD");
    UI.Clear();
    TypeIntoCell(G::DataInputs, 1, 1, "FOOBAR");
    showGridPage(*Editor, G::DataOutputs);
    TypeIntoCell(G::DataOutputs, 0, 1, "ULINT");
    showGridPage(*Editor, G::InternalVars);
    TypeIntoCell(G::InternalVars, 0, 0, "TEMP");
    TypeIntoCell(G::InternalVars, 0, 1, "REAL64");
    EXPECT_TRUE(UI.Messages().empty()) << "kept without a question";
    EXPECT_EQ(Editor->WorkingType()->DataInputs[1]->Type, "FOOBAR");

    const QColor warning = QColor::fromRgb(DiagramColour::Warning);
    const struct {
        G Grid;
        int Row;
        bool Marked;
        const char* Tip;
    } cells[] = {
        {G::DataInputs, 0, false, ""},
        {G::DataInputs, 1, true, "FOOBAR is neither an IEC 61499 elementary type nor a type of the library."},
        {G::DataOutputs, 0, false, ""},
        {G::InternalVars, 0, true, "REAL64 is neither an IEC 61499 elementary type nor a type of the library."},
    };
    for (const auto& c : cells) {
        QTableWidgetItem* item = Editor->Grid(c.Grid)->item(c.Row, 1);
        SCOPED_TRACE(item->text().toStdString());
        EXPECT_EQ(item->foreground().color() == warning, c.Marked);
        EXPECT_EQ(item->toolTip(), c.Tip);
    }
    // Marked again when the type is read back from its file.
    const fs::path file = Home / "ODD.fbt";
    Editor->AskSaveFileName = [&](const QString&, const QString&) { return QString::fromStdString(file.string()); };
    ASSERT_TRUE(Editor->Save());
    TfrmDesignFBType again(*Workbench, nullptr);
    ASSERT_TRUE(again.LoadTypeFile(QString::fromStdString(file.string())));
    EXPECT_EQ(again.Grid(G::DataInputs)->item(1, 1)->foreground().color(), warning);

    const ProcessResult r = Telvo({"type", "check", file.string()});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    const auto lines = SplitLines(r.Out);
    ASSERT_EQ(lines.size(), 3u) << r.Out;
    EXPECT_EQ(lines[0], "WARNING\t" + file.string() +
                            "\tdata input VIN: FOOBAR is neither an IEC 61499 elementary type nor a type of the "
                            "library.");
    EXPECT_EQ(lines[1], "WARNING\t" + file.string() +
                            "\tinternal variable TEMP: REAL64 is neither an IEC 61499 elementary type nor a type of the "
                            "library.");
    EXPECT_EQ(lines[2].rfind("OK\t" + file.string() + "\tODD\tbasic\t", 0), 0u) << lines[2];
}

TEST_F(TypeEditorFixture, NewEventsAreWrittenOfTypeEvent)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    // Through the Add buttons of both event lists, and by typing a name into
    // an emptied list.
    QTest::mouseClick(Editor->findChild<QPushButton*>("btnAddEventInput"), Qt::LeftButton);
    QTest::mouseClick(Editor->findChild<QPushButton*>("btnAddEventOutput"), Qt::LeftButton);
    const std::string text = Editor->TypeText();
    EXPECT_NE(text.find("<Event Name=\"E3\" Type=\"Event\""), std::string::npos) << text;
    EXPECT_EQ(text.find("Type=\"\""), std::string::npos) << text;
    for (int i = 0; i < 3; ++i) {
        UI.QueueAnswer(true);
        Editor->Grid(G::EventOutputs)->setCurrentCell(0, 0);
        Editor->DeleteClick(G::EventOutputs);
    }
    ASSERT_TRUE(Editor->WorkingType()->EventOutputs.empty());
    Editor->AddClick(G::EventOutputs); // the grid is off until Add
    UI.QueueAnswer(true);
    Editor->DeleteClick(G::EventOutputs);
    Editor->Grid(G::EventOutputs)->setEnabled(true);
    showGridPage(*Editor, G::EventOutputs);
    TypeIntoCell(G::EventOutputs, 0, 0, "DONE");
    ASSERT_EQ(Editor->WorkingType()->EventOutputs.size(), 1u);
    EXPECT_EQ(Editor->WorkingType()->EventOutputs[0]->Type, "Event");
}

// ---------------------------------------------------------------- scripts

namespace {

struct ScriptCase {
    const char* Name;
    bool Condition; // else an algorithm
    const char* Text;
    bool Ok;
    const char* Message;
    int Line, Column;
};
void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.Name; }

class ScriptChecks : public TypeEditorFixture, public ::testing::WithParamInterface<ScriptCase> {};

std::vector<std::string> splitText(const std::string& text)
{
    std::vector<std::string> out;
    size_t from = 0;
    while (true) {
        const size_t end = text.find('\n', from);
        out.push_back(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
        if (end == std::string::npos)
            return out;
        from = end + 1;
    }
}

} // namespace

// The template's interface: REQ, INIT; QI (BOOL), VIN (INT); QO, VOUT.
TEST_P(ScriptChecks, PositionsLieInTheUsersOwnText)
{
    const ScriptCase& c = GetParam();
    ASSERT_TRUE(Editor->NewBasicClick());
    TFB_Type& type = *Editor->WorkingType();
    const TScriptCheck check =
        c.Condition ? CheckConditionScript(type, c.Text) : CheckAlgorithmScript(type, splitText(c.Text));
    EXPECT_EQ(check.Ok, c.Ok);
    EXPECT_EQ(check.Message, c.Message);
    EXPECT_EQ(check.Line, c.Line);
    EXPECT_EQ(check.Column, c.Column);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ScriptChecks,
    ::testing::Values(
        ScriptCase{"ConditionCompiles", true, "REQ AND QI", true, "", 0, 0},
        ScriptCase{"ConditionComparingAnInput", true, "REQ AND (VIN > 3)", true, "", 0, 0},
        ScriptCase{"ConditionSyntax", true, "REQ AND AND QI", false, "Syntax Error", 1, 9},
        ScriptCase{"ConditionEndingTooEarly", true, "REQ AND", false, "Syntax Error", 1, 8},
        ScriptCase{"ConditionUnknownName", true, "REQ AND NOSUCH", false, "Unknown name in the condition: NOSUCH",
                   1, 9},
        ScriptCase{"ConditionOnAnOutput", true, "QO", false, "Unknown name in the condition: QO", 1, 1},
        ScriptCase{"AlgorithmCompiles", false, "DO_VOUT := VIN + 1;\nDO_QO := QI;", true, "", 0, 0},
        ScriptCase{"AlgorithmFaultOnSecondLine", false, "DO_VOUT := 1;\nDO_QO := := QI;", false,
                   "Assignment in expressions is not supported", 2, 10},
        ScriptCase{"AlgorithmSyntaxAfterTab", false, "DO_VOUT := 1;\n\tDO_QO := QI;", false, "Syntax Error", 2, 1},
        ScriptCase{"AlgorithmUnknownName", false, "DO_VOUT := NOSUCH;", false,
                   "Unknown name in the algorithm: NOSUCH", 1, 12},
        ScriptCase{"AlgorithmUnknownNamesInOrder", false, "// NOSUCH here is a comment\nX := 'Y';\nDO_VOUT := Z;",
                   false, "Unknown name in the algorithm: X, Z", 2, 1},
        ScriptCase{"AlgorithmBareOutput", false, "VOUT := 1;", false, "Unknown name in the algorithm: VOUT", 1, 1}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TypeEditorFixture, TextValuesOfTheInstanceDoNotSpoilTheCheck)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    // A text input holds nothing and a text variable a word: neither may be
    // taken for a fault of the user's text.
    TypeIntoCell(G::DataInputs, 1, 1, "STRING");
    showGridPage(*Editor, G::InternalVars);
    TypeIntoCell(G::InternalVars, 0, 0, "NOTE");
    TypeIntoCell(G::InternalVars, 0, 1, "STRING");
    TypeIntoCell(G::InternalVars, 0, 3, "hello");
    TFB_Type& type = *Editor->WorkingType();
    ASSERT_EQ(type.DataInputs[1]->Type, "STRING");
    ASSERT_EQ(type.InternalVars[0]->InitialValue, "hello");
    EXPECT_EQ(CheckTransitionCondition(type, "REQ AND (VIN = 'x')"), "");
    Editor->ShowTab("Algorithms");
    Editor->SelectAlgorithm(1);
    Editor->findChild<QPlainTextEdit*>("memSource")->setPlainText("NOTE := VIN;\nDO_QO := QI;");
    EXPECT_TRUE(Editor->CheckAlgorithmClick()) << Editor->AlgorithmCheckText().toStdString();
}

TEST_F(TypeEditorFixture, TheAlgorithmCheckNamesPlacesInTheAlgorithm)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    Editor->ShowTab("Algorithms");
    Editor->SelectAlgorithm(1);
    auto* source = Editor->findChild<QPlainTextEdit*>("memSource");
    const struct {
        const char* Text;
        const char* Shown;
        int Line, Column;
    } cases[] = {
        {"DO_VOUT := NOSUCH;", "Line 1, column 12: Unknown name in the algorithm: NOSUCH", 1, 12},
        {"DO_VOUT := 1;\nDO_QO := := QI;", "Line 2, column 10: Assignment in expressions is not supported", 2, 10},
    };
    for (const auto& c : cases) {
        source->setPlainText(QString::fromUtf8(c.Text));
        QTest::mouseClick(Editor->findChild<QPushButton*>("btnCheckScript"), Qt::LeftButton);
        EXPECT_EQ(Editor->AlgorithmCheckText().toStdString(), c.Shown);
        // The caret stands at the fault.
        const QTextCursor at = source->textCursor();
        EXPECT_EQ(at.blockNumber() + 1, c.Line);
        EXPECT_EQ(at.positionInBlock() + 1, c.Column);
    }
}

TEST_F(TypeEditorFixture, StructuredTextIsCheckedWithPlacesInItsOwnText)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    // REQ's algorithm in ST instead of the template's script.
    TFBAlgorithm& a = *Editor->WorkingType()->Algorithms[1];
    a.Language.clear();
    a.OtherText.clear();
    a.STText.clear();
    Editor->ShowTab("Algorithms");
    Editor->SelectAlgorithm(1);
    auto* st = Editor->findChild<QPlainTextEdit*>("memST");
    const struct {
        const char* Text;
        const char* Shown;
        int Line, Column;
    } cases[] = {
        {"QO := QI;\nQO := QI AND;", "Line 2, column 13: Syntax Error: ';' where an operand was expected", 2, 13},
        {"IF QI THEN\n  QO := NOSUCH;\nEND_IF;", "Line 2, column 9: Syntax Error: unknown variable NOSUCH", 2, 9},
    };
    for (const auto& c : cases) {
        st->setPlainText(QString::fromUtf8(c.Text));
        QTest::mouseClick(Editor->findChild<QPushButton*>("btnCheckScript"), Qt::LeftButton);
        EXPECT_EQ(Editor->AlgorithmCheckText().toStdString(), c.Shown);
        // The caret stands at the fault, in the ST text.
        const QTextCursor at = st->textCursor();
        EXPECT_EQ(at.blockNumber() + 1, c.Line);
        EXPECT_EQ(at.positionInBlock() + 1, c.Column);
    }
    // Outputs by their own names, as ST writes them.
    st->setPlainText(QStringLiteral("QO := NOT QI;\nIF QO THEN\n  QO := FALSE;\nEND_IF;"));
    EXPECT_TRUE(Editor->CheckAlgorithmClick()) << Editor->AlgorithmCheckText().toStdString();
}

TEST_F(TypeEditorFixture, AConditionThatCannotRunIsStoredOnlyWhenTheUserSaysSoAndMarkedOnTheChart)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    Editor->ShowTab("ECC");
    TEccPage& page = *Editor->EccPage();
    TFB_Type& type = *Editor->WorkingType();
    ASSERT_FALSE(type.Transitions.empty());
    const TECCTransition& t = *type.Transitions[0];
    const std::string old = t.Condition;
    QImage before = page.Image().copy();

    // The dialog opened by a double click on the label; OK with a condition
    // that does not compile asks first: No keeps the dialog open, Yes stores.
    TModalAnswers answers;
    QStringList warnings;
    bool stayedOpen = false;
    answers.OnDialog = [&](QDialog* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>("Edit1");
        auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        edit->selectAll();
        QTest::keyClicks(edit, "REQ AND AND QI");
        warnings << dialog->findChild<QLabel*>("lblConditionCheck")->text();
        UI.QueueAnswer(false);
        QTest::mouseClick(ok, Qt::LeftButton);
        stayedOpen = dialog->isVisible();
        UI.QueueAnswer(true);
        QTest::mouseClick(ok, Qt::LeftButton);
    };
    UI.Clear();
    page.MouseDown(t.X + 2, t.Y);
    page.MouseUp(t.X + 2, t.Y);
    ASSERT_EQ(page.SelectedTransition(), 0);
    page.DoubleClick(t.X + 2, t.Y);
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0], "Column 9: Syntax Error");
    ASSERT_EQ(UI.Questions().size(), 2u);
    EXPECT_EQ(UI.Questions()[0], "The condition REQ AND AND QI cannot be run: Column 9: Syntax Error. Store it anyway?");
    EXPECT_EQ(type.Transitions[0]->Condition, "REQ AND AND QI");
    EXPECT_NE(old, type.Transitions[0]->Condition);

    // On the chart the condition is in the warning colour; a condition that
    // runs is black.
    auto coloured = [&](const QImage& image) {
        const TECCTransition& now = *Editor->WorkingType()->Transitions[0];
        const QPoint origin = page.Origin();
        int n = 0;
        for (int x = now.X - 5; x < now.X + 60; ++x)
            for (int y = now.Y - 5; y < now.Y + 5; ++y) {
                const QColor c = image.pixelColor(x - origin.x(), y - origin.y());
                n += c.red() > c.blue() + 60;
            }
        return n;
    };
    EXPECT_EQ(coloured(before), 0);
    EXPECT_GT(coloured(page.Image()), 0);
    EXPECT_TRUE(page.EditTransition(0, "REQ AND QI"));
    EXPECT_EQ(coloured(page.Image()), 0);
}

} // namespace telvo::test
