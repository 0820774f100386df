// The FB type editor's XML spec and Structure pages: the type file's text,
// applied back to the working type, and the type as a tree.

#include "ui/typeeditor/type_editor.h"
#include "ui/typeeditor/type_editor_p.h"

#include "model/fb_type.h"
#include "ui/typeeditor/type_snapshot.h"
#include "ui/typeeditor/xml_highlighter.h"
#include "workbench/workbench.h"

#include <pugixml.hpp>

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace telvo {

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

} // namespace telvo
