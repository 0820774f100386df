#include "ui/deploy/download_manager.h"

#include "model/fb_manager.h"
#include "ui/main_form.h"
#include "workbench/workbench.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace telvo {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
} // namespace

TfrmDownloadApplicationManager::TfrmDownloadApplicationManager(TWorkbench& workbench, QWidget* parent)
    : QWidget(parent), workbench_(workbench)
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

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStart_);
    buttons->addWidget(btnDunex_);
    buttons->addWidget(btnKalo_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(memOutput_, 1);

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

bool TfrmDownloadApplicationManager::Running() const { return deployment_ && deployment_->Running(); }

// The project's managers are replaced when it closes: each command works on
// the ones open now.
TDeploymentManager& TfrmDownloadApplicationManager::deployment()
{
    deployment_.reset();
    deployment_ = std::make_unique<TDeploymentManager>(workbench_.FBManager(), workbench_.UI(), connection_);
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

void TfrmDownloadApplicationManager::btnDunexClick()
{
    if (Running())
        return;
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
    sub->resize(800, 520);
    window->show();
    sub->show();
}

} // namespace telvo
