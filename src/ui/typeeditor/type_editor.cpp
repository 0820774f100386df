#include "ui/typeeditor/type_editor.h"

#include "codegen/pascal_compiler.h"
#include "codegen/pascal_generator.h"
#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "model/iec_names.h"
#include "model/value_text.h"
#include "persistence/type_file.h"
#include "runtime/script_check.h"
#include "ui/diagram_renderer.h"
#include "ui/fb_diagram_editor.h"
#include "ui/main_form.h"
#include "ui/project_commands.h"
#include "ui/qt_user_interface.h"
#include "ui/typeeditor/ecc_page.h"
#include "ui/typeeditor/service_page.h"
#include "ui/typeeditor/type_picture.h"
#include "ui/typeeditor/type_snapshot.h"
#include "ui/typeeditor/xml_highlighter.h"
#include "workbench/workbench.h"

#include <pugixml.hpp>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUndoCommand>
#include <QUndoStack>
#include <QVBoxLayout>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>

namespace telvo {

namespace fs = std::filesystem;

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }

const char* const kTabCaptions[] = {"Information", "XML spec", "ECC",  "Composition", "Structure",
                                    "Algorithms",  "Test",     "Compile", "Service"};

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

// Lines of a text editor's content, every character as typed: tabs, trailing
// blanks and non-breaking spaces are kept (toPlainText would turn the last
// into blanks). An empty text has no lines.
std::vector<std::string> linesOf(const QPlainTextEdit* edit)
{
    QString raw = edit->document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    raw.replace(QChar::LineSeparator, QLatin1Char('\n'));
    std::vector<std::string> lines;
    if (raw.isEmpty())
        return lines;
    for (const QString& l : raw.split(QLatin1Char('\n')))
        lines.push_back(ss(l));
    return lines;
}

QString joinLines(const std::vector<std::string>& lines)
{
    QStringList parts;
    for (const auto& l : lines)
        parts << qs(l);
    return parts.join(QLatin1Char('\n'));
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

// One user action: the type's file text before and after it.
class TTypeEditCommand : public QUndoCommand {
public:
    TTypeEditCommand(TfrmDesignFBType& editor, const QString& text, std::string before, std::string after, int id)
        : QUndoCommand(text), editor_(editor), before_(std::move(before)), after_(std::move(after)), id_(id)
    {
    }
    void undo() override { editor_.Restore(before_); }
    void redo() override
    {
        // The action itself already changed the type when the step is pushed.
        if (first_) {
            first_ = false;
            return;
        }
        editor_.Restore(after_);
    }
    int id() const override { return id_; }
    bool mergeWith(const QUndoCommand* other) override
    {
        if (other->id() != id_)
            return false;
        after_ = static_cast<const TTypeEditCommand*>(other)->after_;
        return true;
    }

private:
    TfrmDesignFBType& editor_;
    std::string before_, after_;
    int id_;
    bool first_ = true;
};

void fixedFont(QWidget* w) { w->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)); }

// The inner FBs and connections of a file's network that the model could
// not make (a type missing from the library, a port its library type lacks):
// "FB (TYPE)" and "SOURCE -> DESTINATION", joined by ", "; empty when the
// written text holds them all.
std::string lostNetworkParts(const std::string& fileText, const std::string& written)
{
    pugi::xml_document in, out;
    if (!in.load_buffer(fileText.data(), fileText.size()) || !out.load_buffer(written.data(), written.size()))
        return {};
    pugi::xml_node a = in.child("FBType").child("FBNetwork");
    pugi::xml_node b = out.child("FBType").child("FBNetwork");
    if (!a.child("FB"))
        return {};
    std::multiset<std::string> have;
    for (pugi::xml_node fb : b.children("FB"))
        have.insert(std::string("FB ") + fb.attribute("Name").value());
    for (const char* list : {"EventConnections", "DataConnections"})
        for (pugi::xml_node c : b.child(list).children("Connection"))
            have.insert(std::string(c.attribute("Source").value()) + " -> " + c.attribute("Destination").value());
    std::string lost;
    auto take = [&](const std::string& key, const std::string& shown) {
        auto it = have.find(key);
        if (it != have.end()) {
            have.erase(it);
            return;
        }
        lost += (lost.empty() ? "" : ", ") + shown;
    };
    for (pugi::xml_node fb : a.children("FB"))
        take(std::string("FB ") + fb.attribute("Name").value(),
             std::string(fb.attribute("Name").value()) + " (" + fb.attribute("Type").value() + ")");
    // A constant on an inner port is written back only when it differs
    // from the port's initial value: it is not counted.
    std::set<std::string> ports;
    for (pugi::xml_node group : in.child("FBType").child("InterfaceList").children())
        for (pugi::xml_node port : group.children())
            ports.insert(port.attribute("Name").value());
    auto constant = [&](const char* end) { return !std::strchr(end, '.') && !ports.count(end); };
    for (const char* list : {"EventConnections", "DataConnections"})
        for (pugi::xml_node c : a.child(list).children("Connection")) {
            if (constant(c.attribute("Source").value()) || constant(c.attribute("Destination").value()))
                continue;
            const std::string key =
                std::string(c.attribute("Source").value()) + " -> " + c.attribute("Destination").value();
            take(key, key);
        }
    return lost;
}

} // namespace

// ===========================================================================
// Construction

