#include "ui/diagram/diagram_geometry.h"

#include "systemlayer/system_layer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <initializer_list>
#include <utility>

namespace telvo {

namespace {

int32_t clamp32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Half of an integer difference, truncated towards zero.
int32_t half(int32_t v)
{
    return v / 2;
}

int32_t toBase(int32_t v, double scale)
{
    // A zoom of zero has no zoom-1 position; keep the one at hand.
    return scale > 0 ? RoundHalfEven(v / scale) : v;
}

// Inside an area rectangle: left <= x < right, top <= y < bottom.
struct TArea {
    int32_t Left, Top, Right, Bottom;
    explicit TArea(THitRect r)
        : Left(std::min(r.Left, r.Right)), Top(std::min(r.Top, r.Bottom)), Right(std::max(r.Left, r.Right)),
          Bottom(std::max(r.Top, r.Bottom))
    {
    }
    bool Holds(int64_t x, int64_t y) const { return Left <= x && x < Right && Top <= y && y < Bottom; }
};

bool hitBox(THitRect rect, int32_t x1, int32_t y1, int64_t x2, int64_t y2)
{
    if (rect.IsPoint())
        return x1 <= rect.Left && rect.Left <= x2 && y1 <= rect.Top && rect.Top <= y2;
    TArea area(rect);
    return area.Holds(x1, y1) && area.Holds(x2, y2);
}

template <typename List, typename Port>
int32_t indexIn(const List& list, const Port* port)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].get() == port)
            return static_cast<int32_t>(i);
    return -1;
}

} // namespace

int32_t Scaled(double length, double zoom)
{
    return RoundHalfEven(length * zoom);
}

