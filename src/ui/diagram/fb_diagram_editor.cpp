#include "ui/diagram/fb_diagram_editor.h"
#include "ui/diagram/fb_diagram_editor_p.h"

#include "model/fb_manager.h"
#include "model/file_util.h"
#include "model/library_index.h"
#include "model/network_check.h"
#include "systemlayer/system_layer.h"
#include "ui/debugger/visual_debugger.h"
#include "ui/diagram/fb_diagram_dialogs.h"
#include "ui/mainwindow/main_form.h"
#include "ui/mainwindow/project_browser.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QDrag>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QInputDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace telvo {

namespace {

constexpr int PaletteWidth = 37;

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
