#pragma once
// Paints the system layer into an off-screen image: connections under the
// objects, then every object in list order with its picture, fieldbus arrow,
// IPP markers, downloaded FB symbols, selection frame and name. Geometry is
// the model's (ApplyLayout runs first); a zoom scales the whole drawing, so
// hit tests divide the mouse position by the same zoom.

#include <QHash>
#include <QImage>
#include <QString>

#include <functional>
#include <string>

class QPainter;

namespace telvo {

class TSystemLayerManager;
class TslObject;

// The pixels of the layer's pictures, read once per file and kept at the
// size they are drawn at. A file that cannot be read is told once.
class TslPictureCache {
public:
    // The picture of the file at w x h; none for an unreadable file.
    const QImage* Picture(const std::string& file, int w, int h);
    // Told once per file that is named but cannot be read.
    std::function<void(const std::string& file)> OnMissing;
    // An object names a picture the core could not read: told once.
    void Missing(const std::string& file);
    void Clear() { pictures_.clear(); scaled_.clear(); told_.clear(); }

private:
    QHash<QString, QImage> pictures_; // null image: unreadable
    QHash<QString, QImage> scaled_;   // key: file + size
    QHash<QString, bool> told_;
};

// The colours of the drawing (0xRRGGBB).
namespace SystemLayerColour {
inline constexpr unsigned Navy = 0x000080;
inline constexpr unsigned FieldbusFill = 0xFFFFDF;
inline constexpr unsigned FBSymbol = 0xFFFAF0;
inline constexpr unsigned ActuatorEvent = 0xAAFFAA;
inline constexpr unsigned ActuatorData = 0xFFFFC1;
inline constexpr unsigned SensorEvent = 0xCACAFF;
inline constexpr unsigned SensorData = 0xFF9664;
inline constexpr unsigned Selected = 0xFF0000;
} // namespace SystemLayerColour

// Paints the whole layer (image size = the drawing area) at the zoom.
void PaintSystemLayer(QImage& image, TSystemLayerManager& layer, TslPictureCache& pictures, double zoom);

} // namespace telvo
