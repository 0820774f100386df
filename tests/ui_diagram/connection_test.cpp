// Connect mode: the event, data and IPP rules with their hints, the pending
// end kept after a refused click, the rubber line, the connections made, and
// the interface ports of a composite type's network.

#include "editor_fixture.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>

namespace telvo::test {
namespace {

// Two blocks of type T at zoom 0.8: A at (160, 80), B at (400, 80). Click
// points inside the blocks on their ports:
struct Spot {
    int X, Y;
};
constexpr Spot A_EI{165, 87}, A_EO{265, 87}, A_DI{170, 129}, A_DO{265, 129};
constexpr Spot B_EI{405, 87}, B_EO{505, 87}, B_DI{410, 129}, B_DO{505, 129};

class Connecting : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        a = Place("A", "T", 160, 80);
        b = Place("B", "T", 400, 80);
        Editor->Button("btnDrawConnection")->click();
    }
    void ClickAt(Spot s) { Click(s.X, s.Y); }
    TFB_Instance* a = nullptr;
    TFB_Instance* b = nullptr;
};

TEST_F(Connecting, TheSameConnectionIsNotMadeTwice)
{
    // A network file holds a connection once: a second record would be
    // lost on the next save and open.
    for (int i = 0; i < 2; ++i) {
        ClickAt(A_EO);
        ClickAt(B_EI);
        ClickAt(A_DO);
        ClickAt(B_DI);
    }
    EXPECT_EQ(Workbench->FBManager().EventConns.size(), 1u);
    EXPECT_EQ(Workbench->FBManager().DataConns.size(), 1u);
    EXPECT_EQ(LastHint(), "This Data Connection exists already.");
    EXPECT_EQ(Editor->UndoStack()->count(), 2);
    EXPECT_EQ(Editor->FirstEventEnd(), nullptr) << "the pending end is dropped";
}

TEST_F(Connecting, InputToInputIsRefusedAndThePendingInputWaitsForAnOutput)
{
    EXPECT_TRUE(Editor->ConnectMode());
    EXPECT_EQ(LastHint(), "You can start by making connections between Event and Data, inputs and outputs.");
    EXPECT_EQ(Editor->StatusText(), QString("80 %")) << "that hint is only sent";

    ClickAt(A_EI);
    EXPECT_EQ(LastHint(), "Source Event Input: EI1. Please connect to an Event Output");
    EXPECT_EQ(LastGesture(), 3);
    EXPECT_EQ(Editor->StatusText(), QString("Source Event Input: EI1. Please connect to an Event Output"));
    ASSERT_NE(Editor->FirstEventEnd(), nullptr);
    EXPECT_EQ(Editor->FirstEventEnd()->Event, a->Ref->EventInputs[0].get());

    ClickAt(B_EI);
    EXPECT_EQ(LastHint(), "Please connect an Event Output");
    EXPECT_EQ(LastGesture(), 7);
    EXPECT_EQ(Editor->FirstEventEnd()->Event, a->Ref->EventInputs[0].get()) << "the pending input is kept";
    EXPECT_TRUE(Workbench->FBManager().EventConns.empty());

    ClickAt(B_EO);
    EXPECT_EQ(LastHint(), "Target Event Output: EO1.");
    EXPECT_EQ(LastGesture(), 1);
    ASSERT_EQ(Workbench->FBManager().EventConns.size(), 1u);
    const TFB_EventAssocRef& r = *Workbench->FBManager().EventConns[0];
    EXPECT_EQ(r.DestPort, a->Ref->EventInputs[0].get());
    EXPECT_EQ(r.SourcePort, b->Ref->EventOutputs[0].get());
    EXPECT_EQ(r.DestInstance, a->Ref);
    EXPECT_EQ(r.SourceInstance, b->Ref);
    EXPECT_EQ(UI.LogLines().back(), "New Event Connection created");
    ASSERT_EQ(Diagram->EventLines.size(), 1u);
    EXPECT_EQ(Diagram->EventLines[0]->Points.size(), 8u) << "B's output left of A's input: routed backward";
    EXPECT_EQ(Editor->FirstEventEnd(), nullptr);
    EXPECT_TRUE(Editor->ConnectMode()) << "the editor stays in connect mode";
}

