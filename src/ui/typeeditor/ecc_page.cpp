#include "ui/typeeditor/ecc_page.h"

#include "model/fb_instance.h"
#include "model/fb_type.h"
#include "runtime/script/script_code.h"
#include "runtime/script/script_errors.h"
#include "runtime/script_check.h"
#include "runtime/script_generation.h"
#include "ui/diagram/diagram_renderer.h"
#include "ui/typeeditor/type_editor.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <set>

namespace telvo {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }

const QColor kStateFill(201, 200, 255);
const QColor kOutputFill(255, 185, 149);

// A condition is one line: line breaks pasted into it become blanks.
std::string oneLine(std::string text)
{
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

const TECCState* findState(const TFB_Type& type, const std::string& name)
{
    for (const auto& s : type.States)
        if (s->Name == name)
            return s.get();
    return nullptr;
}

// Where a press is on a state: its box and its action cells. The cells are
// drawn over any transition label beneath them, so a press there belongs to
// the state the user sees, not to a label hidden under it.
bool onState(const TECCState& s, int x, int y)
{
    if (s.X < x && x < s.X + 60 && s.Y < y && y < s.Y + 18)
        return true;
    const int rows = static_cast<int>(s.Actions.size());
    return rows > 0 && s.X + 80 < x && x < s.X + 180 && s.Y < y && y < s.Y + 18 * rows;
}

// What a state covers on the chart: its box (with the start frame) and,
// beside it, the connector and the action cells.
std::vector<QRect> stateFootprint(const TECCState& s)
{
    std::vector<QRect> parts;
    if (s.Name == "START")
        parts.emplace_back(s.X - 2, s.Y - 2, 64, 22);
    else
        parts.emplace_back(s.X, s.Y, 60, 18);
    if (!s.Actions.empty())
        parts.emplace_back(s.X + 60, s.Y, 120, 18 * static_cast<int>(s.Actions.size()));
    return parts;
}

// The label box of a transition as it is drawn.
QRect labelBox(const TECCTransition& t)
{
    const int right = t.X + 12 * std::max(1, static_cast<int>(t.Condition.size()));
    return QRect(QPoint(t.X - 5, t.Y - 5), QPoint(right - 1, t.Y + 4));
}

} // namespace

std::string CheckTransitionCondition(TFB_Type& type, const std::string& condition)
{
    const TScriptCheck check = CheckConditionScript(type, condition);
    if (check.Ok)
        return {};
    return check.Column > 0 ? "Column " + std::to_string(check.Column) + ": " + check.Message : check.Message;
}

std::string EccCheckSignature(const TFB_Type& type)
{
    // Whether a condition works depends on the names, types and start
    // values of what its script declares.
    std::string sig;
    for (const auto& e : type.EventInputs)
        sig += "E" + e->Name + '\n';
    for (const auto& d : type.DataInputs)
        sig += "I" + d->Name + '\t' + d->Type + '\t' + d->InitialValue + '\n';
    for (const auto& v : type.InternalVars)
        sig += "V" + v->Name + '\t' + v->Type + '\t' + v->InitialValue + '\n';
    return sig;
}

QPoint EccOrigin(const TFB_Type* type)
{
    int x = 0, y = 0;
    if (type) {
        for (const auto& s : type->States) {
            x = std::min(x, s->X - 10);
            y = std::min(y, s->Y - 10);
        }
        for (const auto& t : type->Transitions) {
            x = std::min(x, t->X - 15);
            y = std::min(y, t->Y - 15);
        }
    }
    return {x, y};
}

QSize EccExtent(const TFB_Type* type)
{
    const QPoint origin = EccOrigin(type);
    int w = 1300, h = 1200;
    if (type) {
        for (const auto& s : type->States) {
            w = std::max(w, s->X + 200);
            h = std::max(h, s->Y + 18 * static_cast<int>(std::max<size_t>(1, s->Actions.size())) + 60);
        }
        for (const auto& t : type->Transitions) {
            w = std::max(w, t->X + 12 * static_cast<int>(t->Condition.size()) + 40);
            h = std::max(h, t->Y + 60);
        }
    }
    return {w - origin.x(), h - origin.y()};
}

