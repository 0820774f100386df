// What the shipped event blocks do, run for real: each chart with its
// algorithms goes through the Pascal generator, the real fpc builds the
// library, and the test drives it the way an FB runtime does.

#include "shipped_library/shipped_behaviour_cases.h"
#include "shipped_library/shipped_library.h"

#include "codegen/pascal_compiler.h"
#include "codegen/pascal_generator.h"
#include "model/value_text.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

using namespace telvo;
using namespace telvo::test;

namespace {

// Every shipped type with a chart, compiled once per process, all compilers
// at once (fpc is mostly start-up time).
std::filesystem::path CompiledShippedType(const std::string& typeName)
{
    static std::mutex mutex;
    static std::unique_ptr<TempDir> folder;
    static std::map<std::string, std::filesystem::path> built;
    static std::map<std::string, std::string> failures;

    std::lock_guard lock(mutex);
    if (!folder) {
        folder = std::make_unique<TempDir>();
        std::vector<std::pair<std::string, std::unique_ptr<TPascalCompilation>>> runs;
        for (const auto& f : TShippedLibrary::Get().Files) {
            if (!f.Type || f.Type->Composite || f.Type->States.empty())
                continue;
            auto source = GeneratePascalFile(*f.Type, folder->Path() / f.Type->Name);
            runs.emplace_back(f.Type->Name, TPascalCompilation::Start(DefaultPascalCompiler, source));
            built[f.Type->Name] = PascalLibraryFile(source);
        }
        for (auto& [name, run] : runs) {
            const TCompileResult& r = run->Wait();
            if (!r.Started)
                failures[name] = r.Error + " (scripts/setup installs fpc)";
            else if (!r.Succeeded())
                failures[name] = "fpc failed on " + name + ":\n" + r.Output;
        }
    }
    if (auto f = failures.find(typeName); f != failures.end()) {
        ADD_FAILURE() << f->second;
        return {};
    }
    auto b = built.find(typeName);
    if (b == built.end()) {
        ADD_FAILURE() << typeName << " is no shipped type with a chart";
        return {};
    }
    return b->second;
}

// Output events as the library reports them through its callback, written
// as "EVENT NAME=value ..." with every data output of the type.
std::vector<std::string> gCalls;
const TFB_Type* gType = nullptr;

void RecordOutput(void** parameters)
{
    std::ostringstream out;
    out.write(static_cast<const char*>(parameters[1]), reinterpret_cast<intptr_t>(parameters[2]));
    size_t slot = 3;
    for (const auto& d : gType->DataOutputs) {
        const auto v = static_cast<int32_t>(reinterpret_cast<intptr_t>(parameters[slot++]));
        out << " " << d->Name << "=";
        switch (DataTypeClass(d->Type)) {
        case TDataTypeClass::Boolean:
            out << (v ? "TRUE" : "FALSE");
            break;
        case TDataTypeClass::Integer:
            out << v;
            break;
        default:
            ADD_FAILURE() << "no decoding for " << d->Type;
        }
    }
    gCalls.push_back(out.str());
}

// One loaded library. The Free Pascal runtime sets the floating-point
// environment for itself when it starts; the test process keeps its own.
class TLoadedFB {
public:
    explicit TLoadedFB(const std::filesystem::path& file)
    {
        std::fenv_t env;
        std::fegetenv(&env);
        handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        std::fesetenv(&env);
        if (!handle_)
            ADD_FAILURE() << "dlopen " << file << ": " << ::dlerror();
    }
    ~TLoadedFB()
    {
        if (handle_)
            ::dlclose(handle_);
    }
    TLoadedFB(const TLoadedFB&) = delete;
    TLoadedFB& operator=(const TLoadedFB&) = delete;
    void* Entry(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

private:
    void* handle_ = nullptr;
};

// HandleFBEvent takes the event name, its length, then one pointer per data
// input (and one more for the length of a text input): all pointers.
int32_t CallHandleFBEvent(void* entry, const std::vector<const void*>& a)
{
    using P = const void*;
    switch (a.size()) {
    case 2:
        return reinterpret_cast<int32_t (*)(P, P)>(entry)(a[0], a[1]);
    case 3:
        return reinterpret_cast<int32_t (*)(P, P, P)>(entry)(a[0], a[1], a[2]);
    case 4:
        return reinterpret_cast<int32_t (*)(P, P, P, P)>(entry)(a[0], a[1], a[2], a[3]);
    case 5:
        return reinterpret_cast<int32_t (*)(P, P, P, P, P)>(entry)(a[0], a[1], a[2], a[3], a[4]);
    case 6:
        return reinterpret_cast<int32_t (*)(P, P, P, P, P, P)>(entry)(a[0], a[1], a[2], a[3], a[4], a[5]);
    }
    ADD_FAILURE() << "no call shape for " << a.size() << " arguments";
    return 0;
}

// Storage for the inputs of one call, kept between steps like an FB
// runtime's copies of the input data.
struct InputSlots {
    std::vector<uint8_t> Bools;
    std::vector<int32_t> Ints;
    std::vector<float> Reals;
    std::vector<std::string> Texts;
    std::vector<int32_t> TextLengths;
};

TEST(ShippedBehaviour, BlocksAnswerTheirEventsAsTheStandardBlocksDo)
{
    for (const auto& c : BehaviourCases()) {
        SCOPED_TRACE(c.Type);
        const TShippedFile* f = TShippedLibrary::Get().Find(c.Type);
        ASSERT_NE(f, nullptr);
        const TFB_Type& type = *f->Type;
        auto file = CompiledShippedType(c.Type);
        if (file.empty())
            continue;
        TLoadedFB fb(file);
        auto isValidFB = reinterpret_cast<int32_t (*)(const char*, int32_t)>(fb.Entry("isValidFB"));
        auto assignCallBack = reinterpret_cast<void (*)(void (*)(void**))>(fb.Entry("AssignCallBack"));
        void* handleFBEvent = fb.Entry("HandleFBEvent");
        auto freeFBDLL = reinterpret_cast<int32_t (*)()>(fb.Entry("FreeFBDLL"));
        ASSERT_TRUE(isValidFB && assignCallBack && handleFBEvent && freeFBDLL);
        ASSERT_EQ(isValidFB(c.Type, 1), 1);
        gType = &type;
        assignCallBack(&RecordOutput);

        const size_t n = type.DataInputs.size();
        InputSlots in{std::vector<uint8_t>(n), std::vector<int32_t>(n), std::vector<float>(n),
                      std::vector<std::string>(n), std::vector<int32_t>(n)};
        for (size_t i = 0; i < c.Steps.size(); ++i) {
            const Step& step = c.Steps[i];
            SCOPED_TRACE("step " + std::to_string(i + 1) + ": " + step.Event + " " + step.Inputs);
            for (const auto& [name, value] : InputAssignments(step.Inputs)) {
                const int k = type.IndexOfDataInput(name);
                ASSERT_GE(k, 0) << name;
                switch (DataTypeClass(type.DataInputs[k]->Type)) {
                case TDataTypeClass::Boolean:
                    in.Bools[k] = value == "TRUE";
                    break;
                case TDataTypeClass::Integer:
                    in.Ints[k] = std::stoi(value);
                    break;
                case TDataTypeClass::Real:
                    in.Reals[k] = std::stof(value);
                    break;
                case TDataTypeClass::String:
                    in.Texts[k] = value;
                    in.TextLengths[k] = static_cast<int32_t>(value.size());
                    break;
                }
            }
            const std::string event = step.Event;
            const int32_t eventLength = static_cast<int32_t>(event.size());
            std::vector<const void*> args{event.data(), &eventLength};
            for (size_t k = 0; k < n; ++k)
                switch (DataTypeClass(type.DataInputs[k]->Type)) {
                case TDataTypeClass::Boolean:
                    args.push_back(&in.Bools[k]);
                    break;
                case TDataTypeClass::Integer:
                    args.push_back(&in.Ints[k]);
                    break;
                case TDataTypeClass::Real:
                    args.push_back(&in.Reals[k]);
                    break;
                case TDataTypeClass::String:
                    args.push_back(in.Texts[k].data());
                    args.push_back(&in.TextLengths[k]);
                    break;
                }
            gCalls.clear();
            EXPECT_EQ(CallHandleFBEvent(handleFBEvent, args), 1);
            std::string got;
            for (const auto& call : gCalls)
                got += (got.empty() ? "" : ", ") + call;
            EXPECT_EQ(got, step.Expect);
        }
        EXPECT_EQ(freeFBDLL(), 1);
        gType = nullptr;
    }
}

TEST(ShippedBehaviour, RestartGeneratorCompilesAndStaysSilentWithoutItsResource)
{
    // E_RESTART's events come from the resource it runs in; the library
    // builds, and nothing it is handed makes it speak.
    auto file = CompiledShippedType("E_RESTART");
    ASSERT_FALSE(file.empty());
    TLoadedFB fb(file);
    auto isValidFB = reinterpret_cast<int32_t (*)(const char*, int32_t)>(fb.Entry("isValidFB"));
    auto assignCallBack = reinterpret_cast<void (*)(void (*)(void**))>(fb.Entry("AssignCallBack"));
    void* handleFBEvent = fb.Entry("HandleFBEvent");
    auto freeFBDLL = reinterpret_cast<int32_t (*)()>(fb.Entry("FreeFBDLL"));
    ASSERT_TRUE(isValidFB && assignCallBack && handleFBEvent && freeFBDLL);
    ASSERT_EQ(isValidFB("E_RESTART", 1), 1);
    gType = TShippedLibrary::Get().Find("E_RESTART")->Type.get();
    assignCallBack(&RecordOutput);
    gCalls.clear();
    const std::string event = "COLD";
    const int32_t length = 4;
    EXPECT_EQ(CallHandleFBEvent(handleFBEvent, {event.data(), &length}), 1);
    EXPECT_TRUE(gCalls.empty());
    EXPECT_EQ(freeFBDLL(), 1);
    gType = nullptr;
}

} // namespace
