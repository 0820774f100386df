#include "model/project_manager.h"

#include "model/fb_manager.h"
#include "model/user_interface.h"

namespace telvo {

TUnavailableUmlTool::TUnavailableUmlTool(TUserInterface& ui, std::string stereotypesPath)
    : StereotypesPath(std::move(stereotypesPath)), ui_(ui)
{
}

void TUnavailableUmlTool::Connect()
{
    ui_.Log("No UML modelling tool can be connected: the project keeps its model file but works without the tool");
}

void TUnavailableUmlTool::OpenModel(const std::string& file)
{
    ui_.Log("No UML modelling tool is connected: the model " + file + " is not opened");
}

void TUnavailableUmlTool::NewModel(const std::string& file)
{
    ui_.Log("No UML modelling tool is connected: no new model is made in " + file);
}

bool TProject_Manager::Clear()
{
    TFB_Manager& fb = host_.FBManager();
    while (!fb.Diagrams.empty())
        fb.DeleteDiagram(fb.Diagrams.back().get());
    Name.clear();
    FileName.clear();
    UmlModelFile.clear();
    Comment.clear();
    HasUmlModel = false;
    host_.ResetSystemLayer();
    return true;
}

TUmlToolLink& TProject_Manager::EnsureUmlTool(TUserInterface& ui, const std::string& stereotypesPath)
{
    if (!umlTool_) {
        if (UmlToolFactory)
            umlTool_ = UmlToolFactory(stereotypesPath);
        if (!umlTool_)
            umlTool_ = std::make_unique<TUnavailableUmlTool>(ui, stereotypesPath);
    }
    return *umlTool_;
}

void TProject_Manager::ShutdownUmlTool()
{
    if (umlTool_)
        umlTool_->Shutdown();
    umlTool_.reset();
}

} // namespace telvo
