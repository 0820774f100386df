// The FB diagram editor's clipboard: copy, cut, paste and duplicate as
// network text.

#include "ui/diagram/fb_diagram_editor.h"
#include "ui/diagram/fb_diagram_editor_p.h"

#include "persistence/network_clip.h"
#include "persistence/network_file.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QToolButton>

#include <algorithm>

namespace telvo {

// ---------------------------------------------------------------------------
// Clipboard

std::string TfrmDesignFBDiagram::SelectionText() const
{
    if (!diagram_ || diagram_->Selection.empty())
        return {};
    const std::vector<const TDrawObject*> chosen(diagram_->Selection.begin(), diagram_->Selection.end());
    return SelectionToText(*diagram_, chosen);
}

void TfrmDesignFBDiagram::CopyClick()
{
    const std::string text = SelectionText();
    if (text.empty()) {
        setStatus("Nothing is selected to copy");
        return;
    }
    auto* data = new QMimeData;
    const QByteArray bytes = QByteArray::fromStdString(text);
    data->setData(QString::fromLatin1(FBNetworkMimeType), bytes);
    data->setText(QString::fromUtf8(bytes));
    QGuiApplication::clipboard()->setMimeData(data);
    setStatus("Copied " + std::to_string(diagram_->Selection.size()) + " objects");
}

void TfrmDesignFBDiagram::CutClick()
{
    if (view_.DebugMode)
        return;
    if (!diagram_ || diagram_->Selection.empty()) {
        setStatus("Nothing is selected to cut");
        return;
    }
    CopyClick();
    beginEdit();
    deleteSelection();
    modelChanged(QStringLiteral("Cut"));
    clearPickedConnections();
    rebuildAllLines();
    refreshInstancesTree();
    refreshConnectionsTree();
    PaintDiagram();
}

bool TfrmDesignFBDiagram::mouseOverDrawing(QPoint& at) const
{
    const QPoint p = paintBox_->mapFromGlobal(QCursor::pos());
    if (!paintBox_->isVisible() || !paintBox_->rect().contains(p))
        return false;
    at = p;
    return true;
}

void TfrmDesignFBDiagram::PasteClick()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    std::string text;
    if (data && data->hasFormat(QString::fromLatin1(FBNetworkMimeType)))
        text = data->data(QString::fromLatin1(FBNetworkMimeType)).toStdString();
    else if (data && data->hasText())
        text = data->text().toStdString();
    if (text.empty()) {
        setStatus("Nothing to paste: the clipboard holds no FB network");
        return;
    }
    QPoint at;
    PasteText(text, mouseOverDrawing(at) ? &at : nullptr);
}

void TfrmDesignFBDiagram::DuplicateClick()
{
    const std::string text = SelectionText();
    if (text.empty()) {
        setStatus("Nothing is selected to duplicate");
        return;
    }
    PasteText(text);
}

