#include "layer_fixture.h"

#include <gtest/gtest.h>

using namespace telvo;
using telvo::test::LayerTest;

namespace {

void Place(TslObject* o, int32_t left, int32_t top, int32_t width, int32_t height)
{
    o->Left = left;
    o->Top = top;
    o->Width = width;
    o->Height = height;
}

} // namespace

TEST_F(LayerTest, ObjectAtUsesInclusiveBoxesShiftedByTheScroll)
{
    TslObject* a = Add(slComputer);
    Place(a, 100, 50, 40, 30);
    struct Case {
        const char* What;
        int32_t ScrollX, ScrollY, X, Y;
        bool Hit;
    };
    const Case cases[] = {
        {"top left corner", 0, 0, 100, 50, true},
        {"bottom right corner", 0, 0, 140, 80, true},
        {"one left of the box", 0, 0, 99, 60, false},
        {"one below the box", 0, 0, 120, 81, false},
        // Scrolled right by 10 positions: everything 50 pixels further left.
        {"scrolled right, shifted box", -50, 0, 50, 50, true},
        {"scrolled right, old place", -50, 0, 141, 60, false},
        {"scrolled down by 4 positions", 0, -20, 120, 30, true},
        {"scrolled down, below the shifted box", 0, -20, 120, 61, false},
    };
    for (const Case& c : cases) {
        Layer->ScrollX = c.ScrollX;
        Layer->ScrollY = c.ScrollY;
        EXPECT_EQ(Layer->ObjectAt(c.X, c.Y, true) == a, c.Hit) << c.What;
        EXPECT_EQ(Layer->ObjectAt(c.X, c.Y, false) == a, c.Hit) << c.What;
    }
}

TEST_F(LayerTest, ObjectAtTakesTheTopmostBoxAndBringsItToTheTop)
{
    TslObject* under = Add(slComputer);
    TslObject* over = Add(slSwitch);
    TslObject* apart = Add(slSwitch);
    Place(under, 0, 0, 50, 50);
    Place(over, 25, 25, 50, 50);
    Place(apart, 300, 300, 10, 10);
    for (auto& o : Layer->Objects)
        o->Selected = true;
    // The shared area shows "over", drawn after "under": it takes the press.
    EXPECT_EQ(Layer->ObjectAt(30, 30, false), over);
    EXPECT_FALSE(under->Selected);
    EXPECT_FALSE(over->Selected);
    EXPECT_FALSE(apart->Selected); // every object was examined
    EXPECT_EQ(Layer->Objects.back().get(), over);
    EXPECT_EQ(Layer->Objects.front().get(), under);
    // Only "under" shows here; hit, it comes to the top and then takes the
    // shared area as well.
    EXPECT_EQ(Layer->ObjectAt(10, 10, false), under);
    EXPECT_EQ(Layer->Objects.back().get(), under);
    EXPECT_EQ(Layer->ObjectAt(30, 30, false), under);
    EXPECT_EQ(Layer->ObjectAt(200, 200, false), nullptr);
}

