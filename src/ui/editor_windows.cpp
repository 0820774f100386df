#include "ui/editor_window.h"

namespace telvo {

// The one place where each editor window is wired to the main window's
// menus. A window that is not listed here keeps its menu items disabled.
void InstallEditorWindows(TEditorWindowFactories& factories)
{
    (void)factories;
}

} // namespace telvo
