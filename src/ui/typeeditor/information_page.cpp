// The FB type editor's Information page: the type's properties and the
// interface grids (events, data, internal variables, plugs, sockets,
// versions, compilers), filled from the working type and edited in place.

#include "ui/typeeditor/type_editor.h"
#include "ui/typeeditor/type_editor_p.h"

#include "model/fb_type.h"
#include "model/iec_names.h"
#include "ui/diagram/diagram_renderer.h"
#include "ui/typeeditor/type_picture.h"
#include "workbench/workbench.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace telvo {

namespace {

const QStringList kDataTypes = {"ANY",   "ARRAY", "BOOL",  "BYTE",  "COLOR", "DATE_AND_TIME", "DINT",  "DWORD",
                                "INT",   "LINT",  "LREAL", "LWORD", "REAL",  "SINT",          "STRING", "TIME",
                                "UDINT", "UINT",  "USINT", "WORD",  "WSTRING", "MATRIX"};

// The type of a new event, as real-world type files write it.
const char* const kEventType = "Event";

QStringList columnsOf(TfrmDesignFBType::TGrid grid)
{
    using G = TfrmDesignFBType::TGrid;
    switch (grid) {
    case G::DataInputs:
    case G::DataOutputs:
    case G::InternalVars:
        return {"Name", "Type", "ArraySize", "Initial Value", "Comment"};
    case G::EventInputs:
    case G::EventOutputs:
        return {"Name", "Type", "Comment", "WITH"};
    case G::Plugs:
    case G::Sockets:
        return {"Name", "Type", "Comment"};
    case G::Versions:
        return {"Organization", "Version", "Author", "Date", "Remarks"};
    case G::Compilers:
        return {"Language", "Vendor", "Product", "Version"};
    case G::Algorithms:
        return {"Name", "Comment"};
    case G::Rungs:
        return {"Output", "Expression", "Comment"};
    }
    return {};
}

QString withText(const TFBEventType& event)
{
    QString text;
    for (const TFBDataMemberType* v : event.With)
        text += QLatin1Char('"') + qs(v->Name) + QStringLiteral("\",");
    return text;
}

// The type cells offer the data types in a drop-down list, the cell's text
// preselected; any other text may still be typed. A choice from the list is
// stored at once.
class TTypeCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* combo = new QComboBox(parent);
        combo->setObjectName("cmbDataType");
        combo->setEditable(true);
        combo->addItems(kDataTypes);
        auto* self = const_cast<TTypeCellDelegate*>(this);
        connect(combo, &QComboBox::activated, self, [self, combo] { emit self->commitData(combo); });
        return combo;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* combo = static_cast<QComboBox*>(editor);
        const QString text = index.data().toString();
        const int i = combo->findText(text);
        if (i >= 0)
            combo->setCurrentIndex(i);
        else
            combo->setEditText(text);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText());
    }
};

} // namespace

