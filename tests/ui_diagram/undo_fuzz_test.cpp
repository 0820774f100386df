// Random sequences of edits, undos and redos on a diagram window, each
// sequence from a fixed seed so that a failure repeats. After every step the
// diagram is written, read back into a fresh project and written again: the
// two texts must agree. An undo or a redo must bring back exactly the text
// the stack's position had before. Run under ASan, a picture, line or
// record left pointing at something freed shows itself here.

#include "editor_fixture.h"
#include "persistence/network_file.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>

#include <random>
#include <sstream>

namespace telvo::test {
namespace {

class UndoFuzz : public EditorFixture, public ::testing::WithParamInterface<unsigned> {
protected:
    // The diagram's network text and the records with their connections.
    std::string Written() const
    {
        std::ostringstream out;
        out << NetworkToText(*Diagram);
        out << RecordsText(Workbench->FBManager());
        return out.str();
    }

    // Every reference of the diagram's pictures and lines leads to something
    // alive: the records of the manager, the pictures of the diagram.
    void CheckReferences() const
    {
        const TFB_Manager& m = Workbench->FBManager();
        auto record = [&](const TFB_InstanceRef* r) {
            return std::any_of(m.Instances.begin(), m.Instances.end(), [&](auto& x) { return x.get() == r; });
        };
        for (auto& inst : Diagram->DrawnInstances)
            ASSERT_TRUE(record(inst->Ref)) << "a picture of a freed record";
        auto drawn = [&](const TFB_Instance* i) {
            return std::any_of(Diagram->DrawnInstances.begin(), Diagram->DrawnInstances.end(),
                               [&](auto& x) { return x.get() == i; });
        };
        for (auto& line : Diagram->EventLines) {
            ASSERT_TRUE(std::any_of(m.EventConns.begin(), m.EventConns.end(),
                                    [&](auto& c) { return c.get() == line->Ref; }));
            if (line->SourcePortPic) {
                ASSERT_TRUE(drawn(line->SourcePortPic->Instance));
            }
            if (line->DestPortPic) {
                ASSERT_TRUE(drawn(line->DestPortPic->Instance));
            }
        }
        for (auto& line : Diagram->DataLines) {
            ASSERT_TRUE(std::any_of(m.DataConns.begin(), m.DataConns.end(),
                                    [&](auto& c) { return c.get() == line->Ref; }));
            if (line->SourcePortPic) {
                ASSERT_TRUE(drawn(line->SourcePortPic->Instance));
            }
            if (line->DestPortPic) {
                ASSERT_TRUE(drawn(line->DestPortPic->Instance));
            }
        }
        for (TDrawObject* o : Diagram->Selection) {
            const bool alive =
                std::any_of(Diagram->DrawnInstances.begin(), Diagram->DrawnInstances.end(),
                            [&](auto& x) { return x.get() == o; }) ||
                std::any_of(Diagram->Notes.begin(), Diagram->Notes.end(), [&](auto& x) { return x.get() == o; }) ||
                std::any_of(Diagram->IPPPictures.begin(), Diagram->IPPPictures.end(),
                            [&](auto& x) { return x.get() == o; });
            ASSERT_TRUE(alive) << "the selection holds a freed object";
        }
    }

    // The network text read into a fresh project writes the same text.
    void CheckReadBack() const
    {
        const std::string text = NetworkToText(*Diagram);
        TFB_Manager fresh;
        fresh.Types.push_back(MakeType("T", 1, 1, 1, 1));
        fresh.Types.push_back(MakeType("TWO", 2, 2, 2, 2));
        // Read as a project reads it: at zoom 1, the notes where they were
        // written.
        TFB_Diagram* d = fresh.CreateDiagram(Diagram->Name, 1.0);
        LoadFromText(*d, text, "written.fbn");
        ASSERT_EQ(NetworkToText(*d), text);
    }

    TFB_Instance* someInstance(std::mt19937& rng) const
    {
        if (Diagram->DrawnInstances.empty())
            return nullptr;
        return Diagram->DrawnInstances[rng() % Diagram->DrawnInstances.size()].get();
    }

