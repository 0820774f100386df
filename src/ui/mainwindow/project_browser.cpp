#include "ui/mainwindow/project_browser.h"
#include "umlimport/umbrello_tool.h"

#include "model/fb_manager.h"
#include "ui/image_list.h"
#include "ui/mainwindow/name_dialog.h"
#include "workbench/workbench.h"

#include <QHelpEvent>
#include <QHeaderView>
#include <QStyle>
#include <QToolTip>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

namespace telvo {

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

template <typename T> bool listHolds(const TOwnedList<T>& list, const void* object)
{
    return std::any_of(list.begin(), list.end(), [object](const auto& p) { return p.get() == object; });
}

// The name of an IPP's owner as the tree shows it.
QString ownerName(const TslIPPRef* ipp)
{
    if (!ipp)
        return {};
    return ipp->Owner ? qs(ipp->Owner->Name) : QStringLiteral("\"Unspecified\"");
}

QString ippText(const TslIPPRef* ipp)
{
    return ipp ? ownerName(ipp) + QLatin1Char('.') + qs(ipp->Name) : QString();
}

template <typename Port> QString endText(const TFB_InstanceRef* record, const Port* port)
{
    return (record ? qs(record->Name) : QString()) + QLatin1Char('.') + (port ? qs(port->Name()) : QString());
}

const QString pathSeparator = QStringLiteral("\x1f");

// The texts from `branch` down to `node`, joined.
QString relativePath(const QTreeWidgetItem* branch, const QTreeWidgetItem* node)
{
    QStringList parts;
    for (const QTreeWidgetItem* n = node; n && n != branch; n = n->parent())
        parts.prepend(n->text(0));
    return parts.join(pathSeparator);
}

void collectExpanded(const QTreeWidgetItem* branch, const QTreeWidgetItem* node, QSet<QString>& out)
{
    for (int i = 0; i < node->childCount(); ++i) {
        const QTreeWidgetItem* child = node->child(i);
        if (child->isExpanded())
            out.insert(relativePath(branch, child));
        collectExpanded(branch, child, out);
    }
}

void restoreExpanded(const QTreeWidgetItem* branch, QTreeWidgetItem* node, const QSet<QString>& open)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (open.contains(relativePath(branch, child)))
            child->setExpanded(true);
        restoreExpanded(branch, child, open);
    }
}

void dumpNode(const QTreeWidgetItem* node, int depth, QStringList& out)
{
    out << QString(depth * 2, QLatin1Char(' ')) + node->text(0) + QStringLiteral(" [") +
               QString::number(node->data(0, TfrmProjectBrowser::IconRole).toInt()) + QLatin1Char(']');
    for (int i = 0; i < node->childCount(); ++i)
        dumpNode(node->child(i), depth + 1, out);
}

} // namespace

