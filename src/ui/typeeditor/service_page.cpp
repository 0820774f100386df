#include "ui/typeeditor/service_page.h"

#include "model/fb_type.h"
#include "ui/typeeditor/type_editor.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QComboBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace telvo {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }

// The bound cells offer the two interface names in a drop-down list; a
// choice is stored at once.
class TInterfaceDelegate : public QStyledItemDelegate {
public:
    TInterfaceDelegate(TServicePage& page, QObject* parent) : QStyledItemDelegate(parent), page_(page) {}
    std::function<QStringList()> Names;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* combo = new QComboBox(parent);
        combo->setObjectName("cmbServiceInterfaces");
        combo->addItems(Names());
        auto* self = const_cast<TInterfaceDelegate*>(this);
        connect(combo, &QComboBox::activated, self, [self, combo] { emit self->commitData(combo); });
        return combo;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* combo = static_cast<QComboBox*>(editor);
        combo->setCurrentIndex(combo->findText(index.data().toString()));
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        // No item chosen (the cell's text matched neither name): nothing
        // to store.
        auto* combo = static_cast<QComboBox*>(editor);
        if (combo->currentIndex() >= 0)
            model->setData(index, combo->currentText());
    }

private:
    TServicePage& page_;
};

} // namespace

void PaintServiceSequence(QImage& image, const TFB_Service* service, const TFB_ServiceSequence* sequence)
{
    image.fill(Qt::white);
    if (!service)
        return;
    QPainter p(&image);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8);
    p.setFont(font);
    const QFontMetrics fm(font);
    p.setPen(Qt::black);
    const int W = image.width(), H = image.height();
    const int L = W / 2 - 20, R = W / 2 + 20;
    auto text = [&](int x1, int y1, int x2, int y2, const QString& t, int align) {
        p.drawText(QRect(x1, y1, x2 - x1, y2 - y1), align | Qt::AlignVCenter | Qt::TextSingleLine,
                   fm.elidedText(t, Qt::ElideRight, std::max(0, x2 - x1)));
    };
    text(0, 2, W, 20, sequence ? qs(sequence->Name) : QStringLiteral("<empty>"), Qt::AlignHCenter);
    p.drawLine(L, 20, L, H);
    p.drawLine(R, 20, R, H);
    text(0, 20, L - 10, 40, qs(service->LeftInterface), Qt::AlignRight);
    text(R + 10, 20, W, 40, qs(service->RightInterface), Qt::AlignLeft);
    if (!sequence)
        return;
    auto head = [&](QPoint tip, QPoint a, QPoint b) {
        p.setBrush(Qt::black);
        p.drawPolygon(QPolygon({tip, a, b}));
    };
    bool anchorSet = false;
    QPoint anchor;
    for (size_t k = 0; k < sequence->Primitives.size(); ++k) {
        const TFB_ServiceTransaction& t = *sequence->Primitives[k];
        const int y = 50 + 20 * static_cast<int>(k);
        const QString label = qs(t.Event) + QLatin1Char('(') + qs(t.Parameters) + QLatin1Char(')');
        if (t.Interface == service->LeftInterface) {
            p.drawLine(L - 50, y, L, y);
            if (t.IsInput)
                head({L, y}, {L - 7, y - 4}, {L - 7, y + 4});
            else
                head({L - 50, y}, {L - 43, y - 4}, {L - 43, y + 4});
            p.fillRect(L, y - 3, 6, 6, Qt::black);
            p.fillRect(L - 150, y - 8, 100, 12, Qt::white);
            text(L - 150, y - 8, L - 50, y + 4, label, Qt::AlignRight);
            if (!t.IsInput && anchorSet)
                p.drawLine(anchor, QPoint(L + 3, y));
            anchor = QPoint(L + 3, y);
            anchorSet = true;
        }
        if (t.Interface == service->RightInterface) {
            p.drawLine(R, y, R + 50, y);
            if (t.IsInput)
                head({R, y}, {R + 7, y - 4}, {R + 7, y + 4});
            else
                head({R + 50, y}, {R + 43, y - 4}, {R + 43, y + 4});
            p.fillRect(R - 6, y - 3, 6, 6, Qt::black);
            p.fillRect(R + 50, y - 8, 100, 12, Qt::white);
            text(R + 50, y - 8, R + 150, y + 4, label, Qt::AlignLeft);
            if (!t.IsInput && anchorSet)
                p.drawLine(anchor, QPoint(R - 3, y));
            anchor = QPoint(R - 3, y);
            anchorSet = true;
        }
    }
}

