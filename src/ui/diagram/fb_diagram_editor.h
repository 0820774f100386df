#pragma once
// The FB diagram editor: one window per FB network diagram, in three
// settings: an application diagram of the project, the inner network of a
// composite FB type (embedded in the FB type editor) and a device's
// process-interface diagram. It places instances, IPP pictures and notes,
// moves them, draws event, data, IPP and interface connections by the rules
// of the connection state machine, zooms, scrolls, prints and saves or opens
// network files. Painting and hit tests are the renderer's
// (diagram_renderer.h); the window owns only its view state.

#include "ui/diagram/diagram_renderer.h"
#include "ui/diagram/diagram_undo.h"
#include "ui/editor_window.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QButtonGroup;
class QComboBox;
class QHBoxLayout;
class QMdiSubWindow;
class QMenu;
class QMimeData;
class QPrinter;
class QScrollBar;
class QTimer;
class QUndoStack;
class QToolButton;
class QWidget;

namespace telvo {

class TMainForm;
class TWorkbench;
class TfrmSelectIPPfromIPT;
class TfrmDesignFBDiagram;
class TfrmVisualDebugger;

// The drag of an FB instance to the system layer (Ctrl-drag): the mime type
// and the payload, the record's name in UTF-8.
inline constexpr const char* FBInstanceMimeType = "application/x-telvo-fb-instance";
// A copied part of a diagram on the clipboard: the network text in UTF-8
// (also put there as plain text).
inline constexpr const char* FBNetworkMimeType = "application/x-telvo-fb-network";

// The drawing: shows the editor's off-screen image and the rubber line of
// connect mode over it, and hands the mouse to the editor.
class TDiagramPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TDiagramPaintBox(TfrmDesignFBDiagram& editor, QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TfrmDesignFBDiagram& editor_;
};

class TfrmDesignFBDiagram : public QWidget, public TEditorWindow {
    Q_OBJECT
public:
    // `main` may be none (a window outside the main window, as in the FB
    // type editor's composition page or in tests).
    TfrmDesignFBDiagram(TWorkbench& workbench, TMainForm* main, QWidget* parent = nullptr);
    ~TfrmDesignFBDiagram() override;

    // ---- TEditorWindow ----
    TKind EditorKind() const override { return TKind::FBDiagram; }
    QMdiSubWindow* SubWindow() const override { return subWindow_; }
    TFB_Diagram* Diagram() const override { return diagram_; }
    void RefreshDiagram() override;
    void InsertInstance(const std::string& typeName) override { AddInstanceOfType(typeName); }
    void MarkSaved() override;
    void EndActivity() override;
    // No edit reaches the model while the debugger runs on it.
    QUndoStack* EditUndoStack() const override { return view_.DebugMode ? nullptr : undoStack_; }
    void CutSelection() override { CutClick(); }
    void CopySelection() override { CopyClick(); }
    void PasteClipboard() override { PasteClick(); }
    void SetSubWindow(QMdiSubWindow* sub) { subWindow_ = sub; }

    // ---- Operations used by other windows ----

    // Shows the diagram: zoom 0.8, applied; the lines rebuilt from the model.
    void AttachDiagram(TFB_Diagram* diagram);
    TFB_Instance* AddInstanceOfType(const std::string& typeName);
    TslIPP* AddIppPicture(TslIPPRef* ipp, int x, int y);
    // Paints the diagram into the off-screen image and shows it.
    void PaintDiagram();

    // An inner network of a composite type: the window is embedded in the FB
    // type editor, tells its owner of new interface ports and has no IPP,
    // save or open buttons.
    void SetCompositeNetwork(bool composite);
    std::function<void(TFBEventType*)> OnNewInterfaceEventInput;
    std::function<void(TFBEventType*)> OnNewInterfaceEventOutput;
    std::function<void(TFBDataMemberType*)> OnNewInterfaceDataInput;
    std::function<void(TFBDataMemberType*)> OnNewInterfaceDataOutput;

    // ---- Commands ----