TfrmProjectBrowser::TfrmProjectBrowser(TWorkbench& workbench, QWidget* parent)
    : QWidget(parent), workbench_(workbench)
{
    setObjectName("frmProjectBrowser");
    setWindowTitle(Caption());

    tree_ = new QTreeWidget(this);
    tree_->setObjectName("tvProjectTree");
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setIconSize(QSize(16, 16));
    tree_->setUniformRowHeights(true);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    tree_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    // The column is sized once after each rebuild: sizing it to its
    // contents on every insertion makes a large tree slow to build.
    tree_->header()->setStretchLastSection(true);
    tree_->viewport()->installEventFilter(this);

    description_ = new QPlainTextEdit(this);
    description_->setObjectName("mmDescription");
    description_->setPlaceholderText(QStringLiteral("Description"));
    description_->setEnabled(false);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(tree_);
    split->addWidget(description_);
    split->setStretchFactor(0, 5);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);

    status_ = new QStatusBar(this);
    status_->setObjectName("sbProjectBrowser");
    status_->setSizeGripEnabled(false);
    hintPanel_ = new QLabel(status_);
    hintPanel_->setObjectName("lbHint");
    hintPanel_->setMinimumWidth(40);
    hintPanel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->addWidget(hintPanel_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 0);
    layout->setSpacing(2);
    layout->addWidget(split, 1);
    layout->addWidget(status_);

    popup_ = new QMenu(this);
    popup_->setObjectName("pmTree");
    acEdit_ = popup_->addAction(QStringLiteral("Edit"), this, [this] { EditNode(popupNode_); });
    acEdit_->setObjectName("pmEdit");
    acDelete_ = popup_->addAction(QStringLiteral("Delete"), this, [this] { DeleteNode(popupNode_); });
    acDelete_->setObjectName("pmDelete");
    QMenu* add = popup_->addMenu(QStringLiteral("Add"));
    add->setObjectName("pmAdd");
    umlAddActions_ << add->addAction(QStringLiteral("Use Case"), this, [this] {
        addUmlElement(QStringLiteral("Use Case"), QStringLiteral("Use Case"), QStringLiteral("New Use Case Name:"));
    });
    umlAddActions_ << add->addAction(QStringLiteral("Use Case Diagram"), this, [this] {
        addUmlElement(QStringLiteral("Use Case Diagram"), QStringLiteral("Use Case Diagram"),
                      QStringLiteral("New Use Case Diagram Name:"));
    });
    umlAddActions_ << add->addAction(QStringLiteral("Interaction Diagram"), this, [this] {
        addUmlElement(QStringLiteral("Interaction Diagram"), QStringLiteral("Interaction Diagram"),
                      QStringLiteral("New Interaction Diagram Name:"));
    });
    // Diagrams are made from the FB Diagram menu; the entry is kept where
    // users look for it.
    add->addAction(QStringLiteral("Function Block Diagram"))->setObjectName("pmAddFBDiagram");

    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) { bindDescription(node); });
    connect(tree_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node) { SelectNode(node); });
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* node) { EditNode(node); });
    connect(tree_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* node) {
        if (!building_ && KindOf(node) == TNodeKind::Diagram)
            RenameNode(node, node->text(0));
    });
    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) {
        if (node && (node == requirements_ || node == useCases_ || node == actors_ || node == useCaseDiagrams_))
            RefreshRequirementsTree();
    });
    connect(tree_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* node = tree_->itemAt(at);
        if (node)
            tree_->setCurrentItem(node);
        UpdatePopup(node);
        popup_->popup(tree_->viewport()->mapToGlobal(at));
    });
    connect(description_, &QPlainTextEdit::textChanged, this, [this] { descriptionEdited(); });
    UpdatePopup(nullptr);
}

QString TfrmProjectBrowser::NodeToolTip(const QTreeWidgetItem* node) const
{
    if (!node)
        return {};
    const QRect row = tree_->visualItemRect(node);
    if (!row.isValid())
        return {};
    // The text starts after the icon and the view's margins; what does not
    // fit before the viewport's edge is elided.
    const int textLeft = row.left() + tree_->iconSize().width() + 2 * tree_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4;
    const int needed = tree_->fontMetrics().horizontalAdvance(node->text(0));
    return textLeft + needed > tree_->viewport()->width() ? node->text(0) : QString();
}

bool TfrmProjectBrowser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tree_->viewport() && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = NodeToolTip(tree_->itemAt(help->pos()));
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, tree_->viewport());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmProjectBrowser::SetHintText(const QString& text) { hintPanel_->setText(text); }
QString TfrmProjectBrowser::HintText() const { return hintPanel_->text(); }

void TfrmProjectBrowser::log(const std::string& text) const { workbench_.UI().Log(text); }

QTreeWidgetItem* TfrmProjectBrowser::addNode(QTreeWidgetItem* parent, const QString& text, int image, TNodeKind kind,
                                             const void* object)
{
    auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    node->setText(0, text);
    node->setIcon(0, MainImage(image));
    node->setData(0, IconRole, image);
    node->setData(0, KindRole, static_cast<int>(kind));
    node->setData(0, ObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(object)));
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (kind == TNodeKind::Diagram)
        flags |= Qt::ItemIsEditable; // diagram nodes only are renamed in place
    node->setFlags(flags);
    return node;
}

