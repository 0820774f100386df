#include "ui/main_form.h"

#include "model/fb_manager.h"
#include "model/library_index.h"
#include "ui/image_list.h"
#include "ui/log_window.h"
#include "ui/name_dialog.h"
#include "ui/new_project_dialog.h"
#include "ui/project_browser.h"
#include "ui/qt_user_interface.h"
#include "ui/splash_form.h"
#include "ui/start_center.h"
#include "ui/telvo_application.h"
#include "ui/uml/trans_facility_tool.h"
#include "umlimport/umbrello_tool.h"
#include "workbench/workbench.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QSplashScreen>
#include <QDir>
#include <QFileInfo>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QThread>
#include <QTimer>
#include <QUndoStack>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <filesystem>

namespace telvo {

namespace fs = std::filesystem;

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

// Qt file dialog filters of the project file dialogs.
const QString projectFilter = QStringLiteral("TELVO project (crf) (*.crf);;All (*.*) (*)");

// What the wizard says when it is called: a greeting, then three lines.
const QString wizardGreeting = QStringLiteral("Hello, I am the TELVO ZOZE Wizard. Welcome to the workbench!");
const QString wizardLines[] = {
    QStringLiteral("Start a new project or open one from the TELVO menu."),
    QStringLiteral("Double click a diagram in the project tree to edit its function blocks."),
    QStringLiteral("Describe the plant in the system layer, then distribute the application to its devices."),
};
const char* diagramHint = "Place function blocks from the FB types menu and join their ports to build the network.";

// Passes everything on to the workbench's user channel and counts the
// folders the library indexer announces, for the progress bar.
class TProgressUserInterface final : public TUserInterface {
public:
    TProgressUserInterface(TUserInterface& target, std::function<void(int)> progress)
        : target_(target), progress_(std::move(progress))
    {
    }
    void ShowMessage(const std::string& text) override { target_.ShowMessage(text); }
    void ShowWarning(const std::string& text) override { target_.ShowWarning(text); }
    bool AskYesNo(const std::string& text) override { return target_.AskYesNo(text); }
    TAnswer AskYesNoCancel(const std::string& text) override { return target_.AskYesNoCancel(text); }
    std::string UserHint(const std::string& text, int gesture) override { return target_.UserHint(text, gesture); }
    void Log(const std::string& text) override { target_.Log(text); }
    void SetStatus(const std::string& text) override
    {
        target_.SetStatus(text);
        progress_(++folders_);
    }
    void BeginBusy() override {}
    void EndBusy() override {}

private:
    TUserInterface& target_;
    std::function<void(int)> progress_;
    std::atomic<int> folders_{0};
};

int countFolders(const fs::path& folder)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return 1;
    int count = 1;
    for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec))
            ++count;
    return count;
}

// Short hint for the tool tip, long hint for the status text: "short|long".
void setHint(QAction* action, const QString& hint)
{
    const int bar = hint.indexOf(QLatin1Char('|'));
    action->setToolTip(bar < 0 ? hint : hint.left(bar));
    action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

// The document area: a calm ground with the product mark in the middle, so
// that an empty workbench does not look unfinished.
class TMdiArea final : public QMdiArea {
public:
    explicit TMdiArea(QWidget* parent) : QMdiArea(parent) {}

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter p(viewport());
        const QRectF r = viewport()->rect();
        QLinearGradient ground(r.topLeft(), r.bottomLeft());
        ground.setColorAt(0, QColor(0x4d, 0x5d, 0x72));
        ground.setColorAt(1, QColor(0x36, 0x43, 0x55));
        p.fillRect(r, ground);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal side = std::min<qreal>(120, std::min(r.width(), r.height()) / 4);
        if (side < 24)
            return;
        p.setOpacity(0.18);
        const QRectF logo(r.center().x() - side / 2, r.center().y() - side * 0.85, side, side);
        ToolIcon(QStringLiteral("telvo")).paint(&p, logo.toRect());
        p.setOpacity(0.32);
        QFont title = p.font();
        title.setPixelSize(int(side * 0.32));
        title.setBold(true);
        p.setFont(title);
        p.setPen(Qt::white);
        const QRectF text(r.left(), logo.bottom() + side * 0.12, r.width(), side * 0.4);
        p.drawText(text, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("TELVO ZOZE"));
        QFont sub = p.font();
        sub.setPixelSize(std::max(10, int(side * 0.12)));
        sub.setBold(false);
        p.setFont(sub);
        p.drawText(QRectF(r.left(), text.bottom(), r.width(), side * 0.3), Qt::AlignHCenter | Qt::AlignTop,
                   QStringLiteral("IEC 61499 Engineering Support System"));
        (void)event;
    }
};

} // namespace

QString TMainForm::ProjectCaption(const TProjectInfo& project)
{
    return QStringLiteral("TELVO ZOZE [") + qs(project.Name) + QStringLiteral(" - ") + qs(project.FileName) +
           QStringLiteral("] ");
}

