// The FB diagram editor's deleting and editing: the selection's deletion,
// the double click and the edit commands on instances and their types.

#include "ui/diagram/fb_diagram_editor.h"
#include "ui/diagram/fb_diagram_editor_p.h"

#include "model/fb_manager.h"
#include "model/value_text.h"
#include "systemlayer/system_layer.h"
#include "ui/debugger/visual_debugger.h"
#include "ui/diagram/fb_diagram_dialogs.h"
#include "ui/mainwindow/main_form.h"
#include "workbench/workbench.h"

namespace telvo {

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

} // namespace telvo
