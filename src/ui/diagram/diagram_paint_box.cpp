// The drawing widget: hands mouse, wheel and drops from the project tree to
// the editor and paints its image.

#include "ui/diagram/fb_diagram_editor.h"

#include "systemlayer/system_layer.h"
#include "ui/mainwindow/project_browser.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QTreeWidget>
#include <QWheelEvent>

namespace telvo {

// ---------------------------------------------------------------------------
// The drawing

TDiagramPaintBox::TDiagramPaintBox(TfrmDesignFBDiagram& editor, QWidget* parent) : QWidget(parent), editor_(editor)
{
    setObjectName(QStringLiteral("pbFunctionBlockdiagr"));
    setMouseTracking(true);
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setFocusPolicy(Qt::ClickFocus);
}

bool TDiagramPaintBox::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = editor_.ToolTipAt(help->pos().x(), help->pos().y());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

void TDiagramPaintBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QImage& image = editor_.canvas_.Image;
    if (image.isNull())
        p.fillRect(rect(), Qt::white);
    else
        p.drawImage(0, 0, image);
    // The rubber line of connect mode, over the copy of the diagram.
    const QPoint end = editor_.rubberLine_;
    if (editor_.connectMode_ && end != QPoint(-1, -1)) {
        QPen pen(Qt::black);
        pen.setDashPattern({1.0, 1.0});
        p.setPen(pen);
        p.drawLine(editor_.rubberAnchor_, end);
    }
}

void TDiagramPaintBox::resizeEvent(QResizeEvent*)
{
    editor_.resizeCanvas();
}

void TDiagramPaintBox::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    editor_.MouseDown(p.x(), p.y(), event->button(), event->modifiers());
    if (event->button() == Qt::RightButton) {
        // The menu takes the mouse: finish the press as a release would.
        editor_.MouseUp(p.x(), p.y());
        editor_.UpdateContextMenu();
        editor_.popup_->popup(event->globalPosition().toPoint());
    }
}

void TDiagramPaintBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    editor_.MouseMove(p.x(), p.y());
}

void TDiagramPaintBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        return;
    const QPoint p = event->position().toPoint();
    editor_.MouseUp(p.x(), p.y());
}

void TDiagramPaintBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint p = event->position().toPoint();
    editor_.DoubleClick(p.x(), p.y());
}

void TDiagramPaintBox::wheelEvent(QWheelEvent* event)
{
    const QPoint p = event->position().toPoint();
    editor_.WheelTurned(p.x(), p.y(), event->angleDelta(), event->modifiers());
    event->accept();
}

void TDiagramPaintBox::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
}

namespace {

// Only the project tree's nodes are dropped here.
QTreeWidget* sourceTree(const QDropEvent* event)
{
    QObject* source = event->source();
    if (auto* tree = qobject_cast<QTreeWidget*>(source))
        return tree;
    if (source)
        return qobject_cast<QTreeWidget*>(source->parent());
    return nullptr;
}

} // namespace

void TDiagramPaintBox::dragEnterEvent(QDragEnterEvent* event)
{
    if (sourceTree(event))
        event->acceptProposedAction();
}

void TDiagramPaintBox::dragMoveEvent(QDragMoveEvent* event)
{
    if (sourceTree(event))
        event->acceptProposedAction();
}

void TDiagramPaintBox::dropEvent(QDropEvent* event)
{
    QTreeWidget* tree = sourceTree(event);
    QTreeWidgetItem* node = tree ? tree->currentItem() : nullptr;
    if (!node)
        return;
    const auto kind = static_cast<TfrmProjectBrowser::TNodeKind>(node->data(0, TfrmProjectBrowser::KindRole).toInt());
    void* object = reinterpret_cast<void*>(node->data(0, TfrmProjectBrowser::ObjectRole).value<quintptr>());
    const QPoint p = event->position().toPoint();
    if (kind == TfrmProjectBrowser::TNodeKind::InstanceRecord)
        editor_.DropRecord(static_cast<TFB_InstanceRef*>(object), p.x(), p.y());
    else if (kind == TfrmProjectBrowser::TNodeKind::Ipp)
        editor_.DropIpp(static_cast<TslIPPRef*>(object), p.x(), p.y());
    else
        return;
    event->acceptProposedAction();
}

} // namespace telvo