TMainForm::TMainForm(TWorkbench& workbench, QWidget* parent)
    : QMainWindow(parent), workbench_(workbench), qtUi_(dynamic_cast<TQtUserInterface*>(&workbench.UI()))
{
    setObjectName("MainForm");
    // A project's UML model is an Umbrello file, shown in Umbrello.
    uml::InstallUmbrelloTool(workbench_.ProjectManager(), workbench_.UI());
    setWindowTitle(NoProjectCaption());
    setWindowIcon(ToolIcon(QStringLiteral("telvo")));
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);

    mdi_ = new TMdiArea(this);
    mdi_->setObjectName("MdiArea");
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);

    // The log window exists from the start so that no line is lost; it
    // joins the documents when the main window is first shown.
    log_ = new TfrmLog;
    logSub_ = new TLogSubWindow;
    logSub_->setObjectName("LogSubWindow");
    logSub_->setWidget(log_);
    logSub_->setWindowTitle(TfrmLog::Caption());
    logSub_->setWindowIcon(ToolIcon(QStringLiteral("library")));
    logSub_->resize(760, 260);

    browser_ = new TfrmProjectBrowser(workbench_, this);
    browserDock_ = new QDockWidget(TfrmProjectBrowser::Caption(), this);
    browserDock_->setObjectName("ProjectBrowserDock");
    browserDock_->setWidget(browser_);
    browserDock_->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                              QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::LeftDockWidgetArea, browserDock_);
    browserDock_->hide();
    ConnectUmlRequirements(*this, *browser_);
    // The requirement branches follow the UML model each time the browser
    // comes into view.
    connect(browserDock_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible && !dying_)
            browser_->RefreshRequirementsTree();
        // Shown again, the browser has the width the user last gave it.
        if (visible && browserWidth_ > 0)
            QTimer::singleShot(0, this, [this] {
                if (!dying_ && browserDock_->isVisible() && !browserDock_->isFloating())
                    resizeDocks({browserDock_}, {browserWidth_}, Qt::Horizontal);
            });
    });
    browserDock_->installEventFilter(this);

    statusLabel_ = new QLabel(this);
    statusLabel_->setObjectName("lbStatus");
    // A long hint must not widen the window: the label takes the bar's
    // width and keeps the whole text in its tool tip.
    statusLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusLabel_->setMinimumWidth(1);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("pbProgress");
    progress_->setMaximumWidth(220);
    progress_->setMaximumHeight(16);
    progress_->setTextVisible(false);
    progress_->hide();
    statusBar()->addWidget(statusLabel_, 1);
    statusBar()->addPermanentWidget(progress_);

    fbTypesMenu_ = new QMenu(QStringLiteral("FB Types"), this);
    fbTypesMenu_->setObjectName("pmFBTypes");

    startCenterTimer_ = new QTimer(this);
    startCenterTimer_->setObjectName("tmStartCenter");
    startCenterTimer_->setSingleShot(true);
    startCenterTimer_->setInterval(100);
    connect(startCenterTimer_, &QTimer::timeout, this, [this] { Guard([this] { ShowStartCenter(); }); });

    wizardTimer_ = new QTimer(this);
    wizardTimer_->setInterval(4000);
    connect(wizardTimer_, &QTimer::timeout, this, [this] {
        if (wizardLine_ >= int(std::size(wizardLines))) {
            wizardTimer_->stop();
            return;
        }
        workbench_.UI().UserHint(wizardLines[wizardLine_++].toStdString(), 3);
    });

    createMenus();
    createToolBar();

    if (qtUi_) {
        connect(qtUi_, &TQtUserInterface::logLine, log_, &TfrmLog::AddLine);
        connect(qtUi_, &TQtUserInterface::statusText, statusLabel_, &QLabel::setText);
        connect(qtUi_, &TQtUserInterface::hintText, browser_, &TfrmProjectBrowser::SetHintText);
        connect(qtUi_, &TQtUserInterface::hintText, this, &TMainForm::ShowStatus);
        connect(qtUi_, &TQtUserInterface::busyChanged, this, [this](bool busy) { setBusyProgress(busy); });
        qtUi_->SetDialogParent(this);
    }
    connect(mdi_, &QMdiArea::subWindowActivated, this, &TMainForm::subWindowActivated);

    connect(browser_, &TfrmProjectBrowser::openDiagramRequested, this,
            [this](TFB_Diagram* diagram, const QString& caption) {
                Guard([&] { openDiagramFromTree(diagram, caption); });
            });
    connect(browser_, &TfrmProjectBrowser::openIppRequested, this, [this](TslIPPRef* ipp) {
        if (factories_.IppProperties)
            Guard([&] { factories_.IppProperties(*this, *ipp); });
    });
    connect(browser_, &TfrmProjectBrowser::openSystemLayerRequested, this, [this] {
        if (systemLayerWindow_)
            mdi_->setActiveSubWindow(systemLayerWindow_->SubWindow());
        else
            Guard([this] { SystemLayerEditClick(); });
    });
    connect(browser_, &TfrmProjectBrowser::openTypeRequested, this, [this](const QString& typeFile) {
        if (factories_.TypeEditor)
            Guard([&] { AddEditorWindow(factories_.TypeEditor(*this, typeFile)); });
    });
    connect(browser_, &TfrmProjectBrowser::diagramRenamed, this, [this](const QString& oldText, const QString& newText) {
        // The windows captioned with the old name, and every window on the
        // renamed diagram whatever its caption.
        std::vector<TEditorWindow*> windows = diagramWindowsCaptioned(oldText);
        for (auto& renamed : workbench_.FBManager().Diagrams)
            if (renamed->Name == newText.toStdString())
                for (TEditorWindow* window : diagramWindows_)
                    if (window->Diagram() == renamed.get() &&
                        std::find(windows.begin(), windows.end(), window) == windows.end())
                        windows.push_back(window);
        for (TEditorWindow* window : windows) {
            window->SubWindow()->show();
            const QString caption = newText + QStringLiteral("[*]");
            if (QWidget* editor = window->SubWindow()->widget())
                editor->setWindowTitle(caption);
            window->SubWindow()->setWindowTitle(caption);
        }
        EditorModified();
    });
    connect(browser_, &TfrmProjectBrowser::closeDiagramWindowsRequested, this, [this](const QString& caption) {
        for (TEditorWindow* window : diagramWindowsCaptioned(caption)) {
            QPointer<QMdiSubWindow> sub = window->SubWindow();
            sub->close();
            if (sub)
                delete sub.data(); // the diagram goes next: no window may outlive it
        }
    });
    connect(browser_, &TfrmProjectBrowser::modelChanged, this, [this] {
        for (TEditorWindow* window : diagramWindows_)
            window->RefreshDiagram();
    });

    AskOpenProjectFileName = [this](const QString& folder) {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Open project"), folder, projectFilter);
    };

    InstallEditorWindows(factories_);
    projects_ = MakeProjectCommands(*this);
    UpdateMenuItems();
}

