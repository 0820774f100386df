#pragma once
// The FB type editor: one window per FB type being designed. It works on its
// own copy of the type (the working type), read from a type file, a template
// or the XML text, and writes it back to a type file. Pages: Information
// (properties and the interface lists), XML spec, ECC, Composition (the inner
// network in an embedded FB diagram editor), Structure, Algorithms, Test,
// Compile (Pascal library) and Service.
//
// Every user action is one step on the window's undo stack. A step holds the
// type's file text before and after the action (written by the one type
// writer), so undo and redo restore exactly what a save would have written.

#include "ui/editor_window.h"

#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QListWidget;
class QMdiSubWindow;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QUndoStack;

namespace telvo {

class TFB_Type;
class TMainForm;
class TWorkbench;
class TfrmDesignFBDiagram;
class TInterfacePicture;
class TTypeSnapshots;
class TXmlHighlighter;
class TEccPage;
class TServicePage;

class TfrmDesignFBType : public QWidget, public TEditorWindow {
    Q_OBJECT
public:
    // The lists the editor shows in grids.
    enum class TGrid {
        DataInputs,
        DataOutputs,
        EventInputs,
        EventOutputs,
        Plugs,
        Sockets,
        InternalVars,
        Versions,
        Compilers,
        Algorithms,
        Rungs
    };

    // `main` may be none (tests, screenshots).
    TfrmDesignFBType(TWorkbench& workbench, TMainForm* main, QWidget* parent = nullptr);
    ~TfrmDesignFBType() override;

    // ---- TEditorWindow ----
    TKind EditorKind() const override { return TKind::FBType; }
    QMdiSubWindow* SubWindow() const override { return subWindow_; }
    void InsertInstance(const std::string& typeName) override;
    void SaveType() override { Save(); }
    void SaveTypeAs() override { SaveAs(); }
    QUndoStack* EditUndoStack() const override { return undo_; }
    void SetSubWindow(QMdiSubWindow* sub) { subWindow_ = sub; }

    // ---- Commands (true when done) ----
    bool NewBasicClick();
    bool NewCompositeClick();
    bool NewBasedOnClick();
    bool OpenClick();
    // Loads a type file as the working type (a fresh document: the undo
    // stack starts empty).
    bool LoadTypeFile(const QString& path);
    // "Apply changes" of the XML page: the edited text becomes the working
    // type; text that does not parse leaves the type as it was.
    bool ApplyXmlClick();
    bool Save();
    bool SaveAs();
    // Shows the page of that caption ("Information", "XML spec", ...).
    void ShowTab(const QString& caption);
    QString CurrentTab() const;

    // ---- Grids ----
    QTableWidget* Grid(TGrid grid) const;
    // "Add" and "Delete" of a grid (Delete acts on the current row).
    void AddClick(TGrid grid);
    void DeleteClick(TGrid grid);
    // Stores a cell as if typed (the grid's own editing ends here too).
    void SetCell(TGrid grid, int row, int column, const QString& text);
    QListWidget* WithList(bool inputs) const { return inputs ? withInputs_ : withOutputs_; }

    // ---- Algorithms ----
    void SelectAlgorithm(int row);
    void UseDelphiScriptClick();
    // Compiles the current DelphiScript algorithm as the simulation would;
    // true when it compiles. The result (or the error with its line and
    // column in the algorithm's own text) is shown under the source.
    bool CheckAlgorithmClick();
    QString AlgorithmCheckText() const;

    // ---- Compile page ----
    bool CreateCodeClick();
    void CompileClick();
    void CancelCompileClick();
    bool Compiling() const;
    QString CompilerOutput() const;
    QString CompileStatus() const;
    std::filesystem::path GeneratedSource() const { return generated_; }

    // ---- State ----
    TFB_Type* WorkingType() const { return type_.get(); }
    const QString& FileName() const { return fileName_; }
    QUndoStack* UndoStack() const { return undo_; }
    // The working type as its file text.
    std::string TypeText() const;
    // The text last recorded on the undo stack (what undo steps compare).
    const std::string& RecordedText() const { return recorded_; }
    bool Modified() const;
    TfrmDesignFBDiagram* CompositeEditor() const { return composition_; }
    TInterfacePicture* Picture() const { return picture_; }
    QPlainTextEdit* XmlView() const { return xmlView_; }
    TXmlHighlighter* Highlighter() const { return highlighter_; }
    QTreeWidget* StructureTree() const { return structure_; }
    QString StatusText() const;
    QAbstractButton* TabButton(const QString& caption) const;
    TEccPage* EccPage() const { return ecc_; }
    TServicePage* ServicePage() const { return service_; }

    // Outside hooks: the file dialogs (an empty name when cancelled).
    std::function<QString()> AskOpenFileName;
    std::function<QString(const QString& folder, const QString& proposed)> AskSaveFileName;

    // ---- Undo plumbing, for the pages ----
    // Records what the user's action changed as one undo step. Steps with
    // the same non-empty key in a row (typing into one field) become one.
    void Commit(const QString& text, const QString& mergeKey = {});
    // The working type becomes the type of that file text.
    void Restore(const std::string& text);
    // A message box of the workbench (refusals of the pages), a question.
    void ShowMessage(const std::string& text);
    bool AskYesNo(const std::string& text);
    // After a page changed the interface: the picture and the lists again.
    void InterfaceChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolBars();
    QWidget* buildInformationPage();
    QWidget* buildInterfaceGrid(TGrid grid, const QString& caption, QTabWidget* tabs);
    QWidget* buildXmlPage();
    QWidget* buildStructurePage();
    QWidget* buildAlgorithmsPage();
    QWidget* buildCompilePage();
    QWidget* buildCompositionPage();

