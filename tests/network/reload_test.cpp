// Reloading a type from the library moves every record of it to the new
// copy; ports the new copy no longer has go with their connections.

#include "network/network_fixture.h"

#include <gmock/gmock.h>

#include <algorithm>

namespace telvo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST_F(NetworkTest, ReloadWithFewerPortsRemovesThemWithTheirConnections)
{
    MakeLayer();
    TFB_Diagram* d1 = NewDiagram("D1");
    TFB_Diagram* d2 = NewDiagram("D2");
    TFB_Instance* a = Add(d1, "A");
    TFB_Instance* b = Add(d2, "B");
    Add(d1, "B");
    TFB_InstanceRef* s = Add(d1, "S", "E_SPLIT")->Ref;
    ConnectEvents(a->Ref, "CNF", b->Ref, "REQ");
    ConnectEvents(s, "EO1", a->Ref, "INIT");
    ConnectData(a->Ref, "Q", b->Ref, "N");
    auto ipp = std::make_unique<TFB_IPPFBAssocsRef>();
    ipp->IPP = Boiler->getIppByName("IPP_1");
    ipp->Instance = b->Ref;
    ipp->EventPort = b->Ref->FindEventOutput("CNF");
    M().AddIPPFBConn(std::move(ipp));
    d2->AddIPPPicture(Boiler->getIppByName("IPP_1"), 0, 0);
    // PAIR's inner X and Y are COUNTERs too, in the type's own network.
    TFB_InstanceRef* pair = Add(d1, "P", "PAIR")->Ref;
    d1->RebuildLines();
    d2->RebuildLines();
    TFB_Type* old = M().FindType("COUNTER");
    const size_t typesBefore = M().Types.size();

    Home.Write("library/test/COUNTER.fbt", ShrunkCounterType());
    UI.Clear();
    M().ReloadType(old);

    TFB_Type* now = M().FindType("COUNTER");
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(M().Types.size(), typesBefore);
    // Ports are kept by position: CNF is the new EXTRA, Q has no place.
    EXPECT_THAT(UI.Messages(), ElementsAre("The reloaded type COUNTER has fewer ports: A.Q, B.Q, X.Q, Y.Q, P-X.Q, "
                                           "P-Y.Q removed together with their connections"));
    for (TFB_InstanceRef* r : {a->Ref, b->Ref}) {
        EXPECT_EQ(r->Type, now);
        ASSERT_EQ(r->EventOutputs.size(), 1u);
        EXPECT_EQ(r->EventOutputs[0]->Name(), "EXTRA");
        EXPECT_EQ(r->EventOutputs[0]->Owner, r);
        EXPECT_THAT(r->DataOutputs, IsEmpty());
        ASSERT_EQ(r->InternalVars.size(), 1u);
        EXPECT_EQ(r->InternalVars[0]->Decl->Name, "D");
        EXPECT_EQ(r->InternalVars[0]->ValueText, "1.5");
    }
    EXPECT_EQ(a->EventOutputPorts.size(), 1u);
    EXPECT_EQ(a->EventOutputPorts[0]->Event, a->Ref->EventOutputs[0].get());
    EXPECT_THAT(a->DataOutputPorts, IsEmpty());
    ASSERT_EQ(M().EventConns.size(), 2u);
    EXPECT_EQ(M().FindEventConn("REQ", "EXTRA", "B", "A"), M().EventConns[0].get());
    EXPECT_THAT(M().DataConns, IsEmpty());
    EXPECT_EQ(M().IPPFBConns.size(), 1u);
    for (TFB_Diagram* d : {d1, d2}) {
        d->RebuildLines();
        EXPECT_EQ(d->EventLines.size(), d == d1 ? 2u : 1u);
        EXPECT_THAT(d->DataLines, IsEmpty());
    }
    // The composite's inner copy was made anew from the type's network,
    // whose inner records moved to the new type too.
    ASSERT_NE(pair->InnerDiagram, nullptr);
    ASSERT_EQ(pair->InnerDiagram->InnerInstances.size(), 2u);
    EXPECT_EQ(pair->InnerDiagram->InnerInstances[0]->Type, now);
    EXPECT_EQ(pair->InnerDiagram->InnerEventConns.size(), 1u);
    EXPECT_THAT(pair->InnerDiagram->InnerDataConns, IsEmpty());
    EXPECT_EQ(pair->InnerDiagram->CompositeConns.size(), 3u); // REQ, DONE, IN; OUT went with Y.Q
    for (const auto& r : M().FindType("PAIR")->Network->InnerInstances)
        EXPECT_EQ(r->Type, now);
}

TEST_F(NetworkTest, ReloadThatFailsKeepsTheLoadedType)
{
    TFB_Instance* a = Add(NewDiagram(), "A");
    TFB_Type* old = M().FindType("COUNTER");
    std::filesystem::remove(Home / "library" / "test" / "COUNTER.fbt");
    M().ReloadType(old);
    EXPECT_EQ(M().FindType("COUNTER"), old);
    EXPECT_EQ(a->Ref->Type, old);
    ASSERT_EQ(UI.Messages().size(), 1u);
    EXPECT_EQ(UI.Messages()[0].rfind("Filetype not found", 0), 0u);
}

// Types are looked up through an index of the list: whatever changed the
// list, the first type of a name is found, and a name no longer there is not.
TEST_F(NetworkTest, TheFirstTypeOfANameIsFoundWhateverChangedTheList)
{
    auto type = [](const std::string& name) {
        auto t = std::make_unique<TFB_Type>();
        t->Name = name;
        return t;
    };
    ASSERT_TRUE(M().LoadTypeFromLibrary("", "COUNTER"));
    TFB_Type* counter = M().FindType("COUNTER");
    ASSERT_NE(counter, nullptr);
    // Appended behind the manager's back, one of them under a name taken.
    TFB_Type* extra = M().Types.emplace_back(type("EXTRA")).get();
    TFB_Type* second = M().Types.emplace_back(type("COUNTER")).get();
    EXPECT_EQ(M().FindType("EXTRA"), extra);
    EXPECT_EQ(M().FindType("COUNTER"), counter);
    // The first one replaced in place: its name now leads to the second.
    auto at = std::find_if(M().Types.begin(), M().Types.end(), [&](const auto& t) { return t.get() == counter; });
    *at = type("OTHER");
    EXPECT_EQ(M().FindType("COUNTER"), second);
    EXPECT_EQ(M().FindType("OTHER"), at->get());
    // Emptied and filled anew.
    M().Types.clear();
    EXPECT_EQ(M().FindType("EXTRA"), nullptr);
    TFB_Type* again = M().Types.emplace_back(type("EXTRA")).get();
    EXPECT_EQ(M().FindType("EXTRA"), again);
    EXPECT_EQ(M().FindType("COUNTER"), nullptr);
}

} // namespace
} // namespace telvo::test
