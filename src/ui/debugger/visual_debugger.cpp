#include "ui/debugger/visual_debugger.h"

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "model/user_interface.h"
#include "ui/debugger/schedule_grid.h"
#include "ui/debugger/select_events_dialog.h"
#include "ui/diagram/fb_diagram_editor.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QXmlStreamReader>

#include <sys/eventfd.h>
#include <unistd.h>

namespace telvo {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The pictures of the buttons, drawn rather than shipped: a normal and a
// greyed form come from the icon itself.
QIcon buttonIcon(int kind)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    switch (kind) {
    case 0: // Start
        p.setBrush(QColor(0, 150, 0));
        p.drawPolygon(QPolygonF({QPointF(3, 2), QPointF(14, 8), QPointF(3, 14)}));
        break;
    case 1: // Step
        p.setBrush(QColor(0, 90, 200));
        p.drawPolygon(QPolygonF({QPointF(2, 2), QPointF(10, 8), QPointF(2, 14)}));
        p.drawRect(11, 2, 3, 12);
        break;
    case 2: // Stop
        p.setBrush(QColor(200, 0, 0));
        p.drawRect(3, 3, 10, 10);
        break;
    case 3: // Values
        p.setBrush(QColor(160, 110, 0));
        p.drawRect(2, 4, 12, 3);
        p.drawRect(2, 9, 12, 3);
        break;
    case 4: // Run
        p.setBrush(QColor(0, 90, 200));
        p.drawPolygon(QPolygonF({QPointF(1, 2), QPointF(8, 8), QPointF(1, 14)}));
        p.drawPolygon(QPolygonF({QPointF(8, 2), QPointF(15, 8), QPointF(8, 14)}));
        break;
    default: // Export
        p.setBrush(QColor(90, 90, 90));
        p.drawRect(3, 2, 10, 12);
        p.setBrush(Qt::white);
        p.drawRect(5, 5, 6, 1);
        p.drawRect(5, 8, 6, 1);
        p.drawRect(5, 11, 6, 1);
        break;
    }
    return QIcon(pm);
}

std::string csvCell(const std::string& cell)
{
    if (cell.find_first_of(";\"\n") == std::string::npos)
        return cell;
    std::string quoted = "\"";
    for (char c : cell) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string tableCsv(const TScheduleTable& table)
{
    std::string out;
    for (int32_t r = 0; r < table.RowCount(); ++r) {
        for (int32_t c = 0; c < table.ColCount(); ++c) {
            if (c)
                out += ';';
            out += csvCell(table.Cell(c, r));
        }
        out += '\n';
    }
    return out;
}

} // namespace

