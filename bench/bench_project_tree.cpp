// Building and refreshing the project tree of a plant-sized project: 5,000
// instance records, 10,000 event and data connection records, 200 IPTs with
// 1,000 IPPs and their connection records, 300 other system layer objects.
// The tree is built when a project is opened and the application branch is
// rebuilt after every deletion from the tree, so both must stay well below
// what a user notices.
//
// BM_BuildProjectTree/N builds the whole tree for N instance records (and
// twice as many connection records); BM_RefreshApplicationTree/N rebuilds the
// application branch with some of its branches open, as after a deletion.

#include "model/fb_manager.h"
#include "model/user_interface.h"
#include "systemlayer/system_layer.h"
#include "ui/mainwindow/project_browser.h"
#include "workbench/workbench.h"

#include <QApplication>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

using namespace telvo;

namespace {

std::unique_ptr<TFB_Type> makeType(const std::string& name)
{
    auto t = std::make_unique<TFB_Type>();
    t->Name = name;
    t->Comment = "Benchmark block";
    for (int i = 0; i < 2; ++i) {
        t->AddEventInput("EI" + std::to_string(i + 1), "EVENT", "");
        t->AddEventOutput("EO" + std::to_string(i + 1), "EVENT", "");
        t->AddDataInput("IN" + std::to_string(i + 1), "INT", "", "", "");
        t->AddDataOutput("OUT" + std::to_string(i + 1), "INT", "", "", "");
    }
    return t;
}

struct TBenchProject {
    TRecordingUserInterface UI;
    std::unique_ptr<TWorkbench> Workbench;
    std::unique_ptr<TfrmProjectBrowser> Browser;

    explicit TBenchProject(int records)
    {
        UI.KeepLog = false;
        Workbench = std::make_unique<TWorkbench>(std::filesystem::temp_directory_path(), UI);
        TFB_Manager& m = Workbench->FBManager();
        m.Types.push_back(makeType("BENCH_BLOCK"));
        for (int d = 0; d < 20; ++d)
            m.CreateDiagram("Diagram " + std::to_string(d), 1.0);
        std::vector<TFB_InstanceRef*> made;
        for (int i = 0; i < records; ++i)
            made.push_back(m.CreateInstance("fb" + std::to_string(i), "BENCH_BLOCK", false));
        for (int i = 0; i + 1 < records; ++i) {
            auto e = std::make_unique<TFB_EventAssocRef>();
            e->SourceInstance = made[i];
            e->SourcePort = made[i]->EventOutputs[0].get();
            e->DestInstance = made[i + 1];
            e->DestPort = made[i + 1]->EventInputs[0].get();
            m.AddEventConn(std::move(e));
            auto d = std::make_unique<TFB_DataAssocRef>();
            d->SourceInstance = made[i];
            d->SourcePort = made[i]->DataOutputs[0].get();
            d->DestInstance = made[i + 1];
            d->DestPort = made[i + 1]->DataInputs[0].get();
            m.AddDataConn(std::move(d));
        }
        TSystemLayerManager& layer = Workbench->SystemLayer();
        for (int i = 0; i < 200; ++i) {
            auto* ipt = dynamic_cast<TslIPT*>(layer.AddObject("IPT_" + std::to_string(i), slIPT, 2));
            for (int p = 0; p < 5; ++p) {
                TslIPPRef* ipp = ipt->AddIpp("IPP_" + std::to_string(p), "INT", p % 2);
                auto c = std::make_unique<TFB_IPPFBAssocsRef>();
                c->IPP = ipp;
                c->Instance = made[(i * 5 + p) % records];
                c->DataPort = c->Instance->DataInputs[1].get();
                m.AddIPPFBConn(std::move(c));
            }
        }
        for (int i = 0; i < 300; ++i)
            layer.AddObject("Object_" + std::to_string(i), static_cast<uint8_t>(i % 9));
        Browser = std::make_unique<TfrmProjectBrowser>(*Workbench);
    }

    TProjectInfo Project() const
    {
        TProjectInfo info;
        info.Name = "Plant";
        info.FileName = "/plant/plant.crf";
        return info;
    }
};

void BM_BuildProjectTree(benchmark::State& state)
{
    TBenchProject project(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        project.Browser->BuildProjectTree(project.Project());
        benchmark::DoNotOptimize(project.Browser->RootNode());
    }
    state.counters["nodes"] = static_cast<double>(project.Browser->TreeLines().size());
}
BENCHMARK(BM_BuildProjectTree)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_RefreshApplicationTree(benchmark::State& state)
{
    TBenchProject project(static_cast<int>(state.range(0)));
    TfrmProjectBrowser& b = *project.Browser;
    b.BuildProjectTree(project.Project());
    for (const QStringList& path : {QStringList{"Application"}, QStringList{"Application", "Function Block Layer"},
                                    QStringList{"Application", "Function Block Layer", "Function Block Instances"},
                                    QStringList{"Application", "Connections"},
                                    QStringList{"Application", "Connections", "Data connections"}})
        b.Node(path)->setExpanded(true);
    for (auto _ : state)
        b.RefreshApplicationTree();
}
BENCHMARK(BM_RefreshApplicationTree)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The tree is a widget: it needs an application, not a screen.
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
