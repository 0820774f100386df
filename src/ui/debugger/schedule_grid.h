#pragma once
// A schedule table of the simulation shown as a grid: row 0 (the step
// headers) and column 0 (the labels) stay in place while the rest scrolls;
// every cell is drawn by the grid itself, the marks as bars (events) or
// blocks (FBs). The grid scrolls the table's current cell into view when
// told the table changed.

#include <QAbstractScrollArea>
#include <QColor>

#include <vector>

namespace telvo {

class TScheduleTable;

class TScheduleGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class TMarks { Bars, Blocks };

    TScheduleGrid(const TScheduleTable& table, TMarks marks, QWidget* parent = nullptr);

    static constexpr int DefaultColWidth = 16;
    static constexpr int DefaultRowHeight = 12;
    static constexpr int LabelColWidth = 129;
    static constexpr int GridLineWidth = 1;

    // The table changed: new extent, the current cell scrolled into view,
    // repainted.
    void TableChanged();

    int ColWidth(int col) const;
    void SetColWidth(int col, int width);
    // The first scrolled column and row shown (at least 1).
    int LeftCol() const { return leftCol_; }
    int TopRow() const { return topRow_; }
    int CurrentCol() const { return currentCol_; }
    int CurrentRow() const { return currentRow_; }
    // The selected range, inclusive (the current cell alone when no range
    // was dragged).
    QRect Selection() const;
    // Where a cell is drawn (its rectangle, the grid line excluded); empty
    // when it is out of view.
    QRect CellRect(int col, int row) const;
    // The colour of the fixed cells.
    QColor FixedColor() const { return fixedColor_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void updateBars();
    void scrollToCurrent();
    int colLeft(int col) const;
    // The cell under a point of the viewport; false outside the cells.
    bool cellAt(QPoint p, int& col, int& row) const;
    // The column whose right edge is at x (for resizing), or -1.
    int colEdgeAt(int x) const;
    void drawCell(class QPainter& p, int col, int row, const QRect& r);
    int visibleCols() const;
    int visibleRows() const;

    const TScheduleTable& table_;
    TMarks marks_;
    std::vector<int> widths_; // set widths; others are the default
    QColor fixedColor_;
    int leftCol_ = 1;
    int topRow_ = 1;
    int currentCol_ = 1;
    int currentRow_ = 1;
    int anchorCol_ = 1;
    int anchorRow_ = 1;
    int resizing_ = -1;
    int resizeStartX_ = 0;
    int resizeStartWidth_ = 0;
    bool selecting_ = false;
};

} // namespace telvo
