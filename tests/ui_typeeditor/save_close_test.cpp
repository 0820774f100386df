// Saving and closing through the editor's own buttons and keys: a type made
// with "New Based on..." never writes over its original, and closing a
// changed type asks Yes, No or Cancel, where every way out of the question
// that is not Yes or No keeps the window and the work.

#include "type_editor_fixture.h"

#include "../ui/ui_test_support.h"

#include "model/fb_type.h"
#include "model/file_util.h"
#include "workbench/program_folders.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace telvo::test {

namespace fs = std::filesystem;

namespace {

QWidget* toolButton(TfrmDesignFBType& editor, const char* actionName)
{
    auto* action = editor.findChild<QAction*>(actionName);
    auto* bar = editor.findChild<QToolBar*>("ToolBar1");
    return action && bar ? bar->widgetForAction(action) : nullptr;
}

void typeName(TfrmDesignFBType& editor, const QString& name)
{
    auto* edit = editor.findChild<QLineEdit*>("edtname");
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, name);
}

// Answers the next message box that opens with `answer`, and records its
// text and buttons.
class TNextBox {
public:
    explicit TNextBox(std::function<void(QMessageBox*)> answer) : answer_(std::move(answer))
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box == seen_)
                return;
            seen_ = box;
            Text = box->text();
            for (QAbstractButton* b : box->buttons())
                Buttons << box->standardButton(b);
            QTimer::singleShot(0, box, [this, box] { answer_(box); });
        });
        timer_.start();
    }
    QString Text;
    QList<QMessageBox::StandardButton> Buttons;

private:
    std::function<void(QMessageBox*)> answer_;
    QTimer timer_;
    QPointer<QMessageBox> seen_;
};

} // namespace

TEST_F(TypeEditorFixture, ANewTypeBasedOnAnotherIsSavedBesideItAndTheOriginalStaysByteForByte)
{
    const fs::path original = Home / "library" / "events" / "E_SPLIT.fbt";
    const std::string before = ReadFileText(original);
    Editor->AskOpenFileName = [&] { return QString::fromStdString(original.string()); };
    Editor->findChild<QAction*>("mnuNewBasedOn")->trigger();
    ASSERT_NE(Editor->WorkingType(), nullptr);
    EXPECT_EQ(Editor->WorkingType()->Name, "Unnamed");
    EXPECT_TRUE(Editor->FileName().isEmpty()) << "the copy has no file of its own yet";
    EXPECT_EQ(Editor->windowTitle().toStdString().find(original.string()), std::string::npos);

    // Save with the dialog cancelled: nothing is written anywhere.
    int asked = 0;
    Editor->AskSaveFileName = [&](const QString& folder, const QString& proposed) {
        ++asked;
        EXPECT_EQ(folder.toStdString(), original.parent_path().string());
        EXPECT_EQ(proposed, "Unnamed.fbt");
        return QString();
    };
    QTest::keyClick(Editor.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(asked, 1) << "Save of an untitled type is Save As";
    EXPECT_EQ(ReadFileText(original), before);

    // Named and saved through the Save button: the new name's file beside
    // the original.
    typeName(*Editor, "SPLIT_COPY");
    Editor->AskSaveFileName = [&](const QString& folder, const QString& proposed) {
        EXPECT_EQ(proposed, "SPLIT_COPY.fbt");
        return folder + QLatin1Char('/') + proposed;
    };
    QTest::mouseClick(toolButton(*Editor, "tbTypeSave"), Qt::LeftButton);
    const fs::path copy = original.parent_path() / "SPLIT_COPY.fbt";
    ASSERT_TRUE(fs::exists(copy));
    EXPECT_NE(ReadFileText(copy).find("Name=\"SPLIT_COPY\""), std::string::npos);
    EXPECT_EQ(ReadFileText(original), before);
    EXPECT_EQ(Editor->FileName().toStdString(), copy.string());

    // From now on Save writes the copy's own file, still never the original.
    Editor->AddClick(TfrmDesignFBType::TGrid::Plugs);
    Editor->AskSaveFileName = [&](const QString&, const QString&) {
        ADD_FAILURE() << "a saved copy is saved in place";
        return QString();
    };
    QTest::mouseClick(toolButton(*Editor, "tbTypeSave"), Qt::LeftButton);
    EXPECT_NE(ReadFileText(copy).find("P1"), std::string::npos);
    EXPECT_EQ(ReadFileText(original), before);
}

TEST_F(TypeEditorFixture, SavingAnInstalledTypeSavesTheUsersCopyAndTheShippedFileStays)
{
    // The same library laid out as an installation, with a user's home
    // beside it. The temporary folder is writable, as everything is for
    // root: only its place makes it the shipped library.
    TempDir root;
    const fs::path share = root / "usr/share/telvo-zoze";
    fs::create_directories(share);
    fs::copy(BuiltProgramDir() / "library", share / "library", fs::copy_options::recursive);
    const TUserFolders user{root / "home", root / "home/config", root / "home/data"};
    Editor.reset();
    Workbench = std::make_unique<TWorkbench>(DecideProgramFolders(share, user), UI);
    Workbench->IndexLibrary();
    Editor = std::make_unique<TfrmDesignFBType>(*Workbench, nullptr);
    Editor->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Editor.get()));

    const fs::path shipped = share / "library/events/E_SPLIT.fbt";
    const std::string before = ReadFileText(shipped);
    ASSERT_TRUE(Editor->LoadTypeFile(QString::fromStdString(shipped.string())));
    Editor->AddClick(TfrmDesignFBType::TGrid::Plugs);
    QString offered;
    Editor->AskSaveFileName = [&](const QString& folder, const QString& proposed) {
        offered = folder;
        return folder + QLatin1Char('/') + proposed;
    };
    QTest::mouseClick(toolButton(*Editor, "tbTypeSave"), Qt::LeftButton);
    const fs::path mine = root / "home/data/telvo-zoze/library/events/E_SPLIT.fbt";
    EXPECT_EQ(offered.toStdString(), mine.parent_path().string()) << "Save of a shipped type is Save As";
    EXPECT_EQ(ReadFileText(shipped), before);
    ASSERT_TRUE(fs::exists(mine));
    EXPECT_NE(ReadFileText(mine).find("P1"), std::string::npos);
    EXPECT_EQ(Editor->FileName().toStdString(), mine.string());

    // A new type saved into the shipped library is refused, saying why.
    UI.Clear();
    ASSERT_TRUE(Editor->NewBasicClick());
    typeName(*Editor, "MINE");
    const fs::path intoShipped = share / "library/events/MINE.fbt";
    Editor->AskSaveFileName = [&](const QString&, const QString&) {
        return QString::fromStdString(intoShipped.string());
    };
    QTest::mouseClick(toolButton(*Editor, "tbTypeSave"), Qt::LeftButton);
    EXPECT_FALSE(fs::exists(intoShipped));
    ASSERT_EQ(UI.Messages().size(), 1u);
    EXPECT_NE(UI.Messages()[0].find("belongs to the installed program"), std::string::npos) << UI.Messages()[0];
}