TfrmVisualDebugger::TfrmVisualDebugger(TUserInterface& ui, QWidget* parent) : QWidget(parent), ui_(ui)
{
    setObjectName(QStringLiteral("frmVisualDebugger"));
    setWindowTitle(QStringLiteral("Visual Debugger"));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(9);
    setFont(f);
    resize(371, 404);

    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ >= 0) {
        wakeNotifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
        connect(wakeNotifier_, &QSocketNotifier::activated, this, [this] {
            uint64_t count = 0;
            while (::read(wakeFd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) {
            }
            ApplyHostOperations();
        });
    }
    environment_ = std::make_unique<TtelvoRT_Environment>(*this);
    environment_->OnStateEntered = [this](const TTELVO_RTtype& fb, const std::string& state) {
        std::lock_guard lock(breakMutex_);
        for (const auto& [inst, st] : breakpoints_)
            if (inst == fb.InstanceName && st == state) {
                if (pendingHit_.empty())
                    pendingHit_ = inst + "." + st;
                hit_.store(true, std::memory_order_release);
            }
    };

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The silver tool bar, 45 high with a line along its top; the grid's
    // caption sits in its lower part.
    auto* bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("pnlToolbar"));
    bar->setFixedHeight(45);
    bar->setAutoFillBackground(true);
    QPalette silver = bar->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    // The usual greyed text is the silver of the bar itself.
    for (auto role : {QPalette::ButtonText, QPalette::WindowText, QPalette::Text})
        silver.setColor(QPalette::Disabled, role, QColor(112, 112, 112));
    bar->setPalette(silver);
    auto* line = new QFrame(bar);
    line->setGeometry(0, 0, 2000, 1);
    line->setStyleSheet(QStringLiteral("background: rgb(128,128,128);"));
    auto button = [&](const char* name, const QString& text, const QString& hint, int x, int picture) {
        auto* b = new QToolButton(bar);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(hint);
        b->setIcon(buttonIcon(picture));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        b->setGeometry(x, 2, 70, 30);
        return b;
    };
    btnStart_ = button("btnCreateRTFBS", QStringLiteral("Start"), QStringLiteral("Start Simulation (Create FB Threads)"),
                       4, 0);
    btnStep_ = button("btnStepDaemon", QStringLiteral("Step"), QStringLiteral("Step Event Daemon"), 74, 1);
    btnStop_ = button("btnStopSimulation", QStringLiteral("Stop"), QStringLiteral("Stop Simulation"), 144, 2);
    btnValues_ = button("btnAssignValues", QStringLiteral("Values"),
                        QStringLiteral("Trigger/assign values during simulation"), 214, 3);
    btnRun_ = button("btnRunDaemon", QStringLiteral("Run"),
                     QStringLiteral("Step continuously until Stop, a breakpoint, or nothing pending"), 284, 4);
    btnRun_->setCheckable(true);
    // Export sits at the right end of the caption row, out of the buttons'
    // way.
    btnExport_ = new QToolButton(bar);
    btnExport_->setObjectName(QStringLiteral("btnExport"));
    btnExport_->setText(QStringLiteral("Export"));
    btnExport_->setToolTip(QStringLiteral("Export the schedule tables or the log"));
    btnExport_->setIcon(buttonIcon(5));
    btnExport_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnExport_->setAutoRaise(true);
    btnExport_->setPopupMode(QToolButton::InstantPopup);
    btnExport_->setGeometry(284, 31, 75, 14);
    auto* exportMenu = new QMenu(btnExport_);
    exportMenu->addAction(QStringLiteral("Events schedule as CSV..."), this, [this] { exportClick(0); });
    exportMenu->addAction(QStringLiteral("FB schedule as CSV..."), this, [this] { exportClick(1); });
    exportMenu->addAction(QStringLiteral("Log as text..."), this, [this] { exportClick(2); });
    btnExport_->setMenu(exportMenu);
    auto* caption = new QLabel(QStringLiteral("Events execution scheduling:"), bar);
    caption->move(1, 32);
    column->addWidget(bar);

    grScheduleEvents_ = new TScheduleGrid(events_, TScheduleGrid::TMarks::Bars, this);
    grScheduleEvents_->setObjectName(QStringLiteral("grScheduleEvents"));
    grScheduleFBs_ = new TScheduleGrid(fbs_, TScheduleGrid::TMarks::Blocks, this);
    grScheduleFBs_->setObjectName(QStringLiteral("grScheduleFBs"));

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setHandleWidth(6);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(grScheduleEvents_);
    auto* fbPart = new QWidget(splitter);
    auto* fbColumn = new QVBoxLayout(fbPart);
    fbColumn->setContentsMargins(0, 0, 0, 0);
    fbColumn->setSpacing(0);
    auto* fbCaption = new QLabel(QStringLiteral("Function Block execution scheduling:"), fbPart);
    fbCaption->setObjectName(QStringLiteral("pnlFBCaption"));
    fbCaption->setFixedHeight(14);
    fbCaption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fbColumn->addWidget(fbCaption);
    fbColumn->addWidget(grScheduleFBs_, 1);
    splitter->addWidget(fbPart);
    auto* logPart = new QWidget(splitter);
    auto* logColumn = new QVBoxLayout(logPart);
    logColumn->setContentsMargins(0, 0, 0, 0);
    logColumn->setSpacing(0);
    ckbShowDebMessages_ = new QCheckBox(QStringLiteral("Show debug messages"), logPart);
    ckbShowDebMessages_->setObjectName(QStringLiteral("ckbShowDebMessages"));
    ckbShowDebMessages_->setFixedHeight(15);
    logColumn->addWidget(ckbShowDebMessages_);
    mDbgStatus_ = new QPlainTextEdit(logPart);
    mDbgStatus_->setObjectName(QStringLiteral("mDbgStatus"));
    mDbgStatus_->setReadOnly(true);
    mDbgStatus_->setLineWrapMode(QPlainTextEdit::NoWrap);
    mDbgStatus_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    logColumn->addWidget(mDbgStatus_, 1);
    splitter->addWidget(logPart);
    splitter->setSizes({118, 14 + 97, 200});
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 0);
    splitter->setStretchFactor(2, 1);
    column->addWidget(splitter, 1);

    connect(btnStart_, &QToolButton::clicked, this, [this] { CreateRTFBSClick(); });
    connect(btnStep_, &QToolButton::clicked, this, [this] { StepDaemonClick(); });
    connect(btnStop_, &QToolButton::clicked, this, [this] { StopSimulationClick(); });
    connect(btnValues_, &QToolButton::clicked, this, [this] { AssignValuesClick(); });
    connect(btnRun_, &QToolButton::clicked, this, [this] { RunClick(); });
    connect(ckbShowDebMessages_, &QCheckBox::clicked, this, [this] { ShowDebugMessagesClick(); });

    timerDraw_ = new QTimer(this);
    timerDraw_->setObjectName(QStringLiteral("TimerDraw"));
    timerDraw_->setInterval(500);
    connect(timerDraw_, &QTimer::timeout, this, [this] { drawTick(); });
    timerRun_ = new QTimer(this);
    connect(timerRun_, &QTimer::timeout, this, [this] { runTick(); });

    ExecSelectionDialog = [](TfrmVisualDebuggerSelectEvents& dialog) { dialog.exec(); };
    AskSaveFileName = [this](const QString& title, const QString& filter) {
        return QFileDialog::getSaveFileName(this, title, QString(), filter);
    };
    setRunning(false);
}

