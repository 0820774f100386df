// Reading Umbrello models of unusual shape into the transformation tree, as
// `telvo uml import --dry-run` does: packages nested thousands deep, long
// generalisation chains, many classes, a sequence diagram with many
// objects. Every shape should cost time in proportion to the file; compare
// the seconds per 1,000 elements across the sizes. Run:
//   build/default/bench/bench_uml_import --benchmark_counters_tabular=true

#include "model/user_interface.h"
#include "umlimport/transformation.h"
#include "umlimport/uml_model.h"

#include "../tests/support/xmi_text.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using telvo::test::TXmiText;

// Packages inside packages, one class in each.
std::string nestedPackages(int depth)
{
    std::string xml;
    for (int i = 0; i < depth; ++i)
        xml += "<UML:Package xmi.id=\"p" + std::to_string(i) + "\" name=\"P" + std::to_string(i) +
               "\"><UML:Namespace.ownedElement><UML:Class xmi.id=\"c" + std::to_string(i) + "\" name=\"C" +
               std::to_string(i) + "\" stereotype=\"FunctionBlock\"/>";
    for (int i = 0; i < depth; ++i)
        xml += "</UML:Namespace.ownedElement></UML:Package>";
    return TXmiText().Element(xml).Text();
}

// C0 specialises C1, which specialises C2, ...; the class diagram shows C0.
std::string generalisationChain(int length)
{
    TXmiText xmi;
    for (int i = 0; i < length; ++i)
        xmi.Class("c" + std::to_string(i), "C" + std::to_string(i), "FunctionBlock", {"op" + std::to_string(i)});
    for (int i = 0; i + 1 < length; ++i)
        xmi.Generalization("c" + std::to_string(i), "c" + std::to_string(i + 1));
    return xmi.ClassDiagram({"c0"}).Text();
}

// Classes of one operation each, all on the class diagram.
std::string manyClasses(int count)
{
    TXmiText xmi;
    std::vector<std::string> ids;
    for (int i = 0; i < count; ++i) {
        ids.push_back("c" + std::to_string(i));
        xmi.Class(ids.back(), "C" + std::to_string(i), "FunctionBlock", {"op"});
    }
    return xmi.ClassDiagram(ids).Text();
}

// One sequence diagram, every object calling the next.
std::string manyObjects(int count)
{
    std::vector<TXmiText::TObject> objects;
    for (int i = 0; i < count; ++i)
        objects.push_back({"i" + std::to_string(i), "c"});
    return TXmiText().Class("c", "C", "FunctionBlock", {"go"}).SequenceDiagram("seq", objects, "go").Text();
}

void parse(benchmark::State& state, const std::string& text)
{
    for (auto _ : state) {
        const telvo::uml::TUmlModel model = telvo::uml::ReadUmlModel(text, "bench.xmi");
        telvo::TRecordingUserInterface ui;
        telvo::uml::TTransformation transformation(ui);
        transformation.Parse(model);
        benchmark::DoNotOptimize(transformation.Roots.size());
    }
    // Seconds per 1,000 elements: flat across the sizes when linear.
    state.counters["s/1000"] = benchmark::Counter(double(state.iterations()) * double(state.range(0)) / 1000.0,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["MB"] = double(text.size()) / 1e6;
}

void BM_NestedPackages(benchmark::State& state) { parse(state, nestedPackages(int(state.range(0)))); }
BENCHMARK(BM_NestedPackages)->Arg(5000)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

void BM_GeneralisationChain(benchmark::State& state) { parse(state, generalisationChain(int(state.range(0)))); }
BENCHMARK(BM_GeneralisationChain)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond);

void BM_ManyClasses(benchmark::State& state) { parse(state, manyClasses(int(state.range(0)))); }
BENCHMARK(BM_ManyClasses)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ManyObjects(benchmark::State& state) { parse(state, manyObjects(int(state.range(0)))); }
BENCHMARK(BM_ManyObjects)->Arg(3000)->Arg(30000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
