#pragma once
// The interface picture of the FB type editor: the type's block at zoom 1,
// centred in its pane, with every port's name, type, stub and WITH marks.

#include <QImage>
#include <QRect>
#include <QWidget>

namespace telvo {

class TFB_Type;

// The block's size for a type: width 8 x name length, at least 120; height
// 16 x the larger event count (at least one row) + 16 x the larger data
// count + 40, at least 150.
QSize InterfaceBlockSize(const TFB_Type& type);

// Paints the picture of the type (or a blank pane without one) into the
// image, whose size is the pane's. Returns the block's rectangle.
QRect PaintInterfacePicture(QImage& image, const TFB_Type* type);

class TInterfacePicture : public QWidget {
public:
    explicit TInterfacePicture(QWidget* parent = nullptr);
    void SetType(const TFB_Type* type) { type_ = type; Repaint(); }
    // Redraws the off-screen picture from the type and shows it.
    void Repaint();
    const QImage& Image() const { return image_; }
    QRect Block() const { return block_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const TFB_Type* type_ = nullptr;
    QImage image_;
    QRect block_;
};

} // namespace telvo