TfrmDesignFBType::TfrmDesignFBType(TWorkbench& workbench, TMainForm* main, QWidget* parent)
    : QWidget(parent), workbench_(workbench), main_(main)
{
    setObjectName("frmDesignFBType");
    setWindowTitle(QStringLiteral("FB Type Editor"));
    // Every undo step writes the type through the file writer, which syncs
    // to disk; in memory-backed storage that costs nothing.
    std::error_code ec;
    scratch_ = fs::is_directory("/dev/shm", ec)
                   ? std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/telvo-type-editor-XXXXXX"))
                   : std::make_unique<QTemporaryDir>();
    if (!scratch_->isValid())
        scratch_ = std::make_unique<QTemporaryDir>();
    snapshots_ = std::make_unique<TTypeSnapshots>(fs::path(ss(scratch_->path())));
    undo_ = new QUndoStack(this);
    openFolder_ = qs(workbench_.ProgramFolder().string());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolBars();
    layout->addWidget(toolBar_);
    layout->addWidget(tabBar_);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName("Splitter1");
    picture_ = new TInterfacePicture(splitter_);
    pages_ = new QStackedWidget(splitter_);
    pages_->setObjectName("pcTypeEditor");
    splitter_->addWidget(picture_);
    splitter_->addWidget(pages_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    connect(splitter_, &QSplitter::splitterMoved, this, [this] {
        if (picture_->isVisible())
            pageWidth_ = pages_->width();
    });
    layout->addWidget(splitter_, 1);
    status_ = new QLabel(this);
    status_->setObjectName("StatusBar1");
    status_->setFrameShape(QFrame::StyledPanel);
    status_->setContentsMargins(4, 1, 4, 1);
    layout->addWidget(status_);

    // The pages share one stack, which is as wide as its widest page would
    // want: each page scrolls instead, so that the tab area starts at its
    // own width and the picture has the rest.
    auto addPage = [this](QWidget* page) {
        auto* area = new QScrollArea;
        area->setObjectName(page->objectName() + QStringLiteral("Scroll"));
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(true);
        area->setWidget(page);
        pages_->addWidget(area);
    };
    addPage(buildInformationPage());
    addPage(buildXmlPage());
    ecc_ = new TEccPage(*this);
    addPage(ecc_);
    addPage(buildCompositionPage());
    addPage(buildStructurePage());
    addPage(buildAlgorithmsPage());
    auto* test = new QWidget; // never shown: "Test" only sends its hint
    test->setObjectName("tsTest");
    addPage(test);
    addPage(buildCompilePage());
    service_ = new TServicePage(*this);
    addPage(service_);

    connect(undo_, &QUndoStack::cleanChanged, this, [this] { setCaption(); });
    connect(qApp, &QApplication::focusChanged, this, [this] { lastMergeKey_.clear(); });
    qApp->installEventFilter(this);
    updateEnabling();
    resize(1100, 700);

    hint("Here you can create, a new Function Block type.", 3);
    hint("Your type can be Basic or Composite.", 5);
    hint("You can also make your type based from another in the library.", 7);
}

TfrmDesignFBType::~TfrmDesignFBType()
{
    qApp->removeEventFilter(this);
    // Focus moves while the child widgets go, after this object's fields.
    disconnect(qApp, nullptr, this, nullptr);
    if (compiler_ && compiler_->state() != QProcess::NotRunning) {
        ::kill(-static_cast<pid_t>(compiler_->processId()), SIGKILL);
        compiler_->waitForFinished(5000);
    }
    // The embedded diagram editor shows the working type's network: it goes
    // before the type does.
    delete composition_;
    composition_ = nullptr;
    undo_->clear();
}

void TfrmDesignFBType::buildToolBars()
{
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName("ToolBar1");
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* open = toolBar_->addAction(QStringLiteral("Open"), this, [this] { OpenClick(); });
    open->setObjectName("tbTypeOpen");
    acSave_ = toolBar_->addAction(QStringLiteral("Save"), this, [this] { Save(); });
    acSave_->setObjectName("tbTypeSave");
    acSave_->setShortcut(QKeySequence::Save);
    acSave_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(acSave_);
    auto* newButton = new QToolButton(toolBar_);
    newButton->setObjectName("tbTypeNew");
    newButton->setText(QStringLiteral("New Function Block Type"));
    newButton->setPopupMode(QToolButton::InstantPopup);
    auto* newMenu = new QMenu(newButton);
    newMenu->setObjectName("pmTypeNew");
    newMenu->addAction(QStringLiteral("New Basic FB"), this, [this] { NewBasicClick(); })->setObjectName("mnuNewBasicFB");
    newMenu->addAction(QStringLiteral("New Composite FB"), this, [this] { NewCompositeClick(); })
        ->setObjectName("mnuNewCompositeFB");
    newMenu->addAction(QStringLiteral("New Based on..."), this, [this] { NewBasedOnClick(); })
        ->setObjectName("mnuNewBasedOn");
    newButton->setMenu(newMenu);
    toolBar_->addWidget(newButton);
    acSaveAs_ = toolBar_->addAction(QStringLiteral("Save As..."), this, [this] { SaveAs(); });
    acSaveAs_->setObjectName("tbTypeSaveAs");
    // A tool button takes its caption from the action's icon text, which
    // drops a trailing "...": the caption is given as it is meant.
    acSaveAs_->setIconText(QStringLiteral("Save As..."));
    toolBar_->addSeparator();
    // Edit: undo and redo of the window's own steps.
    auto* editButton = new QToolButton(toolBar_);
    editButton->setObjectName("tbTypeEdit");
    editButton->setText(QStringLiteral("Edit"));
    editButton->setPopupMode(QToolButton::InstantPopup);
    auto* editMenu = new QMenu(editButton);
    editMenu->setObjectName("mnuTypeEdit");
    QAction* undo = undo_->createUndoAction(editMenu, QStringLiteral("&Undo"));
    undo->setObjectName("acUndo");
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = undo_->createRedoAction(editMenu, QStringLiteral("&Redo"));
    redo->setObjectName("acRedo");
    // Both redo keys, as in the diagram editor.
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    editMenu->addAction(undo);
    editMenu->addAction(redo);
    editButton->setMenu(editMenu);
    toolBar_->addWidget(editButton);

    tabBar_ = new QWidget(this);
    tabBar_->setObjectName("ToolBar2");
    auto* row = new QHBoxLayout(tabBar_);
    row->setContentsMargins(4, 2, 4, 2);
    tabButtons_ = new QButtonGroup(this);
    tabButtons_->setExclusive(true);
    int index = 0;
    for (const char* caption : kTabCaptions) {
        auto* b = new QToolButton(tabBar_);
        b->setText(QString::fromLatin1(caption));
        b->setObjectName(QStringLiteral("rb") + QString::fromLatin1(caption).remove(' '));
        b->setCheckable(true);
        b->setAutoRaise(true);
        tabButtons_->addButton(b, index++);
        row->addWidget(b);
    }
    row->addStretch(1);
    tabButtons_->button(0)->setChecked(true);
    connect(tabButtons_, &QButtonGroup::idClicked, this,
            [this](int id) { ShowTab(QString::fromLatin1(kTabCaptions[id])); });
    tabBar_->hide(); // shown once a type is loaded
}

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

QWidget* TfrmDesignFBType::buildXmlPage()
{
    auto* page = new QWidget;
    page->setObjectName("tsXML");
    auto* v = new QVBoxLayout(page);
    xmlView_ = new QPlainTextEdit(page);
    xmlView_->setObjectName("memXML");
    xmlView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    xmlView_->setTabChangesFocus(false);
    xmlView_->setUndoRedoEnabled(false);
    fixedFont(xmlView_);
    highlighter_ = new TXmlHighlighter(xmlView_->document());
    v->addWidget(xmlView_, 1);
    btnApplyXml_ = new QPushButton(QStringLiteral("Apply changes"), page);
    btnApplyXml_->setObjectName("btnApplyChanges");
    btnApplyXml_->setEnabled(false);
    auto* row = new QHBoxLayout;
    row->addWidget(btnApplyXml_);
    row->addStretch(1);
    v->addLayout(row);
    connect(btnApplyXml_, &QPushButton::clicked, this, [this] { ApplyXmlClick(); });
    connect(xmlView_, &QPlainTextEdit::textChanged, this, [this] {
        if (!filling_)
            btnApplyXml_->setEnabled(true);
    });
    connect(xmlView_, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (pages_->currentIndex() == 1)
            setStatus(QStringLiteral("Line ") + QString::number(xmlView_->textCursor().blockNumber() + 1));
    });
    return page;
}

QWidget* TfrmDesignFBType::buildStructurePage()
{
    structure_ = new QTreeWidget;
    structure_->setObjectName("tvStructure");
    structure_->setHeaderHidden(true);
    return structure_;
}

