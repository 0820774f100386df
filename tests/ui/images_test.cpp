// The workbench's own pictures: every image of the main image list and every
// tool-bar icon draws something at the sizes the tree, the menus and the
// tool bar ask for, and the splash and about box carry the version.

#include "ui/image_list.h"
#include "ui/mainwindow/splash_form.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <gtest/gtest.h>

using namespace telvo;

namespace {
// The share of pixels that are not transparent.
double inkOf(const QIcon& icon, int size)
{
    const QImage image = icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return 0;
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                ++ink;
    return double(ink) / (image.width() * image.height());
}
} // namespace

TEST(Images, EveryMainImageDrawsAtEverySize)
{
    for (int index = 0; index < MainImageCount; ++index)
        for (int size : {16, 24, 64}) {
            const double ink = inkOf(MainImage(index), size);
            EXPECT_GT(ink, 0.05) << "image " << index << " at " << size;
            EXPECT_LT(ink, 0.95) << "image " << index << " at " << size << " is a blot";
        }
    EXPECT_TRUE(MainImage(-1).isNull());
    EXPECT_TRUE(MainImage(MainImageCount).isNull());
}

TEST(Images, EveryToolIconDraws)
{
    for (const char* name : {"open_project", "save", "new_project", "uml_import", "system_layer", "new_fb_type",
                             "new_fb_diagram", "rose", "distribute", "wizard", "telvo"})
        EXPECT_GT(inkOf(ToolIcon(name), 24), 0.05) << name;
    EXPECT_TRUE(ToolIcon("no_such_icon").isNull());
}

TEST(Images, TheIndexesLookDifferent)
{
    // Two indexes drawing the same picture would hide a wrong index in the
    // tree.
    std::vector<QImage> drawn;
    for (int index = 0; index < MainImageCount; ++index)
        drawn.push_back(MainImage(index).pixmap(QSize(16, 16)).toImage());
    for (int a = 0; a < MainImageCount; ++a)
        for (int b = a + 1; b < MainImageCount; ++b)
            EXPECT_NE(drawn[a], drawn[b]) << a << " and " << b;
}

TEST(Images, SplashAndAboutCarryTheVersion)
{
    TfrmSplash splash;
    EXPECT_EQ(splash.message(), QString(" Version 1.0.0"));
    EXPECT_FALSE(splash.pixmap().isNull());
    TfrmAbout about;
    EXPECT_NE(about.findChild<QLabel*>("lbVersion"), nullptr);
    EXPECT_EQ(about.findChild<QLabel*>("lbVersion")->text(), QString("Version 1.0.0"));
}