    void NewFBClick();
    void ShowTypeClick(bool down);
    void DrawEventsClick(bool down);
    void ShowOtherInstancesConnectionsClick(bool down);
    void AddNoteClick();
    void SelectModeClick();
    void DrawConnectionClick();
    void ZoomInClick();
    void ZoomOutClick();
    // "Zoom to fit" (Ctrl+0): the zoom step and scroll position that show
    // every instance, IPP picture and note of the diagram.
    void ZoomToFitClick();
    // A zoom that keeps the point (x, y) of the drawing under the mouse, as
    // far as the scroll bars reach.
    void ZoomAbout(double zoom, int x, int y);
    // The mouse wheel over the drawing at (x, y): scrolls down and up,
    // Shift scrolls across, Ctrl zooms one step about the mouse.
    void WheelTurned(int x, int y, QPoint angleDelta, Qt::KeyboardModifiers modifiers);
    // Escape: drops a pending connection or a rubber band; with nothing
    // pending it leaves connect mode.
    void EscapePressed();
    // The combo's text: "55" or "55%"; a number below 1 is ignored.
    void ZoomTextEntered(const QString& text);
    void InsertIppClick();
    void PrintClick();
    void SaveNetworkClick();
    void OpenNetworkClick();
    // Delete: the selected instance, a picked connection, the selected note
    // or IPP picture, each after its question.
    void DeleteClick();
    // "Edit" and a double click outside debug mode.
    void EditClick();
    void EditTypeClick();
    // The clipboard: the selected instances with the connections among
    // them, notes and IPP pictures as a network text. Paste makes new
    // instances (fresh names) at the mouse when it is over the drawing,
    // else 20 pixels off the copied places, and selects them; Cut and
    // Paste are one undo step each. Duplicate pastes the selection without
    // the clipboard.
    void CutClick();
    void CopyClick();
    void PasteClick();
    void DuplicateClick();
    // The network text of the selection (empty when nothing is selected).
    std::string SelectionText() const;
    // Pastes a network text; `at` is where the top-left of what is pasted
    // goes (none: 20 pixels off its place in the text). False, with the
    // reason in the status panel, when nothing was pasted.
    bool PasteText(const std::string& text, const QPoint* at = nullptr);
    void ReloadTypeClick();
    // "Execute": docks the visual debugger and enters debug mode, or, when
    // no simulation runs, frees it and leaves debug mode.
    void DebugClick();
    // "Break when entering state...": a breakpoint on a state of the
    // selected instance (of an FB inside it, for a composite), or off again.
    void BreakWhenEnteringStateClick();
    // Which state "Break when entering state..." picks from "INST.STATE"
    // texts; empty when cancelled. The default asks in a list dialog.
    std::function<QString(const QStringList& states)> AskBreakpointState;

    // Prints onto a printer that is set up already (the print dialog's
    // choice, or a PDF file).
    void PrintTo(QPrinter& printer);
    void PrintToPdf(const QString& fileName);

    double Zoom() const;
    void ApplyZoom();
    void SetZoom(double zoom);

    // ---- Mouse, in drawing coordinates ----

