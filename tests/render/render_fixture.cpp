#include "render_fixture.h"

namespace telvo::test {

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

TPlant::TPlant()
{
    Manager.AttachSystemLayer(&Layer);
}

TPlant::~TPlant() = default;

TFB_Type* TPlant::AddType(const std::string& name, int eventIn, int eventOut, int dataIn, int dataOut)
{
    Manager.Types.push_back(MakeType(name, eventIn, eventOut, dataIn, dataOut));
    return Manager.Types.back().get();
}

TFB_Diagram* TPlant::Diagram(const std::string& name)
{
    TFB_Diagram* d = Manager.CreateDiagram(name, 1.0);
    return d;
}

TFB_Instance* TPlant::Place(TFB_Diagram* diagram, const std::string& name, const std::string& type, int x, int y)
{
    TFB_Instance* inst = diagram->AddInstance(name, type, false, nullptr);
    if (!inst)
        return nullptr;
    inst->Scale = diagram->Zoom;
    inst->X = x;
    inst->Y = y;
    inst->BaseX = RoundHalfEven(x / diagram->Zoom);
    inst->BaseY = RoundHalfEven(y / diagram->Zoom);
    LayoutInstance(*inst);
    return inst;
}

TFB_EventAssocRef* TPlant::ConnectEvent(TFB_Instance* from, int output, TFB_Instance* to, int input)
{
    auto r = std::make_unique<TFB_EventAssocRef>();
    r->SourceInstance = from->Ref;
    r->SourcePort = from->Ref->EventOutputs.at(output).get();
    r->DestInstance = to->Ref;
    r->DestPort = to->Ref->EventInputs.at(input).get();
    return Manager.AddEventConn(std::move(r));
}

TFB_DataAssocRef* TPlant::ConnectData(TFB_Instance* from, int output, TFB_Instance* to, int input)
{
    auto r = std::make_unique<TFB_DataAssocRef>();
    r->SourceInstance = from->Ref;
    r->SourcePort = from->Ref->DataOutputs.at(output).get();
    r->DestInstance = to->Ref;
    r->DestPort = to->Ref->DataInputs.at(input).get();
    return Manager.AddDataConn(std::move(r));
}

QImage TPlant::Paint(TFB_Diagram* diagram, int width, int height, TDiagramView view)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    PaintDiagram(image, diagram, view);
    return image;
}

QColor Pixel(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

std::vector<std::pair<int, int>> PointsOf(const Tlineobj& line)
{
    std::vector<std::pair<int, int>> out;
    for (const auto& p : line.Points)
        out.emplace_back(RoundHalfEven(p->X), RoundHalfEven(p->Y));
    return out;
}

} // namespace telvo::test