QWidget* TfrmDesignFBType::buildInformationPage()
{
    auto* page = new QWidget;
    page->setObjectName("tsInformation");
    auto* v = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    auto line = [&](const char* name, const QString& label) {
        auto* e = new QLineEdit(page);
        e->setObjectName(name);
        form->addRow(label, e);
        return e;
    };
    edtName_ = line("edtname", QStringLiteral("Name:"));
    edtComment_ = line("edtComment", QStringLiteral("Comment:"));
    edtTemplate_ = line("edtTemplate", QStringLiteral("Template:"));
    edtTemplate_->setReadOnly(true);
    edtTemplate_->setStyleSheet(QStringLiteral("background: #d4d0c8;"));
    v->addLayout(form);
    connect(edtName_, &QLineEdit::textEdited, this, [this](const QString& t) { fieldEdited("Name", t); });
    connect(edtComment_, &QLineEdit::textEdited, this, [this](const QString& t) { fieldEdited("Comment", t); });

    auto* props = new QTabWidget(page);
    props->setObjectName("pcProperties");
    auto* ident = new QWidget;
    auto* identForm = new QFormLayout(ident);
    edtStandard_ = new QLineEdit(ident);
    edtStandard_->setObjectName("edtStandard");
    edtDescription_ = new QLineEdit(ident);
    edtDescription_->setObjectName("edtDescription");
    identForm->addRow(QStringLiteral("Standard:"), edtStandard_);
    identForm->addRow(QStringLiteral("Description:"), edtDescription_);
    props->addTab(ident, QStringLiteral("Identification"));
    connect(edtStandard_, &QLineEdit::textEdited, this, [this](const QString& t) { fieldEdited("Standard", t); });
    connect(edtDescription_, &QLineEdit::textEdited, this,
            [this](const QString& t) { fieldEdited("Description", t); });
    buildInterfaceGrid(TGrid::Versions, QStringLiteral("Versions"), props);
    auto* compilerPage = buildInterfaceGrid(TGrid::Compilers, QStringLiteral("CompilerInfo"), props);
    auto* compilerForm = new QFormLayout;
    edtHeader_ = new QLineEdit(compilerPage);
    edtHeader_->setObjectName("edtHeader");
    edtClassdef_ = new QLineEdit(compilerPage);
    edtClassdef_->setObjectName("edtClassdef");
    compilerForm->addRow(QStringLiteral("Header:"), edtHeader_);
    compilerForm->addRow(QStringLiteral("Classdef:"), edtClassdef_);
    static_cast<QVBoxLayout*>(compilerPage->layout())->insertLayout(0, compilerForm);
    connect(edtHeader_, &QLineEdit::textEdited, this, [this](const QString& t) { fieldEdited("Header", t); });
    connect(edtClassdef_, &QLineEdit::textEdited, this, [this](const QString& t) { fieldEdited("Classdef", t); });
    props->setMaximumHeight(190);
    v->addWidget(props);

    auto* lists = new QTabWidget(page);
    lists->setObjectName("pcInterface");
    buildInterfaceGrid(TGrid::DataInputs, QStringLiteral("Data Input"), lists);
    buildInterfaceGrid(TGrid::DataOutputs, QStringLiteral("Data Output"), lists);
    buildInterfaceGrid(TGrid::EventInputs, QStringLiteral("Event Input"), lists);
    buildInterfaceGrid(TGrid::EventOutputs, QStringLiteral("Event Output"), lists);
    buildInterfaceGrid(TGrid::Plugs, QStringLiteral("Plug List"), lists);
    buildInterfaceGrid(TGrid::Sockets, QStringLiteral("Socket List"), lists);
    buildInterfaceGrid(TGrid::InternalVars, QStringLiteral("Internal Variables"), lists);
    v->addWidget(lists, 1);
    return page;
}

QWidget* TfrmDesignFBType::buildInterfaceGrid(TGrid grid, const QString& caption, QTabWidget* tabs)
{
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    auto* h = new QHBoxLayout;
    auto* table = new QTableWidget(1, static_cast<int>(columnsOf(grid).size()), page);
    const QString key = caption.simplified().remove(' ');
    table->setObjectName(QStringLiteral("sg") + key);
    table->setHorizontalHeaderLabels(columnsOf(grid));
    table->verticalHeader()->setDefaultSectionSize(18);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    grids_[static_cast<int>(grid)] = table;
    const bool dataList = grid == TGrid::DataInputs || grid == TGrid::DataOutputs || grid == TGrid::InternalVars;
    if (dataList) {
        table->setItemDelegateForColumn(1, new TTypeCellDelegate(table));
        // The list of types stands over a type cell as soon as the cell is
        // selected, not only after a double click.
        connect(table, &QTableWidget::currentCellChanged, this, [this, table](int row, int column) {
            if (filling_ || column != 1 || row < 0 || !table->isEnabled())
                return;
            if (QTableWidgetItem* item = table->item(row, column))
                table->editItem(item);
        });
    }
    // Hiding the type list when the grid scrolls: the delegate's editor is
    // closed by the view itself.
    connect(table, &QTableWidget::itemChanged, this, [this, grid](QTableWidgetItem* item) {
        if (!filling_)
            gridEdited(grid, item->row(), item->column());
    });
    h->addWidget(table, 1);
    if (grid == TGrid::EventInputs || grid == TGrid::EventOutputs) {
        const bool inputs = grid == TGrid::EventInputs;
        auto* side = new QVBoxLayout;
        side->addWidget(new QLabel(QStringLiteral("WITH:")));
        auto* list = new QListWidget(page);
        list->setObjectName(inputs ? "clbWithInputs" : "clbWithOutputs");
        list->setMaximumWidth(150);
        side->addWidget(list, 1);
        h->addLayout(side);
        (inputs ? withInputs_ : withOutputs_) = list;
        connect(list, &QListWidget::itemChanged, this, [this, inputs] {
            if (!filling_)
                withTicked(inputs);
        });
        connect(table, &QTableWidget::currentCellChanged, this, [this, inputs] { eventRowSelected(inputs); });
    }
    v->addLayout(h, 1);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("Add"), page);
    add->setObjectName(QStringLiteral("btnAdd") + key);
    auto* del = new QPushButton(QStringLiteral("Delete"), page);
    del->setObjectName(QStringLiteral("btnDelete") + key);
    deleteButtons_[static_cast<int>(grid)] = del;
    buttons->addWidget(add);
    buttons->addWidget(del);
    buttons->addStretch(1);
    v->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, [this, grid] { AddClick(grid); });
    connect(del, &QPushButton::clicked, this, [this, grid] { DeleteClick(grid); });
    if (tabs)
        tabs->addTab(page, caption);
    return page;
}

