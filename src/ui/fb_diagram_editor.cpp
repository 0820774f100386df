#include "ui/fb_diagram_editor.h"

#include "model/fb_manager.h"
#include "model/file_util.h"
#include "model/library_index.h"
#include "model/value_text.h"
#include "model/network_check.h"
#include "persistence/network_clip.h"
#include "persistence/network_file.h"
#include "persistence/type_file.h"
#include "systemlayer/system_layer.h"
#include "ui/debugger/visual_debugger.h"
#include "ui/fb_diagram_dialogs.h"
#include "ui/main_form.h"
#include "ui/project_browser.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QButtonGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDrag>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QIcon>
#include <QInputDialog>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QToolTip>
#include <QUndoStack>
#include <QWheelEvent>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace telvo {

namespace {

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

std::string lowerCase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

template <typename List, typename T>
bool holds(const List& list, const T* item)
{
    return item && std::any_of(list.begin(), list.end(), [&](const auto& p) { return p.get() == item; });
}

constexpr uint32_t NewInstanceTypeColour = 0xE2E2E2;
constexpr int PaletteWidth = 37;
// The left panel in debug mode, holding the visual debugger.
constexpr int DebuggerWidth = 370;

struct TPaletteEntry {
    const char* Type;
    const char* Hint;
    const char* Label;
};

constexpr TPaletteEntry PaletteEntries[] = {
    {"E_SPLIT", "Event Splitter", "SPLT"},
    {"E_MERGE", "Event Merger", "MRG"},
    {"E_REND", "Two Event Rendezvous", "REND"},
    {"E_PERMIT", "Permissive Event Propagator", "PERM"},
    {"E_SELECT", "Event Selector", "SEL"},
    {"E_SWITCH", "Event Switch", "SWI"},
    {"E_DELAY", "Delayed Event Propagator", "DLY"},
    {"E_RESTART", "Restart Event Generator", "RST"},
    {"E_CYCLE", "Cyclic Event Generator", "CYC"},
    {"E_TRAIN", "Event Train Generator", "TRN"},
    {"E_TABLE", "Event Train Table-driven Generator", "TAB"},
    {"E_N_TABLE", "Separate Event Table-driven Generator", "NTAB"},
    {"E_SR", "Event-driven Bistable (set)", "SR"},
    {"E_RS", "Event-driven Bistable (reset)", "RS"},
    {"E_D_FF", "Data Latch Bistable", "D_FF"},
    {"E_R_TRIG", "Boolean Rising Edge Detector", "R_TR"},
    {"E_F_TRIG", "Boolean Falling Edge Detector", "F_TR"},
    {"E_CTU", "Event-Driven Up-counter", "CTU"},
    {"E_CHRON", "Event-driven Chronometer", "CRON"},
    {"E_TRIG", "Boolean rising/falling edge detection", "TRIG"},
    {"E_DEMUX", "Event demultiplexer", "DMX"},
};

} // namespace

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

// ---------------------------------------------------------------------------
// The window

TfrmDesignFBDiagram::TfrmDesignFBDiagram(TWorkbench& workbench, TMainForm* main, QWidget* parent)
    : QWidget(parent), workbench_(workbench), main_(main)
{
    setObjectName(QStringLiteral("frmDesignFBDiagram"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    setFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    toolBar_ = new QWidget(this);
    toolBar_->setObjectName(QStringLiteral("ToolBar1"));
    buildToolBar(toolBar_);
    layout->addWidget(toolBar_);

    auto* body = new QHBoxLayout;
    body_ = body;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    palette_ = new QWidget(this);
    palette_->setObjectName(QStringLiteral("pnlPalette"));
    palette_->setFixedWidth(PaletteWidth);
    buildPalette();
    body->addWidget(palette_);

    drawing_ = new QWidget(this);
    drawing_->setObjectName(QStringLiteral("pnlDrawing"));
    drawing_->installEventFilter(this);
    paintBox_ = new TDiagramPaintBox(*this, drawing_);
    hBar_ = new QScrollBar(Qt::Horizontal, drawing_);
    hBar_->setObjectName(QStringLiteral("sbHorizontal"));
    vBar_ = new QScrollBar(Qt::Vertical, drawing_);
    vBar_->setObjectName(QStringLiteral("sbVertical"));
    for (QScrollBar* bar : {hBar_, vBar_}) {
        bar->setRange(0, 400);
        bar->setPageStep(20);
        connect(bar, &QScrollBar::valueChanged, this, [this] { scrolled(); });
    }
    body->addWidget(drawing_, 1);
    layout->addLayout(body, 1);

    buildContextMenu();
    ippPicker_ = new TfrmSelectIPPfromIPT(this);
    ippPicker_->OnAddSelected = [this](const std::vector<TslIPPRef*>& ipps) {
        for (size_t k = 0; k < ipps.size(); ++k)
            AddIppPicture(ipps[k], static_cast<int>(20 * k + 20), static_cast<int>(20 * k + 20));
        if (diagram_)
            diagram_->RebuildLines();
        PaintDiagram();
    };

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, [this] { EscapePressed(); });
    auto* fit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), this);
    fit->setContext(Qt::WidgetWithChildrenShortcut);
    connect(fit, &QShortcut::activated, this, [this] { ZoomToFitClick(); });
    undoStack_ = new QUndoStack(this);
    // Saved is clean: the "*" goes when the user undoes back to it.
    connect(undoStack_, &QUndoStack::cleanChanged, this, [this](bool clean) { setWindowModified(!clean); });
    auto shortcut = [this](const QKeySequence& keys, auto&& what) {
        auto* s = new QShortcut(keys, this);
        s->setContext(Qt::WidgetWithChildrenShortcut);
        connect(s, &QShortcut::activated, this, what);
    };
    // Undo and redo rebuild the diagram's objects: never under a simulation.
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), [this] {
        if (!view_.DebugMode)
            undoStack_->undo();
    });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] {
        if (!view_.DebugMode)
            undoStack_->redo();
    });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), [this] {
        if (!view_.DebugMode)
            undoStack_->redo();
    });
    if (QToolButton* b = Button(QStringLiteral("btnUndo"))) {
        connect(b, &QToolButton::clicked, this, [this] {
            if (!view_.DebugMode)
                undoStack_->undo();
        });
        connect(undoStack_, &QUndoStack::canUndoChanged, b, [this, b](bool can) { b->setEnabled(can && !view_.DebugMode); });
        b->setEnabled(false);
    }
    if (QToolButton* b = Button(QStringLiteral("btnRedo"))) {
        connect(b, &QToolButton::clicked, this, [this] {
            if (!view_.DebugMode)
                undoStack_->redo();
        });
        connect(undoStack_, &QUndoStack::canRedoChanged, b, [this, b](bool can) { b->setEnabled(can && !view_.DebugMode); });
        b->setEnabled(false);
    }
    flashTimer_ = new QTimer(this);
    flashTimer_->setSingleShot(true);
    flashTimer_->setInterval(450);
    connect(flashTimer_, &QTimer::timeout, this, [this] {
        view_.Flash = false;
        PaintDiagram();
    });

    auto* del = new QShortcut(QKeySequence::Delete, this);
    del->setContext(Qt::WidgetWithChildrenShortcut);
    connect(del, &QShortcut::activated, this, [this] {
        if (mnuDelete_->isEnabled())
            DeleteClick();
    });

    StartDrag = [this](QMimeData* data) {
        auto* drag = new QDrag(paintBox_);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    };
    AskSaveFileName = [this](const QString& proposed) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save FB Network..."), proposed,
                                            QStringLiteral("FB Network (*.fbn)"));
    };
    AskBreakpointState = [this](const QStringList& states) {
        bool ok = false;
        const QString s = QInputDialog::getItem(this, QStringLiteral("Break when entering state"),
                                                QStringLiteral("State:"), states, 0, false, &ok);
        return ok ? s : QString();
    };
    AskOpenFileName = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Open FB Network..."), QString(),
                                            QStringLiteral("FB Network (*.fbn)"));
    };

    // Qt's mark of unsaved changes; the opener puts the caption before it.
    setWindowTitle(QStringLiteral("[*]"));
    // Saving the network alone makes sense only without a project.
    Button(QStringLiteral("btnExportFBNetwork"))->setVisible(!projectOpen());
    resize(900, 600);
}

TfrmDesignFBDiagram::~TfrmDesignFBDiagram()
{
    // The simulation ends, every thread of it, before the window and then
    // the model go.
    delete debugger_;
    debugger_ = nullptr;
}

bool TfrmDesignFBDiagram::Executing() const { return debugger_ && debugger_->Running(); }

void TfrmDesignFBDiagram::EndActivity()
{
    if (debugger_ && debugger_->Running())
        debugger_->StopSimulationClick();
}

QToolButton* TfrmDesignFBDiagram::Button(const QString& objectName) const
{
    return findChild<QToolButton*>(objectName);
}

void TfrmDesignFBDiagram::buildToolBar(QWidget* bar)
{
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    auto button = [&](const char* name, const QString& text, const QString& tip, bool checkable = false) {
        auto* b = new QToolButton(bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setCheckable(checkable);
        b->setAutoRaise(true);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        row->addWidget(b);
        return b;
    };
    auto separator = [&] {
        auto* line = new QFrame(bar);
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Sunken);
        row->addWidget(line);
    };
    QToolButton* b = button("btnNewFB", QStringLiteral("New"), QStringLiteral("Insert Function Block instance"));
    connect(b, &QToolButton::clicked, this, [this] { NewFBClick(); });
    separator();
    b = button("btnUndo", QStringLiteral("Undo"), QStringLiteral("Undo the last change (Ctrl+Z)"));
    b = button("btnRedo", QStringLiteral("Redo"), QStringLiteral("Redo what was undone (Ctrl+Shift+Z, Ctrl+Y)"));
    separator();
    b = button("btnShowType", QStringLiteral("Types"), QStringLiteral("Show Event/Data types"), true);
    connect(b, &QToolButton::toggled, this, [this](bool down) { ShowTypeClick(down); });
    b = button("btnDrawEvents", QStringLiteral("Glyphs"), QStringLiteral("Toggle Event Stereotypes"), true);
    connect(b, &QToolButton::toggled, this, [this](bool down) { DrawEventsClick(down); });
    b = button("btnShowOtherInstancesConnections", QStringLiteral(">->"),
               QStringLiteral("Toggle Event, Data, IPP Connections to other FBdiagrams"), true);
    connect(b, &QToolButton::toggled, this, [this](bool down) { ShowOtherInstancesConnectionsClick(down); });
    b = button("btnAddNote", QStringLiteral("Note"), QStringLiteral("Add note"));
    connect(b, &QToolButton::clicked, this, [this] { AddNoteClick(); });
    separator();
    modeGroup_ = new QButtonGroup(this);
    modeGroup_->setExclusive(true);
    b = button("SpeedButton13", QStringLiteral("Select"), QStringLiteral("Toggle Select mode"), true);
    b->setChecked(true);
    modeGroup_->addButton(b);
    connect(b, &QToolButton::clicked, this, [this] { SelectModeClick(); });
    b = button("btnDrawConnection", QStringLiteral("Connect"), QStringLiteral("Make Connection"), true);
    modeGroup_->addButton(b);
    connect(b, &QToolButton::clicked, this, [this] { DrawConnectionClick(); });
    separator();
    b = button("SpeedButton19", QStringLiteral("+"), QStringLiteral("Zoom In"));
    connect(b, &QToolButton::clicked, this, [this] { ZoomInClick(); });
    b = button("btmZoomOut", QStringLiteral("-"), QStringLiteral("Zoom out"));
    connect(b, &QToolButton::clicked, this, [this] { ZoomOutClick(); });
    cmbZoom_ = new QComboBox(bar);
    cmbZoom_->setObjectName(QStringLiteral("cmbZoom"));
    cmbZoom_->setEditable(true);
    cmbZoom_->setInsertPolicy(QComboBox::NoInsert);
    cmbZoom_->addItems({QStringLiteral("20%"), QStringLiteral("40%"), QStringLiteral("60%"), QStringLiteral("80%"),
                        QStringLiteral("100%"), QStringLiteral("120%"), QStringLiteral("140%")});
    cmbZoom_->setFixedWidth(72);
    cmbZoom_->setToolTip(QStringLiteral("Zoom: choose or type a percentage and press Enter"));
    connect(cmbZoom_, &QComboBox::activated, this, [this](int index) { ZoomTextEntered(cmbZoom_->itemText(index)); });
    connect(cmbZoom_->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { ZoomTextEntered(cmbZoom_->lineEdit()->text()); });
    row->addWidget(cmbZoom_);
    b = button("btnZoomToFit", QStringLiteral("Fit"), QStringLiteral("Zoom to fit (Ctrl+0)"));
    connect(b, &QToolButton::clicked, this, [this] { ZoomToFitClick(); });
    separator();
    b = button("btnInsertIPP", QStringLiteral("IPP"), QStringLiteral("Insert IPP"));
    connect(b, &QToolButton::clicked, this, [this] { InsertIppClick(); });
    b = button("btnDebug", QStringLiteral("Execute"), QStringLiteral("Execute"), true);
    // Only an application diagram of the project is simulated (see
    // AttachDiagram).
    b->setEnabled(false);
    connect(b, &QToolButton::clicked, this, [this] { DebugClick(); });
    b = button("btnPintFBNet", QStringLiteral("Print"), QStringLiteral("Print FB Diagram..."));
    connect(b, &QToolButton::clicked, this, [this] { PrintClick(); });
    b = button("btnExportFBNetwork", QStringLiteral("Save"), QStringLiteral("Save FB Network..."));
    connect(b, &QToolButton::clicked, this, [this] { SaveNetworkClick(); });
    b = button("btnOpenFBNetwork", QStringLiteral("Open"), QStringLiteral("Open FB Network..."));
    b->setVisible(false);
    connect(b, &QToolButton::clicked, this, [this] { OpenNetworkClick(); });
    row->addStretch(1);
}

