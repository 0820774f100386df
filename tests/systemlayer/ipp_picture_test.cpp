#include "systemlayer/sl_ipp_picture.h"
#include "systemlayer/system_layer.h"

#include <gtest/gtest.h>

using namespace telvo;

TEST(IppPicture, PositionAtZoomOneIsRoundedHalfToEven)
{
    TslIPPRef ipp;
    struct Case {
        double Scale;
        int32_t X, BaseX;
    };
    const Case cases[] = {
        {1.0, 17, 17}, {0.8, 10, 12} /* 12.5 */, {0.8, 14, 18} /* 17.5 */, {2.0, 5, 2} /* 2.5 */,
        {2.0, 7, 4} /* 3.5 */, {1.5, -3, -2}, {0.0, 9, 9} /* no zoom: kept */, {-1.0, 9, 9},
    };
    for (const Case& c : cases) {
        TslIPP picture(&ipp, c.Scale);
        EXPECT_EQ(picture.Ipp, &ipp);
        picture.SetX(c.X);
        picture.SetY(c.X);
        EXPECT_EQ(picture.X, c.X);
        EXPECT_EQ(picture.BaseX, c.BaseX) << c.Scale << " " << c.X;
        EXPECT_EQ(picture.BaseY, c.BaseX) << c.Scale << " " << c.X;
    }
}

TEST(IppPicture, ZoomingOutAndBackReturnsToTheSamePlace)
{
    TslIPP picture(nullptr, 1.0);
    picture.SetX(101);
    picture.SetY(47);
    picture.SetScale(0.8);
    EXPECT_EQ(picture.X, 81); // 80.8
    EXPECT_EQ(picture.Y, 38); // 37.6
    EXPECT_EQ(picture.Scale, 0.8);
    picture.SetScale(1.5);
    EXPECT_EQ(picture.X, 152); // 151.5, to even
    EXPECT_EQ(picture.Y, 70);  // 70.5, to even
    picture.SetScale(1.0);
    EXPECT_EQ(picture.X, 101);
    EXPECT_EQ(picture.Y, 47);
}

TEST(IppPicture, DragMovesOnlyASelectedPicture)
{
    TslIPP picture(nullptr, 2.0);
    picture.SetX(40);
    picture.SetY(60);
    picture.BeginDrag(45, 70);
    picture.DragTo(100, 100);
    EXPECT_EQ(picture.X, 40);
    picture.Selected = true;
    picture.BeginDrag(45, 70);
    EXPECT_EQ(picture.DragOffsetX, 5);
    EXPECT_EQ(picture.DragOffsetY, 10);
    picture.DragTo(101, 100);
    EXPECT_EQ(picture.X, 96);
    EXPECT_EQ(picture.Y, 90);
    EXPECT_EQ(picture.BaseX, 48);
    EXPECT_EQ(picture.BaseY, 45);
}

TEST(IppPicture, MoveByFollowsTheChangeOfTheScrollOffsets)
{
    TslIPP picture(nullptr, 1.0);
    picture.SetX(100);
    picture.SetY(100);
    picture.MoveBy(0, 0); // the offsets the editor starts with
    EXPECT_EQ(picture.X, 100);
    picture.MoveBy(30, -10); // scrolled: the picture moves the other way
    EXPECT_EQ(picture.X, 70);
    EXPECT_EQ(picture.Y, 110);
    EXPECT_EQ(picture.LastMouseX, 30);
    EXPECT_EQ(picture.BaseY, 110);
    picture.MoveBy(30, -10);
    EXPECT_EQ(picture.X, 70);
    EXPECT_EQ(picture.Y, 110);
}