void TfrmDesignFBType::fillInformation()
{
    filling_ = true;
    auto set = [](QLineEdit* e, const std::string& text) {
        if (e->text() != qs(text))
            e->setText(qs(text));
    };
    set(edtName_, type_->Name);
    set(edtComment_, type_->Comment);
    edtTemplate_->setText(templateName_);
    set(edtStandard_, type_->Standard);
    set(edtDescription_, type_->Description);
    set(edtHeader_, type_->CompilerHeader);
    set(edtClassdef_, type_->CompilerClassDef);
    filling_ = false;
}

int TfrmDesignFBType::count(TGrid grid) const
{
    if (!type_)
        return 0;
    switch (grid) {
    case TGrid::DataInputs: return static_cast<int>(type_->DataInputs.size());
    case TGrid::DataOutputs: return static_cast<int>(type_->DataOutputs.size());
    case TGrid::EventInputs: return static_cast<int>(type_->EventInputs.size());
    case TGrid::EventOutputs: return static_cast<int>(type_->EventOutputs.size());
    case TGrid::Plugs: return static_cast<int>(type_->Plugs.size());
    case TGrid::Sockets: return static_cast<int>(type_->Sockets.size());
    case TGrid::InternalVars: return static_cast<int>(type_->InternalVars.size());
    case TGrid::Versions: return static_cast<int>(type_->Versions.size());
    case TGrid::Compilers: return static_cast<int>(type_->Compilers.size());
    case TGrid::Algorithms: return static_cast<int>(type_->Algorithms.size());
    case TGrid::Rungs: {
        const int a = Grid(TGrid::Algorithms)->currentRow();
        return a >= 0 && a < static_cast<int>(type_->Algorithms.size())
                   ? static_cast<int>(type_->Algorithms[a]->Rungs.size())
                   : 0;
    }
    }
    return 0;
}

std::vector<std::string*> TfrmDesignFBType::fields(TGrid grid, int row) const
{
    if (!type_ || row < 0 || row >= count(grid))
        return {};
    auto data = [](TFBDataMemberType& d) -> std::vector<std::string*> {
        return {&d.Name, &d.Type, &d.ArraySize, &d.InitialValue, &d.Comment};
    };
    auto event = [](TFBEventType& e) -> std::vector<std::string*> { return {&e.Name, &e.Type, &e.Comment}; };
    switch (grid) {
    case TGrid::DataInputs: return data(*type_->DataInputs[row]);
    case TGrid::DataOutputs: return data(*type_->DataOutputs[row]);
    case TGrid::EventInputs: return event(*type_->EventInputs[row]);
    case TGrid::EventOutputs: return event(*type_->EventOutputs[row]);
    case TGrid::Plugs: {
        auto& p = *type_->Plugs[row];
        return {&p.Name, &p.Type, &p.Comment};
    }
    case TGrid::Sockets: {
        auto& p = *type_->Sockets[row];
        return {&p.Name, &p.Type, &p.Comment};
    }
    case TGrid::InternalVars: {
        auto& v = *type_->InternalVars[row];
        return {&v.Name, &v.Type, &v.ArraySize, &v.InitialValue, &v.Comment};
    }
    case TGrid::Versions: {
        auto& v = *type_->Versions[row];
        return {&v.Organization, &v.Version, &v.Author, &v.Date, &v.Remarks};
    }
    case TGrid::Compilers: {
        auto& c = *type_->Compilers[row];
        return {&c.Language, &c.Vendor, &c.Product, &c.Version};
    }
    case TGrid::Algorithms: {
        auto& a = *type_->Algorithms[row];
        return {&a.Name, &a.Comment};
    }
    case TGrid::Rungs: {
        auto& r = *type_->Algorithms[Grid(TGrid::Algorithms)->currentRow()]->Rungs[row];
        return {&r.Output, &r.Expression, &r.Comment};
    }
    }
    return {};
}