namespace {

// The palette's picture of a standard event block: its glyph's shape in
// small, or none for a block without a glyph (the button shows its label).
QIcon paletteIcon(const std::string& type)
{
    if (!HasGlyph(type))
        return {};
    QPixmap pixmap(28, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(1, 1, 1), 1));
    p.setBrush(QColor(255, 255, 0));
    const QRectF box(7, 4, 14, 12);
    auto stubs = [&](std::initializer_list<QLineF> lines) {
        for (const QLineF& l : lines)
            p.drawLine(l);
    };
    if (type == "E_SPLIT") {
        stubs({{2, 10, 8, 10}, {20, 5, 26, 5}, {20, 15, 26, 15}});
        p.drawPolygon(QPolygonF({QPointF(8, 10), QPointF(20, 3), QPointF(20, 17)}));
    } else if (type == "E_MERGE" || type == "E_REND") {
        stubs({{20, 10, 26, 10}, {2, 5, 8, 5}, {2, 15, 8, 15}});
        if (type == "E_REND")
            stubs({{14, 0, 14, 6}});
        p.drawPolygon(QPolygonF({QPointF(20, 10), QPointF(8, 3), QPointF(8, 17)}));
    } else if (type == "E_RESTART") {
        stubs({{18, 5, 26, 5}, {18, 10, 26, 10}, {18, 15, 26, 15}});
        p.setBrush(QColor(29, 122, 173));
        p.drawEllipse(QRectF(5, 2, 16, 16));
    } else {
        stubs({{2, 10, 7, 10}, {21, 10, 26, 10}, {14, 0, 14, 4}});
        p.drawRect(box);
        if (type == "E_CYCLE")
            p.drawEllipse(box.adjusted(3, 2, -3, -2));
    }
    return QIcon(pixmap);
}

} // namespace

void TfrmDesignFBDiagram::buildPalette()
{
    auto* column = new QVBoxLayout(palette_);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(1);
    QFont small = font();
    small.setPixelSize(9);
    for (const TPaletteEntry& entry : PaletteEntries) {
        auto* b = new QToolButton(palette_);
        b->setObjectName(QStringLiteral("btnPalette_") + QString::fromLatin1(entry.Type));
        b->setText(QString::fromLatin1(entry.Label));
        // The block's purpose, then its type name; the type's own comment is
        // added the first time the tip is asked for.
        b->setToolTip(QString::fromLatin1(entry.Hint) + QStringLiteral("\n") + QString::fromLatin1(entry.Type));
        b->setProperty("telvoType", QString::fromLatin1(entry.Type));
        b->installEventFilter(this);
        const QIcon icon = paletteIcon(entry.Type);
        if (!icon.isNull()) {
            b->setIcon(icon);
            b->setIconSize(QSize(28, 20));
            b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        }
        b->setFont(small);
        b->setFixedSize(PaletteWidth - 4, 22);
        b->setAutoRaise(true);
        const std::string type = entry.Type;
        connect(b, &QToolButton::clicked, this, [this, type] { AddInstanceOfType(type); });
        column->addWidget(b);
    }
    column->addStretch(1);
}

void TfrmDesignFBDiagram::buildContextMenu()
{
    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("PopupMenu1"));
    mnuEdit_ = popup_->addAction(QStringLiteral("Edit"), this, [this] { EditClick(); });
    popup_->setDefaultAction(mnuEdit_);
    mnuEditType_ = popup_->addAction(QStringLiteral("Edit FB type"), this, [this] { EditTypeClick(); });
    mnuReloadType_ = popup_->addAction(QStringLiteral("Reload type"), this, [this] { ReloadTypeClick(); });
    popup_->addSeparator();
    mnuDelete_ = popup_->addAction(QStringLiteral("Delete"), this, [this] { DeleteClick(); });
    popup_->addSeparator();
    // The clipboard items carry their keys; the actions belong to the
    // window as well, so that the keys work without opening the menu.
    auto item = [this](const QString& text, const QKeySequence& keys, auto&& what) {
        QAction* a = popup_->addAction(text, this, what);
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(a);
        return a;
    };
    mnuCut_ = item(QStringLiteral("Cut"), QKeySequence::Cut, [this] { CutClick(); });
    mnuCopy_ = item(QStringLiteral("Copy"), QKeySequence::Copy, [this] { CopyClick(); });
    mnuPaste_ = item(QStringLiteral("Paste"), QKeySequence::Paste, [this] { PasteClick(); });
    mnuDuplicate_ = item(QStringLiteral("Duplicate"), QKeySequence(Qt::CTRL | Qt::Key_D), [this] { DuplicateClick(); });
    connect(popup_, &QMenu::aboutToHide, this, [this] {
        for (QAction* a : {mnuCut_, mnuCopy_, mnuPaste_, mnuDuplicate_})
            a->setEnabled(true);
    });
    // Shown in debug mode only; last, so that the items above keep their
    // places whatever the mode.
    mnuBreakpoint_ = popup_->addAction(QStringLiteral("Break when entering state\u2026"), this,
                                       [this] { BreakWhenEnteringStateClick(); });
    mnuBreakpoint_->setObjectName(QStringLiteral("mnuBreakpoint"));
    mnuBreakpoint_->setVisible(false);
}

QString TfrmDesignFBDiagram::ToolTipAt(int x, int y) const
{
    if (!diagram_)
        return {};
    // The distance to each leg of the drawn route, within the lines' pick
    // tolerance; the lines' own hit test is not used, as it moves points.
    auto near = [&](const Tlineobj& line) {
        for (size_t i = 0; i + 1 < line.Points.size(); ++i) {
            const double px = line.Points[i]->X, py = line.Points[i]->Y;
            const double dx = line.Points[i + 1]->X - px, dy = line.Points[i + 1]->Y - py;
            const double len2 = dx * dx + dy * dy;
            const double u = len2 > 0 ? std::clamp(((x - px) * dx + (y - py) * dy) / len2, 0.0, 1.0) : 0.0;
            if (std::hypot(px + u * dx - x, py + u * dy - y) < 3.0)
                return true;
        }
        return false;
    };
    for (auto it = diagram_->DataLines.rbegin(); it != diagram_->DataLines.rend(); ++it) {
        const TFB_DataAssocRef* r = (*it)->Ref;
        if (!r || !r->SourcePort || !r->DestPort || !r->SourceInstance || !r->DestInstance ||
            !DataClassesDiffer(*r->SourcePort, *r->DestPort) || !near(**it))
            continue;
        return qs("Data types differ: " + r->SourceInstance->Name + "." + r->SourcePort->Name() + " is " +
                  DataTypeText(*r->SourcePort) + ", " + r->DestInstance->Name + "." + r->DestPort->Name() + " is " +
                  DataTypeText(*r->DestPort));
    }
    return {};
}

void TfrmDesignFBDiagram::UpdateContextMenu()
{
    mnuEditType_->setEnabled(false);
    mnuReloadType_->setEnabled(false);
    mnuDelete_->setEnabled(!view_.DebugMode);
    // Greyed only while the menu is open: the keys reach the actions at any
    // time, and each command says itself when there is nothing to do.
    const bool anySelected = diagram_ && !diagram_->Selection.empty();
    mnuCut_->setEnabled(anySelected && !view_.DebugMode);
    mnuCopy_->setEnabled(anySelected);
    mnuDuplicate_->setEnabled(anySelected && !view_.DebugMode);
    mnuPaste_->setEnabled(diagram_ && !diagram_->InnerNetwork && !view_.DebugMode);
    TFB_Instance* inst = diagram_ ? diagram_->LastSelectedInstance() : nullptr;
    mnuBreakpoint_->setVisible(view_.DebugMode);
    mnuBreakpoint_->setEnabled(view_.DebugMode && inst && inst->Ref);
    TFBDnote* note = diagram_ ? diagram_->LastSelectedNote() : nullptr;
    if (inst && inst->Ref) {
        mnuEdit_->setText(QStringLiteral("Properties of ") + qs(inst->Ref->Name) + QStringLiteral("..."));
        mnuEdit_->setEnabled(true);
        mnuEditType_->setEnabled(true);
        // A type reloaded under a running simulation would pull the ports
        // from under its threads.
        mnuReloadType_->setEnabled(!view_.DebugMode);
    } else if (note) {
        mnuEdit_->setText(QStringLiteral("Edit text of note..."));
        mnuEdit_->setEnabled(true);
    } else {
        mnuEdit_->setText(QStringLiteral("<none> "));
        mnuEdit_->setEnabled(false);
    }
}

std::string TfrmDesignFBDiagram::typeComment(const std::string& typeName) const
{
    if (const TFB_Type* type = manager().FindType(typeName))
        return type->Comment;
    // Not loaded: read the library file aside, so that a tool tip does not
    // change the model.
    const TTypeLoadContext& context = manager().Context;
    const TLibraryFolder* folder = context.Index ? context.Index->FolderListing(typeName) : nullptr;
    if (!folder || !context.Reader)
        return {};
    const std::string file = manager().LibraryTypeFile(folder->Name, typeName);
    if (file.empty())
        return {};
    try {
        TFB_Type probe;
        if (context.Reader(ReadFileText(file), probe))
            return probe.Comment;
    } catch (const std::exception&) {
    }
    return {};
}

bool TfrmDesignFBDiagram::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* b = qobject_cast<QToolButton*>(watched);
        if (b && b->property("telvoType").isValid() && !b->property("telvoCommented").toBool()) {
            b->setProperty("telvoCommented", true);
            const std::string comment = typeComment(b->property("telvoType").toString().toStdString());
            if (!comment.empty())
                b->setToolTip(b->toolTip() + QStringLiteral(": ") + qs(comment));
        }
    }
    if (watched == drawing_ && event->type() == QEvent::Resize)
        layoutDrawing();
    return QWidget::eventFilter(watched, event);
}

void TfrmDesignFBDiagram::layoutDrawing()
{
    const int w = drawing_->width(), h = drawing_->height();
    const int vw = vBar_->sizeHint().width(), hh = hBar_->sizeHint().height();
    hBar_->setGeometry(2, h - hh, std::max(w - vw - 4, 0), hh);
    vBar_->setGeometry(w - vw, 2, vw, std::max(h - hh - 4, 0));
    paintBox_->setGeometry(0, 0, std::max(w - vw, 1), std::max(h - hh, 1));
}

