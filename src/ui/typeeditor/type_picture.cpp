#include "ui/typeeditor/type_picture.h"

#include "model/fb_type.h"

#include <QPainter>

#include <algorithm>

namespace telvo {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

const QColor kInterfaceEvent(27, 148, 123);
const QColor kInterfaceData(28, 94, 147);

int eventRows(const TFB_Type& t)
{
    return std::max<int>(1, static_cast<int>(std::max(t.EventInputs.size(), t.EventOutputs.size())));
}
int dataRows(const TFB_Type& t) { return static_cast<int>(std::max(t.DataInputs.size(), t.DataOutputs.size())); }

} // namespace

QSize InterfaceBlockSize(const TFB_Type& type)
{
    const int w = std::max(120, 8 * static_cast<int>(type.Name.size()));
    const int h = std::max(150, 16 * eventRows(type) + 16 * dataRows(type) + 40);
    return {w, h};
}

QRect PaintInterfacePicture(QImage& image, const TFB_Type* type)
{
    image.fill(Qt::white);
    if (!type)
        return {};
    QPainter p(&image);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(7);
    p.setFont(font);
    p.setPen(Qt::black);
    const QFontMetrics fm(font);

    const QSize size = InterfaceBlockSize(*type);
    const int bx = (image.width() - size.width()) / 2;
    const int by = (image.height() - size.height()) / 2;
    const int ne = eventRows(*type);
    const int eventsHeight = 16 * ne + 8;
    const int neckTop = by + eventsHeight;
    const int neckBottom = neckTop + 24;
    const int right = bx + size.width();
    const int bottom = by + size.height();

    // Outline: event section, the neck with the type name, data section.
    const QPolygon outline({{bx, by},
                            {right, by},
                            {right, neckTop},
                            {right - 10, neckTop},
                            {right - 10, neckBottom},
                            {right, neckBottom},
                            {right, bottom},
                            {bx, bottom},
                            {bx, neckBottom},
                            {bx + 10, neckBottom},
                            {bx + 10, neckTop},
                            {bx, neckTop}});
    p.setBrush(QColor(240, 240, 250));
    p.drawPolygon(outline);
    p.setBrush(Qt::NoBrush);
    QFont bold = font;
    bold.setBold(true);
    p.setFont(bold);
    p.drawText(QRect(bx + 10, neckTop, size.width() - 20, 24), Qt::AlignCenter,
               QFontMetrics(bold).elidedText(qs(type->Name), Qt::ElideRight, size.width() - 22));
    p.setFont(font);

    const bool composite = type->Composite;
    auto portName = [&](const QRect& box, int align, const QString& text, const QColor& back) {
        if (composite) {
            QRect r = fm.boundingRect(box, align, text).adjusted(-1, 0, 1, 0);
            p.fillRect(r, back);
            p.setPen(Qt::white);
            p.drawText(box, align, text);
            p.setPen(Qt::black);
        } else {
            p.drawText(box, align, text);
        }
    };
    const int half = size.width() / 2 - 4;
    auto eventY = [&](int i) { return by + 12 + 16 * i; };
    auto dataY = [&](int i) { return neckBottom + 12 + 16 * i; };

    // Stubs, names and types of every port.
    for (size_t i = 0; i < type->EventInputs.size(); ++i) {
        const int y = eventY(static_cast<int>(i));
        p.drawLine(bx - 20, y, bx, y);
        portName(QRect(bx + 3, y - 8, half, 16), Qt::AlignLeft | Qt::AlignVCenter, qs(type->EventInputs[i]->Name),
                 kInterfaceEvent);
        p.drawText(QRect(bx - 120, y - 8, 96, 16), Qt::AlignRight | Qt::AlignVCenter,
                   qs(type->EventInputs[i]->Type.empty() ? "EVENT" : type->EventInputs[i]->Type));
    }
    for (size_t i = 0; i < type->EventOutputs.size(); ++i) {
        const int y = eventY(static_cast<int>(i));
        p.drawLine(right, y, right + 20, y);
        portName(QRect(right - 3 - half, y - 8, half, 16), Qt::AlignRight | Qt::AlignVCenter,
                 qs(type->EventOutputs[i]->Name), kInterfaceEvent);
        p.drawText(QRect(right + 24, y - 8, 96, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   qs(type->EventOutputs[i]->Type.empty() ? "EVENT" : type->EventOutputs[i]->Type));
    }
    for (size_t i = 0; i < type->DataInputs.size(); ++i) {
        const int y = dataY(static_cast<int>(i));
        p.drawLine(bx - 20, y, bx, y);
        portName(QRect(bx + 3, y - 8, half, 16), Qt::AlignLeft | Qt::AlignVCenter, qs(type->DataInputs[i]->Name),
                 kInterfaceData);
        p.drawText(QRect(bx - 120, y - 8, 96, 16), Qt::AlignRight | Qt::AlignVCenter, qs(type->DataInputs[i]->Type));
    }
    for (size_t i = 0; i < type->DataOutputs.size(); ++i) {
        const int y = dataY(static_cast<int>(i));
        p.drawLine(right, y, right + 20, y);
        portName(QRect(right - 3 - half, y - 8, half, 16), Qt::AlignRight | Qt::AlignVCenter,
                 qs(type->DataOutputs[i]->Name), kInterfaceData);
        p.drawText(QRect(right + 24, y - 8, 96, 16), Qt::AlignLeft | Qt::AlignVCenter, qs(type->DataOutputs[i]->Type));
    }

    // WITH marks: one vertical line per event with associations, a square
    // where it meets the event's stub and each associated data stub.
    auto withMarks = [&](const auto& events, const auto& datas, bool left) {
        for (size_t i = 0; i < events.size(); ++i) {
            const auto& with = events[i]->With;
            if (with.empty())
                continue;
            const int x = left ? bx - 6 - 4 * static_cast<int>(i) : right + 6 + 4 * static_cast<int>(i);
            const int y0 = eventY(static_cast<int>(i));
            int y1 = y0;
            p.fillRect(x - 2, y0 - 2, 5, 5, Qt::black);
            for (const TFBDataMemberType* v : with) {
                for (size_t k = 0; k < datas.size(); ++k)
                    if (datas[k].get() == v) {
                        const int y = dataY(static_cast<int>(k));
                        p.fillRect(x - 2, y - 2, 5, 5, Qt::black);
                        y1 = std::max(y1, y);
                    }
            }
            p.drawLine(x, y0, x, y1);
        }
    };
    withMarks(type->EventInputs, type->DataInputs, true);
    withMarks(type->EventOutputs, type->DataOutputs, false);
    return QRect(bx, by, size.width(), size.height());
}

TInterfacePicture::TInterfacePicture(QWidget* parent) : QWidget(parent)
{
    setObjectName("imgRepresentation");
    setMinimumWidth(280);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TInterfacePicture::Repaint()
{
    if (width() <= 0 || height() <= 0)
        return;
    if (image_.size() != size())
        image_ = QImage(size(), QImage::Format_RGB32);
    block_ = PaintInterfacePicture(image_, type_);
    update();
}

void TInterfacePicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (image_.isNull())
        p.fillRect(rect(), Qt::white);
    else
        p.drawImage(0, 0, image_); // the picture goes to the pane in one operation
}

void TInterfacePicture::resizeEvent(QResizeEvent*) { Repaint(); }

} // namespace telvo
