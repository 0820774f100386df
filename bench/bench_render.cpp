// One paint of a plant-sized diagram, as the FB diagram editor does on every
// mouse move: 1,000 instances (blocks and glyphs, some with constants and
// shown port types), 2,000 event and data connections (a few of them stubs to
// another diagram), 50 IPP pictures with their connections and 20 notes,
// into an off-screen image of 1920 x 1080.
//
// BM_PaintDiagram/80 is the editor's view at its opening zoom of 80 %: a
// window onto part of the plant, as engineers work. BM_PaintDiagram/10 zooms
// out until the whole plant is on screen and every block is painted.

#include "model/fb_manager.h"
#include "systemlayer/system_layer.h"
#include "ui/diagram/diagram_renderer.h"

#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

using namespace telvo;

namespace {

std::unique_ptr<TFB_Type> makeType(const std::string& name, int ei, int eo, int di, int dout)
{
    auto t = std::make_unique<TFB_Type>();
    t->Name = name;
    for (int i = 0; i < ei; ++i)
        t->AddEventInput("EI" + std::to_string(i + 1), "EVENT", "");
    for (int i = 0; i < eo; ++i)
        t->AddEventOutput("EO" + std::to_string(i + 1), "EVENT", "");
    for (int i = 0; i < di; ++i)
        t->AddDataInput("IN" + std::to_string(i + 1), i % 2 ? "REAL" : "INT", "", "", "");
    for (int i = 0; i < dout; ++i)
        t->AddDataOutput("OUT" + std::to_string(i + 1), "BOOL", "", "", "");
    if (ei > 0 && di > 0)
        t->EventInputs[0]->AddWith(t->DataInputs[0].get());
    return t;
}

struct TBenchPlant {
    TSystemLayerManager Layer;
    TFB_Manager Manager;
    TFB_Diagram* Diagram = nullptr;

