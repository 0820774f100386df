#include "ui/mainwindow/start_center.h"

#include "ui/image_list.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace telvo {

TfrmStartCenter::TfrmStartCenter(const QString& stereotypesPath, bool doNotShowAgain, QWidget* parent)
    : QDialog(parent)
{
    setObjectName("frmStartCenter");
    setWindowTitle(QStringLiteral("TELVO Start Center"));
    setModal(true);

    auto* banner = new QLabel(this);
    banner->setObjectName("lbBanner");
    banner->setPixmap(ProductBanner(QSize(520, 84), devicePixelRatioF()));
    banner->setAlignment(Qt::AlignCenter);

    auto* btnNew = bigButton("btnNewProject", QStringLiteral("New Project"),
                             QStringLiteral("Start an empty project with its own folder"), QStringLiteral("new_project"),
                             TChoice::NewProject);
    auto* btnOpen = bigButton("btnOpenProject", QStringLiteral("Open Project"),
                              QStringLiteral("Continue with a project file (.crf)"), QStringLiteral("open_project"),
                              TChoice::OpenProject);
    auto* btnWizard = bigButton("btnWizardHelp", QStringLiteral("Wizard Help"),
                                QStringLiteral("Let the wizard show you around"), QStringLiteral("wizard"),
                                TChoice::Wizard);

    auto* stereoLabel = new QLabel(QStringLiteral("Rational Rose default stereotypes file:"), this);
    edStereotypes_ = new QLineEdit(stereotypesPath, this);
    edStereotypes_->setObjectName("edStereotypes");
    stereoLabel->setBuddy(edStereotypes_);
    auto* btnBrowse = new QPushButton(QStringLiteral("Browse..."), this);
    btnBrowse->setObjectName("btnBrowseStereotypes");
    connect(btnBrowse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Rational Rose default stereotypes file:"),
                                                          QString(), QStringLiteral("All (*.*) (*)"));
        if (!file.isEmpty())
            edStereotypes_->setText(file);
    });

    cbDoNotShow_ = new QCheckBox(QStringLiteral("Don't show this window again"), this);
    cbDoNotShow_->setObjectName("cbDoNotShow");
    cbDoNotShow_->setChecked(doNotShowAgain);
    auto* btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName("btnClose");
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* stereoRow = new QHBoxLayout;
    stereoRow->addWidget(edStereotypes_, 1);
    stereoRow->addWidget(btnBrowse);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cbDoNotShow_);
    bottom->addStretch(1);
    bottom->addWidget(btnClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner);
    layout->addSpacing(6);
    layout->addWidget(btnNew);
    layout->addWidget(btnOpen);
    layout->addWidget(btnWizard);
    layout->addSpacing(6);
    layout->addWidget(line);
    layout->addWidget(stereoLabel);
    layout->addLayout(stereoRow);
    layout->addSpacing(6);
    layout->addLayout(bottom);
}

QPushButton* TfrmStartCenter::bigButton(const QString& name, const QString& text, const QString& detail,
                                        const QString& icon, TChoice choice)
{
    auto* button = new QPushButton(ToolIcon(icon), text + QStringLiteral("\n") + detail, this);
    button->setObjectName(name);
    button->setIconSize(QSize(32, 32));
    button->setMinimumHeight(52);
    button->setStyleSheet(QStringLiteral("text-align: left; padding-left: 10px;"));
    connect(button, &QPushButton::clicked, this, [this, choice] {
        choice_ = choice;
        accept();
    });
    return button;
}

QString TfrmStartCenter::StereotypesPath() const { return edStereotypes_->text(); }
bool TfrmStartCenter::DoNotShowAgain() const { return cbDoNotShow_->isChecked(); }

QPushButton* TfrmStartCenter::Button(const QString& objectName) const
{
    return findChild<QPushButton*>(objectName);
}

} // namespace telvo