class TServicePicture : public QWidget {
public:
    TServicePicture(TServicePage& page, QWidget* parent) : QWidget(parent), page_(page)
    {
        setObjectName("pbServices");
        setMinimumHeight(120);
    }
    QImage Image;
    std::function<void()> OnResize;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawImage(0, 0, Image);
    }
    void resizeEvent(QResizeEvent*) override
    {
        if (OnResize)
            OnResize();
    }

private:
    TServicePage& page_;
};

TServicePage::TServicePage(TfrmDesignFBType& editor, QWidget* parent) : QWidget(parent), editor_(editor)
{
    setObjectName("tsService");
    auto* v = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    edtLeft_ = new QLineEdit(this);
    edtLeft_->setObjectName("edtLeftInterface");
    edtRight_ = new QLineEdit(this);
    edtRight_->setObjectName("edtRightInterface");
    edtComment_ = new QLineEdit(this);
    edtComment_->setObjectName("edtServiceComment");
    form->addRow(QStringLiteral("Left interface:"), edtLeft_);
    form->addRow(QStringLiteral("Right interface:"), edtRight_);
    form->addRow(QStringLiteral("Comment:"), edtComment_);
    v->addLayout(form);
    connect(edtLeft_, &QLineEdit::textEdited, this, [this](const QString& t) { SetInterfaceText(true, t); });
    connect(edtRight_, &QLineEdit::textEdited, this, [this](const QString& t) { SetInterfaceText(false, t); });
    connect(edtComment_, &QLineEdit::textEdited, this, [this](const QString& t) { SetComment(t); });

    auto* middle = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    sgServices_ = new QTableWidget(1, 1, this);
    sgServices_->setObjectName("sgServices");
    sgServices_->setHorizontalHeaderLabels({QStringLiteral("Service Sequences:")});
    sgServices_->setColumnWidth(0, 127);
    sgServices_->verticalHeader()->setDefaultSectionSize(17);
    sgServices_->horizontalHeader()->setStretchLastSection(true);
    sgServices_->setMaximumWidth(170);
    left->addWidget(sgServices_, 1);
    auto* seqButtons = new QHBoxLayout;
    auto* addSeq = new QPushButton(QStringLiteral("Add"), this);
    addSeq->setObjectName("btnAddSequence");
    btnDeleteSequence_ = new QPushButton(QStringLiteral("Delete"), this);
    btnDeleteSequence_->setObjectName("btnDeleteSequence");
    btnDeleteSequence_->setEnabled(false);
    seqButtons->addWidget(addSeq);
    seqButtons->addWidget(btnDeleteSequence_);
    left->addLayout(seqButtons);
    middle->addLayout(left);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Service Sequences Transactions:"), this));
    picture_ = new TServicePicture(*this, this);
    picture_->OnResize = [this] { Repaint(); };
    right->addWidget(picture_, 1);
    middle->addLayout(right, 1);
    v->addLayout(middle, 2);

    v->addWidget(new QLabel(QStringLiteral("Transactions:"), this));
    sgTransactions_ = new QTableWidget(1, 4, this);
    sgTransactions_->setObjectName("sgTransactions");
    sgTransactions_->setHorizontalHeaderLabels({QStringLiteral("Event name"), QStringLiteral("Parameters"),
                                                QStringLiteral("From bound of"), QStringLiteral("To bound of")});
    for (int c = 0; c < 4; ++c)
        sgTransactions_->setColumnWidth(c, 100);
    sgTransactions_->verticalHeader()->setDefaultSectionSize(16);
    sgTransactions_->setEnabled(false);
    for (int c : {2, 3}) {
        auto* delegate = new TInterfaceDelegate(*this, sgTransactions_);
        delegate->Names = [this] { return QStringList{edtLeft_->text(), edtRight_->text()}; };
        sgTransactions_->setItemDelegateForColumn(c, delegate);
    }
    v->addWidget(sgTransactions_, 1);
    auto* trButtons = new QHBoxLayout;
    btnAddTransaction_ = new QPushButton(QStringLiteral("Add"), this);
    btnAddTransaction_->setObjectName("btnAddTransaction");
    btnAddTransaction_->setEnabled(false);
    btnDeleteTransaction_ = new QPushButton(QStringLiteral("Delete"), this);
    btnDeleteTransaction_->setObjectName("btnDeleteTransaction");
    btnDeleteTransaction_->setEnabled(false);
    trButtons->addWidget(btnAddTransaction_);
    trButtons->addWidget(btnDeleteTransaction_);
    trButtons->addStretch(1);
    v->addLayout(trButtons);

    connect(addSeq, &QPushButton::clicked, this, [this] { AddSequenceClick(); });
    connect(btnDeleteSequence_, &QPushButton::clicked, this, [this] { DeleteSequenceClick(); });
    connect(btnAddTransaction_, &QPushButton::clicked, this, [this] { AddTransactionClick(); });
    connect(btnDeleteTransaction_, &QPushButton::clicked, this, [this] { DeleteTransactionClick(); });
    connect(sgServices_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!filling_)
            SequenceEdited(item->row(), item->text());
    });
    connect(sgServices_, &QTableWidget::currentCellChanged, this, [this] {
        if (!filling_)
            refresh();
    });
    connect(sgTransactions_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!filling_)
            TransactionEdited(item->row(), item->column(), item->text());
    });
    // The interface list stands over a bound cell as soon as it is selected.
    connect(sgTransactions_, &QTableWidget::currentCellChanged, this, [this](int row, int column) {
        if (filling_ || (column != 2 && column != 3) || row < 0 || !sgTransactions_->isEnabled())
            return;
        if (QTableWidgetItem* item = sgTransactions_->item(row, column))
            sgTransactions_->editItem(item);
    });
}

