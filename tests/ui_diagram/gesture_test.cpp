// The everyday gestures of the drawing: the wheel scrolls (Shift across),
// Ctrl+wheel zooms about the mouse, Ctrl+0 fits the diagram, Escape drops
// what is pending, new instances never land on another block, refused
// connection targets flash, and every button explains itself.

#include "editor_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <functional>

namespace telvo::test {
namespace {

void Wheel(TfrmDesignFBDiagram& editor, int x, int y, QPoint angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* box = editor.PaintBox();
    const QPointF local(x, y);
    QWheelEvent event(local, box->mapToGlobal(local), QPoint(), angle, Qt::NoButton, modifiers, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(box, &event);
}

QRect BlockOf(const TFB_Instance& inst)
{
    return QRect(inst.X, inst.Y, inst.Width, inst.Height);
}

class Gestures;

// One gesture: what is in the drawing, what the user does, what must hold.
struct Gesture {
    const char* Name;
    std::function<void(Gestures&, TfrmDesignFBDiagram&)> Do;
    std::function<void(Gestures&, TfrmDesignFBDiagram&)> Check;
};

void PrintTo(const Gesture& g, std::ostream* os)
{
    *os << g.Name;
}

class Gestures : public EditorFixture, public ::testing::WithParamInterface<Gesture> {
public:
    using EditorFixture::Click;
    using EditorFixture::Diagram;
    using EditorFixture::Move;
    using EditorFixture::Place;
    using EditorFixture::Press;
    using EditorFixture::Release;
    using EditorFixture::Selected;
    using EditorFixture::Workbench;
    TFB_Instance* A = nullptr;
    TFB_Instance* B = nullptr;

protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        A = Place("A", "T", 160, 80);
        B = Place("B", "T", 400, 80);
    }
};

Gestures& G(Gestures& f)
{
    return f;
}

// Ports of A and B at zoom 0.8 (see connection_test.cpp).
constexpr QPoint A_EI{165, 87}, B_EI{405, 87}, B_EO{505, 87};

const Gesture GestureTable[] = {
    {"WheelDownScrollsDown",
     [](Gestures&, TfrmDesignFBDiagram& e) { Wheel(e, 300, 300, QPoint(0, -120)); },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         EXPECT_EQ(e.VerticalBar()->value(), 3);
         EXPECT_EQ(e.ScrollY(), 30);
         EXPECT_EQ(e.ScrollX(), 0);
         EXPECT_EQ(G(f).A->Y, 50) << "the drawing moved up by the scroll";
     }},
    {"WheelUpAtTheTopStays",
     [](Gestures&, TfrmDesignFBDiagram& e) { Wheel(e, 300, 300, QPoint(0, 120)); },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         EXPECT_EQ(e.VerticalBar()->value(), 0);
         EXPECT_EQ(G(f).A->Y, 80);
     }},
    {"ShiftWheelScrollsAcross",
     [](Gestures&, TfrmDesignFBDiagram& e) { Wheel(e, 300, 300, QPoint(0, -240), Qt::ShiftModifier); },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         EXPECT_EQ(e.HorizontalBar()->value(), 6);
         EXPECT_EQ(e.ScrollX(), 60);
         EXPECT_EQ(e.ScrollY(), 0);
         EXPECT_EQ(G(f).A->X, 100);
     }},
    {"SidewaysWheelScrollsAcross",
     [](Gestures&, TfrmDesignFBDiagram& e) { Wheel(e, 300, 300, QPoint(-120, 0)); },
     [](Gestures&, TfrmDesignFBDiagram& e) { EXPECT_EQ(e.ScrollX(), 30); }},
    {"CtrlWheelZoomsInAboutTheMouse",
     [](Gestures&, TfrmDesignFBDiagram& e) { Wheel(e, 450, 140, QPoint(0, 120), Qt::ControlModifier); },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         EXPECT_NEAR(e.Zoom(), 0.85, 1e-9);
         EXPECT_EQ(e.ZoomCombo()->currentText(), QString("85%"));
         EXPECT_EQ(e.StatusText(), QString("85 %"));
         // The spot of B under the mouse (50 right of B's left edge, 60
         // below its top at 0.8) stays there, to the bars' step of 10.
         const TFB_Instance& b = *f.B;
         EXPECT_LE(std::abs(b.X + 50 * 0.85 / 0.8 - 450), 6) << b.X;
         EXPECT_LE(std::abs(b.Y + 60 * 0.85 / 0.8 - 140), 6) << b.Y;
     }},
    {"CtrlWheelKeepsTheBlockUnderTheMouseStepAfterStep",
     [](Gestures&, TfrmDesignFBDiagram& e) {
         for (int i = 0; i < 6; ++i)
             Wheel(e, 450, 140, QPoint(0, 120), Qt::ControlModifier);
     },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         EXPECT_NEAR(e.Zoom(), 1.1, 1e-9);
         EXPECT_TRUE(HitTest(*f.B, THitRect{450, 140, 450, 140}));
         EXPECT_GT(e.ScrollX(), 0);
     }},
    {"CtrlWheelDownZoomsOutAndStopsAtATenth",
     [](Gestures&, TfrmDesignFBDiagram& e) {
         for (int i = 0; i < 20; ++i)
             Wheel(e, 10, 10, QPoint(0, -120), Qt::ControlModifier);
     },
     [](Gestures&, TfrmDesignFBDiagram& e) {
         EXPECT_NEAR(e.Zoom(), 0.1, 1e-9);
         EXPECT_EQ(e.StatusText(), QString("10 %"));
         EXPECT_EQ(e.HorizontalBar()->value(), 0);
     }},
    {"CtrlZeroFitsEveryBlock",
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         G(f).Place("FAR", "T", 2400, 1600);
         QTest::keyClick(e.PaintBox(), Qt::Key_0, Qt::ControlModifier);
     },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         const QRect view = e.PaintBox()->rect();
         for (auto& inst : f.Diagram->DrawnInstances)
             EXPECT_TRUE(view.contains(BlockOf(*inst))) << inst->Ref->Name << " " << inst->X << "," << inst->Y;
         const double steps = e.Zoom() * 20;
         EXPECT_NEAR(steps, std::round(steps), 1e-9) << "a step of the zoom buttons";
         EXPECT_LT(e.Zoom(), 0.8);
         EXPECT_EQ(e.StatusText(), QString::number(e.Zoom() * 100, 'f', 0) + " %");
     }},
    {"FitButtonGrowsASmallDiagram",
     [](Gestures&, TfrmDesignFBDiagram& e) { e.Button("btnZoomToFit")->click(); },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         EXPECT_GT(e.Zoom(), 0.8);
         EXPECT_LE(e.Zoom(), 2.0);
         for (auto& inst : f.Diagram->DrawnInstances)
             EXPECT_TRUE(e.PaintBox()->rect().contains(BlockOf(*inst))) << inst->Ref->Name;
     }},
    {"EscapeDropsAPendingConnectionThenLeavesConnectMode",
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         e.Button("btnDrawConnection")->click();
         G(f).Click(A_EI.x(), A_EI.y());
         G(f).Move(300, 300);
         ASSERT_NE(e.FirstEventEnd(), nullptr);
         ASSERT_NE(e.RubberLinePoint(), QPoint(-1, -1));
         QTest::keyClick(e.PaintBox(), Qt::Key_Escape);
         EXPECT_EQ(e.FirstEventEnd(), nullptr);
         EXPECT_EQ(e.RubberLinePoint(), QPoint(-1, -1)) << "the rubber line is gone";
         EXPECT_TRUE(e.ConnectMode()) << "the first Escape keeps connect mode";
         QTest::keyClick(e.PaintBox(), Qt::Key_Escape);
     },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         EXPECT_FALSE(e.ConnectMode());
         EXPECT_TRUE(e.Button("SpeedButton13")->isChecked());
         EXPECT_FALSE(e.Button("btnDrawConnection")->isChecked());
         EXPECT_TRUE(f.Workbench->FBManager().EventConns.empty());
     }},
    {"EscapeDropsAPendingDataEnd",
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         e.Button("btnDrawConnection")->click();
         G(f).Click(170, 129);
         ASSERT_NE(e.FirstDataEnd(), nullptr);
         QTest::keyClick(e.PaintBox(), Qt::Key_Escape);
     },
     [](Gestures&, TfrmDesignFBDiagram& e) {
         EXPECT_EQ(e.FirstDataEnd(), nullptr);
         EXPECT_TRUE(e.ConnectMode());
     }},
    {"EscapeDropsARubberBandWithoutSelecting",
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         G(f).Press(100, 40);
         G(f).Move(600, 400);
         ASSERT_TRUE(e.RubberBand());
         QTest::keyClick(e.PaintBox(), Qt::Key_Escape);
         EXPECT_FALSE(e.RubberBand());
         G(f).Release(600, 400);
     },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         EXPECT_TRUE(f.Selected().empty());
         EXPECT_FALSE(e.ConnectMode());
         EXPECT_EQ(G(f).A->X, 160) << "nothing moved";
     }},
    {"EscapeInSelectModeWithNothingPendingChangesNothing",
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         G(f).Click(200, 120);
         QTest::keyClick(e.PaintBox(), Qt::Key_Escape);
     },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         EXPECT_EQ(f.Selected(), std::vector<std::string>{"A"});
         EXPECT_FALSE(e.ConnectMode());
     }},
    {"NewInstancesFromThePaletteNeverCoverABlock",
     [](Gestures&, TfrmDesignFBDiagram& e) {
         for (int i = 0; i < 4; ++i)
             e.AddInstanceOfType("T");
     },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         const auto& drawn = f.Diagram->DrawnInstances;
         ASSERT_EQ(drawn.size(), 6u);
         for (size_t i = 0; i < drawn.size(); ++i)
             for (size_t j = i + 1; j < drawn.size(); ++j)
                 EXPECT_FALSE(BlockOf(*drawn[i]).intersects(BlockOf(*drawn[j])))
                     << drawn[i]->Ref->Name << " and " << drawn[j]->Ref->Name;
         // The first lands in the middle of the view.
         const QRect first = BlockOf(*drawn[2]);
         EXPECT_EQ(first.center().x() / 10, e.PaintBox()->width() / 2 / 10);
         EXPECT_EQ(first.center().y() / 10, e.PaintBox()->height() / 2 / 10);
     }},
    {"ANewInstanceLandsAtTheLastPointClicked",
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         G(f).Click(600, 300);
         e.AddInstanceOfType("T");
     },
     [](Gestures& f, TfrmDesignFBDiagram&) {
         const TFB_Instance& made = *f.Diagram->DrawnInstances.back();
         EXPECT_EQ(std::make_pair(made.X, made.Y), std::make_pair(600, 300));
         EXPECT_EQ(std::make_pair(made.BaseX, made.BaseY), std::make_pair(750, 375)) << "kept at zoom 1";
     }},
    {"ANewInstanceClickedOntoABlockIsShiftedOffIt",
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         G(f).Click(200, 120); // inside A
         e.AddInstanceOfType("T");
     },
     [](Gestures& f, TfrmDesignFBDiagram&) {
         const TFB_Instance& made = *f.Diagram->DrawnInstances.back();
         EXPECT_FALSE(BlockOf(made).intersects(BlockOf(*G(f).A)));
         EXPECT_GT(made.X, 200);
         EXPECT_EQ((made.X - 200) % 16, 0) << "by the grid of 20 at zoom 0.8";
     }},
    {"ARefusedTargetFlashesAndTheHintStays",
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         e.Button("btnDrawConnection")->click();
         G(f).Click(A_EI.x(), A_EI.y());
         G(f).Click(B_EI.x(), B_EI.y());
         EXPECT_TRUE(e.Flashing());
         EXPECT_TRUE(e.FlashRect().contains(G(f).B->EventInputPorts[0]->X, G(f).B->EventInputPorts[0]->Y));
         // The flash is drawn in the warning colour around the port.
         const QRect r = e.FlashRect();
         EXPECT_EQ(e.Image().pixel(r.left(), r.center().y()) & 0xFFFFFF, DiagramColour::Warning);
     },
     [](Gestures& f, TfrmDesignFBDiagram& e) {
         EXPECT_EQ(e.StatusText(), QString("Please connect an Event Output"));
         EXPECT_TRUE(QTest::qWaitFor([&] { return !e.Flashing(); }, 2000)) << "the flash is brief";
         EXPECT_NE(e.FirstEventEnd(), nullptr) << "the pending end is kept";
         G(f).Click(B_EO.x(), B_EO.y());
         EXPECT_EQ(f.Workbench->FBManager().EventConns.size(), 1u);
         EXPECT_FALSE(e.Flashing()) << "an accepted target does not flash";
     }},
};

