// The FB type editor's document: new, open and save, the working type, and
// undo steps as the type's file text before and after each action.

#include "ui/typeeditor/type_editor.h"
#include "ui/typeeditor/type_editor_p.h"

#include "model/fb_manager.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "ui/diagram/fb_diagram_editor.h"
#include "ui/mainwindow/main_form.h"
#include "ui/mainwindow/project_commands.h"
#include "ui/qt_user_interface.h"
#include "ui/typeeditor/type_picture.h"
#include "ui/typeeditor/type_snapshot.h"
#include "workbench/workbench.h"

#include <pugixml.hpp>

#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QUndoCommand>

#include <algorithm>
#include <cstring>
#include <set>

namespace telvo {

namespace fs = std::filesystem;

namespace {

// One user action: the type's file text before and after it.
class TTypeEditCommand : public QUndoCommand {
public:
    TTypeEditCommand(TfrmDesignFBType& editor, const QString& text, std::string before, std::string after, int id)
        : QUndoCommand(text), editor_(editor), before_(std::move(before)), after_(std::move(after)), id_(id)
    {
    }
    void undo() override { editor_.Restore(before_); }
    void redo() override
    {
        // The action itself already changed the type when the step is pushed.
        if (first_) {
            first_ = false;
            return;
        }
        editor_.Restore(after_);
    }
    int id() const override { return id_; }
    bool mergeWith(const QUndoCommand* other) override
    {
        if (other->id() != id_)
            return false;
        after_ = static_cast<const TTypeEditCommand*>(other)->after_;
        return true;
    }

private:
    TfrmDesignFBType& editor_;
    std::string before_, after_;
    int id_;
    bool first_ = true;
};

} // namespace

// ===========================================================================
// Commands

QString TfrmDesignFBType::programPath(const QString& relative) const
{
    return qs((workbench_.ProgramFolder() / ss(relative)).string());
}

// A new type starts as a copy of a shipped template that no file holds yet.
bool TfrmDesignFBType::newFromTemplate(const QString& templateFile)
{
    if (!LoadTypeFile(programPath(QStringLiteral("library/templates/") + templateFile)))
        return false;
    fileName_.clear();
    basedOnFolder_.clear();
    diskStamp_.reset();
    edtName_->setEnabled(true);
    setCaption();
    ShowTab(QStringLiteral("Information"));
    return true;
}

bool TfrmDesignFBType::NewBasicClick() { return newFromTemplate(QStringLiteral("NEWBASICFB.fbt")); }

bool TfrmDesignFBType::NewCompositeClick() { return newFromTemplate(QStringLiteral("NEWCOMPFB.fbt")); }

bool TfrmDesignFBType::NewBasedOnClick()
{
    if (!OpenClick())
        return false;
    // The copy is a new type: it has no file yet, so that Save asks where to
    // store it (beside the original) and never writes over the original.
    basedOnFolder_ = QFileInfo(fileName_).absolutePath();
    fileName_.clear();
    diskStamp_.reset();
    type_->Name = "Unnamed";
    edtName_->setEnabled(true);
    filling_ = true;
    edtName_->setText(QStringLiteral("Unnamed"));
    filling_ = false;
    picture_->Repaint();
    Commit(QStringLiteral("New based on ") + templateName_);
    setCaption();
    ShowTab(QStringLiteral("Information"));
    return true;
}

bool TfrmDesignFBType::OpenClick()
{
    QString path;
    if (AskOpenFileName) {
        path = AskOpenFileName();
    } else {
        path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Function Block type"), openFolder_,
                                            QStringLiteral("FB type (*.fbt);;All (*.*)"));
    }
    if (path.isEmpty())
        return false;
    openFolder_ = QFileInfo(path).absolutePath();
    if (!LoadTypeFile(path))
        return false;
    ShowTab(QStringLiteral("Information"));
    return true;
}

bool TfrmDesignFBType::LoadTypeFile(const QString& path)
{
    if (!confirmLeave())
        return false;
    std::string text;
    try {
        text = ReadFileText(ss(path));
    } catch (const std::exception& e) {
        workbench_.UI().ShowWarning(e.what());
        return false;
    }
    if (!loadText(text, ss(path), true))
        return false;
    fileName_ = QFileInfo(path).absoluteFilePath();
    basedOnFolder_.clear();
    recordDiskStamp();
    edtName_->setEnabled(false); // a loaded type keeps its name
    undo_->clear();
    undo_->setClean();
    setCaption();
    return true;
}