void TfrmDesignFBDiagram::resizeCanvas()
{
    const QSize size = paintBox_->size();
    if (size.isEmpty())
        return;
    if (canvas_.Image.size() != size)
        canvas_.Image = QImage(size, QImage::Format_RGB32);
    PaintDiagram();
}

// ---------------------------------------------------------------------------
// Helpers

TFB_Manager& TfrmDesignFBDiagram::manager() const
{
    return workbench_.FBManager();
}

bool TfrmDesignFBDiagram::projectOpen() const
{
    return main_ && main_->Project().IsOpen();
}

bool TfrmDesignFBDiagram::compositeNetwork() const
{
    return diagram_ && diagram_->InnerNetwork && diagram_->CompositeType;
}

bool TfrmDesignFBDiagram::deviceDiagram() const
{
    return diagram_ && diagram_->IsInternalDeviceDiagram;
}

void TfrmDesignFBDiagram::setStatus(const std::string& text)
{
    statusText_ = qs(text);
    if (main_ && main_->ProjectBrowser())
        main_->ProjectBrowser()->SetHintText(statusText_);
    // The browser's panel is narrow: the main window's status bar shows the
    // whole text.
    if (main_)
        main_->ShowStatus(statusText_);
}

void TfrmDesignFBDiagram::beginEdit()
{
    beforeTaken_ = false;
    // Inner networks keep their records in the type: the FB type editor's
    // own stack covers them.
    if (!diagram_ || diagram_->InnerNetwork || !diagram_->Manager)
        return;
    before_ = TakeSnapshot(*diagram_);
    beforeTaken_ = true;
}

void TfrmDesignFBDiagram::modelChanged(const QString& what)
{
    setWindowModified(true);
    if (main_)
        main_->EditorModified();
    if (!beforeTaken_ || !diagram_)
        return;
    beforeTaken_ = false;
    TDiagramSnapshot after = TakeSnapshot(*diagram_);
    if (after == before_)
        return;
    undoStack_->push(new TDiagramEditCommand(what, *diagram_, &workbench_.SystemLayer(), std::move(before_),
                                             std::move(after), [this] { restoredFromSnapshot(); }));
}

void TfrmDesignFBDiagram::MarkSaved()
{
    undoStack_->setClean();
    setWindowModified(false);
}

void TfrmDesignFBDiagram::restoredFromSnapshot()
{
    if (!diagram_)
        return;
    firstEvent_ = secondEvent_ = nullptr;
    firstData_ = secondData_ = nullptr;
    firstIpp_ = secondIpp_ = nullptr;
    pendingInterfaceEvent_ = nullptr;
    pendingInterfaceData_ = nullptr;
    rubberLine_ = rubberAnchor_ = QPoint(-1, -1);
    pickedEvent_ = nullptr;
    pickedData_ = nullptr;
    pickedIpp_ = nullptr;
    pickedIppToIpp_ = nullptr;
    pickedComposite_ = nullptr;
    eventPortUnderMouse_ = nullptr;
    dataPortUnderMouse_ = nullptr;
    view_.RubberBand = false;
    // The snapshot's places are those drawn at the current scroll.
    for (auto& inst : diagram_->DrawnInstances) {
        inst->Canvas = &canvas_;
        inst->LastMouseX = scrollX_;
        inst->LastMouseY = scrollY_;
        inst->TypeColour = Button(QStringLiteral("btnShowType"))->isChecked() ? DiagramColour::ShownTypes
                                                                              : TFB_Instance::HiddenTypeColour;
        if (inst->IsStereotype)
            inst->DrawAsGlyph = !Button(QStringLiteral("btnDrawEvents"))->isChecked();
    }
    for (auto& pic : diagram_->IPPPictures) {
        pic->LastMouseX = scrollX_;
        pic->LastMouseY = scrollY_;
    }
    for (auto& note : diagram_->Notes) {
        note->LastMouseX = scrollX_;
        note->LastMouseY = scrollY_;
    }
    ApplyZoom();
    refreshInstancesTree();
    refreshConnectionsTree();
    if (main_)
        main_->EditorModified();
    PaintDiagram();
}

void TfrmDesignFBDiagram::flash(int left, int top, int right, int bottom)
{
    view_.Flash = true;
    view_.FlashLeft = left;
    view_.FlashTop = top;
    view_.FlashRight = right;
    view_.FlashBottom = bottom;
    flashTimer_->start();
    PaintDiagram();
}

QRect TfrmDesignFBDiagram::FlashRect() const
{
    if (!view_.Flash)
        return {};
    return QRect(QPoint(view_.FlashLeft, view_.FlashTop), QPoint(view_.FlashRight, view_.FlashBottom));
}

void TfrmDesignFBDiagram::refuse(const std::string& text, int gesture, int x, int y)
{
    hint(text, gesture);
    const int r = std::max(4, Scaled(6, Zoom()));
    flash(x - r, y - r, x + r, y + r);
}

void TfrmDesignFBDiagram::hint(const std::string& text, int gesture)
{
    setStatus(workbench_.UI().UserHint(text, gesture));
}

void TfrmDesignFBDiagram::sendHint(const std::string& text, int gesture)
{
    workbench_.UI().UserHint(text, gesture);
}

void TfrmDesignFBDiagram::log(const std::string& text)
{
    workbench_.UI().Log(text);
}

void TfrmDesignFBDiagram::showProgramError(const QString& message)
{
    if (main_)
        main_->HandleProgramError(message);
    else
        workbench_.UI().ShowMessage(message.toStdString());
}

void TfrmDesignFBDiagram::refreshConnectionsTree()
{
    if (main_)
        main_->RefreshConnectionsTree();
}

void TfrmDesignFBDiagram::refreshInstancesTree()
{
    if (main_)
        main_->RefreshInstancesTree();
}

bool TfrmDesignFBDiagram::alive(const TFBEventDraw* port) const
{
    if (!port || !diagram_ || !holds(diagram_->DrawnInstances, port->Instance))
        return false;
    return holds(port->Instance->EventInputPorts, port) || holds(port->Instance->EventOutputPorts, port);
}

bool TfrmDesignFBDiagram::alive(const TFBDataMemberDraw* port) const
{
    if (!port || !diagram_ || !holds(diagram_->DrawnInstances, port->Instance))
        return false;
    return holds(port->Instance->DataInputPorts, port) || holds(port->Instance->DataOutputPorts, port);
}

bool TfrmDesignFBDiagram::alive(const TslIPP* picture) const
{
    return picture && diagram_ && holds(diagram_->IPPPictures, picture) && picture->Ipp;
}

TFB_EventAssoc* TfrmDesignFBDiagram::PickedEventLine() const
{
    return diagram_ && holds(diagram_->EventLines, pickedEvent_) ? pickedEvent_ : nullptr;
}

TFB_DataAssoc* TfrmDesignFBDiagram::PickedDataLine() const
{
    return diagram_ && holds(diagram_->DataLines, pickedData_) ? pickedData_ : nullptr;
}

TFB_IPPFBAssocsInst* TfrmDesignFBDiagram::PickedIppLine() const
{
    return diagram_ && holds(diagram_->IPPFBLines, pickedIpp_) ? pickedIpp_ : nullptr;
}

TFB_IPPtoIPPAssocInst* TfrmDesignFBDiagram::PickedIppToIppLine() const
{
    return diagram_ && holds(diagram_->IPPtoIPPLines, pickedIppToIpp_) ? pickedIppToIpp_ : nullptr;
}

TCompositeConnection* TfrmDesignFBDiagram::PickedCompositeLine() const
{
    return diagram_ && holds(diagram_->CompositeConns, pickedComposite_) ? pickedComposite_ : nullptr;
}

QString TfrmDesignFBDiagram::NetworkCaption(const QString& fileName)
{
    return QStringLiteral("Function Block Network [") + fileName + QStringLiteral("]");
}

// ---------------------------------------------------------------------------
// Diagram, painting, zoom, scrolling

void TfrmDesignFBDiagram::AttachDiagram(TFB_Diagram* diagram)
{
    diagram_ = diagram;
    if (!diagram_)
        return;
    for (auto& inst : diagram_->DrawnInstances)
        inst->Canvas = &canvas_;
    diagram_->Zoom = 0.8;
    ApplyZoom();
    diagram_->RebuildLines();
    // Only an application diagram is simulated: not a composite's network
    // nor a device's process-interface diagram.
    Button(QStringLiteral("btnDebug"))->setEnabled(!compositeNetwork() && !deviceDiagram() && !composite_);
    PaintDiagram();
}

void TfrmDesignFBDiagram::RefreshDiagram()
{
    if (!diagram_)
        return;
    ApplyZoom();
    diagram_->RebuildLines();
    PaintDiagram();
}

void TfrmDesignFBDiagram::PaintDiagram()
{
    if (!diagram_ || canvas_.Image.isNull())
        return;
    // While a step runs, the threads write what a paint reads: the picture
    // of the last rest stays until the debugger's next draw.
    if (debugger_ && !debugger_->ModelAtRest()) {
        paintBox_->update();
        return;
    }
    if (debugger_)
        view_.Blink = debugger_->Blink();
    view_.ScrollY = scrollY_;
    view_.Canvas = &canvas_;
    if (telvo::PaintDiagram(canvas_.Image, diagram_, view_))
        paintBox_->update();
}

double TfrmDesignFBDiagram::Zoom() const
{
    return diagram_ ? diagram_->Zoom : 0.8;
}

void TfrmDesignFBDiagram::SetZoom(double zoom)
{
    if (!diagram_)
        return;
    // Steps of 0.05 must land on the hundredths they name: 0.8 - 13 x 0.05
    // is 0.15, not a hair below it.
    diagram_->Zoom = std::round(zoom * 1e9) / 1e9;
    ApplyZoom();
}

void TfrmDesignFBDiagram::ApplyZoom()
{
    if (!diagram_)
        return;
    const double z = diagram_->Zoom;
    cmbZoom_->setEditText(QString::number(z * 100, 'f', 0) + QStringLiteral("%"));
    for (auto& inst : diagram_->DrawnInstances)
        SetScale(*inst, z);
    if (!deviceDiagram())
        for (auto& pic : diagram_->IPPPictures)
            pic->SetScale(z);
    for (auto& note : diagram_->Notes)
        SetScale(*note, z);
    PaintDiagram();
    // "80 %": a percentage reads at a glance where "0.8" does not.
    setStatus(QString::number(z * 100, 'f', 0).toStdString() + " %");
}

void TfrmDesignFBDiagram::ZoomInClick()
{
    SetZoom(Zoom() + 0.05);
}

void TfrmDesignFBDiagram::ZoomOutClick()
{
    if (Zoom() < 0.15)
        return;
    SetZoom(Zoom() - 0.05);
}

void TfrmDesignFBDiagram::ZoomTextEntered(const QString& text)
{
    QString number = text;
    number.remove(QLatin1Char('%'));
    bool ok = false;
    const double value = number.trimmed().toDouble(&ok);
    if (!ok) {
        showProgramError(QStringLiteral("'") + number.trimmed() + QStringLiteral("' is not a valid floating point value"));
        return;
    }
    const double zoom = value / 100.0;
    if (zoom < 0.01)
        return;
    SetZoom(zoom);
}

void TfrmDesignFBDiagram::ZoomAbout(double zoom, int x, int y)
{
    if (!diagram_ || zoom <= 0)
        return;
    const double before = Zoom();
    SetZoom(zoom);
    // Zooming scales the drawing about its top-left corner; scrolling by
    // the growth of the distance to (x, y) brings that spot back under the
    // mouse, to the scroll bars' step of 10 pixels.
    const double factor = Zoom() / before;
    const int wantX = scrollX_ + static_cast<int>(std::lround(x * (factor - 1.0)));
    const int wantY = scrollY_ + static_cast<int>(std::lround(y * (factor - 1.0)));
    const QSignalBlocker blockH(hBar_), blockV(vBar_);
    hBar_->setValue(static_cast<int>(std::lround(wantX / 10.0)));
    vBar_->setValue(static_cast<int>(std::lround(wantY / 10.0)));
    scrolled();
}

