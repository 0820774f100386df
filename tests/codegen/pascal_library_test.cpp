// The generated libraries as an FB runtime uses them: compiled with the real
// fpc, loaded with dlopen, driven through their four entry points.

#include "codegen/test_types.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <vector>

using namespace telvo;
using namespace telvo::test;

namespace {

using TCallback = void (*)(void** parameters);
using TIsValidFB = int32_t (*)(const char* typeName, int32_t fbId);
using TAssignCallBack = void (*)(TCallback callback);
using TFreeFBDLL = int32_t (*)();

// One call of the callback, decoded by the output layout of the FB type.
struct TOutputCall {
    int32_t FBId = 0;
    std::string Event;
    std::vector<void*> Slots; // the data slots after the event name's length
};

// The callback is a plain C function: it records into a process-wide list.
std::vector<TOutputCall> gCalls;
size_t gDataSlots = 0;

void RecordOutput(void** parameters)
{
    TOutputCall call;
    call.FBId = static_cast<int32_t>(reinterpret_cast<intptr_t>(parameters[0]));
    call.Event.assign(static_cast<const char*>(parameters[1]),
                      static_cast<size_t>(reinterpret_cast<intptr_t>(parameters[2])));
    for (size_t i = 0; i < gDataSlots; ++i)
        call.Slots.push_back(parameters[3 + i]);
    gCalls.push_back(std::move(call));
}

int32_t SlotInt(void* slot) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(slot)); }
float SlotReal(void* slot)
{
    auto bits = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(slot));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
std::string SlotText(void* chars, void* length)
{
    size_t n = static_cast<size_t>(SlotInt(length));
    return n == 0 ? std::string() : std::string(static_cast<const char*>(chars), n);
}

// A loaded FB library, closed again with the test.
class TLoadedFB {
public:
    explicit TLoadedFB(const std::filesystem::path& file)
    {
        handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_)
            ADD_FAILURE() << "dlopen " << file << ": " << ::dlerror();
    }
    ~TLoadedFB()
    {
        if (handle_)
            ::dlclose(handle_);
    }
    bool Loaded() const { return handle_ != nullptr; }
    template <typename F>
    F Entry(const char* name) const
    {
        void* sym = ::dlsym(handle_, name);
        if (!sym)
            ADD_FAILURE() << "no exported " << name;
        return reinterpret_cast<F>(sym);
    }

private:
    void* handle_ = nullptr;
};

class GeneratedLibrary : public ::testing::Test {
protected:
    void SetUp() override { gCalls.clear(); }
};