bool TfrmDesignFBType::confirmLeave()
{
    if (!type_ || !Modified())
        return true;
    switch (TQtUserInterface::AskYesNoCancel(this, qs("The FB type " + type_->Name + " has changed. Save it?"))) {
    case TAnswer::Yes: return Save();
    case TAnswer::No: return true;
    default: return false;
    }
}

bool TfrmDesignFBType::loadText(const std::string& text, const std::string& fileName, bool fromFile)
{
    TBusyScope busy(workbench_.UI());
    std::unique_ptr<TFB_Type> fresh;
    try {
        fresh = TTypeSnapshots::Read(text, &workbench_.FBManager(), fileName);
    } catch (const std::exception& e) {
        workbench_.UI().ShowWarning(e.what());
        return false;
    }
    if (!fresh) {
        workbench_.UI().ShowWarning((fileName.empty() ? std::string("The XML text") : fileName) +
                                    ": Not an FB type file (the root element is not FBType)");
        return false;
    }
    snapshots_->SetBase(text, fresh.get());
    setWorkingType(std::move(fresh));
    // Grids a Delete emptied and switched off serve the new type again.
    for (QTableWidget* grid : grids_)
        if (grid)
            grid->setEnabled(true);
    templateName_ = qs(type_->Name);
    recorded_ = snapshots_->Write(*type_);
    missingInner_ = type_->Composite ? lostNetworkParts(text, snapshots_->WriteNetwork(*type_)) : std::string();
    setStatus(missingInner_.empty() ? QString()
                                    : QStringLiteral("Not in the library's types: ") + qs(missingInner_));
    fillAll();
    filling_ = true;
    if (fromFile) {
        xmlView_->setPlainText(qs(text));
        btnApplyXml_->setEnabled(false);
    }
    filling_ = false;
    tabBar_->show();
    updateEnabling();
    return true;
}

void TfrmDesignFBType::setWorkingType(std::unique_ptr<TFB_Type> type)
{
    // Nothing may keep pointing into the old type's network: the diagram
    // editor drops its pending connection ends first.
    if (composition_) {
        composition_->SelectModeClick();
        composition_->AttachDiagram(type->Network.get());
    }
    std::unique_ptr<TFB_Type> old = std::move(type_);
    type_ = std::move(type);
    picture_->SetType(type_.get());
    old.reset();
}

void TfrmDesignFBType::Restore(const std::string& text)
{
    std::unique_ptr<TFB_Type> fresh;
    try {
        fresh = TTypeSnapshots::Read(text, &workbench_.FBManager(), ss(fileName_));
    } catch (const std::exception& e) {
        workbench_.UI().ShowWarning(e.what());
        return;
    }
    if (!fresh)
        return;
    restoring_ = true;
    const QString tab = CurrentTab();
    const int algorithm = Grid(TGrid::Algorithms)->currentRow();
    snapshots_->SetBase(text, fresh.get());
    setWorkingType(std::move(fresh));
    recorded_ = text;
    lastMergeKey_.clear();
    fillAll();
    if (algorithm >= 0 && algorithm < count(TGrid::Algorithms))
        SelectAlgorithm(algorithm);
    if (tab == QLatin1String("XML spec"))
        ShowTab(tab);
    updateEnabling();
    restoring_ = false;
}

void TfrmDesignFBType::Commit(const QString& text, const QString& mergeKey)
{
    if (!type_ || restoring_ || filling_)
        return;
    std::string now = snapshots_->Write(*type_);
    if (now.empty() || now == recorded_)
        return;
    int id = -1;
    if (!mergeKey.isEmpty()) {
        if (mergeKey != lastMergeKey_) {
            lastMergeKey_ = mergeKey;
            lastMergeId_ = ++mergeCounter_;
        }
        id = lastMergeId_;
    } else {
        lastMergeKey_.clear();
    }
    std::string before = std::move(recorded_);
    recorded_ = now;
    undo_->push(new TTypeEditCommand(*this, text, std::move(before), std::move(now), id));
    updateEnabling();
}

std::string TfrmDesignFBType::TypeText() const { return type_ ? snapshots_->Write(*type_) : std::string(); }

bool TfrmDesignFBType::Modified() const { return type_ && (!undo_->isClean() || fileName_.isEmpty()); }

void TfrmDesignFBType::InsertInstance(const std::string& typeName)
{
    if (!type_ || !type_->Composite || !composition_)
        return;
    composition_->AddInstanceOfType(typeName);
    Commit(QStringLiteral("Insert ") + qs(typeName));
}

void TfrmDesignFBType::compositeInterfaceAdded()
{
    fillGrid(TGrid::EventInputs);
    fillGrid(TGrid::EventOutputs);
    fillGrid(TGrid::DataInputs);
    fillGrid(TGrid::DataOutputs);
    fillWithLists();
    picture_->Repaint();
}