QTableWidget* TfrmDesignFBType::Grid(TGrid grid) const { return grids_[static_cast<int>(grid)]; }

void TfrmDesignFBType::fillGrid(TGrid grid)
{
    QTableWidget* table = Grid(grid);
    if (!table)
        return;
    filling_ = true;
    const int n = count(grid);
    const int currentRow = table->currentRow();
    table->setRowCount(std::max(1, n));
    const int columns = table->columnCount();
    for (int r = 0; r < std::max(1, n); ++r) {
        const std::vector<std::string*> f = fields(grid, r);
        for (int c = 0; c < columns; ++c) {
            QString text;
            if (c < static_cast<int>(f.size()))
                text = qs(*f[c]);
            else if (c == 3 && (grid == TGrid::EventInputs || grid == TGrid::EventOutputs) && r < n)
                text = withText(grid == TGrid::EventInputs ? static_cast<TFBEventType&>(*type_->EventInputs[r])
                                                           : *type_->EventOutputs[r]);
            QTableWidgetItem* item = table->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                table->setItem(r, c, item);
            }
            if (item->text() != text)
                item->setText(text);
            // The WITH cell is made from the check list; interface array
            // sizes are not kept by the file (only internal variables').
            const bool readOnly = (c == 3 && (grid == TGrid::EventInputs || grid == TGrid::EventOutputs)) ||
                                  (c == 2 && (grid == TGrid::DataInputs || grid == TGrid::DataOutputs));
            item->setFlags(readOnly ? Qt::ItemIsEnabled | Qt::ItemIsSelectable
                                    : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        }
    }
    for (int r = 0; r < n; ++r)
        markTypeCell(grid, r);
    if (currentRow >= 0 && currentRow < table->rowCount())
        table->setCurrentCell(currentRow, std::max(0, table->currentColumn()));
    if (QPushButton* del = deleteButtons_[static_cast<int>(grid)])
        del->setEnabled(n > 0);
    // A grid emptied by Delete stays off until Add; one with items is on.
    if (n > 0)
        table->setEnabled(true);
    filling_ = false;
}

void TfrmDesignFBType::markTypeCell(TGrid grid, int row)
{
    if (grid != TGrid::DataInputs && grid != TGrid::DataOutputs && grid != TGrid::InternalVars)
        return;
    QTableWidgetItem* item = Grid(grid)->item(row, 1);
    const std::vector<std::string*> f = fields(grid, row);
    if (!item || f.size() < 2)
        return;
    // Kept as typed (a type of another library may come later), but the
    // user sees that nothing here knows it.
    const bool known = IsAcceptedDataType(*f[1], workbench_.LibraryTypeNames);
    const bool wasFilling = filling_;
    filling_ = true;
    item->setForeground(known ? QBrush() : QBrush(QColor::fromRgb(DiagramColour::Warning)));
    item->setToolTip(known ? QString() : qs(UnknownDataTypeText(*f[1])));
    filling_ = wasFilling;
}

void TfrmDesignFBType::fillWithLists()
{
    filling_ = true;
    auto fill = [this](QListWidget* list, const auto& vars) {
        list->clear();
        for (const auto& v : vars) {
            auto* item = new QListWidgetItem(qs(v->Name), list);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
            item->setCheckState(Qt::Unchecked);
        }
    };
    fill(withInputs_, type_->DataInputs);
    fill(withOutputs_, type_->DataOutputs);
    filling_ = false;
    eventRowSelected(true);
    eventRowSelected(false);
}

void TfrmDesignFBType::eventRowSelected(bool inputs)
{
    if (!type_)
        return;
    QTableWidget* table = Grid(inputs ? TGrid::EventInputs : TGrid::EventOutputs);
    QListWidget* list = inputs ? withInputs_ : withOutputs_;
    const int row = table->currentRow();
    QString cell;
    if (row >= 0 && table->item(row, 3))
        cell = table->item(row, 3)->text();
    filling_ = true;
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(cell.contains(QLatin1Char('"') + list->item(i)->text() + QLatin1Char('"'))
                                         ? Qt::Checked
                                         : Qt::Unchecked);
    filling_ = false;
}

