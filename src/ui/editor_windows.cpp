#include "ui/editor_window.h"

#include "ui/deploy/download_manager.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "ui/mainwindow/main_form.h"
#include "ui/opc/opc_windows.h"
#include "ui/systemlayer/sl_dialogs.h"
#include "ui/systemlayer/sl_editor.h"
#include "ui/typeeditor/type_editor.h"
#include "ui/uml/trans_facility_tool.h"

namespace telvo {

// The one place where each editor window is wired to the main window's
// menus. A window that is not listed here keeps its menu items disabled.
void InstallEditorWindows(TEditorWindowFactories& factories)
{
    factories.DiagramWindow = OpenDiagramWindow;
    factories.SystemLayerWindow = OpenSystemLayerWindow;
    factories.IppProperties = [](TMainForm& main, TslIPPRef& ipp) {
        // With the system layer window open the edit joins its undo stack.
        EditIppProperties(&main, main.Workbench(), ipp, main.findChild<TfrmSystemLayer*>());
        main.RefreshSystemLayerTree();
    };
    factories.TypeEditor = OpenTypeEditorWindow;
    factories.DeploymentWindow = OpenDeploymentWindow;
    InstallUmlWindows(factories);
    InstallOpcWindows();
}

} // namespace telvo