void TfrmDesignFBType::InterfaceChanged()
{
    compositeInterfaceAdded();
    fillAlgorithmNameLists();
}

// ===========================================================================
// Saving

bool TfrmDesignFBType::validName(bool forSaveAs)
{
    const std::string& name = type_->Name;
    if (name.empty()) {
        workbench_.UI().ShowWarning("The FB type needs a name.");
        return false;
    }
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
        workbench_.UI().ShowWarning("The FB type name " + name + " cannot be used: it contains \"/\" or \"\\\".");
        return false;
    }
    if (forSaveAs) {
        std::string upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
        const auto& names = workbench_.LibraryTypeNames;
        if (std::find(names.begin(), names.end(), upper) != names.end()) {
            workbench_.UI().ShowWarning("Another FB type with the same name exists. Please type another FB name.");
            return false;
        }
    }
    return true;
}

void TfrmDesignFBType::recordDiskStamp()
{
    std::error_code ec;
    const fs::path file = ss(fileName_);
    const auto time = fs::last_write_time(file, ec);
    const auto size = ec ? 0 : fs::file_size(file, ec);
    if (ec)
        diskStamp_.reset();
    else
        diskStamp_ = std::make_pair(time, size);
}

bool TfrmDesignFBType::diskChangedSinceRead() const
{
    if (!diskStamp_)
        return false;
    std::error_code ec;
    const fs::path file = ss(fileName_);
    if (!fs::exists(file, ec))
        return false;
    const auto time = fs::last_write_time(file, ec);
    const auto size = ec ? 0 : fs::file_size(file, ec);
    return ec || time != diskStamp_->first || size != diskStamp_->second;
}

bool TfrmDesignFBType::writeTo(const fs::path& file)
{
    if (!missingInner_.empty() && !snapshots_->KeepsBaseNetwork(*type_)) {
        workbench_.UI().ShowWarning("The FB type " + type_->Name + " is not saved: parts of its inner network (" +
                                    missingInner_ +
                                    ") are not in the library's types, and saving would drop them.");
        return false;
    }
    try {
        if (!snapshots_->Save(*type_, file)) {
            workbench_.UI().ShowWarning("Internal Error: GeneralUnit::TFB_Type.SaveFbTypeToXML");
            return false;
        }
    } catch (const std::exception& e) {
        // The previous file is untouched and the working type keeps
        // everything the user typed.
        workbench_.UI().ShowWarning("The FB type could not be saved to " + file.string() + ": " + e.what());
        return false;
    }
    return true;
}

bool TfrmDesignFBType::Save()
{
    if (!type_)
        return false;
    if (btnApplyXml_->isEnabled() && !ApplyXmlClick())
        return false;
    // A shipped type stays as shipped: the user saves a copy of their own.
    if (fileName_.isEmpty())
        return SaveAs();
    if (workbench_.Folders().IsShipped(ss(fileName_)))
        return saveAs(true);
    if (!validName(false))
        return false;
    if (diskChangedSinceRead() &&
        !workbench_.UI().AskYesNo("The file " + ss(fileName_) +
                                  " was changed on disk since it was read. Overwrite it with this FB type?"))
        return false;
    if (!writeTo(ss(fileName_)))
        return false;
    recordDiskStamp();
    undo_->setClean();
    setCaption();
    reloadInOpenDiagrams();
    return true;
}

bool TfrmDesignFBType::SaveAs() { return saveAs(false); }