    void MouseDown(int x, int y, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void MouseMove(int x, int y);
    void MouseUp(int x, int y);
    void DoubleClick(int x, int y);
    // A drop from the project tree at (x, y): an instance record or an IPP.
    void DropRecord(TFB_InstanceRef* record, int x, int y);
    void DropIpp(TslIPPRef* ipp, int x, int y);

    // ---- State, for the main window and for tests ----

    bool SkipNextPress() const { return skipNextPress_; }
    bool ConnectMode() const { return connectMode_; }
    bool RubberBand() const { return view_.RubberBand; }
    bool DebugMode() const { return view_.DebugMode; }
    // The visual debugger docked in debug mode, else none.
    TfrmVisualDebugger* Debugger() const { return debugger_; }
    // Debug mode with a simulation running: nothing may change the model.
    bool Executing() const;
    int ScrollX() const { return scrollX_; }
    int ScrollY() const { return scrollY_; }
    const TDiagramView& View() const { return view_; }
    // The pending ends of a connection being drawn.
    TFBEventDraw* FirstEventEnd() const { return firstEvent_; }
    TFBDataMemberDraw* FirstDataEnd() const { return firstData_; }
    TslIPP* FirstIpp() const { return firstIpp_; }
    TFBEventType* PendingInterfaceEvent() const { return pendingInterfaceEvent_; }
    TFBDataMemberType* PendingInterfaceData() const { return pendingInterfaceData_; }
    // The rubber line of connect mode: from the anchor to the last point,
    // drawn over the image; (-1, -1) when none.
    QPoint RubberLinePoint() const { return rubberLine_; }
    QPoint RubberLineAnchor() const { return rubberAnchor_; }
    // The picked connections.
    TFB_EventAssoc* PickedEventLine() const;
    TFB_DataAssoc* PickedDataLine() const;
    TFB_IPPFBAssocsInst* PickedIppLine() const;
    TFB_IPPtoIPPAssocInst* PickedIppToIppLine() const;
    TCompositeConnection* PickedCompositeLine() const;
    // Every change this window makes to the model, one undoable step each.
    QUndoStack* UndoStack() const { return undoStack_; }

    // Where the next new instance goes: the last point pressed in the
    // drawing, else the middle of the visible part.
    QPoint NewInstancePoint() const;
    // A refused connection target is outlined for a moment.
    bool Flashing() const { return view_.Flash; }
    QRect FlashRect() const;
    // The text this window last put into the status panel.
    QString StatusText() const { return statusText_; }
    const QImage& Image() const { return canvas_.Image; }
    TCanvas* Canvas() { return &canvas_; }

    // The controls.
    TDiagramPaintBox* PaintBox() const { return paintBox_; }
    QScrollBar* HorizontalBar() const { return hBar_; }
    QScrollBar* VerticalBar() const { return vBar_; }
    QComboBox* ZoomCombo() const { return cmbZoom_; }
    QToolButton* Button(const QString& objectName) const;
    QWidget* Palette() const { return palette_; }
    QMenu* ContextMenu() const { return popup_; }
    TfrmSelectIPPfromIPT* IppPicker() const { return ippPicker_; }
    // The tool tip at a point of the drawing: on a data connection whose
    // ends are of different type classes, both ends with their types.
    QString ToolTipAt(int x, int y) const;
    // Updates the context menu's items as on opening it.
    void UpdateContextMenu();

    // Outside hooks: how a drag to the system layer starts, and which file
    // a save or open dialog picks (an empty name when cancelled). The
    // defaults run the real drag and the file dialogs.
    std::function<void(QMimeData*)> StartDrag;
    std::function<QString(const QString& proposed)> AskSaveFileName;
    std::function<QString()> AskOpenFileName;

    // The printable caption "Function Block Network [" + file + "]".
    static QString NetworkCaption(const QString& fileName);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TDiagramPaintBox;

    void buildToolBar(QWidget* bar);
    void buildPalette();
    void buildContextMenu();
    void layoutDrawing();
    void resizeCanvas();
    void scrolled();
    void setStatus(const std::string& text);
    // An edit starts: what it may change is remembered as it is now.
    void beginEdit();
    // The edit is done: one step on the undo stack (when anything changed);
    // the window (and the project) shows "*" until saved.
    void modelChanged(const QString& what = QStringLiteral("Edit"));
    // After undo or redo: the pictures get this window's surface, zoom and
    // scroll, the pending state goes, the trees follow.
    void restoredFromSnapshot();
    // A refused click in connect mode: the hint to the status panels and the
    // refused target flashed.
    void refuse(const std::string& text, int gesture, int x, int y);
    void flash(int left, int top, int right, int bottom);
    // Shifts a new instance by the grid until it covers no other block.
    void placeClear(TFB_Instance& instance, QPoint at);
    // The comment of a type for the palette's tool tips, without loading it.
    std::string typeComment(const std::string& typeName) const;
    // A hint whose answer goes to the status panel, or one only sent.
    void hint(const std::string& text, int gesture);
    void sendHint(const std::string& text, int gesture);
    void log(const std::string& text);
    bool projectOpen() const;
    TFB_Manager& manager() const;
    bool compositeNetwork() const;
    bool deviceDiagram() const;
    // Removes every selected instance, note and IPP picture from the
    // diagram without asking; the number removed.
    int deleteSelection();
    // Where a paste from the keyboard or the menu lands: the mouse when it
    // is over the drawing.
    bool mouseOverDrawing(QPoint& at) const;

    // The click routine: true when something was hit.
    bool clickRoutine(int x, int y);
    void eventPortRules(TFBEventDraw* port);
    void dataPortRules(TFBDataMemberDraw* port);
    void ippRules(TslIPP* picture);
    bool interfacePortRoutine(int x, int y);
    void resetConnectionState();
    void clearPickedConnections();
    void endRubberBand();
    void clearDragFlags();

    void createEventConnection();
    void createDataConnection();
    void createIppConnection();
    void createIppToIppConnection();
    void createCompositeEventConnection(TFBEventDraw* inner);
    void createCompositeDataConnection(TFBDataMemberDraw* inner);
    void connectionCreated(const std::string& logLine);

    // Whether a remembered port picture or picture is still in the diagram.
    bool alive(const TFBEventDraw* port) const;
    bool alive(const TFBDataMemberDraw* port) const;
    bool alive(const TslIPP* picture) const;
    TFBEventDraw* pictureOf(TFBEvent* port) const;
    TFBDataMemberDraw* pictureOf(TFBDataMember* port) const;
    void rebuildAllLines();
    void refreshConnectionsTree();
    void refreshInstancesTree();
    void showProgramError(const QString& message);

    TWorkbench& workbench_;
    QPointer<TMainForm> main_;
    QMdiSubWindow* subWindow_ = nullptr;
    TFB_Diagram* diagram_ = nullptr;
    TCanvas canvas_;
    TDiagramView view_;
    bool composite_ = false;

    bool skipNextPress_ = false;
    int scrollX_ = 0;
    int scrollY_ = 0;
    int selLeft_ = 0, selTop_ = 0, selRight_ = 0, selBottom_ = 0;
    QString statusText_;
    // The last press in the drawing, at zoom 1 and scroll 0, so that it
    // stays the same spot of the diagram while zooming and scrolling.
    bool dragMoved_ = false;
    QUndoStack* undoStack_ = nullptr;
    TDiagramSnapshot before_;
    bool beforeTaken_ = false;
    bool lastPressKnown_ = false;
    double lastPressX_ = 0, lastPressY_ = 0;
    QTimer* flashTimer_ = nullptr;

    // Connection state.
    bool connectMode_ = false;
    TFBEventDraw* firstEvent_ = nullptr;
    TFBEventDraw* secondEvent_ = nullptr;
    TFBDataMemberDraw* firstData_ = nullptr;
    TFBDataMemberDraw* secondData_ = nullptr;
    TslIPP* firstIpp_ = nullptr;
    TslIPP* secondIpp_ = nullptr;
    TFBEventType* pendingInterfaceEvent_ = nullptr;
    TFBDataMemberType* pendingInterfaceData_ = nullptr;
    QPoint rubberLine_{-1, -1};
    QPoint rubberAnchor_{-1, -1};

    // Debug mode: the ports found by the last click.
    TFBEvent* eventPortUnderMouse_ = nullptr;
    TFBDataMember* dataPortUnderMouse_ = nullptr;

    // Picked connections (checked against the diagram before each use: a
    // rebuild elsewhere may have replaced the lines).
    TFB_EventAssoc* pickedEvent_ = nullptr;
    TFB_DataAssoc* pickedData_ = nullptr;
    TFB_IPPFBAssocsInst* pickedIpp_ = nullptr;
    TFB_IPPtoIPPAssocInst* pickedIppToIpp_ = nullptr;
    TCompositeConnection* pickedComposite_ = nullptr;

    // Controls.
    QWidget* toolBar_ = nullptr;
    QWidget* palette_ = nullptr;
    QWidget* drawing_ = nullptr;
    TDiagramPaintBox* paintBox_ = nullptr;
    QScrollBar* hBar_ = nullptr;
    QScrollBar* vBar_ = nullptr;
    QComboBox* cmbZoom_ = nullptr;
    QButtonGroup* modeGroup_ = nullptr;
    QMenu* popup_ = nullptr;
    QAction* mnuEdit_ = nullptr;
    QAction* mnuEditType_ = nullptr;
    QAction* mnuReloadType_ = nullptr;
    QAction* mnuDelete_ = nullptr;
    QAction* mnuBreakpoint_ = nullptr;
    QHBoxLayout* body_ = nullptr;
    TfrmVisualDebugger* debugger_ = nullptr;
    QAction* mnuCut_ = nullptr;
    QAction* mnuCopy_ = nullptr;
    QAction* mnuPaste_ = nullptr;
    QAction* mnuDuplicate_ = nullptr;
    TfrmSelectIPPfromIPT* ippPicker_ = nullptr;
};

// Opens an FB diagram window on the diagram as an MDI child of the main
// window (the main window's factory).
TEditorWindow* OpenDiagramWindow(TMainForm& main, TFB_Diagram& diagram, const QString& caption);

} // namespace telvo
