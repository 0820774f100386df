// The overview of a zoomed-out diagram: at 30 % and below a block is a
// filled rectangle of its size and no text is drawn; above it the block is
// drawn in full. Lines still run to the ports, and hit tests still find the
// block.

#include "render_fixture.h"

#include <gtest/gtest.h>

namespace telvo::test {
namespace {

struct Zoomed {
    const char* Name;
    double Zoom;
    bool Overview;
};

void PrintTo(const Zoomed& z, std::ostream* os)
{
    *os << z.Name;
}

class Overview : public ::testing::TestWithParam<Zoomed> {};

TEST_P(Overview, BlocksAreFilledAndTextGoesOnlyAtOrBelowThirtyPercent)
{
    const Zoomed& c = GetParam();
    TPlant plant;
    plant.AddType("MOTOR_CONTROL", 2, 2, 2, 2);
    TFB_Diagram* d = plant.Diagram();
    d->Zoom = c.Zoom;
    TFB_Instance* a = plant.Place(d, "Conveyor_motor_left", "MOTOR_CONTROL", 40, 40);
    TFB_Instance* b = plant.Place(d, "Conveyor_motor_right", "MOTOR_CONTROL", 200, 40);
    SetScale(*a, c.Zoom);
    SetScale(*b, c.Zoom);
    plant.ConnectEvent(a, 0, b, 0);
    d->RebuildLines();
    const QImage image = plant.Paint(d, 400, 300);

    ASSERT_GT(a->Width, 4);
    ASSERT_GT(a->Height, 4);
    // Inside the block, below its name, away from its ports.
    const QColor inside = Pixel(image, a->X + a->Width / 2, a->Y + a->Height - 3);
    if (c.Overview)
        EXPECT_EQ(inside.rgb() & 0xFFFFFF, DiagramColour::OverviewBlock);
    else
        EXPECT_NE(inside.rgb() & 0xFFFFFF, DiagramColour::OverviewBlock);
    // Nothing dark above the block, where its name goes in full drawing.
    int dark = 0;
    for (int x = a->X - 10; x < a->X + a->Width + 10; ++x)
        for (int y = std::max(0, a->Y - 14); y < a->Y - 1; ++y)
            dark += Pixel(image, x, y).lightness() < 128;
    if (c.Overview) {
        EXPECT_EQ(dark, 0) << "no label in the overview";
    } else if (c.Zoom >= 0.5) { // smaller labels are too faint to count on
        EXPECT_GT(dark, 0) << "the instance's label";
    }
    // The event line still joins the ports.
    ASSERT_EQ(d->EventLines.size(), 1u);
    EXPECT_GE(d->EventLines[0]->Points.size(), 2u);
    EXPECT_TRUE(HitTest(*b, THitRect{b->X + 2, b->Y + 2, b->X + 2, b->Y + 2}));
}

INSTANTIATE_TEST_SUITE_P(Render, Overview,
                         ::testing::Values(Zoomed{"Ten", 0.10, true}, Zoomed{"Thirty", 0.30, true},
                                           Zoomed{"ThirtyFive", 0.35, false}, Zoomed{"Eighty", 0.80, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
} // namespace telvo::test
