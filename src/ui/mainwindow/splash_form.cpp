#include "ui/mainwindow/splash_form.h"

#include "ui/image_list.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace telvo {

namespace {
qreal screenRatio()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}
} // namespace

TfrmSplash::TfrmSplash()
    : QSplashScreen(ProductBanner(QSize(480, 150), screenRatio(), QStringLiteral("Engineering Support System")))
{
    setObjectName("frmSplash");
    showMessage(VersionText(), Qt::AlignRight | Qt::AlignBottom, Qt::white);
}

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmAbout");
    setWindowTitle(QStringLiteral("About TELVO ZOZE"));
    auto* banner = new QLabel(this);
    banner->setPixmap(ProductBanner(QSize(420, 96), devicePixelRatioF()));
    auto* version = new QLabel(VersionText(), this);
    version->setObjectName("lbVersion");
    auto* about = new QLabel(QStringLiteral("An engineering workbench for distributed control applications "
                                            "built from IEC 61499 function blocks."),
                             this);
    about->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(banner);
    layout->addWidget(version);
    layout->addWidget(about);
    layout->addWidget(buttons);
}

} // namespace telvo