TfrmVisualDebugger::~TfrmVisualDebugger()
{
    timerRun_->stop();
    timerDraw_->stop();
    // Every thread of the run ends before anything it calls goes.
    if (environment_) {
        if (Running())
            environment_->Stop();
        environment_.reset();
    }
    delete wakeNotifier_;
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

// ---------------------------------------------------------------------------
// State

bool TfrmVisualDebugger::Running() const { return btnStop_->isEnabled(); }

bool TfrmVisualDebugger::RunningContinuously() const { return timerRun_->isActive(); }

bool TfrmVisualDebugger::ModelAtRest() const
{
    if (!Running())
        return true;
    return environment_->WaitUntilSettled(std::chrono::milliseconds(0));
}

void TfrmVisualDebugger::setRunning(bool running)
{
    btnStart_->setEnabled(!running);
    btnStep_->setEnabled(running);
    btnStop_->setEnabled(running);
    btnValues_->setEnabled(running);
    btnRun_->setEnabled(running);
    if (!running) {
        btnRun_->setChecked(false);
        timerRun_->stop();
    }
}

// The instances the diagram's network file places whose type could not be
// loaded: the diagram holds no trace of them, the simulation runs without
// them, and the user learns which they are.
static std::vector<std::string> instancesNotMade(const TFB_Diagram& diagram)
{
    std::vector<std::string> missing;
    if (diagram.FileName.empty() || !diagram.Manager)
        return missing;
    QFile file(qs(diagram.FileName));
    if (!file.open(QIODevice::ReadOnly))
        return missing;
    QXmlStreamReader xml(&file);
    int depth = 0;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth == 2 && xml.name() == QLatin1String("FB")) {
                const std::string name = xml.attributes().value("Name").toString().toStdString();
                const std::string type = xml.attributes().value("Type").toString().toStdString();
                if (!diagram.FindDrawn(name) && !diagram.Manager->FindType(type))
                    missing.push_back(name + " (type " + type + ")");
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    return missing;
}

void TfrmVisualDebugger::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!dialog_ && Diagram)
        for (const auto& m : instancesNotMade(*Diagram))
            addOwnLogLine("Instance " + m + " could not be made: it is not simulated");
    if (!dialog_) {
        dialog_ = new TfrmVisualDebuggerSelectEvents(this);
        dialog_->ShowError = [this](const std::string& text) { ui_.ShowMessage(text); };
        if (Diagram)
            dialog_->Fill(*Diagram);
    }
}