struct RuleCase {
    const char* Label;
    std::vector<Spot> Clicks;
    std::string Hint;
    int Gesture;
    size_t EventConns, DataConns;
};

class ConnectionRules : public Connecting, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(ConnectionRules, HintsAndConnections)
{
    const RuleCase& c = GetParam();
    for (Spot s : c.Clicks)
        ClickAt(s);
    EXPECT_EQ(LastHint(), c.Hint);
    EXPECT_EQ(LastGesture(), c.Gesture);
    EXPECT_EQ(Workbench->FBManager().EventConns.size(), c.EventConns);
    EXPECT_EQ(Workbench->FBManager().DataConns.size(), c.DataConns);
}

INSTANTIATE_TEST_SUITE_P(
    Editor, ConnectionRules,
    ::testing::Values(
        RuleCase{"event_output_first", {A_EO}, "Source Event Output: EO1. Please connect to an Event Input", 7, 0, 0},
        RuleCase{"output_to_output", {A_EO, B_EO}, "Please connect an Event Input", 3, 0, 0},
        RuleCase{"output_to_input", {A_EO, B_EI}, "Source Event Input: EI1.", 2, 1, 0},
        // A port may join two ports of one instance.
        RuleCase{"own_output_to_own_input", {A_EO, A_EI}, "Source Event Input: EI1.", 2, 1, 0},
        RuleCase{"data_input_first", {A_DI}, "Source Data Input: DI1. Please connect to a Data Output", 7, 0, 0},
        RuleCase{"data_output_first", {A_DO}, "Source Data Output: DO1. Please connect to a Data Input", 3, 0, 0},
        RuleCase{"data_input_to_input", {A_DI, B_DI}, "Please connect a Data Output", 7, 0, 0},
        RuleCase{"data_output_to_output", {A_DO, B_DO}, "Please connect a Data Input", 5, 0, 0},
        RuleCase{"data_input_to_output", {A_DI, B_DO}, "Target Data Output: DO1.", 1, 0, 1},
        RuleCase{"data_output_to_input", {A_DO, B_DI}, "Source Data Input: DI1.", 2, 0, 1},
        // An event end and a data end wait side by side.
        RuleCase{"event_then_data", {A_EO, B_DI}, "Source Data Input: DI1. Please connect to a Data Output", 7, 0,
                 0}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST_F(Connecting, AClickOnNothingDropsThePendingEnd)
{
    ClickAt(A_EO);
    ASSERT_NE(Editor->FirstEventEnd(), nullptr);
    Click(700, 500);
    EXPECT_EQ(Editor->FirstEventEnd(), nullptr);
    ClickAt(B_EI);
    EXPECT_TRUE(Workbench->FBManager().EventConns.empty());
    // Select mode drops it too.
    Editor->Button("SpeedButton13")->click();
    EXPECT_FALSE(Editor->ConnectMode());
    EXPECT_EQ(Editor->FirstEventEnd(), nullptr);
}

TEST_F(Connecting, TheRubberLineRunsFromThePendingPortToTheMouse)
{
    ClickAt(A_EO);
    Move(350, 300);
    EXPECT_EQ(Editor->RubberLineAnchor(), QPoint(272, 87));
    EXPECT_EQ(Editor->RubberLinePoint(), QPoint(350, 300));
    // Drawn over the diagram's image, not into it.
    const QImage shown = Editor->PaintBox()->grab().toImage();
    const QImage diagram = Editor->Image();
    auto black = [](const QImage& img, int x, int y) { return QColor(img.pixel(x, y)) == QColor(Qt::black); };
    // Halfway along the line: x 311, y 193 or a neighbour of the dotted line.
    bool onLine = false;
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -2; dy <= 2; ++dy)
            onLine |= black(shown, 311 + dx, 193 + dy);
    EXPECT_TRUE(onLine);
    EXPECT_FALSE(black(diagram, 311, 193));
    ClickAt(B_EI);
    EXPECT_EQ(Editor->RubberLinePoint(), QPoint(-1, -1));
}

TEST_F(Connecting, IppRulesJoinSensorsToInputsAndActuatorsToOutputs)
{
    TslIPP* level = Editor->AddIppPicture(Ipp("Level", false, false), 20, 300);
    TslIPP* start = Editor->AddIppPicture(Ipp("Start", false, true), 20, 360);
    TslIPP* valve = Editor->AddIppPicture(Ipp("Valve", true, false), 600, 300);
    TslIPP* pump = Editor->AddIppPicture(Ipp("Pump", true, false), 600, 360);
    Editor->PaintDiagram();
    auto clickIpp = [&](TslIPP* p) { Click(p->X + 3, p->Y + 5); };

    clickIpp(level);
    EXPECT_EQ(Editor->FirstIpp(), level);
    ClickAt(A_EI);
    EXPECT_EQ(LastHint(), "Please connect to a Function Block Event Input or Event Input IPP");
    ClickAt(A_DI);
    ASSERT_EQ(Workbench->FBManager().IPPFBConns.size(), 1u);
    EXPECT_EQ(Workbench->FBManager().IPPFBConns[0]->DataPort, a->Ref->DataInputs[0].get());
    EXPECT_EQ(UI.LogLines().back(), "New IPP to FB Connection created");

    // From the FB side: an event output wants an actuator event IPP.
    ClickAt(B_EO);
    clickIpp(start);
    EXPECT_EQ(LastHint(), "Source Event Output: EO1. Please connect to an Actuator IPP");
    EXPECT_EQ(LastGesture(), 7);
    Click(700, 600);
    ClickAt(B_DO);
    clickIpp(valve);
    EXPECT_EQ(Workbench->FBManager().IPPFBConns.size(), 2u);

    // Sensor to actuator.
    clickIpp(valve);
    clickIpp(pump);
    EXPECT_EQ(LastHint(), "Please connect to a Sensor IPP");
    clickIpp(level);
    ASSERT_EQ(Workbench->FBManager().IPPtoIPPConns.size(), 1u);
    EXPECT_EQ(Workbench->FBManager().IPPtoIPPConns[0]->SourceIPP, level->Ipp) << "the sensor first";
    EXPECT_EQ(UI.LogLines().back(), "New IPP to IPP Connection created");
    EXPECT_EQ(Diagram->IPPtoIPPLines.size(), 1u);
}

TEST_F(Connecting, InADeviceDiagramTheIppRulesTurnAround)
{
    // The device's own view: its actuators drive the application's inputs,
    // its sensors take the outputs. The pictures stand along the frame.
    Diagram->IsInternalDeviceDiagram = true;
    TslIPP* valve = Editor->AddIppPicture(Ipp("Valve", true, false), 0, 0);
    TslIPP* temp = Editor->AddIppPicture(Ipp("Temp", false, false), 0, 0);
    Editor->PaintDiagram();
    const int width = Editor->PaintBox()->width();
    EXPECT_EQ(std::make_pair(valve->X, valve->Y), std::make_pair(5, 20));
    EXPECT_EQ(std::make_pair(temp->X, temp->Y), std::make_pair(width - 118, 20));

    Click(valve->X + 3, valve->Y + 5);
    ClickAt(A_DO);
    EXPECT_EQ(LastHint(), "Please connect to a Function Block Data Output or Data Output IPP");
    ClickAt(A_DI);
    ASSERT_EQ(Workbench->FBManager().IPPFBConns.size(), 1u);
    EXPECT_EQ(Workbench->FBManager().IPPFBConns[0]->DataPort, a->Ref->DataInputs[0].get());
    // The line leaves from the actuator's right side.
    ASSERT_EQ(Diagram->IPPFBLines.size(), 1u);
    Editor->PaintDiagram();
    EXPECT_EQ(Diagram->IPPFBLines[0]->Points.back()->X, static_cast<float>(valve->Anchor2X));

    Click(temp->X + 3, temp->Y + 5);
    ClickAt(B_DO);
    EXPECT_EQ(Workbench->FBManager().IPPFBConns.size(), 2u);

    // Zooming leaves the device's pictures at scale 1 along the frame.
    Editor->SetZoom(0.5);
    EXPECT_EQ(valve->Scale, 0.8) << "not rescaled";
    Editor->PaintDiagram();
    EXPECT_EQ(std::make_pair(valve->X, valve->Y), std::make_pair(5, 20));
}

// ---- Composite networks ----

class CompositeEditing : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        TFB_Manager& m = Workbench->FBManager();
        auto inner = std::make_unique<TFB_Type>();
        inner->Name = "SW";
        inner->AddEventInput("EI", "EVENT", "start it");
        inner->AddEventOutput("EO", "EVENT", "");
        inner->AddDataInput("X", "REAL", "setpoint", "", "");
        m.Types.push_back(std::move(inner));
        auto comp = std::make_unique<TFB_Type>();
        comp->Name = "COMP";
        comp->Composite = true;
        comp->Network = TFB_Diagram::MakeInnerNetwork("COMP", comp.get(), &m);
        m.Types.push_back(std::move(comp));
        type = m.Types.back().get();
        Editor = std::make_unique<TfrmDesignFBDiagram>(*Workbench, nullptr);
        Editor->resize(1000, 700);
        Editor->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Editor.get()));
        Editor->SetCompositeNetwork(true);
        Diagram = type->Network.get();
        Editor->AttachDiagram(Diagram);
        Editor->OnNewInterfaceEventInput = [this](TFBEventType* e) { notified.push_back("EI " + e->Name); };
        Editor->OnNewInterfaceEventOutput = [this](TFBEventType* e) { notified.push_back("EO " + e->Name); };
        Editor->OnNewInterfaceDataInput = [this](TFBDataMemberType* d) { notified.push_back("DI " + d->Name); };
        sw1 = Place("sw1", "SW", 160, 80);
        Editor->Button("btnDrawConnection")->click();
    }
    TFB_Type* type = nullptr;
    TFB_Instance* sw1 = nullptr;
    std::vector<std::string> notified;
};

