// Types made in the editor through its widgets, saved, and then checked,
// simulated and compiled by the real command line and compiler; and what
// the editor refuses.

#include "type_editor_fixture.h"

#include "../ui/ui_test_support.h"

#include "model/fb_diagram.h"
#include "model/fb_type.h"
#include "model/file_util.h"
#include "ui/diagram/fb_diagram_editor.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>
#include <QUndoStack>

#include <dlfcn.h>

namespace telvo::test {

namespace fs = std::filesystem;
using G = TfrmDesignFBType::TGrid;

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

bool has(const std::vector<std::string>& all, const std::string& line)
{
    return std::find(all.begin(), all.end(), line) != all.end();
}

} // namespace

TEST_F(TypeEditorFixture, ANewBasicTypeMadeThroughTheWidgetsChecksSimulatesAndCompiles)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    auto* name = Editor->findChild<QLineEdit*>("edtname");
    ASSERT_TRUE(name->isEnabled());
    name->selectAll();
    QTest::keyClicks(name, "ADDER");
    EXPECT_EQ(Editor->WorkingType()->Name, "ADDER");

    // A third data input STEP (INT), sampled with REQ.
    Editor->AddClick(G::DataInputs);
    TypeIntoCell(G::DataInputs, 2, 0, "STEP");
    TypeIntoCell(G::DataInputs, 2, 1, "INT");
    Editor->Grid(G::EventInputs)->setCurrentCell(1, 0);
    QListWidget* with = Editor->WithList(true);
    ASSERT_EQ(with->count(), 3);
    with->item(2)->setCheckState(Qt::Checked);
    EXPECT_EQ(Editor->Grid(G::EventInputs)->item(1, 3)->text(), "\"QI\",\"VIN\",\"STEP\",");
    // An internal variable TOTAL (INT, 0).
    Editor->AddClick(G::InternalVars);
    TypeIntoCell(G::InternalVars, 0, 0, "TOTAL");
    TypeIntoCell(G::InternalVars, 0, 1, "INT");
    TypeIntoCell(G::InternalVars, 0, 3, "0");
    // REQ's algorithm in DelphiScript: adds STEP to the total.
    Editor->ShowTab("Algorithms");
    Editor->SelectAlgorithm(1);
    auto* source = Editor->findChild<QPlainTextEdit*>("memSource");
    source->selectAll();
    source->textCursor().removeSelectedText();
    TypeText(source, "DO_QO := QI;\nTOTAL := TOTAL + STEP;\nDO_VOUT := TOTAL;");
    EXPECT_TRUE(Editor->CheckAlgorithmClick()) << Editor->AlgorithmCheckText().toStdString();

    const fs::path file = Home / "library" / "Test" / "ADDER.fbt";
    fs::create_directories(file.parent_path());
    Editor->AskSaveFileName = [&](const QString&, const QString& proposed) {
        EXPECT_EQ(proposed, "ADDER.fbt");
        return QString::fromStdString((file.parent_path() / "ADDER").string());
    };
    ASSERT_TRUE(Editor->Save());
    EXPECT_EQ(Editor->FileName().toStdString(), file.string());
    EXPECT_FALSE(Editor->Modified());

    ProcessResult r = Telvo({"type", "check", file.string()});
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;

    const std::string net = Home.Write("adder.fbn", R"(<?xml version="1.0" encoding="UTF-8"?>
<FBNetwork IsInternalDeviceDiagram="false">
  <FB Name="a" Type="ADDER" Comment="" x="100" y="100"/>
  <DataConnections>
    <Connection Source="1" Destination="a.QI"/>
    <Connection Source="5" Destination="a.STEP"/>
  </DataConnections>
</FBNetwork>
)").string();
    r = Telvo({"simulate", net, "--event", "a.REQ", "--steps", "2", "--event", "a.REQ"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    const auto out = lines(r.Out);
    EXPECT_TRUE(has(out, "value\ta.VOUT\t10")) << r.Out;
    EXPECT_TRUE(has(out, "value\ta.QO\tTRUE")) << r.Out;

    // The Compile page builds a library that loads.
    Editor->ShowTab("Compile");
    ASSERT_TRUE(Editor->CreateCodeClick());
    Editor->CompileClick();
    ASSERT_TRUE(WaitUntil([&] { return !Editor->Compiling(); }, 120000));
    EXPECT_TRUE(Editor->CompileStatus().startsWith("Exit status: 0")) << Editor->CompileStatus().toStdString()
                                                                      << Editor->CompilerOutput().toStdString();
    const fs::path library = Editor->GeneratedSource().parent_path() / "libADDER.so";
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    EXPECT_NE(dlsym(handle, "isValidFB"), nullptr);
    EXPECT_NE(dlsym(handle, "HandleFBEvent"), nullptr);
    dlclose(handle);
}

TEST_F(TypeEditorFixture, ACompositeMadeInTheCompositionTabIsSavedReloadedAndSimulates)
{
    ASSERT_TRUE(Editor->NewCompositeClick());
    EXPECT_FALSE(Editor->TabButton("ECC")->isEnabled());
    EXPECT_TRUE(Editor->TabButton("Composition")->isEnabled());
    auto* name = Editor->findChild<QLineEdit*>("edtname");
    name->selectAll();
    QTest::keyClicks(name, "GATED_COUNT");
    Editor->ShowTab("Composition");
    // Two library types in the network besides the template's: E_SWITCH.
    Editor->InsertInstance("E_SWITCH");
    TFB_Diagram* network = Editor->WorkingType()->Network.get();
    const size_t inner = network->DrawnInstances.size();
    EXPECT_EQ(inner, 3u);

    const fs::path file = Home / "library" / "Test" / "GATED_COUNT.fbt";
    fs::create_directories(file.parent_path());
    Editor->AskSaveFileName = [&](const QString&, const QString&) { return QString::fromStdString(file.string()); };
    ASSERT_TRUE(Editor->Save());

    // Reloaded in a second editor: the same network.
    TfrmDesignFBType again(*Workbench, nullptr);
    ASSERT_TRUE(again.LoadTypeFile(QString::fromStdString(file.string())));
    EXPECT_TRUE(again.WorkingType()->Composite);
    EXPECT_EQ(again.WorkingType()->Network->DrawnInstances.size(), inner);
    EXPECT_EQ(again.TypeText(), Editor->TypeText());

    Workbench->IndexLibrary();
    const std::string net = Home.Write("gated.fbn", R"(<?xml version="1.0" encoding="UTF-8"?>
<FBNetwork IsInternalDeviceDiagram="false">
  <FB Name="g" Type="GATED_COUNT" Comment="" x="100" y="100"/>
</FBNetwork>
)").string();
    const ProcessResult r = Telvo({"simulate", net, "--set", "g.QI=TRUE", "--event", "g.REQ", "--steps", "3"});
    ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    // The event reaches the inner gate through the interface; the FB placed
    // in the editor is an inner FB of the simulated instance.
    const auto out = lines(r.Out);
    EXPECT_NE(r.Out.find("g-GATE.EI()\t--"), std::string::npos) << r.Out;
    EXPECT_TRUE(has(out, "value\tg-e_switch1.G\tFALSE")) << r.Out;
}

TEST_F(TypeEditorFixture, BadInputIsRefusedAndLosesNothing)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    const std::string start = Editor->TypeText();

    // XML that does not parse: the type stays, the message names the line.
    Editor->ShowTab("XML spec");
    Editor->XmlView()->setPlainText("<FBType Name=\"X\">\n<InterfaceList>\n</FBType>");
    EXPECT_FALSE(Editor->ApplyXmlClick());
    EXPECT_EQ(Editor->TypeText(), start);
    ASSERT_FALSE(UI.Messages().empty());
    EXPECT_NE(UI.Messages().back().find("line 3"), std::string::npos) << UI.Messages().back();
    Editor->ShowTab("XML spec"); // the text of the working type again

    // Names the file cannot carry, or a library type's name.
    const struct {
        const char* Name;
        const char* Message;
    } names[] = {
        {"", "The FB type needs a name."},
        {"A/B", "The FB type name A/B cannot be used: it contains \"/\" or \"\\\"."},
        {"A\\B", "The FB type name A\\B cannot be used: it contains \"/\" or \"\\\"."},
        {"e_ctu", "Another FB type with the same name exists. Please type another FB name."},
    };
    bool asked = false;
    Editor->AskSaveFileName = [&](const QString&, const QString&) {
        asked = true;
        return QString();
    };
    auto* name = Editor->findChild<QLineEdit*>("edtname");
    for (const auto& n : names) {
        name->setFocus();
        name->selectAll();
        QTest::keyClick(name, Qt::Key_Delete);
        QTest::keyClicks(name, n.Name);
        EXPECT_FALSE(Editor->SaveAs()) << n.Name;
        EXPECT_EQ(UI.Messages().back(), n.Message);
    }
    EXPECT_FALSE(asked);

    // A duplicate port name is refused and the cell shows the name again.
    Editor->SetCell(G::DataInputs, 1, 0, "QI");
    EXPECT_EQ(UI.Messages().back(), "There is already a data input named QI.");
    EXPECT_EQ(Editor->Grid(G::DataInputs)->item(1, 0)->text(), "VIN");

    // A file changed on disk is not overwritten without asking; a failed
    // save keeps the typed type.
    name->selectAll();
    QTest::keyClicks(name, "KEEPME");
    const fs::path file = Home / "keep.fbt";
    Editor->AskSaveFileName = [&](const QString&, const QString&) { return QString::fromStdString(file.string()); };
    ASSERT_TRUE(Editor->SaveAs());
    WriteFileAtomic(file, ReadFileText(file) + "\n<!-- changed elsewhere -->\n");
    Editor->AddClick(G::Plugs);
    UI.QueueAnswer(false);
    EXPECT_FALSE(Editor->Save());
    EXPECT_NE(ReadFileText(file).find("changed elsewhere"), std::string::npos);
    EXPECT_EQ(UI.Questions().back(),
              "The file " + file.string() + " was changed on disk since it was read. Overwrite it with this FB type?");
    // A folder where the file was: the save fails.
    fs::remove(file);
    fs::create_directory(file);
    UI.QueueAnswer(true);
    EXPECT_FALSE(Editor->Save());
    EXPECT_NE(UI.Messages().back().find("could not be saved"), std::string::npos) << UI.Messages().back();
    EXPECT_EQ(Editor->WorkingType()->Plugs.size(), 1u);
    EXPECT_TRUE(Editor->Modified());
}