QWidget* TfrmDesignFBType::buildAlgorithmsPage()
{
    auto* page = new QWidget;
    page->setObjectName("tsAlgorithms");
    auto* v = new QVBoxLayout(page);
    QWidget* list = buildInterfaceGrid(TGrid::Algorithms, QStringLiteral("Algorithms"), nullptr);
    list->setMaximumHeight(170);
    v->addWidget(list);
    connect(Grid(TGrid::Algorithms), &QTableWidget::currentCellChanged, this,
            [this](int row) { SelectAlgorithm(row); });

    algPages_ = new QTabWidget(page);
    algPages_->setObjectName("pcAlgorithm");
    memST_ = new QPlainTextEdit;
    memST_->setObjectName("memST");
    memST_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memST_->setUndoRedoEnabled(false);
    fixedFont(memST_);
    algPages_->addTab(memST_, QStringLiteral("ST"));
    QWidget* ladder = buildInterfaceGrid(TGrid::Rungs, QStringLiteral("Ladder"), algPages_);
    ladder->setObjectName("tsLadder");
    auto* fbd = new QLabel(QStringLiteral(""));
    fbd->setObjectName("tsFBDiagram");
    algPages_->addTab(fbd, QStringLiteral("FB Diagram"));

    auto* other = new QWidget;
    other->setObjectName("tsOther");
    auto* ov = new QVBoxLayout(other);
    auto* langRow = new QHBoxLayout;
    langRow->addWidget(new QLabel(QStringLiteral("Language:")));
    edtLanguage_ = new QLineEdit(other);
    edtLanguage_->setObjectName("edtLanguage");
    langRow->addWidget(edtLanguage_, 1);
    auto* useScript = new QPushButton(QStringLiteral("Use Delphi Script"), other);
    useScript->setObjectName("btnUseDelphiScript");
    langRow->addWidget(useScript);
    auto* check = new QPushButton(QStringLiteral("Check script"), other);
    check->setObjectName("btnCheckScript");
    langRow->addWidget(check);
    ov->addLayout(langRow);
    auto* split = new QHBoxLayout;
    auto* srcCol = new QVBoxLayout;
    srcCol->addWidget(new QLabel(QStringLiteral("Source:")));
    memSource_ = new QPlainTextEdit(other);
    memSource_->setObjectName("memSource");
    memSource_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memSource_->setUndoRedoEnabled(false);
    fixedFont(memSource_);
    srcCol->addWidget(memSource_, 1);
    lblCheck_ = new QLabel(other);
    lblCheck_->setObjectName("lblScriptCheck");
    lblCheck_->setWordWrap(true);
    srcCol->addWidget(lblCheck_);
    split->addLayout(srcCol, 1);
    auto* names = new QTabWidget(other);
    names->setObjectName("pcNames");
    names->setMaximumWidth(170);
    const char* nameCaptions[] = {"Data Outputs", "Data Inputs", "Internal Vars", "Event Inputs"};
    for (int i = 0; i < 4; ++i) {
        algNames_[i] = new QListWidget;
        algNames_[i]->setObjectName(QStringLiteral("lb") + QString::fromLatin1(nameCaptions[i]).remove(' '));
        names->addTab(algNames_[i], QString::fromLatin1(nameCaptions[i]));
        connect(algNames_[i], &QListWidget::itemDoubleClicked, this, [this, i](QListWidgetItem* item) {
            insertAlgorithmName(i == 0 ? QStringLiteral("DO_") + item->text() : item->text());
        });
    }
    split->addWidget(names);
    ov->addLayout(split, 1);
    algPages_->addTab(other, QStringLiteral("Other"));
    v->addWidget(algPages_, 1);

    connect(memST_, &QPlainTextEdit::textChanged, this, [this] {
        if (!filling_)
            algorithmTextEdited(0);
    });
    connect(memSource_, &QPlainTextEdit::textChanged, this, [this] {
        if (!filling_)
            algorithmTextEdited(1);
    });
    connect(edtLanguage_, &QLineEdit::textEdited, this, [this] { algorithmTextEdited(2); });
    connect(useScript, &QPushButton::clicked, this, [this] { UseDelphiScriptClick(); });
    connect(check, &QPushButton::clicked, this, [this] { CheckAlgorithmClick(); });
    return page;
}

QWidget* TfrmDesignFBType::buildCompilePage()
{
    auto* page = new QWidget;
    page->setObjectName("tsCompile");
    auto* v = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    btnCreateCode_ = new QPushButton(QStringLiteral("Create FB type code"), page);
    btnCreateCode_->setObjectName("btnCreateCode");
    btnCompile_ = new QPushButton(QStringLiteral("Compile"), page);
    btnCompile_->setObjectName("btnCompile");
    btnCompile_->setEnabled(false);
    btnCancelCompile_ = new QPushButton(QStringLiteral("Cancel"), page);
    btnCancelCompile_->setObjectName("btnCancelCompile");
    btnCancelCompile_->setEnabled(false);
    row->addWidget(btnCreateCode_);
    row->addWidget(btnCompile_);
    row->addWidget(btnCancelCompile_);
    row->addStretch(1);
    v->addLayout(row);
    lblFile_ = new QLabel(QStringLiteral("File:-"), page);
    lblFile_->setObjectName("lblFile");
    lblFile_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    v->addWidget(lblFile_);
    auto* split = new QSplitter(Qt::Vertical, page);
    codeView_ = new QPlainTextEdit(split);
    codeView_->setObjectName("memCode");
    codeView_->setReadOnly(true);
    codeView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    fixedFont(codeView_);
    compilerView_ = new QPlainTextEdit(split);
    compilerView_->setObjectName("memCompilerOutput");
    compilerView_->setReadOnly(true);
    compilerView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    fixedFont(compilerView_);
    split->addWidget(codeView_);
    split->addWidget(compilerView_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    v->addWidget(split, 1);
    lblLibrary_ = new QLabel(page);
    lblLibrary_->setObjectName("lblLibrary");
    lblLibrary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblExit_ = new QLabel(page);
    lblExit_->setObjectName("lblExitStatus");
    v->addWidget(lblLibrary_);
    v->addWidget(lblExit_);
    connect(btnCreateCode_, &QPushButton::clicked, this, [this] { CreateCodeClick(); });
    connect(btnCompile_, &QPushButton::clicked, this, [this] { CompileClick(); });
    connect(btnCancelCompile_, &QPushButton::clicked, this, [this] { CancelCompileClick(); });
    return page;
}

QWidget* TfrmDesignFBType::buildCompositionPage()
{
    auto* page = new QWidget;
    page->setObjectName("tsComposition");
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(0, 0, 0, 0);
    composition_ = new TfrmDesignFBDiagram(workbench_, main_, page);
    composition_->setObjectName("frmCompositeDiagram");
    composition_->SetCompositeNetwork(true);
    v->addWidget(composition_);
    composition_->OnNewInterfaceEventInput = [this](TFBEventType*) { compositeInterfaceAdded(); };
    composition_->OnNewInterfaceEventOutput = [this](TFBEventType*) { compositeInterfaceAdded(); };
    composition_->OnNewInterfaceDataInput = [this](TFBDataMemberType*) { compositeInterfaceAdded(); };
    composition_->OnNewInterfaceDataOutput = [this](TFBDataMemberType*) { compositeInterfaceAdded(); };
    // The diagram editor's own commands change the network; each of them is
    // recorded once it has run (connections made after the editor's own run
    // after them).
    QTimer::singleShot(0, this, [this] {
        if (!composition_)
            return;
        for (QAbstractButton* b : composition_->findChildren<QAbstractButton*>())
            connect(b, &QAbstractButton::clicked, this, [this] { Commit(QStringLiteral("Edit the network")); });
        if (QMenu* menu = composition_->ContextMenu())
            connect(menu, &QMenu::triggered, this, [this] { Commit(QStringLiteral("Edit the network")); });
    });
    return page;
}

// ===========================================================================
// Commands

QString TfrmDesignFBType::programPath(const QString& relative) const
{
    return qs((workbench_.ProgramFolder() / ss(relative)).string());
}

// A new type starts as a copy of a shipped template that no file holds yet.
bool TfrmDesignFBType::newFromTemplate(const QString& templateFile)
{
    if (!LoadTypeFile(programPath(QStringLiteral("library/templates/") + templateFile)))
        return false;
    fileName_.clear();
    basedOnFolder_.clear();
    diskStamp_.reset();
    edtName_->setEnabled(true);
    setCaption();
    ShowTab(QStringLiteral("Information"));
    return true;
}

bool TfrmDesignFBType::NewBasicClick() { return newFromTemplate(QStringLiteral("NEWBASICFB.fbt")); }

bool TfrmDesignFBType::NewCompositeClick() { return newFromTemplate(QStringLiteral("NEWCOMPFB.fbt")); }

bool TfrmDesignFBType::NewBasedOnClick()
{
    if (!OpenClick())
        return false;
    // The copy is a new type: it has no file yet, so that Save asks where to
    // store it (beside the original) and never writes over the original.
    basedOnFolder_ = QFileInfo(fileName_).absolutePath();
    fileName_.clear();
    diskStamp_.reset();
    type_->Name = "Unnamed";
    edtName_->setEnabled(true);
    filling_ = true;
    edtName_->setText(QStringLiteral("Unnamed"));
    filling_ = false;
    picture_->Repaint();
    Commit(QStringLiteral("New based on ") + templateName_);
    setCaption();
    ShowTab(QStringLiteral("Information"));
    return true;
}

bool TfrmDesignFBType::OpenClick()
{
    QString path;
    if (AskOpenFileName) {
        path = AskOpenFileName();
    } else {
        path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Function Block type"), openFolder_,
                                            QStringLiteral("FB type (*.fbt);;All (*.*)"));
    }
    if (path.isEmpty())
        return false;
    openFolder_ = QFileInfo(path).absolutePath();
    if (!LoadTypeFile(path))
        return false;
    ShowTab(QStringLiteral("Information"));
    return true;
}

