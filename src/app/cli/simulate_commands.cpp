// telvo simulate FILE --diagram NAME [--event INST.EV]... [--set INST.PORT=VALUE]...
//                [--monitor INST.PORT]... --steps N [--log] [--pause MS]
//
// FILE is a project (.crf; the diagram by name) or a network file (.fbn;
// --diagram names the diagram, its file name by default).
//
// Runs a diagram headless: the runtime FBs are made, the values set, the
// events queued; then N steps, each waiting until every runtime FB is idle;
// then the run is stopped and the schedule tables, the FBs' states and
// values (and, with --log, the simulation log) are printed.
//
// Exit status: 0; 1 when a step did not come to rest or an instance could
// not be created (each is named on stderr; the rest still runs); 3 when a
// script failed (each failure is also printed on stderr); 2 for wrong use.

#include "cli.h"

#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/file_util.h"
#include "model/value_text.h"
#include "persistence/network_file.h"
#include "runtime/headless_simulation.h"
#include "workbench/project_lifecycle.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace telvo::cli {

namespace {

struct TOptions {
    std::string File;
    std::string Diagram;
    std::vector<std::string> Events, Sets, Monitors;
    long Steps = -1;
    bool Log = false;
    long PauseMs = 0;
};

bool parseCount(const std::string& text, long& out)
{
    int32_t v = 0;
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        !TryParseInteger(text, v))
        return false;
    out = v;
    return true;
}

// "--name VALUE" or "--name=VALUE".
int parseOptions(TCliContext& ctx, TOptions& o)
{
    const auto& a = ctx.Args;
    for (size_t i = 0; i < a.size(); ++i) {
        std::string name = a[i], value;
        bool inlineValue = false;
        if (name.rfind("--", 0) == 0) {
            if (const auto eq = name.find('='); eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
                inlineValue = true;
            }
        } else {
            if (!o.File.empty())
                return UsageError(ctx, "simulate takes one FILE, not also '" + name + "'");
            o.File = name;
            continue;
        }
        if (name == "--log") {
            if (inlineValue)
                return UsageError(ctx, "--log takes no value");
            o.Log = true;
            continue;
        }
        if (name != "--diagram" && name != "--event" && name != "--set" && name != "--monitor" && name != "--steps" &&
            name != "--pause")
            return UsageError(ctx, "unknown option " + name);
        if (!inlineValue) {
            if (i + 1 >= a.size())
                return UsageError(ctx, name + " needs a value");
            value = a[++i];
        }
        if (name == "--diagram")
            o.Diagram = value;
        else if (name == "--event")
            o.Events.push_back(value);
        else if (name == "--set")
            o.Sets.push_back(value);
        else if (name == "--monitor")
            o.Monitors.push_back(value);
        else if (name == "--steps") {
            if (!parseCount(value, o.Steps))
                return UsageError(ctx, "--steps needs a whole number, not '" + value + "'");
        } else if (name == "--pause") {
            if (!parseCount(value, o.PauseMs))
                return UsageError(ctx, "--pause needs milliseconds, not '" + value + "'");
        }
    }
    if (o.File.empty())
        return UsageError(ctx, "simulate needs a FILE");
    if (o.Steps < 0)
        return UsageError(ctx, "simulate needs --steps N");
    return 0;
}

// An instance of the diagram, or one inside a composite instance of it.
TFB_InstanceRef* findInstance(const TFB_Diagram& d, const std::string& name)
{
    if (TFB_Instance* i = d.FindDrawn(name))
        return i->Ref;
    for (const auto& drawn : d.DrawnInstances)
        if (drawn->Ref && drawn->Ref->Composite && drawn->Ref->InnerDiagram)
            if (TFB_Instance* i = drawn->Ref->InnerDiagram->FindDrawn(name))
                return i->Ref;
    return nullptr;
}

// "INST.PORT", split at the first ".".
bool splitPath(const std::string& path, std::string& inst, std::string& port)
{
    const auto dot = path.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == path.size())
        return false;
    inst = path.substr(0, dot);
    port = path.substr(dot + 1);
    return true;
}