bool TfrmDesignFBType::saveAs(bool shippedCopy)
{
    if (!type_)
        return false;
    if (btnApplyXml_->isEnabled() && !ApplyXmlClick())
        return false;
    if (!validName(!shippedCopy))
        return false;
    QString folder = qs(workbench_.ProgramFolder().string());
    const TProjectInfo project = main_ ? main_->Project() : TProjectInfo{};
    if (!basedOnFolder_.isEmpty()) {
        folder = basedOnFolder_;
    } else if (!project.Name.empty()) {
        const fs::path candidate = workbench_.LibraryFolder() / project.Name;
        std::error_code ec;
        if (fs::is_directory(candidate, ec))
            folder = qs(candidate.string());
    }
    // Beside an installed program folder the copy goes to the user's
    // library, in the folder of the same name.
    const TProgramFolders& places = workbench_.Folders();
    if (places.IsShipped(ss(folder)) || (!fileName_.isEmpty() && places.IsShipped(ss(fileName_)))) {
        const fs::path shipped = fileName_.isEmpty() || !places.IsShipped(ss(fileName_))
                                     ? fs::path(ss(folder)) / "x"
                                     : fs::path(ss(fileName_));
        const fs::path mine = places.WritableCounterpart(shipped).parent_path();
        std::error_code ec;
        fs::create_directories(mine, ec);
        folder = qs(mine.string());
    }
    const QString proposed = qs(type_->Name) + QStringLiteral(".fbt");
    QString path;
    if (AskSaveFileName) {
        path = AskSaveFileName(folder, proposed);
    } else {
        QString filter = QStringLiteral("All (*.*)"); // the second filter, preselected
        path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Function Block type"),
                                            folder + QLatin1Char('/') + proposed,
                                            QStringLiteral("FB type (*.fbt);;All (*.*)"), &filter);
    }
    if (path.isEmpty())
        return false;
    if (!path.contains(QStringLiteral(".fbt")))
        path += QStringLiteral(".fbt");
    if (places.IsShipped(ss(path))) {
        workbench_.UI().ShowWarning("The FB type is not saved: " + ss(path) +
                                    " belongs to the installed program, which stays as shipped. Save it in a folder "
                                    "of your own.");
        return false;
    }
    if (!writeTo(ss(path)))
        return false;
    fileName_ = QFileInfo(path).absoluteFilePath();
    basedOnFolder_.clear();
    recordDiskStamp();
    undo_->setClean();
    setCaption();
    reloadInOpenDiagrams();
    return true;
}

void TfrmDesignFBType::reloadInOpenDiagrams()
{
    TFB_Manager& fbm = workbench_.FBManager();
    TFB_Type* loaded = fbm.FindType(type_->Name);
    if (!loaded || loaded->FileName.empty())
        return;
    std::error_code ec;
    if (!fs::equivalent(fs::path(loaded->FileName), fs::path(ss(fileName_)), ec))
        return;
    bool used = false;
    for (const auto& diagram : fbm.Diagrams)
        for (const auto& inst : diagram->DrawnInstances)
            used = used || (inst->Ref && inst->Ref->Type == loaded);
    if (!used || !workbench_.UI().AskYesNo("The FB type " + type_->Name +
                                           " is used in open diagrams. Reload it there?"))
        return;
    fbm.ReloadType(loaded);
    if (main_ && main_->MdiArea())
        for (QMdiSubWindow* sub : main_->MdiArea()->subWindowList())
            if (auto* editor = dynamic_cast<TEditorWindow*>(sub->widget()))
                if (editor->EditorKind() == TKind::FBDiagram)
                    editor->RefreshDiagram();
}

std::string lostNetworkParts(const std::string& fileText, const std::string& written)
{
    pugi::xml_document in, out;
    if (!in.load_buffer(fileText.data(), fileText.size()) || !out.load_buffer(written.data(), written.size()))
        return {};
    pugi::xml_node a = in.child("FBType").child("FBNetwork");
    pugi::xml_node b = out.child("FBType").child("FBNetwork");
    if (!a.child("FB"))
        return {};
    std::multiset<std::string> have;
    for (pugi::xml_node fb : b.children("FB"))
        have.insert(std::string("FB ") + fb.attribute("Name").value());
    for (const char* list : {"EventConnections", "DataConnections"})
        for (pugi::xml_node c : b.child(list).children("Connection"))
            have.insert(std::string(c.attribute("Source").value()) + " -> " + c.attribute("Destination").value());
    std::string lost;
    auto take = [&](const std::string& key, const std::string& shown) {
        auto it = have.find(key);
        if (it != have.end()) {
            have.erase(it);
            return;
        }
        lost += (lost.empty() ? "" : ", ") + shown;
    };
    for (pugi::xml_node fb : a.children("FB"))
        take(std::string("FB ") + fb.attribute("Name").value(),
             std::string(fb.attribute("Name").value()) + " (" + fb.attribute("Type").value() + ")");
    // A constant on an inner port is written back only when it differs
    // from the port's initial value: it is not counted.
    std::set<std::string> ports;
    for (pugi::xml_node group : in.child("FBType").child("InterfaceList").children())
        for (pugi::xml_node port : group.children())
            ports.insert(port.attribute("Name").value());
    auto constant = [&](const char* end) { return !std::strchr(end, '.') && !ports.count(end); };
    for (const char* list : {"EventConnections", "DataConnections"})
        for (pugi::xml_node c : a.child(list).children("Connection")) {
            if (constant(c.attribute("Source").value()) || constant(c.attribute("Destination").value()))
                continue;
            const std::string key =
                std::string(c.attribute("Source").value()) + " -> " + c.attribute("Destination").value();
            take(key, key);
        }
    return lost;
}

} // namespace telvo