const QImage& TServicePage::Image() const { return picture_->Image; }

TFB_Service* TServicePage::service() const
{
    TFB_Type* t = editor_.WorkingType();
    return t && !t->Services.empty() ? t->Services.front().get() : nullptr;
}

TFB_ServiceSequence* TServicePage::current() const
{
    TFB_Service* s = service();
    const int row = std::max(0, sgServices_->currentRow());
    return s && row < static_cast<int>(s->Sequences.size()) ? s->Sequences[row].get() : nullptr;
}

void TServicePage::Fill()
{
    TFB_Type* t = editor_.WorkingType();
    // A type made in memory may lack the service a file always gives it.
    if (t && t->Services.empty())
        t->AddService("", "", "");
    TFB_Service* s = service();
    filling_ = true;
    edtLeft_->setText(s ? qs(s->LeftInterface) : QString());
    edtRight_->setText(s ? qs(s->RightInterface) : QString());
    edtComment_->setText(s ? qs(s->Comment) : QString());
    const int n = s ? static_cast<int>(s->Sequences.size()) : 0;
    const int row = sgServices_->currentRow();
    sgServices_->setRowCount(std::max(1, n));
    for (int r = 0; r < std::max(1, n); ++r)
        sgServices_->setItem(r, 0, new QTableWidgetItem(r < n ? qs(s->Sequences[r]->Name) : QString()));
    sgServices_->setCurrentCell(row >= 0 && row < std::max(1, n) ? row : 0, 0);
    filling_ = false;
    // A load leaves the grids and buttons as they were: only Add and Delete
    // switch them.
    refresh();
}

