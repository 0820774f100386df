#include "ui/systemlayer/sl_editor.h"

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "systemlayer/system_layer.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "ui/mainwindow/main_form.h"
#include "ui/systemlayer/device_diagram_window.h"
#include "ui/systemlayer/sl_commands.h"
#include "ui/systemlayer/sl_dialogs.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace telvo {

namespace {

constexpr double MinZoom = 0.1, MaxZoom = 4.0;

// The word the log uses for an added object of a kind (an IPT: of a subtype).
std::string addedLabel(uint8_t kind, int subtype)
{
    static const char* kinds[] = {"network", "IEC_fieldbus", "fieldbus",  "IEC_Device", "OPC_Device",
                                  "NonIECdevice", "computer", "IUnit", "switch"};
    if (kind < 9)
        return kinds[kind];
    switch (subtype) {
    case 1: return "alarm";
    case 2: return "boiler";
    case 3: return "compressor";
    case 4: return "ControlPanel";
    case 5: return "Drill";
    case 6: return "RobotArm";
    case 7: return "HMI/SCADA";
    case 9: return "conveyer";
    case 10: return "feeder";
    default: return "IPT_";
    }
}

struct TPaletteEntry {
    const char* Name;
    const char* Hint;
    uint8_t Kind;
    int Subtype;
};
// Left to right as on the tool bar.
const TPaletteEntry paletteEntries[] = {
    {"btnIECFieldbus", "IEC Compliant Fieldbus", slIECFieldbus, 0},
    {"btnIECDevice", "IEC Compliant Device", slIECDevice, 0},
    {"btnOPCDevice", "OPC Device", slOPCDevice, 0},
    {"btnNonIECFieldbus", "Non IEC Compliant Fieldbus", slNonIECFieldbus, 0},
    {"btnNonIECDevice", "Non IEC Compliant Device", slNonIECDevice, 0},
    {"btnComputer", "Computer", slComputer, 0},
    {"btnNetwork", "Network Backbone", slNetBone, 0},
    {"btnSwitch", "switch", slSwitch, 0},
    {"btnInterunit", "Interworking Unit", slInterunit, 0},
    {"btnCustomIPT", "Custom IPT", slIPT, slCustomIptSubtype},
    {"btnConveyer", "Conveyer", slIPT, 9},
    {"btnFeeder", "Feeder", slIPT, 10},
    {"btnAlarm", "Alarm", slIPT, 1},
    {"btnBoiler", "Boiler", slIPT, 2},
    {"btnCompressor", "Compressor", slIPT, 3},
    {"btnControlPanel", "Control Panel", slIPT, 4},
    {"btnDrill", "Drill", slIPT, 5},
    {"btnRobotArm", "Robot Arm", slIPT, 6},
    {"btnHMI", "HMI/SCADA", slIPT, 7},
};

// The palette picture of an entry: the object's own picture in small, a
// fieldbus arrow, or the custom IPT's box.
QIcon paletteIcon(const TSystemLayerManager& layer, const TPaletteEntry& e)
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    std::string file;
    if (e.Kind == slIPT) {
        if (const TslIptSubtype* sub = IptSubtype(e.Subtype))
            file = std::string(sub->ImageFile);
    } else {
        file = std::string(KindImageFile(e.Kind));
    }
    QImage image;
    if (!file.empty())
        image.load(QString::fromStdString(layer.ImagePath(file).string()));
    if (!image.isNull()) {
        p.drawImage(QRect(0, 0, 24, 24), image);
    } else if (e.Kind == slIECFieldbus || e.Kind == slNonIECFieldbus) {
        p.setPen(QColor(0, 0, 128));
        p.setBrush(QColor(255, 255, 223));
        p.drawPolygon(QPolygon({QPoint(1, 12), QPoint(6, 7), QPoint(6, 10), QPoint(18, 10), QPoint(18, 7),
                                QPoint(23, 12), QPoint(18, 17), QPoint(18, 14), QPoint(6, 14), QPoint(6, 17)}));
        if (e.Kind == slIECFieldbus) {
            QFont f(QStringLiteral("Arial"));
            f.setPixelSize(7);
            p.setFont(f);
            p.setPen(Qt::black);
            p.drawText(QRect(0, 0, 24, 8), Qt::AlignCenter, QStringLiteral("IEC"));
        }
    } else {
        p.setPen(QColor(0, 0, 128));
        p.setBrush(Qt::white);
        p.drawRect(2, 6, 19, 14);
        QFont f(QStringLiteral("Arial"));
        f.setPixelSize(8);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(QRect(2, 6, 20, 14), Qt::AlignCenter, QStringLiteral("IPT"));
    }
    return QIcon(pixmap);
}