void TfrmDesignFBDiagram::WheelTurned(int x, int y, QPoint angleDelta, Qt::KeyboardModifiers modifiers)
{
    if (!diagram_)
        return;
    // One notch is 120; touch pads send fractions, which add up.
    const int along = angleDelta.y() != 0 ? angleDelta.y() : angleDelta.x();
    if (along == 0)
        return;
    if (modifiers & Qt::ControlModifier) {
        if (along > 0)
            ZoomAbout(Zoom() + 0.05, x, y);
        else if (Zoom() >= 0.15)
            ZoomAbout(Zoom() - 0.05, x, y);
        return;
    }
    // Three steps of the bar (30 pixels) a notch, as text views scroll.
    const int steps = -along * 3 / 120 != 0 ? -along * 3 / 120 : (along > 0 ? -1 : 1);
    const bool across = (modifiers & Qt::ShiftModifier) || angleDelta.y() == 0;
    QScrollBar* bar = across ? hBar_ : vBar_;
    bar->setValue(bar->value() + steps);
}

void TfrmDesignFBDiagram::ZoomToFitClick()
{
    if (!diagram_)
        return;
    // The drawn extent of everything, at the current zoom and scroll.
    int left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
    auto take = [&](int l, int t, int r, int b) {
        left = std::min(left, l);
        top = std::min(top, t);
        right = std::max(right, r);
        bottom = std::max(bottom, b);
    };
    for (auto& inst : diagram_->DrawnInstances)
        take(inst->X, inst->Y, inst->X + inst->Width, inst->Y + inst->Height);
    for (auto& pic : diagram_->IPPPictures)
        take(pic->X, pic->Y, pic->X + pic->LabelWidth + 40, pic->Y + 30);
    for (auto& note : diagram_->Notes)
        take(note->X, note->Y, std::max(note->Right, note->X + 20), std::max(note->Bottom, note->Y + 20));
    if (left > right)
        return;
    constexpr int margin = 20;
    const double z = Zoom();
    const double w = (right - left) / z, h = (bottom - top) / z;
    const double fitW = (paintBox_->width() - 2 * margin) / std::max(w, 1.0);
    const double fitH = (paintBox_->height() - 2 * margin) / std::max(h, 1.0);
    // A step of the zoom buttons, from a tenth up to twice the size.
    double fit = std::floor(std::min(fitW, fitH) * 20.0 + 1e-9) / 20.0;
    fit = std::clamp(fit, 0.10, 2.0);
    SetZoom(fit);
    const double factor = Zoom() / z;
    const int wantX = scrollX_ + static_cast<int>(std::lround(left * factor)) - margin;
    const int wantY = scrollY_ + static_cast<int>(std::lround(top * factor)) - margin;
    const QSignalBlocker blockH(hBar_), blockV(vBar_);
    hBar_->setValue(static_cast<int>(std::floor(wantX / 10.0)));
    vBar_->setValue(static_cast<int>(std::floor(wantY / 10.0)));
    scrolled();
}

void TfrmDesignFBDiagram::EscapePressed()
{
    if (!diagram_)
        return;
    if (view_.RubberBand) {
        // The band goes without selecting anything.
        endRubberBand();
        diagram_->ClearSelection();
        PaintDiagram();
        return;
    }
    if (!connectMode_)
        return;
    const bool pending = firstEvent_ || firstData_ || firstIpp_ || pendingInterfaceEvent_ || pendingInterfaceData_ ||
                         rubberLine_ != QPoint(-1, -1);
    if (!pending) {
        Button(QStringLiteral("SpeedButton13"))->setChecked(true);
        SelectModeClick();
        return;
    }
    resetConnectionState();
    paintBox_->update();
}

void TfrmDesignFBDiagram::scrolled()
{
    scrollX_ = hBar_->value() * 10;
    scrollY_ = vBar_->value() * 10;
    if (!diagram_)
        return;
    for (auto& inst : diagram_->DrawnInstances)
        MoveBy(*inst, scrollX_, scrollY_);
    for (auto& pic : diagram_->IPPPictures)
        pic->MoveBy(scrollX_, scrollY_);
    for (auto& note : diagram_->Notes)
        MoveBy(*note, scrollX_, scrollY_);
    PaintDiagram();
}

// ---------------------------------------------------------------------------
// Toolbar commands

void TfrmDesignFBDiagram::NewFBClick()
{
    if (view_.DebugMode)
        return;
    hint("Select a Function Block instance from the list, in order to insert it in the Function Block network "
         "diagram",
         3);
    if (!main_)
        return;
    main_->AddEditorWindow(this);
    if (QMenu* menu = main_->FBTypesMenu()) {
        QToolButton* b = Button(QStringLiteral("btnNewFB"));
        menu->popup(b->mapToGlobal(QPoint(0, b->height())));
    }
}

void TfrmDesignFBDiagram::ShowTypeClick(bool down)
{
    if (!diagram_)
        return;
    for (auto& inst : diagram_->DrawnInstances)
        inst->TypeColour = down ? DiagramColour::ShownTypes : TFB_Instance::HiddenTypeColour;
    PaintDiagram();
}

void TfrmDesignFBDiagram::DrawEventsClick(bool down)
{
    if (!diagram_)
        return;
    for (auto& inst : diagram_->DrawnInstances)
        if (inst->IsStereotype)
            inst->DrawAsGlyph = !down;
    PaintDiagram();
}

void TfrmDesignFBDiagram::ShowOtherInstancesConnectionsClick(bool down)
{
    view_.ShowRemoteConnections = !down;
    PaintDiagram();
}

void TfrmDesignFBDiagram::AddNoteClick()
{
    if (!diagram_ || view_.DebugMode)
        return;
    beginEdit();
    TFBDnote* note = diagram_->AddNote();
    // The note stays where it is put while the drawing is scrolled on.
    note->LastMouseX = scrollX_;
    note->LastMouseY = scrollY_;
    modelChanged(QStringLiteral("Add note"));
    PaintDiagram();
}

void TfrmDesignFBDiagram::SelectModeClick()
{
    resetConnectionState();
}

void TfrmDesignFBDiagram::DrawConnectionClick()
{
    if (view_.DebugMode)
        return;
    connectMode_ = true;
    paintBox_->setCursor(Qt::CrossCursor);
    sendHint("You can start by making connections between Event and Data, inputs and outputs.", 3);
}

void TfrmDesignFBDiagram::InsertIppClick()
{
    if (view_.DebugMode)
        return;
    ippPicker_->Fill(workbench_.SystemLayer());
    QToolButton* b = Button(QStringLiteral("btnInsertIPP"));
    ippPicker_->move(b->mapToGlobal(QPoint(0, b->height())));
    ippPicker_->show();
}

void TfrmDesignFBDiagram::SetCompositeNetwork(bool composite)
{
    composite_ = composite;
    Button(QStringLiteral("btnDebug"))->setEnabled(!composite && diagram_ && !deviceDiagram());
    Button(QStringLiteral("btnInsertIPP"))->setVisible(!composite);
    Button(QStringLiteral("btnOpenFBNetwork"))->setVisible(false);
    Button(QStringLiteral("btnExportFBNetwork"))->setVisible(!composite && !projectOpen());
}

// ---------------------------------------------------------------------------
// Adding objects

TFB_Instance* TfrmDesignFBDiagram::AddInstanceOfType(const std::string& typeName)
{
    if (!diagram_ || view_.DebugMode)
        return nullptr;
    TFB_Instance* inst = nullptr;
    beginEdit();
    try {
        inst = diagram_->AddInstance("", typeName, true, &canvas_);
    } catch (const EConvertError& e) {
        workbench_.UI().ShowMessage(e.what());
        return nullptr;
    }
    if (!inst)
        return nullptr;
    SetScale(*inst, Zoom());
    if (Button(QStringLiteral("btnShowType"))->isChecked())
        inst->TypeColour = NewInstanceTypeColour;
    // Its zoom-1 position follows from where it is put; it then stays there
    // while the drawing is scrolled on.
    placeClear(*inst, NewInstancePoint());
    inst->LastMouseX = scrollX_;
    inst->LastMouseY = scrollY_;
    MoveBy(*inst, inst->LastMouseX, inst->LastMouseY);
    LayoutInstance(*inst);
    refreshInstancesTree();
    const std::string lower = lowerCase(typeName);
    sendHint("You just have added an instance of the " + lower + " Function Block type", 3);
    log("Added an instance of the " + lower + " Function Block type");
    modelChanged(QStringLiteral("Add ") + qs(inst->Ref ? inst->Ref->Name : typeName));
    PaintDiagram();
    return inst;
}

QPoint TfrmDesignFBDiagram::NewInstancePoint() const
{
    if (lastPressKnown_)
        return QPoint(static_cast<int>(std::lround(lastPressX_ * Zoom())) - scrollX_,
                      static_cast<int>(std::lround(lastPressY_ * Zoom())) - scrollY_);
    return QPoint(paintBox_->width() / 2, paintBox_->height() / 2);
}

void TfrmDesignFBDiagram::placeClear(TFB_Instance& instance, QPoint at)
{
    instance.X = at.x();
    instance.Y = at.y();
    if (!lastPressKnown_) {
        // In the middle of the view the block is centred on the point.
        instance.X -= instance.Width / 2;
        instance.Y -= instance.Height / 2;
    }
    // A block dropped exactly onto another hides it: step down and right by
    // the grid until the new one covers no other block.
    const int grid = std::max(1, Scaled(20, Zoom()));
    auto covers = [&] {
        const QRect mine(instance.X, instance.Y, instance.Width, instance.Height);
        for (auto& other : diagram_->DrawnInstances)
            if (other.get() != &instance && mine.intersects(QRect(other->X, other->Y, other->Width, other->Height)))
                return true;
        return false;
    };
    for (int step = 0; step < 2000 && covers(); ++step) {
        instance.X += grid;
        instance.Y += grid;
    }
}

TslIPP* TfrmDesignFBDiagram::AddIppPicture(TslIPPRef* ipp, int x, int y)
{
    if (!diagram_ || !ipp || view_.DebugMode)
        return nullptr;
    beginEdit();
    TslIPP* pic = diagram_->AddIPPPicture(ipp, x, y);
    if (!pic)
        return nullptr;
    pic->LastMouseX = scrollX_;
    pic->LastMouseY = scrollY_;
    log("Add IPP: " + ipp->Name);
    modelChanged(QStringLiteral("Add IPP ") + qs(ipp->Name));
    return pic;
}

void TfrmDesignFBDiagram::DropRecord(TFB_InstanceRef* record, int x, int y)
{
    if (!diagram_ || !record || !record->Type || view_.DebugMode)
        return;
    // Only records of this project: a stale node must not reach the model.
    if (!holds(manager().Instances, record))
        return;
    beginEdit();
    TFB_Instance* inst = diagram_->AddInstance(record->Name, record->Type->Name, false, &canvas_);
    if (!inst)
        return;
    inst->Scale = Zoom();
    inst->X = x;
    inst->Y = y;
    MoveBy(*inst, scrollX_, scrollY_);
    LayoutInstance(*inst);
    diagram_->RebuildLines();
    modelChanged(QStringLiteral("Place ") + qs(record->Name));
    PaintDiagram();
}

void TfrmDesignFBDiagram::DropIpp(TslIPPRef* ipp, int x, int y)
{
    if (!diagram_ || !ipp || view_.DebugMode)
        return;
    AddIppPicture(ipp, x, y);
    diagram_->RebuildLines();
    PaintDiagram();
}

// ---------------------------------------------------------------------------
// Mouse

