// Notes, IPP pictures, the device frame and the print caption.

#include "render_fixture.h"

#include <gtest/gtest.h>

namespace telvo::test {
namespace {

struct NoteCase {
    const char* Label;
    std::string Text;
    double Zoom;
    int Right, Bottom;
};

class NoteExtent : public ::testing::TestWithParam<NoteCase> {};

TEST_P(NoteExtent, RightAndBottomFromTextAndFont)
{
    const NoteCase& c = GetParam();
    TPlant plant;
    TFB_Diagram* d = plant.Diagram();
    d->Zoom = c.Zoom;
    TFBDnote* note = d->AddNote();
    note->Scale = c.Zoom;
    note->Text = c.Text;
    note->X = 10;
    note->Y = 10;
    plant.Paint(d);
    EXPECT_EQ(note->Right, c.Right);
    EXPECT_EQ(note->Bottom, c.Bottom);
}

INSTANTIATE_TEST_SUITE_P(
    Notes, NoteExtent,
    ::testing::Values(
        // 120 characters: rows 120 div 50 + 1 = 3; the width is capped at 50
        // characters. At zoom 1 the font is 7 points.
        NoteCase{"long_text_at_1", std::string(120, 'x'), 1.0, 290, 70},
        // At 0.8 the font is rnd(5.6) = 6 points: 50 x 6 x 0.8 x 0.8 + 10.
        NoteCase{"long_text_at_0_8", std::string(120, 'x'), 0.8, 202, 58},
        NoteCase{"new_note", "Write your note here...", 1.0, 139, 30},
        // Line breaks count (CR LF or LF alone) when they outnumber the
        // 50-character rows.
        NoteCase{"three_lines_crlf", "one\r\ntwo\r\nthree", 1.0, 94, 70},
        NoteCase{"three_lines_lf", "one\ntwo\nthree", 1.0, 83, 70}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST(Notes, OutlineDogEarFillAndHitBox)
{
    TPlant plant;
    TFB_Diagram* d = plant.Diagram();
    TFBDnote* note = d->AddNote(); // (10, 10) to (139, 30) at zoom 1
    QImage img = plant.Paint(d);
    EXPECT_EQ(Pixel(img, 10, 10), QColor(Qt::black));
    EXPECT_EQ(Pixel(img, 10, 30), QColor(Qt::black));
    EXPECT_EQ(Pixel(img, 139, 25), QColor(Qt::black));
    EXPECT_EQ(Pixel(img, 129, 15), QColor(Qt::black)) << "the dog-ear's fold";
    EXPECT_EQ(Pixel(img, 138, 11), QColor(Qt::white)) << "the cut corner";
    EXPECT_EQ(Pixel(img, 120, 27), QColor(0xFF, 0xFF, 0xE1));
    EXPECT_TRUE(HitTest(*note, THitRect::Point(139, 30)));
    EXPECT_FALSE(HitTest(*note, THitRect::Point(140, 30)));
    EXPECT_TRUE(HitTest(*note, {0, 0, 140, 31}));
    EXPECT_FALSE(HitTest(*note, {0, 0, 139, 31}));
}

TEST(Notes, DragScrollAndZoom)
{
    TFBDnote note(0.8);
    EXPECT_EQ(note.BaseX, 12); // rnd(12.5) goes to the even 12
    note.Selected = true;
    BeginDrag(note, 15, 15);
    DragTo(note, 105, 55);
    EXPECT_EQ(note.X, 100);
    EXPECT_EQ(note.BaseX, 125);
    EXPECT_EQ(note.BaseY, 62); // rnd(62.5)
    MoveBy(note, 20, 0);
    EXPECT_EQ(note.X, 80);
    SetScale(note, 1.0);
    EXPECT_EQ(note.X, 100);
    EXPECT_EQ(note.Y, 62);
}

// ---- IPP pictures ----

class IppPictures : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto* ipt = static_cast<TslIPT*>(plant.Layer.AddObject("boiler1", slIPT, 8));
        temp = ipt->AddIpp("Temp", "REAL", TslIPPRef::Sensor);
        heater = ipt->AddIpp("Heater", "BOOL", TslIPPRef::Actuator);
        heater->IsEventIPP = true;
        d = plant.Diagram();
    }
    TPlant plant;
    TslIPPRef* temp = nullptr;
    TslIPPRef* heater = nullptr;
    TFB_Diagram* d = nullptr;
};

TEST_F(IppPictures, HitBoxIsTheLabelWidthWhateverTheZoom)
{
    for (double zoom : {0.5, 1.0, 2.0}) {
        d->Zoom = zoom;
        TslIPP* pic = d->AddIPPPicture(heater, 100, 100);
        pic->Scale = zoom;
        plant.Paint(d);
        // The owner "boiler1" is longer than "Heater": 7 characters.
        EXPECT_EQ(pic->LabelWidth, 35) << zoom;
        EXPECT_TRUE(HitTest(*pic, THitRect::Point(135, 124))) << zoom;
        EXPECT_FALSE(HitTest(*pic, THitRect::Point(136, 124))) << zoom;
        EXPECT_FALSE(HitTest(*pic, THitRect::Point(135, 125))) << zoom;
        EXPECT_TRUE(HitTest(*pic, {90, 90, 136, 125})) << zoom;
        EXPECT_FALSE(HitTest(*pic, {90, 90, 135, 125})) << zoom;
        d->DeleteIPPPicture(pic, false);
    }
}

TEST_F(IppPictures, ActuatorIsDrawnTwentyPixelsWiderThanItsHitBox)
{
    TslIPP* pic = d->AddIPPPicture(heater, 100, 100);
    QImage img = plant.Paint(d);
    // Outline to x + 55; the event fill inside; the notch at (105, 112).
    EXPECT_EQ(Pixel(img, 154, 100), QColor(0, 128, 0));
    EXPECT_EQ(Pixel(img, 150, 120), QColor(0xFF, 0x96, 0x64));
    EXPECT_FALSE(HitTest(*pic, THitRect::Point(150, 120)));
    EXPECT_EQ(std::make_pair(pic->Anchor1X, pic->Anchor1Y), std::make_pair(105, 112));
    EXPECT_EQ(std::make_pair(pic->Anchor2X, pic->Anchor2Y), std::make_pair(155, 112));
}

TEST_F(IppPictures, SensorArrowScalesItsOutlineButNotItsLabelWidth)
{
    d->Zoom = 2.0;
    TslIPP* pic = d->AddIPPPicture(temp, 10, 10);
    pic->Scale = 2.0;
    QImage img = plant.Paint(d);
    // Tip at x + (35 + 6) x 2, y + 12 x 2; the back at x, y + 24.
    EXPECT_EQ(std::make_pair(pic->Anchor1X, pic->Anchor1Y), std::make_pair(92, 34));
    EXPECT_EQ(std::make_pair(pic->Anchor2X, pic->Anchor2Y), std::make_pair(10, 34));
    EXPECT_EQ(Pixel(img, 80, 50), QColor(0xCA, 0xCA, 0xFF)) << "data fill";
    EXPECT_EQ(pic->LabelWidth, 35);
}

TEST_F(IppPictures, DeviceFrameLaysThePicturesAlongItsSides)
{
    d->IsInternalDeviceDiagram = true;
    TslIPP* s = d->AddIPPPicture(temp, 0, 0);
    TslIPP* a1 = d->AddIPPPicture(heater, 0, 0);
    TslIPP* a2 = d->AddIPPPicture(heater, 0, 0);
    TDiagramView view;
    view.ScrollY = 10;
    QImage img = plant.Paint(d, 800, 600, view);
    EXPECT_EQ(std::make_pair(s->X, s->Y), std::make_pair(682, 10));
    EXPECT_EQ(std::make_pair(a1->X, a1->Y), std::make_pair(5, 10));
    EXPECT_EQ(std::make_pair(a2->X, a2->Y), std::make_pair(5, 50));
    EXPECT_EQ(Pixel(img, 50, 300), QColor(227, 227, 227));
    EXPECT_EQ(Pixel(img, 400, 300), QColor(Qt::white));
    EXPECT_EQ(Pixel(img, 0, 0), QColor(Qt::black));
}

// ---- Print caption ----

TEST(PrintCaption, DrawnOnceAtTheBottomLeft)
{
    TPlant plant;
    TFB_Diagram* d = plant.Diagram("Line A");
    TDiagramView view;
    view.PrintMode = true;
    view.CaptionTime = QDateTime(QDate(2026, 3, 1), QTime(8, 30));
    QImage img(1960, 1470, QImage::Format_RGB32);
    ASSERT_TRUE(PaintDiagram(img, d, view));
    EXPECT_FALSE(view.PrintMode) << "print mode is switched off by the paint";
    EXPECT_TRUE(PrintCaption(*d, view.CaptionTime).endsWith("] TELVO ESS, FB diagram: Line A"));
    EXPECT_TRUE(PrintCaption(*d, view.CaptionTime).startsWith("["));
    int inked = 0;
    for (int y = 1450; y < 1470; ++y)
        for (int x = 20; x < 400; ++x)
            inked += Pixel(img, x, y) == QColor(Qt::white) ? 0 : 1;
    EXPECT_GT(inked, 100);
    // The next paint has no caption.
    PaintDiagram(img, d, view);
    for (int y = 1440; y < 1470; ++y)
        for (int x = 20; x < 400; ++x)
            ASSERT_EQ(Pixel(img, x, y), QColor(Qt::white));
}

} // namespace
} // namespace telvo::test