void TServicePage::refresh()
{
    Repaint();
    TFB_ServiceSequence* seq = current();
    TFB_Service* s = service();
    filling_ = true;
    const int n = seq ? static_cast<int>(seq->Primitives.size()) : 0;
    sgTransactions_->setRowCount(std::max(1, n));
    for (int r = 0; r < std::max(1, n); ++r) {
        const TFB_ServiceTransaction* t = r < n ? seq->Primitives[r].get() : nullptr;
        const QString cells[4] = {t ? qs(t->Event) : QString(), t ? qs(t->Parameters) : QString(),
                                  t && !t->IsInput ? qs(t->Interface) : QString(),
                                  t && t->IsInput ? qs(t->Interface) : QString()};
        for (int c = 0; c < 4; ++c)
            sgTransactions_->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    filling_ = false;
    // Without sequences the grid shows no primitives of another type's, but
    // keeps its state.
    if (!s || s->Sequences.empty())
        return;
    sgTransactions_->setEnabled(true);
    btnAddTransaction_->setEnabled(true);
}

void TServicePage::Repaint()
{
    if (picture_->Image.size() != picture_->size())
        picture_->Image = QImage(picture_->size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    TFB_Service* s = service();
    PaintServiceSequence(picture_->Image, s, s && !s->Sequences.empty() ? current() : nullptr);
    picture_->update();
}

void TServicePage::SetInterfaceText(bool left, const QString& text)
{
    TFB_Service* s = service();
    if (!s || filling_)
        return;
    (left ? s->LeftInterface : s->RightInterface) = ss(text);
    Repaint();
    editor_.Commit(left ? QStringLiteral("Left interface") : QStringLiteral("Right interface"),
                   left ? QStringLiteral("svcLeft") : QStringLiteral("svcRight"));
}

void TServicePage::SetComment(const QString& text)
{
    TFB_Service* s = service();
    if (!s || filling_)
        return;
    s->Comment = ss(text);
    Repaint();
    editor_.Commit(QStringLiteral("Service comment"), QStringLiteral("svcComment"));
}

void TServicePage::AddSequenceClick()
{
    TFB_Service* s = service();
    if (!s)
        return;
    s->AddSequence("ServiceSeq_" + std::to_string(s->Sequences.size() + 1), "");
    if (s->LeftInterface.empty())
        s->LeftInterface = "LeftInterf";
    if (s->RightInterface.empty())
        s->RightInterface = "RightInterf";
    Fill();
    sgServices_->setCurrentCell(static_cast<int>(s->Sequences.size()) - 1, 0);
    sgServices_->setEnabled(true);
    btnDeleteSequence_->setEnabled(true);
    refresh();
    editor_.Commit(QStringLiteral("Add sequence"));
}

void TServicePage::DeleteSequenceClick()
{
    TFB_Service* s = service();
    TFB_ServiceSequence* seq = current();
    if (!s || !seq)
        return;
    const std::string name = seq->Name;
    if (!editor_.AskYesNo("Delete " + name + " ?"))
        return;
    s->DeleteSequence(name);
    Fill();
    sgServices_->setEnabled(!s->Sequences.empty());
    btnDeleteSequence_->setEnabled(!s->Sequences.empty());
    editor_.Commit(QStringLiteral("Delete sequence ") + qs(name));
}

void TServicePage::SequenceEdited(int row, const QString& text)
{
    TFB_Service* s = service();
    if (!s)
        return;
    if (s->Sequences.empty())
        s->AddSequence("ServiceSeq_" + std::to_string(sgServices_->rowCount()), "");
    if (row < 0 || row >= static_cast<int>(s->Sequences.size()))
        return;
    s->Sequences[row]->Name = ss(text);
    refresh();
    editor_.Commit(QStringLiteral("Sequence name"));
}

void TServicePage::AddTransactionClick()
{
    TFB_Service* s = service();
    TFB_ServiceSequence* seq = current();
    if (!s || !seq)
        return;
    seq->AddPrimitive(true, s->LeftInterface, "<put_event>" + std::to_string(seq->Primitives.size() + 1), "");
    refresh();
    sgTransactions_->setEnabled(true);
    btnDeleteTransaction_->setEnabled(true);
    editor_.Commit(QStringLiteral("Add transaction"));
}

void TServicePage::DeleteTransactionClick()
{
    TFB_ServiceSequence* seq = current();
    const int row = sgTransactions_->currentRow();
    if (!seq || row < 0 || row >= static_cast<int>(seq->Primitives.size()))
        return;
    const std::string event = seq->Primitives[row]->Event;
    if (!editor_.AskYesNo("Delete " + event + " ?"))
        return;
    seq->DeletePrimitive(event);
    refresh();
    sgTransactions_->setEnabled(!seq->Primitives.empty());
    btnDeleteTransaction_->setEnabled(!seq->Primitives.empty());
    editor_.Commit(QStringLiteral("Delete transaction"));
}

void TServicePage::TransactionEdited(int row, int column, const QString& text)
{
    TFB_Service* s = service();
    TFB_ServiceSequence* seq = current();
    if (!s || !seq)
        return;
    if (seq->Primitives.empty())
        seq->AddPrimitive(true, s->LeftInterface, "", "");
    if (row < 0 || row >= static_cast<int>(seq->Primitives.size()))
        return;
    TFB_ServiceTransaction& t = *seq->Primitives[row];
    const std::string v = ss(text);
    switch (column) {
    case 0: t.Event = v; break;
    case 1: t.Parameters = v; break;
    case 2:
        if (!v.empty()) {
            t.Interface = v;
            t.IsInput = false;
        }
        break;
    case 3:
        if (!v.empty()) {
            t.Interface = v;
            t.IsInput = true;
        }
        break;
    default: break;
    }
    refresh();
    editor_.Commit(QStringLiteral("Transaction"));
}

} // namespace telvo
