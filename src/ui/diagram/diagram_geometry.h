#pragma once
// The geometry of an FB network diagram as it is drawn: block and glyph
// measures with their port points, note and IPP picture extents, the routes
// of every kind of connection, and the hit tests the editor runs against the
// last paint. Nothing here paints or needs Qt, so that the rules can be
// checked number by number; the renderer (diagram_renderer.h) writes these
// results into the model on every paint and draws from them.

#include "model/fb_diagram.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace telvo {

// rnd(v * z): every scaled length becomes a whole pixel through this.
int32_t Scaled(double length, double zoom);

// The editor's rectangle for hit tests: a point when left = right and
// top = bottom, an area otherwise (in any corner order).
struct THitRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    static THitRect Point(int32_t x, int32_t y) { return {x, y, x, y}; }
    bool IsPoint() const { return Left == Right && Top == Bottom; }
};

// ---- Drawn-object operations ----

void BeginDrag(TFB_Instance& instance, int32_t x, int32_t y);
void DragTo(TFB_Instance& instance, int32_t x, int32_t y);
void MoveBy(TFB_Instance& instance, int32_t sx, int32_t sy);
// Position and size from the zoom-1 values; the height makes room for the
// event rows beyond the first, and the block is measured again.
void SetScale(TFB_Instance& instance, double zoom);

void BeginDrag(TFBDnote& note, int32_t x, int32_t y);
void DragTo(TFBDnote& note, int32_t x, int32_t y);
void MoveBy(TFBDnote& note, int32_t sx, int32_t sy);
void SetScale(TFBDnote& note, double zoom);

// ---- Blocks and glyphs ----

// The measures of the IEC 61499 block of an instance at its scale.
struct TBlockMetrics {
    int32_t nE = 1;   // event rows: the larger port count, at least 1
    int32_t nD = 0;   // data rows
    int32_t wIn = 0;  // event inputs of the type with a WITH list
    int32_t wOut = 0; // event outputs likewise
    int32_t W = 0, H = 0;
    int32_t s = 0; // row pitch
    int32_t e = 0; // height of the head
    int32_t n = 0; // top of the body, from the block's top
    int32_t r = 0; // width of each shoulder beside the neck
};
TBlockMetrics MeasureBlock(const TFB_Instance& instance);

// The glyph measures: S is the side of the square, the rest as named.
struct TGlyphMetrics {
    int32_t S = 0, L = 0, T = 0, R = 0, B = 0, M = 0, C = 0;
    int32_t u = 0; // rnd(8z)
};
TGlyphMetrics MeasureGlyph(const TFB_Instance& instance);

// One port of a glyph: its connection point, the stub drawn to it and its
// label (plain text with its top-left corner at LabelX, LabelY).
struct TGlyphPort {
    enum TKind { EventIn, EventOut, DataIn, DataOut };
    TKind Kind = EventIn;
    int32_t Index = 0; // in the instance's list of that kind
    int32_t X = 0, Y = 0;
    bool HasStub = false;
    int32_t StubX1 = 0, StubY1 = 0, StubX2 = 0, StubY2 = 0;
    std::string Label;
    int32_t LabelX = 0, LabelY = 0;
    // The top data input of a box glyph shows its value above its point.
    bool ShowsValue = false;
};
// The ports the glyph of the instance's type shows; empty for a type that
// has no glyph of its own.
std::vector<TGlyphPort> GlyphPorts(const TFB_Instance& instance);

// Whether the type has a glyph of its own (E_SPLIT, E_MERGE, ...).
bool HasGlyph(const std::string& typeName);

// Whether the instance paints as a glyph right now: a stereotype shown as
// one whose type has a glyph.
bool PaintsAsGlyph(const TFB_Instance& instance);

// Writes Width, Height and every port record's point as the next paint
// will: the block rules or, for a glyph, the glyph's port table. Ports a
// glyph does not show (SISTEP_EVBOOL's event input 0) are put on the middle
// of its left (inputs) or right (outputs) edge, so that no line runs to a
// stale point.
void LayoutInstance(TFB_Instance& instance);

// ---- Notes and IPP pictures ----

// Writes Right and Bottom; `fontPoints` is the diagram font's size.
void LayoutNote(TFBDnote& note, int32_t fontPoints);
// Line breaks of a note text: a CR LF pair or a lone LF counts once.
int32_t CountLineBreaks(const std::string& text);