    TBenchPlant()
    {
        Manager.AttachSystemLayer(&Layer);
        Manager.Types.push_back(makeType("CONVEYOR_CONTROL", 2, 2, 3, 2));
        Manager.Types.push_back(makeType("PID_LOOP", 2, 1, 4, 2));
        Manager.Types.push_back(makeType("VALVE_ACTUATOR_WITH_FEEDBACK", 3, 2, 2, 3));
        Manager.Types.push_back(makeType("E_SPLIT", 1, 2, 0, 0));
        Manager.Types.push_back(makeType("E_PERMIT", 1, 1, 1, 0));
        const char* types[] = {"CONVEYOR_CONTROL", "PID_LOOP", "VALVE_ACTUATOR_WITH_FEEDBACK", "E_SPLIT",
                               "E_PERMIT"};
        TFB_Diagram* other = Manager.CreateDiagram("elsewhere", 1.0);
        Diagram = Manager.CreateDiagram("plant", 0.8);
        std::vector<TFB_Instance*> placed, remote;
        for (int i = 0; i < 20; ++i)
            remote.push_back(other->AddInstance("", "PID_LOOP", false, nullptr));
        for (int i = 0; i < 1000; ++i) {
            TFB_Diagram* into = Diagram;
            TFB_Instance* inst = into->AddInstance("", types[i % 5], false, nullptr);
            // 40 columns, 25 rows, at zoom 1 positions 300 x 260 apart.
            inst->PlaceAt(60 + (i % 40) * 300, 60 + (i / 40) * 260);
            SetScale(*inst, into->Zoom);
            if (i % 7 == 0 && !inst->Ref->DataInputs.empty())
                inst->Ref->DataInputs[0]->ValueText = "T#250ms";
            if (i % 3 == 0)
                inst->TypeColour = DiagramColour::ShownTypes;
            placed.push_back(inst);
        }
        // Each instance feeds the next (1,000 event connections) and its
        // data goes to the next but one and back (1,000 data connections):
        // forward and backward routes, and stubs to "elsewhere".
        for (int i = 0; i < 1000; ++i) {
            TFB_InstanceRef* a = placed[i]->Ref;
            // Every 50th goes to the other diagram: a stub here.
            TFB_InstanceRef* b = i % 50 == 49 ? remote[i / 50]->Ref : placed[(i + 1) % 1000]->Ref;
            auto ev = std::make_unique<TFB_EventAssocRef>();
            ev->SourceInstance = a;
            ev->SourcePort = a->EventOutputs[i % a->EventOutputs.size()].get();
            ev->DestInstance = b;
            ev->DestPort = b->EventInputs[0].get();
            Manager.AddEventConn(std::move(ev));
        }
        int data = 0;
        for (int i = 0; data < 1000; ++i) {
            TFB_InstanceRef* a = placed[i % 1000]->Ref;
            TFB_InstanceRef* b = placed[(i * 7 + 2) % 1000]->Ref;
            if (a->DataOutputs.empty() || b->DataInputs.empty())
                continue;
            auto dc = std::make_unique<TFB_DataAssocRef>();
            dc->SourceInstance = a;
            dc->SourcePort = a->DataOutputs[i % a->DataOutputs.size()].get();
            dc->DestInstance = b;
            dc->DestPort = b->DataInputs[i % b->DataInputs.size()].get();
            Manager.AddDataConn(std::move(dc));
            ++data;
        }
        // 50 IPPs of 10 IPTs, pictured along the left, each wired to a block.
        for (int t = 0; t < 10; ++t) {
            auto* ipt = static_cast<TslIPT*>(Layer.AddObject("tank" + std::to_string(t), slIPT, slCustomIptSubtype));
            for (int k = 0; k < 5; ++k) {
                TslIPPRef* ipp = ipt->AddIpp("Level_" + std::to_string(k), "INT", k % 2);
                ipp->IsEventIPP = k == 4;
                const int n = t * 5 + k;
                Diagram->AddIPPPicture(ipp, 5 + (n % 2) * 12000 * 0.8, 40 + n * 70);
                TFB_InstanceRef* r = placed[(n * 20) % 1000]->Ref;
                auto c = std::make_unique<TFB_IPPFBAssocsRef>();
                c->IPP = ipp;
                c->Instance = r;
                if (ipp->IsEventIPP)
                    c->EventPort = ipp->IsActuator() ? r->EventOutputs[0].get() : r->EventInputs[0].get();
                else if (ipp->IsActuator() && !r->DataOutputs.empty())
                    c->DataPort = r->DataOutputs[0].get();
                else if (!ipp->IsActuator() && !r->DataInputs.empty())
                    c->DataPort = r->DataInputs[0].get();
                else
                    continue;
                Manager.AddIPPFBConn(std::move(c));
            }
        }
        for (int k = 0; k < 20; ++k) {
            TFBDnote* note = Diagram->AddNote();
            note->Text = "Line " + std::to_string(k) + ": check the interlock with the upstream conveyor before start";
            note->PlaceAt(200 + (k % 5) * 1900, 20 + (k / 5) * 1000);
        }
        Diagram->RebuildLines();
    }
};

void BM_PaintDiagram(benchmark::State& state)
{
    static TBenchPlant plant;
    const double zoom = state.range(0) / 100.0;
    plant.Diagram->Zoom = zoom;
    for (auto& inst : plant.Diagram->DrawnInstances)
        SetScale(*inst, zoom);
    for (auto& note : plant.Diagram->Notes)
        SetScale(*note, zoom);
    for (auto& pic : plant.Diagram->IPPPictures)
        pic->SetScale(zoom);
    QImage image(1920, 1080, QImage::Format_RGB32);
    TDiagramView view;
    for (auto _ : state) {
        PaintDiagram(image, plant.Diagram, view);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["instances"] = static_cast<double>(plant.Diagram->DrawnInstances.size());
    state.counters["event_lines"] = static_cast<double>(plant.Diagram->EventLines.size());
    state.counters["data_lines"] = static_cast<double>(plant.Diagram->DataLines.size());
    state.counters["ipp_lines"] = static_cast<double>(plant.Diagram->IPPFBLines.size());
}
BENCHMARK(BM_PaintDiagram)->Arg(80)->Arg(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // Painting text needs the platform's fonts, not a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
