#include "ui/debugger/schedule_grid.h"

#include "runtime/simulation_host.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace telvo {

TScheduleGrid::TScheduleGrid(const TScheduleTable& table, TMarks marks, QWidget* parent)
    : QAbstractScrollArea(parent), table_(table), marks_(marks)
{
    fixedColor_ = palette().color(QPalette::Button);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(false);
    updateBars();
}

int TScheduleGrid::ColWidth(int col) const
{
    if (col >= 0 && col < static_cast<int>(widths_.size()) && widths_[col] >= 0)
        return widths_[col];
    return col == 0 ? LabelColWidth : DefaultColWidth;
}

void TScheduleGrid::SetColWidth(int col, int width)
{
    if (col < 0)
        return;
    if (col >= static_cast<int>(widths_.size()))
        widths_.resize(col + 1, -1);
    widths_[col] = std::max(width, 0);
    updateBars();
    viewport()->update();
}

QRect TScheduleGrid::Selection() const
{
    return QRect(QPoint(std::min(anchorCol_, currentCol_), std::min(anchorRow_, currentRow_)),
                 QPoint(std::max(anchorCol_, currentCol_), std::max(anchorRow_, currentRow_)));
}

int TScheduleGrid::colLeft(int col) const
{
    // Column 0 is fixed, then the scrolled columns from leftCol_.
    if (col == 0)
        return 0;
    int x = ColWidth(0) + GridLineWidth;
    if (col < leftCol_)
        return -1;
    for (int c = leftCol_; c < col; ++c)
        x += ColWidth(c) + GridLineWidth;
    return x;
}

QRect TScheduleGrid::CellRect(int col, int row) const
{
    if (col < 0 || row < 0 || col >= table_.ColCount() || row >= table_.RowCount())
        return {};
    if ((col > 0 && col < leftCol_) || (row > 0 && row < topRow_))
        return {};
    const int x = colLeft(col);
    const int y = row == 0 ? 0 : (DefaultRowHeight + GridLineWidth) * (row - topRow_ + 1);
    if (x > viewport()->width() || y > viewport()->height())
        return {};
    return QRect(x, y, ColWidth(col), DefaultRowHeight);
}

int TScheduleGrid::visibleCols() const
{
    int x = ColWidth(0) + GridLineWidth, n = 0;
    for (int c = leftCol_; c < table_.ColCount(); ++c) {
        x += ColWidth(c) + GridLineWidth;
        if (x > viewport()->width())
            break;
        ++n;
    }
    return std::max(n, 1);
}

int TScheduleGrid::visibleRows() const
{
    return std::max((viewport()->height() / (DefaultRowHeight + GridLineWidth)) - 1, 1);
}

void TScheduleGrid::updateBars()
{
    const int scrollCols = std::max(table_.ColCount() - 1, 0);
    const int scrollRows = std::max(table_.RowCount() - 1, 0);
    horizontalScrollBar()->setRange(1, std::max(1, scrollCols - visibleCols() + 1));
    horizontalScrollBar()->setPageStep(visibleCols());
    verticalScrollBar()->setRange(1, std::max(1, scrollRows - visibleRows() + 1));
    verticalScrollBar()->setPageStep(visibleRows());
    leftCol_ = std::clamp(leftCol_, 1, std::max(1, table_.ColCount() - 1));
    topRow_ = std::clamp(topRow_, 1, std::max(1, table_.RowCount() - 1));
}

void TScheduleGrid::TableChanged()
{
    currentCol_ = anchorCol_ = table_.CurrentCol();
    currentRow_ = anchorRow_ = table_.CurrentRow();
    updateBars();
    scrollToCurrent();
    viewport()->update();
}

void TScheduleGrid::scrollToCurrent()
{
    if (currentCol_ < leftCol_)
        leftCol_ = currentCol_;
    else
        while (leftCol_ < currentCol_ && currentCol_ >= leftCol_ + visibleCols())
            ++leftCol_;
    if (currentRow_ < topRow_)
        topRow_ = currentRow_;
    else if (currentRow_ >= topRow_ + visibleRows())
        topRow_ = currentRow_ - visibleRows() + 1;
    leftCol_ = std::max(leftCol_, 1);
    topRow_ = std::max(topRow_, 1);
    const QSignalBlocker h(horizontalScrollBar()), v(verticalScrollBar());
    horizontalScrollBar()->setMaximum(std::max(horizontalScrollBar()->maximum(), leftCol_));
    verticalScrollBar()->setMaximum(std::max(verticalScrollBar()->maximum(), topRow_));
    horizontalScrollBar()->setValue(leftCol_);
    verticalScrollBar()->setValue(topRow_);
}

void TScheduleGrid::scrollContentsBy(int, int)
{
    leftCol_ = std::max(horizontalScrollBar()->value(), 1);
    topRow_ = std::max(verticalScrollBar()->value(), 1);
    viewport()->update();
}

void TScheduleGrid::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateBars();
}