void TfrmDesignFBType::withTicked(bool inputs)
{
    const TGrid grid = inputs ? TGrid::EventInputs : TGrid::EventOutputs;
    const int row = Grid(grid)->currentRow();
    if (!type_ || row < 0 || row >= count(grid))
        return;
    TFBEventType& event = inputs ? static_cast<TFBEventType&>(*type_->EventInputs[row]) : *type_->EventOutputs[row];
    QListWidget* list = inputs ? withInputs_ : withOutputs_;
    event.With.clear();
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() != Qt::Checked)
            continue;
        const std::string name = ss(list->item(i)->text());
        TFBDataMemberType* var = inputs ? static_cast<TFBDataMemberType*>(type_->FindDataInput(name))
                                        : type_->FindDataOutput(name);
        if (var)
            event.AddWith(var);
    }
    fillGrid(grid);
    picture_->Repaint();
    Commit(QStringLiteral("WITH of ") + qs(event.Name));
}

// ===========================================================================
// Editing

void TfrmDesignFBType::fieldEdited(const QString& field, const QString& text)
{
    if (!type_ || filling_)
        return;
    // Every field reaches the working type as it is typed, so a save never
    // drops what the user typed.
    const std::string value = ss(text);
    if (field == QLatin1String("Name")) {
        type_->Name = value;
        picture_->Repaint();
    } else if (field == QLatin1String("Comment")) {
        type_->Comment = value;
    } else if (field == QLatin1String("Standard")) {
        type_->Standard = value;
    } else if (field == QLatin1String("Description")) {
        type_->Description = value;
    } else if (field == QLatin1String("Header")) {
        type_->CompilerHeader = value;
    } else if (field == QLatin1String("Classdef")) {
        type_->CompilerClassDef = value;
    }
    Commit(field + QStringLiteral(" typed"), field);
}

QString TfrmDesignFBType::refusal(TGrid grid, int row, int column, const std::string& text) const
{
    auto clash = [&](const auto& list, const char* what) -> QString {
        for (int i = 0; i < static_cast<int>(list.size()); ++i)
            if (i != row && list[i]->Name == text)
                return QStringLiteral("There is already a %1 named %2.").arg(QString::fromLatin1(what), qs(text));
        return {};
    };
    if (const QString why = nameRefusal(grid, column, text); !why.isEmpty())
        return why;
    if (column == 0) {
        switch (grid) {
        case TGrid::DataInputs: return clash(type_->DataInputs, "data input");
        case TGrid::DataOutputs: return clash(type_->DataOutputs, "data output");
        case TGrid::EventInputs: return clash(type_->EventInputs, "event input");
        case TGrid::EventOutputs: return clash(type_->EventOutputs, "event output");
        default: break;
        }
    }
    if (grid == TGrid::Versions && column == 1) {
        for (int i = 0; i < count(grid); ++i)
            if (i != row && type_->Versions[i]->Version == text)
                return QStringLiteral("There is already a version %1.").arg(qs(text));
    }
    if (grid == TGrid::Compilers && column != 2) {
        TFB_Compiler probe = *type_->Compilers[row];
        *(&probe.Language + column) = text; // Language, Vendor, Product, Version in order
        for (int i = 0; i < count(grid); ++i) {
            const TFB_Compiler& c = *type_->Compilers[i];
            if (i != row && c.Language == probe.Language && c.Vendor == probe.Vendor && c.Version == probe.Version)
                return QStringLiteral("There is already a compiler %1 %2 %3.")
                    .arg(qs(c.Language), qs(c.Vendor), qs(c.Version));
        }
    }
    return {};
}

QString TfrmDesignFBType::nameRefusal(TGrid grid, int column, const std::string& text) const
{
    const bool named = grid == TGrid::DataInputs || grid == TGrid::DataOutputs || grid == TGrid::EventInputs ||
                       grid == TGrid::EventOutputs || grid == TGrid::Plugs || grid == TGrid::Sockets ||
                       grid == TGrid::InternalVars || grid == TGrid::Algorithms;
    // Every reader of the file, the script engine and the generated Pascal
    // code take these names as identifiers.
    return column == 0 && named ? qs(IdentifierRefusal(text)) : QString();
}

