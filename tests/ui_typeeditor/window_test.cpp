// The type editor window as the user meets it, one row per property:
// captions, the geometry at start, cell editors that open on selection,
// which grids and buttons are enabled, the keys, and what the status and
// the message boxes say.

#include "type_editor_fixture.h"

#include "../ui/ui_test_support.h"

#include "model/fb_type.h"
#include "ui/qt_user_interface.h"
#include "ui/typeeditor/service_page.h"

#include <QAbstractButton>
#include <QAction>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>

namespace telvo::test {

namespace {

using G = TfrmDesignFBType::TGrid;

void clickCell(QTableWidget* table, int row, int column)
{
    const QRect cell = table->visualRect(table->model()->index(row, column));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QApplication::processEvents();
}

// The drop-down list standing over a cell, by name; none when not open.
QComboBox* openList(QWidget* grid, const char* name)
{
    auto* combo = grid->findChild<QComboBox*>(name);
    return combo && combo->isVisible() ? combo : nullptr;
}

// Picks an item of an open drop-down list with the mouse.
void choose(QComboBox* combo, const QString& text)
{
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    const QModelIndex index = view->model()->index(combo->findText(text), 0);
    ASSERT_TRUE(index.isValid()) << text.toStdString();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    QApplication::processEvents();
}

std::string lastHint(const TRecordingUserInterface& ui)
{
    const auto hints = ui.Hints();
    return hints.empty() ? std::string() : hints.back().Text;
}

struct WindowRow {
    const char* Name;
    std::function<void(TfrmDesignFBType&, TRecordingUserInterface&, const TempDir&)> Check;
};
void PrintTo(const WindowRow& r, std::ostream* os) { *os << r.Name; }

class TypeEditorWindow : public TypeEditorFixture, public ::testing::WithParamInterface<WindowRow> {};

const WindowRow kRows[] = {
    {"SaveAsButtonCaption",
     [](TfrmDesignFBType& e, auto&, auto&) {
         auto* bar = e.findChild<QToolBar*>("ToolBar1");
         auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(e.findChild<QAction*>("tbTypeSaveAs")));
         ASSERT_NE(button, nullptr);
         EXPECT_EQ(button->text(), "Save As...");
     }},
    {"TabAreaStartsAt485PixelsOnEveryPage",
     [](TfrmDesignFBType& e, auto&, auto&) {
         e.resize(1600, 1000);
         QApplication::processEvents();
         ASSERT_TRUE(e.NewBasicClick());
         auto* pages = e.findChild<QStackedWidget*>("pcTypeEditor");
         for (const char* tab : {"Information", "XML spec", "ECC", "Structure", "Algorithms", "Compile", "Service"}) {
             e.ShowTab(tab);
             QApplication::processEvents();
             EXPECT_EQ(pages->width(), 485) << tab;
         }
     }},
    {"TypeListOpensOnSelectingATypeCellAndStoresTheChoiceAtOnce",
     [](TfrmDesignFBType& e, auto&, auto&) {
         ASSERT_TRUE(e.NewBasicClick());
         QTableWidget* grid = e.Grid(G::DataInputs);
         clickCell(grid, 1, 0);
         EXPECT_EQ(openList(grid, "cmbDataType"), nullptr) << "a name cell has no list";
         clickCell(grid, 1, 1);
         QComboBox* list = openList(grid, "cmbDataType");
         ASSERT_NE(list, nullptr);
         EXPECT_EQ(list->currentText(), "INT");
         choose(list, "DINT");
         EXPECT_EQ(e.WorkingType()->DataInputs[1]->Type, "DINT");
         EXPECT_EQ(e.UndoStack()->count(), 1);
     }},
    {"InterfaceListOpensOnSelectingABoundCellAndStoresTheChoiceAtOnce",
     [](TfrmDesignFBType& e, auto&, auto&) {
         ASSERT_TRUE(e.NewBasicClick());
         e.ShowTab("Service");
         TServicePage& page = *e.ServicePage();
         page.AddSequenceClick();
         page.AddTransactionClick();
         QTableWidget* grid = page.Transactions();
         clickCell(grid, 0, 1);
         EXPECT_EQ(openList(grid, "cmbServiceInterfaces"), nullptr);
         clickCell(grid, 0, 2);
         QComboBox* list = openList(grid, "cmbServiceInterfaces");
         ASSERT_NE(list, nullptr);
         EXPECT_EQ(list->currentIndex(), -1) << "the From cell of an input primitive is empty";
         choose(list, "RightInterf");
         const TFB_ServiceTransaction& t = *e.WorkingType()->Services[0]->Sequences[0]->Primitives[0];
         EXPECT_FALSE(t.IsInput);
         EXPECT_EQ(t.Interface, "RightInterf");
     }},
    {"DeletingTheLastItemDisablesTheGridAndDelete",
     [](TfrmDesignFBType& e, TRecordingUserInterface& ui, auto&) {
         ASSERT_TRUE(e.NewBasicClick());
         QTableWidget* grid = e.Grid(G::DataOutputs);
         auto* del = e.findChild<QPushButton*>("btnDeleteDataOutput");
         for (int i = 0; i < 2; ++i) {
             grid->setCurrentCell(0, 0);
             ui.QueueAnswer(true);
             del->click();
         }
         EXPECT_EQ(grid->item(0, 0)->text(), "(empty)");
         EXPECT_FALSE(grid->isEnabled());
         EXPECT_FALSE(del->isEnabled());
         e.findChild<QPushButton*>("btnAddDataOutput")->click();
         EXPECT_TRUE(grid->isEnabled());
         EXPECT_TRUE(del->isEnabled());
     }},
    {"TestOnlySendsItsHint",
     [](TfrmDesignFBType& e, TRecordingUserInterface& ui, auto&) {
         ASSERT_TRUE(e.NewBasicClick());
         e.ShowTab("Algorithms");
         QTest::mouseClick(e.TabButton("Test"), Qt::LeftButton);
         EXPECT_EQ(lastHint(ui), "Testing the Function Block type, is not implemented yet!");
         EXPECT_EQ(e.CurrentTab(), "Algorithms");
         EXPECT_TRUE(e.TabButton("Algorithms")->isChecked());
         EXPECT_FALSE(e.findChild<QWidget*>("tsTest")->isVisible());
     }},
    {"ServiceLoadLeavesTheGridsAndButtonsAsTheyWere",
     [](TfrmDesignFBType& e, auto&, const TempDir& home) {
         ASSERT_TRUE(e.NewBasicClick());
         e.ShowTab("Service");
         TServicePage& page = *e.ServicePage();
         page.AddSequenceClick();
         page.AddTransactionClick();
         // A type without sequences (the changed one not saved): nothing is
         // switched off again.
         TModalAnswers answers;
         answers.Queue(QMessageBox::No);
         ASSERT_TRUE(e.LoadTypeFile(QString::fromStdString((home / "library" / "events" / "E_SPLIT.fbt").string())));
         ASSERT_TRUE(e.WorkingType()->Services[0]->Sequences.empty());
         EXPECT_TRUE(e.findChild<QPushButton*>("btnDeleteSequence")->isEnabled());
         EXPECT_TRUE(page.Transactions()->isEnabled());
         EXPECT_TRUE(e.findChild<QPushButton*>("btnAddTransaction")->isEnabled());
         EXPECT_TRUE(e.findChild<QPushButton*>("btnDeleteTransaction")->isEnabled());
     }},
    {"DeletingTheLastSequenceDisablesTheSequenceGrid",
     [](TfrmDesignFBType& e, TRecordingUserInterface& ui, auto&) {
         ASSERT_TRUE(e.NewBasicClick());
         e.ShowTab("Service");
         TServicePage& page = *e.ServicePage();
         page.AddSequenceClick();
         page.AddTransactionClick();
         ui.QueueAnswer(true);
         page.Transactions()->setCurrentCell(0, 0);
         e.findChild<QPushButton*>("btnDeleteTransaction")->click();
         EXPECT_FALSE(page.Transactions()->isEnabled());
         EXPECT_FALSE(e.findChild<QPushButton*>("btnDeleteTransaction")->isEnabled());
         ui.QueueAnswer(true);
         e.findChild<QPushButton*>("btnDeleteSequence")->click();
         EXPECT_FALSE(page.Sequences()->isEnabled());
         EXPECT_FALSE(e.findChild<QPushButton*>("btnDeleteSequence")->isEnabled());
         e.findChild<QPushButton*>("btnAddSequence")->click();
         EXPECT_TRUE(page.Sequences()->isEnabled());
         EXPECT_TRUE(e.findChild<QPushButton*>("btnDeleteSequence")->isEnabled());
     }},
    {"CtrlYRedoes",
     [](TfrmDesignFBType& e, auto&, auto&) {
         ASSERT_TRUE(e.NewBasicClick());
         const std::string before = e.TypeText();
         auto* comment = e.findChild<QLineEdit*>("edtComment");
         TypeText(comment, "more");
         const std::string after = e.TypeText();
         QTest::keyClick(comment, Qt::Key_Z, Qt::ControlModifier);
         ASSERT_EQ(e.TypeText(), before);
         QTest::keyClick(comment, Qt::Key_Y, Qt::ControlModifier);
         EXPECT_EQ(e.TypeText(), after);
         QTest::keyClick(&e, Qt::Key_Z, Qt::ControlModifier);
         QTest::keyClick(&e, Qt::Key_Y, Qt::ControlModifier);
         EXPECT_EQ(e.TypeText(), after);
         // Whatever the desktop's own key scheme: the Edit menu offers both
         // keys (here the offscreen scheme would redo with Ctrl+Y anyway).
         const QList<QKeySequence> keys = e.findChild<QAction*>("acRedo")->shortcuts();
         EXPECT_TRUE(keys.contains(QKeySequence(Qt::CTRL | Qt::Key_Y)));
         EXPECT_TRUE(keys.contains(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)));
     }},
    {"XmlLinesCountFromOne",
     [](TfrmDesignFBType& e, auto&, auto&) {
         ASSERT_TRUE(e.NewBasicClick());
         e.ShowTab("XML spec");
         QPlainTextEdit* xml = e.XmlView();
         xml->moveCursor(QTextCursor::Start);
         xml->moveCursor(QTextCursor::Down);
         xml->moveCursor(QTextCursor::Start);
         EXPECT_EQ(e.StatusText(), "Line 1");
         xml->moveCursor(QTextCursor::Down);
         EXPECT_EQ(e.StatusText(), "Line 2");
     }},
    {"CompilePageSaysWhatItDoes",
     [](TfrmDesignFBType& e, TRecordingUserInterface& ui, auto&) {
         ASSERT_TRUE(e.NewBasicClick());
         QTest::mouseClick(e.TabButton("Compile"), Qt::LeftButton);
         EXPECT_EQ(lastHint(ui), "Create the Pascal code of your Function Block type, then compile it into a library.");
     }},
};

} // namespace

