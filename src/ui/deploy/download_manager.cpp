#include "ui/deploy/download_manager.h"

#include "deploy/forte.h"
#include "model/fb_manager.h"
#include "ui/mainwindow/main_form.h"
#include "ui/qt_user_interface.h"
#include "workbench/workbench.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace telvo {

namespace {

// The workbench's user channel for the deployment manager, whose messages
// are all errors of a run: those go to the window instead.
class TRunUserInterface final : public TUserInterface {
public:
    TRunUserInterface(TUserInterface& target, std::function<void(const std::string&)> warn)
        : target_(target), warn_(std::move(warn))
    {
    }
    void ShowMessage(const std::string& text) override { warn_(text); }
    void ShowWarning(const std::string& text) override { warn_(text); }
    bool AskYesNo(const std::string& text) override { return target_.AskYesNo(text); }
    TAnswer AskYesNoCancel(const std::string& text) override { return target_.AskYesNoCancel(text); }
    std::string UserHint(const std::string& text, int gesture) override { return target_.UserHint(text, gesture); }
    void Log(const std::string& text) override { target_.Log(text); }
    void SetStatus(const std::string& text) override { target_.SetStatus(text); }
    void BeginBusy() override { target_.BeginBusy(); }
    void EndBusy() override { target_.EndBusy(); }

private:
    TUserInterface& target_;
    std::function<void(const std::string&)> warn_;
};

} // namespace

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
} // namespace