void TfrmVisualDebugger::closeEvent(QCloseEvent* event)
{
    if (Running()) {
        ui_.ShowMessage("Please stop simulation, before closing the window.");
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

// ---------------------------------------------------------------------------
// The buttons

bool TfrmVisualDebugger::prepareRun()
{
    if (!dialog_) {
        dialog_ = new TfrmVisualDebuggerSelectEvents(this);
        dialog_->ShowError = [this](const std::string& text) { ui_.ShowMessage(text); };
        if (Diagram)
            dialog_->Fill(*Diagram);
    }
    ExecSelectionDialog(*dialog_);
    if (!dialog_->Result())
        return false;
    btnStart_->setEnabled(false);
    environment_->Diagram = Diagram;
    if (!environment_->Created()) {
        try {
            environment_->CreateAllRuntimeFBs();
        } catch (const ESimulationRefused& e) {
            ui_.ShowMessage(e.what());
            btnStart_->setEnabled(!Running());
            return false;
        }
    }
    for (QTreeWidget* tree : {dialog_->EventsTree(), dialog_->DataInputTree(), dialog_->DataOutputTree()})
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* root = tree->topLevelItem(i);
            for (int k = 0; k < root->childCount(); ++k) {
                QTreeWidgetItem* node = root->child(k);
                const bool ticked = node->checkState(0) == Qt::Checked;
                if (TFBEvent* e = dialog_->EventOf(node)) {
                    if (ticked)
                        environment_->QueueEvent(e);
                } else if (TFBDataMember* m = dialog_->DataOf(node)) {
                    m->Monitor = ticked;
                } else if (ticked) {
                    // The port went with a reload of its type: the choice is
                    // dropped, and said so.
                    const std::string path = TfrmVisualDebuggerSelectEvents::PortPath(node);
                    addOwnLogLine(tree == dialog_->EventsTree()
                                      ? "Event input " + path + " no longer exists: not queued"
                                      : "Data port " + path + " no longer exists: no longer monitored");
                    dialog_->ClickTick(node);
                }
            }
        }
    return true;
}

void TfrmVisualDebugger::CreateRTFBSClick()
{
    if (Running() || !prepareRun())
        return;
    // Entries of an earlier run still on their way belong to that run.
    ApplyHostOperations();
    events_.Reset();
    fbs_.Reset();
    grScheduleEvents_->TableChanged();
    grScheduleFBs_->TableChanged();
    try {
        environment_->CreateDaemon();
    } catch (const ESimulationRefused& e) {
        ui_.ShowMessage(e.what());
        btnStart_->setEnabled(true);
        return;
    }
    {
        std::lock_guard lock(breakMutex_);
        pendingHit_.clear();
        hit_.store(false);
    }
    breakHit_.clear();
    setRunning(true);
    timerDraw_->start();
}

void TfrmVisualDebugger::StepDaemonClick()
{
    btnStep_->setEnabled(false);
    // A step while an FB is still busy has no effect and says nothing. A
    // daemon just started, or a step just ending, is given a moment to
    // come to rest, so that a click right after Start is not lost.
    environment_->WaitUntilSettled(std::chrono::milliseconds(50));
    environment_->Step();
    btnStep_->setEnabled(Running());
}

void TfrmVisualDebugger::StopSimulationClick()
{
    if (!Running())
        return;
    timerRun_->stop();
    btnRun_->setChecked(false);
    // The queue is emptied, the daemon makes its last pass and ends, every
    // runtime FB is told to end (a busy one is interrupted), and every
    // thread of the run is waited for.
    environment_->Stop();
    setRunning(false);
    timerDraw_->stop();
    paintEditor();
}

void TfrmVisualDebugger::AssignValuesClick()
{
    if (!Running())
        return;
    // The dialog sets input values at once: only while every thread of the
    // run waits, and with Run paused, so that no step starts under it. A
    // step still busy makes the click do nothing, as with Step.
    stopRun();
    if (!environment_->WaitUntilSettled(std::chrono::milliseconds(50)))
        return;
    prepareRun();
    btnStart_->setEnabled(!Running());
}

void TfrmVisualDebugger::ShowDebugMessagesClick()
{
    environment_->SetShowDebugMessages(ckbShowDebMessages_->isChecked());
}

void TfrmVisualDebugger::RunClick()
{
    if (!Running()) {
        btnRun_->setChecked(false);
        return;
    }
    if (timerRun_->isActive()) {
        stopRun();
        return;
    }
    {
        std::lock_guard lock(breakMutex_);
        pendingHit_.clear();
        hit_.store(false);
    }
    breakHit_.clear();
    btnRun_->setChecked(true);
    btnStep_->setEnabled(false);
    timerRun_->setInterval(static_cast<int>(environment_->PauseTime.count()));
    timerRun_->start();
}

void TfrmVisualDebugger::stopRun()
{
    timerRun_->stop();
    btnRun_->setChecked(false);
    btnStep_->setEnabled(Running());
}

void TfrmVisualDebugger::runTick()
{
    if (!Running()) {
        stopRun();
        return;
    }
    // A step still under way is waited for a little, then the next tick
    // looks again: the window stays responsive whatever the FBs do.
    if (!environment_->WaitUntilSettled(std::chrono::milliseconds(20)))
        return;
    if (drawDue_)
        paintEditor();
    if (hit_.load(std::memory_order_acquire)) {
        {
            std::lock_guard lock(breakMutex_);
            breakHit_ = pendingHit_;
            pendingHit_.clear();
            hit_.store(false);
        }
        addOwnLogLine("Breakpoint reached: " + breakHit_);
        stopRun();
        paintEditor();
        return;
    }
    if (environment_->QueuedEvents() == 0) {
        addOwnLogLine("Run ended: no event pending");
        stopRun();
        paintEditor();
        return;
    }
    environment_->Step();
}

// ---------------------------------------------------------------------------
// Drawing

void TfrmVisualDebugger::drawTick()
{
    blink_ = !blink_;
    paintEditor();
}

void TfrmVisualDebugger::paintEditor()
{
    // The editor paints from the model objects the simulation writes: only
    // while every thread of it waits, so a paint never reads a value half
    // written. Otherwise the paint is owed until the step has settled.
    if (!Editor)
        return;
    if (!ModelAtRest()) {
        drawDue_ = true;
        return;
    }
    drawDue_ = false;
    Editor->PaintDiagram();
}

// ---------------------------------------------------------------------------
// Breakpoints

void TfrmVisualDebugger::ToggleBreakpoint(const std::string& instance, const std::string& state)
{
    std::lock_guard lock(breakMutex_);
    for (auto it = breakpoints_.begin(); it != breakpoints_.end(); ++it)
        if (it->first == instance && it->second == state) {
            breakpoints_.erase(it);
            return;
        }
    breakpoints_.emplace_back(instance, state);
}

bool TfrmVisualDebugger::HasBreakpoint(const std::string& instance, const std::string& state) const
{
    std::lock_guard lock(breakMutex_);
    for (const auto& [i, s] : breakpoints_)
        if (i == instance && s == state)
            return true;
    return false;
}

std::vector<std::pair<std::string, std::string>> TfrmVisualDebugger::BreakableStates(const TFB_Instance& instance)
{
    std::vector<std::pair<std::string, std::string>> out;
    const TFB_InstanceRef* r = instance.Ref;
    if (!r)
        return out;
    auto statesOf = [&](const TFB_InstanceRef& fb) {
        if (fb.Type && !fb.Type->Composite)
            for (const auto& s : fb.Type->States)
                out.emplace_back(fb.Name, s->Name);
    };
    if (r->Composite && r->InnerDiagram) {
        for (const auto& inner : r->InnerDiagram->DrawnInstances)
            if (inner->Ref)
                statesOf(*inner->Ref);
    } else {
        statesOf(*r);
    }
    return out;
}

// ---------------------------------------------------------------------------
// Export

bool TfrmVisualDebugger::writeText(const std::string& path, const std::string& text)
{
    try {
        WriteFileAtomic(path, text);
        return true;
    } catch (const std::exception& e) {
        ui_.ShowMessage(e.what());
        return false;
    }
}

bool TfrmVisualDebugger::ExportEventsTable(const std::string& path)
{
    ApplyHostOperations();
    return writeText(path, tableCsv(events_));
}

bool TfrmVisualDebugger::ExportFBTable(const std::string& path)
{
    ApplyHostOperations();
    return writeText(path, tableCsv(fbs_));
}

bool TfrmVisualDebugger::ExportLog(const std::string& path)
{
    ApplyHostOperations();
    std::string text;
    for (const auto& l : log_)
        text += l + "\n";
    return writeText(path, text);
}

void TfrmVisualDebugger::exportClick(int what)
{
    static const char* titles[] = {"Export events schedule", "Export FB schedule", "Export log"};
    const QString filter =
        what == 2 ? QStringLiteral("Text (*.txt)") : QStringLiteral("CSV (*.csv)");
    const QString file = AskSaveFileName(QString::fromLatin1(titles[what]), filter);
    if (file.isEmpty())
        return;
    const std::string path = file.toStdString();
    if (what == 0)
        ExportEventsTable(path);
    else if (what == 1)
        ExportFBTable(path);
    else
        ExportLog(path);
}

// ---------------------------------------------------------------------------
// The host operations

void TfrmVisualDebugger::post(THostOperation op)
{
    // One wake of the event loop carries every operation handed over until
    // it is applied: the order of the calls is the order in the list. The
    // wake is a write to an event descriptor rather than a posted Qt event,
    // so that a simulation thread never touches Qt's own structures (whose
    // locks a thread checker cannot see).
    std::lock_guard lock(opsMutex_);
    ops_.push_back(std::move(op));
    if (!flushPosted_) {
        flushPosted_ = true;
        if (wakeFd_ >= 0) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
        } else {
            QMetaObject::invokeMethod(this, [this] { ApplyHostOperations(); }, Qt::QueuedConnection);
        }
    }
}