TMainForm::~TMainForm()
{
    // Tearing the widgets down activates and hides sub-windows: nothing of
    // that may reach the half-destroyed window.
    closing_ = true;
    dying_ = true;
    for (const QMetaObject::Connection& connection : editorConnections_)
        disconnect(connection);
    disconnect(mdi_, nullptr, this, nullptr);
    browser_->disconnect(this);
    // The indexer only talks to the user channel, which outlives us; let it
    // finish before the thread object goes.
    if (indexThread_)
        indexThread_->wait();
    if (projectThread_)
        projectThread_->wait();
    TTelvoApplication::SetErrorHandler({});
    if (qtUi_)
        qtUi_->disconnect(this);
}

void TMainForm::SetProjectCommands(std::unique_ptr<TProjectCommands> commands)
{
    projects_ = std::move(commands);
    UpdateMenuItems();
}

QString TMainForm::StatusText() const { return statusLabel_->text(); }

void TMainForm::ShowStatus(const QString& text)
{
    statusLabel_->setText(text);
    statusLabel_->setToolTip(text);
}

QString TMainForm::CaptionOf(const QWidget* window)
{
    QString caption = window->windowTitle();
    caption.remove(QStringLiteral("[*]"));
    return caption;
}

void TMainForm::EditorModified()
{
    if (Project().IsOpen())
        setWindowModified(true);
}

void TMainForm::SetProjectModified(bool modified)
{
    setWindowModified(modified);
    if (!modified)
        for (TEditorWindow* window : diagramWindows_)
            window->MarkSaved();
}

QString TMainForm::OpenFolder() const
{
    if (!lastOpenFolder_.isEmpty())
        return lastOpenFolder_;
    if (!recent_.Entries().empty() && !recent_.Entries()[0].empty())
        return QFileInfo(qs(recent_.Entries()[0])).absolutePath();
    return qs(workbench_.ProgramFolder().string());
}

void TMainForm::log(const std::string& text) const { workbench_.UI().Log(text); }

QAction* TMainForm::Action(const QString& objectName) const { return findChild<QAction*>(objectName); }

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

// ---------------------------------------------------------------- start-up

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        // After the show: the window paints while the library is indexed.
        QTimer::singleShot(0, this, [this] { Guard([this] { formShow(); }); });
    }
}

void TMainForm::formShow()
{
    if (QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        if (!isMaximized() && !isFullScreen())
            setGeometry(area);
    }
    mdi_->addSubWindow(logSub_);
    logSub_->showMinimized();

    TTelvoApplication::SetErrorHandler([this](const QString& message) { HandleProgramError(message); });
    IndexLibrary([this] { finishStartUp(); });
}

