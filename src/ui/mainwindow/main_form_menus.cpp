// The main window's menus and tool bar: every item with its name, text,
// shortcut, hint and command, the Edit items' dispatch to the active
// window, and which items are enabled.

#include "ui/mainwindow/main_form.h"

#include "ui/image_list.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>

namespace telvo {

namespace {

// Short hint for the tool tip, long hint for the status text: "short|long".
void setHint(QAction* action, const QString& hint)
{
    const int bar = hint.indexOf(QLatin1Char('|'));
    action->setToolTip(bar < 0 ? hint : hint.left(bar));
    action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

} // namespace

// ---------------------------------------------------------------- menus

QAction* TMainForm::addItem(QMenu* menu, const QString& name, const QString& text, const QKeySequence& shortcut,
                            void (TMainForm::*command)())
{
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    if (command)
        connect(action, &QAction::triggered, this, [this, command] { Guard([this, command] { (this->*command)(); }); });
    return action;
}

void TMainForm::createMenus()
{
    QMenuBar* bar = menuBar();

    mnuTelvo_ = bar->addMenu(QStringLiteral("&TELVO"));
    mnuTelvo_->setObjectName("mnuTelvo");
    mnuTelvo_->menuAction()->setStatusTip(QStringLiteral("File related commands"));
    addItem(mnuTelvo_, "mnuNewProject", QStringLiteral("&New TELVO project"), QKeySequence(Qt::CTRL | Qt::Key_N),
            &TMainForm::NewProjectClick)
        ->setIcon(ToolIcon("new_project"));
    addItem(mnuTelvo_, "mnuOpenProject", QStringLiteral("&Open project..."), QKeySequence(Qt::CTRL | Qt::Key_O),
            &TMainForm::OpenProjectClick)
        ->setIcon(ToolIcon("open_project"));
    addItem(mnuTelvo_, "mnuCloseProject", QStringLiteral("&Close Project"), {}, &TMainForm::CloseProjectClick);
    addItem(mnuTelvo_, "mnuSaveProject", QStringLiteral("&Save Project"), QKeySequence(Qt::CTRL | Qt::Key_S),
            &TMainForm::SaveProjectClick)
        ->setIcon(ToolIcon("save"));
    // Save As has never done anything more than Save offers.
    addItem(mnuTelvo_, "mnuSaveProjectAs", QStringLiteral("Save Project &As..."));
    mnuTelvo_->addSeparator();
    addItem(mnuTelvo_, "mnuImportSystem", QStringLiteral("Import IEC 61499 system..."), {},
            &TMainForm::ImportSystemClick);
    addItem(mnuTelvo_, "mnuExportSystem", QStringLiteral("Export as IEC 61499 system..."), {},
            &TMainForm::ExportSystemClick);
    mnuTelvo_->addSeparator();
    recentAnchor_ = mnuTelvo_->addSeparator(); // recent projects go before this
    addItem(mnuTelvo_, "mnuStartCenter", QStringLiteral("TELVO Start Center..."), {}, &TMainForm::StartCenterClick);
    mnuTelvo_->addSeparator();
    QAction* exit = addItem(mnuTelvo_, "mnuExit", QStringLiteral("E&xit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName("mnuEdit");
    // No keys of their own: Ctrl+Z and the clipboard keys belong to the
    // editor windows, and a second binding here would make them ambiguous.
    addItem(edit, "mnuUndo", QStringLiteral("&Undo"), {}, &TMainForm::UndoClick);
    addItem(edit, "mnuRedo", QStringLiteral("&Redo"), {}, &TMainForm::RedoClick);
    edit->addSeparator();
    addItem(edit, "mnuCut", QStringLiteral("Cu&t"), {}, &TMainForm::CutClick);
    addItem(edit, "mnuCopy", QStringLiteral("&Copy"), {}, &TMainForm::CopyClick);
    addItem(edit, "mnuPaste", QStringLiteral("&Paste"), {}, &TMainForm::PasteClick);
    connect(edit, &QMenu::aboutToShow, this, [this] { UpdateMenuItems(); });

    QMenu* fbType = bar->addMenu(QStringLiteral("&FBType"));
    fbType->setObjectName("mnuFBType");
    const std::pair<const char*, const char*> typeCommands[] = {
        {"mnuNewBasic", "New Basic"},
        {"mnuNewComposite", "New Composite"},
        {"mnuNewBasedOn", "New Based on..."},
        {"mnuOpenType", "Open..."},
    };
    for (const auto& [name, command] : typeCommands) {
        QAction* item = addItem(fbType, name, QString::fromLatin1(command),
                                std::string_view(name) == "mnuNewBasic" ? QKeySequence(Qt::CTRL | Qt::Key_T)
                                                                        : QKeySequence());
        const QString text = QString::fromLatin1(command);
        connect(item, &QAction::triggered, this, [this, text] {
            Guard([&] {
                if (!factories_.TypeEditor)
                    return;
                if (TEditorWindow* window = factories_.TypeEditor(*this, text))
                    AddEditorWindow(window);
            });
        });
    }
    fbType->addSeparator();
    connect(addItem(fbType, "mnuSaveType", QStringLiteral("Save")), &QAction::triggered, this, [this] {
        Guard([this] {
            if (activeEditor_ && activeEditor_->EditorKind() == TEditorWindow::TKind::FBType)
                activeEditor_->SaveType();
        });
    });
    connect(addItem(fbType, "mnuSaveTypeAs", QStringLiteral("Save As...")), &QAction::triggered, this, [this] {
        Guard([this] {
            if (activeEditor_ && activeEditor_->EditorKind() == TEditorWindow::TKind::FBType)
                activeEditor_->SaveTypeAs();
        });
    });

    QMenu* diagram = bar->addMenu(QStringLiteral("FB&Diagram"));
    diagram->setObjectName("mnuFBDiagram");
    addItem(diagram, "mnuNewDiagram", QStringLiteral("New"), QKeySequence(Qt::CTRL | Qt::Key_F),
            &TMainForm::NewDiagramClick)
        ->setIcon(ToolIcon("new_fb_diagram"));
    connect(addItem(diagram, "mnuNewFromUml", QStringLiteral("New from UML")), &QAction::triggered, this, [this] {
        if (factories_.UmlImportWindow)
            Guard([this] { factories_.UmlImportWindow(*this); });
    });
    addItem(diagram, "mnuOpenDiagram", QStringLiteral("Open"), {}, &TMainForm::OpenDiagramClick);
    diagram->addSeparator();
    addItem(diagram, "mnuMergeAll", QStringLiteral("Merge All Diagrams"), {}, &TMainForm::MergeAllDiagramsClick);

    QMenu* systemLayer = bar->addMenu(QStringLiteral("SystemLayer&Diagram"));
    systemLayer->setObjectName("mnuSystemLayer");
    addItem(systemLayer, "mnuSystemLayerEdit", QStringLiteral("Edit"), {}, &TMainForm::SystemLayerEditClick)
        ->setIcon(ToolIcon("system_layer"));
    connect(addItem(systemLayer, "mnuDistribute", QStringLiteral("Distribute application")), &QAction::triggered,
            this, [this] {
                if (factories_.DeploymentWindow)
                    Guard([this] { factories_.DeploymentWindow(*this); });
            });
    systemLayer->addSeparator();
    QMenu* append = systemLayer->addMenu(QStringLiteral("Append"));
    append->setObjectName("mnuAppend");
    append->menuAction()->setObjectName("mnuAppendMenu");
    const std::pair<const char*, const char*> appendItems[] = {
        {"mnuAppendDevice", "Device"},   {"mnuAppendFieldbus", "Fieldbus"}, {"mnuAppendInterunit", "Interworking Unit"},
        {"mnuAppendSwitch", "Switch"},   {"mnuAppendNetwork", "Network"},   {"mnuAppendComputer", "Computer"},
    };
    for (const auto& [name, text] : appendItems)
        addItem(append, name, QString::fromLatin1(text));
    addItem(systemLayer, "mnuRemoveSelected", QStringLiteral("Remove Selected"));

    // Items that have no action yet stay in their places, greyed, and say
    // so when the mouse rests on them.
    const auto unavailable = [](QAction* item) {
        item->setEnabled(false);
        item->setToolTip(QStringLiteral("Not available in this version"));
        item->setStatusTip(item->toolTip());
    };
    QMenu* device = bar->addMenu(QStringLiteral("Device"));
    device->setObjectName("mnuDevice");
    device->setToolTipsVisible(true);
    for (const auto& [name, text] : {std::pair{"mnuDeviceNew", "New"}, std::pair{"mnuDeviceOpen", "Open..."},
                                     std::pair{"mnuDeviceSave", "Save"}, std::pair{"mnuDeviceSaveAs", "Save As..."}})
        unavailable(addItem(device, name, QString::fromLatin1(text)));

    QMenu* repository = bar->addMenu(QStringLiteral("Repository"));
    repository->setObjectName("mnuRepository");
    connect(addItem(repository, "mnuTypeLibrary", QStringLiteral("Function Block Type Library")), &QAction::triggered,
            this, [this] {
                if (factories_.LibraryWindow)
                    Guard([this] { factories_.LibraryWindow(*this); });
            });
    repository->setToolTipsVisible(true);
    unavailable(addItem(repository, "mnuDeviceLibrary", QStringLiteral("Device Library")));

    mnuWindow_ = bar->addMenu(QStringLiteral("&Window"));
    mnuWindow_->setObjectName("mnuWindow");
    connect(mnuWindow_, &QMenu::aboutToShow, this, [this] { rebuildWindowMenu(); });
    rebuildWindowMenu();

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName("mnuHelp");
    addItem(help, "mnuContents", QStringLiteral("Contents && Index"))->setEnabled(false);
    addItem(help, "mnuWizard", QStringLiteral("TELVO ZOZE Wizard"), {}, &TMainForm::WizardClick)
        ->setIcon(ToolIcon("wizard"));
    addItem(help, "mnuWizardProperties", QStringLiteral("Wizard properties..."))->setEnabled(false);
    help->addSeparator();
    addItem(help, "mnuAbout", QStringLiteral("&About"), {}, &TMainForm::AboutClick);
}

void TMainForm::rebuildWindowMenu()
{
    mnuWindow_->clear();
    addItem(mnuWindow_, "mnuShowTreeBrowser", QStringLiteral("Show Tree Browser"), {},
            &TMainForm::ShowTreeBrowserClick);
    addItem(mnuWindow_, "mnuMinimizeAll", QStringLiteral("&Minimize All"), {}, &TMainForm::MinimizeAllClick)
        ->setEnabled(!diagramWindows_.empty());
    const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
    if (!windows.isEmpty())
        mnuWindow_->addSeparator();
    int n = 0;
    for (QMdiSubWindow* window : windows) {
        ++n;
        QString text = window->windowTitle();
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = mnuWindow_->addAction((n < 10 ? QStringLiteral("&%1 ").arg(n) : QString()) + text);
        item->setCheckable(true);
        item->setChecked(window == mdi_->activeSubWindow());
        QPointer<QMdiSubWindow> target = window;
        connect(item, &QAction::triggered, this, [this, target] {
            if (!target)
                return;
            target->showNormal();
            mdi_->setActiveSubWindow(target);
        });
    }
}

void TMainForm::createToolBar()
{
    toolBar_ = addToolBar(QStringLiteral("Tools"));
    toolBar_->setObjectName("ToolBar");
    toolBar_->setMovable(false);
    toolBar_->setIconSize(QSize(24, 24));
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);

    auto button = [this](const char* name, const QString& icon, const QString& hint, auto&& command) {
        QAction* action = toolBar_->addAction(ToolIcon(icon), QString());
        action->setObjectName(name);
        setHint(action, hint);
        action->setText(action->toolTip());
        connect(action, &QAction::triggered, this, [this, command] { Guard(command); });
        return action;
    };
    button("tbOpen", "open_project", QStringLiteral("Open TELVO project"), [this] { OpenProjectClick(); });
    button("tbSave", "save", QStringLiteral("Save|"), [this] { SaveProjectClick(); });
    button("tbNew", "new_project", QStringLiteral("New TELVO project"), [this] { NewProjectClick(); });
    toolBar_->addSeparator();
    button("tbTransformation", "uml_import",
           QStringLiteral("Transformation Facility Manager|Import Information from Umbrello"), [this] {
               if (factories_.UmlImportWindow)
                   factories_.UmlImportWindow(*this);
           });
    button("tbSystemLayer", "system_layer", QStringLiteral("System Layer"), [this] { SystemLayerEditClick(); });
    button("tbNewFBType", "new_fb_type", QStringLiteral("New Function Block Type"), [this] {
        if (factories_.TypeEditor)
            if (TEditorWindow* window = factories_.TypeEditor(*this, QStringLiteral("New Basic")))
                AddEditorWindow(window);
    });
    button("tbNewDiagram", "new_fb_diagram", QStringLiteral("New FB Diagram|Create a new Function Block Diagram"),
           [this] { NewDiagramClick(); });
    toolBar_->addSeparator();
    // The UML tool this program drives is Umbrello: the buttons say so.
    button("tbShowHideRose", "rose", QStringLiteral("Show/Hide Umbrello"), [this] {
        if (factories_.ToggleUmlTool)
            factories_.ToggleUmlTool(*this);
    });
    button("tbDistribute", "distribute", QStringLiteral("Distribute application"), [this] {
        if (factories_.DeploymentWindow)
            factories_.DeploymentWindow(*this);
    });

    // The tips button sits at the right end of the bar.
    auto* spacer = new QWidget(toolBar_);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolBar_->addWidget(spacer);
    QAction* tips = new QAction(QStringLiteral("?"), toolBar_);
    tips->setObjectName("tbTips");
    setHint(tips, QStringLiteral("Tips for TELVO zoze"));
    tips->setText(QStringLiteral("?"));
    connect(tips, &QAction::triggered, this, [this] { Guard([this] { WizardClick(); }); });
    auto* tipsButton = new QToolButton(toolBar_);
    tipsButton->setDefaultAction(tips);
    tipsButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    tipsButton->setObjectName("btnTips");
    QFont bold = tipsButton->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.25);
    tipsButton->setFont(bold);
    tipsButton->setMinimumWidth(32);
    toolBar_->addWidget(tipsButton);
}

void TMainForm::UndoClick()
{
    if (QUndoStack* stack = activeEditor_ ? activeEditor_->EditUndoStack() : nullptr)
        stack->undo();
    UpdateMenuItems();
}

void TMainForm::RedoClick()
{
    if (QUndoStack* stack = activeEditor_ ? activeEditor_->EditUndoStack() : nullptr)
        stack->redo();
    UpdateMenuItems();
}

void TMainForm::CutClick()
{
    if (activeEditor_)
        activeEditor_->CutSelection();
}

void TMainForm::CopyClick()
{
    if (activeEditor_)
        activeEditor_->CopySelection();
}

void TMainForm::PasteClick()
{
    if (activeEditor_)
        activeEditor_->PasteClipboard();
}

void TMainForm::UpdateMenuItems()
{
    if (dying_)
        return;
    const bool open = projects_ && projects_->Info().IsOpen();
    // Project commands wait while the library is indexed: a project names
    // types the index must already know.
    const bool idle = !Indexing() && !ProjectWorkRunning();
    const TEditorWindow::TKind* active = nullptr;
    TEditorWindow::TKind activeKind{};
    if (activeEditor_) {
        activeKind = activeEditor_->EditorKind();
        active = &activeKind;
    }
    auto enable = [this](const char* name, bool on) {
        if (QAction* a = Action(QString::fromLatin1(name)))
            a->setEnabled(on);
    };
    bool childWindows = false;
    for (QMdiSubWindow* window : mdi_->subWindowList())
        if (window != logSub_)
            childWindows = true;

    enable("mnuNewProject", idle);
    enable("mnuOpenProject", idle);
    enable("tbOpen", idle);
    enable("tbNew", idle);
    for (QAction* item : recentActions_)
        item->setEnabled(idle);
    enable("mnuCloseProject", open && idle);
    enable("mnuImportSystem", idle);
    enable("mnuExportSystem", open && idle);
    enable("mnuSaveProject", open && idle);
    enable("mnuSaveProjectAs", open && idle);
    enable("tbSave", open && idle);
    // While a project is read on the worker, nothing may touch the model.
    for (QAction* group : fbTypesMenu_->actions())
        group->setEnabled(idle);
    enable("mnuStartCenter", idle);

    for (const char* name : {"mnuCut", "mnuCopy", "mnuPaste"})
        enable(name, childWindows);
    QUndoStack* stack = activeEditor_ ? activeEditor_->EditUndoStack() : nullptr;
    enable("mnuUndo", idle && stack && stack->canUndo());
    enable("mnuRedo", idle && stack && stack->canRedo());

    const bool typeEditor = idle && factories_.TypeEditor;
    for (const char* name : {"mnuNewBasic", "mnuNewComposite", "mnuNewBasedOn", "mnuOpenType", "tbNewFBType"})
        enable(name, typeEditor);
    const bool typeActive = active && *active == TEditorWindow::TKind::FBType;
    enable("mnuSaveType", typeActive);
    enable("mnuSaveTypeAs", typeActive);

    const bool diagramEditor = idle && factories_.DiagramWindow;
    for (const char* name : {"mnuNewDiagram", "mnuOpenDiagram", "mnuMergeAll", "tbNewDiagram"})
        enable(name, diagramEditor);
    enable("mnuNewFromUml", idle && factories_.UmlImportWindow);
    enable("tbTransformation", idle && factories_.UmlImportWindow);

    enable("mnuSystemLayerEdit", idle && open && factories_.SystemLayerWindow);
    enable("tbSystemLayer", idle && open && factories_.SystemLayerWindow);
    enable("mnuDistribute", idle && open && factories_.DeploymentWindow);
    enable("tbDistribute", idle && open && factories_.DeploymentWindow);
    const bool layerActive = active && *active == TEditorWindow::TKind::SystemLayer;
    enable("mnuAppendMenu", layerActive);
    for (const char* name : {"mnuAppendDevice", "mnuAppendFieldbus", "mnuAppendInterunit", "mnuAppendSwitch",
                             "mnuAppendNetwork", "mnuAppendComputer", "mnuRemoveSelected"})
        enable(name, layerActive);

    enable("mnuTypeLibrary", idle && factories_.LibraryWindow);
    enable("mnuMinimizeAll", !diagramWindows_.empty());
    enable("tbShowHideRose", bool(factories_.ToggleUmlTool));
}

} // namespace telvo