TEST_F(CompositeEditing, AnInputClickedThenTheLeftMarginBecomesANewInterfaceInput)
{
    EXPECT_FALSE(Editor->Button("btnInsertIPP")->isVisible());
    Click(165, 87); // sw1.EI
    Click(20, 400); // the empty left margin
    ASSERT_EQ(type->EventInputs.size(), 1u);
    EXPECT_EQ(type->EventInputs[0]->Name, "sw1_EI");
    EXPECT_EQ(type->EventInputs[0]->Comment, "start it");
    ASSERT_EQ(Diagram->CompositeConns.size(), 1u);
    EXPECT_EQ(Diagram->CompositeConns[0]->InterfaceEvent, type->EventInputs[0].get());
    EXPECT_EQ(Diagram->CompositeConns[0]->InnerEvent, sw1->Ref->EventInputs[0].get());
    EXPECT_EQ(sw1->Ref->EventInputs[0]->InterfaceLink, type->EventInputs[0].get());
    EXPECT_EQ(notified, std::vector<std::string>{"EI sw1_EI"});
    EXPECT_EQ(Editor->FirstEventEnd(), nullptr);

    // A data input goes below the events, after a gap row.
    Click(170, 129); // sw1.X
    Click(20, 400);
    ASSERT_EQ(type->DataInputs.size(), 1u);
    EXPECT_EQ(type->DataInputs[0]->Name, "sw1_X");
    EXPECT_EQ(type->DataInputs[0]->Type, "REAL");
    EXPECT_EQ(Diagram->CompositeConns.size(), 2u);
    EXPECT_EQ(notified.back(), "DI sw1_X");

    // An output on the right margin.
    const int right = Editor->PaintBox()->width() - 30;
    Click(265, 87); // sw1.EO
    Click(right, 400);
    ASSERT_EQ(type->EventOutputs.size(), 1u);
    EXPECT_EQ(type->EventOutputs[0]->Name, "sw1_EO");
    EXPECT_EQ(notified.back(), "EO sw1_EO");
}