bool TfrmDesignFBType::createEmpty(TGrid grid)
{
    switch (grid) {
    case TGrid::DataInputs: return type_->AddDataInput("", "", "", "", "") != nullptr;
    case TGrid::DataOutputs: return type_->AddDataOutput("", "", "", "", "") != nullptr;
    case TGrid::EventInputs: return type_->AddEventInput("", kEventType, "") != nullptr;
    case TGrid::EventOutputs: return type_->AddEventOutput("", kEventType, "") != nullptr;
    case TGrid::Plugs: return type_->AddPlug("", "", "") != nullptr;
    case TGrid::Sockets: return type_->AddSocket("", "", "") != nullptr;
    case TGrid::InternalVars: return type_->AddInternalVar("", "", "", "", "") != nullptr;
    case TGrid::Versions: return type_->AddVersion("", "", "", "", "") != nullptr;
    case TGrid::Compilers: return type_->AddCompiler("", "", "", "") != nullptr;
    case TGrid::Algorithms: return type_->AddAlgorithm("", "") != nullptr;
    case TGrid::Rungs: {
        const int a = Grid(TGrid::Algorithms)->currentRow();
        if (a < 0 || a >= count(TGrid::Algorithms))
            return false;
        return type_->Algorithms[a]->AddRung("", "", "") != nullptr;
    }
    }
    return false;
}

void TfrmDesignFBType::SetCell(TGrid grid, int row, int column, const QString& text)
{
    QTableWidget* table = Grid(grid);
    if (row < 0 || row >= table->rowCount() || column < 0 || column >= table->columnCount())
        return;
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        filling_ = true;
        table->setItem(row, column, item);
        filling_ = false;
    }
    item->setText(text); // gridEdited through itemChanged
}

void TfrmDesignFBType::gridEdited(TGrid grid, int row, int column)
{
    if (!type_)
        return;
    QTableWidget* table = Grid(grid);
    const std::string text = ss(table->item(row, column)->text());
    if (count(grid) == 0 && row == 0) {
        if (text.empty()) {
            fillGrid(grid);
            return;
        }
        // A refused name makes no item either.
        if (const QString refused = nameRefusal(grid, column, text); !refused.isEmpty()) {
            workbench_.UI().ShowWarning(ss(refused));
            fillGrid(grid);
            return;
        }
        if (!createEmpty(grid)) {
            fillGrid(grid);
            return;
        }
    }
    std::vector<std::string*> f = fields(grid, row);
    if (column >= static_cast<int>(f.size()) || *f[column] == text)
        return;
    const QString refused = refusal(grid, row, column, text);
    if (!refused.isEmpty()) {
        workbench_.UI().ShowWarning(ss(refused));
        fillGrid(grid);
        return;
    }
    *f[column] = text;
    if (column == 1)
        markTypeCell(grid, row);
    const bool port = grid == TGrid::DataInputs || grid == TGrid::DataOutputs || grid == TGrid::EventInputs ||
                      grid == TGrid::EventOutputs || grid == TGrid::Plugs || grid == TGrid::Sockets;
    if (port) {
        // A renamed data port renames its WITH entry and every WITH cell.
        if (grid == TGrid::DataInputs || grid == TGrid::DataOutputs) {
            fillWithLists();
            fillGrid(grid == TGrid::DataInputs ? TGrid::EventInputs : TGrid::EventOutputs);
        }
        picture_->Repaint();
        fillAlgorithmNameLists();
    }
    if (grid == TGrid::InternalVars)
        fillAlgorithmNameLists();
    Commit(table->horizontalHeaderItem(column)->text() + QStringLiteral(" of ") +
           qs(*fields(grid, row)[0]) + QStringLiteral(" typed"));
}