void TMainForm::finishStartUp()
{
    if (splash_) {
        splash_->finish(this);
        splash_ = nullptr;
    }
    readSettings();
    rebuildRecentMenu();
    const bool startCenter = !workbench_.Settings.GetBool("DonotShowInitWindow", false);
    if (startCenter && startProject_.isEmpty())
        startCenterTimer_->start();
    browserDock_->show();
    // Wide enough for the usual entries on a wide screen; the user may
    // widen it, and it keeps that width for the run.
    browserWidth_ = std::max(260, width() / 5);
    resizeDocks({browserDock_}, {browserWidth_}, Qt::Horizontal);
    startUpDone_ = true;
    UpdateMenuItems();
    emit startUpFinished();
    if (!startProject_.isEmpty()) {
        const std::string path = startProject_.toStdString();
        startProject_.clear();
        Guard([&] { projects_->OpenProject(path); });
    }
}

void TMainForm::readSettings()
{
    StereotypesPath = workbench_.Settings.GetString("RoseStereotypesPath", "-");
    recent_.Load(workbench_.Settings);
}

void TMainForm::rebuildRecentMenu()
{
    for (QAction* item : recentActions_) {
        mnuTelvo_->removeAction(item);
        item->deleteLater();
    }
    recentActions_.clear();
    for (const std::string& path : recent_.Entries()) {
        if (path.empty())
            continue;
        auto* item = new QAction(RecentProjectCaption(path), mnuTelvo_);
        item->setObjectName("mnuRecentProject");
        item->setEnabled(!Indexing());
        connect(item, &QAction::triggered, this, [this, item] { Guard([&] { OpenRecentProject(item); }); });
        mnuTelvo_->insertAction(recentAnchor_, item);
        recentActions_ << item;
    }
}

void TMainForm::OpenRecentProject(QAction* item)
{
    projects_->OpenProject(RecentProjectPath(item->text()));
}

void TMainForm::ProjectFileRead(const std::string& path)
{
    recent_.Opened(path);
    recent_.Save(workbench_.Settings);
    rebuildRecentMenu();
    // A program folder the user may not write to (an installation for all
    // users) must not cost the project just read: the list is kept for this
    // run and the log says why it is not kept for the next.
    try {
        workbench_.Settings.Save();
    } catch (const std::exception& e) {
        log(std::string("The recent projects are not saved: ") + e.what());
    }
}

// ---------------------------------------------------------------- library

void TMainForm::IndexLibrary(std::function<void()> then)
{
    if (indexThread_)
        return;
    struct TJob {
        TLibraryIndex Index;
        std::vector<std::string> Names;
        std::exception_ptr Error;
        std::unique_ptr<TProgressUserInterface> UI;
    };
    auto job = std::make_shared<TJob>();
    // The indexer adds to what is indexed already and lists nothing twice;
    // it works on a copy so that the workbench's index never changes under
    // a reader.
    job->Index = workbench_.LibraryIndex;
    job->Names = workbench_.LibraryTypeNames;
    const std::vector<fs::path> folders = workbench_.LibraryFolders();
    int count = 0;
    for (const fs::path& folder : folders)
        count += countFolders(folder);
    progress_->setRange(0, count);
    progress_->setValue(0);
    progress_->show();
    QPointer<TMainForm> self(this);
    job->UI = std::make_unique<TProgressUserInterface>(workbench_.UI(), [self](int folders) {
        QMetaObject::invokeMethod(
            self, [self, folders] { self->progress_->setValue(std::min(folders, self->progress_->maximum())); },
            Qt::QueuedConnection);
    });

    indexThread_ = QThread::create([job, folders] {
        try {
            for (const fs::path& folder : folders)
                IndexLibraryFolder(folder, job->Index, job->Names, *job->UI);
        } catch (...) {
            job->Error = std::current_exception();
        }
    });
    indexThread_->setObjectName("LibraryIndexer");
    connect(indexThread_, &QThread::finished, this, [this, job, then = std::move(then)] {
        indexThread_->wait();
        indexThread_->deleteLater();
        indexThread_ = nullptr;
        progress_->hide();
        statusLabel_->clear();
        Guard([&] {
            if (job->Error)
                std::rethrow_exception(job->Error);
            workbench_.LibraryIndex = std::move(job->Index);
            workbench_.LibraryTypeNames = std::move(job->Names);
            rebuildFBTypesMenu();
        });
        UpdateMenuItems();
        if (then)
            Guard(then);
    });
    UpdateMenuItems();
    indexThread_->start();
}