TEST_F(CompositeEditing, AnExistingInterfaceRowJoinsTheNextInnerPort)
{
    type->AddEventInput("REQ", "EVENT", "");
    Editor->PaintDiagram();
    Click(20, 11); // row 0 on the left: REQ
    EXPECT_EQ(Editor->PendingInterfaceEvent(), type->EventInputs[0].get());
    Click(165, 87);
    ASSERT_EQ(Diagram->CompositeConns.size(), 1u);
    EXPECT_EQ(Diagram->CompositeConns[0]->InterfaceEvent, type->EventInputs[0].get());

    // An input clicked, then the right margin: no interface output for it.
    Click(165, 87);
    Click(Editor->PaintBox()->width() - 30, 400);
    EXPECT_EQ(LastHint(), "Source Interface Event Input: EI. Please connect to an Event Input export interface");
    EXPECT_EQ(LastGesture(), -1);
    EXPECT_TRUE(type->EventOutputs.empty());
}

} // namespace
} // namespace telvo::test

namespace telvo::test {
namespace {

// A BOOL output to a REAL input is made as any data connection, drawn in the
// warning colour with a tool tip naming both types; BOOL to BOOL is plain.
class TypeWarning : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        auto source = MakeType("BSRC", 1, 1, 1, 1);
        source->DataOutputs[0]->Type = "BOOL";
        auto dest = MakeType("RDST", 1, 1, 2, 1);
        dest->DataInputs[0]->Type = "REAL";
        dest->DataInputs[1]->Type = "BOOL";
        Workbench->FBManager().Types.push_back(std::move(source));
        Workbench->FBManager().Types.push_back(std::move(dest));
        s = Place("S", "BSRC", 160, 80);
        d = Place("D", "RDST", 400, 80);
        Editor->Button("btnDrawConnection")->click();
    }
    // A point on the last leg of the line, into the input (the first legs
    // from the one output are shared).
    QPoint onLine(const TFBDataMember* input) const
    {
        for (auto& line : Diagram->DataLines)
            if (line->Ref->DestPort == input) {
                const size_t n = line->Points.size();
                const TLinePoint& p = *line->Points[n - 2];
                const TLinePoint& q = *line->Points[n - 1];
                return QPoint(RoundHalfEven((p.X + q.X) / 2), RoundHalfEven((p.Y + q.Y) / 2));
            }
        return {};
    }
    TFB_Instance* s = nullptr;
    TFB_Instance* d = nullptr;
};