TEST_F(LayerTest, IppMarkersAndBoxesAreHitTopmostFirst)
{
    auto* pump = AddIpt(3);  // IPT_0
    auto* valve = AddIpt(2); // IPT_1
    Place(pump, 100, 100, 75, 40);
    Place(valve, 400, 100, 60, 40);
    Layer->ApplyLayout(); // pump's IPP k spans x 106 + 15k .. 121 + 15k, y 85 .. 100
    TslIPPRef* p0 = pump->IPPList[0].get();
    TslIPPRef* p1 = pump->IPPList[1].get();
    TslIPPRef* v0 = valve->IPPList[0].get();

    EXPECT_EQ(Layer->ObjectAt(110, 90, false), nullptr);
    EXPECT_EQ(Layer->ObjectAt(110, 90, true), p0);
    EXPECT_EQ(Layer->Objects.back().get(), pump); // its IPT comes to the top
    // The shared edge of two markers: the first IPP of the IPT counts.
    EXPECT_EQ(Layer->ObjectAt(121, 90, true), p0);
    EXPECT_EQ(Layer->ObjectAt(122, 90, true), p1);
    // The IPT's top edge is inside both its box and the marker: the box wins.
    EXPECT_EQ(Layer->ObjectAt(110, 100, true), pump);

    // A box drawn over a marker wins over it.
    TslObject* cover = Add(slSwitch);
    Place(cover, 105, 80, 10, 10);
    EXPECT_EQ(Layer->ObjectAt(110, 86, true), cover);
    // Once the pump is drawn last (a press on its marker beside the box),
    // its marker lies over that box and wins over it.
    EXPECT_EQ(Layer->ObjectAt(119, 86, true), p0);
    EXPECT_EQ(Layer->Objects.back().get(), pump);
    EXPECT_EQ(Layer->ObjectAt(110, 86, true), p0);

    EXPECT_EQ(Layer->IppAt(410, 90), v0);
    EXPECT_EQ(Layer->IppAt(122, 86), p1);
    EXPECT_EQ(Layer->IppAt(300, 90), nullptr);
    // With a scroll offset the markers move with everything else.
    Layer->ScrollX = -100;
    Layer->ScrollY = -5;
    EXPECT_EQ(Layer->IppAt(310, 85), v0);
    EXPECT_EQ(Layer->IppAt(410, 90), nullptr);
    EXPECT_EQ(Layer->ObjectAt(310, 85, true), v0);
}

TEST_F(LayerTest, IppOfALaterIptReplacesAnEarlierHit)
{
    auto* first = AddIpt(1);
    auto* second = AddIpt(1);
    Place(first, 100, 100, 45, 40);
    Place(second, 100, 100, 45, 40); // exactly on top
    Layer->ApplyLayout();
    EXPECT_EQ(Layer->IppAt(110, 90), second->IPPList[0].get());
    EXPECT_EQ(Layer->ObjectAt(110, 90, true), second->IPPList[0].get());
    EXPECT_EQ(Layer->Objects.back().get(), second);
    EXPECT_NE(first, nullptr);
}

TEST_F(LayerTest, ConnectionAtSelectsEveryRouteNearThePointAndReturnsTheLast)
{
    TslObject* a = Add(slComputer);
    TslObject* b = Add(slSwitch);
    TslObject* c = Add(slSwitch);
    Place(a, 0, 0, 40, 20);     // centre (20, 10)
    Place(b, 200, 200, 40, 20); // centre (220, 210)
    Place(c, 200, 0, 40, 20);   // centre (220, 10)
    TSystemConnection* ab = Layer->Connect(a, b); // leg at y 110
    TSystemConnection* ac = Layer->Connect(a, c); // leg at y 10, straight along
    Layer->ScrollX = -50;
    Layer->ApplyLayout();

    struct Case {
        const char* What;
        int32_t X, Y;
        TSystemConnection* Expected;
        bool AbSelected, AcSelected;
    };
    const Case cases[] = {
        {"on the middle leg of a-b", 70, 112, ab, true, false},
        {"three pixels off the leg", 70, 113, nullptr, false, false},
        {"along a-c", 100, 8, ac, false, true},
        {"at a's centre both routes start", -30, 11, ac, true, true},
        {"where nothing runs", 100, 60, nullptr, false, false},
        {"where a-b would run unscrolled", 120, 112, ab, true, false},
        {"past the scrolled end", 175, 112, nullptr, false, false},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(Layer->ConnectionAt(k.X, k.Y), k.Expected) << k.What;
        EXPECT_EQ(ab->Selected, k.AbSelected) << k.What;
        EXPECT_EQ(ac->Selected, k.AcSelected) << k.What;
    }
    Layer->ConnectionAt(-30, 11);
    Layer->SelectedConnection = ab;
    Layer->ClearConnectionSelection();
    EXPECT_FALSE(ab->Selected);
    EXPECT_FALSE(ac->Selected);
    EXPECT_EQ(Layer->SelectedConnection, nullptr);
}
