#pragma once
// "Project Browser": the project tree, the description box under it and a
// status bar whose first panel shows the hints of the workbench. The tree
// shows the open project's model: diagrams, instance records, connection
// records and the system layer, with a reference to the model object on the
// nodes that stand for one.

#include "ui/mainwindow/project_commands.h"

#include <QSet>
#include <QStringList>
#include <QWidget>

class QLabel;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace telvo {

class TFB_Diagram;
class TFB_InstanceRef;
class TSystemConnection;
class TWorkbench;
class TslIPPRef;
class TslObject;

class TfrmProjectBrowser : public QWidget {
    Q_OBJECT
public:
    // What a node stands for.
    enum class TNodeKind {
        None,
        Diagram,
        InstanceRecord,
        Ipp,
        SystemObject,
        InternalDiagram, // the device whose internal diagram it names
        UseCaseDiagram,
        Actor,
        UseCase,
        InteractionDiagram,
    };
    static constexpr int IconRole = 0x0100;       // Qt::UserRole: main image index
    static constexpr int KindRole = 0x0100 + 1;   // TNodeKind
    static constexpr int ObjectRole = 0x0100 + 2; // the model object, as an address

    explicit TfrmProjectBrowser(TWorkbench& workbench, QWidget* parent = nullptr);

    static QString Caption() { return QStringLiteral("Project Browser"); }

    QTreeWidget* Tree() const { return tree_; }
    // The tool tip of a node: its whole text where the tree shows it cut
    // short, else none.
    QString NodeToolTip(const QTreeWidgetItem* node) const;
    QPlainTextEdit* DescriptionBox() const { return description_; }
    QStatusBar* StatusBar() const { return status_; }
    QMenu* PopupMenu() const { return popup_; }

    // The first panel of the status bar: the hint texts.
    void SetHintText(const QString& text);
    QString HintText() const;

    // ---- Tree maintenance; every rebuild keeps the expanded state of the
    // branch it rebuilds. ----

    // Clears the tree and builds it for the project, root expanded. Logs
    // "Preparing Project tree view".
    void BuildProjectTree(const TProjectInfo& project);
    // Deletes the project's root node (the project was closed).
    void ClearProjectTree();
    bool HasProjectTree() const { return root_ != nullptr; }
    // Logs "Update application tree node"; nothing before the tree exists.
    void RefreshApplicationTree();
    void RefreshInstancesTree();
    // Not while the main window is closing: the records are going.
    void RefreshConnectionsTree();
    // Logs "Preparing System Layer tree view".
    void RefreshSystemLayerTree();
    // Refills the requirement branches from the UML model; only with a
    // project that has one and a connected UML tool.
    void RefreshRequirementsTree();
    // One more node under "Objects", the system layer "Connections" or
    // "Function Block Diagrams"; nothing when no project is open.
    void AddObjectNode(TslObject* object);
    void AddConnectionNode(TSystemConnection* connection);
    void AddDiagramNode(TFB_Diagram* diagram);
    // Shows and expands "Function Block Diagrams".
    void ExpandDiagramsNode();

    void SetClosing(bool closing) { closing_ = closing; }
    // Whether the UML tool is connected (the requirement branches are
    // filled from it).
    void SetUmlToolConnected(bool connected) { umlConnected_ = connected; }

    // ---- Nodes ----

    // The node at the path of node texts under the root ({"Application",
    // "Connections"}); none when there is no such node.
    QTreeWidgetItem* Node(const QStringList& path) const;
    QTreeWidgetItem* RootNode() const { return root_; }
    // The whole tree, one line per node: two spaces per level, the text and
    // the image index in brackets. For tests and the log.
    QStringList TreeLines() const;

    static TNodeKind KindOf(const QTreeWidgetItem* node);
    // The model object of a node, or none when the node stands for none or
    // the object is gone from the model.
    TFB_Diagram* DiagramOf(const QTreeWidgetItem* node) const;
    TFB_InstanceRef* RecordOf(const QTreeWidgetItem* node) const;
    TslObject* ObjectOf(const QTreeWidgetItem* node) const;
    TslIPPRef* IppOf(const QTreeWidgetItem* node) const;

