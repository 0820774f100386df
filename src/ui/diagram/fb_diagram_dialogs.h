#pragma once
// The small dialogs of the FB diagram editor: the FB properties dialog, the
// note dialog and the IPP picker.

#include <QDialog>
#include <QWidget>

#include <functional>
#include <vector>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace telvo {

class TFB_InstanceRef;
class TFB_Manager;
class TSystemLayerManager;
class TUserInterface;
class TslIPPRef;

// "FB Properties": name, type, description and the constants of the data
// inputs of one project instance.
class TfrmFBProperties : public QDialog {
    Q_OBJECT
public:
    TfrmFBProperties(TFB_InstanceRef& record, TFB_Manager& manager, TUserInterface& ui, QWidget* parent = nullptr);

    QLineEdit* NameEdit() const { return name_; }
    QComboBox* TypeCombo() const { return type_; }
    QPlainTextEdit* DescriptionMemo() const { return description_; }
    QTableWidget* DataInputGrid() const { return grid_; }

    // OK: stores what the dialog shows into the record and closes. A name
    // another record has already is refused with a message, and the dialog
    // stays open; so is a value that is no number of its port's type.
    void OkClick();

private:
    TFB_InstanceRef& record_;
    TFB_Manager& manager_;
    TUserInterface& ui_;
    QLineEdit* name_;
    QComboBox* type_;
    QPlainTextEdit* description_;
    QTableWidget* grid_;
};

// "Edit note": a memo with OK and Cancel.
class TfrmEditNote : public QDialog {
    Q_OBJECT
public:
    explicit TfrmEditNote(const QString& text, QWidget* parent = nullptr);
    QPlainTextEdit* Memo() const { return memo_; }
    // The memo's text with line breaks as a note keeps them (CR LF).
    std::string NoteText() const;

private:
    QPlainTextEdit* memo_;
};

// The IPP picker that "Insert IPP" pops up below its button: a black
// borderless pop-up with its instruction, the IPPs of the plant by device,
// "Add selected" and a hidden "Create new...".
class TfrmSelectIPPfromIPT : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSelectIPPfromIPT(QWidget* parent = nullptr);

    // Fills the tree: "Unassigned IPPs" (IPPs of IPTs bound to no device),
    // then one root per device with the IPPs bound to its inputs and
    // outputs and its own IPPs.
    void Fill(const TSystemLayerManager& layer);

    QTreeWidget* Tree() const { return tree_; }
    QPushButton* AddButton() const { return add_; }
    // The IPP a node stands for, or none.
    static TslIPPRef* IppOf(const QTreeWidgetItem* node);

    // "Add selected" hands over the selected IPPs in selection order.
    std::function<void(const std::vector<TslIPPRef*>&)> OnAddSelected;

private:
    QTreeWidget* tree_;
    QPushButton* add_;
};

} // namespace telvo
