#include "ui/main_form.h"

#include "workbench/workbench.h"

#include <QMdiArea>

namespace telvo {

TMainForm::TMainForm(TWorkbench& workbench, QWidget* parent) : QMainWindow(parent), workbench_(workbench)
{
    setObjectName("MainForm");
    setWindowTitle(NoProjectCaption());
    mdi_ = new QMdiArea(this);
    setCentralWidget(mdi_);
    resize(1024, 720);
}

} // namespace telvo
