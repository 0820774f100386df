#include "ui/debugger/select_events_dialog.h"

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/value_text.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace telvo {

namespace {

constexpr int PortRole = Qt::UserRole; // the port's name
constexpr int KindRole = Qt::UserRole + 1;
// The tick state before the last change: a click on a mixed box unticks.
constexpr int LastTickRole = Qt::UserRole + 2;
enum TKind { kEvent = 1, kDataInput = 2, kDataOutput = 3 };

QString qs(const std::string& s) { return QString::fromStdString(s); }

} // namespace

TfrmVisualDebuggerSelectEvents::TfrmVisualDebuggerSelectEvents(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmVisualDebuggerSelectEvents"));
    setWindowTitle(QStringLiteral("Select Events/Data"));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(11);
    setFont(f);
    resize(389, 506);

    auto* column = new QVBoxLayout(this);
    column->addWidget(new QLabel(QStringLiteral("Please select initial events to start the execution."), this));
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("PageControl1"));
    // The three captions fit the dialog's width side by side.
    tabs_->tabBar()->setFont(f);
    tabs_->setUsesScrollButtons(false);
    column->addWidget(tabs_, 1);

    auto page = [&](const QString& caption, const QString& text) {
        auto* w = new QWidget(tabs_);
        auto* l = new QVBoxLayout(w);
        auto* label = new QLabel(text, w);
        label->setWordWrap(true);
        l->addWidget(label);
        tabs_->addTab(w, caption);
        return w;
    };
    QWidget* p = page(QStringLiteral("User Triggered Events"),
                      QStringLiteral("Here you see all the Event Inputs. Check the Initial Triggered events in some of "
                                     "your Function Blocks, in order to Start the Simulation in the current Function "
                                     "Block Diagram. "));
    events_ = makeTree(p);
    events_->setObjectName(QStringLiteral("tvEvents"));
    p = page(QStringLiteral("User Entered Data"),
             QStringLiteral("Here you see all the Data Inputs. You can Enter here the Initial values in your Function "
                            "Block instances. You can check if you want these Data Inputs to be visible for "
                            "monitoring in the current Function Block Diagram. "));
    dataIn_ = makeTree(p);
    dataIn_->setObjectName(QStringLiteral("tvDataInputs"));
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Value:"), p));
    value_ = new QLineEdit(p);
    value_->setObjectName(QStringLiteral("edValue"));
    row->addWidget(value_, 1);
    apply_ = new QPushButton(QStringLiteral("Apply Value"), p);
    apply_->setObjectName(QStringLiteral("btnApplyValue"));
    row->addWidget(apply_);
    static_cast<QVBoxLayout*>(p->layout())->addLayout(row);
    p = page(QStringLiteral("Monitor Output Data"),
             QStringLiteral("Here you see all the Data Outputs.  You can check if you want some Data Outputs to be "
                            "visible for monitoring in the current Function Block Diagram. "));
    dataOut_ = makeTree(p);
    dataOut_->setObjectName(QStringLiteral("tvDataOutputs"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("btnOK"));
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("btnCancel"));
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    column->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, [this] {
        result_ = true;
        accept();
    });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        result_ = false;
        reject();
    });

    connect(dataIn_, &QTreeWidget::itemClicked, this, [this] { dataInputClicked(); });
    connect(value_, &QLineEdit::textChanged, this, [this] { applyValue(false); });
    connect(apply_, &QPushButton::clicked, this, [this] { applyValue(true); });
}

QTreeWidget* TfrmVisualDebuggerSelectEvents::makeTree(QWidget* page)
{
    auto* tree = new QTreeWidget(page);
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // No lines between the nodes.
    tree->setStyleSheet(QStringLiteral("QTreeView::branch { border-image: none; }"));
    static_cast<QVBoxLayout*>(page->layout())->addWidget(tree, 1);
    connect(tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) { itemChanged(item); });
    return tree;
}

QString TfrmVisualDebuggerSelectEvents::DataInputText(const TFBDataMember& member)
{
    return qs(member.Name()) + QStringLiteral(" ( val = ") + qs(member.FormatValue()) + QStringLiteral(" )");
}

void TfrmVisualDebuggerSelectEvents::Fill(const TFB_Diagram& diagram)
{
    updating_ = true;
    diagram_ = &diagram;
    for (QTreeWidget* t : {events_, dataIn_, dataOut_})
        t->clear();
    for (const auto& drawn : diagram.DrawnInstances) {
        const TFB_InstanceRef* r = drawn->Ref;
        if (!r)
            continue;
        auto root = [&](QTreeWidget* tree, bool hasChildren) {
            auto* item = new QTreeWidgetItem(tree, {qs(r->Name)});
            // A root without children has no box.
            if (hasChildren) {
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(0, Qt::Unchecked);
                item->setData(0, LastTickRole, int(Qt::Unchecked));
            }
            return item;
        };
        auto child = [&](QTreeWidgetItem* parent, const QString& text, const std::string& port, int kind) {
            auto* item = new QTreeWidgetItem(parent, {text});
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            item->setData(0, LastTickRole, int(Qt::Unchecked));
            item->setData(0, PortRole, qs(port));
            item->setData(0, KindRole, kind);
        };
        QTreeWidgetItem* e = root(events_, !r->EventInputs.empty());
        for (const auto& ev : r->EventInputs)
            child(e, qs(ev->Name()), ev->Name(), kEvent);
        QTreeWidgetItem* di = root(dataIn_, !r->DataInputs.empty());
        for (const auto& m : r->DataInputs)
            child(di, DataInputText(*m), m->Name(), kDataInput);
        QTreeWidgetItem* dout = root(dataOut_, !r->DataOutputs.empty());
        for (const auto& m : r->DataOutputs)
            child(dout, qs(m->Name()), m->Name(), kDataOutput);
    }
    updating_ = false;
}