void TfrmDesignFBType::AddClick(TGrid grid)
{
    if (!type_)
        return;
    auto freeName = [&](const QString& prefix, int from, auto taken) {
        int n = from;
        while (taken(ss(prefix + QString::number(n))))
            ++n;
        return ss(prefix + QString::number(n));
    };
    const int n = count(grid);
    std::string name;
    switch (grid) {
    case TGrid::DataInputs:
        name = freeName("D", n + 1, [&](const std::string& s) { return type_->FindDataInput(s) != nullptr; });
        type_->AddDataInput(name, "", "", "", "");
        break;
    case TGrid::DataOutputs:
        name = freeName("D", n + 1, [&](const std::string& s) { return type_->FindDataOutput(s) != nullptr; });
        type_->AddDataOutput(name, "", "", "", "");
        break;
    case TGrid::EventInputs:
        name = freeName("E", n + 1, [&](const std::string& s) { return type_->FindEventInput(s) != nullptr; });
        type_->AddEventInput(name, kEventType, "");
        break;
    case TGrid::EventOutputs:
        name = freeName("E", n + 1, [&](const std::string& s) { return type_->FindEventOutput(s) != nullptr; });
        type_->AddEventOutput(name, kEventType, "");
        break;
    case TGrid::Plugs:
        name = "P" + std::to_string(n + 1);
        type_->AddPlug(name, "", "");
        break;
    case TGrid::Sockets:
        name = "S" + std::to_string(n + 1);
        type_->AddSocket(name, "", "");
        break;
    case TGrid::InternalVars:
        name = "IV" + std::to_string(n + 1);
        type_->AddInternalVar(name, "", "", "", "");
        break;
    case TGrid::Versions: {
        name = freeName("", n + 1, [&](const std::string& s) {
            for (const auto& v : type_->Versions)
                if (v->Version == s)
                    return true;
            return false;
        });
        type_->AddVersion("", name, "", "", "");
        break;
    }
    case TGrid::Compilers: {
        name = freeName("", n + 1, [&](const std::string& s) {
            for (const auto& c : type_->Compilers)
                if (c->Language == s && c->Vendor.empty() && c->Version.empty())
                    return true;
            return false;
        });
        type_->AddCompiler(name, "", "", "");
        break;
    }
    case TGrid::Algorithms:
        name = "Alg" + std::to_string(n + 1);
        type_->AddAlgorithm(name, "");
        break;
    case TGrid::Rungs:
        if (!createEmpty(grid))
            return;
        name = "rung";
        break;
    }
    fillGrid(grid);
    Grid(grid)->setEnabled(true);
    Grid(grid)->setCurrentCell(count(grid) - 1, 0);
    if (grid == TGrid::DataInputs || grid == TGrid::DataOutputs)
        fillWithLists();
    if (grid == TGrid::Algorithms)
        SelectAlgorithm(count(grid) - 1);
    InterfaceChanged();
    Commit(QStringLiteral("Add ") + qs(name));
}

void TfrmDesignFBType::DeleteClick(TGrid grid)
{
    if (!type_)
        return;
    QTableWidget* table = Grid(grid);
    const int row = table->currentRow();
    if (row < 0 || row >= count(grid))
        return;
    const std::string name = *fields(grid, row)[0];
    const bool ask = grid != TGrid::Versions && grid != TGrid::Compilers && grid != TGrid::Rungs;
    if (ask && !workbench_.UI().AskYesNo("Delete " + name + " ?"))
        return;
    auto erase = [row](auto& list) { list.erase(list.begin() + row); };
    switch (grid) {
    case TGrid::DataInputs: type_->DeleteDataInput(name); break;
    case TGrid::DataOutputs: type_->DeleteDataOutput(name); break;
    case TGrid::EventInputs: erase(type_->EventInputs); break;
    case TGrid::EventOutputs: erase(type_->EventOutputs); break;
    case TGrid::Plugs: erase(type_->Plugs); break;
    case TGrid::Sockets: erase(type_->Sockets); break;
    case TGrid::InternalVars: erase(type_->InternalVars); break;
    case TGrid::Versions: erase(type_->Versions); break;
    case TGrid::Compilers: erase(type_->Compilers); break;
    case TGrid::Algorithms: erase(type_->Algorithms); break;
    case TGrid::Rungs: erase(type_->Algorithms[Grid(TGrid::Algorithms)->currentRow()]->Rungs); break;
    }
    fillGrid(grid);
    if (grid == TGrid::DataInputs || grid == TGrid::DataOutputs) {
        fillWithLists();
        fillGrid(grid == TGrid::DataInputs ? TGrid::EventInputs : TGrid::EventOutputs);
    }
    if (grid == TGrid::Algorithms)
        fillAlgorithm();
    InterfaceChanged();
    if (count(grid) == 0) {
        filling_ = true;
        table->item(0, 0)->setText(QStringLiteral("(empty)"));
        filling_ = false;
        table->setEnabled(false);
    }
    Commit(QStringLiteral("Delete ") + qs(name));
}

} // namespace telvo