void PaintEcc(QImage& image, const TFB_Type* type, double zoom, int selectedState, int selectedTransition)
{
    PaintEcc(image, type, zoom, selectedState, selectedTransition, EccOrigin(type));
}

void PaintEcc(QImage& image, const TFB_Type* type, double zoom, int selectedState, int selectedTransition,
              QPoint origin)
{
    PaintEcc(image, type, zoom, selectedState, selectedTransition, origin, {});
}

void PaintEcc(QImage& image, const TFB_Type* type, double zoom, int selectedState, int selectedTransition,
              QPoint origin, const std::vector<bool>& unfitConditions)
{
    image.fill(Qt::white);
    if (!type)
        return;
    QPainter p(&image);
    p.scale(zoom, zoom);
    p.translate(-origin);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(6);
    p.setFont(font);
    const QFontMetrics fm(font);
    // Rectangles with exclusive right and bottom edges.
    auto box = [&](int x1, int y1, int x2, int y2) { p.drawRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1); };
    auto text = [&](int x1, int y1, int x2, int y2, const QString& t, int align) {
        p.drawText(QRect(x1, y1, x2 - x1, y2 - y1), align | Qt::AlignVCenter | Qt::TextSingleLine,
                   fm.elidedText(t, Qt::ElideRight, x2 - x1));
    };

    for (size_t i = 0; i < type->Transitions.size(); ++i) {
        const TECCTransition& t = *type->Transitions[i];
        p.setPen(QPen(Qt::black, static_cast<int>(i) == selectedTransition ? 2 : 1));
        p.setBrush(Qt::white);
        const TECCState* from = findState(*type, t.Source);
        const TECCState* to = findState(*type, t.Destination);
        // A transition naming a state the chart lacks is drawn as its label
        // alone, so the rest of the chart still shows.
        if (from)
            p.drawLine(from->X + 30, from->Y + 9, t.X, t.Y);
        if (to) {
            const int dx = to->X + 30;
            if (t.Y < to->Y) {
                p.drawLine(t.X, t.Y, dx, to->Y - 10);
                p.drawLine(dx, to->Y - 10, dx, to->Y - 2);
                p.drawLine(dx, to->Y - 2, to->X + 26, to->Y - 6);
                p.drawLine(to->X + 26, to->Y - 6, to->X + 34, to->Y - 6);
                p.drawLine(to->X + 34, to->Y - 6, dx, to->Y - 2);
            } else {
                p.drawLine(t.X, t.Y, dx, to->Y + 30);
                p.drawLine(dx, to->Y + 30, dx, to->Y + 18);
                p.drawLine(dx, to->Y + 18, to->X + 26, to->Y + 22);
                p.drawLine(to->X + 26, to->Y + 22, to->X + 34, to->Y + 22);
                p.drawLine(to->X + 34, to->Y + 22, dx, to->Y + 18);
            }
        }
        const QString condition = qs(t.Condition);
        const int right = t.X + 12 * std::max(1, static_cast<int>(t.Condition.size()));
        p.fillRect(QRect(t.X - 5, t.Y - 5, right - (t.X - 5), 10), Qt::white);
        // A condition the simulation cannot run is written in the warning
        // colour, as a connection of mismatched types is drawn.
        if (i < unfitConditions.size() && unfitConditions[i])
            p.setPen(QColor::fromRgb(DiagramColour::Warning));
        text(t.X - 5, t.Y - 6, right, t.Y + 6, condition, Qt::AlignLeft);
    }

    for (size_t i = 0; i < type->States.size(); ++i) {
        const TECCState& s = *type->States[i];
        p.setPen(QPen(Qt::black, static_cast<int>(i) == selectedState ? 2 : 1));
        p.setBrush(kStateFill);
        if (s.Name == "START")
            box(s.X - 2, s.Y - 2, s.X + 62, s.Y + 20);
        box(s.X, s.Y, s.X + 60, s.Y + 18);
        text(s.X, s.Y, s.X + 60, s.Y + 18, qs(s.Name), Qt::AlignHCenter);
        if (s.Actions.empty())
            continue;
        p.drawLine(s.X + 60, s.Y + 8, s.X + 80, s.Y + 8);
        for (size_t k = 0; k < s.Actions.size(); ++k) {
            const int y = s.Y + 18 * static_cast<int>(k);
            p.setBrush(Qt::white);
            box(s.X + 80, y, s.X + 121, y + 18);
            text(s.X + 81, y, s.X + 120, y + 18, qs(s.Actions[k]->Algorithm), Qt::AlignHCenter);
            p.setBrush(kOutputFill);
            box(s.X + 120, y, s.X + 180, y + 18);
            text(s.X + 121, y, s.X + 180, y + 18, qs(s.Actions[k]->Output), Qt::AlignHCenter);
        }
    }
}