    // Whether a press at (x, y) hits no picture (it would start a drag, not
    // a rubber band or a clearing click).
    bool emptyAt(int x, int y) const
    {
        for (auto& i : Diagram->DrawnInstances)
            if (x >= i->X - 4 && x <= i->X + i->Width + 4 && y >= i->Y - 4 && y <= i->Y + i->Height + 4)
                return false;
        for (auto& n : Diagram->Notes)
            if (x >= n->X - 4 && x <= std::max(n->Right, n->X + 60) + 4 && y >= n->Y - 4 &&
                y <= std::max(n->Bottom, n->Y + 40) + 4)
                return false;
        return true;
    }
    // A free spot for a rubber band's corner, or none.
    bool freeSpot(std::mt19937& rng, int& x, int& y) const
    {
        for (int tries = 0; tries < 20; ++tries) {
            x = static_cast<int>(rng() % 600);
            y = static_cast<int>(rng() % 400);
            if (emptyAt(x, y))
                return true;
        }
        return false;
    }
    // Clears the selection by a click on empty drawing.
    void clearSelection()
    {
        for (int x = 5; x < 900; x += 40)
            if (emptyAt(x, 685)) {
                Click(x, 685);
                return;
            }
        Diagram->ClearSelection();
    }
    // A rubber band from a free spot; false when none was found.
    bool band(std::mt19937& rng, int w, int h)
    {
        int x = 0, y = 0;
        clearSelection();
        if (!freeSpot(rng, x, y))
            return false;
        Press(x, y);
        Move(x + w, y + h);
        Release(x + w, y + h);
        return true;
    }

    // A click just inside a port's connection point, as a user aims.
    void clickPort(int x, int y, bool input) { Click(input ? x + 3 : x - 3, y); }

    void selectMode() { Editor->Button("SpeedButton13")->click(); }
    void connectMode() { Editor->Button("btnDrawConnection")->click(); }

