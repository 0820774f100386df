#include "ui/systemlayer/sl_renderer.h"

#include "systemlayer/geometry.h"
#include "systemlayer/system_layer.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QToolTip>

#include <algorithm>

namespace telvo {

const QImage* TslPictureCache::Picture(const std::string& file, int w, int h)
{
    if (file.empty() || w <= 0 || h <= 0)
        return nullptr;
    const QString name = QString::fromStdString(file);
    auto it = pictures_.find(name);
    if (it == pictures_.end()) {
        QImage image(name);
        if (image.isNull())
            Missing(file);
        it = pictures_.insert(name, image.convertToFormat(QImage::Format_RGB32));
    }
    if (it->isNull())
        return nullptr;
    if (it->width() == w && it->height() == h)
        return &*it;
    // Pictures are stretched to the object's box; stretching once per size
    // keeps a paint of hundreds of devices cheap.
    const QString key = name + QLatin1Char('|') + QString::number(w) + QLatin1Char('x') + QString::number(h);
    auto scaled = scaled_.find(key);
    if (scaled == scaled_.end() && scaled_.size() > 2000)
        scaled_.clear(); // many zoom steps later: start again rather than grow
    scaled = scaled_.find(key);
    if (scaled == scaled_.end())
        scaled = scaled_.insert(key, it->scaled(w, h, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    return &*scaled;
}

void TslPictureCache::Missing(const std::string& file)
{
    const QString name = QString::fromStdString(file);
    if (told_.contains(name))
        return;
    told_.insert(name, true);
    if (OnMissing)
        OnMissing(file);
}

namespace {

QColor rgb(unsigned c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

// Text placed by its top-left corner, as the drawing's coordinates give it.
void textAt(QPainter& p, int x, int y, const QString& text)
{
    p.drawText(QRect(x, y, 2000, 200), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
}

// A box spanning x1..x2-1, y1..y2-1, outlined with the pen, filled with the
// brush.
void box(QPainter& p, int x1, int y1, int x2, int y2)
{
    if (x2 - x1 < 1 || y2 - y1 < 1)
        return;
    p.drawRect(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
}

void paintFieldbus(QPainter& p, const TslObject& o, int L, int T)
{
    const int W = o.Width, H = o.Height, M = T + H / 2;
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(Qt::white);
    p.drawRect(QRect(L, T, W, H));
    const QPolygon arrow({QPoint(L + 2, M), QPoint(L + 12, M - 10), QPoint(L + 12, M - 5), QPoint(L + W - 12, M - 5),
                          QPoint(L + W - 12, M - 10), QPoint(L + W - 2, M), QPoint(L + W - 12, M + 10),
                          QPoint(L + W - 12, M + 5), QPoint(L + 12, M + 5), QPoint(L + 12, M + 10)});
    p.setPen(QPen(rgb(SystemLayerColour::Navy), 1));
    p.setBrush(rgb(SystemLayerColour::FieldbusFill));
    p.drawPolygon(arrow);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 1));
    if (o.Kind == slIECFieldbus)
        textAt(p, L + W / 2 - 10, M - 7, QStringLiteral("IEC"));
}

void paintFBSymbols(QPainter& p, size_t count, int L, int T, int H)
{
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(rgb(SystemLayerColour::FBSymbol));
    for (size_t n = 0; n < count; ++n) {
        const int i = int(std::min<size_t>(n, 10000));
        box(p, L + 2 * i, T + H - 2 * i - 20, L + 2 * i + 10, T + H - 2 * i - 16);
        box(p, L + 2 * i + 2, T + H - 2 * i - 17, L + 2 * i + 8, T + H - 2 * i - 14);
        box(p, L + 2 * i, T + H - 2 * i - 15, L + 2 * i + 10, T + H - 2 * i - 2);
    }
    p.setBrush(Qt::NoBrush);
}

void paintIppMarkers(QPainter& p, const TslIPT& ipt, const TslIPPRef* hover, int L, int T)
{
    for (size_t n = 0; n < ipt.IPPList.size(); ++n) {
        const TslIPPRef& ipp = *ipt.IPPList[n];
        const int x = L + 15 * int(n);
        unsigned fill;
        if (ipp.IsActuator())
            fill = ipp.IsEventIPP ? SystemLayerColour::ActuatorEvent : SystemLayerColour::ActuatorData;
        else
            fill = ipp.IsEventIPP ? SystemLayerColour::SensorEvent : SystemLayerColour::SensorData;
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(rgb(fill));
        box(p, x + 4, T - 15, x + 20, T);
        // The marker opens into its IPT: the edge between them takes the
        // marker's colour.
        p.setPen(QPen(rgb(fill), 1));
        p.drawLine(x + 5, T - 1, x + 18, T - 1);
        p.drawLine(x + 5, T, x + 18, T);
        p.setPen(QPen(Qt::black, 1));
        const int tip = ipp.IsActuator() ? T - 13 : T - 17;
        p.drawPolyline(QPolygon({QPoint(x + 4, T - 15), QPoint(x + 12, tip), QPoint(x + 20, T - 15)}));
        if (!ipp.Name.empty())
            textAt(p, x + 8, T - 15, QString::fromStdString(ipp.Name).left(1));
        if (&ipp == hover) {
            const QString name = QString::fromStdString(ipp.Name);
            const QRect r = p.fontMetrics().boundingRect(name);
            p.fillRect(QRect(x + 8, T - 35, r.width() + 2, p.fontMetrics().height()),
                       QToolTip::palette().color(QPalette::ToolTipBase));
            textAt(p, x + 8, T - 35, name);
        }
    }
    p.setBrush(Qt::NoBrush);
}

} // namespace

void PaintSystemLayer(QImage& image, TSystemLayerManager& layer, TslPictureCache& pictures, double zoom)
{
    if (image.isNull())
        return;
    layer.ApplyLayout();
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(0, 0, image.width() - 1, image.height() - 1);
    if (zoom > 0 && zoom != 1.0)
        p.scale(zoom, zoom);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    p.setFont(font);

    // What lies wholly outside the image is not drawn (a plant is larger
    // than the window).
    const double scale = zoom > 0 ? zoom : 1.0;
    const QRect visible(0, 0, int(image.width() / scale) + 2, int(image.height() / scale) + 2);

    // Connections under the objects.
    for (const auto& c : layer.Connections) {
        if (c->Points.size() < 2)
            continue;
        float x0 = c->Points[0]->X, x1 = x0, y0 = c->Points[0]->Y, y1 = y0;
        for (const auto& point : c->Points) {
            x0 = std::min(x0, point->X), x1 = std::max(x1, point->X);
            y0 = std::min(y0, point->Y), y1 = std::max(y1, point->Y);
        }
        if (x1 < visible.left() - 2 || x0 > visible.right() + 2 || y1 < visible.top() - 2 ||
            y0 > visible.bottom() + 2)
            continue;
        const bool bus = (c->SourceObject && c->SourceObject->Kind == slIECFieldbus) ||
                         (c->TargetObject && c->TargetObject->Kind == slIECFieldbus);
        if (c->Selected)
            p.setPen(QPen(rgb(SystemLayerColour::Selected), 2));
        else
            p.setPen(QPen(Qt::black, bus ? 2 : 1));
        QPolygon route;
        route.reserve(int(c->Points.size()));
        for (const auto& point : c->Points)
            route << QPoint(int(point->X), int(point->Y));
        p.drawPolyline(route);
    }

    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    for (const auto& object : layer.Objects) {
        TslObject& o = *object;
        const int L = layer.ScrollX + o.Left, T = layer.ScrollY + o.Top;
        // The object with its name below, its IPP markers and hover text above.
        if (int64_t{L} + o.Width + 50 < visible.left() || L - 50 > visible.right() ||
            int64_t{T} + o.Height + 15 < visible.top() || T - 40 > visible.bottom())
            continue;
        if (o.Kind == slIECFieldbus || o.Kind == slNonIECFieldbus) {
            paintFieldbus(p, o, L, T);
        } else {
            if (o.Bitmap.Loaded()) {
                if (scale == 1.0) {
                    if (const QImage* picture = pictures.Picture(o.Bitmap.File.string(), o.Width, o.Height))
                        p.drawImage(QPoint(L, T), *picture);
                } else {
                    // Stretched once to the zoomed size and copied without a
                    // transform: far cheaper than scaling on every paint.
                    const QRect r(RoundHalfEven(L * scale), RoundHalfEven(T * scale), RoundHalfEven(o.Width * scale),
                                  RoundHalfEven(o.Height * scale));
                    if (const QImage* picture = pictures.Picture(o.Bitmap.File.string(), r.width(), r.height())) {
                        const QTransform world = p.worldTransform();
                        p.resetTransform();
                        p.drawImage(r.topLeft(), *picture);
                        p.setWorldTransform(world);
                    }
                }
            } else if (!o.BitmapFile.empty()) {
                pictures.Missing(o.BitmapFile);
            }
            if (auto* device = dynamic_cast<const TslDevice*>(&o))
                paintFBSymbols(p, device->DownloadedFBInstanceList.size(), L, T, o.Height);
        }
        if (auto* ipt = dynamic_cast<const TslIPT*>(&o)) {
            if (!o.Bitmap.Loaded() && ipt->TypeName == "Undefined") {
                p.setPen(QPen(rgb(SystemLayerColour::Navy), 1));
                p.setBrush(Qt::white);
                box(p, L + 4, T + 15, L + o.Width - 4, T + o.Height - 4);
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(Qt::black, 1));
                textAt(p, L + 6, T + 16, QStringLiteral("IPT"));
            }
            paintIppMarkers(p, *ipt, layer.HoverIpp, L, T);
        }
        if (layer.SelectedObject == &o) {
            // Along the object's own box, over its picture's edge.
            p.setPen(QPen(Qt::black, 1, Qt::DotLine));
            p.setBrush(Qt::NoBrush);
            box(p, L, T, L + o.Width, T + o.Height);
            p.setPen(QPen(Qt::black, 1));
        }
        p.drawText(QRect(L - 50, T + o.Height, o.Width + 100, 15), Qt::AlignHCenter | Qt::AlignTop,
                   QString::fromStdString(o.Name));
    }
}

} // namespace telvo
