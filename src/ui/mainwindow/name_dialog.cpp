#include "ui/mainwindow/name_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace telvo {

TfrmNameDialog::TfrmNameDialog(const QString& caption, const QString& label, const QString& proposal,
                               QWidget* parent)
    : QDialog(parent)
{
    setObjectName("frmNameDialog");
    setWindowTitle(caption);
    label_ = new QLabel(label, this);
    edit_ = new QLineEdit(proposal, this);
    edit_->setObjectName("edName");
    edit_->selectAll();
    label_->setBuddy(edit_);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The name becomes a file name beside the project: refuse one that
    // would not be a plain name in that folder.
    auto check = [this] { buttons_->button(QDialogButtonBox::Ok)->setEnabled(IsUsableName(Name())); };
    connect(edit_, &QLineEdit::textChanged, this, check);
    check();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(edit_);
    layout->addWidget(buttons_);
    setMinimumWidth(340);
}

QString TfrmNameDialog::Name() const { return edit_->text().trimmed(); }

bool TfrmNameDialog::IsUsableName(const QString& name)
{
    const QString n = name.trimmed();
    return !n.isEmpty() && n != QLatin1String(".") && n != QLatin1String("..") && !n.contains(QLatin1Char('/')) &&
           !n.contains(QLatin1Char('\\'));
}

} // namespace telvo