int32_t TextLength(const std::string& text)
{
    int32_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

// ---------------------------------------------------------------------------
// Drawn-object operations

void BeginDrag(TFB_Instance& instance, int32_t x, int32_t y)
{
    if (!instance.Selected)
        return;
    instance.DragOffsetX = clamp32(int64_t{x} - instance.X);
    instance.DragOffsetY = clamp32(int64_t{y} - instance.Y);
}

void DragTo(TFB_Instance& instance, int32_t x, int32_t y)
{
    if (!instance.Selected)
        return;
    instance.X = clamp32(int64_t{x} - instance.DragOffsetX);
    instance.Y = clamp32(int64_t{y} - instance.DragOffsetY);
    instance.BaseX = toBase(instance.X, instance.Scale);
    instance.BaseY = toBase(instance.Y, instance.Scale);
    LayoutInstance(instance);
}

void MoveBy(TFB_Instance& instance, int32_t sx, int32_t sy)
{
    instance.X = clamp32(int64_t{instance.X} + instance.LastMouseX - sx);
    instance.Y = clamp32(int64_t{instance.Y} + instance.LastMouseY - sy);
    instance.LastMouseX = sx;
    instance.LastMouseY = sy;
    instance.BaseX = toBase(instance.X, instance.Scale);
    instance.BaseY = toBase(instance.Y, instance.Scale);
}

void SetScale(TFB_Instance& instance, double zoom)
{
    instance.X = Scaled(instance.BaseX, zoom);
    instance.Y = Scaled(instance.BaseY, zoom);
    instance.Width = Scaled(instance.BaseWidth, zoom);
    instance.Height = Scaled(instance.BaseHeight, zoom);
    instance.Scale = zoom;
    int32_t m = static_cast<int32_t>(std::max(instance.EventInputPorts.size(), instance.EventOutputPorts.size()));
    instance.Height = std::max(instance.Height + Scaled(16, zoom) * (m - 1), 40);
    LayoutInstance(instance);
}

void BeginDrag(TFBDnote& note, int32_t x, int32_t y)
{
    if (!note.Selected)
        return;
    note.DragOffsetX = clamp32(int64_t{x} - note.X);
    note.DragOffsetY = clamp32(int64_t{y} - note.Y);
}

void DragTo(TFBDnote& note, int32_t x, int32_t y)
{
    if (!note.Selected)
        return;
    note.X = clamp32(int64_t{x} - note.DragOffsetX);
    note.Y = clamp32(int64_t{y} - note.DragOffsetY);
    note.BaseX = toBase(note.X, note.Scale);
    note.BaseY = toBase(note.Y, note.Scale);
}

void MoveBy(TFBDnote& note, int32_t sx, int32_t sy)
{
    note.X = clamp32(int64_t{note.X} + note.LastMouseX - sx);
    note.Y = clamp32(int64_t{note.Y} + note.LastMouseY - sy);
    note.LastMouseX = sx;
    note.LastMouseY = sy;
    note.BaseX = toBase(note.X, note.Scale);
    note.BaseY = toBase(note.Y, note.Scale);
}

void SetScale(TFBDnote& note, double zoom)
{
    note.Scale = zoom;
    note.X = Scaled(note.BaseX, zoom);
    note.Y = Scaled(note.BaseY, zoom);
}

// ---------------------------------------------------------------------------
// Blocks and glyphs

TBlockMetrics MeasureBlock(const TFB_Instance& instance)
{
    TBlockMetrics m;
    const double z = instance.Scale;
    m.nE = static_cast<int32_t>(
        std::max<size_t>({instance.EventInputPorts.size(), instance.EventOutputPorts.size(), size_t{1}}));
    m.nD = static_cast<int32_t>(std::max(instance.DataInputPorts.size(), instance.DataOutputPorts.size()));
    int32_t nameLength = 0;
    if (instance.Ref && instance.Ref->Type) {
        const TFB_Type& type = *instance.Ref->Type;
        for (const auto& e : type.EventInputs)
            m.wIn += e->With.empty() ? 0 : 1;
        for (const auto& e : type.EventOutputs)
            m.wOut += e->With.empty() ? 0 : 1;
        nameLength = TextLength(type.Name);
    }
    // A row holds an input's name on the left and an output's on the right:
    // the block is wide enough for both side by side (at about 6 pixels a
    // character, with a gap), so that long names on one row do not run
    // into each other.
    int32_t rowWidth = 0;
    if (instance.Ref && instance.Ref->Type) {
        const TFB_Type& type = *instance.Ref->Type;
        const auto rows = [&](const auto& inputs, const auto& outputs) {
            for (size_t i = 0; i < std::min(inputs.size(), outputs.size()); ++i)
                rowWidth = std::max(rowWidth, 6 * (TextLength(inputs[i]->Name) + TextLength(outputs[i]->Name)) + 12);
        };
        rows(type.EventInputs, type.EventOutputs);
        rows(type.DataInputs, type.DataOutputs);
    }
    const int32_t w0 = std::max({8 * nameLength, 140, rowWidth});
    const int32_t h0 = std::max(16 * m.nE + 20 + 16 * m.nD + 20, 150);
    m.H = Scaled(h0, z);
    m.W = Scaled(w0, z);
    m.s = Scaled(16, z);
    m.e = Scaled(16.0 * m.nE, z);
    m.n = Scaled(16.0 * m.nE + 20, z);
    m.r = RoundHalfEven(0.2 * m.W);
    return m;
}

TGlyphMetrics MeasureGlyph(const TFB_Instance& instance)
{
    TGlyphMetrics g;
    const double z = instance.Scale;
    g.S = Scaled(50, z);
    g.L = instance.X;
    g.T = instance.Y;
    g.R = g.L + g.S;
    g.B = g.T + g.S;
    g.M = g.T + half(g.B - g.T);
    g.C = g.L + half(g.R - g.L);
    g.u = Scaled(8, z);
    return g;
}

bool HasGlyph(const std::string& typeName)
{
    static const char* const withGlyph[] = {"E_SPLIT", "E_MERGE",  "E_REND",    "E_PERMIT",     "E_SELECT",
                                            "E_SWITCH", "E_DELAY", "E_RESTART", "E_CYCLE",      "SISTEP_EVGEN",
                                            "SISTEP_EVBOOL"};
    return std::any_of(std::begin(withGlyph), std::end(withGlyph), [&](const char* n) { return typeName == n; });
}

bool PaintsAsGlyph(const TFB_Instance& instance)
{
    // A stereotype without a glyph of its own would show as two texts with
    // lines running to nowhere: it keeps its block.
    return instance.IsStereotype && instance.DrawAsGlyph && instance.Ref && instance.Ref->Type &&
           HasGlyph(instance.Ref->Type->Name);
}

namespace {

void layoutBlock(TFB_Instance& inst)
{
    const TBlockMetrics m = MeasureBlock(inst);
    inst.Width = m.W;
    inst.Height = m.H;
    const int32_t x = inst.X, y = inst.Y;
    for (size_t i = 0; i < inst.EventInputPorts.size(); ++i) {
        inst.EventInputPorts[i]->X = x - 1;
        inst.EventInputPorts[i]->Y = y + static_cast<int32_t>(i) * m.s + 7;
    }
    for (size_t i = 0; i < inst.EventOutputPorts.size(); ++i) {
        inst.EventOutputPorts[i]->X = x + m.W;
        inst.EventOutputPorts[i]->Y = y + static_cast<int32_t>(i) * m.s + 7;
    }
    // Row 0 of the body holds the type name: data rows start at 1.
    for (size_t k = 0; k < inst.DataInputPorts.size(); ++k) {
        inst.DataInputPorts[k]->X = x - 1;
        inst.DataInputPorts[k]->Y = y + m.n + static_cast<int32_t>(k + 1) * m.s + 7;
    }
    for (size_t k = 0; k < inst.DataOutputPorts.size(); ++k) {
        inst.DataOutputPorts[k]->X = x + m.W - 1;
        inst.DataOutputPorts[k]->Y = y + m.n + static_cast<int32_t>(k + 1) * m.s + 7;
    }
}

} // namespace

std::vector<TGlyphPort> GlyphPorts(const TFB_Instance& inst)
{
    std::vector<TGlyphPort> ports;
    if (!inst.Ref || !inst.Ref->Type)
        return ports;
    const std::string& type = inst.Ref->Type->Name;
    const TGlyphMetrics g = MeasureGlyph(inst);
    const double z = inst.Scale;
    const int32_t L = g.L, T = g.T, R = g.R, B = g.B, M = g.M, C = g.C, u = g.u;
    const int32_t rz = Scaled(1, z), z2 = Scaled(2, z), z12 = Scaled(12, z), z16 = Scaled(16, z);

    auto add = [&](TGlyphPort::TKind kind, int32_t index, int32_t px, int32_t py, std::string label, int32_t lx,
                   int32_t ly) -> TGlyphPort& {
        TGlyphPort p;
        p.Kind = kind;
        p.Index = index;
        p.X = px;
        p.Y = py;
        p.Label = std::move(label);
        p.LabelX = lx;
        p.LabelY = ly;
        ports.push_back(std::move(p));
        return ports.back();
    };
    auto stub = [](TGlyphPort& p, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
        p.HasStub = true;
        p.StubX1 = x1;
        p.StubY1 = y1;
        p.StubX2 = x2;
        p.StubY2 = y2;
    };
    using K = TGlyphPort::TKind;
    // The left and right event ports of the box glyphs, one row up or down.
    auto leftEvent = [&](int32_t index, int32_t py, std::string label, int32_t labelOffset) {
        stub(add(K::EventIn, index, L, py, std::move(label), L - labelOffset, py + 1), L + u, py, L, py);
    };
    auto rightEvent = [&](int32_t index, int32_t py, std::string label) {
        stub(add(K::EventOut, index, R, py, std::move(label), R - 2, py + 1), R - u, py, R, py);
    };
    auto topData = [&](std::string label) {
        TGlyphPort& p = add(K::DataIn, 0, C, T + z2, std::move(label), C + 4, T + z2 - 1);
        stub(p, C, T + z2, C, T + z16);
        p.ShowsValue = true;
    };
    auto mergeShape = [&] {
        stub(add(K::EventOut, 0, R - rz, M, "EO", R, M + 2), R - u, M, R - rz, M);
        add(K::EventIn, 0, L + rz, T + u, "EI1", L - z12, T + u + 1);
        add(K::EventIn, 1, L + rz, B - u, "EI2", L - z12, B - u + 1);
    };
    auto nameOf = [&](K kind, size_t index) -> std::string {
        const TFB_InstanceRef& r = *inst.Ref;
        if (kind == K::EventIn)
            return index < r.EventInputs.size() ? r.EventInputs[index]->Name() : std::string();
        if (kind == K::EventOut)
            return index < r.EventOutputs.size() ? r.EventOutputs[index]->Name() : std::string();
        if (kind == K::DataIn)
            return index < r.DataInputs.size() ? r.DataInputs[index]->Name() : std::string();
        return index < r.DataOutputs.size() ? r.DataOutputs[index]->Name() : std::string();
    };

    if (type == "E_SPLIT") {
        stub(add(K::EventIn, 0, L + rz, M, "EI", L, M + 2), L + u, M, L, M);
        add(K::EventOut, 0, R - rz, T + u, "EO1", R, T + u + 1);
        add(K::EventOut, 1, R - rz, B - u, "EO2", R, B - u + 1);
    } else if (type == "E_MERGE") {
        mergeShape();
    } else if (type == "E_REND") {
        mergeShape();
        stub(add(K::EventIn, 2, C, T + z2, "R", C + 4, T + z2 + 1), C, T + z2, C, T + z16);
    } else if (type == "E_PERMIT") {
        leftEvent(0, M, "EI", 4);
        rightEvent(0, M, "EO");
        topData("P");
    } else if (type == "E_SELECT") {
        leftEvent(0, M - u, "EI0", 8);
        leftEvent(1, M + u, "EI1", 8);
        rightEvent(0, M, "EO");
        topData("G");
    } else if (type == "E_SWITCH") {
        leftEvent(0, M, "EI", 4);
        rightEvent(0, M - u, "EO0");
        rightEvent(1, M + u, "EO1");
        topData("G");
    } else if (type == "E_DELAY" || type == "E_CYCLE") {
        leftEvent(0, M - u, "START", 22);
        leftEvent(1, M + u, "STOP", 16);
        rightEvent(0, M, "EO");
        topData("DT");
    } else if (type == "E_RESTART") {
        const int32_t ys[3] = {M - Scaled(17, z), M, M + z16};
        const char* names[3] = {"COLD", "WARM", "STOP"};
        for (int i = 0; i < 3; ++i)
            stub(add(K::EventOut, i, R - rz, ys[i], names[i], R - rz, ys[i] + 1), R - Scaled(24, z), ys[i], R - rz,
                 ys[i]);
    } else if (type == "SISTEP_EVGEN" || type == "SISTEP_EVBOOL") {
        const int32_t upperLeft = type == "SISTEP_EVGEN" ? 0 : 2;
        leftEvent(upperLeft, M - u, nameOf(K::EventIn, upperLeft), 8);
        leftEvent(1, M + u, nameOf(K::EventIn, 1), 8);
        rightEvent(0, M - u, nameOf(K::EventOut, 0));
        rightEvent(1, M + u, nameOf(K::EventOut, 1));
        const int32_t q = g.S / 4;
        const int32_t x1 = L + q, x2 = L + 3 * q;
        stub(add(K::DataIn, 0, x1, B, nameOf(K::DataIn, 0), x1 + 4, B - z2 + 1), x1, B, x1, B - z12);
        stub(add(K::DataOut, 0, x2, B - z2, nameOf(K::DataOut, 0), x2 + 4, B - z2 + 1), x2, B - z2, x2, B - z12);
    }
    // Only ports the instance has are shown.
    std::erase_if(ports, [&](const TGlyphPort& p) {
        size_t count = p.Kind == K::EventIn    ? inst.EventInputPorts.size()
                       : p.Kind == K::EventOut ? inst.EventOutputPorts.size()
                       : p.Kind == K::DataIn   ? inst.DataInputPorts.size()
                                               : inst.DataOutputPorts.size();
        return p.Index < 0 || static_cast<size_t>(p.Index) >= count;
    });
    return ports;
}

namespace {

void layoutGlyph(TFB_Instance& inst)
{
    const TGlyphMetrics g = MeasureGlyph(inst);
    inst.Width = g.S;
    inst.Height = g.S;
    for (auto& p : inst.EventInputPorts) {
        p->X = g.L;
        p->Y = g.M;
    }
    for (auto& p : inst.DataInputPorts) {
        p->X = g.L;
        p->Y = g.M;
    }
    for (auto& p : inst.EventOutputPorts) {
        p->X = g.R;
        p->Y = g.M;
    }
    for (auto& p : inst.DataOutputPorts) {
        p->X = g.R;
        p->Y = g.M;
    }
    for (const TGlyphPort& p : GlyphPorts(inst)) {
        int32_t* px = nullptr;
        int32_t* py = nullptr;
        switch (p.Kind) {
        case TGlyphPort::EventIn:
            px = &inst.EventInputPorts[p.Index]->X, py = &inst.EventInputPorts[p.Index]->Y;
            break;
        case TGlyphPort::EventOut:
            px = &inst.EventOutputPorts[p.Index]->X, py = &inst.EventOutputPorts[p.Index]->Y;
            break;
        case TGlyphPort::DataIn:
            px = &inst.DataInputPorts[p.Index]->X, py = &inst.DataInputPorts[p.Index]->Y;
            break;
        case TGlyphPort::DataOut:
            px = &inst.DataOutputPorts[p.Index]->X, py = &inst.DataOutputPorts[p.Index]->Y;
            break;
        }
        *px = p.X;
        *py = p.Y;
    }
}

} // namespace

void LayoutInstance(TFB_Instance& instance)
{
    if (PaintsAsGlyph(instance))
        layoutGlyph(instance);
    else
        layoutBlock(instance);
}

// ---------------------------------------------------------------------------
// Notes and IPP pictures

int32_t CountLineBreaks(const std::string& text)
{
    int32_t n = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
            ++n;
    return n;
}

void LayoutNote(TFBDnote& note, int32_t fontPoints)
{
    const int32_t length = TextLength(note.Text);
    const int32_t lines = CountLineBreaks(note.Text);
    const int32_t capped = std::min(length, 50);
    note.Right = RoundHalfEven(capped * static_cast<double>(fontPoints) * note.Scale * 0.8 + note.X);
    const int32_t rows = std::max(lines, length / 50) + 1;
    note.Bottom = RoundHalfEven(20.0 * rows * note.Scale + note.Y);
}

double IppDrawScale(const TslIPP& picture, bool scaled)
{
    return scaled ? picture.Scale : 1.0;
}

void LayoutIppPicture(TslIPP& picture, bool scaled)
{
    if (!picture.Ipp)
        return;
    const double s = IppDrawScale(picture, scaled);
    int32_t n = TextLength(picture.Ipp->Name);
    if (picture.Ipp->Owner)
        n = std::max(n, TextLength(picture.Ipp->Owner->Name));
    const int32_t wl = 5 * n;
    picture.LabelWidth = wl;
    const int32_t x = picture.X, y = picture.Y;
    if (picture.Ipp->IsActuator()) {
        picture.Anchor1X = x + Scaled(5, s);
        picture.Anchor1Y = y + Scaled(12, s);
        picture.Anchor2X = x + Scaled(wl + 20, s);
        picture.Anchor2Y = y + Scaled(12, s);
    } else {
        picture.Anchor1X = x + Scaled(wl + 6, s);
        picture.Anchor1Y = y + Scaled(12, s);
        picture.Anchor2X = x;
        picture.Anchor2Y = y + Scaled(12, s);
    }
}

// ---------------------------------------------------------------------------
// Hit tests

bool HitTest(const TFB_Instance& instance, THitRect rect)
{
    return hitBox(rect, instance.X, instance.Y, int64_t{instance.X} + instance.Width,
                  int64_t{instance.Y} + instance.Height);
}

bool HitTest(const TFBDnote& note, THitRect rect)
{
    return hitBox(rect, note.X, note.Y, note.Right, note.Bottom);
}

bool HitTest(const TslIPP& picture, THitRect rect)
{
    // The box is not scaled: it is the label's width whatever the zoom.
    return hitBox(rect, picture.X, picture.Y, int64_t{picture.X} + picture.LabelWidth, int64_t{picture.Y} + 24);
}

namespace {

template <typename List>
auto portAt(const List& pictures, int32_t x, int32_t y, int32_t left, int32_t right, int32_t h2)
    -> decltype(pictures.front().get())
{
    for (const auto& p : pictures) {
        if (int64_t{p->X} + left <= x && x < int64_t{p->X} + right && int64_t{p->Y} - h2 < y &&
            y < int64_t{p->Y} + h2)
            return p.get();
    }
    return nullptr;
}

} // namespace

TFBEvent* EventPortAt(const TFB_Instance& instance, int32_t x, int32_t y)
{
    const int32_t h2 = half(Scaled(16, instance.Scale));
    if (auto* p = portAt(instance.EventInputPorts, x, y, -5, 20, h2))
        return p->Event;
    if (auto* p = portAt(instance.EventOutputPorts, x, y, -30, 5, h2))
        return p->Event;
    return nullptr;
}

TFBDataMember* DataPortAt(const TFB_Instance& instance, int32_t x, int32_t y)
{
    const int32_t h2 = half(Scaled(16, instance.Scale));
    if (auto* p = portAt(instance.DataInputPorts, x, y, -5, 30, h2))
        return p->Member;
    if (auto* p = portAt(instance.DataOutputPorts, x, y, -30, 5, h2))
        return p->Member;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Composite interface

std::vector<TInterfacePort> InterfacePorts(const TFB_Type& type, int32_t width, int32_t scrollY)
{
    std::vector<TInterfacePort> ports;
    ports.reserve(type.EventInputs.size() + type.EventOutputs.size() + type.DataInputs.size() +
                  type.DataOutputs.size());
    auto add = [&](TFBEventType* ev, TFBDataMemberType* data, TInterfaceSide side, int32_t row) {
        TInterfacePort p;
        p.Event = ev;
        p.Data = data;
        p.Side = side;
        p.Row = row;
        p.Top = 20 * row - scrollY;
        p.X = side == TInterfaceSide::Left ? 45 : width - 70;
        p.Y = p.Top + (ev ? 11 : 12);
        ports.push_back(p);
    };
    const int32_t nEI = static_cast<int32_t>(type.EventInputs.size());
    const int32_t nEO = static_cast<int32_t>(type.EventOutputs.size());
    for (int32_t i = 0; i < nEI; ++i)
        add(type.EventInputs[i].get(), nullptr, TInterfaceSide::Left, i);
    for (size_t i = 0; i < type.DataInputs.size(); ++i)
        add(nullptr, type.DataInputs[i].get(), TInterfaceSide::Left, nEI + 1 + static_cast<int32_t>(i));
    for (int32_t i = 0; i < nEO; ++i)
        add(type.EventOutputs[i].get(), nullptr, TInterfaceSide::Right, i);
    for (size_t i = 0; i < type.DataOutputs.size(); ++i)
        add(nullptr, type.DataOutputs[i].get(), TInterfaceSide::Right, nEO + 1 + static_cast<int32_t>(i));
    return ports;
}

std::optional<TInterfacePort> InterfacePortOf(const TFB_Type& type, const void* declaration, int32_t width,
                                              int32_t scrollY)
{
    if (!declaration)
        return std::nullopt;
    for (const TInterfacePort& p : InterfacePorts(type, width, scrollY))
        if (static_cast<const void*>(p.Event) == declaration || static_cast<const void*>(p.Data) == declaration)
            return p;
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Routes

int32_t PortIndex(const TFBEvent* port)
{
    if (!port || !port->Owner)
        return 0;
    int32_t i = indexIn(port->Owner->EventInputs, port);
    if (i < 0)
        i = indexIn(port->Owner->EventOutputs, port);
    return std::max(i, 0);
}

int32_t PortIndex(const TFBDataMember* port)
{
    if (!port || !port->Owner)
        return 0;
    int32_t i = indexIn(port->Owner->DataInputs, port);
    if (i < 0)
        i = indexIn(port->Owner->DataOutputs, port);
    return std::max(i, 0);
}

TFB_Instance* DrawnOf(const TFB_Diagram& diagram, const TFB_InstanceRef* record)
{
    if (!record)
        return nullptr;
    for (const auto& d : diagram.DrawnInstances)
        if (d->Ref == record)
            return d.get();
    return nullptr;
}

namespace {

// Every paint reroutes every line: the points the line has are written over
// rather than freed and made again.
void setRoute(Tlineobj& line, std::initializer_list<std::pair<int32_t, int32_t>> points)
{
    if (line.Points.size() > points.size())
        line.Points.resize(points.size());
    size_t i = 0;
    for (const auto& [x, y] : points) {
        if (i < line.Points.size()) {
            line.Points[i]->X = static_cast<float>(x);
            line.Points[i]->Y = static_cast<float>(y);
        } else {
            line.AddPoint(x, y);
        }
        ++i;
    }
}

} // namespace

void SetElbowRoute(Tlineobj& line, int32_t xs, int32_t ys, int32_t m, int32_t xe, int32_t ye)
{
    setRoute(line, {{xs, ys}, {m, ys}, {m, ye}, {xe, ye}});
}

namespace {

std::string endName(const TFB_InstanceRef* record, const std::string& port)
{
    return (record ? record->Name : std::string()) + "." + port;
}

// The shared part of event and data routes. `localIsInput` tells, for a stub,
// which end is here.
template <typename Line, typename Port>
TRouteResult routeFBLine(Line& line, const TRouteOptions& options, const Port* destPort, const Port* sourcePort,
                         const TFB_InstanceRef* destRecord, const TFB_InstanceRef* sourceRecord, bool isEvent)
{
    TRouteResult result;
    auto* dp = line.DestPortPic;
    auto* sp = line.SourcePortPic;
    if (!dp || !sp) {
        line.ClearPoints();
        return result;
    }
    int32_t xi = dp->X, yi = dp->Y, xo = sp->X, yo = sp->Y;
    if (dp == sp && options.ShowRemoteConnections) {
        // A connection to another diagram: both ends sit on the local port;
        // the remote one is moved away and named.
        const bool localIsInput = [&] {
            if constexpr (std::is_same_v<Port, TFBEvent>)
                return dp->Event == destPort;
            else
                return dp->Member == destPort;
        }();
        TRemoteLabel& label = result.Label;
        label.Shown = true;
        label.Arrow = true;
        if (localIsInput) {
            xo = xi - 60;
            yo = yi;
            label.ArrowX = xo;
            label.ArrowY = yo;
            label.TextX = xo - (isEvent ? 60 : 40);
            label.TextY = yo - 9;
            label.Text = endName(sourceRecord, sourcePort ? sourcePort->Name() : std::string());
        } else {
            xi = xo + 60;
            yi = yo;
            label.ArrowX = xi;
            label.ArrowY = yi;
            label.TextX = xi - 20;
            label.TextY = yi - 9;
            label.Text = endName(destRecord, destPort ? destPort->Name() : std::string());
        }
    }
    if (xi >= xo) {
        const int32_t l = PortIndex(destPort);
        line.PortIndex = l;
        const int32_t m = xo + RoundHalfEven((xi - xo) / 2.0) + 4 * l - 8;
        SetElbowRoute(line, xo, yo, m, xi, yi);
        return result;
    }
    result.Backward = true;
    const int32_t l = PortIndex(sourcePort);
    line.PortIndex = l;
    const int32_t tOut = line.SourceDrawn ? line.SourceDrawn->Y : yo;
    const int32_t tIn = line.DestDrawn ? line.DestDrawn->Y : yi;
    const int32_t g = isEvent ? 20 : 22;
    const int32_t a = isEvent ? 2 : 12;
    const int32_t m = xo + RoundHalfEven((xi - xo) / 2.0) + 4 * l - 18;
    const int32_t above = tOut - g - 4 * l;
    const int32_t aboveIn = tIn - g - 4 * l;
    setRoute(line, {{xo, yo},
                    {xo + a + 4 * l, yo},
                    {xo + a + 4 * l, above},
                    {m, above},
                    {m, aboveIn},
                    {xi - 2 - 4 * l, aboveIn},
                    {xi - 2 - 4 * l, yi},
                    {xi, yi}});
    return result;
}

int32_t elbowMiddle(int32_t xs, int32_t xe, int32_t l)
{
    return xs + RoundHalfEven((xe - xs) / 2.0 - 8 + 4 * l);
}

} // namespace

TRouteResult RouteEventLine(TFB_EventAssoc& line, const TRouteOptions& options)
{
    const TFB_EventAssocRef* r = line.Ref;
    return routeFBLine(line, options, r ? r->DestPort : nullptr, r ? r->SourcePort : nullptr,
                       r ? r->DestInstance : nullptr, r ? r->SourceInstance : nullptr, true);
}

TRouteResult RouteDataLine(TFB_DataAssoc& line, const TRouteOptions& options)
{
    const TFB_DataAssocRef* r = line.Ref;
    return routeFBLine(line, options, r ? r->DestPort : nullptr, r ? r->SourcePort : nullptr,
                       r ? r->DestInstance : nullptr, r ? r->SourceInstance : nullptr, false);
}

void RouteCompositeLine(TCompositeConnection& line, const TFB_Diagram& diagram, int32_t width, int32_t scrollY,
                        int32_t index)
{
    line.ClearPoints(); // few lines: cleared, so that a missing end leaves none
    line.PortIndex = index;
    if (!diagram.CompositeType)
        return;
    const void* decl = line.IsEvent() ? static_cast<const void*>(line.InterfaceEvent)
                                      : static_cast<const void*>(line.InterfaceData);
    auto start = InterfacePortOf(*diagram.CompositeType, decl, width, scrollY);
    if (!start)
        return;
    int32_t xe = 0, ye = 0;
    if (line.IsEvent()) {
        TFB_Instance* drawn = DrawnOf(diagram, line.InnerEvent->Owner);
        TFBEventDraw* pic = drawn ? drawn->PictureOf(line.InnerEvent) : nullptr;
        if (!pic)
            return;
        xe = pic->X, ye = pic->Y;
    } else {
        TFB_Instance* drawn = line.InnerData ? DrawnOf(diagram, line.InnerData->Owner) : nullptr;
        TFBDataMemberDraw* pic = drawn ? drawn->PictureOf(line.InnerData) : nullptr;
        if (!pic)
            return;
        xe = pic->X, ye = pic->Y;
    }
    SetElbowRoute(line, start->X, start->Y, elbowMiddle(start->X, xe, index), xe, ye);
}

bool RouteIppLine(TFB_IPPFBAssocsInst& line, const TRouteOptions& options, TRemoteLabel& label)
{
    label = {};
    const TFB_IPPFBAssocsRef* r = line.Ref;
    if (!r || !r->IPP) {
        line.ClearPoints();
        return false;
    }
    const bool actuator = r->IPP->IsActuator();
    // The FB end, when it is drawn here.
    bool fbHere = false;
    int32_t fx = 0, fy = 0;
    std::string portName;
    int32_t l = 0;
    if (r->EventPort) {
        portName = r->EventPort->Name();
        l = PortIndex(r->EventPort);
    } else if (r->DataPort) {
        portName = r->DataPort->Name();
        l = PortIndex(r->DataPort);
    }
    if (line.Drawn && line.EventPortPic) {
        fbHere = true;
        fx = line.EventPortPic->X, fy = line.EventPortPic->Y;
    } else if (line.Drawn && line.DataPortPic) {
        fbHere = true;
        fx = line.DataPortPic->X, fy = line.DataPortPic->Y;
    }
    line.PortIndex = l;
    int32_t xs = 0, ys = 0, xe = 0, ye = 0;
    if (line.IPPPicture) {
        const TslIPP& pic = *line.IPPPicture;
        const int32_t ix = options.InternalDeviceDiagram ? pic.Anchor2X : pic.Anchor1X;
        const int32_t iy = pic.Anchor1Y;
        if (actuator) {
            xe = ix, ye = iy;
            if (fbHere)
                xs = fx, ys = fy;
            else
                xs = ix - 50, ys = iy + 5;
        } else {
            xs = ix, ys = iy;
            if (fbHere)
                xe = fx, ye = fy;
            else
                xe = ix + 50, ye = iy + 5;
        }
        if (!fbHere) {
            label.Shown = true;
            label.Text = endName(r->Instance, portName);
            label.TextX = actuator ? xs - 20 : xe - 40;
            label.TextY = actuator ? ys + 2 : ye + 2;
        }
    } else {
        if (!fbHere || !options.ShowRemoteConnections) {
            line.ClearPoints();
            return false;
        }
        if (actuator) {
            xs = fx, ys = fy;
            xe = fx + 50, ye = fy + 5;
        } else {
            xe = fx, ye = fy;
            xs = fx - 50, ys = fy + 5;
        }
        label.Shown = true;
        label.Text = (r->IPP->Owner ? r->IPP->Owner->Name : std::string()) + "." + r->IPP->Name;
        label.TextX = actuator ? xe - 30 : xs - 60;
        label.TextY = actuator ? ye + 2 : ys + 2;
    }
    SetElbowRoute(line, xs, ys, elbowMiddle(xs, xe, l), xe, ye);
    return true;
}

void RouteIppToIppLine(TFB_IPPtoIPPAssocInst& line, int32_t index)
{
    line.ClearPoints();
    line.PortIndex = index;
    if (!line.SourcePicture || !line.DestPicture)
        return;
    const int32_t xs = line.SourcePicture->Anchor1X, ys = line.SourcePicture->Anchor1Y;
    const int32_t xe = line.DestPicture->Anchor1X, ye = line.DestPicture->Anchor1Y;
    SetElbowRoute(line, xs, ys, elbowMiddle(xs, xe, index), xe, ye);
}

void LayoutDeviceIpps(TFB_Diagram& diagram, int32_t width, int32_t scrollY)
{
    int32_t sensors = 0, actuators = 0;
    for (auto& pic : diagram.IPPPictures) {
        if (!pic->Ipp)
            continue;
        if (pic->Ipp->IsActuator()) {
            pic->SetX(5);
            pic->SetY(40 * actuators++ + 20 - scrollY);
        } else {
            pic->SetX(width - 118);
            pic->SetY(40 * sensors++ + 20 - scrollY);
        }
    }
}

} // namespace telvo