bool isDevice(const TslObject* o) { return o && (o->Kind == slIECDevice || o->Kind == slOPCDevice); }

} // namespace

// ---------------------------------------------------------------- paint box

TSystemLayerPaintBox::TSystemLayerPaintBox(TfrmSystemLayer& editor, QWidget* parent) : QWidget(parent), editor_(editor)
{
    setObjectName(QStringLiteral("pbSystemLayer"));
    setMouseTracking(true);
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

void TSystemLayerPaintBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, editor_.Image());
    TSystemLayerManager& layer = editor_.Layer();
    if (editor_.ConnectionMode() && layer.FirstEnd && layer.RubberX != -1) {
        // The rubber line from the first end's centre to the mouse.
        const TslObject& a = *layer.FirstEnd;
        const QPoint from = editor_.ToView(layer.ScrollX + a.Left + a.Width / 2, layer.ScrollY + a.Top + a.Height / 2);
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawLine(from, QPoint(layer.RubberX, layer.RubberY));
    }
}

void TSystemLayerPaintBox::resizeEvent(QResizeEvent*) { editor_.resizeCanvas(); }

void TSystemLayerPaintBox::mousePressEvent(QMouseEvent* e)
{
    editor_.MouseDown(e->position().toPoint().x(), e->position().toPoint().y(), e->button());
    if (e->button() == Qt::RightButton && (editor_.Layer().SelectedObject || editor_.Layer().SelectedConnection)) {
        editor_.MouseUp(e->position().toPoint().x(), e->position().toPoint().y());
        editor_.UpdateContextMenu();
        editor_.ContextMenu()->popup(e->globalPosition().toPoint());
    }
}

void TSystemLayerPaintBox::mouseMoveEvent(QMouseEvent* e)
{
    editor_.MouseMove(e->position().toPoint().x(), e->position().toPoint().y());
}

void TSystemLayerPaintBox::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        editor_.MouseUp(e->position().toPoint().x(), e->position().toPoint().y());
}

void TSystemLayerPaintBox::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        editor_.DoubleClick(e->position().toPoint().x(), e->position().toPoint().y());
}

void TSystemLayerPaintBox::wheelEvent(QWheelEvent* e)
{
    if (e->modifiers() & Qt::ControlModifier) {
        const int steps = e->angleDelta().y() / 120;
        if (steps != 0) {
            const QPoint at = e->position().toPoint();
            editor_.ZoomAbout(editor_.Zoom() * std::pow(1.25, steps), at.x(), at.y());
        }
        e->accept();
        return;
    }
    QScrollBar* bar = (e->modifiers() & Qt::ShiftModifier) ? editor_.HorizontalBar() : editor_.VerticalBar();
    bar->setValue(bar->value() - e->angleDelta().y() / 40);
    e->accept();
}

void TSystemLayerPaintBox::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasFormat(QString::fromLatin1(FBInstanceMimeType)))
        e->acceptProposedAction();
    else
        e->ignore();
}

void TSystemLayerPaintBox::dragMoveEvent(QDragMoveEvent* e)
{
    const QPoint at = e->position().toPoint();
    if (editor_.DragOver(e->source(), e->mimeData(), at.x(), at.y()))
        e->acceptProposedAction();
    else
        e->ignore();
}

void TSystemLayerPaintBox::dragLeaveEvent(QDragLeaveEvent*) { editor_.dropTarget_ = nullptr; }

void TSystemLayerPaintBox::dropEvent(QDropEvent* e)
{
    const QPoint at = e->position().toPoint();
    if (editor_.Drop(e->source(), e->mimeData(), at.x(), at.y()))
        e->acceptProposedAction();
    else
        e->ignore();
}

// ---------------------------------------------------------------- window

