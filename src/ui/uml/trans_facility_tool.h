#pragma once
// "Transformation Facility Manager": parses the project's UML model into the
// checkable transformation tree, shows the parse messages beside it, and on
// "OK" builds the ticked part into the project and opens a window on each
// imported diagram. Also the UML pieces of the main window: the window's
// factory, "Show/Hide Rose", and the requirement leaves of the project tree.

#include "umlimport/transformation.h"

#include <QDialog>

#include <memory>
#include <unordered_map>

class QAction;
class QPlainTextEdit;
class QPushButton;
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

    // "Connect To Rose" after the file dialog: connect, open the model,
    // parse.
    void ConnectToModel(const QString& file);
    // "New Rose Project": a new model in the program folder, shown.
    void NewModel();
    // "Refresh Information": parse again when connected.
    void Refresh();
    void ShowHide();
    // The model into the tree and the messages.
    void Parse();
    // "OK": builds, opens the imported diagrams, refreshes the project tree
    // and closes.
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
    std::unordered_map<QTreeWidgetItem*, uml::TTransNode*> nodes_;
    bool syncing_ = false;
};

// The window's factory and "Show/Hide Rose" for the main window.
void InstallUmlWindows(TEditorWindowFactories& factories);
// The requirement leaves of the project tree: opening one shows Umbrello on
// the model; "Add" writes the new element into the model.
void ConnectUmlRequirements(TMainForm& mainForm, TfrmProjectBrowser& browser);

} // namespace telvo
