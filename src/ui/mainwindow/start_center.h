#pragma once
// "TELVO Start Center": the first window a user sees. Starts a new project,
// opens one or starts the wizard; holds the UML tool's default stereotypes
// file and the "Don't show this window again" choice, which the main window
// saves when the dialog closes.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace telvo {

class TfrmStartCenter : public QDialog {
    Q_OBJECT
public:
    TfrmStartCenter(const QString& stereotypesPath, bool doNotShowAgain, QWidget* parent = nullptr);

    // What the dialog asked for when it closed: the main window runs it
    // after saving the settings.
    enum class TChoice { None, NewProject, OpenProject, Wizard };
    TChoice Choice() const { return choice_; }

    QString StereotypesPath() const;
    bool DoNotShowAgain() const;

    QLineEdit* StereotypesEdit() const { return edStereotypes_; }
    QCheckBox* DoNotShowCheck() const { return cbDoNotShow_; }
    QPushButton* Button(const QString& objectName) const;

private:
    QPushButton* bigButton(const QString& name, const QString& text, const QString& detail, const QString& icon,
                           TChoice choice);

    QLineEdit* edStereotypes_;
    QCheckBox* cbDoNotShow_;
    TChoice choice_ = TChoice::None;
};

} // namespace telvo