bool TfrmDesignFBType::LoadTypeFile(const QString& path)
{
    if (!confirmLeave())
        return false;
    std::string text;
    try {
        text = ReadFileText(ss(path));
    } catch (const std::exception& e) {
        workbench_.UI().ShowWarning(e.what());
        return false;
    }
    if (!loadText(text, ss(path), true))
        return false;
    fileName_ = QFileInfo(path).absoluteFilePath();
    basedOnFolder_.clear();
    recordDiskStamp();
    edtName_->setEnabled(false); // a loaded type keeps its name
    undo_->clear();
    undo_->setClean();
    setCaption();
    return true;
}

bool TfrmDesignFBType::confirmLeave()
{
    if (!type_ || !Modified())
        return true;
    switch (TQtUserInterface::AskYesNoCancel(this, qs("The FB type " + type_->Name + " has changed. Save it?"))) {
    case TAnswer::Yes: return Save();
    case TAnswer::No: return true;
    default: return false;
    }
}

bool TfrmDesignFBType::loadText(const std::string& text, const std::string& fileName, bool fromFile)
{
    TBusyScope busy(workbench_.UI());
    std::unique_ptr<TFB_Type> fresh;
    try {
        fresh = TTypeSnapshots::Read(text, &workbench_.FBManager(), fileName);
    } catch (const std::exception& e) {
        workbench_.UI().ShowWarning(e.what());
        return false;
    }
    if (!fresh) {
        workbench_.UI().ShowWarning((fileName.empty() ? std::string("The XML text") : fileName) +
                                    ": Not an FB type file (the root element is not FBType)");
        return false;
    }
    snapshots_->SetBase(text, fresh.get());
    setWorkingType(std::move(fresh));
    // Grids a Delete emptied and switched off serve the new type again.
    for (QTableWidget* grid : grids_)
        if (grid)
            grid->setEnabled(true);
    templateName_ = qs(type_->Name);
    recorded_ = snapshots_->Write(*type_);
    missingInner_ = type_->Composite ? lostNetworkParts(text, snapshots_->WriteNetwork(*type_)) : std::string();
    setStatus(missingInner_.empty() ? QString()
                                    : QStringLiteral("Not in the library's types: ") + qs(missingInner_));
    fillAll();
    filling_ = true;
    if (fromFile) {
        xmlView_->setPlainText(qs(text));
        btnApplyXml_->setEnabled(false);
    }
    filling_ = false;
    tabBar_->show();
    updateEnabling();
    return true;
}

void TfrmDesignFBType::setWorkingType(std::unique_ptr<TFB_Type> type)
{
    // Nothing may keep pointing into the old type's network: the diagram
    // editor drops its pending connection ends first.
    if (composition_) {
        composition_->SelectModeClick();
        composition_->AttachDiagram(type->Network.get());
    }
    std::unique_ptr<TFB_Type> old = std::move(type_);
    type_ = std::move(type);
    picture_->SetType(type_.get());
    old.reset();
}

void TfrmDesignFBType::Restore(const std::string& text)
{
    std::unique_ptr<TFB_Type> fresh;
    try {
        fresh = TTypeSnapshots::Read(text, &workbench_.FBManager(), ss(fileName_));
    } catch (const std::exception& e) {
        workbench_.UI().ShowWarning(e.what());
        return;
    }
    if (!fresh)
        return;
    restoring_ = true;
    const QString tab = CurrentTab();
    const int algorithm = Grid(TGrid::Algorithms)->currentRow();
    snapshots_->SetBase(text, fresh.get());
    setWorkingType(std::move(fresh));
    recorded_ = text;
    lastMergeKey_.clear();
    fillAll();
    if (algorithm >= 0 && algorithm < count(TGrid::Algorithms))
        SelectAlgorithm(algorithm);
    if (tab == QLatin1String("XML spec"))
        ShowTab(tab);
    updateEnabling();
    restoring_ = false;
}

void TfrmDesignFBType::Commit(const QString& text, const QString& mergeKey)
{
    if (!type_ || restoring_ || filling_)
        return;
    std::string now = snapshots_->Write(*type_);
    if (now.empty() || now == recorded_)
        return;
    int id = -1;
    if (!mergeKey.isEmpty()) {
        if (mergeKey != lastMergeKey_) {
            lastMergeKey_ = mergeKey;
            lastMergeId_ = ++mergeCounter_;
        }
        id = lastMergeId_;
    } else {
        lastMergeKey_.clear();
    }
    std::string before = std::move(recorded_);
    recorded_ = now;
    undo_->push(new TTypeEditCommand(*this, text, std::move(before), std::move(now), id));
    updateEnabling();
}

std::string TfrmDesignFBType::TypeText() const { return type_ ? snapshots_->Write(*type_) : std::string(); }

bool TfrmDesignFBType::Modified() const { return type_ && (!undo_->isClean() || fileName_.isEmpty()); }

void TfrmDesignFBType::InsertInstance(const std::string& typeName)
{
    if (!type_ || !type_->Composite || !composition_)
        return;
    composition_->AddInstanceOfType(typeName);
    Commit(QStringLiteral("Insert ") + qs(typeName));
}

void TfrmDesignFBType::compositeInterfaceAdded()
{
    fillGrid(TGrid::EventInputs);
    fillGrid(TGrid::EventOutputs);
    fillGrid(TGrid::DataInputs);
    fillGrid(TGrid::DataOutputs);
    fillWithLists();
    picture_->Repaint();
}

void TfrmDesignFBType::InterfaceChanged()
{
    compositeInterfaceAdded();
    fillAlgorithmNameLists();
}

// ===========================================================================
// Pages

void TfrmDesignFBType::ShowTab(const QString& caption)
{
    int index = -1;
    for (int i = 0; i < 9; ++i)
        if (caption == QLatin1String(kTabCaptions[i]))
            index = i;
    if (index < 0)
        return;
    if (index == 6) {
        // Testing has no page: the button only says so, and the page shown
        // stays (with its button down).
        hint("Testing the Function Block type, is not implemented yet!", 5);
        tabButtons_->button(pages_->currentIndex())->setChecked(true);
        return;
    }
    tabButtons_->button(index)->setChecked(true);
    const bool composition = index == 3;
    picture_->setVisible(!composition);
    pages_->setCurrentIndex(index);
    if (!composition) {
        const int total = splitter_->width();
        splitter_->setSizes({std::max(0, total - pageWidth_), pageWidth_});
    }
    switch (index) {
    case 0:
        hint("Here you can edit the properties of your Function Block type!", 7);
        break;
    case 1: {
        // The text is the working type as it would be written now.
        filling_ = true;
        if (type_)
            xmlView_->setPlainText(qs(TypeText()));
        btnApplyXml_->setEnabled(false);
        filling_ = false;
        hint("On this window, you can write your specification in XML! When you finish, press the button Apply "
             "Changes.",
             7);
        break;
    }
    case 2:
        if (ecc_)
            QTimer::singleShot(0, ecc_, [this] { ecc_->ScrollHome(); });
        hint("Design the ECC diagram of your Function Block type!", 7);
        break;
    case 3:
        if (composition_)
            composition_->RefreshDiagram();
        hint("Here you can design the internal Function Block network of your composite Function Block.", 4);
        hint("With the green color are events and with the red color are data of the interface of the composite "
             "Function Block.",
             3);
        hint("Make connections from the internal events or data to the interface.", 7);
        break;
    case 4:
        fillStructure();
        hint("Here you can view the structure of your Function Block type.", 7);
        break;
    case 5:
        fillAlgorithmNameLists();
        hint("Here you can view and edit the algorithms that your Function Block type will execute.", 5);
        hint("First you can select or add a new algorithm. Then you can write it on ST, Ladder, or choose from a "
             "Function Block network diagram. You can also write it in any language like Java or C++!",
             7);
        break;
    case 7:
        // Compiling works: the hint says how, not that it would not.
        hint("Create the Pascal code of your Function Block type, then compile it into a library.", 5);
        break;
    case 8:
        if (service_)
            service_->Repaint();
        hint("Here you can view and edit the services that your Function Block type will implement.", 5);
        hint("You must give names for the left and right interfaces and then you can add transactions for your "
             "service.",
             7);
        break;
    default:
        break;
    }
}