bool TfrmDesignFBDiagram::PasteText(const std::string& text, const QPoint* at)
{
    if (!diagram_ || view_.DebugMode)
        return false;
    // An inner network's records live in its type, which a network text
    // cannot reach.
    if (diagram_->InnerNetwork || !diagram_->Manager) {
        setStatus("Nothing pasted: a composite type's network takes no pasted instances");
        return false;
    }
    TNetworkPaste paste;
    try {
        paste = PrepareNetworkPaste(text, *diagram_,
                                    [this](const std::string& type) { return TypeAvailable(manager(), type); });
    } catch (const std::exception&) {
        setStatus("Nothing pasted: the clipboard holds no FB network");
        return false;
    }
    std::string missing;
    for (const std::string& type : paste.MissingTypes)
        missing += (missing.empty() ? "" : ", ") + type;
    if (paste.Names.empty() && paste.Notes == 0 && paste.IppPictures == 0) {
        setStatus(missing.empty() ? "Nothing pasted: the FB network is empty"
                                  : "Nothing pasted: the library has no type " + missing);
        return false;
    }
    beginEdit();
    const size_t notesBefore = diagram_->Notes.size();
    const size_t picturesBefore = diagram_->IPPPictures.size();
    const std::vector<const TFB_Instance*> drawnBefore = [&] {
        std::vector<const TFB_Instance*> list;
        for (auto& inst : diagram_->DrawnInstances)
            list.push_back(inst.get());
        return list;
    }();
    try {
        LoadFromText(*diagram_, paste.Text, "the clipboard");
    } catch (const std::exception& e) {
        // Checked above; should the reader refuse it all the same, the
        // snapshot taken puts back whatever it added.
        setStatus(std::string("Nothing pasted: ") + e.what());
        modelChanged(QStringLiteral("Paste"));
        return false;
    }

    // What came: the drawn instances of the pasted names, the notes and
    // pictures behind the old ones.
    std::vector<TDrawObject*> pasted;
    std::vector<TFB_Instance*> instances;
    for (auto& inst : diagram_->DrawnInstances)
        if (std::find(drawnBefore.begin(), drawnBefore.end(), inst.get()) == drawnBefore.end())
            instances.push_back(inst.get());
    const bool showTypes = Button(QStringLiteral("btnShowType"))->isChecked();
    const double z = Zoom();
    for (TFB_Instance* inst : instances) {
        inst->Canvas = &canvas_;
        inst->TypeColour = showTypes ? DiagramColour::ShownTypes : TFB_Instance::HiddenTypeColour;
        if (inst->IsStereotype)
            inst->DrawAsGlyph = !Button(QStringLiteral("btnDrawEvents"))->isChecked();
        SetScale(*inst, z);
        pasted.push_back(inst);
    }
    for (size_t i = notesBefore; i < diagram_->Notes.size(); ++i) {
        SetScale(*diagram_->Notes[i], z);
        pasted.push_back(diagram_->Notes[i].get());
    }
    for (size_t i = picturesBefore; i < diagram_->IPPPictures.size(); ++i) {
        if (!deviceDiagram())
            diagram_->IPPPictures[i]->SetScale(z);
        pasted.push_back(diagram_->IPPPictures[i].get());
    }

    // Shifted as one group: its top-left corner to the mouse, or 20
    // pixels off where the text had it.
    int left = 0, top = 0;
    bool first = true;
    auto corner = [&](int x, int y) {
        left = first ? x : std::min(left, x);
        top = first ? y : std::min(top, y);
        first = false;
    };
    for (TFB_Instance* inst : instances)
        corner(inst->X, inst->Y);
    for (size_t i = notesBefore; i < diagram_->Notes.size(); ++i)
        corner(diagram_->Notes[i]->X, diagram_->Notes[i]->Y);
    for (size_t i = picturesBefore; i < diagram_->IPPPictures.size(); ++i)
        corner(diagram_->IPPPictures[i]->X, diagram_->IPPPictures[i]->Y);
    const int dx = at ? at->x() - left : 20;
    const int dy = at ? at->y() - top : 20;
    // MoveBy shifts by the change of its offsets; the offsets then go back
    // to the scroll position, which every picture of the window keeps.
    for (TFB_Instance* inst : instances) {
        inst->LastMouseX = scrollX_ + dx;
        inst->LastMouseY = scrollY_ + dy;
        MoveBy(*inst, scrollX_, scrollY_);
        LayoutInstance(*inst);
    }
    for (size_t i = notesBefore; i < diagram_->Notes.size(); ++i) {
        TFBDnote& note = *diagram_->Notes[i];
        note.LastMouseX = scrollX_ + dx;
        note.LastMouseY = scrollY_ + dy;
        MoveBy(note, scrollX_, scrollY_);
    }
    for (size_t i = picturesBefore; i < diagram_->IPPPictures.size(); ++i) {
        TslIPP& pic = *diagram_->IPPPictures[i];
        pic.LastMouseX = scrollX_ + dx;
        pic.LastMouseY = scrollY_ + dy;
        pic.MoveBy(scrollX_, scrollY_);
    }

    diagram_->ClearSelection();
    clearPickedConnections();
    for (TDrawObject* object : pasted)
        diagram_->Select(object);
    rebuildAllLines();
    std::string status = "Pasted " + std::to_string(instances.size()) + " FB instances";
    if (!missing.empty()) {
        status += "; not pasted, the library has no type " + missing;
        log("Paste: the library has no type " + missing);
    }
    setStatus(status);
    modelChanged(QStringLiteral("Paste"));
    refreshInstancesTree();
    refreshConnectionsTree();
    PaintDiagram();
    return true;
}

} // namespace telvo