void TMainForm::rebuildFBTypesMenu()
{
    fbTypesMenu_->clear();
    for (const TLibraryFolder& folder : workbench_.LibraryIndex.Folders) {
        QMenu* group = fbTypesMenu_->addMenu(MainImage(imgLibrary), qs(folder.Name));
        for (const std::string& type : folder.TypeNames) {
            QString text = qs(type);
            text.replace(QLatin1Char('&'), QStringLiteral("&&"));
            QAction* item = group->addAction(MainImage(imgFBType), text);
            const std::string folderName = folder.Name;
            connect(item, &QAction::triggered, this,
                    [this, folderName, type] { Guard([&] { PickLibraryType(folderName, type); }); });
        }
    }
}

bool TMainForm::LoadTypeFromLibrary(const std::string& folder, const std::string& typeName)
{
    TBusyScope busy(workbench_.UI());
    return workbench_.FBManager().LoadTypeFromLibrary(folder, typeName);
}

void TMainForm::PickLibraryType(const std::string& folder, const std::string& typeName)
{
    if (!workbench_.FBManager().FindType(typeName) && !LoadTypeFromLibrary(folder, typeName))
        return;
    if (activeEditor_ && (activeEditor_->EditorKind() == TEditorWindow::TKind::FBDiagram ||
                          activeEditor_->EditorKind() == TEditorWindow::TKind::FBType))
        activeEditor_->InsertInstance(typeName);
}

void TMainForm::setBusyProgress(bool busy)
{
    // Long work of unknown length: a running bar. The indexer sets a
    // range of its own while it runs.
    if (Indexing())
        return;
    progress_->setRange(0, 0);
    progress_->setVisible(busy);
}

// ---------------------------------------------------------------- tree

void TMainForm::BuildProjectTree()
{
    const TProjectInfo project = projects_->Info();
    setWindowTitle(ProjectCaption(project) + QStringLiteral("[*]"));
    browser_->BuildProjectTree(project);
}

void TMainForm::RefreshApplicationTree() { browser_->RefreshApplicationTree(); }
void TMainForm::RefreshInstancesTree() { browser_->RefreshInstancesTree(); }
void TMainForm::RefreshConnectionsTree() { browser_->RefreshConnectionsTree(); }
void TMainForm::RefreshSystemLayerTree() { browser_->RefreshSystemLayerTree(); }
void TMainForm::RefreshRequirementsTree() { browser_->RefreshRequirementsTree(); }
void TMainForm::AddObjectNode(TslObject* object) { browser_->AddObjectNode(object); }
void TMainForm::AddConnectionNode(TSystemConnection* connection) { browser_->AddConnectionNode(connection); }
void TMainForm::AddDiagramNode(TFB_Diagram* diagram) { browser_->AddDiagramNode(diagram); }

// ---------------------------------------------------------------- windows

void TMainForm::AddEditorWindow(TEditorWindow* window)
{
    if (!window || !window->SubWindow())
        return;
    QMdiSubWindow* sub = window->SubWindow();
    const bool known = window == systemLayerWindow_ ||
                       std::find(diagramWindows_.begin(), diagramWindows_.end(), window) != diagramWindows_.end() ||
                       sub->property("telvoFollowed").toBool();
    if (sub->mdiArea() != mdi_)
        mdi_->addSubWindow(sub);
    switch (window->EditorKind()) {
    case TEditorWindow::TKind::FBDiagram:
        if (std::find(diagramWindows_.begin(), diagramWindows_.end(), window) == diagramWindows_.end())
            diagramWindows_.push_back(window);
        break;
    case TEditorWindow::TKind::SystemLayer:
        systemLayerWindow_ = window;
        break;
    case TEditorWindow::TKind::FBType:
        break;
    }
    activeEditor_ = window;
    if (!known) {
        // A window that opened where it pleased (a type editor) is brought
        // into view; the others are placed by whoever opened them.
        if (window->EditorKind() == TEditorWindow::TKind::FBType)
            FitIntoDocumentArea(sub);
        sub->setProperty("telvoFollowed", true);
        editorConnections_.push_back(connect(sub, &QObject::destroyed, this, [this, window] { editorGone(window); }));
    }
    UpdateMenuItems();
}

void TMainForm::FitIntoDocumentArea(QMdiSubWindow* sub)
{
    if (!sub)
        return;
    const QRect area = mdi_->viewport()->rect();
    if (area.isEmpty())
        return;
    // The window keeps its place where it can: it is made smaller to fit,
    // down to a size that is still of use, and only then moved back into
    // view (and never larger than the area itself).
    QRect r = sub->geometry();
    const int leastWidth = std::min(r.width(), 400), leastHeight = std::min(r.height(), 300);
    if (r.left() + r.width() > area.width())
        r.setWidth(std::max(leastWidth, area.width() - r.left()));
    if (r.top() + r.height() > area.height())
        r.setHeight(std::max(leastHeight, area.height() - r.top()));
    r.setWidth(std::min(r.width(), area.width()));
    r.setHeight(std::min(r.height(), area.height()));
    r.moveLeft(std::clamp(r.left(), 0, area.width() - r.width()));
    r.moveTop(std::clamp(r.top(), 0, area.height() - r.height()));
    sub->setGeometry(r);
}