void TfrmDesignFBDiagram::MouseDown(int x, int y, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    if (!diagram_)
        return;
    if (skipNextPress_) {
        skipNextPress_ = false;
        return;
    }
    if (modifiers & Qt::ControlModifier) {
        // A drag to the system layer: the selected instance goes to the
        // device it is dropped on.
        auto* data = new QMimeData;
        TFB_Instance* inst = diagram_->LastSelectedInstance();
        data->setData(QString::fromLatin1(FBInstanceMimeType),
                      inst && inst->Ref ? QByteArray::fromStdString(inst->Ref->Name) : QByteArray());
        if (StartDrag)
            StartDrag(data);
        else
            delete data;
        return;
    }
    clearDragFlags();
    clearPickedConnections();
    lastPressKnown_ = true;
    lastPressX_ = (x + scrollX_) / Zoom();
    lastPressY_ = (y + scrollY_) / Zoom();
    selLeft_ = selRight_ = x;
    selTop_ = selBottom_ = y;
    if (!connectMode_) {
        // A drag may follow: one step for the whole of it.
        beginEdit();
        dragMoved_ = false;
        if (diagram_->Selection.size() == 1)
            diagram_->ClearSelection();
        if (!clickRoutine(x, y)) {
            diagram_->ClearSelection();
            view_.RubberBand = true;
            view_.RubberLeft = view_.RubberRight = x;
            view_.RubberTop = view_.RubberBottom = y;
        }
        for (TDrawObject* object : diagram_->Selection) {
            object->Selected = true;
            if (auto* inst = dynamic_cast<TFB_Instance*>(object))
                BeginDrag(*inst, x, y);
            else if (auto* note = dynamic_cast<TFBDnote*>(object))
                BeginDrag(*note, x, y);
            else if (auto* pic = dynamic_cast<TslIPP*>(object))
                pic->BeginDrag(x, y);
        }
    }
    (void)button;
    PaintDiagram();
}

void TfrmDesignFBDiagram::MouseMove(int x, int y)
{
    if (!diagram_)
        return;
    if (connectMode_) {
        QPoint anchor(x, y);
        const int width = paintBox_->width();
        if (alive(firstIpp_))
            anchor = QPoint(firstIpp_->Anchor1X, firstIpp_->Anchor1Y);
        if (alive(firstEvent_))
            anchor = QPoint(firstEvent_->X, firstEvent_->Y);
        if (alive(firstData_))
            anchor = QPoint(firstData_->X, firstData_->Y);
        if (compositeNetwork()) {
            if (auto p = InterfacePortOf(*diagram_->CompositeType, pendingInterfaceEvent_, width, scrollY_))
                anchor = QPoint(p->X, p->Y);
            if (auto p = InterfacePortOf(*diagram_->CompositeType, pendingInterfaceData_, width, scrollY_))
                anchor = QPoint(p->X, p->Y);
        }
        if (anchor == QPoint(x, y))
            return;
        rubberAnchor_ = anchor;
        rubberLine_ = QPoint(x, y);
        paintBox_->update();
        return;
    }
    if (view_.RubberBand) {
        selRight_ = x;
        selBottom_ = y;
        view_.RubberRight = x;
        view_.RubberBottom = y;
    } else {
        for (auto& inst : diagram_->DrawnInstances)
            if (inst->Selected) {
                DragTo(*inst, x, y);
                dragMoved_ = true;
            }
        for (auto& pic : diagram_->IPPPictures)
            if (pic->Selected) {
                pic->DragTo(x, y);
                dragMoved_ = true;
            }
        for (auto& note : diagram_->Notes)
            if (note->Selected) {
                DragTo(*note, x, y);
                dragMoved_ = true;
            }
    }
    PaintDiagram();
}

void TfrmDesignFBDiagram::MouseUp(int x, int y)
{
    if (!diagram_)
        return;
    if (view_.RubberBand || connectMode_) {
        if (connectMode_)
            beginEdit();
        if (!view_.RubberBand) {
            selLeft_ = selRight_ = x;
            selTop_ = selBottom_ = y;
        }
        clickRoutine(x, y);
    }
    endRubberBand();
    clearDragFlags();
    if (dragMoved_) {
        dragMoved_ = false;
        modelChanged(QStringLiteral("Move"));
    }
    PaintDiagram();
}

void TfrmDesignFBDiagram::endRubberBand()
{
    view_.RubberBand = false;
}

void TfrmDesignFBDiagram::clearDragFlags()
{
    if (!diagram_)
        return;
    for (auto& inst : diagram_->DrawnInstances)
        inst->Selected = false;
    for (auto& pic : diagram_->IPPPictures) {
        pic->Selected = false;
        pic->DragOffsetX = 0;
        pic->DragOffsetY = 0;
    }
    for (auto& note : diagram_->Notes)
        note->Selected = false;
}

void TfrmDesignFBDiagram::clearPickedConnections()
{
    if (auto* l = PickedEventLine())
        l->Highlighted = false;
    if (auto* l = PickedDataLine())
        l->Highlighted = false;
    if (auto* l = PickedIppLine())
        l->Highlighted = false;
    if (auto* l = PickedIppToIppLine())
        l->Highlighted = false;
    if (auto* l = PickedCompositeLine())
        l->Highlighted = false;
    pickedEvent_ = nullptr;
    pickedData_ = nullptr;
    pickedIpp_ = nullptr;
    pickedIppToIpp_ = nullptr;
    pickedComposite_ = nullptr;
}

bool TfrmDesignFBDiagram::clickRoutine(int x, int y)
{
    const THitRect rect{selLeft_, selTop_, selRight_, selBottom_};
    const bool rubber = view_.RubberBand;
    bool hit = false;

    // 1. Instances, topmost first.
    for (size_t i = diagram_->DrawnInstances.size(); i-- > 0;) {
        TFB_Instance* inst = diagram_->DrawnInstances[i].get();
        if (!HitTest(*inst, rect))
            continue;
        if (view_.DebugMode) {
            eventPortUnderMouse_ = EventPortAt(*inst, x, y);
            dataPortUnderMouse_ = eventPortUnderMouse_ ? nullptr : DataPortAt(*inst, x, y);
        }
        if (connectMode_) {
            if (TFBEvent* ev = EventPortAt(*inst, x, y)) {
                hit = true;
                eventPortRules(inst->PictureOf(ev));
            }
            // The event rules may have made a connection and rebuilt nothing
            // of this instance: its pictures are still there.
            if (holds(diagram_->DrawnInstances, inst))
                if (TFBDataMember* data = DataPortAt(*inst, x, y)) {
                    hit = true;
                    dataPortRules(inst->PictureOf(data));
                }
            continue;
        }
        diagram_->Select(inst);
        inst->Selected = true;
        BeginDrag(*inst, x, y);
        hit = true;
        if (!rubber)
            return true;
    }

    // 2. IPP pictures.
    for (size_t i = 0; i < diagram_->IPPPictures.size(); ++i) {
        TslIPP* pic = diagram_->IPPPictures[i].get();
        if (!HitTest(*pic, rect))
            continue;
        hit = true;
        const bool bothEnds = (firstEvent_ || secondEvent_) && (firstData_ || secondData_);
        if (!connectMode_ || bothEnds) {
            diagram_->Select(pic);
            pic->Selected = true;
            pic->BeginDrag(x, y);
            if (!rubber)
                return true;
        }
        if (connectMode_)
            ippRules(pic);
    }

    // 3, 4. The composite interface, or nothing: the pending ends go.
    if (!hit && connectMode_ && compositeNetwork())
        hit = interfacePortRoutine(x, y);
    if (!hit && connectMode_)
        resetConnectionState();

    // 5. Connections, only while no instance and no IPP picture is selected.
    if (!diagram_->LastSelectedInstance() && !diagram_->LastSelectedIPP()) {
        auto pick = [&](auto& lines, auto*& picked) {
            for (size_t i = lines.size(); i-- > 0;)
                if (lines[i]->HitTest(x, y)) {
                    picked = lines[i].get();
                    picked->Highlighted = true;
                    hit = true;
                    return;
                }
        };
        pick(diagram_->EventLines, pickedEvent_);
        if (!pickedEvent_)
            pick(diagram_->DataLines, pickedData_);
        if (!pickedEvent_ && !pickedData_)
            pick(diagram_->IPPFBLines, pickedIpp_);
        if (!pickedEvent_ && !pickedData_ && !pickedIpp_)
            pick(diagram_->CompositeConns, pickedComposite_);
        if (!pickedEvent_ && !pickedData_ && !pickedComposite_ && !pickedIpp_)
            pick(diagram_->IPPtoIPPLines, pickedIppToIpp_);
    }

    // 6. Notes, topmost first: one at most.
    for (size_t i = diagram_->Notes.size(); i-- > 0;) {
        TFBDnote* note = diagram_->Notes[i].get();
        if (!HitTest(*note, rect))
            continue;
        diagram_->Select(note);
        note->Selected = true;
        BeginDrag(*note, x, y);
        hit = true;
        break;
    }
    return hit;
}

// ---------------------------------------------------------------------------
// Connection rules

void TfrmDesignFBDiagram::eventPortRules(TFBEventDraw* port)
{
    if (!port || !port->Event || !port->Event->Decl)
        return;
    const bool input = port->Event->Decl->IsInput();
    const std::string& name = port->Event->Name();
    const bool d = deviceDiagram();
    if (!alive(firstEvent_))
        firstEvent_ = nullptr;
    if (alive(firstIpp_)) {
        const bool eventIpp = firstIpp_->Ipp->IsEventIPP;
        if (firstIpp_->Ipp->IsActuator()) {
            if ((!input && eventIpp && !d) || (d && input && eventIpp)) {
                firstEvent_ = port;
                createIppConnection();
            } else {
                refuse("Please connect to a Function Block Event Output or Event Output IPP", 7, port->X, port->Y);
            }
        } else {
            if ((input && eventIpp && !d) || (d && !input && eventIpp)) {
                firstEvent_ = port;
                createIppConnection();
            } else {
                refuse("Please connect to a Function Block Event Input or Event Input IPP", 3, port->X, port->Y);
            }
        }
        return;
    }
    if (firstEvent_) {
        if (firstEvent_->Event->Decl->IsInput()) {
            if (!input) {
                secondEvent_ = port;
                hint("Target Event Output: " + name + ".", 1);
                createEventConnection();
            } else {
                refuse("Please connect an Event Output", 7, port->X, port->Y);
            }
        } else {
            if (input) {
                secondEvent_ = port;
                hint("Source Event Input: " + name + ".", 2);
                createEventConnection();
            } else {
                refuse("Please connect an Event Input", 3, port->X, port->Y);
            }
        }
        return;
    }
    if (compositeNetwork() && pendingInterfaceEvent_) {
        secondEvent_ = port;
        createCompositeEventConnection(port);
        return;
    }
    if (compositeNetwork() && pendingInterfaceData_) {
        refuse("Please connect to an Event Input", 3, port->X, port->Y);
        return;
    }
    firstEvent_ = port;
    if (input)
        hint("Source Event Input: " + name + ". Please connect to an Event Output", 3);
    else
        hint("Source Event Output: " + name + ". Please connect to an Event Input", 7);
}

void TfrmDesignFBDiagram::dataPortRules(TFBDataMemberDraw* port)
{
    if (!port || !port->Member || !port->Member->Decl)
        return;
    const bool input = port->Member->Decl->IsInput();
    const std::string& name = port->Member->Name();
    const bool d = deviceDiagram();
    if (!alive(firstData_))
        firstData_ = nullptr;
    if (alive(firstIpp_)) {
        const bool dataIpp = !firstIpp_->Ipp->IsEventIPP;
        if (firstIpp_->Ipp->IsActuator()) {
            if ((!input && dataIpp && !d) || (d && input && dataIpp)) {
                firstData_ = port;
                createIppConnection();
            } else {
                refuse("Please connect to a Function Block Data Output or Data Output IPP", 7, port->X, port->Y);
            }
        } else {
            if ((input && dataIpp && !d) || (d && !input && dataIpp)) {
                firstData_ = port;
                createIppConnection();
            } else {
                refuse("Please connect to a Function Block Data Input or Data Input IPP", 3, port->X, port->Y);
            }
        }
        return;
    }
    if (firstData_) {
        if (firstData_->Member->Decl->IsInput()) {
            if (!input) {
                secondData_ = port;
                hint("Target Data Output: " + name + ".", 1);
                createDataConnection();
            } else {
                refuse("Please connect a Data Output", 7, port->X, port->Y);
            }
        } else {
            if (input) {
                secondData_ = port;
                hint("Source Data Input: " + name + ".", 2);
                createDataConnection();
            } else {
                refuse("Please connect a Data Input", 5, port->X, port->Y);
            }
        }
        return;
    }
    if (compositeNetwork() && pendingInterfaceData_) {
        secondData_ = port;
        createCompositeDataConnection(port);
        return;
    }
    if (compositeNetwork() && pendingInterfaceEvent_) {
        refuse("Please connect to a Data Input", -1, port->X, port->Y);
        return;
    }
    firstData_ = port;
    if (input)
        hint("Source Data Input: " + name + ". Please connect to a Data Output", 7);
    else
        hint("Source Data Output: " + name + ". Please connect to a Data Input", 3);
}

