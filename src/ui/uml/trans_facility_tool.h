#pragma once
// "Transformation Facility Manager": parses the project's UML model into the
// checkable transformation tree, shows the parse messages beside it, and on
// "OK" builds the ticked part into the project and opens a window on each
// imported diagram. Also the UML pieces of the main window: the window's
// factory, "Show/Hide Umbrello", and the requirement leaves of the project
// tree.

#include "umlimport/transformation.h"

#include <QDialog>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class QAction;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace telvo {

class TMainForm;
class TWorkbench;
struct TEditorWindowFactories;
class TfrmProjectBrowser;

namespace uml {
class TUmbrelloTool;
}

class TfrmTransFacilityTool : public QDialog {
    Q_OBJECT
public:
    TfrmTransFacilityTool(TWorkbench& workbench, TMainForm* mainForm, QWidget* parent = nullptr);
    ~TfrmTransFacilityTool() override;

    static QString Caption() { return QStringLiteral("Transformation Facility Manager"); }

    QTreeWidget* Tree() const { return tree_; }
    QPlainTextEdit* MessageText() const { return messages_; }
    QPushButton* OkButton() const { return ok_; }
    uml::TTransformation& Transformation() { return transformation_; }
    uml::TUmbrelloTool& Tool();

    // "Connect To Umbrello" after the file dialog: connect, open the model,
    // parse.
    void ConnectToModel(const QString& file);
    // "New Umbrello Project": a new model in the program folder, shown.
    void NewModel();
    // "Refresh Information": parse again when connected.
    void Refresh();
    // "Show/Hide Umbrello": shows the model in Umbrello; the status bar says
    // what happened, also when nothing can be shown.
    void ShowHide();
    QString StatusText() const;
    // The classes the interaction diagrams need that are not ticked (each
    // diagram is built, and its instances and IPPs are made of them).
    std::vector<std::string> MissingClasses() const;
    // The model into the tree and the messages.
    void Parse();
    // "OK": builds, opens the imported diagrams, refreshes the project tree
    // and closes; refuses, with one message naming them, while classes the
    // diagrams need are not ticked.
    void Create();

    // The tree item of a transformation node, or none.
    QTreeWidgetItem* ItemOf(const uml::TTransNode* node) const;

private:
    void fillTree();
    void syncTicks();
    void itemChanged(QTreeWidgetItem* item);

    TWorkbench& workbench_;
    TMainForm* mainForm_;
    uml::TTransformation transformation_;
    std::unique_ptr<uml::TUmbrelloTool> ownTool_;
    QTreeWidget* tree_;
    QPlainTextEdit* messages_;
    QPushButton* ok_;
    QStatusBar* status_;
    std::unordered_map<QTreeWidgetItem*, uml::TTransNode*> nodes_;
    bool syncing_ = false;
};

// The window's factory and "Show/Hide Umbrello" for the main window.
void InstallUmlWindows(TEditorWindowFactories& factories);
// Shows the model in Umbrello; returns what happened, for a status bar.
QString ShowUmlTool(uml::TUmbrelloTool& tool);
// The class roots that the interaction diagrams' instances and IPPs are made
// of and that nothing built before provides; with `ticked`, only for the
// diagrams that node reaches (the node, "Diagrams" above it, or a node
// inside a diagram).
std::vector<uml::TTransNode*> ClassesDiagramsNeed(const uml::TTransformation& transformation,
                                                 const TWorkbench& workbench, const uml::TTransNode* ticked);
// The requirement leaves of the project tree: opening one shows Umbrello on
// the model; "Add" writes the new element into the model.
void ConnectUmlRequirements(TMainForm& mainForm, TfrmProjectBrowser& browser);

} // namespace telvo
