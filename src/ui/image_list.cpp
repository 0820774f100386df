#include "ui/image_list.h"

#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <mutex>

// The pictures live in this static library; their resource table must be
// registered by hand.
static void initTelvoUiResources() { Q_INIT_RESOURCE(telvo_ui); }

namespace telvo {

namespace {
constexpr std::array<const char*, MainImageCount> mainImageFiles = {
    "fb_diagram",  "system_layer", "fb_type", "device", "fb_instance",      "library",             "system_object",
    "connection",  "project",      "application", "ipp", "use_case_diagram", "interaction_diagram", "actor",
    "use_case",
};
} // namespace

QIcon ToolIcon(const QString& name)
{
    static std::once_flag registered;
    std::call_once(registered, initTelvoUiResources);
    const QString file = QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
    if (!QFile::exists(file))
        return {};
    return QIcon(file);
}

QIcon MainImage(int index)
{
    if (index < 0 || index >= MainImageCount)
        return {};
    // Every tree node carries one of these: made once, shared after.
    static const std::array<QIcon, MainImageCount> images = [] {
        std::array<QIcon, MainImageCount> made;
        for (int i = 0; i < MainImageCount; ++i)
            made[i] = ToolIcon(QString::fromLatin1(mainImageFiles[i]));
        return made;
    }();
    return images[index];
}

QPixmap ProductBanner(QSize size, qreal devicePixelRatio, const QString& subtitle)
{
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(QPointF(0, 0), QSizeF(size));
    QLinearGradient ground(r.topLeft(), r.bottomRight());
    ground.setColorAt(0, QColor(0x24, 0x36, 0x4f));
    ground.setColorAt(1, QColor(0x2f, 0x5f, 0x94));
    p.fillRect(r, ground);

    // A faint network of blocks and lines behind the name.
    p.setPen(QPen(QColor(255, 255, 255, 28), 2));
    const qreal h = r.height();
    for (int i = 0; i < 5; ++i) {
        const qreal x = r.width() * (0.45 + 0.11 * i);
        const qreal y = h * (i % 2 ? 0.25 : 0.55);
        p.drawRect(QRectF(x, y, h * 0.22, h * 0.3));
        p.drawLine(QPointF(x + h * 0.22, y + h * 0.15), QPointF(x + r.width() * 0.11, y + h * (i % 2 ? 0.45 : -0.15)));
    }

    const qreal logo = h * 0.62;
    ToolIcon(QStringLiteral("telvo")).paint(&p, QRect(int(h * 0.2), int((h - logo) / 2), int(logo), int(logo)));

    QFont title = p.font();
    title.setPixelSize(int(h * 0.3));
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    const qreal textLeft = h * 0.3 + logo;
    p.drawText(QRectF(textLeft, h * 0.12, r.width() - textLeft, h * 0.45), Qt::AlignLeft | Qt::AlignBottom,
               QStringLiteral("TELVO ZOZE"));
    QFont sub = p.font();
    sub.setPixelSize(int(h * 0.15));
    sub.setBold(false);
    p.setFont(sub);
    p.setPen(QColor(0xcf, 0xe0, 0xf5));
    p.drawText(QRectF(textLeft, h * 0.58, r.width() - textLeft, h * 0.3), Qt::AlignLeft | Qt::AlignTop,
               subtitle.isEmpty() ? QStringLiteral("IEC 61499 Engineering Support System") : subtitle);
    return pixmap;
}

} // namespace telvo
