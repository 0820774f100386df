// Blocks and glyphs: the measures of the block rules at several zooms, the
// port points, the pixels of head, neck and body, the port type labels and
// WITH marks, the glyph port tables, and the hit tests on all of them.

#include "render_fixture.h"

#include <gtest/gtest.h>

namespace telvo::test {
namespace {

struct BlockCase {
    const char* Label;
    std::string TypeName;
    int EventIn, EventOut, DataIn, DataOut;
    double Zoom;
    int W, H, s, e, n;
};

class BlockMeasures : public ::testing::TestWithParam<BlockCase> {};

TEST_P(BlockMeasures, SizeRowsAndPortPoints)
{
    const BlockCase& c = GetParam();
    TPlant plant;
    plant.AddType(c.TypeName, c.EventIn, c.EventOut, c.DataIn, c.DataOut);
    TFB_Diagram* d = plant.Diagram();
    d->Zoom = c.Zoom;
    TFB_Instance* inst = plant.Place(d, "A", c.TypeName, 50, 70);
    ASSERT_NE(inst, nullptr);

    const TBlockMetrics m = MeasureBlock(*inst);
    EXPECT_EQ(m.W, c.W);
    EXPECT_EQ(m.H, c.H);
    EXPECT_EQ(m.s, c.s);
    EXPECT_EQ(m.e, c.e);
    EXPECT_EQ(m.n, c.n);

    // A paint writes the same size and the port points of the block rules.
    plant.Paint(d);
    EXPECT_EQ(inst->Width, c.W);
    EXPECT_EQ(inst->Height, c.H);
    for (int i = 0; i < c.EventIn; ++i) {
        EXPECT_EQ(inst->EventInputPorts[i]->X, 49);
        EXPECT_EQ(inst->EventInputPorts[i]->Y, 70 + i * c.s + 7);
    }
    for (int i = 0; i < c.EventOut; ++i) {
        EXPECT_EQ(inst->EventOutputPorts[i]->X, 50 + c.W);
        EXPECT_EQ(inst->EventOutputPorts[i]->Y, 70 + i * c.s + 7);
    }
    // Data rows start one row below the body's top, which holds the type name.
    for (int k = 0; k < c.DataIn; ++k) {
        EXPECT_EQ(inst->DataInputPorts[k]->X, 49);
        EXPECT_EQ(inst->DataInputPorts[k]->Y, 70 + c.n + (k + 1) * c.s + 7);
    }
    for (int k = 0; k < c.DataOut; ++k) {
        EXPECT_EQ(inst->DataOutputPorts[k]->X, 50 + c.W - 1);
        EXPECT_EQ(inst->DataOutputPorts[k]->Y, 70 + c.n + (k + 1) * c.s + 7);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, BlockMeasures,
    ::testing::Values(
        // H0 = 16*3 + 20 + 16*4 + 20 = 152; rnd(121.6) = 122, s = rnd(12.8) = 13, n = rnd(54.4) = 54.
        BlockCase{"3_2_events_2_4_data_at_0_8", "T", 3, 2, 2, 4, 0.8, 112, 122, 13, 38, 54},
        // The minimum height 150 at 0.75 is rnd(112.5): the half goes to the even 112.
        BlockCase{"minimum_block_at_0_75", "T", 1, 1, 0, 0, 0.75, 105, 112, 12, 12, 27},
        // No event ports: still a head one row high.
        BlockCase{"no_event_ports", "T", 0, 0, 1, 1, 1.0, 140, 150, 16, 16, 36},
        BlockCase{"type_name_of_17_characters", "ABCDEFGHIJKLMNOPQ", 1, 1, 1, 1, 1.0, 140, 150, 16, 16, 36},
        // Beyond 17 characters the width grows by 8 pixels a character.
        BlockCase{"type_name_of_18_characters", "ABCDEFGHIJKLMNOPQR", 1, 1, 1, 1, 1.0, 144, 150, 16, 16, 36},
        BlockCase{"type_name_of_20_characters_at_0_5", "ABCDEFGHIJKLMNOPQRST", 1, 1, 1, 1, 0.5, 80, 75, 8, 8, 18},
        // 4 events and 6 data rows: 64 + 20 + 96 + 20 = 200.
        BlockCase{"tall_block", "T", 4, 2, 6, 3, 1.0, 140, 200, 16, 64, 84}),
    [](const auto& info) { return std::string(info.param.Label); });

class BlockPixels : public ::testing::Test {
protected:
    void SetUp() override
    {
        plant.AddType("T", 1, 1, 1, 1);
        d = plant.Diagram();
        inst = plant.Place(d, "A", "T", 100, 100);
    }
    TPlant plant;
    TFB_Diagram* d = nullptr;
    TFB_Instance* inst = nullptr;
};

TEST_F(BlockPixels, HeadNeckAndBodyOutlines)
{
    // W 140, H 150, e 16, n 36, r 28 at zoom 1.
    QImage img = plant.Paint(d);
    EXPECT_EQ(Pixel(img, 100, 100), QColor(Qt::black));
    EXPECT_EQ(Pixel(img, 239, 100), QColor(Qt::black)) << "last column is x + W - 1";
    EXPECT_EQ(Pixel(img, 240, 100), QColor(Qt::white));
    // The head's bottom edge stays beside the neck and is erased inside it.
    EXPECT_EQ(Pixel(img, 110, 115), QColor(Qt::black));
    EXPECT_EQ(Pixel(img, 170, 115), QColor(Qt::white));
    EXPECT_EQ(Pixel(img, 170, 135), QColor(Qt::white)) << "the body's top edge is erased inside the neck";
    // The neck's sides.
    EXPECT_EQ(Pixel(img, 127, 125), QColor(Qt::black));
    EXPECT_EQ(Pixel(img, 211, 125), QColor(Qt::black));
    EXPECT_EQ(Pixel(img, 126, 125), QColor(Qt::white));
    // The body's last row is y + H - 1.
    EXPECT_EQ(Pixel(img, 150, 249), QColor(Qt::black));
    EXPECT_EQ(Pixel(img, 150, 250), QColor(Qt::white));
    EXPECT_EQ(Pixel(img, 101, 101), QColor(Qt::white)) << "a 1-pixel outline when not in the selection";
}

TEST_F(BlockPixels, SelectedBlocksGetTwoPixelsAndImportedTypesARedHead)
{
    inst->GroupSelected = true;
    inst->Ref->Type->Imported = true;
    QImage img = plant.Paint(d);
    EXPECT_EQ(Pixel(img, 100, 100), QColor(Qt::red));
    EXPECT_EQ(Pixel(img, 101, 101), QColor(Qt::red));
    EXPECT_EQ(Pixel(img, 100, 200), QColor(Qt::black)) << "the body is outlined in black";
    EXPECT_EQ(Pixel(img, 101, 200), QColor(Qt::black));
}

TEST(BlockTypes, StubsAndTypeLabelsMakeRoomForWithMarks)
{
    TPlant plant;
    TFB_Type* t = plant.AddType("T", 2, 1, 2, 1);
    t->EventInputs[0]->AddWith(t->DataInputs[0].get());
    t->EventInputs[1]->AddWith(t->DataInputs[1].get());
    TFB_Diagram* d = plant.Diagram();
    TFB_Instance* inst = plant.Place(d, "A", "T", 200, 100);
    inst->TypeColour = DiagramColour::ShownTypes;
    QImage img = plant.Paint(d);
    const QColor grey(0xA2, 0xA2, 0xA2);
    // Two inputs with WITH lists: stubs reach 40 pixels left of the block.
    EXPECT_EQ(Pixel(img, 160, 107), grey);
    EXPECT_EQ(Pixel(img, 159, 107), QColor(Qt::white));
    // The "EVENT" labels end 44 pixels left of the block: nothing between.
    bool labelSeen = false;
    for (int y = 101; y < 113; ++y) {
        for (int x = 156; x < 160; ++x)
            EXPECT_EQ(Pixel(img, x, y), QColor(Qt::white)) << x << "," << y;
        for (int x = 100; x < 156; ++x)
            labelSeen |= Pixel(img, x, y) != QColor(Qt::white);
    }
    EXPECT_TRUE(labelSeen);
    // The WITH mark of data input 0 against event input 0 at c = x - 8:
    // boxes around both rows, joined by a vertical line.
    const int c = 192, dataY = inst->DataInputPorts[0]->Y;
    EXPECT_EQ(Pixel(img, c - 3, dataY), grey);
    EXPECT_EQ(Pixel(img, c, (dataY + 107) / 2), grey);
    EXPECT_EQ(Pixel(img, c - 3, 107), grey);
    // Data input 1 is sampled by event input 1, whose mark is at x - 20.
    EXPECT_EQ(Pixel(img, 180, (inst->DataInputPorts[1]->Y + 123) / 2), grey);
}

TEST(BlockLabels, ValueTextsAndDeviceInLabel)
{
    TPlant plant;
    plant.AddType("T", 1, 1, 1, 1);
    TFB_Diagram* d = plant.Diagram();
    TFB_Instance* inst = plant.Place(d, "A", "T", 200, 100);
    inst->Ref->DataInputs[0]->ValueText = "42";
    QImage img = plant.Paint(d);
    const int py = inst->DataInputPorts[0]->Y;
    // The value line runs from x - 1 to x - 10, 3 pixels above the port point.
    for (int x = 190; x < 200; ++x)
        EXPECT_EQ(Pixel(img, x, py - 3), QColor(Qt::black)) << x;
    bool valueSeen = false;
    for (int y = py - 7; y < py + 6; ++y)
        for (int x = 150; x < 190; ++x)
            valueSeen |= Pixel(img, x, y) != QColor(Qt::white);
    EXPECT_TRUE(valueSeen);
}

// ---- Glyphs ----

TEST(Glyphs, SplitPortsShapeAndSize)
{
    TPlant plant;
    plant.AddType("E_SPLIT", 1, 2, 0, 0);
    TFB_Diagram* d = plant.Diagram();
    TFB_Instance* inst = plant.Place(d, "s", "E_SPLIT", 200, 200);
    ASSERT_TRUE(inst->IsStereotype && inst->DrawAsGlyph);
    QImage img = plant.Paint(d);
    EXPECT_EQ(inst->Width, 50);
    EXPECT_EQ(inst->Height, 50);
    // L 200, T 200, R 250, B 250, M 225, u 8.
    EXPECT_EQ(std::make_pair(inst->EventInputPorts[0]->X, inst->EventInputPorts[0]->Y), std::make_pair(201, 225));
    EXPECT_EQ(std::make_pair(inst->EventOutputPorts[0]->X, inst->EventOutputPorts[0]->Y), std::make_pair(249, 208));
    EXPECT_EQ(std::make_pair(inst->EventOutputPorts[1]->X, inst->EventOutputPorts[1]->Y), std::make_pair(249, 242));
    EXPECT_EQ(Pixel(img, 225, 225), QColor(Qt::yellow));
    EXPECT_EQ(Pixel(img, 204, 225), QColor(1, 1, 1)) << "the stub from the apex to the left edge";
    EXPECT_EQ(Pixel(img, 245, 205), QColor(Qt::white)) << "outside the triangle";

    // Switched to a block, the same instance measures as a block.
    inst->DrawAsGlyph = false;
    plant.Paint(d);
    EXPECT_EQ(inst->Width, 140);
}

struct GlyphPortCase {
    const char* Label;
    std::string Type;
    int EventIn, EventOut, DataIn, DataOut;
    double Zoom;
    // Expected points, relative to (L, T) = (300, 300).
    std::vector<std::pair<int, int>> EventInputs, EventOutputs, DataInputs, DataOutputs;
};

class GlyphPortPoints : public ::testing::TestWithParam<GlyphPortCase> {};

TEST_P(GlyphPortPoints, AsInTheGlyphTable)
{
    const GlyphPortCase& c = GetParam();
    TPlant plant;
    plant.AddType(c.Type, c.EventIn, c.EventOut, c.DataIn, c.DataOut);
    TFB_Diagram* d = plant.Diagram();
    d->Zoom = c.Zoom;
    TFB_Instance* inst = plant.Place(d, "g", c.Type, 300, 300);
    plant.Paint(d);
    auto rel = [](const auto& list) {
        std::vector<std::pair<int, int>> out;
        for (const auto& p : list)
            out.emplace_back(p->X - 300, p->Y - 300);
        return out;
    };
    EXPECT_EQ(rel(inst->EventInputPorts), c.EventInputs);
    EXPECT_EQ(rel(inst->EventOutputPorts), c.EventOutputs);
    EXPECT_EQ(rel(inst->DataInputPorts), c.DataInputs);
    EXPECT_EQ(rel(inst->DataOutputPorts), c.DataOutputs);
}

// At zoom 0.8: S 40, M 20, C 20, u rnd(6.4) 6, rnd(2z) 2, rnd(z) 1, rnd(17z) 14, rnd(16z) 13.
INSTANTIATE_TEST_SUITE_P(
    Glyphs, GlyphPortPoints,
    ::testing::Values(
        GlyphPortCase{"merge", "E_MERGE", 2, 1, 0, 0, 0.8, {{1, 6}, {1, 34}}, {{39, 20}}, {}, {}},
        GlyphPortCase{"rendezvous", "E_REND", 3, 1, 0, 0, 0.8, {{1, 6}, {1, 34}, {20, 2}}, {{39, 20}}, {}, {}},
        GlyphPortCase{"permit", "E_PERMIT", 1, 1, 1, 0, 0.8, {{0, 20}}, {{40, 20}}, {{20, 2}}, {}},
        GlyphPortCase{"select", "E_SELECT", 2, 1, 1, 0, 0.8, {{0, 14}, {0, 26}}, {{40, 20}}, {{20, 2}}, {}},
        GlyphPortCase{"switch", "E_SWITCH", 1, 2, 1, 0, 0.8, {{0, 20}}, {{40, 14}, {40, 26}}, {{20, 2}}, {}},
        GlyphPortCase{"delay", "E_DELAY", 2, 1, 1, 0, 0.8, {{0, 14}, {0, 26}}, {{40, 20}}, {{20, 2}}, {}},
        GlyphPortCase{"cycle", "E_CYCLE", 2, 1, 1, 0, 0.8, {{0, 14}, {0, 26}}, {{40, 20}}, {{20, 2}}, {}},
        GlyphPortCase{"restart", "E_RESTART", 0, 3, 0, 0, 0.8, {}, {{39, 6}, {39, 20}, {39, 33}}, {}, {}},
        // Q = 10: the data input at the bottom, the output 2z above it.
        GlyphPortCase{"sistep_evgen", "SISTEP_EVGEN", 2, 2, 1, 1, 0.8, {{0, 14}, {0, 26}}, {{40, 14}, {40, 26}},
                      {{10, 40}}, {{30, 38}}},
        // The upper left port is event input 2; input 0 is not shown and
        // sits on the middle of the left edge.
        GlyphPortCase{"sistep_evbool", "SISTEP_EVBOOL", 3, 2, 1, 1, 0.8, {{0, 20}, {0, 26}, {0, 14}},
                      {{40, 14}, {40, 26}}, {{10, 40}}, {{30, 38}}},
        // In the stereotype list without a glyph of its own: drawn as a
        // block (x - 1, y + 7 + i s; data rows below n = rnd(52 x 0.8) = 42).
        GlyphPortCase{"train_without_glyph_is_a_block", "E_TRAIN", 2, 1, 2, 1, 0.8, {{-1, 7}, {-1, 20}},
                      {{112, 7}}, {{-1, 62}, {-1, 75}}, {{111, 62}}}),
    [](const auto& info) { return std::string(info.param.Label); });

// ---- Hit tests ----

TEST(InstanceHitTests, PointAndArea)
{
    TPlant plant;
    plant.AddType("T", 2, 1, 1, 1);
    TFB_Diagram* d = plant.Diagram();
    TFB_Instance* inst = plant.Place(d, "A", "T", 100, 100); // 140 x 150
    struct Case {
        THitRect Rect;
        bool Hit;
    } cases[] = {
        {THitRect::Point(100, 100), true},
        {THitRect::Point(240, 250), true}, // bounds inclusive
        {THitRect::Point(241, 250), false},
        {THitRect::Point(99, 120), false},
        {{90, 90, 250, 260}, true},
        {{250, 260, 90, 90}, true}, // any corner order
        {{90, 90, 240, 260}, false}, // the right corner must lie strictly inside
        {{100, 100, 241, 251}, true},
        {{101, 100, 241, 251}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitTest(*inst, c.Rect), c.Hit)
            << c.Rect.Left << "," << c.Rect.Top << "," << c.Rect.Right << "," << c.Rect.Bottom;
}

TEST(InstanceHitTests, PortBands)
{
    TPlant plant;
    plant.AddType("T", 2, 1, 1, 1);
    TFB_Diagram* d = plant.Diagram();
    TFB_Instance* inst = plant.Place(d, "A", "T", 100, 100);
    // EI1 (99, 107), EI2 (99, 123), EO1 (240, 107); two event rows put the
    // body's top at n = 52: DI1 (99, 175), DO1 (239, 175); h2 = 8.
    struct Case {
        int X, Y;
        const char* Event; // expected event port name, or null
        const char* Data;
    } cases[] = {
        {94, 107, "EI1", nullptr},  {93, 107, nullptr, nullptr}, {118, 107, "EI1", nullptr},
        {119, 107, nullptr, nullptr}, {100, 100, "EI1", nullptr}, {100, 99, nullptr, nullptr},
        {100, 114, "EI1", nullptr}, {100, 115, nullptr, nullptr}, {100, 116, "EI2", nullptr},
        {210, 107, "EO1", nullptr}, {244, 107, "EO1", nullptr},  {245, 107, nullptr, nullptr},
        {209, 107, nullptr, nullptr}, {128, 175, nullptr, "DI1"}, {129, 175, nullptr, nullptr},
        {94, 175, nullptr, "DI1"},  {94, 168, nullptr, "DI1"},   {94, 167, nullptr, nullptr}, {209, 175, nullptr, "DO1"},  {243, 175, nullptr, "DO1"},
        {244, 175, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        TFBEvent* ev = EventPortAt(*inst, c.X, c.Y);
        TFBDataMember* data = DataPortAt(*inst, c.X, c.Y);
        EXPECT_EQ(ev ? ev->Name() : std::string("-"), c.Event ? std::string(c.Event) : std::string("-"))
            << c.X << "," << c.Y;
        EXPECT_EQ(data ? data->Name() : std::string("-"), c.Data ? std::string(c.Data) : std::string("-"))
            << c.X << "," << c.Y;
    }
}

// ---- Drawn-object operations ----

TEST(InstanceGeometry, DragScrollAndZoomKeepTheZoomOnePosition)
{
    TPlant plant;
    plant.AddType("T", 3, 1, 0, 0);
    TFB_Diagram* d = plant.Diagram();
    d->Zoom = 0.8;
    TFB_Instance* inst = plant.Place(d, "A", "T", 96, 96);
    EXPECT_EQ(inst->BaseX, 120);

    // Not being dragged: nothing moves.
    BeginDrag(*inst, 100, 100);
    DragTo(*inst, 300, 300);
    EXPECT_EQ(inst->X, 96);

    inst->Selected = true;
    BeginDrag(*inst, 100, 101);
    EXPECT_EQ(inst->DragOffsetX, 4);
    EXPECT_EQ(inst->DragOffsetY, 5);
    DragTo(*inst, 205, 105);
    EXPECT_EQ(inst->X, 201);
    EXPECT_EQ(inst->Y, 100);
    EXPECT_EQ(inst->BaseX, 251); // rnd(251.25)
    EXPECT_EQ(inst->BaseY, 125);

    // Scrolling by (30, 10) moves it against the offsets; back to 0 returns it.
    MoveBy(*inst, 30, 10);
    EXPECT_EQ(inst->X, 171);
    EXPECT_EQ(inst->Y, 90);
    MoveBy(*inst, 0, 0);
    EXPECT_EQ(inst->X, 201);
    EXPECT_EQ(inst->Y, 100);

    SetScale(*inst, 0.5);
    EXPECT_EQ(inst->X, 126); // rnd(125.5) goes to the even 126
    EXPECT_EQ(inst->Y, 62);  // rnd(62.5)
    EXPECT_EQ(inst->Scale, 0.5);
    EXPECT_EQ(inst->Height, 75) << "the paint's measure";
    EXPECT_EQ(inst->EventInputPorts[2]->Y, 62 + 2 * 8 + 7);
}

} // namespace
} // namespace telvo::test
