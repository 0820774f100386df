#include "sl_fixture.h"

#include "persistence/project_file.h"
#include "workbench/project_lifecycle.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QToolButton>

#include <filesystem>

namespace fs = std::filesystem;

namespace telvo::test {

void SlFixture::SetUp()
{
    for (const char* part : {"images", "library"})
        fs::copy(BuiltProgramDir() / part, Home.Path() / part, fs::copy_options::recursive);
    Workbench = std::make_unique<TWorkbench>(Home.Path(), UI);
    Workbench->IndexLibrary();
}

void SlFixture::TearDown()
{
    Window.reset();
    Workbench.reset();
}

void SlFixture::NewProject(const std::string& title)
{
    ProjectFile = (Work.Path() / (title + ".crf")).string();
    TNewProjectAnswers answers;
    answers.Title = title;
    answers.TelvoFileName = ProjectFile;
    ASSERT_TRUE(telvo::NewProject(*Workbench, answers));
    OpenWindow();
}

void SlFixture::OpenExample()
{
    fs::copy(SourceDir() / "examples" / "plant", Work.Path() / "plant", fs::copy_options::recursive);
    ProjectFile = (Work.Path() / "plant" / "plant.crf").string();
    OpenProject(*Workbench, ProjectFile);
    OpenWindow();
}

void SlFixture::OpenWindow()
{
    Window = std::make_unique<TfrmSystemLayer>(*Workbench, nullptr);
    // Dialogs are answered by the tests; nothing opens on its own.
    Window->resize(1200, 800);
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    QApplication::processEvents();
}

namespace {

void send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

} // namespace

void SlFixture::Press(QPoint at, Qt::MouseButton button)
{
    send(Window->PaintBox(), QEvent::MouseButtonPress, at, button, button);
}

void SlFixture::Move(QPoint at) { send(Window->PaintBox(), QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }

void SlFixture::Release(QPoint at)
{
    send(Window->PaintBox(), QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

void SlFixture::Click(QPoint at)
{
    Press(at);
    Release(at);
}

void SlFixture::DoubleClick(QPoint at)
{
    Press(at);
    Release(at);
    send(Window->PaintBox(), QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
    Release(at);
}

void SlFixture::Drag(QPoint from, QPoint to)
{
    Press(from);
    Move((from + to) / 2);
    Move(to);
    Release(to);
}

TslObject* SlFixture::AddAt(const char* button, int left, int top)
{
    QToolButton* b = Window->Button(QString::fromLatin1(button));
    EXPECT_NE(b, nullptr) << button;
    if (!b)
        return nullptr;
    const size_t before = Layer().Objects.size();
    b->click();
    EXPECT_EQ(Layer().Objects.size(), before + 1) << button;
    TslObject* added = Layer().Objects.back().get();
    // Grab it near its top-left corner, where nothing else lies.
    const QPoint grab(added->Left + 3, added->Top + 3);
    Drag(grab, QPoint(left + 3, top + 3));
    return added;
}

QPoint SlFixture::Centre(const TslObject& o) const
{
    return Window->ToView(Layer().ScrollX + o.Left + o.Width / 2, Layer().ScrollY + o.Top + o.Height / 2);
}

QPoint SlFixture::Marker(const TslIPPRef& ipp) const
{
    Layer().ApplyLayout();
    return Window->ToView(Layer().ScrollX + ipp.Left + 7, Layer().ScrollY + ipp.Top + 7);
}

TSystemConnection* SlFixture::ConnectByMouse(QPoint a, QPoint b)
{
    Window->ConnectionModeClick();
    const size_t before = Layer().Connections.size();
    Click(a);
    Click(b);
    Window->SelectionModeClick();
    return Layer().Connections.size() == before + 1 ? Layer().Connections.back().get() : nullptr;
}

std::string SlFixture::ProjectText() const { return ProjectToText(ProjectParts(*Workbench), ProjectFile); }

} // namespace telvo::test
