// The FB diagram editor's view: attaching a diagram, painting, zoom and
// scrolling.

#include "ui/diagram/fb_diagram_editor.h"

#include "ui/debugger/visual_debugger.h"

#include <QComboBox>
#include <QScrollBar>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace telvo {

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

} // namespace telvo
