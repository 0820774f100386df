#include "ui/uml/trans_facility_tool.h"

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "systemlayer/system_layer.h"
#include "model/user_interface.h"
#include "ui/editor_window.h"
#include "ui/main_form.h"
#include "ui/project_browser.h"
#include "umlimport/import_builder.h"
#include "umlimport/umbrello_tool.h"
#include "workbench/workbench.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace telvo {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

Qt::CheckState checkOf(uml::TTick tick)
{
    return tick == uml::TTick::Ticked ? Qt::Checked : tick == uml::TTick::Mixed ? Qt::PartiallyChecked : Qt::Unchecked;
}

QRect screenArea()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1280, 1024);
}

} // namespace

QString ShowUmlTool(uml::TUmbrelloTool& tool)
{
    // The button's own look says nothing of the tool: what happened is
    // said in words.
    if (!tool.Connected)
        return QStringLiteral("Umbrello is not connected: it is not installed (%1 is not on the PATH), or no model "
                              "was opened yet.")
            .arg(qs(tool.Program));
    if (tool.ModelFile.empty())
        return QStringLiteral("No UML model is open: connect to one first.");
    if (tool.Showing())
        return QStringLiteral("Umbrello already shows %1.").arg(qs(tool.ModelFile));
    const QRect screen = screenArea();
    tool.Show(0, 0, screen.width(), screen.height() - 40);
    return tool.Showing() ? QStringLiteral("Umbrello shows %1.").arg(qs(tool.ModelFile))
                          : QStringLiteral("Umbrello could not be started.");
}

std::vector<uml::TTransNode*> ClassesDiagramsNeed(const uml::TTransformation& t, const TWorkbench& workbench,
                                                 const uml::TTransNode* ticked)
{
    std::vector<uml::TTransNode*> needed;
    const uml::TTransNode* diagrams = t.Root("Diagrams");
    if (!diagrams)
        return needed;
    const auto within = [](const uml::TTransNode* node, const uml::TTransNode* ancestor) {
        for (; node; node = node->Parent)
            if (node == ancestor)
                return true;
        return false;
    };
    const auto classNamed = [&](const std::string& name) -> uml::TTransNode* {
        for (const auto& root : t.Roots)
            if (t.IsClassRoot(root.get()) && root->Text == name)
                return root.get();
        return nullptr;
    };
    const auto classImporting = [&](const std::string& instance) -> uml::TTransNode* {
        for (const auto& root : t.Roots)
            if (t.IsClassRoot(root.get()))
                if (const uml::TTransNode* imported = root->Child("Imported Instances"))
                    if (imported->Child(instance))
                        return root.get();
        return nullptr;
    };
    const auto add = [&](uml::TTransNode* cls) {
        if (cls && std::find(needed.begin(), needed.end(), cls) == needed.end())
            needed.push_back(cls);
    };
    const TFB_Manager& fbm = workbench.FBManager();
    for (const auto& d : diagrams->Children) {
        // Only the diagram the tick reached, when one was ticked: the node
        // itself, one above it ("Diagrams") or one inside it.
        if (ticked && !within(d.get(), ticked) && !within(ticked, d.get()))
            continue;
        if (const uml::TTransNode* instances = d->Child("Function Block Instances"))
            for (const auto& e : instances->Children) {
                const size_t colon = e->Text.rfind(':');
                const std::string instance = e->Text.substr(0, colon);
                const std::string type = colon == std::string::npos ? std::string() : e->Text.substr(colon + 1);
                // What an earlier import or the library already holds is
                // found without the class.
                if (fbm.FindInstance(instance) || fbm.FindType(type) || workbench.LibraryIndex.FolderListing(type))
                    continue;
                add(classNamed(type));
            }
        if (const uml::TTransNode* ipps = d->Child("IPPs"))
            for (const auto& e : ipps->Children) {
                const std::string ipt = e->Text.substr(0, e->Text.find('.'));
                if (workbench.SystemLayer().FindByName(ipt))
                    continue;
                add(classImporting(ipt));
            }
    }
    return needed;
}