// Writes LabelWidth and the two anchors; `scaled` false draws at scale 1.
void LayoutIppPicture(TslIPP& picture, bool scaled);
// The drawing scale of a picture (its Scale, or 1 when not scaled).
double IppDrawScale(const TslIPP& picture, bool scaled);

// ---- Hit tests ----

bool HitTest(const TFB_Instance& instance, THitRect rect);
bool HitTest(const TFBDnote& note, THitRect rect);
bool HitTest(const TslIPP& picture, THitRect rect);
TFBEvent* EventPortAt(const TFB_Instance& instance, int32_t x, int32_t y);
TFBDataMember* DataPortAt(const TFB_Instance& instance, int32_t x, int32_t y);

// ---- Composite interface ----

// The rows of a composite type's interface, as drawn along the frame.
enum class TInterfaceSide { Left, Right };
struct TInterfacePort {
    TFBEventType* Event = nullptr;     // set for an event port
    TFBDataMemberType* Data = nullptr; // set for a data port
    TInterfaceSide Side = TInterfaceSide::Left;
    int32_t Row = 0;
    int32_t Top = 0;   // 20 row - sy
    int32_t X = 0;     // connection point
    int32_t Y = 0;
};
// Inputs on the left (events, a gap row, data), outputs on the right.
std::vector<TInterfacePort> InterfacePorts(const TFB_Type& type, int32_t width, int32_t scrollY);
// The connection point of one declaration; nothing when it is not the type's.
std::optional<TInterfacePort> InterfacePortOf(const TFB_Type& type, const void* declaration, int32_t width,
                                              int32_t scrollY);
// The frame's dotted lines stand at these x.
inline constexpr int32_t InterfaceLeftEdge = 50;
inline int32_t InterfaceRightEdge(int32_t width) { return width - 75; }

// ---- Routes ----

// What the routes need to know besides the lines themselves.
struct TRouteOptions {
    bool ShowRemoteConnections = true;
    bool InternalDeviceDiagram = false;
};

// The remote end of a stub: where its label and arrowhead go.
struct TRemoteLabel {
    bool Shown = false;
    bool Arrow = false; // an arrowhead at (ArrowX, ArrowY)
    int32_t ArrowX = 0, ArrowY = 0;
    int32_t TextX = 0, TextY = 0;
    std::string Text;
};

// Each rebuilds the line's points and port index as the paint does and
// tells whether the route runs backward (dotted) and what the remote end
// shows.
struct TRouteResult {
    bool Backward = false;
    TRemoteLabel Label;
};
TRouteResult RouteEventLine(TFB_EventAssoc& line, const TRouteOptions& options);
TRouteResult RouteDataLine(TFB_DataAssoc& line, const TRouteOptions& options);
// `compositeType` gives the interface points; `index` is the connection's
// place in the diagram's list.
void RouteCompositeLine(TCompositeConnection& line, const TFB_Diagram& diagram, int32_t width, int32_t scrollY,
                        int32_t index);
// Returns false when nothing is to be drawn (a remote IPP with the stubs
// switched off).
bool RouteIppLine(TFB_IPPFBAssocsInst& line, const TRouteOptions& options, TRemoteLabel& label);
void RouteIppToIppLine(TFB_IPPtoIPPAssocInst& line, int32_t index);

// The four-point route shared by forward FB, composite, IPP and IPP-to-IPP
// lines: (xs, ys), (m, ys), (m, ye), (xe, ye).
void SetElbowRoute(Tlineobj& line, int32_t xs, int32_t ys, int32_t m, int32_t xe, int32_t ye);

// Lays out the IPP pictures of an internal device diagram along the frame:
// actuators down the left, sensors down the right.
void LayoutDeviceIpps(TFB_Diagram& diagram, int32_t width, int32_t scrollY);

// Index of a port in its record's list of that kind, or 0 when not found.
int32_t PortIndex(const TFBEvent* port);
int32_t PortIndex(const TFBDataMember* port);

// The drawn instance of the diagram that shows this record, or none.
TFB_Instance* DrawnOf(const TFB_Diagram& diagram, const TFB_InstanceRef* record);

// Number of characters (code points) of a UTF-8 text.
int32_t TextLength(const std::string& text);

} // namespace telvo