void TMainForm::editorGone(TEditorWindow* window)
{
    if (dying_)
        return;
    diagramWindows_.erase(std::remove(diagramWindows_.begin(), diagramWindows_.end(), window), diagramWindows_.end());
    if (activeEditor_ == window)
        activeEditor_ = nullptr;
    if (systemLayerWindow_ == window)
        systemLayerWindow_ = nullptr;
    UpdateMenuItems();
}

void TMainForm::subWindowActivated(QMdiSubWindow* window)
{
    if (closing_)
        return;
    // The active editor is the editor last activated: activating the log
    // or leaving the documents does not clear it.
    for (TEditorWindow* editor : diagramWindows_)
        if (editor->SubWindow() == window)
            activeEditor_ = editor;
    if (systemLayerWindow_ && systemLayerWindow_->SubWindow() == window)
        activeEditor_ = systemLayerWindow_;
    if (window)
        if (auto* editor = dynamic_cast<TEditorWindow*>(window->widget()))
            activeEditor_ = editor;
    UpdateMenuItems();
}

std::vector<TEditorWindow*> TMainForm::diagramWindowsCaptioned(const QString& caption) const
{
    std::vector<TEditorWindow*> found;
    for (TEditorWindow* window : diagramWindows_)
        if (window->SubWindow() && CaptionOf(window->SubWindow()) == caption)
            found.push_back(window);
    return found;
}

TFB_Diagram* TMainForm::NewDiagramWindow(const QString& caption, const std::string& name)
{
    TFB_Manager& fbm = workbench_.FBManager();
    TFB_Diagram* diagram = fbm.CreateDiagram(name, 1.0);
    const fs::path folder = fs::path(projects_->Info().FileName).parent_path();
    diagram->FileName = (folder / (name + ".fbn")).string();
    if (factories_.DiagramWindow) {
        if (TEditorWindow* window = factories_.DiagramWindow(*this, *diagram, caption)) {
            AddEditorWindow(window);
            window->SubWindow()->move(230, 90);
            window->SubWindow()->show();
            activeEditor_ = window;
        }
    }
    log("New window " + name);
    return diagram;
}

void TMainForm::openDiagramFromTree(TFB_Diagram* diagram, const QString& caption)
{
    const std::vector<TEditorWindow*> open = diagramWindowsCaptioned(caption);
    for (TEditorWindow* window : open) {
        window->SubWindow()->showNormal();
        mdi_->setActiveSubWindow(window->SubWindow());
        window->RefreshDiagram();
    }
    if (!open.empty() || !factories_.DiagramWindow)
        return;
    if (TEditorWindow* window = factories_.DiagramWindow(*this, *diagram, caption)) {
        AddEditorWindow(window);
        window->SubWindow()->move(230, 90);
        window->SubWindow()->show();
        activeEditor_ = window;
        log("Open window from tree " + caption.toStdString());
    }
}

void TMainForm::CloseEditorWindows()
{
    auto closeNow = [](TEditorWindow* window) {
        window->EndActivity();
        QPointer<QMdiSubWindow> sub = window->SubWindow();
        if (!sub)
            return;
        sub->close();
        // The model behind the window goes next: it must not paint again.
        if (sub)
            delete sub.data();
    };
    if (systemLayerWindow_)
        closeNow(systemLayerWindow_);
    while (!diagramWindows_.empty()) {
        TEditorWindow* last = diagramWindows_.back();
        closeNow(last);
        // A window that did not go is forgotten all the same.
        if (!diagramWindows_.empty() && diagramWindows_.back() == last)
            editorGone(last);
    }
}

// ---------------------------------------------------------------- project

void TMainForm::ProjectClosed()
{
    setWindowTitle(NoProjectCaption());
    setWindowModified(false);
    browser_->ClearProjectTree();
    UpdateMenuItems();
}

void TMainForm::ProjectShown()
{
    setWindowModified(false);
    BuildProjectTree();
    UpdateMenuItems();
}

bool TMainForm::ShowNewProjectDialog(TNewProjectAnswers& answers)
{
    TfrmNewProject dialog(TfrmNewProject::DefaultProjectFolder(), this);
    dialog.exec();
    if (!dialog.Confirmed())
        return false;
    // A typed or proposed folder that does not exist yet is made now; a
    // folder that cannot be made is named by the project writer's message.
    QDir().mkpath(QFileInfo(dialog.TelvoFileName()).absolutePath());
    answers.Title = dialog.Title().toStdString();
    answers.TelvoFileName = dialog.TelvoFileName().toStdString();
    answers.ConnectToRose = dialog.ConnectToRose();
    answers.RoseFileName = dialog.RoseFileName().toStdString();
    return true;
}