    bool loadText(const std::string& text, const std::string& fileName, bool fromFile);
    // Before another type replaces a changed one: save it when the user asks.
    bool confirmLeave();
    void setWorkingType(std::unique_ptr<TFB_Type> type);
    void fillAll();
    void fillInformation();
    void fillGrid(TGrid grid);
    void fillWithLists();
    void fillAlgorithm();
    void fillAlgorithmNameLists();
    void fillStructure();
    void updateEnabling();
    void setCaption();
    void hint(const std::string& text, int gesture);
    void setStatus(const QString& text);
    void gridEdited(TGrid grid, int row, int column);
    void withTicked(bool inputs);
    void eventRowSelected(bool inputs);
    void fieldEdited(const QString& field, const QString& text);
    void algorithmTextEdited(int which);
    void insertAlgorithmName(const QString& text);
    void compositeInterfaceAdded();
    void reloadInOpenDiagrams();
    bool writeTo(const std::filesystem::path& file);
    bool validName(bool forSaveAs);
    // Save As; `shippedCopy`: the user's copy of a shipped type, which keeps
    // the type's name (the user's library is looked in first).
    bool saveAs(bool shippedCopy);
    void recordDiskStamp();
    bool diskChangedSinceRead() const;
    QString programPath(const QString& relative) const;
    bool newFromTemplate(const QString& templateFile);

    int count(TGrid grid) const;
    std::vector<std::string*> fields(TGrid grid, int row) const;
    bool createEmpty(TGrid grid);
    QString refusal(TGrid grid, int row, int column, const std::string& text) const;
    // Why a typed name cannot be the name of a port, a variable or an
    // algorithm; empty when it can (or the cell holds no name).
    QString nameRefusal(TGrid grid, int column, const std::string& text) const;
    // The mark of a data type neither IEC 61499 nor the library knows.
    void markTypeCell(TGrid grid, int row);

    TWorkbench& workbench_;
    QPointer<TMainForm> main_;
    QMdiSubWindow* subWindow_ = nullptr;
    std::unique_ptr<TFB_Type> type_;
    QString fileName_;
    QString templateName_;
    // A type made with "New Based on..." has no file yet: Save As proposes
    // the folder of the type it was based on. Empty otherwise.
    QString basedOnFolder_;
    // Inner FBs of the file that could not be placed (their types are not in
    // the library): such a type is not saved, else they would be dropped.
    std::string missingInner_;
    QString openFolder_;
    std::optional<std::pair<std::filesystem::file_time_type, uintmax_t>> diskStamp_;
    std::unique_ptr<QTemporaryDir> scratch_;
    std::unique_ptr<TTypeSnapshots> snapshots_;
    std::string recorded_;
    QUndoStack* undo_ = nullptr;
    QString lastMergeKey_;
    int lastMergeId_ = 0;
    int mergeCounter_ = 0;
    bool filling_ = false;
    bool restoring_ = false;
    bool checkpointQueued_ = false;
    int pageWidth_ = 485;
    std::filesystem::path generated_;
    QProcess* compiler_ = nullptr;
    QString compileStatus_;

    // Controls.
    QToolBar* toolBar_ = nullptr;
    QWidget* tabBar_ = nullptr;
    QButtonGroup* tabButtons_ = nullptr;
    QSplitter* splitter_ = nullptr;
    TInterfacePicture* picture_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QLabel* status_ = nullptr;
    QAction* acSave_ = nullptr;
    QAction* acSaveAs_ = nullptr;
    QLineEdit* edtName_ = nullptr;
    QLineEdit* edtComment_ = nullptr;
    QLineEdit* edtTemplate_ = nullptr;
    QLineEdit* edtStandard_ = nullptr;
    QLineEdit* edtDescription_ = nullptr;
    QLineEdit* edtHeader_ = nullptr;
    QLineEdit* edtClassdef_ = nullptr;
    QTableWidget* grids_[11] = {};
    QPushButton* deleteButtons_[11] = {};
    QListWidget* withInputs_ = nullptr;
    QListWidget* withOutputs_ = nullptr;
    QPlainTextEdit* xmlView_ = nullptr;
    TXmlHighlighter* highlighter_ = nullptr;
    QPushButton* btnApplyXml_ = nullptr;
    QTreeWidget* structure_ = nullptr;
    QTabWidget* algPages_ = nullptr;
    QPlainTextEdit* memST_ = nullptr;
    QPlainTextEdit* memSource_ = nullptr;
    QLineEdit* edtLanguage_ = nullptr;
    QLabel* lblCheck_ = nullptr;
    QListWidget* algNames_[4] = {};
    QPushButton* btnCreateCode_ = nullptr;
    QPushButton* btnCompile_ = nullptr;
    QPushButton* btnCancelCompile_ = nullptr;
    QLabel* lblFile_ = nullptr;
    QLabel* lblLibrary_ = nullptr;
    QLabel* lblExit_ = nullptr;
    QPlainTextEdit* codeView_ = nullptr;
    QPlainTextEdit* compilerView_ = nullptr;
    TfrmDesignFBDiagram* composition_ = nullptr;
    TEccPage* ecc_ = nullptr;
    TServicePage* service_ = nullptr;
};

// Opens an FB type editor as an MDI child of the main window and runs the
// command: "New Basic", "New Composite", "New Based on...", "Open...", or
// any other text as the path of a type file to load (the main window's
// factory).
TEditorWindow* OpenTypeEditorWindow(TMainForm& main, const QString& command);

} // namespace telvo