TfrmSystemLayer::TfrmSystemLayer(TWorkbench& workbench, TMainForm* main, QWidget* parent)
    : QWidget(parent), workbench_(workbench), main_(main),
      keys_(std::make_unique<TLayerKeys>(workbench.SystemLayer())), undo_(new QUndoStack(this))
{
    setObjectName(QStringLiteral("frmSystemLayer"));
    setWindowTitle(QStringLiteral("System Layer Editor"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    setFont(font);

    pictures_.OnMissing = [this](const std::string& file) {
        log("The picture " + file + " is missing or cannot be read; a blank picture is drawn instead.");
    };

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    toolBar_ = new QWidget(this);
    toolBar_->setObjectName(QStringLiteral("pnlToolBar"));
    toolBar_->setFixedHeight(39);
    toolBar_->setAutoFillBackground(true);
    QPalette grey = toolBar_->palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    toolBar_->setPalette(grey);
    buildToolBar(toolBar_);
    outer->addWidget(toolBar_);

    auto* drawing = new QWidget(this);
    auto* grid = new QGridLayout(drawing);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    paintBox_ = new TSystemLayerPaintBox(*this, drawing);
    hBar_ = new QScrollBar(Qt::Horizontal, drawing);
    vBar_ = new QScrollBar(Qt::Vertical, drawing);
    for (QScrollBar* bar : {hBar_, vBar_}) {
        bar->setRange(0, 100);
        bar->setPageStep(20);
        connect(bar, &QScrollBar::valueChanged, this, [this] { SetScroll(hBar_->value(), vBar_->value()); });
    }
    hBar_->setObjectName(QStringLiteral("sbHorizontal"));
    vBar_->setObjectName(QStringLiteral("sbVertical"));
    grid->addWidget(paintBox_, 0, 0);
    grid->addWidget(vBar_, 0, 1);
    grid->addWidget(hBar_, 1, 0);
    outer->addWidget(drawing, 1);

    buildContextMenu();

    auto shortcut = [this](const QKeySequence& keys, std::function<void()> run) {
        auto* s = new QShortcut(keys, this);
        s->setContext(Qt::WidgetWithChildrenShortcut);
        connect(s, &QShortcut::activated, this, std::move(run));
    };
    // The keys of the diagram editor, named one by one: the platform's Redo
    // may be Ctrl+Shift+Z itself, and two shortcuts on one key fire neither.
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { undo_->undo(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { undo_->redo(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), [this] { undo_->redo(); });
    shortcut(QKeySequence::Delete, [this] { DeleteClick(); });
    shortcut(QKeySequence::ZoomIn, [this] { ZoomStep(1); });
    shortcut(QKeySequence::ZoomOut, [this] { ZoomStep(-1); });
    connect(undo_, &QUndoStack::indexChanged, this, [this] {
        Render();
        ModelChanged(true, true);
    });

    OpenProperties = [this](TslObject& object) { ShowObjectProperties(*this, object); };
    OpenConnectionProperties = [this](TSystemConnection& c) { ShowConnectionProperties(*this, c); };
    OpenDeviceDiagram = [this](TslDevice& device) { RunDeviceDiagramWindow(workbench_, main_, device, this); };

    Layer().ConnectMode = false;
    Layer().ScrollX = Layer().ScrollY = 0;
    Layer().RubberX = Layer().RubberY = -1;
    Layer().FirstEnd = Layer().SecondEnd = nullptr;
    resize(900, 600);
}

TfrmSystemLayer::~TfrmSystemLayer()
{
    // The property dialogs are children that call back into the window as
    // they go: they go while it is still whole.
    for (QDialog* dialog : findChildren<QDialog*>(Qt::FindDirectChildrenOnly))
        delete dialog;
    // The commands name parts of the layer by key; the keys go with the window.
    undo_->clear();
}

TSystemLayerManager& TfrmSystemLayer::Layer() const { return workbench_.SystemLayer(); }
TMainForm* TfrmSystemLayer::Main() const { return main_; }

void TfrmSystemLayer::buildToolBar(QWidget* bar)
{
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 5, 4, 5);
    row->setSpacing(1);
    auto* modes = new QButtonGroup(this);
    auto button = [&](const QString& name, const QString& hint, const QIcon& icon, const QString& text) {
        auto* b = new QToolButton(bar);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setStatusTip(hint);
        b->setFixedSize(28, 28);
        b->setAutoRaise(true);
        if (icon.isNull())
            b->setText(text);
        else {
            b->setIcon(icon);
            b->setIconSize(QSize(24, 24));
        }
        row->addWidget(b);
        return b;
    };
    auto drawn = [](auto&& paint) {
        QPixmap pixmap(24, 24);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        paint(p);
        return QIcon(pixmap);
    };
    btnSelect_ = button(QStringLiteral("btnSelectionMode"), QStringLiteral("Selection mode"),
                        drawn([](QPainter& p) {
                            p.setBrush(Qt::white);
                            p.setPen(Qt::black);
                            p.drawPolygon(QPolygon({QPoint(7, 3), QPoint(7, 19), QPoint(11, 15), QPoint(14, 21),
                                                    QPoint(16, 20), QPoint(13, 14), QPoint(18, 14)}));
                        }),
                        {});
    btnSelect_->setCheckable(true);
    btnSelect_->setChecked(true);
    btnConnect_ = button(QStringLiteral("btnConnectionMode"), QStringLiteral("Connection mode"),
                         drawn([](QPainter& p) {
                             p.setPen(QPen(Qt::black, 2));
                             p.drawLine(4, 18, 4, 12);
                             p.drawLine(4, 12, 20, 12);
                             p.drawLine(20, 12, 20, 6);
                             p.setBrush(Qt::black);
                             p.drawEllipse(QPoint(4, 19), 2, 2);
                             p.drawEllipse(QPoint(20, 5), 2, 2);
                         }),
                         {});
    btnConnect_->setCheckable(true);
    modes->addButton(btnSelect_);
    modes->addButton(btnConnect_);
    // The connection button pops up again after each connection while the
    // mode stays on, so the group must not keep one of them down.
    modes->setExclusive(false);
    connect(btnSelect_, &QToolButton::clicked, this, [this] { SelectionModeClick(); });
    connect(btnConnect_, &QToolButton::clicked, this, [this] { ConnectionModeClick(); });
    row->addSpacing(8);
    for (const TPaletteEntry& e : paletteEntries) {
        QToolButton* b =
            button(QString::fromLatin1(e.Name), QString::fromLatin1(e.Hint), paletteIcon(Layer(), e), {});
        connect(b, &QToolButton::clicked, this, [this, e] { AddFromPalette(e.Kind, e.Subtype); });
    }
    row->addSpacing(8);
    QToolButton* out = button(QStringLiteral("btnZoomOut"), QStringLiteral("Zoom out"), {}, QStringLiteral("-"));
    connect(out, &QToolButton::clicked, this, [this] { ZoomStep(-1); });
    QToolButton* in = button(QStringLiteral("btnZoomIn"), QStringLiteral("Zoom in"), {}, QStringLiteral("+"));
    connect(in, &QToolButton::clicked, this, [this] { ZoomStep(1); });
    cmbZoom_ = new QComboBox(bar);
    cmbZoom_->setObjectName(QStringLiteral("cmbZoom"));
    cmbZoom_->setEditable(true);
    cmbZoom_->setInsertPolicy(QComboBox::NoInsert);
    cmbZoom_->addItems({QStringLiteral("25%"), QStringLiteral("50%"), QStringLiteral("75%"), QStringLiteral("100%"),
                        QStringLiteral("150%"), QStringLiteral("200%"), QStringLiteral("400%")});
    cmbZoom_->setCurrentText(QStringLiteral("100%"));
    cmbZoom_->setFixedWidth(72);
    cmbZoom_->setToolTip(QStringLiteral("Zoom"));
    connect(cmbZoom_, &QComboBox::activated, this, [this](int index) { ZoomTextEntered(cmbZoom_->itemText(index)); });
    connect(cmbZoom_->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { ZoomTextEntered(cmbZoom_->lineEdit()->text()); });
    row->addWidget(cmbZoom_);
    row->addSpacing(8);
    statusLabel_ = new QLabel(bar);
    statusLabel_->setObjectName(QStringLiteral("lblStatus"));
    row->addWidget(statusLabel_, 1);
}

void TfrmSystemLayer::buildContextMenu()
{
    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("pmSystemLayer"));
    mnuEdit_ = popup_->addAction(QStringLiteral("Edit"), this, [this] { EditClick(); });
    QFont bold = mnuEdit_->font();
    bold.setBold(true);
    mnuEdit_->setFont(bold);
    popup_->setDefaultAction(mnuEdit_);
    mnuDeviceDiagram_ =
        popup_->addAction(QStringLiteral("Edit Process Interface FB Diagram"), this, [this] { EditDeviceDiagramClick(); });
    downloadMenu_ = popup_->addMenu(QStringLiteral("Download FB Instance"));
    popup_->addSeparator();
    mnuDelete_ = popup_->addAction(QStringLiteral("Delete"), this, [this] { DeleteClick(); });
}

QToolButton* TfrmSystemLayer::Button(const QString& objectName) const
{
    return findChild<QToolButton*>(objectName);
}

bool TfrmSystemLayer::ConnectionMode() const { return Layer().ConnectMode; }
QString TfrmSystemLayer::StatusText() const { return status_; }

void TfrmSystemLayer::log(const std::string& text) { workbench_.UI().Log(text); }

void TfrmSystemLayer::hint(const std::string& text, int gesture)
{
    // The editor drops the hint channel's answer; the window shows the
    // text itself so that a refusal is seen.
    workbench_.UI().UserHint(text, gesture);
    status_ = QString::fromStdString(text);
    statusLabel_->setText(status_);
}

std::vector<int> TfrmSystemLayer::orderNow() const { return TLayerCommand::Order(*keys_); }

void TfrmSystemLayer::Push(TLayerCommand* command)
{
    undo_->push(command);
}

void TfrmSystemLayer::ModelChanged(bool systemTree, bool applicationTree)
{
    if (!main_)
        return;
    if (systemTree)
        main_->RefreshSystemLayerTree();
    if (applicationTree)
        main_->RefreshApplicationTree();
    repaintDiagramWindows();
}

void TfrmSystemLayer::repaintDiagramWindows()
{
    if (!main_)
        return;
    for (TEditorWindow* window : main_->DiagramWindows())
        window->RefreshDiagram();
}

// ---------------------------------------------------------------- drawing

void TfrmSystemLayer::resizeCanvas()
{
    const QSize size = paintBox_->size();
    if (size.isEmpty())
        return;
    if (canvas_.size() != size)
        canvas_ = QImage(size, QImage::Format_RGB32);
    Render();
}

void TfrmSystemLayer::Render()
{
    if (canvas_.isNull())
        return;
    PaintSystemLayer(canvas_, Layer(), pictures_, zoom_);
    paintBox_->update();
}

int TfrmSystemLayer::ToModel(int v) const { return zoom_ == 1.0 ? v : RoundHalfEven(v / zoom_); }

QPoint TfrmSystemLayer::ToView(int x, int y) const
{
    return zoom_ == 1.0 ? QPoint(x, y) : QPoint(RoundHalfEven(x * zoom_), RoundHalfEven(y * zoom_));
}

void TfrmSystemLayer::SetZoom(double zoom)
{
    zoom_ = std::clamp(std::round(zoom * 100.0) / 100.0, MinZoom, MaxZoom);
    cmbZoom_->setCurrentText(QString::number(int(std::lround(zoom_ * 100))) + QStringLiteral("%"));
    Render();
}

void TfrmSystemLayer::ZoomStep(int steps)
{
    SetZoom(zoom_ * std::pow(1.25, steps));
}

void TfrmSystemLayer::ZoomAbout(double zoom, int vx, int vy)
{
    TSystemLayerManager& layer = Layer();
    const double before = zoom_;
    // The layer point under the mouse, before the scroll is added.
    const double px = vx / before - layer.ScrollX, py = vy / before - layer.ScrollY;
    SetZoom(zoom);
    // Scrolled so that the point is under the mouse again, to the bars'
    // step of 5 layer pixels; the bars reach as far as that needs.
    auto position = [](double wanted, QScrollBar* bar) {
        const int value = std::max(0, static_cast<int>(std::lround(-wanted / 5.0)));
        if (value > bar->maximum())
            bar->setMaximum(value);
        return value;
    };
    const int h = position(vx / zoom_ - px, hBar_), v = position(vy / zoom_ - py, vBar_);
    {
        const QSignalBlocker blockH(hBar_), blockV(vBar_);
        hBar_->setValue(h);
        vBar_->setValue(v);
    }
    SetScroll(h, v);
}

void TfrmSystemLayer::ZoomTextEntered(const QString& text)
{
    QString number = text;
    number.remove(QLatin1Char('%'));
    bool ok = false;
    const double value = number.trimmed().toDouble(&ok);
    if (!ok || value <= 0) {
        // Back to what is shown.
        SetZoom(zoom_);
        return;
    }
    SetZoom(value / 100.0);
}

void TfrmSystemLayer::SetScroll(int horizontal, int vertical)
{
    Layer().ScrollX = -5 * horizontal;
    Layer().ScrollY = -5 * vertical;
    Render();
}

// ---------------------------------------------------------------- palette

TslObject* TfrmSystemLayer::AddFromPalette(uint8_t kind, int subtype)
{
    TSystemLayerManager& layer = Layer();
    const std::string name = layer.NewObjectName(kind, subtype);
    std::string image;
    if (kind == slIPT)
        if (const TslIptSubtype* sub = IptSubtype(subtype); sub && !sub->ImageFile.empty())
            image = layer.ImagePath(sub->ImageFile).string();
    TslObject* object = layer.AddObject(name, kind, subtype, image);
    if (!object)
        return nullptr;
    placeClear(*object);
    log("System layer added object :" + addedLabel(kind, subtype) + layer.CountOfKind(kind));
    Push(new TObjectPresenceCommand(*keys_, &workbench_.FBManager(), *object, true,
                                    QStringLiteral("Add %1").arg(QString::fromStdString(name))));
    Render();
    if (main_)
        main_->AddObjectNode(object);
    return object;
}

void TfrmSystemLayer::placeClear(TslObject& object)
{
    // Every new object starts at the same place; on top of another it would
    // hide it, and a press meant for the one would take the other. Step down
    // and right until it covers no object: its box and the name line below
    // it against the others' boxes, names and IPP markers.
    TSystemLayerManager& layer = Layer();
    layer.ApplyLayout();
    constexpr int nameLine = 15, markerRow = 15;
    auto area = [&](const TslObject& o) {
        const bool markers = o.IppList() && !o.IppList()->empty() && o.Kind == slIPT;
        const int top = o.Top - (markers ? markerRow : 0);
        return QRect(o.Left, top, std::max(1, o.Width), std::max(1, o.Top + o.Height + nameLine - top));
    };
    auto covers = [&] {
        const QRect mine = area(object);
        for (const auto& other : layer.Objects)
            if (other.get() != &object && mine.intersects(area(*other)))
                return true;
        return false;
    };
    for (int step = 0; step < 2000 && covers(); ++step) {
        object.Left += 20;
        object.Top += 20;
    }
}

void TfrmSystemLayer::SelectionModeClick()
{
    Layer().ConnectMode = false;
    btnSelect_->setChecked(true);
    btnConnect_->setChecked(false);
    paintBox_->setCursor(Qt::ArrowCursor);
    resetConnectionPick();
    Render();
}

void TfrmSystemLayer::ConnectionModeClick()
{
    Layer().ConnectMode = true;
    btnSelect_->setChecked(false);
    btnConnect_->setChecked(true);
    paintBox_->setCursor(Qt::CrossCursor);
}

void TfrmSystemLayer::resetConnectionPick()
{
    Layer().FirstEnd = Layer().SecondEnd = nullptr;
    Layer().RubberX = Layer().RubberY = -1;
}

// ---------------------------------------------------------------- mouse

void TfrmSystemLayer::MouseDown(int vx, int vy, Qt::MouseButton)
{
    // No press follows a double click or a menu choice here (Qt sends none),
    // so there is nothing to swallow after them.
    TSystemLayerManager& layer = Layer();
    const int x = ToModel(vx), y = ToModel(vy);
    gestureOrder_ = orderNow();
    pressedKey_ = 0;
    if (layer.ConnectMode) {
        TslObject* hit = layer.ObjectAt(x, y, true);
        if (hit && hit->Kind != slIPT) {
            if (!layer.FirstEnd) {
                layer.FirstEnd = hit;
                connectOrder_ = gestureOrder_;
                Render();
                return;
            }
            if (hit == layer.FirstEnd) {
                hint("An object cannot be connected to itself.", 6);
            } else if (!layer.SecondEnd) {
                layer.SecondEnd = hit;
                if (TSystemConnection* c = layer.Connect(layer.FirstEnd, hit)) {
                    auto* command = new TConnectionPresenceCommand(
                        *keys_, *c, true,
                        QStringLiteral("Connect %1").arg(QString::fromStdString(c->Name)));
                    command->SetOrderBefore(connectOrder_);
                    Push(command);
                    if (main_)
                        main_->AddConnectionNode(c);
                }
            }
        }
        if (hit && hit->Kind == slIPT)
            hint("Connect the IPP markers of a process terminator, not the terminator itself.", 6);
        // After a connection, and after a click on empty space or an IPT.
        resetConnectionPick();
        btnConnect_->setChecked(false);
        Render();
        paintBox_->update();
        return;
    }
    layer.SelectedObject = layer.ObjectAt(x, y, true);
    if (TslObject* hit = layer.SelectedObject) {
        layer.ClearConnectionSelection();
        hit->Selected = true;
        hit->BeginDrag(x, y);
        pressedKey_ = keys_->KeyOf(hit);
        pressLeft_ = hit->Left;
        pressTop_ = hit->Top;
    } else {
        layer.SelectedConnection = layer.ConnectionAt(x, y);
    }
    Render();
}

void TfrmSystemLayer::MouseMove(int vx, int vy)
{
    TSystemLayerManager& layer = Layer();
    const int x = ToModel(vx), y = ToModel(vy);
    TslIPPRef* before = layer.HoverIpp;
    layer.HoverIpp = layer.IppAt(x, y);
    bool redraw = layer.HoverIpp || before;
    if (!layer.ConnectMode) {
        if (layer.SelectedObject && layer.SelectedObject->Selected) {
            layer.SelectedObject->DragTo(x, y);
            layer.Dragging = true;
            Render();
            layer.Dragging = false;
            redraw = false;
        }
    } else if (layer.FirstEnd) {
        layer.RubberX = vx;
        layer.RubberY = vy;
        paintBox_->update();
    }
    if (redraw)
        Render();
}

void TfrmSystemLayer::MouseUp(int, int)
{
    TSystemLayerManager& layer = Layer();
    if (layer.SelectedObject)
        layer.SelectedObject->Selected = false;
    if (pressedKey_ != 0) {
        TslObject* moved = keys_->Object(pressedKey_);
        if (moved && moved->Kind != slIPPRef && (moved->Left != pressLeft_ || moved->Top != pressTop_)) {
            auto* command = new TMoveCommand(*keys_, *moved, pressLeft_, pressTop_);
            command->SetOrderBefore(gestureOrder_);
            Push(command);
        }
        pressedKey_ = 0;
    }
    Render();
}

void TfrmSystemLayer::DoubleClick(int, int)
{
    EditClick();
}

void TfrmSystemLayer::endGesture()
{
    // A dialog takes the release of the press that led to it (a modal one
    // always): a drag left running would carry the object on with the bare
    // mouse afterwards.
    if (Layer().SelectedObject && Layer().SelectedObject->Selected)
        MouseUp(0, 0);
}

void TfrmSystemLayer::EditClick()
{
    endGesture();
    TSystemLayerManager& layer = Layer();
    if (!layer.SelectedObject) {
        if (layer.SelectedConnection && OpenConnectionProperties)
            OpenConnectionProperties(*layer.SelectedConnection);
    } else if (OpenProperties) {
        OpenProperties(*layer.SelectedObject);
    }
    if (main_)
        main_->RefreshApplicationTree();
}

void TfrmSystemLayer::EditDeviceDiagramClick()
{
    endGesture();
    auto* device = dynamic_cast<TslDevice*>(Layer().SelectedObject);
    if (device && OpenDeviceDiagram)
        OpenDeviceDiagram(*device);
}

void TfrmSystemLayer::DeleteClick()
{
    endGesture();
    TSystemLayerManager& layer = Layer();
    if (!layer.SelectedObject && layer.SelectedConnection) {
        auto* command = new TConnectionPresenceCommand(
            *keys_, *layer.SelectedConnection, false,
            QStringLiteral("Delete %1").arg(QString::fromStdString(layer.SelectedConnection->Name)));
        command->SetOrderBefore(gestureOrder_);
        Push(command);
        layer.SelectedConnection = nullptr;
        Render();
    } else if (layer.SelectedObject && layer.SelectedObject->Kind == slIPPRef) {
        workbench_.UI().UserHint("You can delete only the IPT", 3);
    } else if (TslObject* object = layer.SelectedObject) {
        if (workbench_.UI().AskYesNo("Delete " + object->Name + " ?")) {
            log("Deleted object :" + object->Name);
            auto* command = new TObjectPresenceCommand(*keys_, &workbench_.FBManager(), *object, false,
                                                       QStringLiteral("Delete %1").arg(QString::fromStdString(object->Name)));
            command->SetOrderBefore(gestureOrder_);
            Push(command);
            layer.SelectedObject = nullptr;
            Render();
        }
    }
    if (main_)
        main_->RefreshSystemLayerTree();
}

// ---------------------------------------------------------------- pop-up

void TfrmSystemLayer::UpdateContextMenu()
{
    TSystemLayerManager& layer = Layer();
    mnuDeviceDiagram_->setEnabled(false);
    downloadMenu_->menuAction()->setEnabled(false);
    downloadMenu_->clear();
    if (TslObject* object = layer.SelectedObject) {
        mnuEdit_->setText(QStringLiteral("Properties of ") + QString::fromStdString(object->Name) +
                          QStringLiteral("..."));
        if (isDevice(object)) {
            auto* device = static_cast<TslDevice*>(object);
            mnuDeviceDiagram_->setEnabled(true);
            downloadMenu_->menuAction()->setEnabled(true);
            for (const auto& record : workbench_.FBManager().Instances) {
                const QString caption = QString::fromStdString(record->Name) + QStringLiteral(" (") +
                                        QString::fromStdString(record->Type ? record->Type->Name : std::string()) +
                                        QStringLiteral(")");
                QAction* item = downloadMenu_->addAction(caption);
                item->setEnabled(record->Device == nullptr);
                const std::string name = record->Name;
                const int key = keys_->KeyOf(device);
                connect(item, &QAction::triggered, this, [this, key, name] {
                    // The menu may outlive a change of the model: look both up again.
                    auto* d = dynamic_cast<TslDevice*>(keys_->Object(key));
                    if (d && Layer().Contains(d))
                        DownloadInstance(d, workbench_.FBManager().FindInstance(name));
                });
            }
        }
    } else if (TSystemConnection* c = layer.SelectedConnection) {
        mnuEdit_->setText(QStringLiteral("Properties of connection ") +
                          QString::fromStdString(c->SourceObject ? c->SourceObject->Name : std::string()) +
                          QStringLiteral("-") +
                          QString::fromStdString(c->TargetObject ? c->TargetObject->Name : std::string()) +
                          QStringLiteral("..."));
    } else {
        mnuEdit_->setText(QStringLiteral("Edit"));
    }
}

void TfrmSystemLayer::DownloadInstance(TslDevice* device, TFB_InstanceRef* record)
{
    if (!device || !record || record->Device)
        return;
    AssignInstance(device, record);
    if (record->Device != device)
        return;
    log("FB instance " + record->Name + " distributed to " + device->Name);
    Push(new TDistributionCommand(*keys_, workbench_.FBManager(), *device, record->Name, true, 0));
    Render();
    ModelChanged(false, true);
}

void TfrmSystemLayer::TakeBackInstance(TslDevice* device, TFB_InstanceRef* record)
{
    if (!device || !record || record->Device != device)
        return;
    auto& list = device->DownloadedFBInstanceList;
    const size_t index = size_t(std::find(list.begin(), list.end(), record) - list.begin());
    UnassignInstance(device, record);
    Push(new TDistributionCommand(*keys_, workbench_.FBManager(), *device, record->Name, false, index));
    Render();
    ModelChanged(false, true);
}

// ---------------------------------------------------------------- drops

namespace {

// The FB diagram window a drag comes from: its drawing surface, or none.
TfrmDesignFBDiagram* diagramWindowOf(QObject* source)
{
    auto* box = qobject_cast<TDiagramPaintBox*>(source);
    for (QObject* o = box; o; o = o->parent())
        if (auto* editor = dynamic_cast<TfrmDesignFBDiagram*>(o))
            return editor;
    return nullptr;
}

} // namespace

TFB_Diagram* TfrmSystemLayer::sourceDiagram(QObject* source, const QMimeData* data) const
{
    if (!data || !data->hasFormat(QString::fromLatin1(FBInstanceMimeType)))
        return nullptr;
    // Only a drag from an FB diagram of this workbench with a selected
    // instance: a record of another project (another workbench) has no
    // place on these devices.
    TfrmDesignFBDiagram* from = diagramWindowOf(source);
    TFB_Diagram* diagram = from ? from->Diagram() : nullptr;
    if (!diagram || diagram->Manager != &workbench_.FBManager() || !diagram->LastSelectedInstance())
        return nullptr;
    return diagram;
}

bool TfrmSystemLayer::DragOver(QObject* source, const QMimeData* data, int vx, int vy)
{
    dropTarget_ = nullptr;
    if (!sourceDiagram(source, data))
        return false;
    TSystemLayerManager& layer = Layer();
    layer.SelectedObject = layer.ObjectAt(ToModel(vx), ToModel(vy), false);
    if (layer.SelectedObject)
        layer.SelectedObject->Selected = false;
    Render();
    if (layer.SelectedObject && layer.SelectedObject->Kind == slIECDevice) {
        dropTarget_ = static_cast<TslDevice*>(layer.SelectedObject);
        return true;
    }
    return false;
}

bool TfrmSystemLayer::Drop(QObject* source, const QMimeData* data, int x, int y)
{
    TFB_Diagram* diagram = sourceDiagram(source, data);
    if (!diagram) {
        hint("Only an FB instance selected in a diagram of this project can be dropped here.", 6);
        return false;
    }
    if (!DragOver(source, data, x, y)) {
        hint("An FB instance can be dropped only on an IEC compliant device.", 6);
        return false;
    }
    TslDevice* device = dropTarget_;
    dropTarget_ = nullptr;
    const std::string name = data->data(QString::fromLatin1(FBInstanceMimeType)).toStdString();
    TFB_InstanceRef* record = workbench_.FBManager().FindInstance(name);
    TFB_Instance* selected = diagram->LastSelectedInstance();
    if (!record || !selected || selected->Ref != record) {
        hint("Only an FB instance selected in a diagram of this project can be dropped here.", 6);
        return false;
    }
    if (record->Device) {
        hint("The FB instance " + name + " is distributed to " + record->Device->Name + " already.", 6);
        return false;
    }
    DownloadInstance(device, record);
    return record->Device == device;
}

// ---------------------------------------------------------------- closing

void TfrmSystemLayer::closeEvent(QCloseEvent* event)
{
    log("Close System layer window");
    event->accept();
}

TEditorWindow* OpenSystemLayerWindow(TMainForm& main)
{
    auto* editor = new TfrmSystemLayer(main.Workbench(), &main);
    auto* sub = new QMdiSubWindow;
    sub->setWidget(editor);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(editor->windowTitle());
    editor->SetSubWindow(sub);
    main.MdiArea()->addSubWindow(sub);
    return editor;
}

} // namespace telvo
