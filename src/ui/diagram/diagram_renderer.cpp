#include "ui/diagram/diagram_renderer.h"

#include "model/network_check.h"

#include "model/fb_manager.h"
#include "systemlayer/system_layer.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QStaticText>

#include <algorithm>
#include <climits>
#include <string>
#include <string_view>
#include <unordered_map>

namespace telvo {

namespace {

// Images are painted as on a 96 dpi screen: point sizes become the pixel
// sizes engineers know from the diagrams they draw.
constexpr int DotsPerMeter96 = 3780;

QColor colour(uint32_t rgb)
{
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

const std::string kNoText;
const std::string kEventText = "EVENT";

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

// A pen and brush state in the manner of a drawing canvas: rectangles are
// outlined with the pen and filled with the brush, right and bottom
// exclusive; text boxes truncate with an ellipsis.
class TDraw {
public:
    explicit TDraw(QPainter& p) : p_(p), fm_(p.font()), points_(p.font().pointSize())
    {
        p_.setRenderHint(QPainter::Antialiasing, false);
    }

    void Pen(uint32_t rgb, int width = -1)
    {
        if (rgb != penRgb_ || (width > 0 && width != penWidth_)) {
            penRgb_ = rgb;
            penColour_ = colour(rgb);
            if (width > 0)
                penWidth_ = width;
            applyPen();
        }
    }
    void PenWidth(int width)
    {
        width = std::max(width, 1);
        if (width != penWidth_) {
            penWidth_ = width;
            applyPen();
        }
    }
    void Dotted(bool dotted)
    {
        if (dotted != dotted_) {
            dotted_ = dotted;
            applyPen();
        }
    }
    void Brush(uint32_t rgb)
    {
        brush_ = colour(rgb);
        clearBrush_ = false;
    }
    void ClearBrush() { clearBrush_ = true; }
    void FontColour(uint32_t rgb) { fontColour_ = colour(rgb); }
    void FontChanged()
    {
        fm_ = QFontMetrics(p_.font());
        points_ = p_.font().pointSize();
    }

    void Line(int x1, int y1, int x2, int y2)
    {
        ensurePen();
        p_.drawLine(x1, y1, x2, y2);
    }

    void Rect(int x1, int y1, int x2, int y2)
    {
        if (x2 <= x1 || y2 <= y1)
            return;
        if (!clearBrush_)
            p_.fillRect(x1, y1, x2 - x1, y2 - y1, brush_);
        ensurePen();
        setNoBrush();
        for (int w = 0; w < penWidth_ && x2 - x1 - 1 - 2 * w >= 0 && y2 - y1 - 1 - 2 * w >= 0; ++w)
            p_.drawRect(x1 + w, y1 + w, x2 - x1 - 1 - 2 * w, y2 - y1 - 1 - 2 * w);
    }

    // A closed outline filled with the brush (the canvas filled such shapes
    // with a flood fill from inside; filling the shape looks the same).
    void FilledPolygon(const QPolygon& points, uint32_t fillRgb)
    {
        ensurePen();
        p_.setBrush(colour(fillRgb));
        painterBrushNone_ = false;
        p_.drawPolygon(points);
    }
    void Polyline(const QPolygon& points)
    {
        ensurePen();
        p_.drawPolyline(points);
    }

    void Ellipse(int x1, int y1, int x2, int y2, uint32_t fillRgb)
    {
        ensurePen();
        p_.setBrush(colour(fillRgb));
        painterBrushNone_ = false;
        p_.drawEllipse(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
    }

    enum TAlign { Left = Qt::AlignLeft, Centre = Qt::AlignHCenter, Right = Qt::AlignRight };

    // Text of the diagram font under 4 pixels cannot be read: a zoomed-out
    // overview leaves it out and saves most of the cost of a paint.
    bool NoText = false;

    // A single-line text box.
    void Text(int x1, int y1, int x2, int y2, TAlign align, const std::string& text, bool vcentre = false)
    {
        const int w = x2 - x1;
        if (NoText || w <= 0 || text.empty())
            return;
        const TShapedText& t = shaped(text, w);
        int x = x1;
        if (align == Right)
            x = x2 - t.Width;
        else if (align == Centre)
            x = x1 + (w - t.Width) / 2;
        int y = y1;
        if (vcentre)
            y = y1 + (y2 - y1 - fm_.height()) / 2;
        textPen();
        p_.drawStaticText(x, y, t.Static);
    }

    // Plain text with its top-left corner at (x, y).
    void TextAt(int x, int y, const std::string& text)
    {
        if (NoText || text.empty())
            return;
        textPen();
        p_.drawStaticText(x, y, shaped(text, -1).Static);
    }
    void TextAt(int x, int y, const QString& text) { TextAt(x, y, text.toStdString()); }

    // A box that lays the text out in lines broken at word boundaries.
    void WrappedText(int x1, int y1, int x2, int y2, const QString& text)
    {
        if (NoText || x2 <= x1 || y2 <= y1 || text.isEmpty())
            return;
        textPen();
        p_.drawText(QRect(x1, y1, x2 - x1, y2 - y1), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    }

    QPainter& Painter() { return p_; }
    // A polygon to fill and draw, kept between lines.
    QPolygon& Scratch() { return scratch_; }

private:
    // Shaping text is most of the cost of a paint; names repeat from paint
    // to paint, so their shaped (and, where too wide, shortened) form is
    // kept per text, font size and box width.
    struct TShapedText {
        QStaticText Static;
        int Width = 0;
    };
    struct TShapeKey {
        std::string Text;
        int Points;
        int BoxWidth;
    };
    // Looked up without copying the text.
    struct TShapeQuery {
        std::string_view Text;
        int Points;
        int BoxWidth;
    };
    struct TShapeKeyHash {
        using is_transparent = void;
        static size_t hash(std::string_view text, int points, int boxWidth)
        {
            return std::hash<std::string_view>()(text) ^ (static_cast<size_t>(points) * 0x9E3779B97F4A7C15ull) ^
                   (static_cast<size_t>(boxWidth + 1) << 20);
        }
        size_t operator()(const TShapeKey& k) const { return hash(k.Text, k.Points, k.BoxWidth); }
        size_t operator()(const TShapeQuery& q) const { return hash(q.Text, q.Points, q.BoxWidth); }
    };
    struct TShapeKeyEqual {
        using is_transparent = void;
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const
        {
            return a.Points == b.Points && a.BoxWidth == b.BoxWidth && std::string_view(a.Text) == std::string_view(b.Text);
        }
    };
    using TShapeCache = std::unordered_map<TShapeKey, TShapedText, TShapeKeyHash, TShapeKeyEqual>;
    static TShapeCache& shapeCache()
    {
        thread_local TShapeCache cache;
        return cache;
    }

    const TShapedText& shaped(const std::string& text, int boxWidth)
    {
        TShapeCache& cache = shapeCache();
        auto it = cache.find(TShapeQuery{text, points_, boxWidth});
        if (it != cache.end())
            return it->second;
        TShapeKey key{text, points_, boxWidth};
        // A bounded cache: a long session of renamed instances must not grow it for ever.
        if (cache.size() > 50000)
            cache.clear();
        QString q = QString::fromStdString(text);
        int width = fm_.horizontalAdvance(q);
        if (boxWidth >= 0 && width > boxWidth) {
            q = fm_.elidedText(q, Qt::ElideRight, boxWidth);
            width = fm_.horizontalAdvance(q);
        }
        TShapedText t;
        t.Static.setText(q);
        t.Static.setTextFormat(Qt::PlainText);
        t.Static.setPerformanceHint(QStaticText::AggressiveCaching);
        t.Static.prepare(QTransform(), p_.font());
        t.Width = width;
        return cache.emplace(std::move(key), std::move(t)).first->second;
    }

    // The painter's pen is set only when a line is drawn and the pen asked
    // for differs from the one it has: pens are made for every port of
    // every block otherwise.
    void applyPen() { penDirty_ = true; }
    void ensurePen()
    {
        if (!penDirty_ && !textPenSet_)
            return;
        QPen pen(penColour_);
        pen.setWidth(penWidth_);
        pen.setCapStyle(Qt::SquareCap);
        pen.setJoinStyle(Qt::MiterJoin);
        if (dotted_)
            pen.setDashPattern({1.0, 1.0});
        p_.setPen(pen);
        penDirty_ = false;
        textPenSet_ = false;
    }
    void textPen()
    {
        if (textPenSet_ && textPenColour_ == fontColour_)
            return;
        p_.setPen(fontColour_);
        textPenColour_ = fontColour_;
        textPenSet_ = true;
    }
    void setNoBrush()
    {
        if (!painterBrushNone_) {
            p_.setBrush(Qt::NoBrush);
            painterBrushNone_ = true;
        }
    }

    QPainter& p_;
    QFontMetrics fm_;
    QColor penColour_ = Qt::black;
    uint32_t penRgb_ = 0x000000;
    int penWidth_ = 1;
    bool dotted_ = false;
    QColor brush_ = Qt::white;
    bool clearBrush_ = false;
    QColor fontColour_ = Qt::black;
    int points_ = 0;
    bool penDirty_ = true;
    bool textPenSet_ = false;
    QColor textPenColour_;
    bool painterBrushNone_ = false;
    QPolygon scratch_;
};

QFont diagramFont(int points)
{
    QFont f(QStringLiteral("Arial"));
    // A zoom so small that the size rounds to 0 still gets readable specks
    // rather than an invalid font.
    f.setPointSize(std::max(points, 1));
    f.setStyleHint(QFont::SansSerif);
    return f;
}

int sizeOf(const auto& list)
{
    return static_cast<int>(list.size());
}

// ---------------------------------------------------------------------------
// Blocks

void paintBlock(TDraw& d, TFB_Instance& inst)
{
    const TBlockMetrics m = MeasureBlock(inst);
    inst.Width = m.W;
    inst.Height = m.H;
    const int x = inst.X, y = inst.Y, W = m.W, H = m.H, s = m.s, e = m.e, n = m.n;
    const TFB_Type* type = inst.Ref ? inst.Ref->Type : nullptr;
    const bool showTypes = inst.TypeColour != TFB_Instance::HiddenTypeColour;
    const int wIn = m.wIn, wOut = m.wOut;

    d.FontColour(DiagramColour::Black);
    d.Pen(type && type->Imported ? DiagramColour::Imported : DiagramColour::Black, inst.GroupSelected ? 2 : 1);
    d.Brush(DiagramColour::White);
    d.Rect(x, y, x + W, y + e);

    for (int i = 0; i < sizeOf(inst.EventInputPorts); ++i) {
        TFBEventDraw& p = *inst.EventInputPorts[i];
        d.FontColour(DiagramColour::Black);
        d.Text(x + 2, y + i * s + 1, x + W - 4, y + (i + 1) * s + 1, TDraw::Left, (p.Event ? p.Event->Name() : kNoText));
        p.X = x - 1;
        p.Y = y + i * s + 7;
        if (showTypes) {
            d.Pen(inst.TypeColour);
            d.Line(p.X, p.Y, x - 20 * wIn, p.Y);
            d.FontColour(inst.TypeColour);
            d.Text(x - 22 * wIn - 100, y + i * s + 1, x - 22 * wIn, y + (i + 1) * s + 1, TDraw::Right,
                   kEventText);
        }
    }
    for (int i = 0; i < sizeOf(inst.EventOutputPorts); ++i) {
        TFBEventDraw& p = *inst.EventOutputPorts[i];
        d.FontColour(DiagramColour::Black);
        d.Text(x + 2, y + i * s + 1, x + W - 4, y + (i + 1) * s + 1, TDraw::Right,
               (p.Event ? p.Event->Name() : kNoText));
        p.X = x + W;
        p.Y = y + i * s + 7;
        if (showTypes) {
            d.Pen(inst.TypeColour);
            d.Line(p.X, p.Y, x + W + 20 * wOut, p.Y);
            d.FontColour(inst.TypeColour);
            d.Text(x + W + 22 * wOut, y + i * s + 1, x + W + 22 * wOut + 100, y + (i + 1) * s + 1, TDraw::Left,
                   kEventText);
        }
    }

    // Body, then the neck between head and body: the middle three fifths of
    // the joint edges are erased and the neck's sides drawn.
    d.Pen(DiagramColour::Black);
    d.Rect(x, y + n - 1, x + W, y + H);
    const int r = m.r;
    d.Pen(DiagramColour::White);
    d.Rect(x + r, y + e - 1, x + W - r, y + n);
    d.Pen(DiagramColour::Black, 1);
    d.Rect(x + r - 1, y + e - 1, x + r, y + n);
    d.Rect(x + W - r - 1, y + e - 1, x + W - r, y + n);
    d.PenWidth(inst.GroupSelected ? 2 : 1);

    // WITH marks join a data port to the event ports that sample it.
    auto withMarks = [&](int dataIndex, int py, bool inputs) {
        if (!type)
            return;
        const auto& events = inputs ? inst.EventInputPorts : inst.EventOutputPorts;
        const TFBDataMemberType* decl = nullptr;
        if (inputs && dataIndex < sizeOf(type->DataInputs))
            decl = type->DataInputs[dataIndex].get();
        if (!inputs && dataIndex < sizeOf(type->DataOutputs))
            decl = type->DataOutputs[dataIndex].get();
        if (!decl)
            return;
        for (int j = 0; j < sizeOf(events); ++j) {
            const TFBEventType* ev = nullptr;
            if (inputs && j < sizeOf(type->EventInputs))
                ev = type->EventInputs[j].get();
            if (!inputs && j < sizeOf(type->EventOutputs))
                ev = type->EventOutputs[j].get();
            if (!ev || std::find(ev->With.begin(), ev->With.end(), decl) == ev->With.end())
                continue;
            const int c = inputs ? x - 12 * j - 8 : x + W + 12 * j + 8;
            const int ey = y + j * s + 7;
            d.Rect(c - 3, py - 4, c + 4, py + 4);
            d.Line(c, py, c, ey);
            d.Rect(c - 3, ey - 4, c + 4, ey + 4);
        }
    };

    for (int k = 0; k < sizeOf(inst.DataInputPorts); ++k) {
        const int i = k + 1;
        TFBDataMemberDraw& p = *inst.DataInputPorts[k];
        d.Pen(inst.TypeColour);
        d.FontColour(DiagramColour::Black);
        d.Text(x + 2, y + n + i * s, x + W - 4, y + H + i * s + 1, TDraw::Left, (p.Member ? p.Member->Name() : kNoText));
        p.X = x - 1;
        p.Y = y + n + i * s + 7;
        if (p.Member && !p.Member->ValueText.empty()) {
            d.Pen(DiagramColour::Black);
            d.Line(x - 1, y + n + i * s + 4, x - 10, y + n + i * s + 4);
            d.Text(x - 150, y + n + i * s, x - 10, y + H + i * s + 1, TDraw::Right, p.Member->ValueText);
        }
        if (showTypes) {
            d.Pen(inst.TypeColour);
            d.FontColour(inst.TypeColour);
            d.Line(p.X, p.Y, x - 20 * wIn, p.Y);
            d.Text(x - 22 * wIn - 100, y + n + i * s + 1, x - 22 * wIn, y + n + (i + 1) * s + 1, TDraw::Right,
                   (p.Member && p.Member->Decl ? p.Member->Decl->Type : kNoText));
            withMarks(k, p.Y, true);
        }
    }
    for (int k = 0; k < sizeOf(inst.DataOutputPorts); ++k) {
        const int i = k + 1;
        TFBDataMemberDraw& p = *inst.DataOutputPorts[k];
        d.Pen(inst.TypeColour);
        d.FontColour(DiagramColour::Black);
        d.Text(x + 2, y + n + i * s, x + W - 4, y + H + i * s + 1, TDraw::Right,
               (p.Member ? p.Member->Name() : kNoText));
        p.X = x + W - 1;
        p.Y = y + n + i * s + 7;
        if (p.Member && !p.Member->ValueText.empty()) {
            d.Pen(DiagramColour::Black);
            d.Line(x + W, y + n + i * s + 4, x + W + 10, y + n + i * s + 4);
            d.Text(x + W + 10, y + n + i * s, x + W + 100, y + H + i * s + 1, TDraw::Left, p.Member->ValueText);
        }
        if (showTypes) {
            d.Pen(inst.TypeColour);
            d.FontColour(inst.TypeColour);
            d.Line(p.X, p.Y, x + W + 20 * wOut, p.Y);
            d.Text(x + W + 22 * wOut, y + n + i * s + 1, x + W + 22 * wOut + 100, y + n + (i + 1) * s + 1,
                   TDraw::Left, (p.Member && p.Member->Decl ? p.Member->Decl->Type : kNoText));
            withMarks(k, p.Y, false);
        }
    }

    d.Pen(DiagramColour::Black);
    d.FontColour(DiagramColour::Black);
    d.ClearBrush();
    if (type)
        d.Text(x, y + n + 2, x + W, y + H, TDraw::Centre, type->Name);
}

std::string instanceLabel(const TFB_Instance& inst)
{
    if (!inst.Ref)
        return {};
    if (inst.Ref->Device)
        return inst.Ref->Name + " ( in " + inst.Ref->Device->Name + ")";
    return inst.Ref->Name;
}

// ---------------------------------------------------------------------------
// Glyphs

constexpr uint32_t GlyphOutline = 0x010101;

void paintGlyph(TDraw& d, TFB_Instance& inst)
{
    const TGlyphMetrics g = MeasureGlyph(inst);
    inst.Width = g.S;
    inst.Height = g.S;
    const double z = inst.Scale;
    const int L = g.L, T = g.T, R = g.R, B = g.B, M = g.M, C = g.C, u = g.u;
    const std::string typeName = inst.Ref && inst.Ref->Type ? inst.Ref->Type->Name : std::string();

    d.PenWidth(inst.GroupSelected ? 2 : 1);
    d.Brush(DiagramColour::White);
    d.Pen(GlyphOutline);
    d.FontColour(DiagramColour::Black);

    auto yellowBox = [&] {
        d.Brush(DiagramColour::GlyphYellow);
        d.Rect(L + u, T + Scaled(12, z), R - u, B - Scaled(12, z));
        d.Brush(DiagramColour::White);
    };
    if (typeName == "E_SPLIT") {
        d.FilledPolygon(QPolygon({QPoint(L + u, M), QPoint(R - u, T + u), QPoint(R - u, B - u)}),
                        DiagramColour::GlyphYellow);
    } else if (typeName == "E_MERGE" || typeName == "E_REND") {
        d.FilledPolygon(QPolygon({QPoint(R - u, M), QPoint(L + u, T + u), QPoint(L + u, B - u)}),
                        DiagramColour::GlyphYellow);
    } else if (typeName == "E_PERMIT" || typeName == "E_SELECT" || typeName == "E_SWITCH" ||
               typeName == "E_DELAY" || typeName == "SISTEP_EVGEN" || typeName == "SISTEP_EVBOOL") {
        yellowBox();
    } else if (typeName == "E_CYCLE") {
        yellowBox();
        const int in = Scaled(18, z);
        d.Ellipse(L + in, T + in, R - in, B - in, DiagramColour::GlyphYellow);
    } else if (typeName == "E_RESTART") {
        // Stubs first: the ellipse then covers their inner ends.
        for (const TGlyphPort& p : GlyphPorts(inst))
            if (p.HasStub)
                d.Line(p.StubX1, p.StubY1, p.StubX2, p.StubY2);
        d.Ellipse(L + u, T + u, R - u, B - u, DiagramColour::RestartBlue);
    }

    for (const TGlyphPort& p : GlyphPorts(inst)) {
        if (p.HasStub && typeName != "E_RESTART")
            d.Line(p.StubX1, p.StubY1, p.StubX2, p.StubY2);
        d.FontColour(DiagramColour::Black);
        d.TextAt(p.LabelX, p.LabelY, p.Label);
        if (p.ShowsValue && p.Kind == TGlyphPort::DataIn && p.Index < sizeOf(inst.DataInputPorts)) {
            const TFBDataMember* member = inst.DataInputPorts[p.Index]->Member;
            if (member && !member->ValueText.empty())
                d.TextAt(p.X - 4, p.Y - 12, member->ValueText);
        }
    }
    LayoutInstance(inst); // the port points of this paint

    d.Pen(DiagramColour::Black);
    d.FontColour(DiagramColour::Black);
    d.ClearBrush();
    d.Text(L - 100, B + Scaled(2, z) + 5, R + 100, B + 40, TDraw::Centre, inst.Ref ? inst.Ref->Name : kNoText);
    d.Text(L - 100, B + Scaled(12, z) + 5, R + 100, B + 40, TDraw::Centre, typeName);
    (void)C;
}

// The overview of a zoomed-out diagram: a block is a filled rectangle of
// its size, without port names, port stubs or labels, all of which would be
// under 4 pixels high.
void paintOverviewInstance(TDraw& d, TFB_Instance& inst)
{
    if (PaintsAsGlyph(inst)) {
        const TGlyphMetrics g = MeasureGlyph(inst);
        inst.Width = g.S;
        inst.Height = g.S;
        d.Pen(GlyphOutline, inst.GroupSelected ? 2 : 1);
        d.Brush(DiagramColour::GlyphYellow);
    } else {
        const TBlockMetrics m = MeasureBlock(inst);
        inst.Width = m.W;
        inst.Height = m.H;
        const TFB_Type* type = inst.Ref ? inst.Ref->Type : nullptr;
        d.Pen(type && type->Imported ? DiagramColour::Imported : DiagramColour::Black, inst.GroupSelected ? 2 : 1);
        d.Brush(DiagramColour::OverviewBlock);
    }
    d.Rect(inst.X, inst.Y, inst.X + inst.Width, inst.Y + inst.Height);
    d.PenWidth(1);
    d.Brush(DiagramColour::White);
}

void paintInstance(TDraw& d, TFB_Instance& inst)
{
    if (PaintsAsGlyph(inst)) {
        paintGlyph(d, inst);
    } else {
        paintBlock(d, inst);
        d.Text(inst.X - 20, inst.Y - 14, inst.X + inst.Width + 20, inst.Y - 2, TDraw::Centre, instanceLabel(inst),
               true);
    }
    d.PenWidth(1);
    d.Brush(DiagramColour::White);
}

// ---------------------------------------------------------------------------
// Notes and IPP pictures

void paintNote(TDraw& d, TFBDnote& note, int fontPoints)
{
    LayoutNote(note, fontPoints);
    const int X = note.X, Y = note.Y, R = note.Right, B = note.Bottom;
    d.Pen(DiagramColour::Black, note.GroupSelected ? 2 : 1);
    d.FilledPolygon(QPolygon({QPoint(X, Y), QPoint(R - 10, Y), QPoint(R, Y + 10), QPoint(R, B), QPoint(X, B)}),
                    DiagramColour::NoteFill);
    d.Polyline(QPolygon({QPoint(R - 10, Y), QPoint(R - 10, Y + 10), QPoint(R, Y + 10)}));
    d.ClearBrush();
    d.FontColour(DiagramColour::Black);
    QString text = qs(note.Text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    d.WrappedText(X + 2, Y + 2, R - 2, B - 2, text);
    d.PenWidth(1);
    d.Brush(DiagramColour::White);
}

void paintIpp(TDraw& d, TslIPP& pic, bool scaled)
{
    if (!pic.Ipp)
        return;
    LayoutIppPicture(pic, scaled);
    const double s = IppDrawScale(pic, scaled);
    const int x = pic.X, y = pic.Y, wl = pic.LabelWidth;
    auto k = [&](int v) { return Scaled(v, s); };
    const bool actuator = pic.Ipp->IsActuator();
    d.Pen(DiagramColour::IppOutline, pic.GroupSelected ? 2 : 1);
    QPolygon outline;
    if (actuator)
        outline = QPolygon({QPoint(x, y), QPoint(x + k(wl + 20), y), QPoint(x + k(wl + 20), y + k(24)),
                            QPoint(x, y + k(24)), QPoint(x + k(5), y + k(12))});
    else
        outline = QPolygon({QPoint(x, y), QPoint(x + k(wl), y), QPoint(x + k(wl + 6), y + k(12)),
                            QPoint(x + k(wl), y + k(24)), QPoint(x, y + k(24))});
    d.FilledPolygon(outline, pic.Ipp->IsEventIPP ? DiagramColour::EventIpp : DiagramColour::DataIpp);
    d.FontColour(DiagramColour::Black);
    const int tx = actuator ? x + k(9) - 2 : x + 2;
    if (pic.Ipp->Owner)
        d.TextAt(tx, y + k(1), pic.Ipp->Owner->Name);
    d.TextAt(tx, y + k(12), pic.Ipp->Name);
    d.ClearBrush();
    d.TextAt(x, y + k(24), std::string(pic.Ipp->IsEventIPP ? "(event)" : "(data)"));
    d.PenWidth(1);
    d.Brush(DiagramColour::White);
}

// ---------------------------------------------------------------------------
// Lines

struct TBounds {
    int Left, Top, Right, Bottom;
};

bool lineVisible(const Tlineobj& line, const TBounds& area)
{
    if (line.Points.empty())
        return false;
    float l = line.Points[0]->X, r = l, t = line.Points[0]->Y, b = t;
    for (const auto& p : line.Points) {
        l = std::min(l, p->X);
        r = std::max(r, p->X);
        t = std::min(t, p->Y);
        b = std::max(b, p->Y);
    }
    return r >= area.Left && l <= area.Right && b >= area.Top && t <= area.Bottom;
}

void drawLine(TDraw& d, const Tlineobj& line)
{
    if (line.Points.empty())
        return;
    QPolygon& poly = d.Scratch();
    poly.resize(static_cast<int>(line.Points.size()));
    for (size_t i = 0; i < line.Points.size(); ++i)
        poly[static_cast<int>(i)] = QPoint(RoundHalfEven(line.Points[i]->X), RoundHalfEven(line.Points[i]->Y));
    d.Polyline(poly);
}

void drawRemoteLabel(TDraw& d, const TRemoteLabel& label)
{
    if (!label.Shown)
        return;
    if (label.Arrow) {
        const int x = label.ArrowX, y = label.ArrowY;
        d.Polyline(QPolygon({QPoint(x - 5, y - 5), QPoint(x, y), QPoint(x - 6, y + 6)}));
    }
    d.ClearBrush();
    d.FontColour(DiagramColour::Black);
    d.TextAt(label.TextX, label.TextY, label.Text);
}

bool eventPending(const TFB_EventAssoc& line)
{
    const TFB_EventAssocRef* r = line.Ref;
    return r && ((r->DestPort && r->DestPort->Pending) || (r->SourcePort && r->SourcePort->Pending));
}

bool dataMonitored(const TFB_DataAssoc& line)
{
    const TFB_DataAssocRef* r = line.Ref;
    return r && ((r->DestPort && r->DestPort->Monitor) || (r->SourcePort && r->SourcePort->Monitor));
}

template <typename Line>
void paintFBLine(TDraw& d, Line& line, const TDiagramView& view, const TRouteOptions& options, const TBounds& area,
                 bool isEvent)
{
    TRouteResult route;
    if constexpr (std::is_same_v<Line, TFB_EventAssoc>)
        route = RouteEventLine(line, options);
    else
        route = RouteDataLine(line, options);
    int width = line.Highlighted ? 2 : 1;
    uint32_t rgb = isEvent ? DiagramColour::Black : DiagramColour::DataLine;
    if constexpr (std::is_same_v<Line, TFB_DataAssoc>) {
        // Made all the same, but the user should see that the two ends hold
        // values of different kinds.
        const TFB_DataAssocRef* r = line.Ref;
        if (r && r->SourcePort && r->DestPort && DataClassesDiffer(*r->SourcePort, *r->DestPort))
            rgb = DiagramColour::Warning;
    }
    if (view.DebugMode && view.Blink) {
        if constexpr (std::is_same_v<Line, TFB_EventAssoc>) {
            if (eventPending(line)) {
                rgb = DiagramColour::Imported;
                width = 2;
            }
        } else {
            if (dataMonitored(line))
                width = 2;
        }
    }
    if (!lineVisible(line, area))
        return;
    d.Pen(rgb, width);
    d.Dotted(route.Backward);
    drawLine(d, line);
    d.Dotted(false);
    d.PenWidth(1);
    if (route.Label.Shown) {
        d.Pen(DiagramColour::Black, 1);
        drawRemoteLabel(d, route.Label);
        d.Brush(DiagramColour::White);
    }
}

// ---------------------------------------------------------------------------
// Frames

void paintDeviceFrame(TDraw& d, TFB_Diagram& diagram, int W, int H, int scrollY)
{
    d.Pen(DiagramColour::Black, 1);
    d.Brush(DiagramColour::DeviceFrame);
    d.Rect(0, 0, W, H);
    d.FontColour(DiagramColour::Black);
    d.TextAt(100, 4, std::string("Device boundaries"));
    d.Dotted(true);
    d.Brush(DiagramColour::White);
    d.Rect(100, 16, W - 120, H - 30);
    d.Dotted(false);
    d.FontColour(DiagramColour::White);
    LayoutDeviceIpps(diagram, W, scrollY);
}

void paintInterfaceFrame(TDraw& d, const TFB_Type& type, int W, int H, int scrollY)
{
    d.Pen(DiagramColour::Black, 1);
    d.Dotted(true);
    d.Line(InterfaceLeftEdge, -10, InterfaceLeftEdge, H + 10);
    d.Line(InterfaceRightEdge(W), -10, InterfaceRightEdge(W), H + 10);
    d.Dotted(false);
    d.FontColour(DiagramColour::White);
    for (const TInterfacePort& p : InterfacePorts(type, W, scrollY)) {
        const uint32_t rgb = p.Event ? DiagramColour::InterfaceEvent : DiagramColour::InterfaceData;
        d.Pen(rgb);
        d.Brush(rgb);
        const std::string& name = p.Event ? p.Event->Name : p.Data->Name;
        if (p.Side == TInterfaceSide::Left) {
            d.Rect(5, p.Top + 5, 45, p.Top + 18);
            d.Text(7, p.Top + 6, 45, p.Top + 18, TDraw::Left, name, true);
        } else {
            d.Rect(W - 70, p.Top + 5, W - 20, p.Top + 18);
            d.Text(W - 66, p.Top + 6, W - 20, p.Top + 18, TDraw::Left, name, true);
        }
    }
    d.Pen(DiagramColour::Black);
    d.Brush(DiagramColour::White);
}

// ---------------------------------------------------------------------------
// The debug overlay

QString internalVarLine(const TFBInstance_InternalVar& v)
{
    // The simulation writes the value, not the text stored with the type.
    return QStringLiteral("IntVar: ") + qs(v.Decl ? v.Decl->Name : "") + QStringLiteral("=") + qs(v.FormatValue());
}

// A block of debug texts: lines at their places relative to the block's
// anchor, which is where the overlay puts the first of them.
struct TDebugText {
    QPoint Anchor;
    std::vector<std::pair<QPoint, QString>> Lines;
    // Port values sit at their port: they are never moved away from it.
    bool Movable = true;
    // The instance the texts tell of.
    const TFB_Instance* Owner = nullptr;
};

// The state and internal variable lines of an instance (for a composite,
// of each inner instance), as one block below the instance.
TDebugText stateText(const TFB_Instance& inst)
{
    TDebugText block;
    block.Owner = &inst;
    const int x = inst.X, y = inst.Y, h = inst.Height;
    if (inst.Ref->Composite && inst.Ref->InnerDiagram) {
        block.Anchor = QPoint(x, y + h + 15);
        int line = 0;
        auto say = [&](int indent, const QString& text) { block.Lines.push_back({QPoint(indent, 10 * line++), text}); };
        for (const auto& inner : inst.Ref->InnerDiagram->DrawnInstances) {
            if (!inner->Ref)
                continue;
            say(0, qs(inner->Ref->Name) + QStringLiteral(" STATE=") + qs(inner->StateText));
            for (const auto& v : inner->Ref->InternalVars)
                say(10, internalVarLine(*v));
            for (const auto& ev : inner->Ref->EventInputs)
                if (ev->Pending)
                    say(10, QStringLiteral("EVENT INPUT ON: ") + qs(inner->Ref->Name) + "=" + qs(ev->Name()));
            for (const auto& ev : inner->Ref->EventOutputs)
                if (ev->Pending)
                    say(10, QStringLiteral("EVENT OUTPUT ON: ") + qs(inner->Ref->Name) + "=" + qs(ev->Name()));
        }
    } else {
        block.Anchor = QPoint(x, y + h + 5);
        block.Lines.push_back({QPoint(0, 0), "STATE=" + qs(inst.StateText)});
        for (int k = 0; k < sizeOf(inst.Ref->InternalVars); ++k)
            block.Lines.push_back({QPoint(0, 10 * k + 10), internalVarLine(*inst.Ref->InternalVars[k])});
    }
    return block;
}

// The value of each monitored data port, beside its arrow. An input's
// value ends before the block, where the port's name begins.
void portValueTexts(const TFB_Instance& inst, const QFontMetrics& fm, std::vector<TDebugText>& out)
{
    for (const auto& p : inst.DataInputPorts)
        if (p->Member && p->Member->Monitor) {
            const QString value = qs(p->Member->FormatValue());
            const int left = std::min(p->X - 30, p->X - 3 - fm.horizontalAdvance(value));
            out.push_back({QPoint(left, p->Y - 10), {{QPoint(0, 0), value}}, false});
        }
    for (const auto& p : inst.DataOutputPorts)
        if (p->Member && p->Member->Monitor)
            out.push_back({QPoint(p->X + 5, p->Y - 10), {{QPoint(0, 0), qs(p->Member->FormatValue())}}, false});
}

// The box a block of texts covers at its anchor, with a margin.
QRect debugTextBox(const TDebugText& block, const QFontMetrics& fm)
{
    QRect box;
    for (const auto& [at, text] : block.Lines)
        box |= QRect(at.x(), at.y(), std::max(1, fm.horizontalAdvance(text)), fm.height());
    return box.translated(block.Anchor).adjusted(-2, -1, 2, 1);
}

// What a debug text must leave readable: every block with its name above
// it, IPP pictures and notes.
std::vector<QRect> debugTextObstacles(const TFB_Diagram& diagram)
{
    std::vector<QRect> out;
    for (const auto& inst : diagram.DrawnInstances) {
        out.push_back(QRect(QPoint(inst->X - 20, inst->Y - 14), QPoint(inst->X + inst->Width + 20, inst->Y + inst->Height)));
        // A glyph has its instance and type names below it.
        if (PaintsAsGlyph(*inst))
            out.push_back(QRect(QPoint(inst->X - 30, inst->Y + inst->Height),
                                QPoint(inst->X + inst->Width + 30, inst->Y + inst->Height + Scaled(12, inst->Scale) + 20)));
    }
    for (const auto& pic : diagram.IPPPictures)
        if (pic->Ipp)
            out.push_back(QRect(QPoint(pic->X, pic->Y), QPoint(pic->X + pic->LabelWidth + 20, pic->Y + 40)));
    for (const auto& note : diagram.Notes)
        out.push_back(QRect(QPoint(note->X, note->Y), QPoint(note->Right, note->Bottom)));
    return out;
}

// Paints the debug texts last, each block on the note background where it
// covers no name, picture, note or other debug text: the place the overlay
// gives it when that is free, else lower down, else beside the block.
void paintDebugTexts(TDraw& d, const TFB_Diagram& diagram, TDiagramView& view)
{
    const QFontMetrics fm = d.Painter().fontMetrics();
    std::vector<TDebugText> blocks;
    for (const auto& inst : diagram.DrawnInstances)
        if (inst->Ref) {
            blocks.push_back(stateText(*inst));
            portValueTexts(*inst, fm, blocks);
        }
    std::vector<QRect> taken = debugTextObstacles(diagram);
    // The fixed port values claim their places first.
    std::stable_partition(blocks.begin(), blocks.end(), [](const TDebugText& b) { return !b.Movable; });
    const auto free = [&](const QRect& box) {
        return std::none_of(taken.begin(), taken.end(), [&](const QRect& t) { return t.intersects(box); });
    };
    view.DebugTextBoxes.clear();
    const uint32_t overlay = view.Blink ? DiagramColour::Imported : DiagramColour::Black;
    for (TDebugText& block : blocks) {
        const QRect wanted = debugTextBox(block, fm);
        QPoint shift(0, 0);
        if (block.Movable && !free(wanted)) {
            std::vector<QPoint> tries;
            for (int step = 1; step <= 12; ++step)
                tries.push_back(QPoint(0, 10 * step));
            // Beside the block it belongs to: right, then left, from its top
            // down.
            const TFB_Instance& owner = *block.Owner;
            for (int step = 0; step <= 6; ++step) {
                const int top = owner.Y - wanted.top() + step * wanted.height();
                tries.push_back(QPoint(owner.X + owner.Width + 24 - wanted.left(), top));
                tries.push_back(QPoint(owner.X - 24 - wanted.right(), top));
            }
            for (const QPoint& t : tries)
                if (free(wanted.translated(t))) {
                    shift = t;
                    break;
                }
        }
        const QRect box = wanted.translated(shift);
        taken.push_back(box);
        view.DebugTextBoxes.push_back(box);
        d.Pen(DiagramColour::ShownTypes, 1);
        d.Brush(DiagramColour::NoteFill);
        d.Rect(box.left(), box.top(), box.right() + 1, box.bottom() + 1);
        d.ClearBrush();
        d.FontColour(overlay);
        for (const auto& [at, text] : block.Lines)
            d.TextAt(block.Anchor.x() + shift.x() + at.x(), block.Anchor.y() + shift.y() + at.y(), text);
    }
    d.Pen(DiagramColour::Black, 1);
    d.Brush(DiagramColour::White);
}

// The arrows of pending events and monitored data at the ports; the texts
// come last, over everything (paintDebugTexts).
void paintDebugOverlay(TDraw& d, TFB_Instance& inst, bool blink)
{
    if (!inst.Ref)
        return;
    const uint32_t overlay = blink ? DiagramColour::Imported : DiagramColour::Black;
    d.Pen(overlay, 1);
    d.ClearBrush();
    d.PenWidth(3);
    for (const auto& p : inst.EventInputPorts)
        if (p->Event && p->Event->Pending) {
            const int px = p->X, py = p->Y;
            d.Line(px - 20, py - 4, px, py - 4);
            d.Polyline(QPolygon({QPoint(px - 2, py - 6), QPoint(px - 2, py - 2), QPoint(px, py - 4)}));
        }
    for (const auto& p : inst.EventOutputPorts)
        if (p->Event && p->Event->Pending) {
            const int px = p->X, py = p->Y;
            d.Line(px, py - 4, px + 20, py - 4);
            d.Polyline(QPolygon({QPoint(px + 18, py - 6), QPoint(px + 18, py - 2), QPoint(px + 20, py - 4)}));
        }
    d.Pen(blink ? 0x0000FF : DiagramColour::Black, 3);
    for (const auto& p : inst.DataInputPorts)
        if (p->Member && p->Member->Monitor) {
            const int px = p->X, py = p->Y;
            d.Line(px - 20, py, px, py);
            d.Polyline(QPolygon({QPoint(px - 2, py - 2), QPoint(px - 2, py + 2), QPoint(px, py)}));
        }
    for (const auto& p : inst.DataOutputPorts)
        if (p->Member && p->Member->Monitor) {
            const int px = p->X, py = p->Y;
            d.Line(px, py, px + 20, py);
            d.Polyline(QPolygon({QPoint(px + 18, py - 2), QPoint(px + 18, py + 2), QPoint(px + 20, py)}));
        }
    d.Pen(DiagramColour::Black, 1);
    d.Brush(DiagramColour::White);
}

// Whether any of the instance's picture can reach into the area: its block
// with the value and type texts beside it and the labels above and below.
bool instanceVisible(const TFB_Instance& inst, const TBounds& area)
{
    const int64_t left = int64_t{inst.X} - 400, right = int64_t{inst.X} + inst.Width + 400;
    const int64_t top = int64_t{inst.Y} - 30, bottom = int64_t{inst.Y} + inst.Height + 80;
    return right >= area.Left && left <= area.Right && bottom >= area.Top && top <= area.Bottom;
}

} // namespace

int32_t DiagramFontPoints(double zoom)
{
    return Scaled(7, zoom);
}

QString PrintCaption(const TFB_Diagram& diagram, const QDateTime& time)
{
    return QStringLiteral("[") + QLocale().toString(time, QLocale::ShortFormat) +
           QStringLiteral("] TELVO ESS, FB diagram: ") + qs(diagram.Name);
}

void PaintInstance(QPainter& painter, TFB_Instance& instance)
{
    TDraw d(painter);
    paintInstance(d, instance);
}

void PaintNote(QPainter& painter, TFBDnote& note, int32_t fontPoints)
{
    TDraw d(painter);
    paintNote(d, note, fontPoints);
}

void PaintIppPicture(QPainter& painter, TslIPP& picture, bool scaled)
{
    TDraw d(painter);
    paintIpp(d, picture, scaled);
}

bool PaintDiagram(QImage& image, TFB_Diagram* diagram, TDiagramView& view)
{
    if (!diagram || image.isNull())
        return false;
    image.setDotsPerMeterX(DotsPerMeter96);
    image.setDotsPerMeterY(DotsPerMeter96);
    const int W = image.width(), H = image.height();
    const double z = diagram->Zoom;
    const int fontPoints = DiagramFontPoints(z);
    const TBounds area{-4, -4, W + 4, H + 4};
    TRouteOptions options;
    options.ShowRemoteConnections = view.ShowRemoteConnections;
    options.InternalDeviceDiagram = diagram->IsInternalDeviceDiagram;

    QPainter painter(&image);
    painter.setFont(diagramFont(fontPoints));
    TDraw d(painter);
    const bool overview = z <= OverviewZoom + 1e-9 && !view.PrintMode;
    d.NoText = overview;

    // 1. Background.
    d.Pen(DiagramColour::White);
    d.Brush(DiagramColour::White);
    d.Rect(0, 0, W, H);
    // 2. Device frame.
    if (diagram->IsInternalDeviceDiagram)
        paintDeviceFrame(d, *diagram, W, H, view.ScrollY);
    // 3. Rubber band.
    d.Brush(DiagramColour::White);
    d.Pen(DiagramColour::Black, 1);
    if (view.RubberBand) {
        d.Dotted(true);
        d.ClearBrush();
        d.Rect(std::min(view.RubberLeft, view.RubberRight), std::min(view.RubberTop, view.RubberBottom),
               std::max(view.RubberLeft, view.RubberRight), std::max(view.RubberTop, view.RubberBottom));
        d.Dotted(false);
        d.Brush(DiagramColour::White);
    }
    // The routes below run to the port points of this paint, not of the
    // last one: an instance moved since then would otherwise pull its
    // lines one paint behind it.
    for (auto& inst : diagram->DrawnInstances)
        LayoutInstance(*inst);
    // 4. Event, then data connections.
    for (auto& line : diagram->EventLines)
        paintFBLine(d, *line, view, options, area, true);
    for (auto& line : diagram->DataLines)
        paintFBLine(d, *line, view, options, area, false);
    // 5, 6. The composite interface and its connections.
    if (diagram->InnerNetwork) {
        if (!diagram->CompositeType)
            return false;
        paintInterfaceFrame(d, *diagram->CompositeType, W, H, view.ScrollY);
        for (int i = 0; i < sizeOf(diagram->CompositeConns); ++i) {
            TCompositeConnection& c = *diagram->CompositeConns[i];
            RouteCompositeLine(c, *diagram, W, view.ScrollY, i);
            d.Pen(c.IsEvent() ? DiagramColour::InterfaceEvent : DiagramColour::InterfaceData,
                  c.Highlighted ? 2 : 1);
            if (lineVisible(c, area))
                drawLine(d, c);
        }
    }
    // 7. Instances.
    d.Dotted(false);
    for (auto& inst : diagram->DrawnInstances) {
        inst->Canvas = view.Canvas;
        if (instanceVisible(*inst, area)) {
            if (overview)
                paintOverviewInstance(d, *inst);
            else
                paintInstance(d, *inst);
        }
        if (view.DebugMode)
            paintDebugOverlay(d, *inst, view.Blink);
    }
    // 8. IPP pictures.
    for (auto& pic : diagram->IPPPictures)
        paintIpp(d, *pic, !diagram->IsInternalDeviceDiagram);
    // 9. IPP connections: the data ones, then the event ones.
    for (int pass = 0; pass < 2; ++pass) {
        const bool eventPass = pass == 1;
        for (auto& line : diagram->IPPFBLines) {
            if (!line->Ref || !line->Ref->IPP || line->Ref->IPP->IsEventIPP != eventPass)
                continue;
            TRemoteLabel label;
            if (!RouteIppLine(*line, options, label))
                continue;
            if (!lineVisible(*line, area))
                continue;
            d.Pen(DiagramColour::Black, line->Highlighted ? 2 : 1);
            drawLine(d, *line);
            d.PenWidth(1);
            if (label.Shown) {
                d.FontColour(eventPass ? DiagramColour::EventIpp : DiagramColour::DataIpp);
                d.TextAt(label.TextX, label.TextY, label.Text);
            }
        }
    }
    // 10. IPP-to-IPP connections.
    for (int i = 0; i < sizeOf(diagram->IPPtoIPPLines); ++i) {
        TFB_IPPtoIPPAssocInst& line = *diagram->IPPtoIPPLines[i];
        RouteIppToIppLine(line, i);
        d.Pen(DiagramColour::Black, line.Highlighted ? 2 : 1);
        drawLine(d, line);
    }
    d.PenWidth(1);
    // 11. Notes.
    for (auto& note : diagram->Notes)
        paintNote(d, *note, fontPoints);
    // The debug texts, over everything they must not hide behind.
    if (view.DebugMode && !overview)
        paintDebugTexts(d, *diagram, view);
    // The flash of a refused connection target, over everything else.
    if (view.Flash) {
        d.ClearBrush();
        d.Pen(DiagramColour::Warning, 3);
        d.Rect(view.FlashLeft, view.FlashTop, view.FlashRight, view.FlashBottom);
        d.PenWidth(1);
        d.Brush(DiagramColour::White);
    }
    // 12. The print caption.
    d.Dotted(false);
    if (view.PrintMode) {
        d.NoText = false;
        QFont caption = diagramFont(12);
        painter.setFont(caption);
        d.FontChanged();
        d.FontColour(DiagramColour::Black);
        const QDateTime when = view.CaptionTime.isValid() ? view.CaptionTime : QDateTime::currentDateTime();
        d.TextAt(20, H - 20, PrintCaption(*diagram, when));
        view.PrintMode = false;
    }
    return true;
}

} // namespace telvo
