#pragma once
// Paints an FB network diagram into an off-screen image: blocks and glyphs
// of the instances, IPP pictures, notes, every kind of connection with its
// route, the stubs of connections to other diagrams, the interface frame of a
// composite type's network, the frame of a device diagram and the print
// caption. Each paint redraws the whole diagram and writes the drawn geometry
// (sizes, port points, routes, anchors) back into the model, where the hit
// tests of diagram_geometry.h find it.

#include "ui/diagram/diagram_geometry.h"

#include <QDateTime>
#include <QImage>
#include <QRect>

#include <vector>

class QPainter;

namespace telvo {

// The surface the drawn instances of a diagram window paint on: the
// window's off-screen bitmap.
struct TCanvas {
    QImage Image;
};

// What a paint needs from the editor besides the diagram.
struct TDiagramView {
    bool ShowRemoteConnections = true;
    bool DebugMode = false;
    // The visual debugger's blink flag.
    bool Blink = false;
    // The editor's selection rectangle while a rubber band is dragged.
    bool RubberBand = false;
    int32_t RubberLeft = 0, RubberTop = 0, RubberRight = 0, RubberBottom = 0;
    // The next paint draws the print caption (and switches this off).
    bool PrintMode = false;
    // The vertical scroll offset moves the interface rows and the device
    // frame's IPP columns.
    int32_t ScrollY = 0;
    // The surface the instances are told they paint on; may be none.
    TCanvas* Canvas = nullptr;
    // The time shown in the print caption; the current time when not valid.
    QDateTime CaptionTime;
    // A refused connection target, outlined in the warning colour for a
    // moment so that the eye finds what was refused; empty when none.
    int32_t FlashLeft = 0, FlashTop = 0, FlashRight = 0, FlashBottom = 0;
    bool Flash = false;
    // Written by each paint in debug mode: where the debug texts (states,
    // internal variables, monitored values) went, each block on its
    // background.
    std::vector<QRect> DebugTextBoxes;
};

// At this zoom and below the diagram is painted as an overview: blocks as
// filled rectangles, no text (the font is under 4 pixels), so that a large
// network paints within a frame.
inline constexpr double OverviewZoom = 0.3;

// The size in points of the diagram font at a zoom: rnd(7z).
int32_t DiagramFontPoints(double zoom);

// The colours the renderer uses (0xRRGGBB), for whoever checks or matches
// them.
namespace DiagramColour {
inline constexpr uint32_t Black = 0x000000;
inline constexpr uint32_t White = 0xFFFFFF;
inline constexpr uint32_t Imported = 0xFF0000;
inline constexpr uint32_t DataLine = 0xC0C0C0;
inline constexpr uint32_t GlyphYellow = 0xFFFF00;
inline constexpr uint32_t RestartBlue = 0x1D7AAD;
inline constexpr uint32_t EventIpp = 0xFF9664;
inline constexpr uint32_t DataIpp = 0xCACAFF;
inline constexpr uint32_t IppOutline = 0x008000;
inline constexpr uint32_t InterfaceEvent = 0x1B947B;
inline constexpr uint32_t InterfaceData = 0x1C5E93;
inline constexpr uint32_t DeviceFrame = 0xE3E3E3;
inline constexpr uint32_t NoteFill = 0xFFFFE1;
inline constexpr uint32_t ShownTypes = 0xA2A2A2;
inline constexpr uint32_t Warning = 0xE07000;
inline constexpr uint32_t OverviewBlock = 0xD8D8D8;
} // namespace DiagramColour

// Paints the whole diagram into the image (the image's size is the
// drawing's). Returns false when the paint stopped early: a composite
// network whose type is missing, whose window keeps its previous picture.
// Nothing happens (false) without a diagram or with an empty image.
bool PaintDiagram(QImage& image, TFB_Diagram* diagram, TDiagramView& view);

// The single objects, on a painter whose font is the diagram font.
void PaintInstance(QPainter& painter, TFB_Instance& instance);
void PaintNote(QPainter& painter, TFBDnote& note, int32_t fontPoints);
void PaintIppPicture(QPainter& painter, TslIPP& picture, bool scaled);

// The text of the print caption for a diagram at a time.
QString PrintCaption(const TFB_Diagram& diagram, const QDateTime& time);

} // namespace telvo