TEST_P(Gestures, DoThenCheck)
{
    GetParam().Do(*this, *Editor);
    GetParam().Check(*this, *Editor);
}

INSTANTIATE_TEST_SUITE_P(Editor, Gestures, ::testing::ValuesIn(GestureTable),
                         [](const auto& info) { return std::string(info.param.Name); });

class Explaining : public EditorFixture {};

TEST_F(Explaining, EveryButtonAndTheZoomBoxHaveATip)
{
    for (QToolButton* b : Editor->findChildren<QToolButton*>())
        EXPECT_FALSE(b->toolTip().isEmpty()) << b->objectName().toStdString();
    EXPECT_FALSE(Editor->ZoomCombo()->toolTip().isEmpty());
    // A palette button names its purpose and its type.
    QToolButton* split = Editor->findChild<QToolButton*>("btnPalette_E_SPLIT");
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(split->toolTip(), QString("Event Splitter\nE_SPLIT"));
    // Once asked for, the tip adds the type's own comment (T is loaded).
    TFB_Type* t = Workbench->FBManager().FindType("T");
    t->Comment = "A test block";
    split->setProperty("telvoType", "T");
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), split->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(split, &tip);
    EXPECT_EQ(split->toolTip(), QString("Event Splitter\nE_SPLIT: A test block"));
}

} // namespace
} // namespace telvo::test
