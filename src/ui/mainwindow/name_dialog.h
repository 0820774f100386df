#pragma once
// The small dialogs that ask for one name: "New FBDiagram" and the UML
// element names of the project tree's Add pop-up.

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace telvo {

class TfrmNameDialog : public QDialog {
    Q_OBJECT
public:
    TfrmNameDialog(const QString& caption, const QString& label, const QString& proposal,
                   QWidget* parent = nullptr);

    QString Name() const;
    QLineEdit* Edit() const { return edit_; }
    QLabel* Label() const { return label_; }
    QDialogButtonBox* Buttons() const { return buttons_; }

    // A name that can become a file name in the project folder: not empty,
    // no folder separators, not "." or "..".
    static bool IsUsableName(const QString& name);

private:
    QLabel* label_;
    QLineEdit* edit_;
    QDialogButtonBox* buttons_;
};

} // namespace telvo
