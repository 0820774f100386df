#include "type_editor_fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

namespace telvo::test {

namespace fs = std::filesystem;

void TypeEditorFixture::SetUp()
{
    fs::copy(BuiltProgramDir() / "library", Home.Path() / "library", fs::copy_options::recursive);
    fs::create_directories(Home.Path() / "KALO");
    Workbench = std::make_unique<TWorkbench>(Home.Path(), UI);
    Workbench->IndexLibrary();
    Editor = std::make_unique<TfrmDesignFBType>(*Workbench, nullptr);
    Editor->resize(1200, 800);
    Editor->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Editor.get()));
}

void TypeEditorFixture::TearDown() { Editor.reset(); }

void TypeEditorFixture::TypeIntoCell(TfrmDesignFBType::TGrid grid, int row, int column, const QString& text)
{
    QTableWidget* table = Editor->Grid(grid);
    table->setCurrentCell(row, column);
    table->editItem(table->item(row, column));
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->selectAll();
        QTest::keyClicks(line, text);
    } else {
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, text);
    }
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
}

void TypeText(QWidget* widget, const QString& text)
{
    widget->setFocus();
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(widget, Qt::Key_Return);
        QTest::keyClicks(widget, lines[i]);
    }
}

ProcessResult TypeEditorFixture::Telvo(const std::vector<std::string>& args) const
{
    std::vector<std::string> all = {"--home", Home.Path().string()};
    all.insert(all.end(), args.begin(), args.end());
    return RunProcess(TELVO_CLI_PATH, all);
}

} // namespace telvo::test