template <typename Fill> void TfrmProjectBrowser::rebuildBranch(QTreeWidgetItem* branch, Fill&& fill)
{
    if (!branch)
        return;
    QSet<QString> open;
    collectExpanded(branch, branch, open);
    const bool wasBuilding = building_;
    building_ = true;
    QTreeWidgetItem* current = tree_->currentItem();
    for (QTreeWidgetItem* n = current; n; n = n->parent())
        if (n == branch && current != branch) {
            tree_->setCurrentItem(branch);
            break;
        }
    qDeleteAll(branch->takeChildren());
    fill();
    restoreExpanded(branch, branch, open);
    building_ = wasBuilding;
}

void TfrmProjectBrowser::BuildProjectTree(const TProjectInfo& project)
{
    project_ = project;
    building_ = true;
    tree_->clear();
    bindDescription(nullptr);
    root_ = requirements_ = useCaseDiagrams_ = actors_ = useCases_ = interactionDiagrams_ = nullptr;

    root_ = addNode(nullptr, qs(project.Name), imgProject);
    if (project.HasUmlModel) {
        requirements_ = addNode(root_, QStringLiteral("ROVEV Requirements"), imgUseCaseDiagram);
        useCaseDiagrams_ = addNode(requirements_, QStringLiteral("Use Case Diagrams"), imgUseCaseDiagram);
        actors_ = addNode(requirements_, QStringLiteral("Actors"), imgActor);
        useCases_ = addNode(requirements_, QStringLiteral("Use Cases"), imgUseCase);
        interactionDiagrams_ = addNode(requirements_, QStringLiteral("Interaction diagrams"), imgInteractionDiagram);
    }
    QTreeWidgetItem* application = addNode(root_, QStringLiteral("Application"), imgApplication);
    ipps_ = addNode(application, QStringLiteral("Industrial Process Parameters"), imgIPP);
    QTreeWidgetItem* fbLayer = addNode(application, QStringLiteral("Function Block Layer"), imgFBDiagram);
    diagrams_ = addNode(fbLayer, QStringLiteral("Function Block Diagrams"), imgFBDiagram);
    instances_ = addNode(fbLayer, QStringLiteral("Function Block Instances"), imgFBInstance);
    QTreeWidgetItem* connections = addNode(application, QStringLiteral("Connections"), imgConnection);
    eventConns_ = addNode(connections, QStringLiteral("Event connections"), imgConnection);
    dataConns_ = addNode(connections, QStringLiteral("Data connections"), imgConnection);
    fbIppConns_ = addNode(connections, QStringLiteral("FB to IPP connections"), imgConnection);
    ippIppConns_ = addNode(connections, QStringLiteral("IPP to IPP Connections"), imgConnection);
    QTreeWidgetItem* systemLayer = addNode(root_, QStringLiteral("System Layer"), imgSystemLayer);
    objects_ = addNode(systemLayer, QStringLiteral("Objects"), imgSystemObject);
    slConnections_ = addNode(systemLayer, QStringLiteral("Connections"), imgConnection);

    fillIppsNode();
    fillDiagramsNode();
    fillInstancesNode();
    fillConnectionsNodes();
    fillObjectsNode();
    fillSystemConnectionsNode();
    root_->setExpanded(true);
    building_ = false;
    UpdatePopup(nullptr);
    log("Preparing Project tree view");
}

void TfrmProjectBrowser::ClearProjectTree()
{
    building_ = true;
    bindDescription(nullptr);
    delete root_;
    root_ = requirements_ = useCaseDiagrams_ = actors_ = useCases_ = interactionDiagrams_ = nullptr;
    ipps_ = diagrams_ = instances_ = eventConns_ = dataConns_ = fbIppConns_ = ippIppConns_ = nullptr;
    objects_ = slConnections_ = nullptr;
    project_ = {};
    building_ = false;
    UpdatePopup(nullptr);
}

void TfrmProjectBrowser::fillIppsNode()
{
    for (const auto& object : workbench_.SystemLayer().Objects) {
        auto* ipt = dynamic_cast<TslIPT*>(object.get());
        if (!ipt)
            continue;
        for (const auto& ipp : ipt->IPPList)
            addNode(ipps_, ippText(ipp.get()), imgIPP, TNodeKind::Ipp, ipp.get());
    }
}

void TfrmProjectBrowser::fillDiagramsNode()
{
    for (const auto& diagram : workbench_.FBManager().Diagrams)
        addNode(diagrams_, qs(diagram->Name), imgFBInstance, TNodeKind::Diagram, diagram.get());
}