TEST_F(TypeEditorFixture, GridsFollowTheirRules)
{
    ASSERT_TRUE(Editor->NewBasicClick());
    // Deleting a data input used by two events empties both WITH cells of it.
    UI.QueueAnswer(true);
    Editor->Grid(G::DataInputs)->setCurrentCell(0, 0);
    Editor->DeleteClick(G::DataInputs);
    EXPECT_EQ(UI.Questions().back(), "Delete QI ?");
    EXPECT_EQ(Editor->Grid(G::EventInputs)->item(0, 3)->text(), "");
    EXPECT_EQ(Editor->Grid(G::EventInputs)->item(1, 3)->text(), "\"VIN\",");
    // Deleting the last one leaves one row reading "(empty)", the Delete off.
    UI.QueueAnswer(true);
    Editor->Grid(G::DataInputs)->setCurrentCell(0, 0);
    Editor->DeleteClick(G::DataInputs);
    EXPECT_EQ(Editor->Grid(G::DataInputs)->rowCount(), 1);
    EXPECT_EQ(Editor->Grid(G::DataInputs)->item(0, 0)->text(), "(empty)");
    // The first Add on the empty list fills that row with D1, the next adds D2.
    Editor->AddClick(G::DataInputs);
    Editor->AddClick(G::DataInputs);
    EXPECT_EQ(Editor->Grid(G::DataInputs)->rowCount(), 2);
    EXPECT_EQ(Editor->Grid(G::DataInputs)->item(0, 0)->text(), "D1");
    EXPECT_EQ(Editor->Grid(G::DataInputs)->item(1, 0)->text(), "D2");
    // A first plug is P1; a renamed data port renames its WITH entry.
    Editor->AddClick(G::Plugs);
    EXPECT_EQ(Editor->WorkingType()->Plugs.front()->Name, "P1");
    Editor->Grid(G::EventInputs)->setCurrentCell(0, 0);
    Editor->WithList(true)->item(0)->setCheckState(Qt::Checked);
    Editor->SetCell(G::DataInputs, 0, 0, "START");
    EXPECT_EQ(Editor->Grid(G::EventInputs)->item(0, 3)->text(), "\"START\",");
    EXPECT_EQ(Editor->WithList(true)->item(0)->text(), "START");
    // Algorithm text is kept byte for byte: tabs, trailing blanks, UTF-8.
    Editor->SelectAlgorithm(0);
    auto* source = Editor->findChild<QPlainTextEdit*>("memSource");
    source->setPlainText(QString::fromUtf8("\tx := 1;   \n// Grüße\u00a0 \n"));
    const auto& text = Editor->WorkingType()->Algorithms[0]->OtherText;
    ASSERT_EQ(text.size(), 3u);
    EXPECT_EQ(text[0], "\tx := 1;   ");
    EXPECT_EQ(text[1], "// Gr\xc3\xbc\xc3\x9f" "e\xc2\xa0 ");
    EXPECT_EQ(text[2], "");
}

} // namespace telvo::test
