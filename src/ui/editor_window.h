#pragma once
// What the main window needs of the editor windows that open under it: the
// FB diagram windows, the FB type editors and the system layer window. Each
// window's own issue implements TEditorWindow and installs its factory in
// InstallEditorWindows (editor_windows.cpp); until a factory is installed,
// the menu items and tool-bar buttons that would open that window stay
// disabled.

#include <QString>

#include <functional>
#include <string>

class QMdiSubWindow;
class QUndoStack;
class QWidget;

namespace telvo {

class TFB_Diagram;
class TMainForm;
class TslIPPRef;

class TEditorWindow {
public:
    enum class TKind { FBDiagram, FBType, SystemLayer };

    virtual ~TEditorWindow() = default;

    virtual TKind EditorKind() const = 0;
    // The MDI sub-window the editor lives in. The main window watches it:
    // when it is destroyed the editor leaves DiagramWindows and ActiveEditor.
    virtual QMdiSubWindow* SubWindow() const = 0;

    // FB diagram windows: the diagram shown, and a redraw from the model.
    virtual TFB_Diagram* Diagram() const { return nullptr; }
    virtual void RefreshDiagram() {}
    // The FB types menu picked a type: an FB diagram window places an
    // instance of it, an FB type editor places one in its internal network.
    virtual void InsertInstance(const std::string& typeName) {}
    // The project was saved: what the window shows is what is on disk.
    virtual void MarkSaved() {}
    // The model behind the window is about to go (the project closes):
    // whatever the window runs on it (a simulation) ends now, without
    // asking.
    virtual void EndActivity() {}
    // FB type editors: the FBType menu's "Save" and "Save As...".
    virtual void SaveType() {}
    virtual void SaveTypeAs() {}
    // The main window's Edit menu acts on the active window: its undo stack
    // (none: Undo and Redo stay disabled) and its clipboard commands.
    virtual QUndoStack* EditUndoStack() const { return nullptr; }
    virtual void CutSelection() {}
    virtual void CopySelection() {}
    virtual void PasteClipboard() {}
};

// How the main window opens the other windows. An empty factory means the
// window does not exist yet.
struct TEditorWindowFactories {
    // An FB diagram window on the diagram, with that caption; it is shown
    // as an MDI child of the main window at 230, 90.
    std::function<TEditorWindow*(TMainForm&, TFB_Diagram& diagram, const QString& caption)> DiagramWindow;
    // An FB type editor window running one of its commands: "New Basic",
    // "New Composite", "New Based on...", "Open...".
    std::function<TEditorWindow*(TMainForm&, const QString& command)> TypeEditor;
    // The system layer window (placed and shown by the main window).
    std::function<TEditorWindow*(TMainForm&)> SystemLayerWindow;
    // Modal or self-managing windows.
    std::function<void(TMainForm&)> DeploymentWindow;
    std::function<void(TMainForm&)> UmlImportWindow;
    std::function<void(TMainForm&)> LibraryWindow;
    std::function<void(TMainForm&, TslIPPRef& ipp)> IppProperties;
    // The UML tool's own window: "Show/Hide Rose".
    std::function<void(TMainForm&)> ToggleUmlTool;
};

// Installs the factories of every window that exists; called once by the
// main window's constructor.
void InstallEditorWindows(TEditorWindowFactories& factories);

} // namespace telvo