namespace {

TFB_InstanceRef* recordOf(const TFB_Diagram* diagram, const QTreeWidgetItem* item)
{
    if (!diagram || !item || !item->parent())
        return nullptr;
    const TFB_Instance* drawn = diagram->FindDrawn(item->parent()->text(0).toStdString());
    return drawn ? drawn->Ref : nullptr;
}

} // namespace

std::string TfrmVisualDebuggerSelectEvents::PortPath(const QTreeWidgetItem* item)
{
    if (!item || !item->parent())
        return {};
    return item->parent()->text(0).toStdString() + "." + item->data(0, PortRole).toString().toStdString();
}

TFBEvent* TfrmVisualDebuggerSelectEvents::EventOf(const QTreeWidgetItem* item) const
{
    TFB_InstanceRef* r = recordOf(diagram_, item);
    if (!r || item->data(0, KindRole).toInt() != kEvent)
        return nullptr;
    return r->FindEventInput(item->data(0, PortRole).toString().toStdString());
}

TFBDataMember* TfrmVisualDebuggerSelectEvents::DataOf(const QTreeWidgetItem* item) const
{
    TFB_InstanceRef* r = recordOf(diagram_, item);
    if (!r)
        return nullptr;
    const std::string port = item->data(0, PortRole).toString().toStdString();
    switch (item->data(0, KindRole).toInt()) {
    case kDataInput: return r->FindDataInput(port);
    case kDataOutput: return r->FindDataOutput(port);
    default: return nullptr;
    }
}

QTreeWidgetItem* TfrmVisualDebuggerSelectEvents::Node(QTreeWidget* tree, const std::string& instance,
                                                      const std::string& port)
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* root = tree->topLevelItem(i);
        if (root->text(0) != qs(instance))
            continue;
        if (port.empty())
            return root;
        for (int k = 0; k < root->childCount(); ++k) {
            QTreeWidgetItem* c = root->child(k);
            if (c->data(0, PortRole).toString() == qs(port))
                return c;
        }
    }
    return nullptr;
}

void TfrmVisualDebuggerSelectEvents::ClickTick(QTreeWidgetItem* item)
{
    if (!item || !(item->flags() & Qt::ItemIsUserCheckable))
        return;
    item->treeWidget()->setCurrentItem(item);
    item->setCheckState(0, item->checkState(0) == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
}

void TfrmVisualDebuggerSelectEvents::itemChanged(QTreeWidgetItem* item)
{
    if (updating_)
        return;
    const auto before = static_cast<Qt::CheckState>(item->data(0, LastTickRole).toInt());
    Qt::CheckState now = item->checkState(0);
    if (now == before)
        return;
    // A click on a mixed box unticks (the view would tick it).
    if (before == Qt::PartiallyChecked)
        now = Qt::Unchecked;
    updating_ = true;
    setTick(item, now);
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        recompute(p);
    updating_ = false;
}

void TfrmVisualDebuggerSelectEvents::setTick(QTreeWidgetItem* item, Qt::CheckState state)
{
    item->setCheckState(0, state);
    item->setData(0, LastTickRole, int(state));
    for (int k = 0; k < item->childCount(); ++k)
        if (item->child(k)->flags() & Qt::ItemIsUserCheckable)
            setTick(item->child(k), state);
}

void TfrmVisualDebuggerSelectEvents::recompute(QTreeWidgetItem* parent)
{
    bool allTicked = true, allUnticked = true;
    for (int k = 0; k < parent->childCount(); ++k) {
        QTreeWidgetItem* c = parent->child(k);
        if (!(c->flags() & Qt::ItemIsUserCheckable))
            continue;
        if (c->checkState(0) != Qt::Checked)
            allTicked = false;
        if (c->checkState(0) != Qt::Unchecked)
            allUnticked = false;
    }
    const Qt::CheckState state = allTicked ? Qt::Checked : allUnticked ? Qt::Unchecked : Qt::PartiallyChecked;
    parent->setCheckState(0, state);
    parent->setData(0, LastTickRole, int(state));
}

void TfrmVisualDebuggerSelectEvents::dataInputClicked()
{
    if (const TFBDataMember* m = DataOf(dataIn_->currentItem()))
        value_->setText(qs(m->FormatValue()));
}

bool TfrmVisualDebuggerSelectEvents::applyValue(bool report)
{
    QTreeWidgetItem* item = dataIn_->currentItem();
    TFBDataMember* m = DataOf(item);
    if (!m)
        return false;
    try {
        m->SetValueFromText(value_->text().toStdString());
    } catch (const EConvertError& e) {
        // While typing, a number is often not yet whole ("-", "1."): only
        // an explicit "Apply Value" reports it.
        if (report && ShowError)
            ShowError(e.what());
        return false;
    }
    updating_ = true;
    item->setText(0, DataInputText(*m));
    updating_ = false;
    return true;
}

} // namespace telvo