void TfrmDesignFBDiagram::ippRules(TslIPP* picture)
{
    if (!alive(picture))
        return;
    const bool d = deviceDiagram();
    const bool sensor = !picture->Ipp->IsActuator();
    const bool eventIpp = picture->Ipp->IsEventIPP;
    if (!alive(firstEvent_))
        firstEvent_ = nullptr;
    if (!alive(firstData_))
        firstData_ = nullptr;
    if (alive(firstIpp_)) {
        const bool firstActuator = firstIpp_->Ipp->IsActuator();
        if (firstActuator == sensor) {
            secondIpp_ = picture;
            createIppToIppConnection();
        } else {
            refuse(firstActuator ? "Please connect to a Sensor IPP" : "Please connect to an Actuator IPP", 3, picture->X + 8, picture->Y + 8);
        }
        return;
    }
    if (firstEvent_) {
        const std::string& name = firstEvent_->Event->Name();
        if (firstEvent_->Event->Decl->IsInput()) {
            if ((!d && sensor && eventIpp) || (d && !sensor && eventIpp)) {
                firstIpp_ = picture;
                createIppConnection();
            } else {
                refuse("Source Event Input: " + name + ". Please connect to a Sensor IPP", 3, picture->X + 8, picture->Y + 8);
            }
        } else {
            if ((!d && !sensor && eventIpp) || (d && sensor && eventIpp)) {
                firstIpp_ = picture;
                createIppConnection();
            } else {
                refuse("Source Event Output: " + name + ". Please connect to an Actuator IPP", 7, picture->X + 8, picture->Y + 8);
            }
        }
        return;
    }
    if (firstData_) {
        const std::string& name = firstData_->Member->Name();
        if (firstData_->Member->Decl->IsInput()) {
            if ((!d && sensor && !eventIpp) || (d && !sensor && !eventIpp)) {
                firstIpp_ = picture;
                createIppConnection();
            } else {
                refuse("Source Data Input: " + name + ". Please connect to a Sensor IPP", 3, picture->X + 8, picture->Y + 8);
            }
        } else {
            if ((!d && !sensor && !eventIpp) || (d && sensor && !eventIpp)) {
                firstIpp_ = picture;
                createIppConnection();
            } else {
                refuse("Source Data Output: " + name + ". Please connect to a Actuator IPP", 7, picture->X + 8, picture->Y + 8);
            }
        }
        return;
    }
    firstIpp_ = picture;
}

bool TfrmDesignFBDiagram::interfacePortRoutine(int x, int y)
{
    TFB_Type& type = *diagram_->CompositeType;
    const int width = paintBox_->width();
    const int sy = scrollY_;
    bool rowHit = false;
    if (x < InterfaceLeftEdge || x > InterfaceRightEdge(width)) {
        const TInterfaceSide side = x < InterfaceLeftEdge ? TInterfaceSide::Left : TInterfaceSide::Right;
        for (const TInterfacePort& p : InterfacePorts(type, width, sy)) {
            if (p.Side != side || !(p.Top + 5 < y && y < p.Top + 18))
                continue;
            if (p.Event)
                pendingInterfaceEvent_ = p.Event;
            else
                pendingInterfaceData_ = p.Data;
            rowHit = true;
            break;
        }
    }
    if (!alive(firstEvent_))
        firstEvent_ = nullptr;
    if (!alive(firstData_))
        firstData_ = nullptr;

    if (firstEvent_) {
        TFBEventDraw* e = firstEvent_;
        const TFBEventType& decl = *e->Event->Decl;
        const std::string name = (e->Event->Owner ? e->Event->Owner->Name : std::string()) + "_" + decl.Name;
        if (!rowHit && x < InterfaceLeftEdge && decl.IsInput()) {
            TFBEventType* made = type.AddEventInput(name, decl.Type, decl.Comment);
            PaintDiagram();
            const int n = static_cast<int>(type.EventInputs.size());
            interfacePortRoutine(25, 20 * (n - 1) - sy + 10);
            if (OnNewInterfaceEventInput)
                OnNewInterfaceEventInput(made);
            return true;
        }
        if (!rowHit && x > InterfaceRightEdge(width) && !decl.IsInput()) {
            TFBEventType* made = type.AddEventOutput(name, decl.Type, decl.Comment);
            PaintDiagram();
            const int n = static_cast<int>(type.EventOutputs.size());
            interfacePortRoutine(width - 50, 20 * (n - 1) - sy + 10);
            if (OnNewInterfaceEventOutput)
                OnNewInterfaceEventOutput(made);
            return true;
        }
        if (pendingInterfaceEvent_) {
            secondEvent_ = e;
            createCompositeEventConnection(e);
        } else {
            hint("Source Interface Event Input: " + decl.Name + ". Please connect to an Event Input export interface",
                 -1);
            pendingInterfaceEvent_ = nullptr;
            pendingInterfaceData_ = nullptr;
        }
        return rowHit;
    }
    if (firstData_) {
        TFBDataMemberDraw* dEnd = firstData_;
        const TFBDataMemberType& decl = *dEnd->Member->Decl;
        const std::string name = (dEnd->Member->Owner ? dEnd->Member->Owner->Name : std::string()) + "_" + decl.Name;
        if (!rowHit && x < InterfaceLeftEdge && decl.IsInput()) {
            TFBDataMemberType* made = type.AddDataInput(name, decl.Type, decl.Comment, "", "");
            PaintDiagram();
            const int e = static_cast<int>(type.EventInputs.size());
            const int n = static_cast<int>(type.DataInputs.size());
            interfacePortRoutine(25, 20 * (e + n) - sy + 10);
            if (OnNewInterfaceDataInput)
                OnNewInterfaceDataInput(made);
            return true;
        }
        if (!rowHit && x > InterfaceRightEdge(width) && !decl.IsInput()) {
            TFBDataMemberType* made = type.AddDataOutput(name, decl.Type, decl.Comment, "", "");
            PaintDiagram();
            const int e = static_cast<int>(type.EventOutputs.size());
            const int n = static_cast<int>(type.DataOutputs.size());
            interfacePortRoutine(width - 50, 20 * (e + n) - sy + 10);
            if (OnNewInterfaceDataOutput)
                OnNewInterfaceDataOutput(made);
            return true;
        }
        if (pendingInterfaceData_) {
            secondData_ = dEnd;
            createCompositeDataConnection(dEnd);
        } else {
            hint("Source Interface Data Input: " + decl.Name + ". Please connect to a Data Input  export interface", -1);
            pendingInterfaceEvent_ = nullptr;
            pendingInterfaceData_ = nullptr;
        }
        return rowHit;
    }
    return rowHit;
}

void TfrmDesignFBDiagram::resetConnectionState()
{
    connectMode_ = Button(QStringLiteral("btnDrawConnection"))->isChecked();
    if (!connectMode_)
        paintBox_->unsetCursor();
    rubberLine_ = QPoint(-1, -1);
    rubberAnchor_ = QPoint(-1, -1);
    firstEvent_ = secondEvent_ = nullptr;
    firstData_ = secondData_ = nullptr;
    firstIpp_ = secondIpp_ = nullptr;
    pendingInterfaceEvent_ = nullptr;
    pendingInterfaceData_ = nullptr;
    PaintDiagram();
}

// ---------------------------------------------------------------------------
// Creating connections

void TfrmDesignFBDiagram::connectionCreated(const std::string& logLine)
{
    resetConnectionState();
    refreshConnectionsTree();
    log(logLine);
    modelChanged(QStringLiteral("Connect"));
}

void TfrmDesignFBDiagram::createEventConnection()
{
    if (!alive(firstEvent_) || !alive(secondEvent_))
        return resetConnectionState();
    TFBEventDraw* dest = firstEvent_->Event->Decl->IsInput() ? firstEvent_ : secondEvent_;
    TFBEventDraw* source = dest == firstEvent_ ? secondEvent_ : firstEvent_;
    if (diagram_->InnerNetwork) {
        diagram_->AddInnerEventConn(source->Event, dest->Event, diagram_->InnerEventRecords());
    } else {
        // The network file holds a connection once: a second record of it
        // would be gone after saving and opening again.
        if (manager().FindEventConn(dest->Event->Name(), source->Event->Name(), dest->Event->Owner->Name,
                                    source->Event->Owner->Name)) {
            hint("This Event Connection exists already.", 6);
            return resetConnectionState();
        }
        auto record = std::make_unique<TFB_EventAssocRef>();
        record->DestPort = dest->Event;
        record->SourcePort = source->Event;
        record->DestInstance = dest->Event->Owner;
        record->SourceInstance = source->Event->Owner;
        TFB_EventAssocRef* made = manager().AddEventConn(std::move(record));
        auto line = std::make_unique<TFB_EventAssoc>();
        line->Ref = made;
        line->DestPortPic = dest;
        line->SourcePortPic = source;
        line->DestDrawn = dest->Instance;
        line->SourceDrawn = source->Instance;
        diagram_->AddEventLine(std::move(line));
    }
    connectionCreated("New Event Connection created");
}

void TfrmDesignFBDiagram::createDataConnection()
{
    if (!alive(firstData_) || !alive(secondData_))
        return resetConnectionState();
    TFBDataMemberDraw* dest = firstData_->Member->Decl->IsInput() ? firstData_ : secondData_;
    TFBDataMemberDraw* source = dest == firstData_ ? secondData_ : firstData_;
    if (diagram_->InnerNetwork) {
        diagram_->AddInnerDataConn(source->Member, dest->Member, diagram_->InnerDataRecords());
    } else {
        if (manager().FindDataConn(dest->Member->Name(), source->Member->Name(), dest->Member->Owner->Name,
                                   source->Member->Owner->Name)) {
            hint("This Data Connection exists already.", 6);
            return resetConnectionState();
        }
        auto record = std::make_unique<TFB_DataAssocRef>();
        record->SourcePort = source->Member;
        record->DestPort = dest->Member;
        record->DestInstance = dest->Member->Owner;
        record->SourceInstance = source->Member->Owner;
        TFB_DataAssocRef* made = manager().AddDataConn(std::move(record));
        auto line = std::make_unique<TFB_DataAssoc>();
        line->Ref = made;
        line->DestPortPic = dest;
        line->SourcePortPic = source;
        line->DestDrawn = dest->Instance;
        line->SourceDrawn = source->Instance;
        diagram_->AddDataLine(std::move(line));
    }
    connectionCreated("New Data Connection created");
}

void TfrmDesignFBDiagram::createIppConnection()
{
    if (!alive(firstIpp_))
        return resetConnectionState();
    TslIPPRef* ipp = firstIpp_->Ipp;
    auto record = std::make_unique<TFB_IPPFBAssocsRef>();
    record->IPP = ipp;
    auto line = std::make_unique<TFB_IPPFBAssocsInst>();
    line->IPPPicture = firstIpp_;
    if (ipp->IsEventIPP) {
        if (!alive(firstEvent_))
            return resetConnectionState();
        record->EventPort = firstEvent_->Event;
        record->Instance = firstEvent_->Event->Owner;
        line->EventPortPic = firstEvent_;
        line->Drawn = firstEvent_->Instance;
    } else {
        if (!alive(firstData_))
            return resetConnectionState();
        record->DataPort = firstData_->Member;
        record->Instance = firstData_->Member->Owner;
        line->DataPortPic = firstData_;
        line->Drawn = firstData_->Instance;
    }
    line->Ref = manager().AddIPPFBConn(std::move(record));
    diagram_->AddIPPFBLine(std::move(line));
    connectionCreated("New IPP to FB Connection created");
}