TfrmDownloadApplicationManager::TfrmDownloadApplicationManager(TWorkbench& workbench, QWidget* parent)
    : QWidget(parent), workbench_(workbench),
      deployUi_(std::make_unique<TRunUserInterface>(workbench.UI(), [this](const std::string& text) { warn(text); }))
{
    setObjectName(QStringLiteral("frmDownloadApplicationManager"));
    setWindowTitle(QStringLiteral("Download Application Manager"));
    setAttribute(Qt::WA_DeleteOnClose);

    btnStart_ = new QPushButton(QStringLiteral("Start"), this);
    btnStart_->setObjectName(QStringLiteral("btnStart"));
    btnDunex_ = new QPushButton(QStringLiteral("DUNEX output"), this);
    btnDunex_->setObjectName(QStringLiteral("btnDunex"));
    btnKalo_ = new QPushButton(QStringLiteral("Make Configuration for KALO"), this);
    btnKalo_->setObjectName(QStringLiteral("btnKalo"));
    memOutput_ = new QPlainTextEdit(this);
    memOutput_->setObjectName(QStringLiteral("memOutput"));
    memOutput_->setReadOnly(true);
    memOutput_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memOutput_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memOutput_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    memOutput_->setFont(mono);
    memOutput_->setTabStopDistance(4 * memOutput_->fontMetrics().horizontalAdvance(QLatin1Char(' ')));

    cbTarget_ = new QComboBox(this);
    cbTarget_->setObjectName(QStringLiteral("cbTarget"));
    cbTarget_->addItems({QStringLiteral("Device command sets"), QStringLiteral("IEC 61499 runtime (FORTE)")});
    cbTarget_->setToolTip(QStringLiteral("Where Start deploys the application"));
    chkReplace_ = new QCheckBox(QStringLiteral("Replace what an earlier deployment left"), this);
    chkReplace_->setObjectName(QStringLiteral("chkReplace"));
    chkReplace_->setEnabled(false);
    edResources_ = new QLineEdit(this);
    edResources_->setObjectName(QStringLiteral("edResources"));
    edResources_->setPlaceholderText(QStringLiteral("DEVICE=NAME ... (default: the device's name)"));
    edResources_->setToolTip(QStringLiteral("The resource each device gets"));
    edIdBase_ = new QLineEdit(qs(TForteOptions().IdBase), this);
    edIdBase_->setObjectName(QStringLiteral("edIdBase"));
    edIdBase_->setToolTip(QStringLiteral("Address of the first publish/subscribe pair; each further pair takes the "
                                         "next port"));
    auto runtimeOnly = [this](int index) {
        for (QWidget* w : std::initializer_list<QWidget*>{chkReplace_, edResources_, edIdBase_})
            w->setEnabled(index == 1);
    };
    runtimeOnly(0);
    connect(cbTarget_, &QComboBox::currentIndexChanged, this, runtimeOnly);

    tblWatch_ = new QTableWidget(0, 3, this);
    tblWatch_->setObjectName(QStringLiteral("tblWatch"));
    tblWatch_->setHorizontalHeaderLabels({QStringLiteral("Device"), QStringLiteral("Port"), QStringLiteral("Value")});
    tblWatch_->horizontalHeader()->setStretchLastSection(true);
    tblWatch_->verticalHeader()->setVisible(false);
    tblWatch_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblWatch_->setMaximumHeight(140);
    edWatch_ = new QLineEdit(this);
    edWatch_->setObjectName(QStringLiteral("edWatch"));
    edWatch_->setPlaceholderText(QStringLiteral("DEVICE INSTANCE.PORT"));
    btnWatch_ = new QPushButton(QStringLiteral("Watch"), this);
    btnWatch_->setObjectName(QStringLiteral("btnWatch"));
    btnWatch_->setToolTip(QStringLiteral("Read this port of a deployed FB every second"));
    connect(btnWatch_, &QPushButton::clicked, this, [this] {
        if (AddWatch(edWatch_->text()))
            edWatch_->clear();
        else
            workbench_.UI().ShowMessage("Watch needs an IEC device and INSTANCE.PORT, as in: IEC_Device0 counter.CV");
    });
    connect(edWatch_, &QLineEdit::returnPressed, btnWatch_, &QPushButton::click);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStart_);
    buttons->addWidget(btnDunex_);
    buttons->addWidget(btnKalo_);
    buttons->addStretch(1);
    auto* target = new QHBoxLayout;
    target->addWidget(new QLabel(QStringLiteral("Target:"), this));
    target->addWidget(cbTarget_);
    target->addSpacing(12);
    target->addWidget(chkReplace_);
    target->addStretch(1);
    for (QPushButton* b : {btnStart_, btnDunex_, btnKalo_})
        b->setMinimumWidth(b->sizeHint().width());
    auto* runtime = new QHBoxLayout;
    runtime->addWidget(new QLabel(QStringLiteral("Resources:"), this));
    runtime->addWidget(edResources_, 2);
    runtime->addSpacing(12);
    runtime->addWidget(new QLabel(QStringLiteral("Publish/subscribe base:"), this));
    runtime->addWidget(edIdBase_, 1);
    auto* watch = new QHBoxLayout;
    watch->addWidget(new QLabel(QStringLiteral("Watched ports:"), this));
    watch->addWidget(edWatch_, 1);
    watch->addWidget(btnWatch_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addLayout(target);
    layout->addLayout(runtime);
    layout->addWidget(memOutput_, 1);
    layout->addLayout(watch);
    layout->addWidget(tblWatch_);

    // Watched ports are read every second while the window is open.
    watchTimer_.setInterval(1000);
    connect(&watchTimer_, &QTimer::timeout, this, [this] { readWatched(); });
    watchTimer_.start();

    connect(btnStart_, &QPushButton::clicked, this, [this] { btnStartClick(); });
    connect(btnDunex_, &QPushButton::clicked, this, [this] { btnDunexClick(); });
    connect(btnKalo_, &QPushButton::clicked, this, [this] { btnKaloClick(); });

    // The attempt and the sending are watched from the event loop; a short
    // tick keeps one device's turn to a few milliseconds.
    pollTimer_.setInterval(5);
    connect(&pollTimer_, &QTimer::timeout, this, [this] { poll(); });

    workbench_.SystemLayer().AddListener(this);
    resize(760, 480);
}

TfrmDownloadApplicationManager::~TfrmDownloadApplicationManager()
{
    watchTimer_.stop();
    // A runtime job ends within its time-outs; its results have nowhere to
    // go once the window is gone.
    if (forteThread_.joinable())
        forteThread_.join();
    if (readThread_.joinable())
        readThread_.join();
    pollTimer_.stop();
    deployment_.reset();
    connection_.Close();
    if (TSystemLayerManager* layer = ListenedLayer())
        layer->RemoveListener(this);
}

QStringList TfrmDownloadApplicationManager::Lines() const
{
    QStringList out = memOutput_->toPlainText().split(QLatin1Char('\n'));
    if (memOutput_->document()->isEmpty())
        out.clear();
    return out;
}

bool TfrmDownloadApplicationManager::Running() const
{
    return forteRunning_ || (deployment_ && deployment_->Running());
}

