#pragma once
// "Select Events/Data": the visual debugger's choice of initial events, input
// values and monitored data. Three trees (event inputs, data inputs, data
// outputs), one root per top-level instance of the diagram with one child
// per port. Filled once; its ticks and texts are kept for every later Start
// and Values.

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace telvo {

class TFB_Diagram;
class TFBDataMember;
class TFBEvent;

class TfrmVisualDebuggerSelectEvents : public QDialog {
    Q_OBJECT
public:
    explicit TfrmVisualDebuggerSelectEvents(QWidget* parent = nullptr);

    void Fill(const TFB_Diagram& diagram);

    // True after "OK", false after "Cancel" (and at first).
    bool Result() const { return result_; }

    // The port a node stands for, looked up by its instance's and its own
    // name (a reloaded type may have replaced or dropped the port since the
    // trees were filled), or none: a root, or a port that is gone.
    TFBEvent* EventOf(const QTreeWidgetItem* item) const;
    TFBDataMember* DataOf(const QTreeWidgetItem* item) const;
    // "INST.PORT" of a port node, "" for a root.
    static std::string PortPath(const QTreeWidgetItem* item);
    // The node of instance.port in a tree, or none.
    static QTreeWidgetItem* Node(QTreeWidget* tree, const std::string& instance, const std::string& port = {});
    // Ticks or unticks a node as a click on its box does (mixed becomes
    // unticked); below and above follow.
    void ClickTick(QTreeWidgetItem* item);

    // The application's error message for a value that does not convert.
    std::function<void(const std::string&)> ShowError;

    QTreeWidget* EventsTree() const { return events_; }
    QTreeWidget* DataInputTree() const { return dataIn_; }
    QTreeWidget* DataOutputTree() const { return dataOut_; }
    QLineEdit* ValueEdit() const { return value_; }
    QPushButton* ApplyValueButton() const { return apply_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    QTabWidget* Tabs() const { return tabs_; }

    // The node text of a data input: name + " ( val = " + value + " )".
    static QString DataInputText(const TFBDataMember& member);

private:
    QTreeWidget* makeTree(QWidget* page);
    void itemChanged(QTreeWidgetItem* item);
    void setTick(QTreeWidgetItem* item, Qt::CheckState state);
    void recompute(QTreeWidgetItem* parent);
    void dataInputClicked();
    // Sets the selected data input from the field's text; false (nothing
    // changed) when the text is no value of its type.
    bool applyValue(bool report);

    QTabWidget* tabs_ = nullptr;
    QTreeWidget* events_ = nullptr;
    QTreeWidget* dataIn_ = nullptr;
    QTreeWidget* dataOut_ = nullptr;
    QLineEdit* value_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    bool result_ = false;
    bool updating_ = false;
    const TFB_Diagram* diagram_ = nullptr;
};

} // namespace telvo
