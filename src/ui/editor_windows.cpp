#include "ui/editor_window.h"

#include "ui/deploy/download_manager.h"
#include "ui/fb_diagram_editor.h"

namespace telvo {

// The one place where each editor window is wired to the main window's
// menus. A window that is not listed here keeps its menu items disabled.
void InstallEditorWindows(TEditorWindowFactories& factories)
{
    factories.DiagramWindow = OpenDiagramWindow;
    factories.DeploymentWindow = OpenDeploymentWindow;
}

} // namespace telvo