QString TfrmDesignFBType::CurrentTab() const
{
    const int i = pages_->currentIndex();
    return i >= 0 && i < 9 ? QString::fromLatin1(kTabCaptions[i]) : QString();
}

QAbstractButton* TfrmDesignFBType::TabButton(const QString& caption) const
{
    for (int i = 0; i < 9; ++i)
        if (caption == QLatin1String(kTabCaptions[i]))
            return tabButtons_->button(i);
    return nullptr;
}

void TfrmDesignFBType::updateEnabling()
{
    const bool loaded = type_ != nullptr;
    acSave_->setEnabled(loaded);
    acSaveAs_->setEnabled(loaded);
    const bool composite = loaded && type_->Composite;
    if (QAbstractButton* b = TabButton(QStringLiteral("Composition")))
        b->setEnabled(composite);
    if (QAbstractButton* b = TabButton(QStringLiteral("ECC")))
        b->setEnabled(loaded && !composite);
    btnCreateCode_->setEnabled(loaded && !composite);
}

void TfrmDesignFBType::setCaption()
{
    QString caption = fileName_.isEmpty() ? QStringLiteral("FB Type Editor")
                                          : QStringLiteral("FB Type Editor [ ") + fileName_ + QStringLiteral(" ]");
    if (type_ && !undo_->isClean())
        caption += QStringLiteral(" *");
    setWindowTitle(caption);
    if (subWindow_)
        subWindow_->setWindowTitle(caption);
}

void TfrmDesignFBType::ShowMessage(const std::string& text) { workbench_.UI().ShowWarning(text); }
bool TfrmDesignFBType::AskYesNo(const std::string& text) { return workbench_.UI().AskYesNo(text); }

void TfrmDesignFBType::hint(const std::string& text, int gesture) { workbench_.UI().UserHint(text, gesture); }

void TfrmDesignFBType::setStatus(const QString& text) { status_->setText(text); }
QString TfrmDesignFBType::StatusText() const { return status_->text(); }

// ===========================================================================
// Filling the pages from the working type

void TfrmDesignFBType::fillAll()
{
    if (ecc_)
        ecc_->TypeLoaded();
    if (service_)
        service_->Fill();
    fillInformation();
    for (int g = 0; g <= static_cast<int>(TGrid::Algorithms); ++g)
        fillGrid(static_cast<TGrid>(g));
    fillWithLists();
    fillAlgorithmNameLists();
    if (count(TGrid::Algorithms) > 0)
        SelectAlgorithm(std::max(0, std::min(Grid(TGrid::Algorithms)->currentRow(), count(TGrid::Algorithms) - 1)));
    else
        SelectAlgorithm(-1);
    if (pages_->currentIndex() == 4)
        fillStructure();
    picture_->Repaint();
    if (composition_ && type_)
        composition_->PaintDiagram();
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

void TfrmDesignFBType::fillAlgorithmNameLists()
{
    if (!type_)
        return;
    auto fill = [](QListWidget* list, const auto& items) {
        list->clear();
        for (const auto& i : items)
            list->addItem(qs(i->Name));
    };
    fill(algNames_[0], type_->DataOutputs);
    fill(algNames_[1], type_->DataInputs);
    fill(algNames_[2], type_->InternalVars);
    fill(algNames_[3], type_->EventInputs);
}

void TfrmDesignFBType::SelectAlgorithm(int row)
{
    QTableWidget* table = Grid(TGrid::Algorithms);
    if (row >= 0 && row < count(TGrid::Algorithms) && table->currentRow() != row) {
        table->setCurrentCell(row, 0); // comes back here through currentCellChanged
        return;
    }
    fillAlgorithm();
}

void TfrmDesignFBType::fillAlgorithm()
{
    const int row = Grid(TGrid::Algorithms)->currentRow();
    const bool valid = type_ && row >= 0 && row < count(TGrid::Algorithms);
    filling_ = true;
    const TFBAlgorithm* a = valid ? type_->Algorithms[row].get() : nullptr;
    const QString st = a ? joinLines(a->STText) : QString();
    const QString other = a ? joinLines(a->OtherText) : QString();
    if (memST_->toPlainText() != st || !a)
        memST_->setPlainText(st);
    if (memSource_->toPlainText() != other || !a)
        memSource_->setPlainText(other);
    edtLanguage_->setText(a ? qs(a->Language) : QString());
    memST_->setEnabled(a);
    memSource_->setEnabled(a);
    edtLanguage_->setEnabled(a);
    lblCheck_->clear();
    filling_ = false;
    fillGrid(TGrid::Rungs);
    if (a) {
        if (a->HasFBD)
            algPages_->setCurrentIndex(2);
        else if (!a->Rungs.empty())
            algPages_->setCurrentIndex(1);
        if (!a->STText.empty())
            algPages_->setCurrentIndex(0);
        if (!a->OtherText.empty())
            algPages_->setCurrentIndex(3);
    }
}

void TfrmDesignFBType::algorithmTextEdited(int which)
{
    const int row = Grid(TGrid::Algorithms)->currentRow();
    if (!type_ || row < 0 || row >= count(TGrid::Algorithms))
        return;
    TFBAlgorithm& a = *type_->Algorithms[row];
    switch (which) {
    case 0:
        a.STText = linesOf(memST_);
        Commit(QStringLiteral("ST of ") + qs(a.Name), QStringLiteral("st") + QString::number(row));
        break;
    case 1:
        a.OtherText = linesOf(memSource_);
        lblCheck_->clear();
        Commit(QStringLiteral("Source of ") + qs(a.Name), QStringLiteral("src") + QString::number(row));
        break;
    default:
        a.Language = ss(edtLanguage_->text());
        Commit(QStringLiteral("Language of ") + qs(a.Name), QStringLiteral("lang") + QString::number(row));
        break;
    }
}

void TfrmDesignFBType::insertAlgorithmName(const QString& text)
{
    if (!memSource_->isEnabled())
        return;
    memSource_->insertPlainText(text);
}

void TfrmDesignFBType::UseDelphiScriptClick()
{
    const int row = Grid(TGrid::Algorithms)->currentRow();
    if (!type_ || row < 0 || row >= count(TGrid::Algorithms))
        return;
    TFBAlgorithm& a = *type_->Algorithms[row];
    a.Language = "DelphiScript";
    a.OtherText = {"//Write here your code in Pascal/Delphi Script",
                   "//Use only variable names from Event Inputs, Data Inputs and Internal Variables",
                   "//For all your Data Outputs, use DO_DataOutputName", "//Examples: DO_VOUT:= QVIN+10;"};
    lastMergeKey_.clear();
    fillAlgorithm();
    algPages_->setCurrentIndex(3);
    Commit(QStringLiteral("Use Delphi Script in ") + qs(a.Name));
}

bool TfrmDesignFBType::CheckAlgorithmClick()
{
    const int row = Grid(TGrid::Algorithms)->currentRow();
    if (!type_ || row < 0 || row >= count(TGrid::Algorithms))
        return false;
    const TFBAlgorithm& a = *type_->Algorithms[row];
    const std::vector<std::string>& lines = a.OtherText.empty() ? a.STText : a.OtherText;
    // The script the simulation would run for this algorithm on an instance
    // of the type, compiled by the same compiler.
    const TScriptCheck check = CheckAlgorithmScript(*type_, lines);
    if (!check.Ok) {
        QString text = qs(check.Message);
        if (check.Line >= 1) {
            text = QStringLiteral("Line %1, column %2: ").arg(check.Line).arg(check.Column) + text;
            QTextCursor cursor(memSource_->document()->findBlockByNumber(check.Line - 1));
            cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, std::max(0, check.Column - 1));
            memSource_->setTextCursor(cursor);
        }
        lblCheck_->setText(text);
        lblCheck_->setStyleSheet(QStringLiteral("color: #b00000;"));
        return false;
    }
    lblCheck_->setText(QStringLiteral("The script of ") + qs(a.Name) + QStringLiteral(" compiles."));
    lblCheck_->setStyleSheet(QStringLiteral("color: #006000;"));
    return true;
}