// The project's managers are replaced when it closes: each command works on
// the ones open now.
TDeploymentManager& TfrmDownloadApplicationManager::deployment()
{
    deployment_.reset();
    deployment_ = std::make_unique<TDeploymentManager>(workbench_.FBManager(), *deployUi_, connection_);
    deployment_->SaveFolder = saveFolder_;
    deployment_->OnLine = [this](const std::string& line) {
        memOutput_->appendPlainText(qs(line));
    };
    deployment_->OnClear = [this] { memOutput_->clear(); };
    deployment_->OnStartFinished = [this](bool) { runFinished(); };
    return *deployment_;
}

void TfrmDownloadApplicationManager::setBusy(bool busy)
{
    btnStart_->setEnabled(!busy);
    btnDunex_->setEnabled(!busy);
    btnKalo_->setEnabled(!busy);
}

void TfrmDownloadApplicationManager::btnStartClick()
{
    if (Running())
        return;
    // Each run's lines stand alone: what an earlier run wrote would be
    // read as this one's.
    memOutput_->clear();
    if (cbTarget_->currentIndex() == 1) {
        startForte();
        return;
    }
    setBusy(true);
    TDeploymentManager& d = deployment();
    d.Start();
    if (d.Running())
        pollTimer_.start();
}

void TfrmDownloadApplicationManager::poll()
{
    if (!Running()) {
        pollTimer_.stop();
        return;
    }
    connection_.Poll(0);
}

void TfrmDownloadApplicationManager::runFinished()
{
    pollTimer_.stop();
    setBusy(false);
}

// The requests are made here, from the model; only sending them runs on the
// worker, which touches no model object.
void TfrmDownloadApplicationManager::startForte()
{
    TForteOptions options;
    options.MaxRequestBytes = ForteMaxRequestBytes(workbench_.Settings);
    const std::string named = edResources_->text().toStdString();
    if (std::string wrong = ParseResourceNames(named, options.Resources); !wrong.empty()) {
        warn("Resources: " + wrong + ".");
        return;
    }
    for (const auto& [device, name] : options.Resources) {
        const bool known = std::any_of(
            workbench_.SystemLayer().Objects.begin(), workbench_.SystemLayer().Objects.end(), [&](const auto& object) {
                auto* d = dynamic_cast<const TslIECDevice*>(object.get());
                return d && d->Name == device;
            });
        if (!known) {
            warn("Resources: the project has no IEC device " + device + ".");
            return;
        }
    }
    if (!edIdBase_->text().trimmed().isEmpty())
        options.IdBase = edIdBase_->text().trimmed().toStdString();
    std::vector<TForteDevicePlan> plans;
    try {
        plans = PlanForteDeployment(workbench_.FBManager(), options);
    } catch (const std::exception& e) {
        warn(e.what());
        return;
    }
    if (forteThread_.joinable())
        forteThread_.join();
    setBusy(true);
    forteRunning_ = true;
    const bool replace = chkReplace_->isChecked();
    QPointer<TfrmDownloadApplicationManager> self(this);
    forteThread_ = std::thread([this, self, plans = std::move(plans), replace] {
        TForteDeployment run;
        run.OnLine = [self](const std::string& line) {
            QMetaObject::invokeMethod(
                self.data(), [self, text = qs(line)] {
                    if (self)
                        self->memOutput_->appendPlainText(text);
                },
                Qt::QueuedConnection);
        };
        run.AllowReplace = [replace](const std::string&, const std::string&) { return replace; };
        const std::string stopped = run.Run(plans);
        QMetaObject::invokeMethod(
            self.data(), [self, stopped] {
                if (!self)
                    return;
                self->forteRunning_ = false;
                self->setBusy(false);
                if (!stopped.empty())
                    self->warn(stopped);
            },
            Qt::QueuedConnection);
    });
}

std::map<std::string, std::string> TfrmDownloadApplicationManager::resourceNames() const
{
    std::map<std::string, std::string> names;
    if (!ParseResourceNames(edResources_->text().toStdString(), names).empty())
        names.clear();
    return names;
}

