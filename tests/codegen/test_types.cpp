#include "codegen/test_types.h"

#include "codegen/pascal_compiler.h"
#include "codegen/pascal_generator.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <sstream>

namespace telvo::test {

namespace {

// Pascal text, as a DelphiScript algorithm holds it.
TFBAlgorithm* AddPascalAlgorithm(TFB_Type& t, const std::string& name, const std::string& comment,
                                 std::vector<std::string> lines)
{
    TFBAlgorithm* alg = t.AddAlgorithm(name, comment);
    alg->Language = "DelphiScript";
    alg->OtherText = std::move(lines);
    return alg;
}

} // namespace

std::unique_ptr<TFB_Type> MakeAllKindsType()
{
    auto t = std::make_unique<TFB_Type>();
    t->Name = "CG_ALL";
    t->AddDataInput("ENABLE", "BOOL", "", "", "");
    t->AddDataInput("COUNT_IN", "INT", "", "", "");
    t->AddDataInput("GAIN", "REAL", "", "", "");
    t->AddDataInput("NAME_IN", "STRING", "", "", "");
    t->AddDataOutput("ACTIVE", "BOOL", "", "", "");
    t->AddDataOutput("TOTAL", "INT", "", "", "");
    t->AddDataOutput("SCALED", "REAL", "", "", "");
    t->AddDataOutput("MSG", "STRING", "", "", "");
    t->AddEventInput("INIT", "Event", "");
    t->AddEventInput("REQ", "Event", "");
    t->AddEventOutput("INITO", "Event", "");
    t->AddEventOutput("CNF", "Event", "");
    t->AddInternalVar("CNT", "INT", "", "", "0");
    t->AddInternalVar("FLAG", "BOOL", "", "", "TRUE"); // only "1" means True
    t->AddInternalVar("STARTED", "BOOL", "", "", "1");
    t->AddInternalVar("FACTOR", "REAL", "", "", "2.5");
    t->AddInternalVar("PREFIX", "STRING", "", "", "'n='");
    AddPascalAlgorithm(*t, "init", "reset the counter", {"CNT := 0;", "DO_ACTIVE := STARTED and not FLAG;"});
    AddPascalAlgorithm(*t, "calc", "accumulate",
                       {"CNT := CNT + COUNT_IN;", "DO_TOTAL := CNT;", "DO_SCALED := GAIN * FACTOR;",
                        "if ENABLE then DO_MSG := PREFIX + NAME_IN else DO_MSG := '';"});
    t->AddState("START", "initial state");
    t->AddState("INIT", "")->AddAction("init", "INITO");
    // Output listed before the algorithm: the algorithm still runs first.
    auto* calc = t->AddState("CALC", "");
    calc->AddAction("", "CNF");
    calc->AddAction("calc", "");
    t->AddTransition("START", "INIT", "INIT");
    t->AddTransition("INIT", "START", "1");
    t->AddTransition("START", "CALC", "REQ AND ENABLE");
    t->AddTransition("CALC", "START", "");
    return t;
}

std::unique_ptr<TFB_Type> MakeEventsOnlyType()
{
    auto t = std::make_unique<TFB_Type>();
    t->Name = "CG_EVENTS";
    t->AddEventInput("EI", "Event", "");
    t->AddEventOutput("EO1", "Event", "");
    t->AddEventOutput("EO2", "Event", "");
    t->AddState("START", "");
    auto* split = t->AddState("SPLIT", "");
    split->AddAction("", "EO1");
    split->AddAction("", "EO2");
    t->AddTransition("START", "SPLIT", "EI");
    t->AddTransition("SPLIT", "START", "1");
    return t;
}

std::unique_ptr<TFB_Type> MakeStatelessType()
{
    auto t = std::make_unique<TFB_Type>();
    t->Name = "CG_NOSTATE";
    t->AddEventInput("REQ", "Event", "");
    t->AddEventOutput("CNF", "Event", "");
    t->AddDataInput("X", "INT", "", "", "");
    t->AddDataOutput("Y", "INT", "", "", "");
    return t;
}

std::string DescribeCompile(const std::string& what, int exitCode, const std::string& output)
{
    std::ostringstream s;
    s << what << " (exit status " << exitCode << "):\n";
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        s << "  fpc| " << line << "\n";
    return s.str();
}

std::filesystem::path CompiledTestLibrary(const std::string& typeName)
{
    static std::mutex mutex;
    static std::unique_ptr<TempDir> folder;
    static std::map<std::string, std::filesystem::path> built;
    static std::map<std::string, std::string> failures;

    std::lock_guard lock(mutex);
    if (!folder) {
        folder = std::make_unique<TempDir>();
        std::vector<std::unique_ptr<TFB_Type>> types;
        types.push_back(MakeAllKindsType());
        types.push_back(MakeEventsOnlyType());
        types.push_back(MakeStatelessType());
        // One fpc per type, all at once: the compiler is mostly start-up time.
        std::vector<std::pair<std::string, std::unique_ptr<TPascalCompilation>>> runs;
        for (const auto& t : types) {
            auto source = GeneratePascalFile(*t, folder->Path() / t->Name);
            runs.emplace_back(t->Name, TPascalCompilation::Start(DefaultPascalCompiler, source));
            built[t->Name] = PascalLibraryFile(source);
        }
        for (auto& [name, run] : runs) {
            const TCompileResult& r = run->Wait();
            if (!r.Started)
                failures[name] = r.Error + " (scripts/setup installs fpc; these tests need it)";
            else if (!r.Succeeded())
                failures[name] = DescribeCompile("fpc failed on " + name, r.ExitCode, r.Output);
        }
    }
    if (auto f = failures.find(typeName); f != failures.end()) {
        ADD_FAILURE() << f->second;
        return {};
    }
    auto b = built.find(typeName);
    if (b == built.end()) {
        ADD_FAILURE() << "no test type " << typeName;
        return {};
    }
    return b->second;
}

} // namespace telvo::test