void TMainForm::RunProjectWork(std::function<void()> work)
{
    if (projectThread_ || indexThread_)
        return;
    auto error = std::make_shared<std::exception_ptr>();
    projectThread_ = QThread::create([work = std::move(work), error] {
        try {
            work();
        } catch (...) {
            *error = std::current_exception();
        }
    });
    projectThread_->setObjectName("ProjectWorker");
    connect(projectThread_, &QThread::finished, this, [this, error] {
        projectThread_->wait();
        projectThread_->deleteLater();
        projectThread_ = nullptr;
        progress_->hide();
        UpdateMenuItems();
        if (*error)
            Guard([&] { std::rethrow_exception(*error); });
        if (closeWhenIdle_)
            close();
    });
    progress_->setRange(0, 0);
    progress_->show();
    UpdateMenuItems();
    projectThread_->start();
}

std::string TMainForm::AskProjectFileName()
{
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save Project"), qs(workbench_.Folders().Projects.string()),
                                        projectFilter)
        .toStdString();
}

void TMainForm::NewProjectClick() { projects_->NewProject(); }

void TMainForm::OpenProjectClick()
{
    const QString path = AskOpenProjectFileName ? AskOpenProjectFileName(OpenFolder()) : QString();
    if (path.isEmpty())
        return;
    lastOpenFolder_ = QFileInfo(path).absolutePath();
    projects_->OpenProject(path.toStdString());
}

void TMainForm::SaveProjectClick()
{
    projects_->SaveProject();
    SetProjectModified(false);
}
void TMainForm::CloseProjectClick() { projects_->CloseProject(); }

// ---------------------------------------------------------------- start center

void TMainForm::StartCenterClick() { startCenterTimer_->start(); }