void TfrmProjectBrowser::fillInstancesNode()
{
    for (const auto& record : workbench_.FBManager().Instances)
        addNode(instances_,
                qs(record->Name) + QStringLiteral(" (") + (record->Type ? qs(record->Type->Name) : QString()) +
                    QLatin1Char(')'),
                imgFBInstance, TNodeKind::InstanceRecord, record.get());
}

void TfrmProjectBrowser::fillConnectionsNodes()
{
    const TFB_Manager& fbm = workbench_.FBManager();
    const QString arrow = QStringLiteral(" -> ");
    for (const auto& c : fbm.EventConns) {
        if (!c->SourceInstance || !c->SourcePort)
            continue;
        addNode(eventConns_, endText(c->SourceInstance, c->SourcePort) + arrow + endText(c->DestInstance, c->DestPort),
                imgConnection);
    }
    for (const auto& c : fbm.DataConns)
        addNode(dataConns_, endText(c->SourceInstance, c->SourcePort) + arrow + endText(c->DestInstance, c->DestPort),
                imgConnection);
    for (const auto& c : fbm.IPPFBConns) {
        const QString port = c->IPP && c->IPP->IsEventIPP ? (c->EventPort ? qs(c->EventPort->Name()) : QString())
                                                           : (c->DataPort ? qs(c->DataPort->Name()) : QString());
        const QString instance = c->Instance ? qs(c->Instance->Name) : QString();
        addNode(fbIppConns_, instance + QLatin1Char('.') + port + arrow + ippText(c->IPP), imgConnection);
    }
    for (const auto& c : fbm.IPPtoIPPConns)
        addNode(ippIppConns_, ippText(c->SourceIPP) + arrow + ippText(c->DestIPP), imgConnection);
}

void TfrmProjectBrowser::addObjectNode(TslObject* object)
{
    QTreeWidgetItem* node = addNode(objects_, qs(object->Name), imgSystemObject, TNodeKind::SystemObject, object);
    if (auto* ipt = dynamic_cast<TslIPT*>(object)) {
        for (const auto& ipp : ipt->IPPList)
            addNode(node, qs(ipp->Name), imgIPP, TNodeKind::Ipp, ipp.get());
    } else if (auto* device = dynamic_cast<TslDevice*>(object); device && !device->InternalDeviceDiagramFilename.empty()) {
        addNode(node, QStringLiteral("Internal Diagram: ") + qs(device->InternalDeviceDiagramFilename), imgFBDiagram,
                TNodeKind::InternalDiagram, device);
    }
}

void TfrmProjectBrowser::fillObjectsNode()
{
    for (const auto& object : workbench_.SystemLayer().Objects)
        addObjectNode(object.get());
}

void TfrmProjectBrowser::fillSystemConnectionsNode()
{
    for (const auto& connection : workbench_.SystemLayer().Connections)
        addNode(slConnections_, qs(connection->Name), imgConnection);
}

void TfrmProjectBrowser::RefreshApplicationTree()
{
    if (!root_)
        return;
    rebuildBranch(ipps_, [this] { fillIppsNode(); });
    rebuildBranch(diagrams_, [this] { fillDiagramsNode(); });
    RefreshInstancesTree();
    RefreshConnectionsTree();
    log("Update application tree node");
}

void TfrmProjectBrowser::RefreshInstancesTree()
{
    if (!root_)
        return;
    rebuildBranch(instances_, [this] { fillInstancesNode(); });
}

void TfrmProjectBrowser::RefreshConnectionsTree()
{
    if (!root_ || closing_)
        return;
    QTreeWidgetItem* connections = eventConns_->parent();
    rebuildBranch(connections, [this, connections] {
        // The four list nodes stay; only what is under them is made anew.
        eventConns_ = addNode(connections, QStringLiteral("Event connections"), imgConnection);
        dataConns_ = addNode(connections, QStringLiteral("Data connections"), imgConnection);
        fbIppConns_ = addNode(connections, QStringLiteral("FB to IPP connections"), imgConnection);
        ippIppConns_ = addNode(connections, QStringLiteral("IPP to IPP Connections"), imgConnection);
        fillConnectionsNodes();
    });
}