TEST_F(GeneratedLibrary, RunsTheEccWithEveryKindOfData)
{
    auto file = CompiledTestLibrary("CG_ALL");
    ASSERT_FALSE(file.empty());
    TLoadedFB fb(file);
    ASSERT_TRUE(fb.Loaded());
    auto isValidFB = fb.Entry<TIsValidFB>("isValidFB");
    auto assignCallBack = fb.Entry<TAssignCallBack>("AssignCallBack");
    using THandle = int32_t (*)(const char*, const int32_t*, const bool*, const int32_t*, const float*, const char*,
                                const int32_t*);
    auto handleFBEvent = fb.Entry<THandle>("HandleFBEvent");
    auto freeFBDLL = fb.Entry<TFreeFBDLL>("FreeFBDLL");
    ASSERT_TRUE(isValidFB && assignCallBack && handleFBEvent && freeFBDLL);

    EXPECT_EQ(isValidFB("CG_OTHER", 7), 0);
    EXPECT_EQ(isValidFB("CG_AL", 7), 0);
    ASSERT_EQ(isValidFB("CG_ALL", 42), 1);
    gDataSlots = 4 + 1; // ACTIVE, TOTAL, SCALED, MSG and MSG's length
    assignCallBack(&RecordOutput);

    struct Inputs {
        bool enable;
        int32_t count;
        float gain;
        std::string name;
    };
    auto send = [&](const std::string& event, const Inputs& in) {
        int32_t evLen = static_cast<int32_t>(event.size());
        int32_t nameLen = static_cast<int32_t>(in.name.size());
        return handleFBEvent(event.data(), &evLen, &in.enable, &in.count, &in.gain, in.name.data(), &nameLen);
    };

    // INIT fires START -> INIT, whose "1" transition returns to START.
    EXPECT_EQ(send("INIT", {false, 0, 0.0f, ""}), 1);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].FBId, 42);
    EXPECT_EQ(gCalls[0].Event, "INITO");
    EXPECT_NE(SlotInt(gCalls[0].Slots[0]), 0) << "ACTIVE := STARTED and not FLAG; FLAG from \"TRUE\" is False";
    EXPECT_EQ(SlotInt(gCalls[0].Slots[1]), 0);
    EXPECT_EQ(SlotText(gCalls[0].Slots[3], gCalls[0].Slots[4]), "");

    // REQ with ENABLE: the expression holds, calc runs before CNF is sent,
    // and the empty condition brings the chart back to START.
    gCalls.clear();
    EXPECT_EQ(send("REQ", {true, 5, 1.5f, "abc"}), 1);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].FBId, 42);
    EXPECT_EQ(gCalls[0].Event, "CNF");
    EXPECT_EQ(SlotInt(gCalls[0].Slots[1]), 5);
    EXPECT_FLOAT_EQ(SlotReal(gCalls[0].Slots[2]), 3.75f);
    EXPECT_EQ(SlotText(gCalls[0].Slots[3], gCalls[0].Slots[4]), "n=abc");

    // The internal counter survives between events; negative values pass.
    gCalls.clear();
    EXPECT_EQ(send("REQ", {true, -7, -2.0f, "xy"}), 1);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(SlotInt(gCalls[0].Slots[1]), -2);
    EXPECT_FLOAT_EQ(SlotReal(gCalls[0].Slots[2]), -5.0f);
    EXPECT_EQ(SlotText(gCalls[0].Slots[3], gCalls[0].Slots[4]), "n=xy");

    // An unknown event changes nothing; without ENABLE no transition holds.
    gCalls.clear();
    EXPECT_EQ(send("NOSUCH", {true, 1, 1.0f, "z"}), 1);
    EXPECT_EQ(send("REQ", {false, 1, 1.0f, "z"}), 1);
    EXPECT_TRUE(gCalls.empty());
    // Event variables are cleared only when a transition fires, so the REQ
    // that found no transition still counts at the next event.
    EXPECT_EQ(send("NOSUCH", {true, 1, 1.0f, "z"}), 1);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(SlotInt(gCalls[0].Slots[1]), -1);

    EXPECT_EQ(freeFBDLL(), 1);
}

TEST_F(GeneratedLibrary, TypeWithoutDataSendsOutputEventsInActionOrder)
{
    auto file = CompiledTestLibrary("CG_EVENTS");
    ASSERT_FALSE(file.empty());
    TLoadedFB fb(file);
    ASSERT_TRUE(fb.Loaded());
    using THandle = int32_t (*)(const char*, const int32_t*);
    auto handleFBEvent = fb.Entry<THandle>("HandleFBEvent");
    ASSERT_EQ(fb.Entry<TIsValidFB>("isValidFB")("CG_EVENTS", -3), 1);
    gDataSlots = 0;
    fb.Entry<TAssignCallBack>("AssignCallBack")(&RecordOutput);

    const int32_t len = 2;
    for (int round = 0; round < 2; ++round) {
        gCalls.clear();
        EXPECT_EQ(handleFBEvent("EI", &len), 1);
        ASSERT_EQ(gCalls.size(), 2u) << "round " << round;
        EXPECT_EQ(gCalls[0].FBId, -3);
        EXPECT_EQ(gCalls[0].Event, "EO1");
        EXPECT_EQ(gCalls[1].Event, "EO2");
    }
    // The event name is taken by its length, not up to a terminator.
    gCalls.clear();
    EXPECT_EQ(handleFBEvent("EIX", &len), 1);
    EXPECT_EQ(gCalls.size(), 2u);
    EXPECT_EQ(fb.Entry<TFreeFBDLL>("FreeFBDLL")(), 1);
}

TEST_F(GeneratedLibrary, TypeWithoutStatesTakesEventsAndStaysSilent)
{
    auto file = CompiledTestLibrary("CG_NOSTATE");
    ASSERT_FALSE(file.empty());
    TLoadedFB fb(file);
    ASSERT_TRUE(fb.Loaded());
    using THandle = int32_t (*)(const char*, const int32_t*, const int32_t*);
    ASSERT_EQ(fb.Entry<TIsValidFB>("isValidFB")("CG_NOSTATE", 1), 1);
    gDataSlots = 1;
    fb.Entry<TAssignCallBack>("AssignCallBack")(&RecordOutput);
    const int32_t len = 3, x = 9;
    EXPECT_EQ(fb.Entry<THandle>("HandleFBEvent")("REQ", &len, &x), 1);
    EXPECT_TRUE(gCalls.empty());
    EXPECT_EQ(fb.Entry<TFreeFBDLL>("FreeFBDLL")(), 1);
}

} // namespace