void TScheduleGrid::drawCell(QPainter& p, int col, int row, const QRect& cell)
{
    // Rectangles as left, top, right, bottom with the right and bottom edges
    // excluded.
    const int L = cell.left(), T = cell.top(), R = L + cell.width(), B = T + cell.height();
    auto fill = [&](int l, int t, int r, int b, const QColor& c) { p.fillRect(QRect(l, t, r - l, b - t), c); };
    const QString text = QString::fromStdString(table_.Cell(col, row));
    const int ascent = p.fontMetrics().ascent();
    if (row == 0 && col >= 1) {
        // A step label starts 12 pixels into its column and runs on into the
        // next one.
        fill(L + 12, T, R + 10, B, Qt::white);
        p.setPen(Qt::black);
        p.drawText(L + 12, T + ascent, text);
        return;
    }
    if (col == 0) {
        fill(L, T, R, B, fixedColor_);
        p.setPen(Qt::black);
        p.drawText(L, T + ascent, text);
        return;
    }
    fill(L - 1, T, R, B, Qt::white);
    p.setPen(QPen(QColor(192, 192, 192), 1, Qt::SolidLine));
    p.drawLine(L, T - 1, R, T - 1);
    p.setPen(QPen(QColor(128, 128, 128), 1, Qt::DotLine));
    p.drawLine(L - 1, T, L - 1, B);
    p.setPen(QPen(Qt::black, 1, Qt::SolidLine));
    if (text != QLatin1String("--"))
        return;
    if (marks_ == TMarks::Bars) {
        if (!table_.Cell(0, row).empty())
            fill(L - 1, T, L + 2, B, Qt::black);
    } else {
        fill(L - 1, T + 1, R, B - 1, Qt::black);
    }
}

void TScheduleGrid::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    p.setFont(font());
    p.fillRect(viewport()->rect(), QColor(192, 192, 192));
    const int rows = table_.RowCount(), cols = table_.ColCount();
    const int w = viewport()->width(), h = viewport()->height();
    auto drawRow = [&](int row) {
        for (int col = 0; col < cols; ++col) {
            if (col > 0 && col < leftCol_)
                continue;
            const QRect r = CellRect(col, row);
            if (r.isNull())
                break;
            drawCell(p, col, row, r);
            if (r.left() > w)
                break;
        }
    };
    for (int row = topRow_; row < rows; ++row) {
        if ((DefaultRowHeight + GridLineWidth) * (row - topRow_ + 1) > h)
            break;
        drawRow(row);
    }
    // The header row last: its labels run on into the next column.
    drawRow(0);
}

bool TScheduleGrid::cellAt(QPoint pt, int& col, int& row) const
{
    if (pt.x() < 0 || pt.y() < 0)
        return false;
    row = pt.y() / (DefaultRowHeight + GridLineWidth);
    if (row > 0)
        row += topRow_ - 1;
    col = -1;
    if (pt.x() < ColWidth(0) + GridLineWidth) {
        col = 0;
    } else {
        int x = ColWidth(0) + GridLineWidth;
        for (int c = leftCol_; c < table_.ColCount(); ++c) {
            x += ColWidth(c) + GridLineWidth;
            if (pt.x() < x) {
                col = c;
                break;
            }
        }
    }
    return col >= 0 && row < table_.RowCount();
}

int TScheduleGrid::colEdgeAt(int x) const
{
    for (int c = 0; c < table_.ColCount(); ++c) {
        if (c > 0 && c < leftCol_)
            continue;
        const int left = colLeft(c);
        if (left < 0)
            continue;
        if (left > viewport()->width())
            break;
        const int edge = left + ColWidth(c);
        if (std::abs(x - edge) <= 2)
            return c;
    }
    return -1;
}

void TScheduleGrid::mousePressEvent(QMouseEvent* event)
{
    const QPoint pt = event->position().toPoint();
    if (pt.y() < DefaultRowHeight + GridLineWidth) {
        // In the header row, the edge of a column resizes it.
        const int c = colEdgeAt(pt.x());
        if (c >= 0) {
            resizing_ = c;
            resizeStartX_ = pt.x();
            resizeStartWidth_ = ColWidth(c);
            return;
        }
    }
    int col, row;
    if (cellAt(pt, col, row) && col >= 1 && row >= 1) {
        currentCol_ = anchorCol_ = col;
        currentRow_ = anchorRow_ = row;
        selecting_ = true;
        viewport()->update();
    }
}

void TScheduleGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pt = event->position().toPoint();
    if (resizing_ >= 0) {
        SetColWidth(resizing_, resizeStartWidth_ + pt.x() - resizeStartX_);
        return;
    }
    if (selecting_) {
        int col, row;
        if (cellAt(pt, col, row) && col >= 1 && row >= 1) {
            currentCol_ = col;
            currentRow_ = row;
        }
        return;
    }
    const bool onEdge = pt.y() < DefaultRowHeight + GridLineWidth && colEdgeAt(pt.x()) >= 0;
    viewport()->setCursor(onEdge ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void TScheduleGrid::mouseReleaseEvent(QMouseEvent*)
{
    resizing_ = -1;
    selecting_ = false;
}

} // namespace telvo