void TfrmProjectBrowser::RefreshSystemLayerTree()
{
    if (!root_)
        return;
    rebuildBranch(objects_, [this] { fillObjectsNode(); });
    rebuildBranch(slConnections_, [this] { fillSystemConnectionsNode(); });
    log("Preparing System Layer tree view");
}

void TfrmProjectBrowser::RefreshRequirementsTree()
{
    // The requirement branches mirror the UML model, which only the UML
    // tool can enumerate; without a connected tool they keep what they show.
    auto* tool = dynamic_cast<uml::TUmbrelloTool*>(workbench_.ProjectManager().UmlTool());
    if (!root_ || !project_.HasUmlModel || !requirements_ || !(umlConnected_ || (tool && tool->Connected)))
        return;
    if (tool) {
        // The model file may have been saved by Umbrello since.
        tool->Refresh();
        const auto fill = [this](QTreeWidgetItem* branch, const std::vector<std::string>& names, int image,
                                 TNodeKind kind) {
            rebuildBranch(branch, [&] {
                for (const std::string& name : names)
                    addNode(branch, qs(name), image, kind);
            });
        };
        std::vector<std::string> interactions;
        for (const auto& d : tool->Model.SequenceDiagrams)
            interactions.push_back(d.Name);
        fill(useCaseDiagrams_, tool->Model.UseCaseDiagrams, imgUseCaseDiagram, TNodeKind::UseCaseDiagram);
        fill(actors_, tool->Model.Actors, imgActor, TNodeKind::Actor);
        fill(useCases_, tool->Model.UseCases, imgUseCase, TNodeKind::UseCase);
        fill(interactionDiagrams_, interactions, imgInteractionDiagram, TNodeKind::InteractionDiagram);
    }
    log("Add use cases in tree object");
}

void TfrmProjectBrowser::AddObjectNode(TslObject* object)
{
    if (!root_ || !project_.IsOpen() || !object)
        return;
    const bool wasBuilding = building_;
    building_ = true;
    addObjectNode(object);
    building_ = wasBuilding;
}

void TfrmProjectBrowser::AddConnectionNode(TSystemConnection* connection)
{
    if (!root_ || !project_.IsOpen() || !connection)
        return;
    const bool wasBuilding = building_;
    building_ = true;
    addNode(slConnections_, qs(connection->Name), imgConnection);
    building_ = wasBuilding;
}

void TfrmProjectBrowser::AddDiagramNode(TFB_Diagram* diagram)
{
    if (!root_ || !project_.IsOpen() || !diagram)
        return;
    const bool wasBuilding = building_;
    building_ = true;
    addNode(diagrams_, qs(diagram->Name), imgFBInstance, TNodeKind::Diagram, diagram);
    building_ = wasBuilding;
}

void TfrmProjectBrowser::ExpandDiagramsNode()
{
    if (!diagrams_)
        return;
    for (QTreeWidgetItem* n = diagrams_; n; n = n->parent())
        n->setExpanded(true);
    tree_->scrollToItem(diagrams_);
}

QTreeWidgetItem* TfrmProjectBrowser::Node(const QStringList& path) const
{
    QTreeWidgetItem* node = root_;
    for (const QString& text : path) {
        if (!node)
            return nullptr;
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (node->child(i)->text(0) == text)
                next = node->child(i);
        node = next;
    }
    return node;
}

QStringList TfrmProjectBrowser::TreeLines() const
{
    QStringList lines;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        dumpNode(tree_->topLevelItem(i), 0, lines);
    return lines;
}

TfrmProjectBrowser::TNodeKind TfrmProjectBrowser::KindOf(const QTreeWidgetItem* node)
{
    return node ? static_cast<TNodeKind>(node->data(0, KindRole).toInt()) : TNodeKind::None;
}

namespace {
const void* objectAddress(const QTreeWidgetItem* node)
{
    return node ? reinterpret_cast<const void*>(node->data(0, TfrmProjectBrowser::ObjectRole).value<quintptr>())
                : nullptr;
}

bool layerHoldsIpp(const TSystemLayerManager& layer, const void* ipp)
{
    for (const auto& object : layer.Objects)
        if (const auto* list = object->IppList())
            for (const auto& i : *list)
                if (i.get() == ipp)
                    return true;
    return false;
}
} // namespace

