#include "model/fb_diagram.h"
#include "model/fb_type.h"

#include <gtest/gtest.h>

using namespace telvo;

TEST(FBType, NewTypeIsBasicWithEmptyNetworkAndNoService)
{
    TFB_Type t;
    EXPECT_FALSE(t.Composite);
    EXPECT_FALSE(t.Imported);
    ASSERT_NE(t.Network, nullptr);
    EXPECT_EQ(t.Network->Name, "FBComposite");
    EXPECT_EQ(t.Network->Zoom, 1.0);
    EXPECT_TRUE(t.Services.empty());
    EXPECT_FALSE(t.IsServiceInterface());
}

TEST(FBType, AddOperationsRefuseDuplicatesWithoutChange)
{
    TFB_Type t;
    ASSERT_NE(t.AddVersion("o", "1.0", "a", "d", "r"), nullptr);
    EXPECT_EQ(t.AddVersion("x", "1.0", "y", "z", "w"), nullptr);
    EXPECT_EQ(t.Versions.size(), 1u);
    EXPECT_EQ(t.Versions[0]->Organization, "o");

    ASSERT_NE(t.AddCompiler("Pascal", "V", "P1", "3"), nullptr);
    EXPECT_EQ(t.AddCompiler("Pascal", "V", "P2", "3"), nullptr);
    EXPECT_NE(t.AddCompiler("Pascal", "V", "P2", "4"), nullptr);

    auto* in = t.AddDataInput("IN", "INT", "first", "1", "");
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(t.AddDataInput("IN", "REAL", "second", "2", ""), nullptr);
    EXPECT_EQ(in->Type, "INT");
    EXPECT_EQ(in->Owner, &t);
    EXPECT_NE(t.AddDataOutput("IN", "INT", "", "", ""), nullptr); // outputs are a separate name space

    auto* ev = t.AddEventInput("REQ", "Event", "");
    EXPECT_EQ(t.AddEventInput("REQ", "Event", "again"), ev);
    EXPECT_EQ(t.EventInputs.size(), 1u);

    // Duplicate names are allowed here.
    t.AddInternalVar("V", "INT", "", "", "");
    t.AddInternalVar("V", "INT", "", "", "");
    t.AddState("S", "");
    t.AddState("S", "");
    EXPECT_EQ(t.InternalVars.size(), 2u);
    EXPECT_EQ(t.States.size(), 2u);
}

TEST(FBType, FindAndIndexReturnFirstMatch)
{
    TFB_Type t;
    t.AddEventInput("A", "", "");
    t.AddEventInput("B", "", "");
    t.AddState("S", "one");
    t.AddState("S", "two");
    EXPECT_EQ(t.IndexOfEventInput("B"), 1);
    EXPECT_EQ(t.IndexOfEventInput("b"), -1);
    EXPECT_EQ(t.FindState("S")->Comment, "one");
    EXPECT_EQ(t.FindAlgorithm("S"), nullptr);
}

TEST(FBType, DeletingAVariableLeavesNoDanglingWith)
{
    TFB_Type t;
    auto* d = t.AddDataInput("D", "INT", "", "", "");
    auto* e = t.AddEventInput("REQ", "", "");
    e->AddWith(d);
    e->AddWith(nullptr);
    ASSERT_EQ(e->With.size(), 1u);
    EXPECT_TRUE(t.DeleteDataInput("D"));
    EXPECT_TRUE(e->With.empty());
    EXPECT_FALSE(t.DeleteDataInput("D"));
}

TEST(FBType, DeleteSequenceRemovesItsPrimitives)
{
    TFB_Type t;
    auto* s = t.AddService("L", "R", "");
    auto* seq = s->AddSequence("normal", "");
    seq->AddPrimitive(true, "L", "INIT", "");
    seq->AddPrimitive(false, "R", "INITO", "");
    s->AddSequence("other", "");
    EXPECT_TRUE(t.IsServiceInterface());
    EXPECT_TRUE(s->DeleteSequence("normal"));
    EXPECT_FALSE(s->DeleteSequence("normal"));
    ASSERT_EQ(s->Sequences.size(), 1u);
    EXPECT_EQ(s->Sequences[0]->Name, "other");
}

// Objects placed in the type's store (as the reader places them) and objects
// of the add operations share the lists: the lists grow past a block, drop
// entries of either kind, and keep every text.
TEST(FBType, PlacedAndAddedDeclarationsShareTheLists)
{
    TFB_Type t;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "D" + std::to_string(i);
        if (i % 3 == 0) {
            ASSERT_NE(t.AddDataInput(name, "INT", "added", "", ""), nullptr);
            continue;
        }
        t.DataInputs.push_back(t.MakePlaced<TFB_DataInput>());
        t.DataInputs.back()->Name = name;
        t.DataInputs.back()->Comment = std::string(40, 'p'); // on the heap, beside the placed object
        t.DataInputs.back()->Owner = &t;
    }
    ASSERT_EQ(t.DataInputs.size(), 300u);
    auto* e = t.AddEventInput("REQ", "", "");
    e->AddWith(t.FindDataInput("D1"));
    e->AddWith(t.FindDataInput("D3"));

    EXPECT_TRUE(t.DeleteDataInput("D1")); // placed
    EXPECT_TRUE(t.DeleteDataInput("D3")); // added
    EXPECT_TRUE(e->With.empty());
    ASSERT_EQ(t.DataInputs.size(), 298u);
    EXPECT_EQ(t.DataInputs[0]->Name, "D0");
    EXPECT_EQ(t.DataInputs[1]->Name, "D2");
    EXPECT_EQ(t.DataInputs[1]->Comment, std::string(40, 'p'));
    EXPECT_EQ(t.DataInputs.back()->Name, "D299");
    EXPECT_EQ(t.IndexOfDataInput("D200"), 198);

    t.DataInputs.clear();
    t.DataInputs.push_back(t.MakePlaced<TFB_DataInput>());
    EXPECT_EQ(t.DataInputs.size(), 1u);
    EXPECT_EQ(t.DataInputs[0]->Name, "");
}