// ===========================================================================

TEccPaintBox::TEccPaintBox(TEccPage& page, QWidget* parent) : QWidget(parent), page_(page)
{
    setObjectName("pbECC");
    setMouseTracking(true);
    // Clicked, the chart takes the keys (Delete).
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TEccPaintBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, page_.Image());
    if (rubber_ != QPoint(-1, -1) && start_ != QPoint(-1, -1)) {
        // The rubber line is drawn over the picture only: moving the mouse
        // repaints no chart.
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawLine((start_ - page_.Origin()) * page_.Zoom(), (rubber_ - page_.Origin()) * page_.Zoom());
    }
}

namespace {
QPoint chartPoint(const QMouseEvent* e, double zoom, QPoint origin)
{
    return QPoint(static_cast<int>(std::nearbyint(e->position().x() / zoom)),
                  static_cast<int>(std::nearbyint(e->position().y() / zoom))) +
           origin;
}
} // namespace

void TEccPaintBox::mousePressEvent(QMouseEvent* e)
{
    const QPoint p = chartPoint(e, page_.Zoom(), page_.Origin());
    page_.MouseDown(p.x(), p.y());
}
void TEccPaintBox::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint p = chartPoint(e, page_.Zoom(), page_.Origin());
    page_.MouseMove(p.x(), p.y());
}
void TEccPaintBox::mouseReleaseEvent(QMouseEvent* e)
{
    const QPoint p = chartPoint(e, page_.Zoom(), page_.Origin());
    page_.MouseUp(p.x(), p.y());
}
void TEccPaintBox::mouseDoubleClickEvent(QMouseEvent* e)
{
    const QPoint p = chartPoint(e, page_.Zoom(), page_.Origin());
    page_.DoubleClick(p.x(), p.y());
}
void TEccPaintBox::contextMenuEvent(QContextMenuEvent* e)
{
    // The menu is for what lies under the mouse, in either mode; the press
    // that opened it starts no drag (the release goes to the menu).
    const QPoint p = QPoint(static_cast<int>(std::nearbyint(e->pos().x() / page_.Zoom())),
                            static_cast<int>(std::nearbyint(e->pos().y() / page_.Zoom()))) +
                     page_.Origin();
    page_.SelectAt(p.x(), p.y());
    page_.UpdateContextMenu();
    page_.ContextMenu()->popup(e->globalPos());
}
void TEccPaintBox::wheelEvent(QWheelEvent* e)
{
    if (!(e->modifiers() & Qt::ControlModifier)) {
        e->ignore();
        return;
    }
    page_.SetZoom(page_.Zoom() * (e->angleDelta().y() > 0 ? 1.25 : 0.8));
    e->accept();
}

// ===========================================================================