void TfrmVisualDebugger::AddLogLine(const std::string& text) { post({false, text, {}, 0}); }

void TfrmVisualDebugger::ShowScheduleEntry(const std::string& fbName, const std::string& eventName, int32_t step)
{
    // The caller holds the schedule-busy flag until this returns: the entry
    // is handed over by then.
    post({true, fbName, eventName, step});
}

void TfrmVisualDebugger::addOwnLogLine(const std::string& text) { post({false, text, {}, 0}); }

void TfrmVisualDebugger::ApplyHostOperations()
{
    std::vector<THostOperation> ops;
    {
        std::lock_guard lock(opsMutex_);
        ops.swap(ops_);
        flushPosted_ = false;
    }
    if (ops.empty())
        return;
    bool scheduled = false;
    QString lines;
    for (auto& op : ops) {
        if (op.Schedule) {
            events_.Record(op.Text + "." + op.Event + "()", op.Step);
            fbs_.Record(op.Text, op.Step);
            scheduled = true;
        } else {
            if (!lines.isEmpty())
                lines += QLatin1Char('\n');
            lines += qs(op.Text);
            log_.push_back(std::move(op.Text));
        }
    }
    if (!lines.isEmpty())
        mDbgStatus_->appendPlainText(lines);
    if (scheduled) {
        grScheduleEvents_->TableChanged();
        grScheduleFBs_->TableChanged();
    }
}

bool TfrmVisualDebugger::EvaluateTransitionScript(const std::string& script)
{
    return scripts_.EvaluateTransition(script);
}

void TfrmVisualDebugger::ExecuteAlgorithmScript(const std::string& script, const std::vector<TFBDataMember*>& outputs,
                                                const std::vector<TFBInstance_InternalVar*>& variables)
{
    scripts_.ExecuteAlgorithm(script, outputs, variables);
}

void TfrmVisualDebugger::TerminateScript() { scripts_.Terminate(); }

} // namespace telvo
