// Undo and redo of every kind of edit: the type written after undo is the
// type written before the edit, to the byte, and redo brings the edit back.

#include "type_editor_fixture.h"

#include "model/fb_diagram.h"
#include "model/fb_type.h"
#include "ui/diagram/fb_diagram_editor.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUndoStack>

#include <functional>

namespace telvo::test {

namespace {

using G = TfrmDesignFBType::TGrid;

struct EditCase {
    const char* Name;
    bool Composite;
    std::function<void(TfrmDesignFBType&, TRecordingUserInterface&)> Edit;
};
void PrintTo(const EditCase& c, std::ostream* os) { *os << c.Name; }

void typeInto(QWidget* w, const QString& text) { TypeText(w, text); }

const EditCase kEdits[] = {
    {"TypeName", false, [](TfrmDesignFBType& e, auto&) { typeInto(e.findChild<QLineEdit*>("edtname"), "X"); }},
    {"Comment", false, [](TfrmDesignFBType& e, auto&) { typeInto(e.findChild<QLineEdit*>("edtComment"), "more"); }},
    {"Standard", false, [](TfrmDesignFBType& e, auto&) { typeInto(e.findChild<QLineEdit*>("edtStandard"), "x"); }},
    {"AddDataInput", false, [](TfrmDesignFBType& e, auto&) { e.AddClick(G::DataInputs); }},
    {"DeleteEventInput", false,
     [](TfrmDesignFBType& e, TRecordingUserInterface& ui) {
         ui.QueueAnswer(true);
         e.Grid(G::EventInputs)->setCurrentCell(1, 0);
         e.DeleteClick(G::EventInputs);
     }},
    {"DeleteDataInputInWiths", false,
     [](TfrmDesignFBType& e, TRecordingUserInterface& ui) {
         ui.QueueAnswer(true);
         e.Grid(G::DataInputs)->setCurrentCell(0, 0);
         e.DeleteClick(G::DataInputs);
     }},
    {"DataType", false, [](TfrmDesignFBType& e, auto&) { e.SetCell(G::DataInputs, 1, 1, "DINT"); }},
    {"OutputComment", false, [](TfrmDesignFBType& e, auto&) { e.SetCell(G::DataOutputs, 0, 4, "flag"); }},
    {"UntickWith", false,
     [](TfrmDesignFBType& e, auto&) {
         e.Grid(G::EventInputs)->setCurrentCell(1, 0);
         e.WithList(true)->item(1)->setCheckState(Qt::Unchecked);
     }},
    {"AddInternalVariable", false, [](TfrmDesignFBType& e, auto&) { e.AddClick(G::InternalVars); }},
    {"AddPlug", false, [](TfrmDesignFBType& e, auto&) { e.AddClick(G::Plugs); }},
    {"AddVersion", false, [](TfrmDesignFBType& e, auto&) { e.AddClick(G::Versions); }},
    {"AddAlgorithm", false, [](TfrmDesignFBType& e, auto&) { e.AddClick(G::Algorithms); }},
    {"DeleteAlgorithm", false,
     [](TfrmDesignFBType& e, TRecordingUserInterface& ui) {
         ui.QueueAnswer(true);
         e.SelectAlgorithm(0);
         e.DeleteClick(G::Algorithms);
     }},
    {"AlgorithmSource", false,
     [](TfrmDesignFBType& e, auto&) {
         e.ShowTab("Algorithms");
         e.SelectAlgorithm(1);
         auto* source = e.findChild<QPlainTextEdit*>("memSource");
         source->moveCursor(QTextCursor::End);
         typeInto(source, "\nDO_VOUT := VIN * 2;");
     }},
    {"UseDelphiScript", false,
     [](TfrmDesignFBType& e, auto&) {
         e.SelectAlgorithm(0);
         e.UseDelphiScriptClick();
     }},
    {"ApplyXml", false,
     [](TfrmDesignFBType& e, auto&) {
         e.ShowTab("XML spec");
         QString text = e.XmlView()->toPlainText();
         text.replace("Name=\"VIN\"", "Name=\"VALUE\"");
         text.replace("Var=\"VIN\"", "Var=\"VALUE\"");
         e.XmlView()->setPlainText(text);
         e.ApplyXmlClick();
     }},
    {"InsertInstance", true, [](TfrmDesignFBType& e, auto&) { e.InsertInstance("E_SWITCH"); }},
};

class TypeEditorUndo : public TypeEditorFixture, public ::testing::WithParamInterface<EditCase> {};

TEST_P(TypeEditorUndo, UndoRestoresTheWrittenTypeExactlyAndRedoBringsTheEditBack)
{
    const EditCase& c = GetParam();
    ASSERT_TRUE(c.Composite ? Editor->NewCompositeClick() : Editor->NewBasicClick());
    const std::string before = Editor->TypeText();
    c.Edit(*Editor, UI);
    const std::string after = Editor->TypeText();
    ASSERT_NE(before, after) << "the edit changed nothing";
    EXPECT_EQ(Editor->RecordedText(), after) << "the edit was not recorded";
    EXPECT_EQ(Editor->UndoStack()->count(), 1) << "one action, one step";

    QTest::keyClick(Editor.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Editor->TypeText(), before);
    QTest::keyClick(Editor.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Editor->TypeText(), after);
    Editor->UndoStack()->undo();
    EXPECT_EQ(Editor->TypeText(), before);
}

INSTANTIATE_TEST_SUITE_P(EditKinds, TypeEditorUndo, ::testing::ValuesIn(kEdits),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TypeEditorFixture, UndoInsideATextFieldIsTheWindowsUndo)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    const std::string before = Editor->TypeText();
    auto* comment = Editor->findChild<QLineEdit*>("edtComment");
    typeInto(comment, "abc");
    QTest::keyClick(comment, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Editor->TypeText(), before);
    EXPECT_EQ(comment->text().toStdString(), Editor->WorkingType()->Comment);
}

TEST_F(TypeEditorFixture, UndoOfACompositeEditKeepsTheNetworkShown)
{
    ASSERT_TRUE(Editor->NewCompositeClick());
    Editor->ShowTab("Composition");
    const size_t instances = Editor->WorkingType()->Network->DrawnInstances.size();
    Editor->InsertInstance("E_SWITCH");
    ASSERT_EQ(Editor->WorkingType()->Network->DrawnInstances.size(), instances + 1);
    Editor->UndoStack()->undo();
    EXPECT_EQ(Editor->WorkingType()->Network->DrawnInstances.size(), instances);
    // The diagram editor shows the restored network, not a freed one.
    EXPECT_EQ(Editor->CompositeEditor()->Diagram(), Editor->WorkingType()->Network.get());
    Editor->CompositeEditor()->PaintDiagram();
}

} // namespace

} // namespace telvo::test