TfrmTransFacilityTool::TfrmTransFacilityTool(TWorkbench& workbench, TMainForm* mainForm, QWidget* parent)
    : QDialog(parent), workbench_(workbench), mainForm_(mainForm), transformation_(workbench.UI())
{
    setObjectName("frmTransFacilityTool");
    setWindowTitle(Caption());
    resize(900, 600);

    auto* tools = new QToolBar(this);
    tools->setObjectName("tbTools");
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const auto add = [&](const char* name, const QString& text, void (TfrmTransFacilityTool::*slot)()) {
        QAction* a = tools->addAction(text, this, slot);
        a->setObjectName(name);
    };
    // The buttons name the tool this program drives: Umbrello.
    tools->addAction(QStringLiteral("Connect To Umbrello"), this, [this] {
                 const QString file = QFileDialog::getOpenFileName(
                     this, QStringLiteral("Connect To Umbrello"), qs(workbench_.ProgramFolder().string()),
                     QStringLiteral("Umbrello model (*.xmi);;All (*)"));
                 if (!file.isEmpty())
                     ConnectToModel(file);
             })
        ->setObjectName("tbConnect");
    add("tbShowHide", QStringLiteral("Show/Hide Umbrello"), &TfrmTransFacilityTool::ShowHide);
    add("tbNewModel", QStringLiteral("New Umbrello Project"), &TfrmTransFacilityTool::NewModel);
    add("tbRefresh", QStringLiteral("Refresh Information"), &TfrmTransFacilityTool::Refresh);

    auto* note = new QLabel(QStringLiteral("*You must have installed Umbrello in order to use this feature."), this);
    note->setObjectName("lbNote");

    tree_ = new QTreeWidget(this);
    tree_->setObjectName("tvTransformation");
    tree_->setHeaderHidden(true);
    tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree_->header()->setStretchLastSection(false);
    messages_ = new QPlainTextEdit(this);
    messages_->setObjectName("mmTransformInfo");
    messages_->setReadOnly(true);
    messages_->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* halves = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("ESS tool information:"), this));
    left->addWidget(tree_, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("CASE tool Transform Information:"), this));
    right->addWidget(messages_, 1);
    // The two halves keep equal width whatever the window's size.
    halves->addLayout(left, 1);
    halves->addLayout(right, 1);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName("btnOK");
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName("btnCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);

    status_ = new QStatusBar(this);
    status_->setObjectName("sbStatus");
    status_->setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tools);
    layout->addWidget(note);
    layout->addLayout(halves, 1);
    layout->addLayout(buttons);
    layout->addWidget(status_);

    connect(ok_, &QPushButton::clicked, this, &TfrmTransFacilityTool::Create);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(tree_, &QTreeWidget::itemChanged, this, &TfrmTransFacilityTool::itemChanged);
}

TfrmTransFacilityTool::~TfrmTransFacilityTool() = default;

uml::TUmbrelloTool& TfrmTransFacilityTool::Tool()
{
    TProject_Manager& project = workbench_.ProjectManager();
    const std::string stereotypes = mainForm_ ? mainForm_->StereotypesPath : std::string("-");
    if (auto* tool = dynamic_cast<uml::TUmbrelloTool*>(&project.EnsureUmlTool(workbench_.UI(), stereotypes)))
        return *tool;
    if (!ownTool_)
        ownTool_ = std::make_unique<uml::TUmbrelloTool>(workbench_.UI(), stereotypes);
    return *ownTool_;
}

void TfrmTransFacilityTool::ConnectToModel(const QString& file)
{
    uml::TUmbrelloTool& tool = Tool();
    tool.Connect();
    tool.OpenModel(file.toStdString());
    Parse();
}

void TfrmTransFacilityTool::NewModel()
{
    uml::TUmbrelloTool& tool = Tool();
    tool.Connect();
    tool.NewModel((workbench_.Folders().UserData / "test_model.xmi").string());
    ShowHide();
}

void TfrmTransFacilityTool::ShowHide()
{
    const QString said = ShowUmlTool(Tool());
    status_->showMessage(said);
}

QString TfrmTransFacilityTool::StatusText() const { return status_->currentMessage(); }

void TfrmTransFacilityTool::Refresh()
{
    uml::TUmbrelloTool& tool = Tool();
    if (tool.ModelFile.empty())
        return;
    tool.Refresh();
    Parse();
}

void TfrmTransFacilityTool::Parse()
{
    transformation_.Parse(Tool().Model);
    QStringList lines;
    for (const std::string& m : transformation_.Messages)
        lines << qs(m);
    messages_->setPlainText(lines.join('\n'));
    fillTree();
}

void TfrmTransFacilityTool::fillTree()
{
    syncing_ = true;
    tree_->clear();
    nodes_.clear();
    std::function<void(QTreeWidgetItem*, uml::TTransNode&)> add = [&](QTreeWidgetItem* parent, uml::TTransNode& n) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
        item->setText(0, qs(n.Text));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, checkOf(n.Tick));
        nodes_.emplace(item, &n);
        for (auto& c : n.Children)
            add(item, *c);
    };
    for (auto& r : transformation_.Roots)
        add(nullptr, *r);
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        tree_->topLevelItem(i)->setExpanded(true);
    syncing_ = false;
}

QTreeWidgetItem* TfrmTransFacilityTool::ItemOf(const uml::TTransNode* node) const
{
    for (const auto& [item, n] : nodes_)
        if (n == node)
            return item;
    return nullptr;
}

void TfrmTransFacilityTool::syncTicks()
{
    syncing_ = true;
    for (const auto& [item, n] : nodes_)
        if (item->checkState(0) != checkOf(n->Tick))
            item->setCheckState(0, checkOf(n->Tick));
    syncing_ = false;
}