QString TfrmDesignFBType::AlgorithmCheckText() const { return lblCheck_->text(); }

// ---------------------------------------------------------------- structure

void TfrmDesignFBType::fillStructure()
{
    structure_->clear();
    if (!type_)
        return;
    pugi::xml_document doc;
    const std::string text = recorded_;
    if (!doc.load_buffer(text.data(), text.size()))
        return;
    const QIcon branch = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon leaf = style()->standardIcon(QStyle::SP_FileIcon);
    std::vector<QTreeWidgetItem*> made;
    auto node = [&](QTreeWidgetItem* parent, const QString& text) {
        auto* item = parent ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(structure_, {text});
        made.push_back(item);
        return item;
    };
    auto value = [&](QTreeWidgetItem* parent, const char* label, pugi::xml_node n, const char* attr) {
        node(parent, QString::fromLatin1(label) + QStringLiteral(" = ") + QString::fromUtf8(n.attribute(attr).value()));
    };
    pugi::xml_node fb = doc.child("FBType");
    QTreeWidgetItem* root = node(nullptr, QStringLiteral("Function Block Type Declaration"));
    value(root, "Name", fb, "Name");
    value(root, "Comment", fb, "Comment");
    QTreeWidgetItem* ident = node(root, QStringLiteral("Identification"));
    value(ident, "Standard", fb.child("Identification"), "Standard");
    value(ident, "Description", fb.child("Identification"), "Description");
    QTreeWidgetItem* versions = node(root, QStringLiteral("Versions"));
    for (pugi::xml_node v : fb.children("VersionInfo")) {
        QTreeWidgetItem* n = node(versions, QStringLiteral("VersionInfo"));
        value(n, "Organization", v, "Organization");
        value(n, "Version", v, "Version");
        value(n, "Author", v, "Author");
        value(n, "Date", v, "Date");
        value(n, "Remarks", v, "Remarks");
    }
    QTreeWidgetItem* compiler = node(root, QStringLiteral("CompilerInfo"));
    pugi::xml_node ci = fb.child("CompilerInfo");
    value(compiler, "header", ci, "header");
    value(compiler, "Classdef", ci, "classdef");
    for (pugi::xml_node c : ci.children("Compiler")) {
        QTreeWidgetItem* n = node(compiler, QStringLiteral("Compiler"));
        value(n, "Language", c, "Language");
        value(n, "Vendor", c, "Vendor");
        value(n, "Product", c, "Product");
        value(n, "Version", c, "Version");
    }
    pugi::xml_node il = fb.child("InterfaceList");
    QTreeWidgetItem* interfaces = node(root, QStringLiteral("Interface List"));
    auto events = [&](const char* caption, pugi::xml_node list) {
        QTreeWidgetItem* l = node(interfaces, QString::fromLatin1(caption));
        for (pugi::xml_node e : list.children("Event")) {
            QTreeWidgetItem* n = node(l, QStringLiteral("Event"));
            value(n, "Name", e, "Name");
            value(n, "Type", e, "Type");
            value(n, "Comment", e, "Comment");
            QTreeWidgetItem* with = node(n, QStringLiteral("With"));
            for (pugi::xml_node w : e.children("With"))
                value(with, "Var", w, "Var");
        }
    };
    auto vars = [&](QTreeWidgetItem* parent, const char* caption, const char* itemCaption, pugi::xml_node list) {
        QTreeWidgetItem* l = node(parent, QString::fromLatin1(caption));
        for (pugi::xml_node d : list.children("VarDeclaration")) {
            QTreeWidgetItem* n = node(l, QString::fromLatin1(itemCaption));
            value(n, "Name", d, "Name");
            value(n, "Type", d, "Type");
            value(n, "ArraySize", d, "ArraySize");
            value(n, "InitialValue", d, "InitialValue");
            value(n, "Comment", d, "Comment");
        }
    };
    auto adapters = [&](const char* caption, const char* itemCaption, pugi::xml_node list) {
        QTreeWidgetItem* l = node(interfaces, QString::fromLatin1(caption));
        for (pugi::xml_node a : list.children("AdapterDeclaration")) {
            QTreeWidgetItem* n = node(l, QString::fromLatin1(itemCaption));
            value(n, "Name", a, "Name");
            value(n, "Type", a, "Type");
            value(n, "Comment", a, "Comment");
        }
    };
    events("Event Input List", il.child("EventInputs"));
    events("Event Ouput List", il.child("EventOutputs"));
    vars(interfaces, "Variable Input List", "Data", il.child("InputVars"));
    vars(interfaces, "Variable Ouput List", "Data", il.child("OutputVars"));
    adapters("Plug List", "Plug", il.child("Plugs"));
    adapters("Socket List", "Socket", il.child("Sockets"));
    pugi::xml_node basic = fb.child("BasicFB");
    vars(root, "Internal Variable List", "VarDeclarations", basic.child("InternalVars"));
    QTreeWidgetItem* ecc = node(root, QStringLiteral("ECC declaration"));
    QTreeWidgetItem* states = node(ecc, QStringLiteral("EC States"));
    for (pugi::xml_node s : basic.child("ECC").children("ECState")) {
        QTreeWidgetItem* n = node(states, QStringLiteral("EC State"));
        value(n, "Name", s, "Name");
        value(n, "Comment", s, "Comment");
        value(n, "X", s, "x");
        value(n, "Y", s, "y");
        QTreeWidgetItem* actions = node(n, QStringLiteral("ECActions"));
        for (pugi::xml_node a : s.children("ECAction")) {
            value(actions, "Algorithm", a, "Algorithm");
            value(actions, "Output", a, "Output");
        }
    }
    QTreeWidgetItem* transitions = node(ecc, QStringLiteral("EC Transitions"));
    for (pugi::xml_node t : basic.child("ECC").children("ECTransition")) {
        QTreeWidgetItem* n = node(transitions, QStringLiteral("EC Transition"));
        value(n, "Source", t, "Source");
        value(n, "Destination", t, "Destination");
        value(n, "Condition", t, "Condition");
        value(n, "Comment", t, "Comment");
        value(n, "X", t, "x");
        value(n, "Y", t, "y");
    }
    QTreeWidgetItem* algorithms = node(root, QStringLiteral("Algorithms"));
    for (pugi::xml_node a : basic.children("Algorithm")) {
        QTreeWidgetItem* n = node(algorithms, QStringLiteral("Algorithm"));
        value(n, "Name", a, "Name");
        value(n, "Comment", a, "Comment");
        node(n, QStringLiteral("FBD {Implemented from a FB Diagram}"));
        QTreeWidgetItem* st = node(n, QStringLiteral("ST"));
        value(st, "ST", a.child("ST"), "Text");
        QTreeWidgetItem* ld = node(n, QStringLiteral("LD"));
        for (pugi::xml_node r : a.child("LD").children("Rung")) {
            value(ld, "Rung Output", r, "Output");
            value(ld, "Rung Expression", r, "Expression");
            value(ld, "Rung Comment", r, "Comment");
        }
        QTreeWidgetItem* other = node(n, QStringLiteral("Other"));
        value(other, "Language", a.child("Other"), "Language");
        value(other, "Text", a.child("Other"), "Text");
    }
    QTreeWidgetItem* connections = node(root, QStringLiteral("Connection List"));
    node(connections, QStringLiteral("Event Connection List"));
    node(connections, QStringLiteral("Data Connection List"));
    node(connections, QStringLiteral("Adapter Connection List"));
    node(root, QStringLiteral("Service declaration"));
    for (QTreeWidgetItem* item : made)
        item->setIcon(0, item->childCount() > 0 ? branch : leaf);
    root->setExpanded(true);
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

// ===========================================================================
// XML text

bool TfrmDesignFBType::ApplyXmlClick()
{
    btnApplyXml_->setEnabled(false);
    const std::string text = ss(xmlView_->toPlainText());
    std::unique_ptr<TFB_Type> fresh;
    try {
        fresh = TTypeSnapshots::Read(text, &workbench_.FBManager(), "");
    } catch (const std::exception& e) {
        // The working type stays as it was; the text stays for mending.
        workbench_.UI().ShowWarning(e.what());
        btnApplyXml_->setEnabled(true);
        return false;
    }
    if (!fresh) {
        workbench_.UI().ShowWarning("Not an FB type file (the root element is not FBType)");
        btnApplyXml_->setEnabled(true);
        return false;
    }
    snapshots_->SetBase(text, fresh.get());
    setWorkingType(std::move(fresh));
    missingInner_ = type_->Composite ? lostNetworkParts(text, snapshots_->WriteNetwork(*type_)) : std::string();
    fillAll();
    updateEnabling();
    Commit(QStringLiteral("Apply XML"));
    return true;
}

// ===========================================================================
// Saving

bool TfrmDesignFBType::validName(bool forSaveAs)
{
    const std::string& name = type_->Name;
    if (name.empty()) {
        workbench_.UI().ShowWarning("The FB type needs a name.");
        return false;
    }
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
        workbench_.UI().ShowWarning("The FB type name " + name + " cannot be used: it contains \"/\" or \"\\\".");
        return false;
    }
    if (forSaveAs) {
        std::string upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
        const auto& names = workbench_.LibraryTypeNames;
        if (std::find(names.begin(), names.end(), upper) != names.end()) {
            workbench_.UI().ShowWarning("Another FB type with the same name exists. Please type another FB name.");
            return false;
        }
    }
    return true;
}