// "NAME (type TYPE)" of every instance the model refused to make, from the
// messages given since `from`.
std::vector<std::string> instancesNotCreated(const std::vector<std::string>& messages, size_t from)
{
    static const std::string prefix = "Error 101: Cannot create FB instance ";
    static const std::string typePart = " from type ";
    std::vector<std::string> names;
    for (size_t i = from; i < messages.size(); ++i) {
        const std::string& m = messages[i];
        if (m.rfind(prefix, 0) != 0)
            continue;
        const std::string rest = m.substr(prefix.size());
        const auto t = rest.rfind(typePart);
        names.push_back(t == std::string::npos
                            ? rest
                            : rest.substr(0, t) + " (type " + rest.substr(t + typePart.size()) + ")");
    }
    return names;
}

int simulate(TCliContext& ctx)
{
    TOptions o;
    if (int rc = parseOptions(ctx, o))
        return rc;

    const std::filesystem::path path(o.File);
    if (!std::filesystem::is_regular_file(path)) {
        ctx.Err << "telvo: no such file: " << o.File << "\n";
        return 1;
    }
    TWorkbench& wb = ctx.Workbench;
    wb.IndexLibrary();
    // The model says which instances it could not make through messages
    // (already shown on stderr); the run goes on without them, but its
    // outcome must not pass for a complete one.
    const size_t messagesBefore = ctx.UI.Messages().size();
    TFB_Diagram* diagram = nullptr;
    try {
        if (UpperCase(path.extension().string()) == ".CRF") {
            if (o.Diagram.empty())
                return UsageError(ctx, "a project needs --diagram NAME");
            OpenProject(wb, o.File);
            for (const auto& d : wb.FBManager().Diagrams)
                if (d->Name == o.Diagram) {
                    diagram = d.get();
                    break;
                }
            if (!diagram) {
                ctx.Err << "telvo: no diagram " << o.Diagram << " in project " << o.File << "\n";
                return 1;
            }
            diagram->RebuildLines();
        } else {
            diagram = wb.FBManager().CreateDiagram(o.Diagram.empty() ? path.stem().string() : o.Diagram, 1.0);
            LoadFromFile(*diagram, o.File);
        }
    } catch (const std::exception& e) {
        ctx.Err << "telvo: " << e.what() << "\n";
        return 1;
    }

    const std::vector<std::string> notCreated = instancesNotCreated(ctx.UI.Messages(), messagesBefore);

    std::vector<TFBEvent*> events;
    for (const auto& e : o.Events) {
        std::string inst, port;
        if (!splitPath(e, inst, port))
            return UsageError(ctx, "--event needs INST.EVENT, not '" + e + "'");
        TFB_InstanceRef* r = findInstance(*diagram, inst);
        if (!r)
            return UsageError(ctx, "no instance " + inst + " in diagram " + diagram->Name);
        TFBEvent* ev = r->FindEventInput(port);
        if (!ev)
            return UsageError(ctx, "instance " + inst + " has no event input " + port);
        events.push_back(ev);
    }
    for (const auto& s : o.Sets) {
        const auto eq = s.find('=');
        std::string inst, port;
        if (eq == std::string::npos || !splitPath(s.substr(0, eq), inst, port))
            return UsageError(ctx, "--set needs INST.PORT=VALUE, not '" + s + "'");
        TFB_InstanceRef* r = findInstance(*diagram, inst);
        if (!r)
            return UsageError(ctx, "no instance " + inst + " in diagram " + diagram->Name);
        TFBDataMember* m = r->FindDataInput(port);
        if (!m)
            return UsageError(ctx, "instance " + inst + " has no data input " + port);
        try {
            m->SetValueFromText(s.substr(eq + 1));
        } catch (const EConvertError&) {
            return UsageError(ctx, "'" + s.substr(eq + 1) + "' is no value of " + inst + "." + port + " (" +
                                       (m->Decl ? m->Decl->Type : std::string()) + ")");
        }
    }
    for (const auto& p : o.Monitors) {
        std::string inst, port;
        if (!splitPath(p, inst, port))
            return UsageError(ctx, "--monitor needs INST.PORT, not '" + p + "'");
        TFB_InstanceRef* r = findInstance(*diagram, inst);
        TFBDataMember* m = r ? r->FindDataInput(port) : nullptr;
        if (r && !m)
            m = r->FindDataOutput(port);
        if (!m)
            return UsageError(ctx, "no data port " + p + " in diagram " + diagram->Name);
        m->Monitor = true;
    }

    const auto pause = std::chrono::milliseconds(o.PauseMs);
    // A chart re-evaluated many times waits a pause before each pass.
    const auto timeout = std::max<std::chrono::milliseconds>(std::chrono::seconds(10), pause * 100);
    THeadlessSimulation sim(*diagram, pause);
    sim.Environment.SetShowDebugMessages(o.Log);
    try {
        sim.Start(events);
    } catch (const ESimulationRefused& e) {
        // Whatever had started has been ended: nothing ran.
        ctx.Err << "telvo: " << e.what() << "\n";
        return 1;
    }
    std::vector<TFB_Instance*> instances;
    for (const auto& fb : sim.Environment.RuntimeFBs())
        instances.push_back(fb->Instance);

    int rc = 0;
    for (long step = 1; step <= o.Steps; ++step)
        if (!sim.Step(timeout)) {
            std::string busy;
            for (const auto& fb : sim.Environment.RuntimeFBs())
                if (!fb->Idle())
                    busy += (busy.empty() ? "" : ", ") + fb->InstanceName;
            ctx.Err << "telvo: step " << step << " did not come to rest: busy " << busy << "\n";
            rc = 1;
            break;
        }
    sim.Stop();

    for (const auto& l : sim.Host.EventsTable().Lines())
        ctx.Out << l << "\n";
    for (const auto& l : sim.Host.FBTable().Lines())
        ctx.Out << l << "\n";
    for (const TFB_Instance* i : instances)
        ctx.Out << "state\t" << i->Ref->Name << "\t" << i->StateText << "\n";
    for (const TFB_Instance* i : instances) {
        const TFB_InstanceRef& r = *i->Ref;
        for (const auto& m : r.DataInputs)
            ctx.Out << "value\t" << r.Name << "." << m->Name() << "\t" << m->FormatValue() << "\n";
        for (const auto& m : r.DataOutputs)
            ctx.Out << "value\t" << r.Name << "." << m->Name() << "\t" << m->FormatValue() << "\n";
        for (const auto& v : r.InternalVars)
            ctx.Out << "var\t" << r.Name << "." << (v->Decl ? v->Decl->Name : std::string()) << "\t"
                    << v->FormatValue() << "\n";
    }
    if (o.Log)
        for (const auto& l : sim.Host.LogLines())
            ctx.Out << l << "\n";
    for (const auto& i : notCreated)
        ctx.Err << "telvo: instance " << i << " could not be created\n";
    if (!notCreated.empty())
        rc = 1;
    // A script that failed is never a silent success, with or without --log.
    const auto failures = sim.Environment.ScriptFailures();
    for (const auto& f : failures)
        ctx.Err << "telvo: " << f << "\n";
    if (rc == 0 && !failures.empty())
        rc = 3;
    return rc;
}

TCliCommand reg{"simulate",
                "FILE [--diagram NAME] [--event INST.EV]... [--set INST.PORT=VALUE]... [--monitor INST.PORT]... "
                "--steps N [--log] [--pause MS]",
                simulate,
                "Simulates a diagram of a project (.crf) or a network file (.fbn) step by step and prints the\n"
                "schedule tables and the port values.\n"
                "  --diagram NAME          the diagram to simulate (needed for a project)\n"
                "  --event INST.EV         an initial event (repeatable)\n"
                "  --set INST.PORT=VALUE   a start value of an input (repeatable)\n"
                "  --monitor INST.PORT     a port to monitor (repeatable)\n"
                "  --steps N               how many steps to run\n"
                "  --log                   print the simulation log\n"
                "  --pause MS              the pause of each FB activation (default 0)"};

} // namespace

} // namespace telvo::cli
