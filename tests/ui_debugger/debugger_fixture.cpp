#include "debugger_fixture.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "persistence/network_file.h"
#include "ui/ui_test_support.h"
#include "workbench/project_lifecycle.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

namespace fs = std::filesystem;

namespace telvo::test {

std::pair<std::string, std::string> SplitPort(const std::string& path)
{
    const auto dot = path.find('.');
    return {path.substr(0, dot), path.substr(dot + 1)};
}

void DebuggerFixture::SetUp()
{
    for (const char* part : {"images", "library"})
        fs::copy(BuiltProgramDir() / part, Home.Path() / part, fs::copy_options::recursive);
    Workbench = std::make_unique<TWorkbench>(Home.Path(), UI);
    Workbench->IndexLibrary();
}

void DebuggerFixture::TearDown()
{
    Editor.reset();
    Workbench.reset();
}

void DebuggerFixture::OpenPlantDiagram(const std::string& name)
{
    fs::copy(SourceDir() / "examples" / "plant", Work.Path() / "plant", fs::copy_options::recursive);
    ProjectFile = (Work.Path() / "plant" / "plant.crf").string();
    OpenProject(*Workbench, ProjectFile);
    for (const auto& d : Workbench->FBManager().Diagrams)
        if (d->Name == name)
            Diagram = d.get();
    ASSERT_NE(Diagram, nullptr) << name;
    Editor = std::make_unique<TfrmDesignFBDiagram>(*Workbench, nullptr);
    Editor->resize(1200, 800);
    Editor->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Editor.get()));
    Editor->AttachDiagram(Diagram);
    Execute();
}

void DebuggerFixture::OpenNetwork(const fs::path& fbn)
{
    Diagram = Workbench->FBManager().CreateDiagram(fbn.stem().string(), 1.0);
    LoadFromFile(*Diagram, fbn.string());
    Editor = std::make_unique<TfrmDesignFBDiagram>(*Workbench, nullptr);
    Editor->resize(1000, 700);
    Editor->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Editor.get()));
    Editor->AttachDiagram(Diagram);
    Execute();
}

void DebuggerFixture::Execute()
{
    QToolButton* execute = Editor->Button("btnDebug");
    ASSERT_TRUE(execute->isEnabled());
    execute->click();
    Debugger = Editor->Debugger();
    ASSERT_NE(Debugger, nullptr);
    // Nobody watches: no pause between the re-evaluations of a chart, as in
    // `telvo simulate`.
    Debugger->Environment().PauseTime = std::chrono::milliseconds(0);
}

void DebuggerFixture::Answer(const TSelection& selection, bool ok)
{
    Debugger->ExecSelectionDialog = [selection, ok](TfrmVisualDebuggerSelectEvents& dialog) {
        for (const auto& e : selection.Events) {
            auto [inst, port] = SplitPort(e);
            QTreeWidgetItem* node = TfrmVisualDebuggerSelectEvents::Node(dialog.EventsTree(), inst, port);
            ASSERT_NE(node, nullptr) << e;
            if (node->checkState(0) != Qt::Checked)
                dialog.ClickTick(node);
        }
        for (const auto& [path, value] : selection.Values) {
            auto [inst, port] = SplitPort(path);
            QTreeWidgetItem* node = TfrmVisualDebuggerSelectEvents::Node(dialog.DataInputTree(), inst, port);
            ASSERT_NE(node, nullptr) << path;
            dialog.DataInputTree()->setCurrentItem(node);
            dialog.ValueEdit()->setText(QString::fromStdString(value));
            dialog.ApplyValueButton()->click();
        }
        for (const auto& m : selection.Monitors) {
            auto [inst, port] = SplitPort(m);
            QTreeWidgetItem* node = TfrmVisualDebuggerSelectEvents::Node(dialog.DataInputTree(), inst, port);
            if (!node)
                node = TfrmVisualDebuggerSelectEvents::Node(dialog.DataOutputTree(), inst, port);
            ASSERT_NE(node, nullptr) << m;
            if (node->checkState(0) != Qt::Checked)
                dialog.ClickTick(node);
        }
        (ok ? dialog.OkButton() : dialog.CancelButton())->click();
    };
}

void DebuggerFixture::StartWith(const TSelection& selection)
{
    Answer(selection);
    Debugger->StartButton()->click();
    ASSERT_TRUE(Debugger->Running());
}

bool DebuggerFixture::Settle(int ms)
{
    const bool ok = WaitUntil([&] { return Debugger->ModelAtRest(); }, ms);
    QApplication::processEvents();
    Debugger->ApplyHostOperations();
    return ok;
}

void DebuggerFixture::Step()
{
    ASSERT_TRUE(Settle());
    ASSERT_TRUE(Debugger->StepButton()->isEnabled());
    Debugger->StepButton()->click();
    ASSERT_TRUE(Settle());
}

} // namespace telvo::test
