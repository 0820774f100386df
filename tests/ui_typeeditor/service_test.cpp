// The Service page: sequences and transactions edited, the picture drawn,
// and every edit undone exactly.

#include "type_editor_fixture.h"

#include "model/fb_type.h"
#include "ui/typeeditor/service_page.h"

#include <QTableWidget>
#include <QUndoStack>

namespace telvo::test {

TEST_F(TypeEditorFixture, ServiceSequencesAreEditedDrawnAndUndone)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    Editor->ShowTab("Service");
    TServicePage& page = *Editor->ServicePage();
    TFB_Service& service = *Editor->WorkingType()->Services.front();
    // Without sequences: one empty row, the transactions off, "<empty>".
    EXPECT_EQ(page.Sequences()->rowCount(), 1);
    EXPECT_FALSE(page.Transactions()->isEnabled());

    const std::vector<std::pair<const char*, std::function<void()>>> edits = {
        {"add sequence", [&] { page.AddSequenceClick(); }},
        {"add transaction", [&] { page.AddTransactionClick(); }},
        {"second transaction", [&] { page.AddTransactionClick(); }},
        {"output on the right", [&] { page.TransactionEdited(1, 2, "RightInterf"); }},
        {"parameters", [&] { page.TransactionEdited(0, 1, "QI"); }},
        {"rename sequence", [&] { page.SequenceEdited(0, "normal"); }},
        {"left interface", [&] { page.SetInterfaceText(true, "APP"); }},
        {"add second sequence", [&] { page.AddSequenceClick(); }},
    };
    for (const auto& [name, edit] : edits) {
        SCOPED_TRACE(name);
        const std::string before = Editor->TypeText();
        edit();
        const std::string after = Editor->TypeText();
        ASSERT_NE(before, after);
        Editor->UndoStack()->undo();
        EXPECT_EQ(Editor->TypeText(), before);
        Editor->UndoStack()->redo();
        EXPECT_EQ(Editor->TypeText(), after);
    }
    TFB_Service& now = *Editor->WorkingType()->Services.front();
    (void)service;
    ASSERT_EQ(now.Sequences.size(), 2u);
    EXPECT_EQ(now.Sequences[0]->Name, "normal");
    EXPECT_EQ(now.Sequences[1]->Name, "ServiceSeq_2");
    ASSERT_EQ(now.Sequences[0]->Primitives.size(), 2u);
    EXPECT_EQ(now.Sequences[0]->Primitives[0]->Event, "<put_event>1");
    EXPECT_TRUE(now.Sequences[0]->Primitives[0]->IsInput);
    EXPECT_FALSE(now.Sequences[0]->Primitives[1]->IsInput);
    EXPECT_EQ(now.Sequences[0]->Primitives[1]->Interface, "RightInterf");
    EXPECT_EQ(now.LeftInterface, "APP");
    EXPECT_EQ(now.RightInterface, "RightInterf");

    // The picture at 315 pixels: interface lines at 137 and 177.
    QImage image(315, 200, QImage::Format_RGB32);
    PaintServiceSequence(image, &now, now.Sequences[0].get());
    EXPECT_EQ(image.pixelColor(137, 150), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(177, 150), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(157, 150), QColor(Qt::white));
    // The output on the right at y = 70: an arrow leaving the right line.
    EXPECT_EQ(image.pixelColor(177 + 25, 70), QColor(Qt::black));
}

} // namespace telvo::test