void TfrmDesignFBType::recordDiskStamp()
{
    std::error_code ec;
    const fs::path file = ss(fileName_);
    const auto time = fs::last_write_time(file, ec);
    const auto size = ec ? 0 : fs::file_size(file, ec);
    if (ec)
        diskStamp_.reset();
    else
        diskStamp_ = std::make_pair(time, size);
}

bool TfrmDesignFBType::diskChangedSinceRead() const
{
    if (!diskStamp_)
        return false;
    std::error_code ec;
    const fs::path file = ss(fileName_);
    if (!fs::exists(file, ec))
        return false;
    const auto time = fs::last_write_time(file, ec);
    const auto size = ec ? 0 : fs::file_size(file, ec);
    return ec || time != diskStamp_->first || size != diskStamp_->second;
}

bool TfrmDesignFBType::writeTo(const fs::path& file)
{
    if (!missingInner_.empty() && !snapshots_->KeepsBaseNetwork(*type_)) {
        workbench_.UI().ShowWarning("The FB type " + type_->Name + " is not saved: parts of its inner network (" +
                                    missingInner_ +
                                    ") are not in the library's types, and saving would drop them.");
        return false;
    }
    try {
        if (!snapshots_->Save(*type_, file)) {
            workbench_.UI().ShowWarning("Internal Error: GeneralUnit::TFB_Type.SaveFbTypeToXML");
            return false;
        }
    } catch (const std::exception& e) {
        // The previous file is untouched and the working type keeps
        // everything the user typed.
        workbench_.UI().ShowWarning("The FB type could not be saved to " + file.string() + ": " + e.what());
        return false;
    }
    return true;
}

bool TfrmDesignFBType::Save()
{
    if (!type_)
        return false;
    if (btnApplyXml_->isEnabled() && !ApplyXmlClick())
        return false;
    // A shipped type stays as shipped: the user saves a copy of their own.
    if (fileName_.isEmpty())
        return SaveAs();
    if (workbench_.Folders().IsShipped(ss(fileName_)))
        return saveAs(true);
    if (!validName(false))
        return false;
    if (diskChangedSinceRead() &&
        !workbench_.UI().AskYesNo("The file " + ss(fileName_) +
                                  " was changed on disk since it was read. Overwrite it with this FB type?"))
        return false;
    if (!writeTo(ss(fileName_)))
        return false;
    recordDiskStamp();
    undo_->setClean();
    setCaption();
    reloadInOpenDiagrams();
    return true;
}

bool TfrmDesignFBType::SaveAs() { return saveAs(false); }

bool TfrmDesignFBType::saveAs(bool shippedCopy)
{
    if (!type_)
        return false;
    if (btnApplyXml_->isEnabled() && !ApplyXmlClick())
        return false;
    if (!validName(!shippedCopy))
        return false;
    QString folder = qs(workbench_.ProgramFolder().string());
    const TProjectInfo project = main_ ? main_->Project() : TProjectInfo{};
    if (!basedOnFolder_.isEmpty()) {
        folder = basedOnFolder_;
    } else if (!project.Name.empty()) {
        const fs::path candidate = workbench_.LibraryFolder() / project.Name;
        std::error_code ec;
        if (fs::is_directory(candidate, ec))
            folder = qs(candidate.string());
    }
    // Beside an installed program folder the copy goes to the user's
    // library, in the folder of the same name.
    const TProgramFolders& places = workbench_.Folders();
    if (places.IsShipped(ss(folder)) || (!fileName_.isEmpty() && places.IsShipped(ss(fileName_)))) {
        const fs::path shipped = fileName_.isEmpty() || !places.IsShipped(ss(fileName_))
                                     ? fs::path(ss(folder)) / "x"
                                     : fs::path(ss(fileName_));
        const fs::path mine = places.WritableCounterpart(shipped).parent_path();
        std::error_code ec;
        fs::create_directories(mine, ec);
        folder = qs(mine.string());
    }
    const QString proposed = qs(type_->Name) + QStringLiteral(".fbt");
    QString path;
    if (AskSaveFileName) {
        path = AskSaveFileName(folder, proposed);
    } else {
        QString filter = QStringLiteral("All (*.*)"); // the second filter, preselected
        path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Function Block type"),
                                            folder + QLatin1Char('/') + proposed,
                                            QStringLiteral("FB type (*.fbt);;All (*.*)"), &filter);
    }
    if (path.isEmpty())
        return false;
    if (!path.contains(QStringLiteral(".fbt")))
        path += QStringLiteral(".fbt");
    if (places.IsShipped(ss(path))) {
        workbench_.UI().ShowWarning("The FB type is not saved: " + ss(path) +
                                    " belongs to the installed program, which stays as shipped. Save it in a folder "
                                    "of your own.");
        return false;
    }
    if (!writeTo(ss(path)))
        return false;
    fileName_ = QFileInfo(path).absoluteFilePath();
    basedOnFolder_.clear();
    recordDiskStamp();
    undo_->setClean();
    setCaption();
    reloadInOpenDiagrams();
    return true;
}

