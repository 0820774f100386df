// The FB diagram editor's printing, saving and opening of network files, and
// its closing.

#include "ui/diagram/fb_diagram_editor.h"
#include "ui/diagram/fb_diagram_editor_p.h"

#include "persistence/network_file.h"
#include "workbench/workbench.h"

#include <QCloseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QToolButton>

#include <filesystem>

namespace telvo {

// ---------------------------------------------------------------------------
// Print, save, open, close

void TfrmDesignFBDiagram::PrintClick()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    PrintTo(printer);
}

void TfrmDesignFBDiagram::PrintTo(QPrinter& printer)
{
    if (!diagram_)
        return;
    QPainter page;
    if (!page.begin(&printer))
        return;
    hBar_->setValue(0);
    vBar_->setValue(0);
    QImage sheet(1960, 1470, QImage::Format_RGB32);
    view_.PrintMode = true;
    view_.ScrollY = 0;
    telvo::PaintDiagram(sheet, diagram_, view_);
    view_.PrintMode = false;
    page.drawImage(QRect(0, 0, page.device()->width(), page.device()->height()), sheet);
    page.end();
    resizeCanvas();
}

void TfrmDesignFBDiagram::PrintToPdf(const QString& fileName)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setOutputFileName(fileName);
    PrintTo(printer);
}

void TfrmDesignFBDiagram::SaveNetworkClick()
{
    if (!diagram_)
        return;
    auto save = [&](const std::string& file) {
        try {
            SaveToFile(*diagram_, file);
        } catch (const std::exception& e) {
            workbench_.UI().ShowMessage(e.what());
            return false;
        }
        log("Save FB network file " + file);
        return true;
    };
    std::error_code ec;
    if (!diagram_->FileName.empty() && std::filesystem::is_regular_file(diagram_->FileName, ec)) {
        if (save(diagram_->FileName))
            MarkSaved();
        return;
    }
    QString name = AskSaveFileName ? AskSaveFileName(qs(diagram_->FileName)) : QString();
    if (name.isEmpty())
        return;
    if (!name.contains(QStringLiteral(".fbn")))
        name += QStringLiteral(".fbn");
    if (save(name.toStdString())) {
        setWindowTitle(NetworkCaption(name) + QStringLiteral("[*]"));
        MarkSaved();
    }
}

void TfrmDesignFBDiagram::OpenNetworkClick()
{
    if (!diagram_)
        return;
    const QString name = AskOpenFileName ? AskOpenFileName() : QString();
    if (!name.isEmpty()) {
        try {
            LoadFromFile(*diagram_, name.toStdString());
            log("Open FB network file " + name.toStdString());
            undoStack_->clear();
        } catch (const std::exception& e) {
            workbench_.UI().ShowMessage(e.what());
        }
        for (auto& inst : diagram_->DrawnInstances)
            inst->Canvas = &canvas_;
        ApplyZoom();
        diagram_->RebuildLines();
    }
    setWindowTitle(NetworkCaption(name) + QStringLiteral("[*]"));
    PaintDiagram();
}

void TfrmDesignFBDiagram::closeEvent(QCloseEvent* event)
{
    if (Executing()) {
        workbench_.UI().ShowMessage("Please stop execution first.");
        if (QToolButton* b = Button(QStringLiteral("btnDebug")))
            b->setChecked(true);
        event->ignore();
        return;
    }
    // Objects go back to their unscrolled places before the window goes.
    hBar_->setValue(0);
    vBar_->setValue(0);
    if (diagram_ && !diagram_->InnerNetwork)
        for (auto& inst : diagram_->DrawnInstances)
            inst->Canvas = nullptr;
    QWidget::closeEvent(event);
}

} // namespace telvo