void TMainForm::ShowStartCenter()
{
    startCenterTimer_->stop();
    if (startCenter_)
        return;
    auto* dialog = new TfrmStartCenter(qs(StereotypesPath), workbench_.Settings.GetBool("DonotShowInitWindow", false),
                                       this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    startCenter_ = dialog;
    connect(dialog, &QDialog::finished, this, [this, dialog] { Guard([&] { startCenterClosed(dialog); }); });
    dialog->open();
}

void TMainForm::startCenterClosed(TfrmStartCenter* dialog)
{
    TSettings& settings = workbench_.Settings;
    settings.SetBool("DonotShowInitWindow", dialog->DoNotShowAgain());
    StereotypesPath = dialog->StereotypesPath().toStdString();
    settings.SetString("RoseStereotypesPath", StereotypesPath);
    recent_.Save(settings);
    settings.Save();
    if (TUmlToolLink* uml = workbench_.ProjectManager().UmlTool())
        uml->SetStereotypesPath(StereotypesPath);
    // What the user chose runs once the dialog has gone.
    switch (dialog->Choice()) {
    case TfrmStartCenter::TChoice::NewProject:
        QTimer::singleShot(0, this, [this] { Guard([this] { NewProjectClick(); }); });
        break;
    case TfrmStartCenter::TChoice::OpenProject:
        QTimer::singleShot(0, this, [this] { Guard([this] { OpenProjectClick(); }); });
        break;
    case TfrmStartCenter::TChoice::Wizard:
        QTimer::singleShot(0, this, [this] { Guard([this] { WizardClick(); }); });
        break;
    case TfrmStartCenter::TChoice::None:
        break;
    }
}

// ---------------------------------------------------------------- diagrams

void TMainForm::NewDiagramClick()
{
    TFB_Manager& fbm = workbench_.FBManager();
    // The number is used up by the proposal, also when it is cancelled.
    const QString proposal = QStringLiteral("FB_Diagram_") + QString::number(fbm.TakeDiagramNumber());
    TfrmNameDialog dialog(QStringLiteral("New FBDiagram"), QStringLiteral("Please type the name of your FB diagram"),
                          proposal, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.Name();
    TFB_Diagram* diagram = NewDiagramWindow(name, name.toStdString());
    workbench_.UI().UserHint(diagramHint, 3);
    if (projects_->Info().IsOpen())
        AddDiagramNode(diagram);
}

void TMainForm::OpenDiagramClick()
{
    ShowTreeBrowserClick();
    browser_->ExpandDiagramsNode();
    workbench_.UI().ShowMessage("Please double click a FB diagram from the tree browser to open it.");
}

TFB_Diagram* TMainForm::MergeAllDiagrams()
{
    TFB_Manager& fbm = workbench_.FBManager();
    const int n = fbm.TakeDiagramNumber();
    const int m = fbm.TakeDiagramNumber();
    TFB_Diagram* merged = NewDiagramWindow(QStringLiteral("Function Block Network [%1]").arg(m),
                                           "FB_Diagram_" + std::to_string(n));
    if (projects_->Info().IsOpen())
        AddDiagramNode(merged);

    // The records as they are, three to a row.
    std::vector<std::pair<std::string, std::string>> records;
    for (const auto& record : fbm.Instances)
        if (record->Type)
            records.emplace_back(record->Name, record->Type->Name);
    static constexpr int32_t columns[] = {100, 400, 700};
    for (size_t i = 0; i < records.size(); ++i) {
        TFB_Instance* drawn = merged->AddInstance(records[i].first, records[i].second, false, nullptr);
        if (drawn)
            drawn->PlaceAt(columns[i % 3], int32_t(150 + 250 * (i / 3)));
    }
    // Every IPP of the plant: sensors down the left edge, actuators down
    // the right, on the same zoom-1 grid as the instances whatever zoom the
    // window shows the diagram at.
    int32_t sensorY = 50, actuatorY = 50;
    auto place = [merged](TslIPPRef* ipp, int32_t x, int32_t y) {
        if (TslIPP* picture = merged->AddIPPPicture(ipp, x, y)) {
            picture->BaseX = x;
            picture->BaseY = y;
            picture->SetScale(merged->Zoom);
        }
    };
    for (const auto& object : workbench_.SystemLayer().Objects) {
        auto* ipt = dynamic_cast<TslIPT*>(object.get());
        if (!ipt)
            continue;
        for (const auto& ipp : ipt->IPPList) {
            if (ipp->IsActuator()) {
                place(ipp.get(), 824, actuatorY);
                actuatorY += 40;
            } else {
                place(ipp.get(), 10, sensorY);
                sensorY += 40;
            }
        }
    }
    merged->RebuildLines();
    for (TEditorWindow* window : diagramWindows_)
        if (window->Diagram() == merged)
            window->RefreshDiagram();
    return merged;
}

void TMainForm::MergeAllDiagramsClick() { MergeAllDiagrams(); }

void TMainForm::SystemLayerEditClick()
{
    if (systemLayerWindow_ || !factories_.SystemLayerWindow || !projects_->Info().IsOpen())
        return;
    TEditorWindow* window = factories_.SystemLayerWindow(*this);
    if (!window)
        return;
    AddEditorWindow(window);
    QMdiSubWindow* sub = window->SubWindow();
    sub->setGeometry(240, 0, std::max(200, mdi_->viewport()->width() - 240), mdi_->viewport()->height());
    FitIntoDocumentArea(sub);
    sub->show();
    workbench_.UI().UserHint("Append the devices, fieldbuses and process terminators of your plant and connect them.",
                             3);
}

void TMainForm::ShowTreeBrowserClick()
{
    browserDock_->show();
    browserDock_->raise();
}

void TMainForm::MinimizeAllClick()
{
    for (TEditorWindow* window : diagramWindows_)
        window->SubWindow()->showMinimized();
}

void TMainForm::WizardClick()
{
    wizardLine_ = 0;
    workbench_.UI().UserHint(wizardGreeting.toStdString(), 8);
    wizardTimer_->start();
}

void TMainForm::AboutClick()
{
    TfrmAbout about(this);
    about.exec();
}

// ---------------------------------------------------------------- errors

void TMainForm::HandleProgramError(const QString& message)
{
    const std::string text = message.toStdString();
    if (qtUi_)
        qtUi_->ShowError(text);
    else
        workbench_.UI().ShowMessage(text);
    workbench_.UI().UserHint("Programm error occured: " + text, 6);
    log(text);
}

void TMainForm::Guard(const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::exception& e) {
        HandleProgramError(QString::fromUtf8(e.what()));
    } catch (...) {
        HandleProgramError(QStringLiteral("Unknown error"));
    }
}

// ---------------------------------------------------------------- events

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // The width the browser is given while it is shown docked is the one
    // it comes back with.
    if (watched == browserDock_ && event->type() == QEvent::Resize && startUpDone_ && browserDock_->isVisible() &&
        !browserDock_->isFloating())
        browserWidth_ = browserDock_->width();
    return QMainWindow::eventFilter(watched, event);
}

bool TMainForm::event(QEvent* event)
{
    // The hints of menus and buttons go where the other hints go: the
    // project browser's status bar.
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        browser_->SetHintText(tip);
        // Across the main window too, for as long as the mouse is on the
        // item; the last hint comes back afterwards.
        if (tip.isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(tip);
        return true;
    }
    return QMainWindow::event(event);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    // A project being read cannot be closed halfway: the window closes as
    // soon as the reading is over.
    if (projectThread_) {
        closeWhenIdle_ = true;
        event->ignore();
        return;
    }
    closing_ = true;
    browser_->SetClosing(true);
    startCenterTimer_->stop();
    wizardTimer_->stop();
    bool closed = true;
    Guard([&] { closed = projects_->Exit(); });
    if (!closed) {
        // The user stepped back from the saving question: the window and
        // its project stay as they were.
        closing_ = false;
        browser_->SetClosing(false);
        event->ignore();
        return;
    }
    disconnect(mdi_, &QMdiArea::subWindowActivated, this, &TMainForm::subWindowActivated);
    event->accept();
}

} // namespace telvo
