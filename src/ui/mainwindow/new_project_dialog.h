#pragma once
// "New TELVO Project": the title and folder of a new project, the project
// file and UML model file derived from them, and whether to connect the UML
// tool.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace telvo {

class TfrmNewProject : public QDialog {
    Q_OBJECT
public:
    // `folder` is the proposed project path and where the folder browser
    // starts; the path can be typed as well.
    explicit TfrmNewProject(const QString& folder, QWidget* parent = nullptr);
    // The folder proposed for new projects: "TELVO Projects" in the user's
    // home (the program folder may not be writable, and projects are the
    // user's own files).
    static QString DefaultProjectFolder();
    QLineEdit* PathEdit() const { return edPath_; }

    QString Title() const;
    QString ProjectPath() const;
    QString TelvoFileName() const;
    bool ConnectToRose() const;
    QString RoseFileName() const;
    // OK closed the dialog.
    bool Confirmed() const { return confirmed_; }

    // What the two browse buttons do once the user has picked: a folder
    // (the path becomes it and a separator, both file names follow) and a
    // model file (replaces the "ROSE file:" text until the next edit).
    void SetProjectFolder(const QString& folder);
    void AssignModel(const QString& file);

    QLineEdit* TitleEdit() const { return edTitle_; }
    QPushButton* OkButton() const { return btnOk_; }
    QCheckBox* RoseCheck() const { return cbRose_; }

private:
    void deriveFileNames();
    void browseFolder();
    void browseModel();

    QString programFolder_;
    QLineEdit* edTitle_;
    QLineEdit* edPath_;
    QLineEdit* edTelvoFile_;
    QCheckBox* cbRose_;
    QLineEdit* edRoseFile_;
    QPushButton* btnOk_;
    bool confirmed_ = false;
};

// The folder with the separator that the dialog's path fields end with.
QString WithTrailingSeparator(const QString& folder);

} // namespace telvo