void TfrmDesignFBType::reloadInOpenDiagrams()
{
    TFB_Manager& fbm = workbench_.FBManager();
    TFB_Type* loaded = fbm.FindType(type_->Name);
    if (!loaded || loaded->FileName.empty())
        return;
    std::error_code ec;
    if (!fs::equivalent(fs::path(loaded->FileName), fs::path(ss(fileName_)), ec))
        return;
    bool used = false;
    for (const auto& diagram : fbm.Diagrams)
        for (const auto& inst : diagram->DrawnInstances)
            used = used || (inst->Ref && inst->Ref->Type == loaded);
    if (!used || !workbench_.UI().AskYesNo("The FB type " + type_->Name +
                                           " is used in open diagrams. Reload it there?"))
        return;
    fbm.ReloadType(loaded);
    if (main_ && main_->MdiArea())
        for (QMdiSubWindow* sub : main_->MdiArea()->subWindowList())
            if (auto* editor = dynamic_cast<TEditorWindow*>(sub->widget()))
                if (editor->EditorKind() == TKind::FBDiagram)
                    editor->RefreshDiagram();
}

// ===========================================================================
// Code page

bool TfrmDesignFBType::CreateCodeClick()
{
    if (!type_)
        return false;
    try {
        generated_ = GeneratePascalFile(*type_, workbench_.KaloFolder());
        codeView_->setPlainText(qs(ReadFileText(generated_)));
    } catch (const std::exception& e) {
        workbench_.UI().ShowWarning(e.what());
        return false;
    }
    lblFile_->setText(QStringLiteral("File: ") + qs(generated_.string()));
    btnCompile_->setEnabled(true);
    return true;
}

void TfrmDesignFBType::CompileClick()
{
    if (generated_.empty() || Compiling())
        return;
    delete compiler_;
    compiler_ = new QProcess(this);
    compiler_->setProcessChannelMode(QProcess::MergedChannels);
    compiler_->setWorkingDirectory(qs(generated_.parent_path().string()));
    // The compiler starts its own helpers (assembler, linker): it leads a
    // process group of its own so that Cancel stops all of them.
    compiler_->setChildProcessModifier([] { ::setpgid(0, 0); });
    QStringList args;
    for (const auto& a : PascalCompilerArguments(generated_))
        args << qs(a);
    compilerView_->clear();
    lblExit_->clear();
    const fs::path library = PascalLibraryFile(generated_);
    lblLibrary_->setText(QStringLiteral("Library: ") + qs(library.string()));
    compileStatus_ = QStringLiteral("Compiling...");
    lblExit_->setText(compileStatus_);
    setStatus(compileStatus_);
    connect(compiler_, &QProcess::readyRead, this, [this] {
        compilerView_->moveCursor(QTextCursor::End);
        compilerView_->insertPlainText(QString::fromLocal8Bit(compiler_->readAll()));
    });
    connect(compiler_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            compileStatus_ = QStringLiteral("The compiler could not be started: ") + compiler_->errorString();
            lblExit_->setText(compileStatus_);
            setStatus(compileStatus_);
            btnCancelCompile_->setEnabled(false);
            btnCompile_->setEnabled(true);
        }
    });
    connect(compiler_, &QProcess::finished, this, [this, library](int code, QProcess::ExitStatus status) {
        compilerView_->moveCursor(QTextCursor::End);
        compilerView_->insertPlainText(QString::fromLocal8Bit(compiler_->readAll()));
        std::error_code ec;
        if (status == QProcess::CrashExit)
            compileStatus_ = QStringLiteral("Compiler stopped: no library built");
        else if (code == 0 && fs::exists(library, ec))
            compileStatus_ = QStringLiteral("Exit status: 0 - library built");
        else
            compileStatus_ = QStringLiteral("Exit status: ") + QString::number(code) +
                             QStringLiteral(" - no library built, see the compiler's messages");
        lblExit_->setText(compileStatus_);
        setStatus(compileStatus_);
        btnCancelCompile_->setEnabled(false);
        btnCompile_->setEnabled(true);
    });
    btnCompile_->setEnabled(false);
    btnCancelCompile_->setEnabled(true);
    compiler_->start(qs(PascalCompilerProgram(workbench_.Settings)), args);
}

void TfrmDesignFBType::CancelCompileClick()
{
    if (!Compiling())
        return;
    ::kill(-static_cast<pid_t>(compiler_->processId()), SIGKILL);
}

bool TfrmDesignFBType::Compiling() const { return compiler_ && compiler_->state() != QProcess::NotRunning; }
QString TfrmDesignFBType::CompilerOutput() const { return compilerView_->toPlainText(); }
QString TfrmDesignFBType::CompileStatus() const { return compileStatus_; }

// ===========================================================================
// Window

void TfrmDesignFBType::closeEvent(QCloseEvent* event)
{
    if (type_ && !undo_->isClean()) {
        const auto answer =
            TQtUserInterface::AskYesNoCancel(this, qs("The FB type " + type_->Name + " has changed. Save it before closing?"));
        if (answer == TAnswer::Cancel || (answer == TAnswer::Yes && !Save())) {
            event->ignore();
            return;
        }
    }
    if (Compiling())
        CancelCompileClick();
    event->accept();
}

bool TfrmDesignFBType::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    const bool mine = widget && (widget == this || isAncestorOf(widget));
    if (!mine)
        return false;
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        // Undo and redo are the window's, also inside text fields.
        auto* key = static_cast<QKeyEvent*>(event);
        const bool undoKey = key->matches(QKeySequence::Undo);
        const bool redoKey = key->matches(QKeySequence::Redo) ||
                             key->keyCombination() == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z) ||
                             key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y);
        if (!undoKey && !redoKey)
            return false;
        event->accept();
        if (event->type() == QEvent::KeyPress) {
            Commit(QStringLiteral("Edit"));
            if (undoKey)
                undo_->undo();
            else
                undo_->redo();
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
    case QEvent::KeyRelease:
        // Whatever the embedded diagram editor did with the mouse or keys is
        // recorded once its handlers have run.
        if (composition_ && composition_->isAncestorOf(widget) && !checkpointQueued_) {
            checkpointQueued_ = true;
            QTimer::singleShot(0, this, [this] {
                checkpointQueued_ = false;
                Commit(QStringLiteral("Edit the network"));
            });
        }
        return false;
    default:
        return false;
    }
}

// ===========================================================================

TEditorWindow* OpenTypeEditorWindow(TMainForm& main, const QString& command)
{
    auto* editor = new TfrmDesignFBType(main.Workbench(), &main);
    auto* sub = new QMdiSubWindow;
    sub->setWidget(editor);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    editor->SetSubWindow(sub);
    main.MdiArea()->addSubWindow(sub);
    sub->resize(1100, 720);
    sub->show();
    if (command == QLatin1String("New Basic"))
        editor->NewBasicClick();
    else if (command == QLatin1String("New Composite"))
        editor->NewCompositeClick();
    else if (command == QLatin1String("New Based on..."))
        editor->NewBasedOnClick();
    else if (command == QLatin1String("Open..."))
        editor->OpenClick();
    else if (!command.isEmpty() && editor->LoadTypeFile(command))
        editor->ShowTab(QStringLiteral("Information"));
    return editor;
}

} // namespace telvo