TEST_F(TypeWarning, MismatchedClassesAreDrawnInTheWarningColourWithBothTypesInTheTip)
{
    const TFBDataMemberDraw& out = *s->DataOutputPorts[0];
    for (size_t i = 0; i < 2; ++i) {
        Click(out.X - 3, out.Y);
        const TFBDataMemberDraw& in = *d->DataInputPorts[i];
        Click(in.X + 3, in.Y);
    }
    ASSERT_EQ(Workbench->FBManager().DataConns.size(), 2u) << "both are made";
    Editor->PaintDiagram();
    const QPoint real = onLine(d->Ref->DataInputs[0].get());
    const QPoint boolean = onLine(d->Ref->DataInputs[1].get());
    ASSERT_FALSE(real.isNull());
    ASSERT_FALSE(boolean.isNull());
    EXPECT_EQ(Editor->Image().pixel(real) & 0xFFFFFF, DiagramColour::Warning);
    EXPECT_EQ(Editor->Image().pixel(boolean) & 0xFFFFFF, DiagramColour::DataLine);
    EXPECT_EQ(Editor->ToolTipAt(real.x(), real.y()), QString("Data types differ: S.DO1 is BOOL, D.DI1 is REAL"));
    EXPECT_EQ(Editor->ToolTipAt(boolean.x(), boolean.y()), QString());
    EXPECT_EQ(Editor->ToolTipAt(5, 5), QString());

    // scripts/screenshot-type-warning: the screen with the tip shown, as the
    // tool-tip event of the drawing shows it.
    if (const QByteArray file = qgetenv("TELVO_TYPE_WARNING_SCREENSHOT"); !file.isEmpty()) {
        Editor->Button("SpeedButton13")->click();
        Editor->move(0, 0);
        const QPoint global = Editor->PaintBox()->mapToGlobal(real);
        QHelpEvent tip(QEvent::ToolTip, real, global);
        QApplication::sendEvent(Editor->PaintBox(), &tip);
        QTest::qWait(800);
        QScreen* screen = QGuiApplication::primaryScreen();
        ASSERT_TRUE(screen->grabWindow(0, 0, 0, 1000, 720).save(QString::fromLocal8Bit(file)));
    }
}

} // namespace
} // namespace telvo::test