void TfrmDesignFBDiagram::createIppToIppConnection()
{
    if (!alive(firstIpp_) || !alive(secondIpp_))
        return resetConnectionState();
    TslIPP* sensor = firstIpp_->Ipp->IsActuator() ? secondIpp_ : firstIpp_;
    TslIPP* actuator = sensor == firstIpp_ ? secondIpp_ : firstIpp_;
    auto record = std::make_unique<TFB_IPPtoIPPAssocRef>();
    record->SourceIPP = sensor->Ipp;
    record->DestIPP = actuator->Ipp;
    auto line = std::make_unique<TFB_IPPtoIPPAssocInst>();
    line->Ref = manager().AddIPPtoIPPConn(std::move(record));
    line->SourcePicture = sensor;
    line->DestPicture = actuator;
    diagram_->AddIPPtoIPPLine(std::move(line));
    connectionCreated("New IPP to IPP Connection created");
}

void TfrmDesignFBDiagram::createCompositeEventConnection(TFBEventDraw* inner)
{
    if (alive(inner) && pendingInterfaceEvent_) {
        diagram_->AddCompositeEventConn(pendingInterfaceEvent_, inner->Event);
        modelChanged();
    }
    resetConnectionState();
}

void TfrmDesignFBDiagram::createCompositeDataConnection(TFBDataMemberDraw* inner)
{
    if (alive(inner) && pendingInterfaceData_) {
        diagram_->AddCompositeDataConn(pendingInterfaceData_, inner->Member);
        modelChanged();
    }
    resetConnectionState();
}

// ---------------------------------------------------------------------------
// Delete, edit, double click

void TfrmDesignFBDiagram::rebuildAllLines()
{
    for (auto& d : manager().Diagrams)
        d->RebuildLines();
    if (diagram_ && !holds(manager().Diagrams, diagram_))
        diagram_->RebuildLines();
}

int TfrmDesignFBDiagram::deleteSelection()
{
    if (!diagram_)
        return 0;
    // A copy: each deletion takes its object out of the selection, and
    // deleting the last drawing of a record may take more with it.
    const std::vector<TDrawObject*> chosen = diagram_->Selection;
    int removed = 0;
    for (TDrawObject* object : chosen) {
        if (auto* inst = dynamic_cast<TFB_Instance*>(object); inst && holds(diagram_->DrawnInstances, inst)) {
            diagram_->DeleteDrawn(inst, true);
            ++removed;
        } else if (auto* note = dynamic_cast<TFBDnote*>(object); note && holds(diagram_->Notes, note)) {
            diagram_->DeleteNote(note);
            ++removed;
        } else if (auto* pic = dynamic_cast<TslIPP*>(object); pic && holds(diagram_->IPPPictures, pic)) {
            diagram_->DeleteIPPPicture(pic, false);
            ++removed;
        }
    }
    diagram_->ClearSelection();
    return removed;
}

void TfrmDesignFBDiagram::DeleteClick()
{
    skipNextPress_ = true;
    if (!diagram_ || view_.DebugMode)
        return;
    beginEdit();
    TUserInterface& ui = workbench_.UI();
    const bool deleted = [&]() -> bool {
        // A rubber band's catch goes as a whole, after one question.
        if (diagram_->Selection.size() > 1) {
            if (!ui.AskYesNo("Delete the " + std::to_string(diagram_->Selection.size()) +
                             " selected objects from this diagram?"))
                return false;
            return deleteSelection() > 0;
        }
        if (TFB_Instance* inst = diagram_->LastSelectedInstance()) {
            if (ui.AskYesNo("Delete " + (inst->Ref ? inst->Ref->Name : std::string()) +
                            " from this diagram?  Note: The FB instance and any connections will remain in the "
                            "model but not in the diagram.")) {
                diagram_->DeleteDrawn(inst, true);
                return true;
            }
            return false;
        }
        if (TFB_EventAssoc* line = PickedEventLine())
            if (ui.AskYesNo("Delete Event Connection from your model ?")) {
                diagram_->DeleteEventLine(line);
                return true;
            }
        if (TFB_DataAssoc* line = PickedDataLine())
            if (ui.AskYesNo("Delete Data Connection from your model ?")) {
                diagram_->DeleteDataLine(line);
                return true;
            }
        if (TFB_IPPFBAssocsInst* line = PickedIppLine())
            if (ui.AskYesNo("Delete IPP Connection from your model ?")) {
                diagram_->DeleteIPPFBLine(line, true);
                return true;
            }
        if (TCompositeConnection* line = PickedCompositeLine())
            if (ui.AskYesNo("Delete Connection ?")) {
                diagram_->RemoveCompositeConn(line);
                return true;
            }
        if (TFB_IPPtoIPPAssocInst* line = PickedIppToIppLine())
            if (ui.AskYesNo("Delete IPP Connection from your model ?.")) {
                diagram_->DeleteIPPtoIPPLine(line, true);
                return true;
            }
        if (TFBDnote* note = diagram_->LastSelectedNote())
            if (ui.AskYesNo("Delete Note from your diagram ?")) {
                diagram_->DeleteNote(note);
                return true;
            }
        if (TslIPP* pic = diagram_->LastSelectedIPP())
            if (ui.AskYesNo("Delete " + (pic->Ipp ? pic->Ipp->Name : std::string()) +
                            " from this diagram? Note: any connections will remain in the model but not in the "
                            "diagram.")) {
                diagram_->DeleteIPPPicture(pic, false);
                return true;
            }
        return false;
    }();
    if (deleted)
        modelChanged(QStringLiteral("Delete"));
    diagram_->ClearSelection();
    pickedEvent_ = nullptr;
    pickedData_ = nullptr;
    pickedIpp_ = nullptr;
    pickedIppToIpp_ = nullptr;
    pickedComposite_ = nullptr;
    rebuildAllLines();
    refreshConnectionsTree();
    PaintDiagram();
}

// ---------------------------------------------------------------------------
// Clipboard

std::string TfrmDesignFBDiagram::SelectionText() const
{
    if (!diagram_ || diagram_->Selection.empty())
        return {};
    const std::vector<const TDrawObject*> chosen(diagram_->Selection.begin(), diagram_->Selection.end());
    return SelectionToText(*diagram_, chosen);
}

void TfrmDesignFBDiagram::CopyClick()
{
    const std::string text = SelectionText();
    if (text.empty()) {
        setStatus("Nothing is selected to copy");
        return;
    }
    auto* data = new QMimeData;
    const QByteArray bytes = QByteArray::fromStdString(text);
    data->setData(QString::fromLatin1(FBNetworkMimeType), bytes);
    data->setText(QString::fromUtf8(bytes));
    QGuiApplication::clipboard()->setMimeData(data);
    setStatus("Copied " + std::to_string(diagram_->Selection.size()) + " objects");
}

void TfrmDesignFBDiagram::CutClick()
{
    if (view_.DebugMode)
        return;
    if (!diagram_ || diagram_->Selection.empty()) {
        setStatus("Nothing is selected to cut");
        return;
    }
    CopyClick();
    beginEdit();
    deleteSelection();
    modelChanged(QStringLiteral("Cut"));
    clearPickedConnections();
    rebuildAllLines();
    refreshInstancesTree();
    refreshConnectionsTree();
    PaintDiagram();
}

bool TfrmDesignFBDiagram::mouseOverDrawing(QPoint& at) const
{
    const QPoint p = paintBox_->mapFromGlobal(QCursor::pos());
    if (!paintBox_->isVisible() || !paintBox_->rect().contains(p))
        return false;
    at = p;
    return true;
}

void TfrmDesignFBDiagram::PasteClick()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    std::string text;
    if (data && data->hasFormat(QString::fromLatin1(FBNetworkMimeType)))
        text = data->data(QString::fromLatin1(FBNetworkMimeType)).toStdString();
    else if (data && data->hasText())
        text = data->text().toStdString();
    if (text.empty()) {
        setStatus("Nothing to paste: the clipboard holds no FB network");
        return;
    }
    QPoint at;
    PasteText(text, mouseOverDrawing(at) ? &at : nullptr);
}

void TfrmDesignFBDiagram::DuplicateClick()
{
    const std::string text = SelectionText();
    if (text.empty()) {
        setStatus("Nothing is selected to duplicate");
        return;
    }
    PasteText(text);
}

bool TfrmDesignFBDiagram::PasteText(const std::string& text, const QPoint* at)
{
    if (!diagram_ || view_.DebugMode)
        return false;
    // An inner network's records live in its type, which a network text
    // cannot reach.
    if (diagram_->InnerNetwork || !diagram_->Manager) {
        setStatus("Nothing pasted: a composite type's network takes no pasted instances");
        return false;
    }
    TNetworkPaste paste;
    try {
        paste = PrepareNetworkPaste(text, *diagram_,
                                    [this](const std::string& type) { return TypeAvailable(manager(), type); });
    } catch (const std::exception&) {
        setStatus("Nothing pasted: the clipboard holds no FB network");
        return false;
    }
    std::string missing;
    for (const std::string& type : paste.MissingTypes)
        missing += (missing.empty() ? "" : ", ") + type;
    if (paste.Names.empty() && paste.Notes == 0 && paste.IppPictures == 0) {
        setStatus(missing.empty() ? "Nothing pasted: the FB network is empty"
                                  : "Nothing pasted: the library has no type " + missing);
        return false;
    }
    beginEdit();
    const size_t notesBefore = diagram_->Notes.size();
    const size_t picturesBefore = diagram_->IPPPictures.size();
    const std::vector<const TFB_Instance*> drawnBefore = [&] {
        std::vector<const TFB_Instance*> list;
        for (auto& inst : diagram_->DrawnInstances)
            list.push_back(inst.get());
        return list;
    }();
    try {
        LoadFromText(*diagram_, paste.Text, "the clipboard");
    } catch (const std::exception& e) {
        // Checked above; should the reader refuse it all the same, the
        // snapshot taken puts back whatever it added.
        setStatus(std::string("Nothing pasted: ") + e.what());
        modelChanged(QStringLiteral("Paste"));
        return false;
    }

    // What came: the drawn instances of the pasted names, the notes and
    // pictures behind the old ones.
    std::vector<TDrawObject*> pasted;
    std::vector<TFB_Instance*> instances;
    for (auto& inst : diagram_->DrawnInstances)
        if (std::find(drawnBefore.begin(), drawnBefore.end(), inst.get()) == drawnBefore.end())
            instances.push_back(inst.get());
    const bool showTypes = Button(QStringLiteral("btnShowType"))->isChecked();
    const double z = Zoom();
    for (TFB_Instance* inst : instances) {
        inst->Canvas = &canvas_;
        inst->TypeColour = showTypes ? DiagramColour::ShownTypes : TFB_Instance::HiddenTypeColour;
        if (inst->IsStereotype)
            inst->DrawAsGlyph = !Button(QStringLiteral("btnDrawEvents"))->isChecked();
        SetScale(*inst, z);
        pasted.push_back(inst);
    }
    for (size_t i = notesBefore; i < diagram_->Notes.size(); ++i) {
        SetScale(*diagram_->Notes[i], z);
        pasted.push_back(diagram_->Notes[i].get());
    }
    for (size_t i = picturesBefore; i < diagram_->IPPPictures.size(); ++i) {
        if (!deviceDiagram())
            diagram_->IPPPictures[i]->SetScale(z);
        pasted.push_back(diagram_->IPPPictures[i].get());
    }

    // Shifted as one group: its top-left corner to the mouse, or 20
    // pixels off where the text had it.
    int left = 0, top = 0;
    bool first = true;
    auto corner = [&](int x, int y) {
        left = first ? x : std::min(left, x);
        top = first ? y : std::min(top, y);
        first = false;
    };
    for (TFB_Instance* inst : instances)
        corner(inst->X, inst->Y);
    for (size_t i = notesBefore; i < diagram_->Notes.size(); ++i)
        corner(diagram_->Notes[i]->X, diagram_->Notes[i]->Y);
    for (size_t i = picturesBefore; i < diagram_->IPPPictures.size(); ++i)
        corner(diagram_->IPPPictures[i]->X, diagram_->IPPPictures[i]->Y);
    const int dx = at ? at->x() - left : 20;
    const int dy = at ? at->y() - top : 20;
    // MoveBy shifts by the change of its offsets; the offsets then go back
    // to the scroll position, which every picture of the window keeps.
    for (TFB_Instance* inst : instances) {
        inst->LastMouseX = scrollX_ + dx;
        inst->LastMouseY = scrollY_ + dy;
        MoveBy(*inst, scrollX_, scrollY_);
        LayoutInstance(*inst);
    }
    for (size_t i = notesBefore; i < diagram_->Notes.size(); ++i) {
        TFBDnote& note = *diagram_->Notes[i];
        note.LastMouseX = scrollX_ + dx;
        note.LastMouseY = scrollY_ + dy;
        MoveBy(note, scrollX_, scrollY_);
    }
    for (size_t i = picturesBefore; i < diagram_->IPPPictures.size(); ++i) {
        TslIPP& pic = *diagram_->IPPPictures[i];
        pic.LastMouseX = scrollX_ + dx;
        pic.LastMouseY = scrollY_ + dy;
        pic.MoveBy(scrollX_, scrollY_);
    }

    diagram_->ClearSelection();
    clearPickedConnections();
    for (TDrawObject* object : pasted)
        diagram_->Select(object);
    rebuildAllLines();
    std::string status = "Pasted " + std::to_string(instances.size()) + " FB instances";
    if (!missing.empty()) {
        status += "; not pasted, the library has no type " + missing;
        log("Paste: the library has no type " + missing);
    }
    setStatus(status);
    modelChanged(QStringLiteral("Paste"));
    refreshInstancesTree();
    refreshConnectionsTree();
    PaintDiagram();
    return true;
}