struct CloseCase {
    const char* Name;
    std::function<void(QMessageBox*)> Answer;
    bool Closed;
    bool Saved;
};
void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.Name; }

class TypeEditorClose : public TypeEditorFixture, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(TypeEditorClose, AChangedTypeAsksYesNoOrCancelAndOnlyYesOrNoCloses)
{
    const CloseCase& c = GetParam();
    ASSERT_TRUE(Editor->NewBasicClick());
    typeName(*Editor, "KEEP");
    const fs::path file = Home / "KEEP.fbt";
    Editor->AskSaveFileName = [&](const QString&, const QString&) { return QString::fromStdString(file.string()); };

    TNextBox box(c.Answer);
    const bool closed = Editor->close();
    EXPECT_EQ(box.Text, "The FB type KEEP has changed. Save it before closing?");
    std::sort(box.Buttons.begin(), box.Buttons.end());
    EXPECT_EQ(box.Buttons, (QList<QMessageBox::StandardButton>{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}));
    EXPECT_EQ(closed, c.Closed);
    EXPECT_EQ(Editor->isVisible(), !c.Closed);
    EXPECT_EQ(fs::exists(file), c.Saved);
    EXPECT_EQ(Editor->WorkingType()->Name, "KEEP") << "the work is still there";
}

const CloseCase kCloseCases[] = {
    {"Escape", [](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); }, false, false},
    {"CloseButtonOfTheBox", [](QMessageBox* b) { b->close(); }, false, false},
    {"Cancel", [](QMessageBox* b) { QTest::mouseClick(b->button(QMessageBox::Cancel), Qt::LeftButton); }, false, false},
    {"No", [](QMessageBox* b) { QTest::mouseClick(b->button(QMessageBox::No), Qt::LeftButton); }, true, false},
    {"Yes", [](QMessageBox* b) { QTest::mouseClick(b->button(QMessageBox::Yes), Qt::LeftButton); }, true, true},
};

INSTANTIATE_TEST_SUITE_P(Answers, TypeEditorClose, ::testing::ValuesIn(kCloseCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TypeEditorFixture, OpeningAnotherTypeOverAChangedOneCanBeCancelled)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    typeName(*Editor, "KEEP");
    TNextBox box([](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Escape); });
    EXPECT_FALSE(Editor->LoadTypeFile(QString::fromStdString((Home / "library" / "events" / "E_SPLIT.fbt").string())));
    EXPECT_EQ(box.Text, "The FB type KEEP has changed. Save it?");
    EXPECT_EQ(Editor->WorkingType()->Name, "KEEP");
}

TEST_F(TypeEditorFixture, TheSaveAsDialogOffersBothFiltersWithTheSecondChosen)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    typeName(*Editor, "FILTERED");
    TModalAnswers answers;
    QString title, filter;
    QStringList filters;
    answers.OnDialog = [&](QDialog* dialog) {
        if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
            title = files->windowTitle();
            filters = files->nameFilters();
            filter = files->selectedNameFilter();
        }
        dialog->reject();
    };
    // The tool button, by its caption as the user reads it.
    QWidget* saveAs = toolButton(*Editor, "tbTypeSaveAs");
    ASSERT_NE(saveAs, nullptr);
    EXPECT_EQ(static_cast<QToolButton*>(saveAs)->text(), "Save As...");
    QTest::mouseClick(saveAs, Qt::LeftButton);
    EXPECT_EQ(title, "Save Function Block type");
    EXPECT_EQ(filters, QStringList({"FB type (*.fbt)", "All (*.*)"}));
    EXPECT_EQ(filter, "All (*.*)");
}

} // namespace telvo::test