TEccPage::TEccPage(TfrmDesignFBType& editor, QWidget* parent) : QWidget(parent), editor_(editor)
{
    setObjectName("tsECC");
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QWidget(this);
    bar->setObjectName("tbECC");
    bar->setFixedHeight(31);
    bar->setAutoFillBackground(true);
    bar->setStyleSheet(QStringLiteral("#tbECC { background: silver; }"));
    auto* h = new QHBoxLayout(bar);
    h->setContentsMargins(4, 2, 4, 2);
    auto button = [&](const char* name, const QString& text, bool checkable) {
        auto* b = new QToolButton(bar);
        b->setObjectName(name);
        b->setText(text);
        b->setAutoRaise(true);
        b->setCheckable(checkable);
        h->addWidget(b);
        return b;
    };
    QToolButton* state = button("btnState", QStringLiteral("State"), false);
    btnSelect_ = button("btnSelect", QStringLiteral("Select"), true);
    btnTransition_ = button("btnTransition", QStringLiteral("Transition"), true);
    btnSelect_->setChecked(true);
    h->addStretch(1);
    v->addWidget(bar);
    connect(state, &QToolButton::clicked, this, [this] { AddStateClick(); });
    connect(btnSelect_, &QToolButton::clicked, this, [this] { SelectModeClick(); });
    connect(btnTransition_, &QToolButton::clicked, this, [this] { TransitionModeClick(); });

    scroll_ = new QScrollArea(this);
    scroll_->setBackgroundRole(QPalette::Base);
    box_ = new TEccPaintBox(*this, scroll_);
    scroll_->setWidget(box_);
    v->addWidget(scroll_, 1);

    popup_ = new QMenu(this);
    popup_->setObjectName("PopupMenu2");
    mnuEdit_ = popup_->addAction(QStringLiteral("Edit"), this, [this] { EditClick(); });
    mnuDelete_ = popup_->addAction(QStringLiteral("Delete"), this, [this] { DeleteClick(); });
    // The Delete key deletes the selection, as in the diagram editor.
    auto* del = new QShortcut(QKeySequence::Delete, this);
    del->setContext(Qt::WidgetWithChildrenShortcut);
    connect(del, &QShortcut::activated, this, [this] {
        UpdateContextMenu();
        if (mnuDelete_->isEnabled())
            DeleteClick();
    });
    Repaint();
}

TFB_Type* TEccPage::type() const { return editor_.WorkingType(); }

void TEccPage::editorRefusal(const std::string& text) { editor_.ShowMessage(text); }

void TEccPage::TypeLoaded()
{
    selectedState_ = selectedTransition_ = -1;
    dragging_ = false;
    resetPending();
    Repaint();
    ScrollHome();
}

void TEccPage::ScrollHome()
{
    scroll_->horizontalScrollBar()->setValue(0);
    scroll_->verticalScrollBar()->setValue(0);
}

void TEccPage::SetZoom(double zoom)
{
    zoom_ = std::clamp(zoom, 0.25, 4.0);
    Repaint();
}

void TEccPage::Repaint()
{
    // The paint box grows with the chart instead of clipping it.
    // Dragging keeps the origin where it was, so the chart does not jump
    // under the mouse; it is taken anew once the drag ends.
    if (!dragging_)
        origin_ = EccOrigin(type());
    const QSize extent = EccExtent(type());
    const QSize size(static_cast<int>(extent.width() * zoom_), static_cast<int>(extent.height() * zoom_));
    if (box_->size() != size)
        box_->resize(size);
    if (image_.size() != size)
        image_ = QImage(size, QImage::Format_RGB32);
    if (selectedState_ >= 0 && (!type() || selectedState_ >= static_cast<int>(type()->States.size())))
        selectedState_ = -1;
    if (selectedTransition_ >= 0 &&
        (!type() || selectedTransition_ >= static_cast<int>(type()->Transitions.size())))
        selectedTransition_ = -1;
    std::vector<bool> unfit;
    if (TFB_Type* t = type()) {
        const std::string signature = EccCheckSignature(*t);
        if (signature != checkedSignature_) {
            checkedSignature_ = signature;
            conditionFits_.clear();
        }
        for (const auto& tr : t->Transitions) {
            auto it = conditionFits_.find(tr->Condition);
            if (it == conditionFits_.end())
                it = conditionFits_.emplace(tr->Condition, CheckConditionScript(*t, tr->Condition).Ok).first;
            unfit.push_back(!it->second);
        }
    }
    PaintEcc(image_, type(), zoom_, selectedState_, selectedTransition_, origin_, unfit);
    box_->update();
}

void TEccPage::resetPending()
{
    pendingSource_ = -1;
    rubberEnd_ = QPoint(-1, -1);
    box_->SetRubber({-1, -1}, {-1, -1});
}

void TEccPage::AddStateClick()
{
    if (!type())
        return;
    TECCState* added = type()->AddState("STATE_" + std::to_string(type()->States.size() + 1), "");
    placeClear(*added);
    Repaint();
    editor_.Commit(QStringLiteral("Add state"));
}