TFB_Diagram* TfrmProjectBrowser::DiagramOf(const QTreeWidgetItem* node) const
{
    const void* object = objectAddress(node);
    if (KindOf(node) != TNodeKind::Diagram || !listHolds(workbench_.FBManager().Diagrams, object))
        return nullptr;
    return static_cast<TFB_Diagram*>(const_cast<void*>(object));
}

TFB_InstanceRef* TfrmProjectBrowser::RecordOf(const QTreeWidgetItem* node) const
{
    const void* object = objectAddress(node);
    if (KindOf(node) != TNodeKind::InstanceRecord || !listHolds(workbench_.FBManager().Instances, object))
        return nullptr;
    return static_cast<TFB_InstanceRef*>(const_cast<void*>(object));
}

TslIPPRef* TfrmProjectBrowser::IppOf(const QTreeWidgetItem* node) const
{
    const void* object = objectAddress(node);
    if (KindOf(node) != TNodeKind::Ipp || !layerHoldsIpp(workbench_.SystemLayer(), object))
        return nullptr;
    return static_cast<TslIPPRef*>(const_cast<void*>(object));
}

TslObject* TfrmProjectBrowser::ObjectOf(const QTreeWidgetItem* node) const
{
    const TNodeKind kind = KindOf(node);
    if (kind == TNodeKind::Ipp)
        return IppOf(node);
    const void* object = objectAddress(node);
    if ((kind != TNodeKind::SystemObject && kind != TNodeKind::InternalDiagram) ||
        !listHolds(workbench_.SystemLayer().Objects, object))
        return nullptr;
    return static_cast<TslObject*>(const_cast<void*>(object));
}

void TfrmProjectBrowser::SelectNode(QTreeWidgetItem* node)
{
    if (node && tree_->currentItem() != node)
        tree_->setCurrentItem(node);
    bindDescription(node);
    UpdatePopup(node);
}

void TfrmProjectBrowser::bindDescription(QTreeWidgetItem* node)
{
    boundKind_ = TNodeKind::None;
    boundObject_ = nullptr;
    QString text;
    bool editable = false;
    if (TFB_Diagram* diagram = DiagramOf(node)) {
        text = qs(diagram->Comment);
        editable = true;
        boundKind_ = TNodeKind::Diagram;
        boundObject_ = diagram;
    } else if (TFB_InstanceRef* record = RecordOf(node)) {
        // The type's comment, shown but not changed from here.
        text = record->Type ? qs(record->Type->Comment) : QString();
        boundKind_ = TNodeKind::InstanceRecord;
        boundObject_ = record;
    } else if (TslObject* object = ObjectOf(node)) {
        text = qs(object->Description);
        editable = true;
        boundKind_ = TNodeKind::SystemObject;
        boundObject_ = object;
    }
    const QSignalBlocker block(description_);
    description_->setPlainText(text);
    description_->setEnabled(boundKind_ != TNodeKind::None);
    description_->setReadOnly(!editable);
}

void TfrmProjectBrowser::descriptionEdited()
{
    const std::string text = description_->toPlainText().toStdString();
    // The bound object may have gone from the model since it was bound.
    if (boundKind_ == TNodeKind::Diagram && listHolds(workbench_.FBManager().Diagrams, boundObject_))
        static_cast<TFB_Diagram*>(const_cast<void*>(boundObject_))->Comment = text;
    else if (boundKind_ == TNodeKind::SystemObject &&
             (listHolds(workbench_.SystemLayer().Objects, boundObject_) ||
              layerHoldsIpp(workbench_.SystemLayer(), boundObject_)))
        static_cast<TslObject*>(const_cast<void*>(boundObject_))->Description = text;
}

