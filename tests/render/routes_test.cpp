// Routes of every kind of connection: forward and backward FB routes with
// their port index offsets, stubs of connections to other diagrams with
// their labels, IPP and IPP-to-IPP routes, composite connections along the
// interface frame, and the polyline hit test on the painted routes.

#include "render_fixture.h"

#include <gtest/gtest.h>

namespace telvo::test {
namespace {

using Points = std::vector<std::pair<int, int>>;

class Routes : public ::testing::Test {
protected:
    void SetUp() override
    {
        plant.AddType("ONE", 1, 1, 1, 1);
        plant.AddType("TWO", 2, 1, 2, 1);
        d = plant.Diagram("D1");
    }
    TPlant plant;
    TFB_Diagram* d = nullptr;
};

TEST_F(Routes, ForwardRoutesIntoTwoInputsRunFourPixelsApart)
{
    TFB_Instance* a = plant.Place(d, "A", "ONE", 100, 100); // EO1 at (240, 107)
    TFB_Instance* b = plant.Place(d, "B", "TWO", 400, 100); // EI1 (399, 107), EI2 (399, 123)
    plant.ConnectEvent(a, 0, b, 0);
    plant.ConnectEvent(a, 0, b, 1);
    d->RebuildLines();
    plant.Paint(d);
    ASSERT_EQ(d->EventLines.size(), 2u);
    // m = 240 + rnd(79.5) + 4 l - 8: the half goes to the even 80.
    EXPECT_EQ(PointsOf(*d->EventLines[0]), (Points{{240, 107}, {312, 107}, {312, 107}, {399, 107}}));
    EXPECT_EQ(PointsOf(*d->EventLines[1]), (Points{{240, 107}, {316, 107}, {316, 123}, {399, 123}}));
    EXPECT_EQ(d->EventLines[1]->PortIndex, 1);
}

TEST_F(Routes, BackwardRoutesClimbOverTheInstances)
{
    TFB_Instance* a = plant.Place(d, "A", "ONE", 100, 100);
    plant.ConnectEvent(a, 0, a, 0); // EO1 (240, 107) back to EI1 (99, 107)
    plant.ConnectData(a, 0, a, 0);  // DO1 (239, 159) back to DI1 (99, 159)
    d->RebuildLines();
    QImage img = plant.Paint(d);
    // Events: g 20, a 2; m = 240 + rnd(-70.5) - 18 = 152.
    EXPECT_EQ(PointsOf(*d->EventLines[0]),
              (Points{{240, 107}, {242, 107}, {242, 80}, {152, 80}, {152, 80}, {97, 80}, {97, 107}, {99, 107}}));
    // Data: g 22, a 12; m = 239 + rnd(-70) - 18 = 151.
    EXPECT_EQ(PointsOf(*d->DataLines[0]),
              (Points{{239, 159}, {251, 159}, {251, 78}, {151, 78}, {151, 78}, {97, 78}, {97, 159}, {99, 159}}));
    // Backward routes are dotted: along the top run some pixels stay white.
    int black = 0, white = 0;
    for (int x = 110; x < 140; ++x)
        (Pixel(img, x, 80) == QColor(Qt::black) ? black : white)++;
    EXPECT_GT(black, 5);
    EXPECT_GT(white, 5);
    // Data lines are silver.
    EXPECT_TRUE(Pixel(img, 251, 120) == QColor(192, 192, 192) || Pixel(img, 251, 121) == QColor(192, 192, 192));
}

TEST_F(Routes, BackwardRoutesTakeTheOutputIndex)
{
    TFB_Instance* a = plant.Place(d, "A", "TWO", 300, 100);
    TFB_Instance* b = plant.Place(d, "B", "TWO", 100, 200);
    // A's DO1 (439, 175) into B's DI2 (99, 291) runs backward with l = 0.
    plant.ConnectData(a, 0, b, 1);
    d->RebuildLines();
    plant.Paint(d);
    const TFB_DataAssoc& line = *d->DataLines[0];
    EXPECT_EQ(line.PortIndex, 0);
    const Points p = PointsOf(line);
    ASSERT_EQ(p.size(), 8u);
    // Up above A (y 100 - 22), across, down in front of B's input.
    EXPECT_EQ(p[2].second, 78);
    EXPECT_EQ(p[4].second, 178);
    EXPECT_EQ(p[6].first, b->DataInputPorts[1]->X - 2);
}

class RemoteStubs : public Routes {
protected:
    void SetUp() override
    {
        Routes::SetUp();
        other = plant.Diagram("D2");
        a = plant.Place(d, "A", "ONE", 100, 100);     // EO1 (240, 107), DO1 (239, 159)
        b = plant.Place(other, "B", "ONE", 400, 100); // EI1 (399, 107), DI1 (399, 159)
        plant.ConnectEvent(a, 0, b, 0);
        plant.ConnectData(a, 0, b, 0);
        d->RebuildLines();
        other->RebuildLines();
    }
    TFB_Diagram* other = nullptr;
    TFB_Instance* a = nullptr;
    TFB_Instance* b = nullptr;
};

TEST_F(RemoteStubs, SixtyPixelStubWithArrowAndTheRemoteName)
{
    QImage img = plant.Paint(other);
    ASSERT_EQ(other->EventLines.size(), 1u);
    // The local end is the input: the remote output is put 60 pixels left.
    EXPECT_EQ(PointsOf(*other->EventLines[0]), (Points{{339, 107}, {361, 107}, {361, 107}, {399, 107}}));
    EXPECT_EQ(PointsOf(*other->DataLines[0]), (Points{{339, 159}, {361, 159}, {361, 159}, {399, 159}}));
    // The arrowhead's point and one of its barbs.
    EXPECT_EQ(Pixel(img, 339, 107), QColor(Qt::black));
    EXPECT_EQ(Pixel(img, 336, 104), QColor(Qt::black));
    // "A.EO1" at (279, 98) for events, "A.DO1" at (299, 150) for data.
    auto inked = [&](int x1, int y1, int x2, int y2) {
        for (int y = y1; y < y2; ++y)
            for (int x = x1; x < x2; ++x)
                if (Pixel(img, x, y) != QColor(Qt::white))
                    return true;
        return false;
    };
    EXPECT_TRUE(inked(279, 98, 310, 107));
    EXPECT_FALSE(inked(260, 90, 278, 106));
    EXPECT_TRUE(inked(299, 150, 330, 159));

    // In the diagram of the output the stub leaves to the right.
    plant.Paint(d);
    EXPECT_EQ(PointsOf(*d->EventLines[0]), (Points{{240, 107}, {262, 107}, {262, 107}, {300, 107}}));
    TRemoteLabel label = RouteEventLine(*d->EventLines[0], {}).Label;
    EXPECT_TRUE(label.Shown);
    EXPECT_EQ(label.Text, "B.EI1");
    EXPECT_EQ(std::make_pair(label.TextX, label.TextY), std::make_pair(280, 98));
    label = RouteEventLine(*other->EventLines[0], {}).Label;
    EXPECT_EQ(label.Text, "A.EO1");
    EXPECT_EQ(std::make_pair(label.TextX, label.TextY), std::make_pair(279, 98));
    label = RouteDataLine(*other->DataLines[0], {}).Label;
    EXPECT_EQ(std::make_pair(label.TextX, label.TextY), std::make_pair(299, 150));
}

TEST_F(RemoteStubs, WithoutTheFlagTheStubCollapsesOntoThePort)
{
    TDiagramView view;
    view.ShowRemoteConnections = false;
    QImage img = plant.Paint(other, 800, 600, view);
    for (const auto& [x, y] : PointsOf(*other->EventLines[0])) {
        EXPECT_LE(std::abs(x - 399), 8);
        EXPECT_EQ(y, 107);
    }
    for (int x = 270; x < 330; ++x)
        EXPECT_EQ(Pixel(img, x, 104), QColor(Qt::white)) << "no label, no arrow";
}

TEST_F(Routes, PaintedRoutesAreWhatTheLineHitTestSees)
{
    TFB_Instance* a = plant.Place(d, "A", "ONE", 100, 100);
    TFB_Instance* b = plant.Place(d, "B", "TWO", 400, 100);
    plant.ConnectEvent(a, 0, b, 1); // vertical segment at x 316 from 107 to 123
    d->RebuildLines();
    plant.Paint(d);
    TFB_EventAssoc& line = *d->EventLines[0];
    EXPECT_TRUE(line.HitTest(316, 115));
    EXPECT_TRUE(line.HitTest(350, 125));
    EXPECT_FALSE(line.HitTest(350, 127));
    // Moving an instance reroutes at the next paint.
    b->Y = 200;
    plant.Paint(d);
    EXPECT_FALSE(line.HitTest(350, 123));
    EXPECT_TRUE(line.HitTest(350, 223));
}

// ---- IPP routes ----

class IppRoutes : public Routes {
protected:
    void SetUp() override
    {
        Routes::SetUp();
        auto* ipt = static_cast<TslIPT*>(plant.Layer.AddObject("tank", slIPT, 8));
        level = ipt->AddIpp("Level", "INT", TslIPPRef::Sensor);
        valve = ipt->AddIpp("Valve", "INT", TslIPPRef::Actuator);
        a = plant.Place(d, "A", "ONE", 300, 100); // DI1 (299, 159), DO1 (439, 159)
    }
    TFB_IPPFBAssocsRef* Join(TslIPPRef* ipp, TFBDataMember* port)
    {
        auto r = std::make_unique<TFB_IPPFBAssocsRef>();
        r->IPP = ipp;
        r->DataPort = port;
        r->Instance = a->Ref;
        return plant.Manager.AddIPPFBConn(std::move(r));
    }
    TslIPPRef* level = nullptr;
    TslIPPRef* valve = nullptr;
    TFB_Instance* a = nullptr;
};

TEST_F(IppRoutes, SensorToInputAndOutputToActuator)
{
    TslIPP* sensor = d->AddIPPPicture(level, 20, 140);
    TslIPP* actuator = d->AddIPPPicture(valve, 600, 140);
    Join(level, a->Ref->DataInputs[0].get());
    Join(valve, a->Ref->DataOutputs[0].get());
    d->RebuildLines();
    plant.Paint(d);
    ASSERT_EQ(d->IPPFBLines.size(), 2u);
    // The sensor's tip: label width 5 x 5 ("Level"), tip at x + 31, y + 12.
    EXPECT_EQ(std::make_pair(sensor->Anchor1X, sensor->Anchor1Y), std::make_pair(51, 152));
    // m = xs + rnd((xe - xs) / 2 - 8 + 4 l).
    EXPECT_EQ(PointsOf(*d->IPPFBLines[0]), (Points{{51, 152}, {167, 152}, {167, 159}, {299, 159}}));
    // The actuator's notch: x + 5, y + 12; the FB port is the start.
    EXPECT_EQ(std::make_pair(actuator->Anchor1X, actuator->Anchor1Y), std::make_pair(605, 152));
    EXPECT_EQ(PointsOf(*d->IPPFBLines[1]), (Points{{439, 159}, {514, 159}, {514, 152}, {605, 152}}));
}

TEST_F(IppRoutes, RemoteEndsAreFiftyPixelStubsWithTheirNames)
{
    // The IPP is pictured in another diagram: a stub from the FB port.
    Join(valve, a->Ref->DataOutputs[0].get());
    d->RebuildLines();
    plant.Paint(d);
    ASSERT_EQ(d->IPPFBLines.size(), 1u);
    EXPECT_EQ(PointsOf(*d->IPPFBLines[0]), (Points{{439, 159}, {456, 159}, {456, 164}, {489, 164}}));
    TRemoteLabel label;
    ASSERT_TRUE(RouteIppLine(*d->IPPFBLines[0], {}, label));
    EXPECT_EQ(label.Text, "tank.Valve");
    EXPECT_EQ(std::make_pair(label.TextX, label.TextY), std::make_pair(459, 166));
    TRouteOptions hidden;
    hidden.ShowRemoteConnections = false;
    EXPECT_FALSE(RouteIppLine(*d->IPPFBLines[0], hidden, label));

    // The FB end is in another diagram: the stub hangs off the IPP picture.
    TFB_Diagram* pictures = plant.Diagram("P");
    TslIPP* sensor = pictures->AddIPPPicture(level, 20, 140);
    Join(level, a->Ref->DataInputs[0].get());
    pictures->RebuildLines();
    plant.Paint(pictures);
    ASSERT_EQ(pictures->IPPFBLines.size(), 1u);
    ASSERT_TRUE(RouteIppLine(*pictures->IPPFBLines[0], hidden, label)) << "drawn whatever the flag";
    EXPECT_EQ(PointsOf(*pictures->IPPFBLines[0]), (Points{{51, 152}, {68, 152}, {68, 157}, {101, 157}}));
    EXPECT_EQ(label.Text, "A.DI1");
    EXPECT_EQ(std::make_pair(label.TextX, label.TextY), std::make_pair(61, 159));
    (void)sensor;
}

TEST_F(IppRoutes, IppToIppFromTheSensorsTipToTheActuatorsNotch)
{
    TslIPP* sensor = d->AddIPPPicture(level, 20, 300);
    TslIPP* actuator = d->AddIPPPicture(valve, 300, 400);
    auto r = std::make_unique<TFB_IPPtoIPPAssocRef>();
    r->SourceIPP = level;
    r->DestIPP = valve;
    plant.Manager.AddIPPtoIPPConn(std::move(r));
    d->RebuildLines();
    plant.Paint(d);
    ASSERT_EQ(d->IPPtoIPPLines.size(), 1u);
    const int xs = sensor->Anchor1X, ys = sensor->Anchor1Y, xe = actuator->Anchor1X, ye = actuator->Anchor1Y;
    const int m = xs + RoundHalfEven((xe - xs) / 2.0 - 8);
    EXPECT_EQ(PointsOf(*d->IPPtoIPPLines[0]), (Points{{xs, ys}, {m, ys}, {m, ye}, {xe, ye}}));
}

// ---- Composite networks ----

class CompositeNetwork : public ::testing::Test {
protected:
    void SetUp() override
    {
        plant.AddType("ONE", 1, 1, 1, 1);
        type = plant.AddType("COMP", 2, 1, 1, 1);
        type->Composite = true;
        net = TFB_Diagram::MakeInnerNetwork("net", type, &plant.Manager);
        inner = plant.Place(net.get(), "sw1", "ONE", 200, 100); // EI1 (199, 107), DI1 (199, 159)
    }
    TPlant plant;
    TFB_Type* type = nullptr;
    std::unique_ptr<TFB_Diagram> net;
    TFB_Instance* inner = nullptr;
};

TEST_F(CompositeNetwork, InterfaceRowsAndConnectionsAlongTheFrame)
{
    net->AddCompositeEventConn(type->EventInputs[1].get(), inner->Ref->EventInputs[0].get());
    net->AddCompositeDataConn(type->DataInputs[0].get(), inner->Ref->DataInputs[0].get());
    TDiagramView view;
    QImage img(800, 600, QImage::Format_RGB32);
    ASSERT_TRUE(PaintDiagram(img, net.get(), view));

    // Event input 1 is row 1 (top 20), data input 0 row 2 + 1 = 3 (top 60).
    auto ports = InterfacePorts(*type, 800, 0);
    ASSERT_EQ(ports.size(), 5u);
    EXPECT_EQ(std::make_pair(ports[1].X, ports[1].Y), std::make_pair(45, 31));
    EXPECT_EQ(std::make_pair(ports[2].X, ports[2].Y), std::make_pair(45, 72));
    EXPECT_EQ(std::make_pair(ports[3].X, ports[3].Y), std::make_pair(730, 11)) << "event output 0 on the right";
    EXPECT_EQ(std::make_pair(ports[4].X, ports[4].Y), std::make_pair(730, 52));

    // l is the connection's place in the list: m = 45 + rnd(77 - 8 + 4 l).
    EXPECT_EQ(PointsOf(*net->CompositeConns[0]), (Points{{45, 31}, {114, 31}, {114, 107}, {199, 107}}));
    EXPECT_EQ(PointsOf(*net->CompositeConns[1]), (Points{{45, 72}, {118, 72}, {118, 159}, {199, 159}}));

    EXPECT_EQ(Pixel(img, 44, 37), QColor(27, 148, 123)) << "event port box";
    EXPECT_EQ(Pixel(img, 44, 77), QColor(28, 94, 147)) << "data port box";
    EXPECT_EQ(Pixel(img, 150, 31), QColor(Qt::white)) << "the route turned at 114";
    EXPECT_EQ(Pixel(img, 100, 31), QColor(27, 148, 123));
    // The dotted frame line: every other pixel.
    EXPECT_TRUE(Pixel(img, 50, 300) != QColor(Qt::white) || Pixel(img, 50, 301) != QColor(Qt::white));
    EXPECT_TRUE(Pixel(img, 725, 300) != QColor(Qt::white) || Pixel(img, 725, 301) != QColor(Qt::white));

    // Scrolling moves the rows up.
    EXPECT_EQ(InterfacePortOf(*type, type->EventInputs[1].get(), 800, 15)->Y, 16);
}

TEST_F(CompositeNetwork, WithoutItsTypeOnlyTheBackgroundIsPainted)
{
    net->CompositeType = nullptr;
    QImage img(400, 300, QImage::Format_RGB32);
    img.fill(Qt::red);
    TDiagramView view;
    EXPECT_FALSE(PaintDiagram(img, net.get(), view));
    EXPECT_EQ(Pixel(img, 250, 150), QColor(Qt::white));
}

// ---- Debug highlight ----

TEST_F(Routes, PendingEventsBlinkRedWhileDebugging)
{
    TFB_Instance* a = plant.Place(d, "A", "ONE", 100, 100);
    TFB_Instance* b = plant.Place(d, "B", "ONE", 400, 100);
    plant.ConnectEvent(a, 0, b, 0);
    d->RebuildLines();
    b->Ref->EventInputs[0]->Pending = true;
    TDiagramView view;
    EXPECT_EQ(Pixel(plant.Paint(d, 800, 600, view), 300, 107), QColor(Qt::black)) << "not in debug mode";
    view.DebugMode = true;
    view.Blink = true;
    QImage img = plant.Paint(d, 800, 600, view);
    EXPECT_EQ(Pixel(img, 300, 107), QColor(Qt::red));
    EXPECT_TRUE(Pixel(img, 300, 106) == QColor(Qt::red) || Pixel(img, 300, 108) == QColor(Qt::red))
        << "2 pixels wide";
    view.Blink = false;
    EXPECT_EQ(Pixel(plant.Paint(d, 800, 600, view), 300, 107), QColor(Qt::black));
}

} // namespace
} // namespace telvo::test
