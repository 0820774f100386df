#pragma once
// The "ECC" page of the FB type editor: the execution control chart of the
// working type drawn and edited with the mouse (states, transitions, labels),
// a state dialog (name, comment, actions) and a transition dialog
// (condition, checked as it is typed). Every change is one step of the type
// editor's undo stack.

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QScrollArea;
class QTableWidget;
class QToolButton;

namespace telvo {

class TECCState;
struct TECCTransition;
class TFB_Type;
class TfrmDesignFBType;

// Whether a condition is one the simulation can run on an instance of the
// type: empty text when it compiles and names only what the type declares,
// else the message ("Column 5: Syntax Error", the column in the condition).
std::string CheckTransitionCondition(TFB_Type& type, const std::string& condition);
// What a condition's check depends on besides its text.
std::string EccCheckSignature(const TFB_Type& type);

// The chart's top left corner: (0, 0), or further up and left when states
// or labels lie at negative positions (files from other tools have them).
QPoint EccOrigin(const TFB_Type* type);
// The chart's picture: states, actions and transitions of a type at a zoom,
// with EccOrigin at the picture's top left corner.
// `selectedState`/`selectedTransition` are drawn with a 2-pixel pen.
void PaintEcc(QImage& image, const TFB_Type* type, double zoom, int selectedState, int selectedTransition);
void PaintEcc(QImage& image, const TFB_Type* type, double zoom, int selectedState, int selectedTransition,
              QPoint origin);
// The same with the conditions marked that the simulation cannot run (one
// flag per transition, in list order).
void PaintEcc(QImage& image, const TFB_Type* type, double zoom, int selectedState, int selectedTransition,
              QPoint origin, const std::vector<bool>& unfitConditions);
// The chart's extent from its origin at zoom 1, at least 1300 x 1200.
QSize EccExtent(const TFB_Type* type);

class TEccPaintBox;

class TEccPage : public QWidget {
    Q_OBJECT
public:
    explicit TEccPage(TfrmDesignFBType& editor, QWidget* parent = nullptr);

    // A new working type: no selection, no pending transition.
    void TypeLoaded();
    void Repaint();
    // The chart from its top left corner.
    void ScrollHome();

    // Toolbar.
    void AddStateClick();
    void SelectModeClick();
    void TransitionModeClick();
    bool TransitionMode() const { return transitionMode_; }

    // Mouse, in chart coordinates (zoom 1).
    void MouseDown(int x, int y);
    void MouseMove(int x, int y);
    void MouseUp(int x, int y);
    void DoubleClick(int x, int y);
    // Selects what lies at the point (a state before a label), no drag.
    void SelectAt(int x, int y);

    // The context menu's items for the current selection.
    void DeleteClick();
    void EditClick();

    // What the two dialogs store on OK (refusals shown to the user; true
    // when stored).
    bool EditState(int state, const std::string& name, const std::string& comment,
                   const std::vector<std::pair<std::string, std::string>>& actions);
    bool EditTransition(int transition, const std::string& condition);

    int SelectedState() const { return selectedState_; }
    int SelectedTransition() const { return selectedTransition_; }
    double Zoom() const { return zoom_; }
    QPoint Origin() const { return origin_; }
    void SetZoom(double zoom);
    const QImage& Image() const { return image_; }
    TEccPaintBox* PaintBox() const { return box_; }
    QMenu* ContextMenu() const { return popup_; }
    void UpdateContextMenu();

private:
    friend class TEccPaintBox;
    TFB_Type* type() const;
    int stateAt(int x, int y);
    int transitionAt(int x, int y);
    void select(int x, int y);
    void placeClear(TECCState& state);
    // Ends a drag under way (a move is one undo step).
    void endDrag();
    void resetPending();
    void editorRefusal(const std::string& text);

    TfrmDesignFBType& editor_;
    QScrollArea* scroll_ = nullptr;
    TEccPaintBox* box_ = nullptr;
    QToolButton* btnSelect_ = nullptr;
    QToolButton* btnTransition_ = nullptr;
    QMenu* popup_ = nullptr;
    QAction* mnuEdit_ = nullptr;
    QAction* mnuDelete_ = nullptr;
    QImage image_;
    double zoom_ = 1.0;
    QPoint origin_;
    bool transitionMode_ = false;
    int selectedState_ = -1;
    int selectedTransition_ = -1;
    bool dragging_ = false;
    bool moved_ = false;
    QPoint offset_;
    int pendingSource_ = -1;
    QPoint rubberEnd_{-1, -1};
    // Checked conditions (fits or not), valid while the declarations keep
    // this signature.
    std::string checkedSignature_;
    std::map<std::string, bool> conditionFits_;
};

class TEccPaintBox : public QWidget {
public:
    explicit TEccPaintBox(TEccPage& page, QWidget* parent);
    QPoint RubberEnd() const { return rubber_; }
    QPoint RubberStart() const { return start_; }
    void SetRubber(QPoint start, QPoint end)
    {
        start_ = start;
        rubber_ = end;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    TEccPage& page_;
    QPoint start_{-1, -1}, rubber_{-1, -1};
};

// The state dialog: name, comment and the actions (algorithm, output). A
// selected cell of the grid is covered by the list of its column
// (algorithms, event outputs); choosing from it fills the cell.
class TfrmEdtStateTransProps : public QDialog {
public:
    TfrmEdtStateTransProps(const TFB_Type& type, const TECCState& state, QWidget* parent = nullptr);
    std::string Name() const;
    std::string Comment() const;
    std::vector<std::pair<std::string, std::string>> Actions() const;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QTableWidget* StringGrid1 = nullptr;
    QComboBox* cmbAlgorithms = nullptr;
    QComboBox* cmbOutputs = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeList();
    void hideLists();
};

// The transition dialog: the condition, checked as it is typed.
class TfrmEditECCTransition : public QDialog {
public:
    TfrmEditECCTransition(TFB_Type& type, const std::string& condition, QWidget* parent = nullptr);
    std::string Condition() const;
    QLineEdit* Edit1 = nullptr;
    QLabel* Warning = nullptr;
    // Asked on OK when the condition cannot be run; true stores it anyway.
    std::function<bool(const std::string& question)> AskStore;

private:
    void check();
    void okClick();
    TFB_Type& type_;
};

} // namespace telvo
