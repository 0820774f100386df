// The FB diagram editor's mouse: adding objects (from the palette, the tree
// or a drop), clicks, drags and the rubber band.

#include "ui/diagram/fb_diagram_editor.h"
#include "ui/diagram/fb_diagram_editor_p.h"

#include "model/fb_manager.h"
#include "model/value_text.h"
#include "systemlayer/system_layer.h"
#include "workbench/workbench.h"

#include <QMimeData>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace telvo {

namespace {

std::string lowerCase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

constexpr uint32_t NewInstanceTypeColour = 0xE2E2E2;

} // namespace

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

} // namespace telvo
