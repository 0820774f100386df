#include "ui/mainwindow/new_project_dialog.h"

#include "ui/mainwindow/name_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace telvo {

QString WithTrailingSeparator(const QString& folder)
{
    QString f = QDir::fromNativeSeparators(folder);
    if (!f.endsWith(QLatin1Char('/')))
        f += QLatin1Char('/');
    return f;
}

TfrmNewProject::TfrmNewProject(const QString& programFolder, QWidget* parent)
    : QDialog(parent), programFolder_(programFolder)
{
    setObjectName("frmNewProject");
    setWindowTitle(QStringLiteral("New TELVO Project"));

    edTitle_ = new QLineEdit(QStringLiteral("New Project Title"), this);
    edTitle_->setObjectName("edProjectTitle");
    edPath_ = new QLineEdit(WithTrailingSeparator(programFolder), this);
    edPath_->setObjectName("edProjectPath");
    edPath_->setToolTip(QStringLiteral("Type a folder or choose one with Browse...; it is made when missing"));
    auto* btnBrowse = new QPushButton(QStringLiteral("Browse..."), this);
    btnBrowse->setObjectName("btnBrowsePath");
    edTelvoFile_ = new QLineEdit(this);
    edTelvoFile_->setObjectName("edTelvoFilename");
    edTelvoFile_->setReadOnly(true);
    cbRose_ = new QCheckBox(QStringLiteral("Connect to ROSE"), this);
    cbRose_->setObjectName("cbConnectRose");
    edRoseFile_ = new QLineEdit(this);
    edRoseFile_->setObjectName("edRoseFile");
    edRoseFile_->setReadOnly(true);
    auto* btnAssign = new QPushButton(QStringLiteral("Assign model..."), this);
    btnAssign->setObjectName("btnAssignModel");
    btnAssign->setToolTip(QStringLiteral("Assign an already made Rose project"));
    btnAssign->setStatusTip(QStringLiteral("Assign an already made Rose project"));

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(edPath_, 1);
    pathRow->addWidget(btnBrowse);
    auto* roseRow = new QHBoxLayout;
    roseRow->addWidget(edRoseFile_, 1);
    roseRow->addWidget(btnAssign);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Project title:"), edTitle_);
    form->addRow(QStringLiteral("Project path:"), pathRow);
    form->addRow(QStringLiteral("TELVO filename:"), edTelvoFile_);
    form->addRow(QString(), cbRose_);
    form->addRow(QStringLiteral("ROSE file:"), roseRow);

    btnOk_ = new QPushButton(QStringLiteral("OK"), this);
    btnOk_->setObjectName("btnOK");
    btnOk_->setDefault(true);
    auto* btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName("btnCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk_);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(560);

    connect(edTitle_, &QLineEdit::textEdited, this, [this] { deriveFileNames(); });
    connect(edPath_, &QLineEdit::textEdited, this, [this] { deriveFileNames(); });
    connect(btnBrowse, &QPushButton::clicked, this, [this] { browseFolder(); });
    connect(btnAssign, &QPushButton::clicked, this, [this] { browseModel(); });
    connect(btnOk_, &QPushButton::clicked, this, [this] {
        confirmed_ = true;
        accept();
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    deriveFileNames();
}

QString TfrmNewProject::DefaultProjectFolder()
{
    return WithTrailingSeparator(QDir::homePath()) + QStringLiteral("TELVO Projects/");
}

QString TfrmNewProject::Title() const { return edTitle_->text(); }
QString TfrmNewProject::ProjectPath() const { return edPath_->text(); }
QString TfrmNewProject::TelvoFileName() const { return edTelvoFile_->text(); }
bool TfrmNewProject::ConnectToRose() const { return cbRose_->isChecked(); }
QString TfrmNewProject::RoseFileName() const { return edRoseFile_->text(); }

void TfrmNewProject::deriveFileNames()
{
    // A typed path may lack its closing separator.
    const QString path = edPath_->text().trimmed();
    const QString base = (path.isEmpty() ? QString() : WithTrailingSeparator(path)) + edTitle_->text();
    edTelvoFile_->setText(base + QStringLiteral(".crf"));
    edRoseFile_->setText(base + QStringLiteral(".mdl"));
    // The title names the project file and a library folder: it must be a
    // plain name.
    btnOk_->setEnabled(TfrmNameDialog::IsUsableName(edTitle_->text()) && !path.isEmpty());
}

void TfrmNewProject::SetProjectFolder(const QString& folder)
{
    edPath_->setText(WithTrailingSeparator(folder));
    deriveFileNames();
}

void TfrmNewProject::AssignModel(const QString& file) { edRoseFile_->setText(QDir::fromNativeSeparators(file)); }

void TfrmNewProject::browseFolder()
{
    const QString start = QDir(edPath_->text()).exists() ? edPath_->text() : programFolder_;
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Project path:"), start);
    if (!folder.isEmpty())
        SetProjectFolder(folder);
}

void TfrmNewProject::browseModel()
{
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Assign model..."), edPath_->text(),
                                                      QStringLiteral("Rose file (*.mdl)"));
    if (!file.isEmpty())
        AssignModel(file);
}

} // namespace telvo