bool TfrmDownloadApplicationManager::AddWatch(const QString& text)
{
    const QStringList parts = text.simplified().split(QLatin1Char(' '));
    if (parts.size() != 2 || !parts[1].contains(QLatin1Char('.')))
        return false;
    bool known = false;
    for (const auto& object : workbench_.SystemLayer().Objects)
        if (auto* d = dynamic_cast<const TslIECDevice*>(object.get()); d && qs(d->Name) == parts[0])
            known = true;
    if (!known)
        return false;
    const int row = tblWatch_->rowCount();
    tblWatch_->insertRow(row);
    tblWatch_->setItem(row, 0, new QTableWidgetItem(parts[0]));
    tblWatch_->setItem(row, 1, new QTableWidgetItem(parts[1]));
    tblWatch_->setItem(row, 2, new QTableWidgetItem(QString()));
    return true;
}

// One read of every watched port on a worker; a cycle still under way when
// the next second comes is not doubled.
void TfrmDownloadApplicationManager::readWatched()
{
    if (reading_ || tblWatch_->rowCount() == 0)
        return;
    struct TWatch {
        int Row;
        std::string Address, Port, Resource, InstancePort;
    };
    std::vector<TWatch> watches;
    // The resource a deployment from this window made on the device.
    const auto names = resourceNames();
    for (int row = 0; row < tblWatch_->rowCount(); ++row) {
        const std::string device = tblWatch_->item(row, 0)->text().toStdString();
        for (const auto& object : workbench_.SystemLayer().Objects)
            if (auto* d = dynamic_cast<const TslIECDevice*>(object.get()); d && d->Name == device) {
                auto named = names.find(d->Name);
                watches.push_back({row, d->DeviceIPAddress, d->DeviceAddressPort,
                                   named != names.end() ? named->second : d->Name,
                                   tblWatch_->item(row, 1)->text().toStdString()});
                break;
            }
    }
    if (readThread_.joinable())
        readThread_.join();
    reading_ = true;
    QPointer<TfrmDownloadApplicationManager> self(this);
    readThread_ = std::thread([this, self, watches = std::move(watches)] {
        std::vector<std::pair<int, QString>> values;
        for (const TWatch& w : watches) {
            // A second is all a watch may take: the next read is due then.
            TForteReadResult r = ForteRead(w.Address, w.Port, w.Resource, w.InstancePort, 1000);
            values.emplace_back(w.Row, r.Ok ? qs(r.Value) : QStringLiteral("(") + qs(r.Error) + QStringLiteral(")"));
        }
        QMetaObject::invokeMethod(
            self.data(), [self, values] {
                if (!self)
                    return;
                for (const auto& [row, value] : values)
                    if (QTableWidgetItem* item = self->tblWatch_->item(row, 2))
                        item->setText(value);
                self->reading_ = false;
            },
            Qt::QueuedConnection);
    });
}

void TfrmDownloadApplicationManager::btnDunexClick()
{
    if (Running())
        return;
    memOutput_->clear();
    deployment().DunexOutput();
}

void TfrmDownloadApplicationManager::btnKaloClick()
{
    if (Running())
        return;
    TDeploymentManager& d = deployment();
    d.MakeKaloConfiguration([this](const std::filesystem::path& folder, const std::string& name) {
        return askSaveFile(folder, name);
    });
    saveFolder_ = d.SaveFolder;
}

std::optional<std::filesystem::path> TfrmDownloadApplicationManager::askSaveFile(const std::filesystem::path& folder,
                                                                                 const std::string& name)
{
    // The KALO folder beside the program may not exist yet; the dialog
    // would open somewhere else.
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    QFileDialog dialog(this, QStringLiteral("Save As"), qs(folder.string()));
    dialog.setObjectName(QStringLiteral("dlgSave"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("XML file (*.xml)"), QStringLiteral("All (*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    dialog.selectFile(qs(name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

void TfrmDownloadApplicationManager::warn(const std::string& text)
{
    memOutput_->appendPlainText(qs(text));
    if (auto* qt = dynamic_cast<TQtUserInterface*>(&workbench_.UI()))
        qt->ShowWarning(text);
    else
        workbench_.UI().ShowMessage(text);
}

void TfrmDownloadApplicationManager::LayerDestroying(TSystemLayerManager&)
{
    // The project closes: a run on its devices ends here, and the window
    // with it.
    pollTimer_.stop();
    deployment_.reset();
    connection_.Close();
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
                sub->close();
            else
                close();
        },
        Qt::QueuedConnection);
}

void OpenDeploymentWindow(TMainForm& form)
{
    auto* window = new TfrmDownloadApplicationManager(form.Workbench());
    QMdiSubWindow* sub = form.MdiArea()->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(900, 600);
    window->show();
    sub->show();
}

} // namespace telvo
