#include "editor_fixture.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <sstream>

namespace telvo::test {

std::string RecordsText(const TFB_Manager& m)
{
    std::ostringstream out;
    for (auto& r : m.Instances) {
        out << "record " << r->Name << ":" << (r->Type ? r->Type->Name : "?") << " on "
            << (r->Device ? r->Device->Name : "-") << " comment " << r->Comment;
        for (auto& in : r->DataInputs)
            out << " " << in->Name() << "=" << in->ValueText;
        out << "\n";
    }
    for (auto& c : m.EventConns)
        out << "event " << c->SourceInstance->Name << "." << c->SourcePort->Name() << " -> "
            << c->DestInstance->Name << "." << c->DestPort->Name() << "\n";
    for (auto& c : m.DataConns)
        out << "data " << c->SourceInstance->Name << "." << c->SourcePort->Name() << " -> "
            << c->DestInstance->Name << "." << c->DestPort->Name() << "\n";
    for (auto& c : m.IPPFBConns)
        out << "ipp " << c->IPP->Name << " - " << c->Instance->Name << "\n";
    return out.str();
}

std::unique_ptr<TFB_Type> MakeType(const std::string& name, int eventIn, int eventOut, int dataIn, int dataOut)
{
    auto t = std::make_unique<TFB_Type>();
    t->Name = name;
    for (int i = 1; i <= eventIn; ++i)
        t->AddEventInput("EI" + std::to_string(i), "EVENT", "");
    for (int i = 1; i <= eventOut; ++i)
        t->AddEventOutput("EO" + std::to_string(i), "EVENT", "");
    for (int i = 1; i <= dataIn; ++i)
        t->AddDataInput("DI" + std::to_string(i), "INT", "", "", "");
    for (int i = 1; i <= dataOut; ++i)
        t->AddDataOutput("DO" + std::to_string(i), "INT", "", "", "");
    return t;
}

void EditorFixture::SetUp()
{
    Workbench = std::make_unique<TWorkbench>(Home.Path(), UI);
    TFB_Manager& m = Workbench->FBManager();
    m.Types.push_back(MakeType("T", 1, 1, 1, 1));
    m.Types.push_back(MakeType("TWO", 2, 2, 2, 2));
    Diagram = m.CreateDiagram("D", 1.0);
    Editor = std::make_unique<TfrmDesignFBDiagram>(*Workbench, nullptr);
    Editor->resize(1000, 700);
    Editor->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Editor.get()));
    Editor->AttachDiagram(Diagram);
}

void EditorFixture::TearDown()
{
    Editor.reset();
}

TFB_Instance* EditorFixture::Place(const std::string& name, const std::string& type, int x, int y)
{
    TFB_Instance* inst = Diagram->AddInstance(name, type, false, Editor->Canvas());
    if (!inst)
        return nullptr;
    inst->Scale = Diagram->Zoom;
    inst->X = x;
    inst->Y = y;
    inst->BaseX = RoundHalfEven(x / Diagram->Zoom);
    inst->BaseY = RoundHalfEven(y / Diagram->Zoom);
    Diagram->RebuildLines();
    Editor->PaintDiagram();
    return inst;
}

TFBDnote* EditorFixture::Note(int x, int y, const std::string& text)
{
    TFBDnote* note = Diagram->AddNote();
    note->PlaceAt(x, y);
    note->Text = text;
    Editor->PaintDiagram();
    return note;
}

TslIPPRef* EditorFixture::Ipp(const std::string& name, bool actuator, bool eventIpp)
{
    if (!Tank)
        Tank = static_cast<TslIPT*>(Workbench->SystemLayer().AddObject("tank", slIPT, slCustomIptSubtype));
    TslIPPRef* ipp = Tank->AddIpp(name, "INT", actuator ? TslIPPRef::Actuator : TslIPPRef::Sensor);
    ipp->IsEventIPP = eventIpp;
    return ipp;
}

namespace {

void send(QWidget* w, QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPointF local(x, y);
    QMouseEvent event(type, local, w->mapToGlobal(local), button, buttons, modifiers);
    QApplication::sendEvent(w, &event);
}

} // namespace

void EditorFixture::Press(int x, int y, Qt::KeyboardModifiers modifiers)
{
    QTest::mousePress(Editor->PaintBox(), Qt::LeftButton, modifiers, QPoint(x, y));
}

void EditorFixture::Move(int x, int y)
{
    send(Editor->PaintBox(), QEvent::MouseMove, x, y, Qt::NoButton, Qt::LeftButton);
}

void EditorFixture::Release(int x, int y)
{
    QTest::mouseRelease(Editor->PaintBox(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
}

void EditorFixture::Click(int x, int y)
{
    Press(x, y);
    Release(x, y);
}

void EditorFixture::DoubleClick(int x, int y)
{
    Click(x, y);
    send(Editor->PaintBox(), QEvent::MouseButtonDblClick, x, y, Qt::LeftButton, Qt::LeftButton);
    send(Editor->PaintBox(), QEvent::MouseButtonRelease, x, y, Qt::LeftButton, Qt::NoButton);
}

std::vector<std::string> EditorFixture::Selected() const
{
    std::vector<std::string> names;
    for (TDrawObject* o : Diagram->Selection) {
        if (auto* inst = dynamic_cast<TFB_Instance*>(o))
            names.push_back(inst->Ref->Name);
        else if (auto* note = dynamic_cast<TFBDnote*>(o))
            names.push_back("note:" + note->Text);
        else if (auto* pic = dynamic_cast<TslIPP*>(o))
            names.push_back("ipp:" + pic->Ipp->Name);
    }
    return names;
}

std::string EditorFixture::LastHint() const
{
    auto hints = UI.Hints();
    return hints.empty() ? std::string() : hints.back().Text;
}

int EditorFixture::LastGesture() const
{
    auto hints = UI.Hints();
    return hints.empty() ? 0 : hints.back().Gesture;
}

} // namespace telvo::test