void TfrmDesignFBDiagram::DoubleClick(int x, int y)
{
    if (!diagram_)
        return;
    (void)x;
    (void)y;
    if (view_.DebugMode) {
        if (eventPortUnderMouse_ && eventPortUnderMouse_->Decl && eventPortUnderMouse_->Decl->IsInput() &&
            debugger_)
            debugger_->Environment().QueueEvent(eventPortUnderMouse_);
        if (dataPortUnderMouse_) {
            TFBDataMember& port = *dataPortUnderMouse_;
            // The simulation's value is toggled, not the constant stored
            // with the diagram: the debugger leaves the model as it is.
            // A value is written only while the simulation rests: a busy FB
            // may be reading it.
            if (port.Decl && port.Decl->IsInput() && (!debugger_ || debugger_->ModelAtRest())) {
                try {
                    port.SetValueFromText(port.FormatValue() == "TRUE" ? "False" : "True");
                } catch (const EConvertError& e) {
                    workbench_.UI().ShowMessage(e.what());
                }
            }
            port.Monitor = true;
        }
        PaintDiagram();
        return;
    }
    skipNextPress_ = true;
    if (TFB_Instance* inst = diagram_->LastSelectedInstance()) {
        if (!inst->Ref)
            return;
        beginEdit();
        TfrmFBProperties dialog(*inst->Ref, manager(), workbench_.UI(), this);
        if (dialog.exec() == QDialog::Accepted) {
            refreshInstancesTree();
            modelChanged(QStringLiteral("Properties"));
            PaintDiagram();
        }
    } else if (TFBDnote* note = diagram_->LastSelectedNote()) {
        beginEdit();
        TfrmEditNote dialog(qs(note->Text), this);
        if (dialog.exec() == QDialog::Accepted) {
            note->Text = dialog.NoteText();
            modelChanged(QStringLiteral("Edit note"));
            PaintDiagram();
        }
    }
}

void TfrmDesignFBDiagram::EditClick()
{
    DoubleClick(0, 0);
    skipNextPress_ = false;
}

void TfrmDesignFBDiagram::EditTypeClick()
{
    TFB_Instance* inst = diagram_ ? diagram_->LastSelectedInstance() : nullptr;
    if (!inst || !inst->Ref || !inst->Ref->Type || !main_ || !main_->Factories().TypeEditor)
        return;
    // The type editor loads the file the instance's type came from.
    if (TEditorWindow* window = main_->Factories().TypeEditor(*main_, qs(inst->Ref->Type->FileName)))
        main_->AddEditorWindow(window);
}

void TfrmDesignFBDiagram::ReloadTypeClick()
{
    if (view_.DebugMode)
        return;
    TFB_Instance* inst = diagram_ ? diagram_->LastSelectedInstance() : nullptr;
    if (!inst || !inst->Ref || !inst->Ref->Type)
        return;
    manager().ReloadType(inst->Ref->Type);
    // The snapshots name ports of the type as it was.
    undoStack_->clear();
    modelChanged();
    diagram_->ClearSelection();
    rebuildAllLines();
    PaintDiagram();
}

// ---------------------------------------------------------------------------
// Print, save, open, close

void TfrmDesignFBDiagram::PrintClick()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    PrintTo(printer);
}

void TfrmDesignFBDiagram::PrintTo(QPrinter& printer)
{
    if (!diagram_)
        return;
    QPainter page;
    if (!page.begin(&printer))
        return;
    hBar_->setValue(0);
    vBar_->setValue(0);
    QImage sheet(1960, 1470, QImage::Format_RGB32);
    view_.PrintMode = true;
    view_.ScrollY = 0;
    telvo::PaintDiagram(sheet, diagram_, view_);
    view_.PrintMode = false;
    page.drawImage(QRect(0, 0, page.device()->width(), page.device()->height()), sheet);
    page.end();
    resizeCanvas();
}

void TfrmDesignFBDiagram::PrintToPdf(const QString& fileName)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setOutputFileName(fileName);
    PrintTo(printer);
}

void TfrmDesignFBDiagram::SaveNetworkClick()
{
    if (!diagram_)
        return;
    auto save = [&](const std::string& file) {
        try {
            SaveToFile(*diagram_, file);
        } catch (const std::exception& e) {
            workbench_.UI().ShowMessage(e.what());
            return false;
        }
        log("Save FB network file " + file);
        return true;
    };
    std::error_code ec;
    if (!diagram_->FileName.empty() && std::filesystem::is_regular_file(diagram_->FileName, ec)) {
        if (save(diagram_->FileName))
            MarkSaved();
        return;
    }
    QString name = AskSaveFileName ? AskSaveFileName(qs(diagram_->FileName)) : QString();
    if (name.isEmpty())
        return;
    if (!name.contains(QStringLiteral(".fbn")))
        name += QStringLiteral(".fbn");
    if (save(name.toStdString())) {
        setWindowTitle(NetworkCaption(name) + QStringLiteral("[*]"));
        MarkSaved();
    }
}

void TfrmDesignFBDiagram::OpenNetworkClick()
{
    if (!diagram_)
        return;
    const QString name = AskOpenFileName ? AskOpenFileName() : QString();
    if (!name.isEmpty()) {
        try {
            LoadFromFile(*diagram_, name.toStdString());
            log("Open FB network file " + name.toStdString());
            undoStack_->clear();
        } catch (const std::exception& e) {
            workbench_.UI().ShowMessage(e.what());
        }
        for (auto& inst : diagram_->DrawnInstances)
            inst->Canvas = &canvas_;
        ApplyZoom();
        diagram_->RebuildLines();
    }
    setWindowTitle(NetworkCaption(name) + QStringLiteral("[*]"));
    PaintDiagram();
}

void TfrmDesignFBDiagram::closeEvent(QCloseEvent* event)
{
    if (Executing()) {
        workbench_.UI().ShowMessage("Please stop execution first.");
        if (QToolButton* b = Button(QStringLiteral("btnDebug")))
            b->setChecked(true);
        event->ignore();
        return;
    }
    // Objects go back to their unscrolled places before the window goes.
    hBar_->setValue(0);
    vBar_->setValue(0);
    if (diagram_ && !diagram_->InnerNetwork)
        for (auto& inst : diagram_->DrawnInstances)
            inst->Canvas = nullptr;
    QWidget::closeEvent(event);
}

// ---------------------------------------------------------------------------

TEditorWindow* OpenDiagramWindow(TMainForm& main, TFB_Diagram& diagram, const QString& caption)
{
    auto* editor = new TfrmDesignFBDiagram(main.Workbench(), &main);
    auto* sub = new QMdiSubWindow;
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWidget(editor);
    editor->SetSubWindow(sub);
    main.MdiArea()->addSubWindow(sub);
    editor->setWindowTitle(caption + QStringLiteral("[*]"));
    sub->resize(900, 600);
    editor->AttachDiagram(&diagram);
    // Instances and IPPs are dragged from the project tree onto the drawing.
    if (main.ProjectBrowser())
        main.ProjectBrowser()->Tree()->setDragEnabled(true);
    return editor;
}

} // namespace telvo

namespace telvo {

// ---------------------------------------------------------------------------
// Debug mode

void TfrmDesignFBDiagram::DebugClick()
{
    QToolButton* execute = Button(QStringLiteral("btnDebug"));
    if (!diagram_)
        return;
    if (!view_.DebugMode) {
        if (connectMode_)
            if (auto* select = Button(QStringLiteral("SpeedButton13"))) {
                select->setChecked(true);
                SelectModeClick();
            }
        view_.DebugMode = true;
        debugger_ = new TfrmVisualDebugger(workbench_.UI(), this);
        debugger_->Diagram = diagram_;
        debugger_->Editor = this;
        debugger_->setFixedWidth(DebuggerWidth);
        palette_->hide();
        body_->insertWidget(0, debugger_);
        debugger_->show();
        for (const char* name : {"btnNewFB", "btnDrawConnection", "btnInsertIPP", "btnAddNote"})
            if (QToolButton* b = Button(QString::fromLatin1(name)))
                b->setEnabled(false);
        for (const char* name : {"btnUndo", "btnRedo"})
            if (QToolButton* b = Button(QString::fromLatin1(name)))
                b->setEnabled(false);
        execute->setChecked(true);
        PaintDiagram();
        return;
    }
    if (debugger_ && debugger_->Running()) {
        workbench_.UI().ShowMessage("Please stop execution first.");
        execute->setChecked(true);
        return;
    }
    delete debugger_;
    debugger_ = nullptr;
    view_.DebugMode = false;
    eventPortUnderMouse_ = nullptr;
    dataPortUnderMouse_ = nullptr;
    palette_->show();
    for (const char* name : {"btnNewFB", "btnDrawConnection", "btnInsertIPP", "btnAddNote"})
        if (QToolButton* b = Button(QString::fromLatin1(name)))
            b->setEnabled(true);
    Button(QStringLiteral("btnUndo"))->setEnabled(undoStack_->canUndo());
    Button(QStringLiteral("btnRedo"))->setEnabled(undoStack_->canRedo());
    execute->setChecked(false);
    PaintDiagram();
}

void TfrmDesignFBDiagram::BreakWhenEnteringStateClick()
{
    TFB_Instance* inst = diagram_ ? diagram_->LastSelectedInstance() : nullptr;
    if (!debugger_ || !inst)
        return;
    QStringList states;
    for (const auto& [fb, state] : TfrmVisualDebugger::BreakableStates(*inst))
        states << qs(fb + "." + state) + (debugger_->HasBreakpoint(fb, state) ? QStringLiteral(" (on)") : QString());
    if (states.isEmpty())
        return;
    QString chosen = AskBreakpointState(states);
    if (chosen.isEmpty())
        return;
    chosen.remove(QStringLiteral(" (on)"));
    const int dot = chosen.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return;
    debugger_->ToggleBreakpoint(chosen.left(dot).toStdString(), chosen.mid(dot + 1).toStdString());
}

} // namespace telvo