void TEccPage::SelectModeClick()
{
    transitionMode_ = false;
    btnSelect_->setChecked(true);
    btnTransition_->setChecked(false);
    box_->setCursor(Qt::ArrowCursor);
    resetPending();
    Repaint();
}

void TEccPage::TransitionModeClick()
{
    transitionMode_ = true;
    btnSelect_->setChecked(false);
    btnTransition_->setChecked(true);
    box_->setCursor(Qt::CrossCursor);
}

void TEccPage::placeClear(TECCState& state)
{
    // A new state goes where every new state goes; one lying there already
    // would hide it, and a press meant for the one would move the other.
    // Step down and right until it covers no state and no label.
    const TFB_Type& t = *type();
    auto covers = [&] {
        const QRect mine(state.X, state.Y, 60, 18);
        for (const auto& other : t.States)
            if (other.get() != &state)
                for (const QRect& part : stateFootprint(*other))
                    if (mine.intersects(part))
                        return true;
        for (const auto& transition : t.Transitions)
            if (mine.intersects(labelBox(*transition)))
                return true;
        return false;
    };
    for (int step = 0; step < 2000 && covers(); ++step) {
        state.X += 20;
        state.Y += 20;
    }
}

// Both hit tests scan from the last drawn to the first: what the user sees
// on top is what the press takes.
int TEccPage::stateAt(int x, int y)
{
    for (size_t i = type()->States.size(); i-- > 0;) {
        const TECCState& s = *type()->States[i];
        if (onState(s, x, y)) {
            offset_ = QPoint(x - s.X, y - s.Y);
            return static_cast<int>(i);
        }
    }
    return -1;
}

