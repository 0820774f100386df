// Feeds arbitrary bytes to the XMI model reader and parses whatever reads
// into the transformation tree, ticks it all and dumps it: no input may
// crash, hang or leave the walks over generalisations going round.

#include "model/user_interface.h"
#include "umlimport/transformation.h"
#include "umlimport/uml_model.h"

#include <cstdint>
#include <string>

using namespace telvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    uml::TUmlModel model;
    try {
        model = uml::ReadUmlModel(text, "fuzz.xmi");
    } catch (const uml::EXmiError&) {
        return 0;
    }
    TRecordingUserInterface ui;
    uml::TTransformation t(ui);
    t.Parse(model);
    t.TickAll();
    const std::string dump = t.Dump();
    for (const auto& c : model.Classes) {
        model.AllOperations(c);
        model.AllAttributes(c);
    }
    return dump.empty() ? 1 : 0;
}