    // One random user action; its name for the trace.
    std::string RandomEdit(std::mt19937& rng)
    {
        Editor->PaintDiagram(); // port points are written by painting
        const int kind = static_cast<int>(rng() % 11);
        switch (kind) {
        case 0:
            Editor->AddInstanceOfType(rng() % 2 ? "T" : "TWO");
            return "add";
        case 1: {
            TFB_Instance* a = someInstance(rng);
            TFB_Instance* b = someInstance(rng);
            if (!a || !b || a->EventOutputPorts.empty() || b->EventInputPorts.empty())
                return "connect event (none)";
            const TFBEventDraw& out = *a->EventOutputPorts[rng() % a->EventOutputPorts.size()];
            const TFBEventDraw& in = *b->EventInputPorts[rng() % b->EventInputPorts.size()];
            const int ox = out.X, oy = out.Y, ix = in.X, iy = in.Y;
            connectMode();
            clickPort(ox, oy, false);
            clickPort(ix, iy, true);
            selectMode();
            return "connect event";
        }
        case 2: {
            TFB_Instance* a = someInstance(rng);
            TFB_Instance* b = someInstance(rng);
            if (!a || !b || a->DataOutputPorts.empty() || b->DataInputPorts.empty())
                return "connect data (none)";
            const TFBDataMemberDraw& out = *a->DataOutputPorts[rng() % a->DataOutputPorts.size()];
            const TFBDataMemberDraw& in = *b->DataInputPorts[rng() % b->DataInputPorts.size()];
            const int ox = out.X, oy = out.Y, ix = in.X, iy = in.Y;
            connectMode();
            clickPort(ox, oy, false);
            clickPort(ix, iy, true);
            selectMode();
            return "connect data";
        }
        case 3: {
            TFB_Instance* a = someInstance(rng);
            if (!a)
                return "drag (none)";
            const int x = a->X + a->Width / 2, y = a->Y + 8;
            clearSelection(); // nothing selected, so the press picks one
            Press(x, y);
            for (int i = 1; i <= 3; ++i)
                Move(x + 15 * i, y + 10 * i);
            Release(x + 45, y + 30);
            return "drag";
        }
        case 4: {
            TFB_Instance* a = someInstance(rng);
            if (!a)
                return "delete one (none)";
            clearSelection();
            Click(a->X + a->Width / 2, a->Y + 8);
            UI.QueueAnswer(true);
            Editor->DeleteClick();
            return "delete one";
        }
        case 5: {
            if (!band(rng, 300, 250))
                return "delete band (none)";
            UI.QueueAnswer(true);
            Editor->DeleteClick();
            return "delete band";
        }
        case 6: {
            clearSelection();
            if (!Diagram->DataLines.empty() && rng() % 2) {
                const auto& line = Diagram->DataLines[rng() % Diagram->DataLines.size()];
                if (line->Points.size() < 2)
                    return "delete line (none)";
                const TLinePoint& p = *line->Points[1];
                Click(RoundHalfEven(p.X), RoundHalfEven(p.Y));
            } else if (!Diagram->EventLines.empty()) {
                const auto& line = Diagram->EventLines[rng() % Diagram->EventLines.size()];
                if (line->Points.size() < 2)
                    return "delete line (none)";
                const TLinePoint& p = *line->Points[1];
                Click(RoundHalfEven(p.X), RoundHalfEven(p.Y));
            }
            UI.QueueAnswer(true);
            Editor->DeleteClick();
            return "delete line";
        }
        case 7:
            Editor->Button("btnAddNote")->click();
            return "note";
        case 8: {
            if (!band(rng, 350, 300))
                return "copy (none)";
            if (rng() % 2) {
                Editor->DuplicateClick();
                return "duplicate";
            }
            Editor->CopyClick();
            const QPoint at(static_cast<int>(rng() % 700), static_cast<int>(rng() % 500));
            Editor->PasteText(QGuiApplication::clipboard()->text().toStdString(), &at);
            return "copy, paste";
        }
        case 9: {
            if (!band(rng, 250, 250))
                return "cut (none)";
            Editor->CutClick();
            return "cut";
        }
        default: {
            // A piece of a network file with a constant on the new instance.
            const std::string value = std::to_string(rng() % 100);
            Editor->PasteText("<FBNetwork><FB Name=\"K\" Type=\"T\" x=\"100\" y=\"100\"/><DataConnections>"
                              "<Connection Source=\"" +
                              value + "\" Destination=\"K.DI1\"/></DataConnections></FBNetwork>");
            return "paste with constant";
        }
        }
    }
};

TEST_P(UndoFuzz, EditsUndosAndRedosKeepTheModelAndItsFileInStep)
{
    std::mt19937 rng(GetParam());
    QUndoStack* stack = Editor->UndoStack();
    // The text of each position of the stack.
    std::vector<std::string> texts{Written()};
    std::vector<std::string> trace;
    for (int step = 0; step < 60; ++step) {
        const unsigned roll = rng() % 10;
        std::string what;
        if (roll < 2 && stack->canUndo()) {
            stack->undo();
            what = "undo";
        } else if (roll < 3 && stack->canRedo()) {
            stack->redo();
            what = "redo";
        } else {
            const int before = stack->index();
            what = RandomEdit(rng);
            if (stack->index() != before) {
                ASSERT_EQ(stack->index(), before + 1) << "one step per action: " << what;
                texts.resize(static_cast<size_t>(stack->index()));
                texts.push_back(Written());
            } else {
                ASSERT_EQ(Written(), texts[static_cast<size_t>(stack->index())]) << "no step, no change: " << what;
            }
        }
        trace.push_back(what);
        std::ostringstream path;
        for (const auto& t : trace)
            path << t << "; ";
        SCOPED_TRACE("seed " + std::to_string(GetParam()) + ": " + path.str());
        ASSERT_EQ(Written(), texts[static_cast<size_t>(stack->index())]);
        CheckReferences();
        CheckReadBack();
        Editor->PaintDiagram();
        if (HasFatalFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Editor, UndoFuzz, ::testing::Range(1u, 13u),
                         [](const auto& info) { return "seed" + std::to_string(info.param); });

} // namespace
} // namespace telvo::test
