#include "ui/diagram/fb_diagram_dialogs.h"

#include "model/fb_manager.h"
#include "model/user_interface.h"
#include "model/value_text.h"
#include "systemlayer/system_layer.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <set>

namespace telvo {

namespace {

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

constexpr int IppRole = Qt::UserRole + 1;

} // namespace

// ---------------------------------------------------------------------------

TfrmFBProperties::TfrmFBProperties(TFB_InstanceRef& record, TFB_Manager& manager, TUserInterface& ui,
                                   QWidget* parent)
    : QDialog(parent), record_(record), manager_(manager), ui_(ui)
{
    setObjectName(QStringLiteral("frmFBProperties"));
    setWindowTitle(QStringLiteral("FB Properties"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    name_ = new QLineEdit(qs(record.Name), this);
    name_->setObjectName(QStringLiteral("edtName"));
    type_ = new QComboBox(this);
    type_->setObjectName(QStringLiteral("cmbType"));
    type_->addItem(record.Type ? qs(record.Type->Name) : QString());
    type_->setEnabled(false);
    description_ = new QPlainTextEdit(qs(record.Comment), this);
    description_->setObjectName(QStringLiteral("memDescription"));
    description_->setFixedHeight(60);
    form->addRow(QStringLiteral("Name:"), name_);
    form->addRow(QStringLiteral("Type:"), type_);
    form->addRow(QStringLiteral("Description:"), description_);
    layout->addLayout(form);

    auto* tabs = new QTabWidget(this);
    grid_ = new QTableWidget(static_cast<int>(record.DataInputs.size()), 2, tabs);
    grid_->setObjectName(QStringLiteral("grdDataInputs"));
    grid_->setHorizontalHeaderLabels({QStringLiteral("Input"), QStringLiteral("Value")});
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->verticalHeader()->setVisible(false);
    for (int i = 0; i < static_cast<int>(record.DataInputs.size()); ++i) {
        // Only the value column is edited: the names are the type's.
        auto* name = new QTableWidgetItem(qs(record.DataInputs[i]->Name()));
        name->setFlags(name->flags() & ~Qt::ItemIsEditable);
        grid_->setItem(i, 0, name);
        grid_->setItem(i, 1, new QTableWidgetItem(qs(record.DataInputs[i]->ValueText)));
    }
    tabs->addTab(grid_, QStringLiteral("DataInput"));
    layout->addWidget(tabs);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TfrmFBProperties::OkClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(380, 360);
}

void TfrmFBProperties::OkClick()
{
    // Everything is checked before anything is stored: a refused dialog
    // leaves the record as it was.
    std::vector<std::string> values;
    for (int i = 0; i < grid_->rowCount() && i < static_cast<int>(record_.DataInputs.size()); ++i) {
        const QTableWidgetItem* item = grid_->item(i, 1);
        values.push_back(item ? item->text().toStdString() : std::string());
        if (values.back().empty())
            continue;
        TFBDataMember trial = *record_.DataInputs[i];
        try {
            trial.SetValueFromText(values.back());
        } catch (const EConvertError& e) {
            ui_.ShowMessage(e.what());
            return;
        }
    }
    const std::string name = name_->text().toStdString();
    if (name != record_.Name) {
        // Records are unique by name: a second record of that name would
        // make every lookup by name ambiguous.
        if (name.empty() || !manager_.RenameInstance(&record_, name)) {
            ui_.ShowMessage("The FB instance cannot be named " + name + ": another FB instance has that name.");
            return;
        }
    }
    record_.Comment = description_->toPlainText().toStdString();
    for (size_t i = 0; i < values.size(); ++i) {
        TFBDataMember& input = *record_.DataInputs[i];
        input.ValueText = values[i];
        if (!values[i].empty())
            input.SetValueFromText(values[i]);
    }
    accept();
}

// ---------------------------------------------------------------------------

TfrmEditNote::TfrmEditNote(const QString& text, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmEditNote"));
    setWindowTitle(QStringLiteral("Edit note"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName(QStringLiteral("memNote"));
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    memo_->setPlainText(shown);
    layout->addWidget(memo_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(360, 220);
}

std::string TfrmEditNote::NoteText() const
{
    QString text = memo_->toPlainText();
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text.toStdString();
}

// ---------------------------------------------------------------------------

TfrmSelectIPPfromIPT::TfrmSelectIPPfromIPT(QWidget* parent) : QWidget(parent, Qt::Popup)
{
    setObjectName(QStringLiteral("frmSelectIPPfromIPT"));
    // A borderless black pop-up; the tree and the buttons keep their own
    // colours inside it.
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::WindowText, Qt::white);
    setPalette(black);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* hint = new QLabel(QStringLiteral("You can select multiple IPPs by holding the CTRL or SHIFT key and the press Add"),
                            this);
    hint->setObjectName(QStringLiteral("lblHint"));
    hint->setWordWrap(true);
    layout->addWidget(hint);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("tvIPPs"));
    tree_->setHeaderHidden(true);
    tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree_->setPalette(QApplication::palette(tree_));
    layout->addWidget(tree_);
    add_ = new QPushButton(QStringLiteral("Add selected"), this);
    add_->setObjectName(QStringLiteral("btnAddSelected"));
    add_->setPalette(QApplication::palette(add_));
    layout->addWidget(add_);
    // Kept, and never shown: new IPPs are made in the system layer.
    auto* createNew = new QPushButton(QStringLiteral("Create new..."), this);
    createNew->setObjectName(QStringLiteral("btnCreateNew"));
    createNew->setPalette(QApplication::palette(createNew));
    createNew->hide();
    layout->addWidget(createNew);
    connect(add_, &QPushButton::clicked, this, [this] {
        std::vector<TslIPPRef*> chosen;
        for (QTreeWidgetItem* node : tree_->selectedItems())
            if (node->parent())
                if (TslIPPRef* ipp = IppOf(node))
                    chosen.push_back(ipp);
        hide();
        if (OnAddSelected)
            OnAddSelected(chosen);
    });
    resize(260, 320);
}

TslIPPRef* TfrmSelectIPPfromIPT::IppOf(const QTreeWidgetItem* node)
{
    if (!node)
        return nullptr;
    return reinterpret_cast<TslIPPRef*>(node->data(0, IppRole).value<quintptr>());
}

void TfrmSelectIPPfromIPT::Fill(const TSystemLayerManager& layer)
{
    tree_->clear();
    auto leaf = [](QTreeWidgetItem* parent, const QString& text, TslIPPRef* ipp) {
        auto* node = new QTreeWidgetItem(parent, {text});
        node->setData(0, IppRole, QVariant::fromValue(reinterpret_cast<quintptr>(ipp)));
    };
    auto ippText = [](const TslIPPRef& ipp) {
        return ipp.Owner ? qs(ipp.Owner->Name) + QStringLiteral(".") + qs(ipp.Name) : qs(ipp.Name);
    };
    auto* unassigned = new QTreeWidgetItem(tree_, {QStringLiteral("Unassigned IPPs")});
    std::set<const TslIPPRef*> bound;
    for (const auto& object : layer.Objects) {
        auto* device = dynamic_cast<TslIODevice*>(object.get());
        if (!device)
            continue;
        auto* root = new QTreeWidgetItem(tree_, {qs(device->Name)});
        for (const auto* list : {&device->InputList, &device->OutputList})
            for (const auto& io : *list)
                if (io->BoundObject) {
                    leaf(root, ippText(*io->BoundObject), io->BoundObject);
                    bound.insert(io->BoundObject);
                }
        if (auto* own = device->IppList())
            for (const auto& ipp : *own)
                leaf(root, qs(ipp->Name), ipp.get());
    }
    for (const auto& object : layer.Objects) {
        auto* ipt = dynamic_cast<TslIPT*>(object.get());
        if (!ipt)
            continue;
        for (const auto& ipp : ipt->IPPList)
            if (!bound.count(ipp.get()))
                leaf(unassigned, ippText(*ipp), ipp.get());
    }
    tree_->expandAll();
}

} // namespace telvo