int TEccPage::transitionAt(int x, int y)
{
    for (size_t i = type()->Transitions.size(); i-- > 0;) {
        const TECCTransition& t = *type()->Transitions[i];
        if (t.X - 5 < x && x < t.X + 12 * static_cast<int>(t.Condition.size()) && t.Y - 5 < y && y < t.Y + 5) {
            offset_ = QPoint(x - t.X, y - t.Y);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TEccPage::MouseDown(int x, int y)
{
    if (!type())
        return;
    // Qt delivers the second press of a double click before the double
    // click itself and none after it, so no press is skipped here.
    if (transitionMode_) {
        const int hit = stateAt(x, y);
        if (hit < 0) {
            resetPending();
            return;
        }
        if (pendingSource_ < 0) {
            pendingSource_ = hit;
            return;
        }
        const TECCState& from = *type()->States[pendingSource_];
        const TECCState& to = *type()->States[hit];
        TECCTransition* t = type()->AddTransition(from.Name, to.Name, "1");
        t->X = from.X + (to.X - from.X) / 2;
        t->Y = from.Y + (to.Y - from.Y) / 2;
        resetPending();
        Repaint();
        editor_.Commit(QStringLiteral("Add transition"));
        return;
    }
    endDrag();
    select(x, y);
    dragging_ = selectedState_ >= 0 || selectedTransition_ >= 0;
    moved_ = false;
    Repaint();
}

void TEccPage::SelectAt(int x, int y)
{
    if (!type())
        return;
    endDrag();
    select(x, y);
    Repaint();
}

void TEccPage::select(int x, int y)
{
    // A state wins over any label beneath it.
    selectedState_ = stateAt(x, y);
    selectedTransition_ = selectedState_ < 0 ? transitionAt(x, y) : -1;
}

void TEccPage::endDrag()
{
    if (dragging_ && moved_)
        editor_.Commit(selectedState_ >= 0 ? QStringLiteral("Move state") : QStringLiteral("Move transition"));
    dragging_ = false;
    moved_ = false;
}

void TEccPage::MouseMove(int x, int y)
{
    if (!type())
        return;
    if (transitionMode_ && pendingSource_ >= 0 && pendingSource_ < static_cast<int>(type()->States.size())) {
        const TECCState& s = *type()->States[pendingSource_];
        rubberEnd_ = QPoint(x, y);
        box_->SetRubber(QPoint(s.X + 30, s.Y + 9), rubberEnd_);
        return;
    }
    if (transitionMode_ || !dragging_)
        return;
    if (selectedState_ >= 0) {
        type()->States[selectedState_]->X = x - offset_.x();
        type()->States[selectedState_]->Y = y - offset_.y();
    } else if (selectedTransition_ >= 0) {
        type()->Transitions[selectedTransition_]->X = x - offset_.x();
        type()->Transitions[selectedTransition_]->Y = y - offset_.y();
    }
    moved_ = true;
    Repaint();
}

void TEccPage::MouseUp(int, int) { endDrag(); }

void TEccPage::DoubleClick(int x, int y)
{
    if (!type())
        return;
    if (!transitionMode_)
        SelectAt(x, y);
    if (selectedState_ < 0 && selectedTransition_ < 0)
        return;
    UpdateContextMenu();
    EditClick();
}

void TEccPage::UpdateContextMenu()
{
    const TFB_Type* t = type();
    if (t && selectedState_ >= 0) {
        mnuEdit_->setText(QStringLiteral("Edit ") + qs(t->States[selectedState_]->Name) + QStringLiteral("..."));
        mnuEdit_->setEnabled(true);
        mnuDelete_->setEnabled(true);
    } else if (t && selectedTransition_ >= 0) {
        mnuEdit_->setText(QStringLiteral("Edit ") + qs(t->Transitions[selectedTransition_]->Condition) +
                          QStringLiteral("..."));
        mnuEdit_->setEnabled(true);
        mnuDelete_->setEnabled(true);
    } else {
        mnuEdit_->setText(QStringLiteral("Edit"));
        mnuEdit_->setEnabled(false);
        mnuDelete_->setEnabled(false);
    }
}

void TEccPage::DeleteClick()
{
    TFB_Type* t = type();
    if (!t)
        return;
    endDrag();
    if (selectedState_ >= 0) {
        const std::string name = t->States[selectedState_]->Name;
        // The first state is where the chart starts: without it no
        // transition could ever fire.
        if (selectedState_ == 0) {
            editorRefusal("The initial state " + name + " cannot be deleted.");
            return;
        }
        for (size_t i = t->Transitions.size(); i-- > 0;)
            if (t->Transitions[i]->Source == name || t->Transitions[i]->Destination == name)
                t->Transitions.erase(t->Transitions.begin() + static_cast<long>(i));
        t->States.erase(t->States.begin() + selectedState_);
        selectedState_ = -1;
        Repaint();
        editor_.Commit(QStringLiteral("Delete state ") + qs(name));
    } else if (selectedTransition_ >= 0) {
        t->Transitions.erase(t->Transitions.begin() + selectedTransition_);
        selectedTransition_ = -1;
        Repaint();
        editor_.Commit(QStringLiteral("Delete transition"));
    }
}

void TEccPage::EditClick()
{
    TFB_Type* t = type();
    if (!t)
        return;
    // The dialog takes the release of the press that led here: a drag left
    // running would carry the state on with the bare mouse afterwards.
    endDrag();
    if (selectedState_ >= 0) {
        TfrmEdtStateTransProps dialog(*t, *t->States[selectedState_], this);
        if (dialog.exec() == QDialog::Accepted)
            EditState(selectedState_, dialog.Name(), dialog.Comment(), dialog.Actions());
    } else if (selectedTransition_ >= 0) {
        TfrmEditECCTransition dialog(*t, t->Transitions[selectedTransition_]->Condition, this);
        dialog.AskStore = [this](const std::string& question) { return editor_.AskYesNo(question); };
        if (dialog.exec() == QDialog::Accepted)
            EditTransition(selectedTransition_, dialog.Condition());
    }
    Repaint();
}

bool TEccPage::EditState(int index, const std::string& name, const std::string& comment,
                         const std::vector<std::pair<std::string, std::string>>& actions)
{
    TFB_Type* t = type();
    if (!t || index < 0 || index >= static_cast<int>(t->States.size()))
        return false;
    TECCState& state = *t->States[index];
    // Transitions find their states by name: an empty or repeated name
    // would leave them pointing at the wrong state or none.
    if (name.empty()) {
        editorRefusal("A state needs a name.");
        return false;
    }
    for (size_t i = 0; i < t->States.size(); ++i)
        if (static_cast<int>(i) != index && t->States[i]->Name == name) {
            editorRefusal("There is already a state named " + name + ".");
            return false;
        }
    const std::string old = state.Name;
    for (auto& tr : t->Transitions) {
        if (tr->Source == old)
            tr->Source = name;
        if (tr->Destination == old)
            tr->Destination = name;
    }
    state.Name = name;
    state.Comment = comment;
    state.Actions.clear();
    for (const auto& [algorithm, output] : actions)
        if (!algorithm.empty() || !output.empty())
            state.AddAction(algorithm, output);
    Repaint();
    editor_.Commit(QStringLiteral("Edit state ") + qs(name));
    return true;
}

bool TEccPage::EditTransition(int index, const std::string& condition)
{
    TFB_Type* t = type();
    if (!t || index < 0 || index >= static_cast<int>(t->Transitions.size()))
        return false;
    t->Transitions[index]->Condition = oneLine(condition);
    Repaint();
    editor_.Commit(QStringLiteral("Edit condition"));
    return true;
}

// ===========================================================================

namespace {

// Typing into a cell opens the grid's own editor under the list that
// covers the cell: the list steps aside while the user types.
class TTypedCellDelegate : public QStyledItemDelegate {
public:
    TTypedCellDelegate(std::function<void()> editing, QObject* parent)
        : QStyledItemDelegate(parent), editing_(std::move(editing))
    {
    }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        editing_();
        return QStyledItemDelegate::createEditor(parent, option, index);
    }

private:
    std::function<void()> editing_;
};

} // namespace

TfrmEdtStateTransProps::TfrmEdtStateTransProps(const TFB_Type& type, const TECCState& state, QWidget* parent)
    : QDialog(parent)
{
    setObjectName("frmEdtStateTransProps");
    setWindowTitle(QStringLiteral("Edit State"));
    resize(296, 254);
    auto* v = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    Edit1 = new QLineEdit(qs(state.Name), this);
    Edit1->setObjectName("Edit1");
    Edit2 = new QLineEdit(qs(state.Comment), this);
    Edit2->setObjectName("Edit2");
    form->addRow(QStringLiteral("Name:"), Edit1);
    form->addRow(QStringLiteral("Comment:"), Edit2);
    v->addLayout(form);
    v->addWidget(new QLabel(QStringLiteral("Transition List:"), this));
    const int rows = std::max<int>(4, static_cast<int>(state.Actions.size()));
    StringGrid1 = new QTableWidget(rows, 2, this);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setHorizontalHeaderLabels({QStringLiteral("Algorithm"), QStringLiteral("Output")});
    StringGrid1->verticalHeader()->setDefaultSectionSize(16);
    StringGrid1->horizontalHeader()->setStretchLastSection(true);
    StringGrid1->setItemDelegate(new TTypedCellDelegate([this] { hideLists(); }, StringGrid1));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 2; ++c) {
            QString text;
            if (r < static_cast<int>(state.Actions.size()))
                text = qs(c == 0 ? state.Actions[r]->Algorithm : state.Actions[r]->Output);
            StringGrid1->setItem(r, c, new QTableWidgetItem(text));
        }
    v->addWidget(StringGrid1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    v->addWidget(buttons);

    // The two lists that fill the cells: each lies over a selected cell of
    // its column and writes a choice into the cell at once.
    auto list = [this](const char* name, QStringList items) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(name);
        combo->addItems(items);
        combo->hide();
        connect(combo, &QComboBox::activated, this, [this, combo](int index) {
            if (QTableWidgetItem* cell = StringGrid1->currentItem())
                cell->setText(combo->itemText(index));
        });
        return combo;
    };
    QStringList algorithms{QString()}, outputs{QString()};
    for (const auto& a : type.Algorithms)
        algorithms << qs(a->Name);
    for (const auto& e : type.EventOutputs)
        outputs << qs(e->Name);
    cmbAlgorithms = list("cmbAlgorithms", algorithms);
    cmbOutputs = list("cmbOutputs", outputs);
    connect(StringGrid1, &QTableWidget::currentCellChanged, this, [this] { placeList(); });
    for (QScrollBar* bar : {StringGrid1->horizontalScrollBar(), StringGrid1->verticalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, [this] { hideLists(); });
    StringGrid1->setCurrentCell(0, 0);
}

void TfrmEdtStateTransProps::hideLists()
{
    cmbAlgorithms->hide();
    cmbOutputs->hide();
}

void TfrmEdtStateTransProps::placeList()
{
    hideLists();
    QTableWidgetItem* cell = StringGrid1->currentItem();
    if (!cell || !isVisible())
        return;
    QComboBox* combo = StringGrid1->currentColumn() == 0 ? cmbAlgorithms : cmbOutputs;
    const QRect r = StringGrid1->visualItemRect(cell);
    const QPoint at = StringGrid1->viewport()->mapTo(this, r.topLeft());
    combo->setGeometry(at.x(), at.y(), r.width() + 4, combo->sizeHint().height());
    combo->setCurrentIndex(combo->findText(cell->text(), Qt::MatchExactly));
    combo->show();
    combo->raise();
}

void TfrmEdtStateTransProps::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The cells have their places only once the dialog is laid out.
    placeList();
}

void TfrmEdtStateTransProps::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeList();
}