TEST_P(TypeEditorWindow, Row) { GetParam().Check(*Editor, UI, Home); }

INSTANTIATE_TEST_SUITE_P(Rows, TypeEditorWindow, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TypeEditorFixture, ErrorsShowTheWarningIcon)
{
    TQtUserInterface desktop;
    TWorkbench workbench(Home.Path(), desktop);
    TfrmDesignFBType editor(workbench, nullptr);
    editor.show();
    ASSERT_TRUE(editor.NewBasicClick());
    TModalAnswers answers;
    editor.ShowTab("XML spec");
    editor.XmlView()->setPlainText("<FBType Name=\"X\">\n<InterfaceList>\n</FBType>");
    EXPECT_FALSE(editor.ApplyXmlClick());
    // A name the file cannot carry, refused on Save As.
    auto* name = editor.findChild<QLineEdit*>("edtname");
    editor.ShowTab("Information");
    name->setFocus();
    name->selectAll();
    QTest::keyClick(name, Qt::Key_Delete);
    EXPECT_FALSE(editor.SaveAs());
    ASSERT_EQ(answers.Texts.size(), 2);
    EXPECT_TRUE(answers.Texts[0].contains("Malformed XML")) << answers.Texts[0].toStdString();
    EXPECT_EQ(answers.Icons, (QList<QMessageBox::Icon>{QMessageBox::Warning, QMessageBox::Warning}));
}

} // namespace telvo::test
