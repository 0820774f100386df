#include "ui/typeeditor/type_editor.h"
#include "ui/typeeditor/type_editor_p.h"

#include "model/fb_type.h"
#include "ui/diagram/diagram_renderer.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "ui/mainwindow/main_form.h"
#include "ui/qt_user_interface.h"
#include "ui/typeeditor/ecc_page.h"
#include "ui/typeeditor/service_page.h"
#include "ui/typeeditor/type_picture.h"
#include "ui/typeeditor/type_snapshot.h"
#include "workbench/workbench.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

#include <signal.h>
#include <unistd.h>

#include <algorithm>

namespace telvo {

namespace fs = std::filesystem;

namespace {

const char* const kTabCaptions[] = {"Information", "XML spec", "ECC",  "Composition", "Structure",
                                    "Algorithms",  "Test",     "Compile", "Service"};

} // namespace

// ===========================================================================
// Construction

TfrmDesignFBType::TfrmDesignFBType(TWorkbench& workbench, TMainForm* main, QWidget* parent)
    : QWidget(parent), workbench_(workbench), main_(main)
{
    setObjectName("frmDesignFBType");
    setWindowTitle(QStringLiteral("FB Type Editor"));
    // Every undo step writes the type through the file writer, which syncs
    // to disk; in memory-backed storage that costs nothing.
    std::error_code ec;
    scratch_ = fs::is_directory("/dev/shm", ec)
                   ? std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/telvo-type-editor-XXXXXX"))
                   : std::make_unique<QTemporaryDir>();
    if (!scratch_->isValid())
        scratch_ = std::make_unique<QTemporaryDir>();
    snapshots_ = std::make_unique<TTypeSnapshots>(fs::path(ss(scratch_->path())));
    undo_ = new QUndoStack(this);
    openFolder_ = qs(workbench_.ProgramFolder().string());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolBars();
    layout->addWidget(toolBar_);
    layout->addWidget(tabBar_);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("Splitter1");
    picture_ = new TInterfacePicture(splitter_);
    pages_ = new QStackedWidget(splitter_);
    pages_->setObjectName("pcTypeEditor");
    splitter_->addWidget(picture_);
    splitter_->addWidget(pages_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    connect(splitter_, &QSplitter::splitterMoved, this, [this] {
        if (picture_->isVisible())
            pageWidth_ = pages_->width();
    });
    layout->addWidget(splitter_, 1);
    status_ = new QLabel(this);
    status_->setObjectName("StatusBar1");
    status_->setFrameShape(QFrame::StyledPanel);
    status_->setContentsMargins(4, 1, 4, 1);
    layout->addWidget(status_);

    // The pages share one stack, which is as wide as its widest page would
    // want: each page scrolls instead, so that the tab area starts at its
    // own width and the picture has the rest.
    auto addPage = [this](QWidget* page) {
        auto* area = new QScrollArea;
        area->setObjectName(page->objectName() + QStringLiteral("Scroll"));
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(true);
        area->setWidget(page);
        pages_->addWidget(area);
    };
    addPage(buildInformationPage());
    addPage(buildXmlPage());
    ecc_ = new TEccPage(*this);
    addPage(ecc_);
    addPage(buildCompositionPage());
    addPage(buildStructurePage());
    addPage(buildAlgorithmsPage());
    auto* test = new QWidget; // never shown: "Test" only sends its hint
    test->setObjectName("tsTest");
    addPage(test);
    addPage(buildCompilePage());
    service_ = new TServicePage(*this);
    addPage(service_);

    connect(undo_, &QUndoStack::cleanChanged, this, [this] { setCaption(); });
    connect(qApp, &QApplication::focusChanged, this, [this] { lastMergeKey_.clear(); });
    qApp->installEventFilter(this);
    updateEnabling();
    resize(1100, 700);

    hint("Here you can create, a new Function Block type.", 3);
    hint("Your type can be Basic or Composite.", 5);
    hint("You can also make your type based from another in the library.", 7);
}

TfrmDesignFBType::~TfrmDesignFBType()
{
    qApp->removeEventFilter(this);
    // Focus moves while the child widgets go, after this object's fields.
    disconnect(qApp, nullptr, this, nullptr);
    if (compiler_ && compiler_->state() != QProcess::NotRunning) {
        ::kill(-static_cast<pid_t>(compiler_->processId()), SIGKILL);
        compiler_->waitForFinished(5000);
    }
    // The embedded diagram editor shows the working type's network: it goes
    // before the type does.
    delete composition_;
    composition_ = nullptr;
    undo_->clear();
}

void TfrmDesignFBType::buildToolBars()
{
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName("ToolBar1");
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* open = toolBar_->addAction(QStringLiteral("Open"), this, [this] { OpenClick(); });
    open->setObjectName("tbTypeOpen");
    acSave_ = toolBar_->addAction(QStringLiteral("Save"), this, [this] { Save(); });
    acSave_->setObjectName("tbTypeSave");
    acSave_->setShortcut(QKeySequence::Save);
    acSave_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(acSave_);
    auto* newButton = new QToolButton(toolBar_);
    newButton->setObjectName("tbTypeNew");
    newButton->setText(QStringLiteral("New Function Block Type"));
    newButton->setPopupMode(QToolButton::InstantPopup);
    auto* newMenu = new QMenu(newButton);
    newMenu->setObjectName("pmTypeNew");
    newMenu->addAction(QStringLiteral("New Basic FB"), this, [this] { NewBasicClick(); })->setObjectName("mnuNewBasicFB");
    newMenu->addAction(QStringLiteral("New Composite FB"), this, [this] { NewCompositeClick(); })
        ->setObjectName("mnuNewCompositeFB");
    newMenu->addAction(QStringLiteral("New Based on..."), this, [this] { NewBasedOnClick(); })
        ->setObjectName("mnuNewBasedOn");
    newButton->setMenu(newMenu);
    toolBar_->addWidget(newButton);
    acSaveAs_ = toolBar_->addAction(QStringLiteral("Save As..."), this, [this] { SaveAs(); });
    acSaveAs_->setObjectName("tbTypeSaveAs");
    // A tool button takes its caption from the action's icon text, which
    // drops a trailing "...": the caption is given as it is meant.
    acSaveAs_->setIconText(QStringLiteral("Save As..."));
    toolBar_->addSeparator();
    // Edit: undo and redo of the window's own steps.
    auto* editButton = new QToolButton(toolBar_);
    editButton->setObjectName("tbTypeEdit");
    editButton->setText(QStringLiteral("Edit"));
    editButton->setPopupMode(QToolButton::InstantPopup);
    auto* editMenu = new QMenu(editButton);
    editMenu->setObjectName("mnuTypeEdit");
    QAction* undo = undo_->createUndoAction(editMenu, QStringLiteral("&Undo"));
    undo->setObjectName("acUndo");
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = undo_->createRedoAction(editMenu, QStringLiteral("&Redo"));
    redo->setObjectName("acRedo");
    // Both redo keys, as in the diagram editor.
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    editMenu->addAction(undo);
    editMenu->addAction(redo);
    editButton->setMenu(editMenu);
    toolBar_->addWidget(editButton);

    tabBar_ = new QWidget(this);
    tabBar_->setObjectName("ToolBar2");
    auto* row = new QHBoxLayout(tabBar_);
    row->setContentsMargins(4, 2, 4, 2);
    tabButtons_ = new QButtonGroup(this);
    tabButtons_->setExclusive(true);
    int index = 0;
    for (const char* caption : kTabCaptions) {
        auto* b = new QToolButton(tabBar_);
        b->setText(QString::fromLatin1(caption));
        b->setObjectName(QStringLiteral("rb") + QString::fromLatin1(caption).remove(' '));
        b->setCheckable(true);
        b->setAutoRaise(true);
        tabButtons_->addButton(b, index++);
        row->addWidget(b);
    }
    row->addStretch(1);
    tabButtons_->button(0)->setChecked(true);
    connect(tabButtons_, &QButtonGroup::idClicked, this,
            [this](int id) { ShowTab(QString::fromLatin1(kTabCaptions[id])); });
    tabBar_->hide(); // shown once a type is loaded
}

QWidget* TfrmDesignFBType::buildCompositionPage()
{
    auto* page = new QWidget;
    page->setObjectName("tsComposition");
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(0, 0, 0, 0);
    composition_ = new TfrmDesignFBDiagram(workbench_, main_, page);
    composition_->setObjectName("frmCompositeDiagram");
    composition_->SetCompositeNetwork(true);
    v->addWidget(composition_);
    composition_->OnNewInterfaceEventInput = [this](TFBEventType*) { compositeInterfaceAdded(); };
    composition_->OnNewInterfaceEventOutput = [this](TFBEventType*) { compositeInterfaceAdded(); };
    composition_->OnNewInterfaceDataInput = [this](TFBDataMemberType*) { compositeInterfaceAdded(); };
    composition_->OnNewInterfaceDataOutput = [this](TFBDataMemberType*) { compositeInterfaceAdded(); };
    // The diagram editor's own commands change the network; each of them is
    // recorded once it has run (connections made after the editor's own run
    // after them).
    QTimer::singleShot(0, this, [this] {
        if (!composition_)
            return;
        for (QAbstractButton* b : composition_->findChildren<QAbstractButton*>())
            connect(b, &QAbstractButton::clicked, this, [this] { Commit(QStringLiteral("Edit the network")); });
        if (QMenu* menu = composition_->ContextMenu())
            connect(menu, &QMenu::triggered, this, [this] { Commit(QStringLiteral("Edit the network")); });
    });
    return page;
}

// ===========================================================================
// Pages

void TfrmDesignFBType::ShowTab(const QString& caption)
{
    int index = -1;
    for (int i = 0; i < 9; ++i)
        if (caption == QLatin1String(kTabCaptions[i]))
            index = i;
    if (index < 0)
        return;
    if (index == 6) {
        // Testing has no page: the button only says so, and the page shown
        // stays (with its button down).
        hint("Testing the Function Block type, is not implemented yet!", 5);
        tabButtons_->button(pages_->currentIndex())->setChecked(true);
        return;
    }
    tabButtons_->button(index)->setChecked(true);
    const bool composition = index == 3;
    picture_->setVisible(!composition);
    pages_->setCurrentIndex(index);
    if (!composition) {
        const int total = splitter_->width();
        splitter_->setSizes({std::max(0, total - pageWidth_), pageWidth_});
    }
    switch (index) {
    case 0:
        hint("Here you can edit the properties of your Function Block type!", 7);
        break;
    case 1: {
        // The text is the working type as it would be written now.
        filling_ = true;
        if (type_)
            xmlView_->setPlainText(qs(TypeText()));
        btnApplyXml_->setEnabled(false);
        filling_ = false;
        hint("On this window, you can write your specification in XML! When you finish, press the button Apply "
             "Changes.",
             7);
        break;
    }
    case 2:
        if (ecc_)
            QTimer::singleShot(0, ecc_, [this] { ecc_->ScrollHome(); });
        hint("Design the ECC diagram of your Function Block type!", 7);
        break;
    case 3:
        if (composition_)
            composition_->RefreshDiagram();
        hint("Here you can design the internal Function Block network of your composite Function Block.", 4);
        hint("With the green color are events and with the red color are data of the interface of the composite "
             "Function Block.",
             3);
        hint("Make connections from the internal events or data to the interface.", 7);
        break;
    case 4:
        fillStructure();
        hint("Here you can view the structure of your Function Block type.", 7);
        break;
    case 5:
        fillAlgorithmNameLists();
        hint("Here you can view and edit the algorithms that your Function Block type will execute.", 5);
        hint("First you can select or add a new algorithm. Then you can write it on ST, Ladder, or choose from a "
             "Function Block network diagram. You can also write it in any language like Java or C++!",
             7);
        break;
    case 7:
        // Compiling works: the hint says how, not that it would not.
        hint("Create the Pascal code of your Function Block type, then compile it into a library.", 5);
        break;
    case 8:
        if (service_)
            service_->Repaint();
        hint("Here you can view and edit the services that your Function Block type will implement.", 5);
        hint("You must give names for the left and right interfaces and then you can add transactions for your "
             "service.",
             7);
        break;
    default:
        break;
    }
}

QString TfrmDesignFBType::CurrentTab() const
{
    const int i = pages_->currentIndex();
    return i >= 0 && i < 9 ? QString::fromLatin1(kTabCaptions[i]) : QString();
}

QAbstractButton* TfrmDesignFBType::TabButton(const QString& caption) const
{
    for (int i = 0; i < 9; ++i)
        if (caption == QLatin1String(kTabCaptions[i]))
            return tabButtons_->button(i);
    return nullptr;
}

void TfrmDesignFBType::updateEnabling()
{
    const bool loaded = type_ != nullptr;
    acSave_->setEnabled(loaded);
    acSaveAs_->setEnabled(loaded);
    const bool composite = loaded && type_->Composite;
    if (QAbstractButton* b = TabButton(QStringLiteral("Composition")))
        b->setEnabled(composite);
    if (QAbstractButton* b = TabButton(QStringLiteral("ECC")))
        b->setEnabled(loaded && !composite);
    btnCreateCode_->setEnabled(loaded && !composite);
}

void TfrmDesignFBType::setCaption()
{
    QString caption = fileName_.isEmpty() ? QStringLiteral("FB Type Editor")
                                          : QStringLiteral("FB Type Editor [ ") + fileName_ + QStringLiteral(" ]");
    if (type_ && !undo_->isClean())
        caption += QStringLiteral(" *");
    setWindowTitle(caption);
    if (subWindow_)
        subWindow_->setWindowTitle(caption);
}

void TfrmDesignFBType::ShowMessage(const std::string& text) { workbench_.UI().ShowWarning(text); }
bool TfrmDesignFBType::AskYesNo(const std::string& text) { return workbench_.UI().AskYesNo(text); }

void TfrmDesignFBType::hint(const std::string& text, int gesture) { workbench_.UI().UserHint(text, gesture); }

void TfrmDesignFBType::setStatus(const QString& text) { status_->setText(text); }
QString TfrmDesignFBType::StatusText() const { return status_->text(); }

// ===========================================================================
// Filling the pages from the working type

void TfrmDesignFBType::fillAll()
{
    if (ecc_)
        ecc_->TypeLoaded();
    if (service_)
        service_->Fill();
    fillInformation();
    for (int g = 0; g <= static_cast<int>(TGrid::Algorithms); ++g)
        fillGrid(static_cast<TGrid>(g));
    fillWithLists();
    fillAlgorithmNameLists();
    if (count(TGrid::Algorithms) > 0)
        SelectAlgorithm(std::max(0, std::min(Grid(TGrid::Algorithms)->currentRow(), count(TGrid::Algorithms) - 1)));
    else
        SelectAlgorithm(-1);
    if (pages_->currentIndex() == 4)
        fillStructure();
    picture_->Repaint();
    if (composition_ && type_)
        composition_->PaintDiagram();
}

// ===========================================================================
// Window

void TfrmDesignFBType::closeEvent(QCloseEvent* event)
{
    if (type_ && !undo_->isClean()) {
        const auto answer =
            TQtUserInterface::AskYesNoCancel(this, qs("The FB type " + type_->Name + " has changed. Save it before closing?"));
        if (answer == TAnswer::Cancel || (answer == TAnswer::Yes && !Save())) {
            event->ignore();
            return;
        }
    }
    if (Compiling())
        CancelCompileClick();
    event->accept();
}

bool TfrmDesignFBType::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    const bool mine = widget && (widget == this || isAncestorOf(widget));
    if (!mine)
        return false;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        // Undo and redo are the window's, also inside text fields.
        auto* key = static_cast<QKeyEvent*>(event);
        const bool undoKey = key->matches(QKeySequence::Undo);
        const bool redoKey = key->matches(QKeySequence::Redo) ||
                             key->keyCombination() == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z) ||
                             key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y);
        if (!undoKey && !redoKey)
            return false;
        event->accept();
        if (event->type() == QEvent::KeyPress) {
            Commit(QStringLiteral("Edit"));
            if (undoKey)
                undo_->undo();
            else
                undo_->redo();
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
    case QEvent::KeyRelease:
        // Whatever the embedded diagram editor did with the mouse or keys is
        // recorded once its handlers have run.
        if (composition_ && composition_->isAncestorOf(widget) && !checkpointQueued_) {
            checkpointQueued_ = true;
            QTimer::singleShot(0, this, [this] {
                checkpointQueued_ = false;
                Commit(QStringLiteral("Edit the network"));
            });
        }
        return false;
    default:
        return false;
    }
}

// ===========================================================================

TEditorWindow* OpenTypeEditorWindow(TMainForm& main, const QString& command)
{
    auto* editor = new TfrmDesignFBType(main.Workbench(), &main);
    auto* sub = new QMdiSubWindow;
    sub->setWidget(editor);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    editor->SetSubWindow(sub);
    main.MdiArea()->addSubWindow(sub);
    sub->resize(1100, 720);
    sub->show();
    if (command == QLatin1String("New Basic"))
        editor->NewBasicClick();
    else if (command == QLatin1String("New Composite"))
        editor->NewCompositeClick();
    else if (command == QLatin1String("New Based on..."))
        editor->NewBasedOnClick();
    else if (command == QLatin1String("Open..."))
        editor->OpenClick();
    else if (!command.isEmpty() && editor->LoadTypeFile(command))
        editor->ShowTab(QStringLiteral("Information"));
    return editor;
}

} // namespace telvo