std::string TfrmEdtStateTransProps::Name() const { return ss(Edit1->text()); }
std::string TfrmEdtStateTransProps::Comment() const { return ss(Edit2->text()); }

std::vector<std::pair<std::string, std::string>> TfrmEdtStateTransProps::Actions() const
{
    std::vector<std::pair<std::string, std::string>> actions;
    for (int r = 0; r < StringGrid1->rowCount(); ++r) {
        auto cell = [&](int c) { return StringGrid1->item(r, c) ? ss(StringGrid1->item(r, c)->text()) : std::string(); };
        actions.emplace_back(cell(0), cell(1));
    }
    return actions;
}

TfrmEditECCTransition::TfrmEditECCTransition(TFB_Type& type, const std::string& condition, QWidget* parent)
    : QDialog(parent), type_(type)
{
    setObjectName("frmEditECCTransition");
    setWindowTitle(QStringLiteral("Edit Transition"));
    resize(354, 351);
    auto* v = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Condition:"), this));
    Edit1 = new QLineEdit(qs(condition), this);
    Edit1->setObjectName("Edit1");
    row->addWidget(Edit1, 1);
    v->addLayout(row);
    Warning = new QLabel(this);
    Warning->setObjectName("lblConditionCheck");
    Warning->setWordWrap(true);
    Warning->setStyleSheet(QStringLiteral("color: #b00000;"));
    v->addWidget(Warning);
    v->addWidget(new QLabel(QStringLiteral("Double click from the below list to enter the selected name in the Condition"),
                            this));
    auto* tabs = new QTabWidget(this);
    auto list = [&](const char* name, const QString& caption, const auto& items) {
        auto* l = new QListWidget;
        l->setObjectName(name);
        for (const auto& i : items)
            l->addItem(qs(i->Name));
        tabs->addTab(l, caption);
        connect(l, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { Edit1->insert(item->text()); });
    };
    list("lstEI", QStringLiteral("Event Inputs"), type.EventInputs);
    list("lstEO", QStringLiteral("Event Outputs"), type.EventOutputs);
    list("lstDI", QStringLiteral("Data Inputs"), type.DataInputs);
    list("lstIV", QStringLiteral("Internal Vars"), type.InternalVars);
    v->addWidget(tabs, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { okClick(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    v->addWidget(buttons);
    connect(Edit1, &QLineEdit::textChanged, this, [this] { check(); });
    check();
}

void TfrmEditECCTransition::check()
{
    // A mistake is shown as it is typed; OK asks before storing it.
    const std::string problem = CheckTransitionCondition(type_, Condition());
    Warning->setText(qs(problem));
    Edit1->setStyleSheet(problem.empty() ? QString() : QStringLiteral("color: #c00000;"));
    Edit1->setToolTip(qs(problem));
}

void TfrmEditECCTransition::okClick()
{
    // A condition the simulation cannot run is stored only when the user
    // says so; No leaves the dialog open for mending.
    const std::string problem = CheckTransitionCondition(type_, Condition());
    if (!problem.empty() && AskStore &&
        !AskStore("The condition " + Condition() + " cannot be run: " + problem + ". Store it anyway?"))
        return;
    accept();
}

std::string TfrmEditECCTransition::Condition() const { return oneLine(ss(Edit1->text())); }

} // namespace telvo
