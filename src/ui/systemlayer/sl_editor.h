#pragma once
// The "System Layer Editor" window: a palette of objects, selection and
// connection modes, dragging, connecting by the type table, property
// dialogs, distribution of FB instances to devices (pop-up submenu or a drop
// from an FB diagram), deletion, scrolling and zoom. It edits the one system
// layer of the workbench through undoable commands and keeps the project
// tree and the log up to date. One window at a time; closing it frees the
// window, not the model.

#include "ui/editor_window.h"
#include "ui/systemlayer/sl_renderer.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QMenu;
class QMimeData;
class QScrollBar;
class QToolButton;
class QUndoStack;

namespace telvo {

class TFB_Diagram;
class TFB_InstanceRef;
class TLayerKeys;
class TMainForm;
class TSystemConnection;
class TSystemLayerManager;
class TWorkbench;
class TfrmSystemLayer;
class TslDevice;
class TslObject;

// The drawing area: shows the off-screen image, the rubber line of
// connection mode, and hands mouse, wheel and drops to the window.
class TSystemLayerPaintBox : public QWidget {
    Q_OBJECT
public:
    TSystemLayerPaintBox(TfrmSystemLayer& editor, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TfrmSystemLayer& editor_;
};

class TfrmSystemLayer : public QWidget, public TEditorWindow {
    Q_OBJECT
public:
    // `main` may be none (tests, or a window outside the main window).
    TfrmSystemLayer(TWorkbench& workbench, TMainForm* main, QWidget* parent = nullptr);
    ~TfrmSystemLayer() override;

    // ---- TEditorWindow ----
    TKind EditorKind() const override { return TKind::SystemLayer; }
    QMdiSubWindow* SubWindow() const override { return subWindow_; }
    void RefreshDiagram() override { Render(); }
    QUndoStack* EditUndoStack() const override { return undo_; }
    void SetSubWindow(QMdiSubWindow* sub) { subWindow_ = sub; }

    TWorkbench& Workbench() const { return workbench_; }
    TSystemLayerManager& Layer() const;
    TLayerKeys& Keys() const { return *keys_; }
    QUndoStack* UndoStack() const { return undo_; }
    TMainForm* Main() const;

    // ---- Commands ----

    // A palette button: an object of the kind (an IPT of the subtype).
    TslObject* AddFromPalette(uint8_t kind, int iptSubtype = 0);
    void SelectionModeClick();
    void ConnectionModeClick();
    // The pop-up's "Edit" and a double click.
    void EditClick();
    void DeleteClick();
    // "Edit Process Interface FB Diagram" of the selected device.
    void EditDeviceDiagramClick();
    // A record chosen from the "Download FB Instance" submenu.
    void DownloadInstance(TslDevice* device, TFB_InstanceRef* record);
    // Takes a record back from its device (the device dialog's "Delete FB").
    void TakeBackInstance(TslDevice* device, TFB_InstanceRef* record);
    // Runs a done edit's command (the dialogs hand their edits in here).
    void Push(class TLayerCommand* command);

    // ---- Drawing ----

    void Render();
    const QImage& Image() const { return canvas_; }
    double Zoom() const { return zoom_; }
    void SetZoom(double zoom);
    void ZoomTextEntered(const QString& text);
    void ZoomStep(int steps);

    // ---- Mouse, in drawing-area pixels ----

    void MouseDown(int x, int y, Qt::MouseButton button);
    void MouseMove(int x, int y);
    void MouseUp(int x, int y);
    void DoubleClick(int x, int y);
    void SetScroll(int horizontal, int vertical);

    // ---- Drops of FB instances from an FB diagram ----

    // Whether a drag from `source` carrying `data` may drop at (x, y); sets
    // the selected object and the drop target as it goes.
    bool DragOver(QObject* source, const QMimeData* data, int x, int y);
    // The drop: true when an instance was distributed.
    bool Drop(QObject* source, const QMimeData* data, int x, int y);
    TslDevice* DropTarget() const { return dropTarget_; }

    // ---- State, for tests ----

    bool ConnectionMode() const;
    QToolButton* Button(const QString& objectName) const;
    QMenu* ContextMenu() const { return popup_; }
    QMenu* DownloadMenu() const { return downloadMenu_; }
    QComboBox* ZoomCombo() const { return cmbZoom_; }
    QScrollBar* HorizontalBar() const { return hBar_; }
    QScrollBar* VerticalBar() const { return vBar_; }
    TSystemLayerPaintBox* PaintBox() const { return paintBox_; }
    QString StatusText() const;
    // Updates the pop-up's items as on opening it.
    void UpdateContextMenu();
    // The view point under a model point and back, at the zoom.
    int ToModel(int viewCoordinate) const;
    QPoint ToView(int modelX, int modelY) const;

    // How the window opens the dialogs and the device diagram window; the
    // defaults are the real ones (tests replace them to answer them).
    std::function<void(TslObject&)> OpenProperties;
    std::function<void(TSystemConnection&)> OpenConnectionProperties;
    std::function<void(TslDevice&)> OpenDeviceDiagram;

    // The tree and the other windows follow an edit.
    void ModelChanged(bool systemTree, bool applicationTree);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class TSystemLayerPaintBox;
    void buildToolBar(QWidget* bar);
    void buildContextMenu();
    void resizeCanvas();
    void log(const std::string& text);
    void hint(const std::string& text, int gesture);
    void repaintDiagramWindows();
    void resetConnectionPick();
    std::vector<int> orderNow() const;
    // The diagram a drag of an FB instance comes from, when it may be dropped
    // here at all.
    TFB_Diagram* sourceDiagram(QObject* source, const QMimeData* data) const;

    TWorkbench& workbench_;
    QPointer<TMainForm> main_;
    QMdiSubWindow* subWindow_ = nullptr;
    std::unique_ptr<TLayerKeys> keys_;
    QUndoStack* undo_;
    QImage canvas_;
    TslPictureCache pictures_;
    double zoom_ = 1.0;
    TslDevice* dropTarget_ = nullptr;
    // The gesture under way: the drawing order before the press, and where
    // the pressed object stood.
    std::vector<int> gestureOrder_;
    std::vector<int> connectOrder_;
    int pressedKey_ = 0;
    int32_t pressLeft_ = 0, pressTop_ = 0;
    QString status_;

    QWidget* toolBar_ = nullptr;
    TSystemLayerPaintBox* paintBox_ = nullptr;
    QScrollBar* hBar_ = nullptr;
    QScrollBar* vBar_ = nullptr;
    QComboBox* cmbZoom_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QToolButton* btnSelect_ = nullptr;
    QToolButton* btnConnect_ = nullptr;
    QMenu* popup_ = nullptr;
    QAction* mnuEdit_ = nullptr;
    QAction* mnuDeviceDiagram_ = nullptr;
    QMenu* downloadMenu_ = nullptr;
    QAction* mnuDelete_ = nullptr;
};

// The main window's factory: a new window as an MDI child (placed and shown
// by the main window).
TEditorWindow* OpenSystemLayerWindow(TMainForm& main);

} // namespace telvo
