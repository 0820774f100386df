#pragma once
// A workbench on a program folder of its own (the shipped library and
// pictures, the example's own types and a small type of known shape), a
// project folder beside it, and a description of everything a project holds,
// so that two projects can be compared line by line.

#include "model/fb_diagram.h"
#include "model/fb_manager.h"
#include "model/project_manager.h"
#include "model/user_interface.h"
#include "persistence/project_file.h"
#include "support/test_support.h"
#include "systemlayer/system_layer.h"
#include "workbench/project_lifecycle.h"
#include "workbench/workbench.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace telvo::test {

// Every part of the open project, one line per fact, in list order: the
// project's own fields, diagrams with their instances, constants, lines,
// IPP pictures and notes, instance records with their devices, system
// objects with their kind fields, IO lists and IPPs, connections.
std::vector<std::string> DescribeProject(const TWorkbench& workbench);

// The example project's folder in the sources.
std::filesystem::path ExampleDir();

class ProjectTest : public ::testing::Test {
protected:
    ProjectTest();

    // A fresh workbench on the same program folder, as after a restart.
    void Restart();
    TWorkbench& W() const { return *Bench; }
    TFB_Manager& M() const { return Bench->FBManager(); }
    TSystemLayerManager& Layer() const { return Bench->SystemLayer(); }
    TProject_Manager& Project() const { return Bench->ProjectManager(); }
    TProjectParts Parts() const { return ProjectParts(*Bench); }

    // Opens a project named `name` in memory, with no file yet.
    void StartProject(const std::string& name = "Line");
    // Writes the project text to a file in the project folder and opens it.
    std::filesystem::path OpenText(const std::string& crfText, const std::string& fileName = "p.crf");

    // A project with something of every kind: a fieldbus that allows
    // non-IEC devices, an IEC device with its own IPP, IO entries and
    // distributed instances, an OPC device, a non-IEC device, the other
    // kinds, an IPT with an event sensor and a data actuator wired to the
    // IEC device, two diagrams (one with a constant, a note and an IPP line),
    // a UML model name and a comment.
    void BuildRichProject();

    TempDir Home;
    TempDir Work;
    TRecordingUserInterface UI;
    std::unique_ptr<TWorkbench> Bench;
};

} // namespace telvo::test
