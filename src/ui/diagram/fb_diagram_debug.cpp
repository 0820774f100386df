// The FB diagram editor in debug mode: the visual debugger docked at the
// left, and breakpoints from the instance pop-up.

#include "ui/diagram/fb_diagram_editor.h"
#include "ui/diagram/fb_diagram_editor_p.h"

#include "ui/debugger/visual_debugger.h"
#include "workbench/workbench.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace telvo {

namespace {

// The left panel in debug mode, holding the visual debugger.
constexpr int DebuggerWidth = 370;

} // namespace

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