    // ---- Interaction (the tree's signals and the pop-up run these) ----

    void SelectNode(QTreeWidgetItem* node);
    // Double-click and the pop-up's "Edit".
    void EditNode(QTreeWidgetItem* node);
    // The pop-up's "Delete": asks, then deletes the diagram or the record.
    void DeleteNode(QTreeWidgetItem* node);
    // In-place renaming of a diagram node to `text`. Refused (the node
    // keeps its text) for other nodes and for a name that cannot be a file
    // name.
    void RenameNode(QTreeWidgetItem* node, const QString& text);
    // Enables the pop-up's items for the node.
    void UpdatePopup(QTreeWidgetItem* node);

signals:
    void openDiagramRequested(TFB_Diagram* diagram, const QString& caption);
    void openIppRequested(TslIPPRef* ipp);
    // A node of the system layer branch: the system layer window.
    void openSystemLayerRequested();
    // An instance record: the FB type editor on its type's file.
    void openTypeRequested(const QString& typeFile);
    // A requirement leaf: the UML tool opens "UCD", "ID", "ACT" or "UC".
    void requirementRequested(const QString& name, const QString& what);
    void addUmlElementRequested(const QString& element, const QString& name);
    // Renaming a diagram node: windows captioned oldText take newText.
    void diagramRenamed(const QString& oldText, const QString& newText);
    // Deleting a diagram node: its windows close first.
    void closeDiagramWindowsRequested(const QString& caption);
    // The model changed under the open editor windows.
    void modelChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, int image,
                             TNodeKind kind = TNodeKind::None, const void* object = nullptr);
    void fillIppsNode();
    void fillDiagramsNode();
    void fillInstancesNode();
    void fillConnectionsNodes();
    void fillObjectsNode();
    void fillSystemConnectionsNode();
    void addObjectNode(TslObject* object);
    // Empties a branch and refills it, keeping which of its nodes were open.
    template <typename Fill> void rebuildBranch(QTreeWidgetItem* branch, Fill&& fill);
    void bindDescription(QTreeWidgetItem* node);
    void descriptionEdited();
    void addUmlElement(const QString& element, const QString& caption, const QString& label);
    void log(const std::string& text) const;

    TWorkbench& workbench_;
    TProjectInfo project_;
    QTreeWidget* tree_;
    QPlainTextEdit* description_;
    QStatusBar* status_;
    QLabel* hintPanel_;
    QMenu* popup_;
    QAction* acEdit_;
    QAction* acDelete_;
    QList<QAction*> umlAddActions_;
    QTreeWidgetItem* popupNode_ = nullptr;

    QTreeWidgetItem* root_ = nullptr;
    QTreeWidgetItem* requirements_ = nullptr;
    QTreeWidgetItem* useCaseDiagrams_ = nullptr;
    QTreeWidgetItem* actors_ = nullptr;
    QTreeWidgetItem* useCases_ = nullptr;
    QTreeWidgetItem* interactionDiagrams_ = nullptr;
    QTreeWidgetItem* ipps_ = nullptr;
    QTreeWidgetItem* diagrams_ = nullptr;
    QTreeWidgetItem* instances_ = nullptr;
    QTreeWidgetItem* eventConns_ = nullptr;
    QTreeWidgetItem* dataConns_ = nullptr;
    QTreeWidgetItem* fbIppConns_ = nullptr;
    QTreeWidgetItem* ippIppConns_ = nullptr;
    QTreeWidgetItem* objects_ = nullptr;
    QTreeWidgetItem* slConnections_ = nullptr;

    // What the description box edits: a node's kind and object.
    TNodeKind boundKind_ = TNodeKind::None;
    const void* boundObject_ = nullptr;
    bool building_ = false;
    bool closing_ = false;
    bool umlConnected_ = false;
};

} // namespace telvo