void TfrmProjectBrowser::EditNode(QTreeWidgetItem* node)
{
    if (!node)
        return;
    switch (KindOf(node)) {
    case TNodeKind::Diagram:
        if (TFB_Diagram* diagram = DiagramOf(node))
            emit openDiagramRequested(diagram, node->text(0));
        break;
    case TNodeKind::Ipp:
        if (TslIPPRef* ipp = IppOf(node))
            emit openIppRequested(ipp);
        break;
    case TNodeKind::InstanceRecord:
        if (TFB_InstanceRef* record = RecordOf(node); record && record->Type && !record->Type->FileName.empty())
            emit openTypeRequested(QString::fromStdString(record->Type->FileName));
        break;
    case TNodeKind::UseCaseDiagram:
    case TNodeKind::InteractionDiagram:
    case TNodeKind::Actor:
    case TNodeKind::UseCase: {
        static const char* what[] = {"UCD", "ID", "ACT", "UC"};
        const int image = node->data(0, IconRole).toInt();
        const QString code = QString::fromLatin1(what[std::clamp(image - imgUseCaseDiagram, 0, 3)]);
        log("Open diagram to edit: " + node->text(0).toStdString() + ", " + code.toStdString());
        emit requirementRequested(node->text(0), code);
        break;
    }
    default: {
        // Anything in the system layer branch opens the system layer window.
        QTreeWidgetItem* top = node;
        while (top->parent() && top->parent() != root_)
            top = top->parent();
        if (top->parent() == root_ && top->text(0) == QStringLiteral("System Layer"))
            emit openSystemLayerRequested();
        break;
    }
    }
}

void TfrmProjectBrowser::DeleteNode(QTreeWidgetItem* node)
{
    if (!node)
        return;
    TFB_Manager& fbm = workbench_.FBManager();
    if (TFB_Diagram* diagram = DiagramOf(node)) {
        if (!workbench_.UI().AskYesNo("Delete selected diagram ?"))
            return;
        const std::string name = diagram->Name;
        emit closeDiagramWindowsRequested(node->text(0));
        // Closing a window may have taken the diagram with it already.
        if (listHolds(fbm.Diagrams, diagram)) {
            // Its drawings go one by one first, so that a record drawn here
            // and nowhere else goes with its connections and its place on a
            // device, as when its last drawing is deleted in the editor: a
            // record no diagram draws would be in no file after the next save.
            diagram->Clear();
            fbm.DeleteDiagram(diagram);
        }
        log("Delete diagram from tree " + name);
    } else if (TFB_InstanceRef* record = RecordOf(node)) {
        if (!workbench_.UI().AskYesNo("Delete selected FB instance from entire project?"))
            return;
        fbm.DeleteInstance(record);
    } else {
        return;
    }
    bindDescription(nullptr);
    RefreshApplicationTree();
    emit modelChanged();
}

void TfrmProjectBrowser::RenameNode(QTreeWidgetItem* node, const QString& text)
{
    TFB_Diagram* diagram = DiagramOf(node);
    if (!diagram)
        return;
    const QString oldText = qs(diagram->Name);
    const bool wasBuilding = building_;
    building_ = true;
    if (text == oldText || !TfrmNameDialog::IsUsableName(text)) {
        node->setText(0, oldText);
        building_ = wasBuilding;
        return;
    }
    const QString newText = text.trimmed();
    node->setText(0, newText);
    building_ = wasBuilding;

    namespace fs = std::filesystem;
    diagram->Name = newText.toStdString();
    const fs::path folder = fs::path(diagram->FileName).parent_path();
    diagram->FileName = (folder / (diagram->Name + ".fbn")).string();
    emit diagramRenamed(oldText, newText);
}

void TfrmProjectBrowser::UpdatePopup(QTreeWidgetItem* node)
{
    popupNode_ = node;
    const TNodeKind kind = KindOf(node);
    acDelete_->setEnabled(kind == TNodeKind::Diagram || kind == TNodeKind::InstanceRecord);
    acEdit_->setEnabled(node != nullptr);
    for (QAction* action : umlAddActions_)
        action->setEnabled(project_.IsOpen() && project_.HasUmlModel);
}

void TfrmProjectBrowser::addUmlElement(const QString& element, const QString& caption, const QString& label)
{
    TfrmNameDialog dialog(caption, label, QString(), this);
    if (dialog.exec() == QDialog::Accepted)
        emit addUmlElementRequested(element, dialog.Name());
}

} // namespace telvo