void TfrmTransFacilityTool::itemChanged(QTreeWidgetItem* item)
{
    if (syncing_)
        return;
    auto it = nodes_.find(item);
    if (it == nodes_.end())
        return;
    // A click toggles between unticked and ticked, for the node and all
    // below it; the parents follow their children.
    const bool ticked = it->second->Tick != uml::TTick::Ticked;
    transformation_.SetTick(it->second, ticked);
    // A diagram ticked brings the classes its instances and IPPs are made of.
    if (ticked)
        for (uml::TTransNode* cls : ClassesDiagramsNeed(transformation_, workbench_, it->second))
            transformation_.SetTick(cls, true);
    syncTicks();
}

std::vector<std::string> TfrmTransFacilityTool::MissingClasses() const
{
    std::vector<std::string> missing;
    for (const uml::TTransNode* cls : ClassesDiagramsNeed(transformation_, workbench_, nullptr)) {
        const uml::TTransNode* stereotype = cls->Child("Stereotype");
        if ((!stereotype || !stereotype->IsTicked()) &&
            std::find(missing.begin(), missing.end(), cls->Text) == missing.end())
            missing.push_back(cls->Text);
    }
    return missing;
}

void TfrmTransFacilityTool::Create()
{
    // Every interaction diagram is built: one whose classes are left out
    // would come out empty, with a message per instance. One message
    // instead, before anything is made.
    if (const std::vector<std::string> missing = MissingClasses(); !missing.empty()) {
        std::string names;
        for (const std::string& name : missing)
            names += (names.empty() ? "" : ", ") + name;
        workbench_.UI().ShowMessage("The interaction diagrams need the classes " + names +
                                    ": tick them before OK. Nothing was imported.");
        return;
    }
    uml::TUmlImportBuilder builder(workbench_);
    if (!builder.Build(transformation_) || !builder.Commit())
        return;
    if (mainForm_) {
        TEditorWindowFactories& factories = mainForm_->Factories();
        for (TFB_Diagram* diagram : builder.Diagrams) {
            if (!factories.DiagramWindow)
                break;
            const QString caption = "Function Block Diagram (Imported) [" + qs(diagram->Name) + "]";
            if (TEditorWindow* window = factories.DiagramWindow(*mainForm_, *diagram, caption)) {
                mainForm_->AddEditorWindow(window);
                window->SubWindow()->move(230, 90);
                window->SubWindow()->show();
            }
        }
        if (mainForm_->Project().IsOpen()) {
            mainForm_->RefreshApplicationTree();
            mainForm_->RefreshSystemLayerTree();
        }
    }
    accept();
}

void InstallUmlWindows(TEditorWindowFactories& factories)
{
    factories.UmlImportWindow = [](TMainForm& main) {
        auto* window = main.findChild<TfrmTransFacilityTool*>("frmTransFacilityTool");
        TWorkbench& wb = main.Workbench();
        if (!window)
            window = new TfrmTransFacilityTool(wb, &main, &main);
        wb.UI().Log("Connect to ROSE");
        for (const char* hint : {"This is the Transformation Facility Manager utility.",
                                 "TFM, will help you with importing information from Rational's Rose in the Telvo zoze.",
                                 "Classes, objects and information from interaction diagrams will be imported and "
                                 "transformed automatically to equivalent function block types.",
                                 "The transformation follows rules, that are explained in the documentation found in "
                                 "our web site."})
            wb.UI().UserHint(hint, 3);
        window->exec();
    };
    factories.ToggleUmlTool = [](TMainForm& main) {
        auto* tool = dynamic_cast<uml::TUmbrelloTool*>(main.Workbench().ProjectManager().UmlTool());
        if (!tool) {
            main.ShowStatus(QStringLiteral("No UML model is open: open a project tied to one, or use the "
                                           "Transformation Facility Manager."));
            return;
        }
        main.ShowStatus(ShowUmlTool(*tool));
    };
}

void ConnectUmlRequirements(TMainForm& main, TfrmProjectBrowser& browser)
{
    QObject::connect(&browser, &TfrmProjectBrowser::requirementRequested, &main, [&main](const QString&, const QString&) {
        auto* tool = dynamic_cast<uml::TUmbrelloTool*>(main.Workbench().ProjectManager().UmlTool());
        if (!tool)
            return;
        if (!tool->Connected)
            tool->Connect();
        const QRect screen = screenArea();
        tool->Show(0, 0, screen.width(), screen.height() - 40);
    });
    QObject::connect(&browser, &TfrmProjectBrowser::addUmlElementRequested, &main,
                     [&main, &browser](const QString& element, const QString& name) {
                         const std::string file = main.Workbench().ProjectManager().UmlModelFile;
                         if (file.empty())
                             return;
                         if (element == QStringLiteral("Use Case"))
                             uml::AddUseCase(file, "Main", name.toStdString());
                         else if (element == QStringLiteral("Use Case Diagram"))
                             uml::AddUseCaseDiagram(file, name.toStdString());
                         else
                             uml::AddInteractionDiagram(file, name.toStdString());
                         browser.RefreshRequirementsTree();
                     });
}

} // namespace telvo
