// Online work on a running device: watches and their polls, forced values,
// triggered events, and what a poll of given ports can bring back.

#include "deploy/forte.h"
#include "deploy/forte_p.h"

#include "deploy/command_set.h"
#include "deploy/device_connection.h"
#include "deploy/text_escape.h"
#include "model/field_escape.h"
#include "model/fb_diagram.h"
#include "model/fb_instance.h"
#include "model/fb_manager.h"
#include "model/value_text.h"
#include "systemlayer/system_layer.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <set>
#include <stdexcept>

namespace telvo {

namespace {

std::string onlineRequest(int id, const char* action, const std::string& body)
{
    return "<Request ID=\"" + std::to_string(id) + "\" Action=\"" + action + "\">" + body + "</Request>";
}

// Digits of the widest value of an integer of this many bits, sign included.
size_t integerWidth(const TIecIntegerType& type)
{
    const uint64_t largest = type.Bits >= 64 ? ~uint64_t(0) : (uint64_t(1) << type.Bits) - 1;
    return std::to_string(largest).size() + (type.Signed ? 1 : 0);
}

// The widest value text the runtime prints for a data port of this type.
size_t valueBudget(const std::string& type)
{
    if (auto integer = IecIntegerType(type))
        return integerWidth(*integer);
    if (type == "BOOL")
        return 5;
    if (type == "REAL")
        return 16;
    if (type == "LREAL")
        return 25;
    // T#, LT#, D#, TOD#, DT# and their long forms with every field.
    static const std::set<std::string, std::less<>> times = {
        "TIME", "LTIME", "DATE", "LDATE", "TIME_OF_DAY", "TOD", "LTOD", "LTIME_OF_DAY",
        "DATE_AND_TIME", "DT", "LDT", "LDATE_AND_TIME"};
    if (times.count(type))
        return 48;
    return kForteStringBudget;
}

size_t attributeBytes(std::string_view text) { return XmlEscaped(std::string(text)).size(); }

} // namespace

bool ParseForteWatches(const TForteResponse& response, std::vector<TForteWatchValue>& values, std::string& error)
{
    values.clear();
    pugi::xml_document doc;
    if (response.Xml.find('\0') != std::string::npos ||
        !doc.load_buffer(response.Xml.data(), response.Xml.size())) {
        error = "the answer is no Response: " + forte_detail::PeerText(response.Xml);
        return false;
    }
    const pugi::xml_node root = doc.document_element();
    if (!root.first_child())
        return true; // no watch at all
    const pugi::xml_node watches = root.child("Watches");
    if (!watches || root.first_child() != watches || watches.next_sibling()) {
        error = "the answer lists no watches: " + forte_detail::PeerText(response.Xml);
        return false;
    }
    for (const pugi::xml_node resource : watches.children("Resource"))
        for (const pugi::xml_node fb : resource.children("FB"))
            for (const pugi::xml_node port : fb.children("Port")) {
                const pugi::xml_node data = port.child("Data");
                if (!data) {
                    error = "the answer has a port without data: " + forte_detail::PeerText(response.Xml);
                    return false;
                }
                TForteWatchValue& v = values.emplace_back();
                v.Resource = resource.attribute("name").value();
                v.FB = fb.attribute("name").value();
                v.Port = port.attribute("name").value();
                v.Value = data.attribute("value").value();
                const pugi::xml_attribute time = data.attribute("time");
                v.Event = !time.empty();
                v.Time = time.value();
                v.Forced = std::string_view(data.attribute("forced").value()) == "true";
            }
    return true;
}

std::string ForteWatchXml(int id, bool create, const std::string& instancePort)
{
    return onlineRequest(id, create ? "CREATE" : "DELETE",
                         "<Watch Source=\"" + XmlEscaped(instancePort) + "\" Destination=\"*\"/>");
}

std::string ForteReadWatchesXml(int id) { return onlineRequest(id, "READ", "<Watches/>"); }

std::string ForteForceXml(int id, const std::string& instancePort, const std::string& literal)
{
    return onlineRequest(id, "WRITE",
                         "<Connection Source=\"" + XmlEscaped(literal) + "\" Destination=\"" +
                             XmlEscaped(instancePort) + "\" force=\"true\"/>");
}

std::string ForteClearForceXml(int id, const std::string& instancePort)
{
    return onlineRequest(id, "WRITE",
                         "<Connection Source=\"*\" Destination=\"" + XmlEscaped(instancePort) + "\" force=\"false\"/>");
}

std::string ForteTriggerXml(int id, const std::string& instancePort, bool resetCount)
{
    return onlineRequest(id, "WRITE", forte_detail::ConnectionXml(resetCount ? "$er" : "$e", instancePort));
}

size_t ForteWatchAnswerBytes(const std::string& resource, const std::vector<TForteWatchSpec>& watches)
{
    // The runtime lays the answer out with line breaks and indents: a few
    // bytes around the list and each resource, one after an event's data.
    constexpr size_t kLayout = 16;
    size_t bytes = std::string_view("<Response ID=\"9999999\"><Watches></Watches></Response>").size() + kLayout;
    if (watches.empty())
        return bytes;
    bytes += std::string_view("<Resource name=\"\"></Resource>").size() + kLayout + attributeBytes(resource);
    std::set<std::string, std::less<>> fbs;
    for (const TForteWatchSpec& w : watches) {
        const size_t dot = w.InstancePort.find('.');
        const std::string fb = w.InstancePort.substr(0, dot);
        const std::string port = dot == std::string::npos ? std::string() : w.InstancePort.substr(dot + 1);
        if (fbs.insert(fb).second)
            bytes += std::string_view("<FB name=\"\"></FB>").size() + attributeBytes(fb);
        bytes += std::string_view("<Port name=\"\"></Port>").size() + attributeBytes(port);
        // A count of 32 bits and a time of 64.
        bytes += w.Event ? std::string_view("<Data value=\"4294967295\" time=\"18446744073709551615\"/>\n").size()
                         : std::string_view("<Data value=\"\" forced=\"false\"/>").size() + valueBudget(w.Type);
    }
    return bytes;
}

size_t ForteWatchesThatFit(const std::string& resource, const std::vector<TForteWatchSpec>& watches)
{
    // The estimate only grows with each watch: the longest prefix that fits.
    size_t low = 0, high = watches.size();
    while (low < high) {
        const size_t mid = (low + high + 1) / 2;
        const std::vector<TForteWatchSpec> first(watches.begin(), watches.begin() + static_cast<ptrdiff_t>(mid));
        if (ForteWatchAnswerBytes(resource, first) <= kForteAnswerLimit)
            low = mid;
        else
            high = mid - 1;
    }
    return low;
}

TFortePort FindFortePort(TFB_Manager& manager, const TslIECDevice& device, const std::string& instancePort)
{
    TFortePort found;
    const size_t dot = instancePort.find('.');
    if (dot == std::string::npos)
        return found;
    const std::string fb = instancePort.substr(0, dot), port = instancePort.substr(dot + 1);
    for (const TFB_InstanceRef* r : device.DownloadedFBInstanceList)
        if (r && r->Type && r->Name == fb) {
            found.Type = r->Type;
            for (const auto& input : r->DataInputs)
                if (input->Decl && input->Decl->Name == port && !input->ValueText.empty() &&
                    forte_detail::Converts(*input))
                    found.Constant = forte_detail::Literal(*input);
        }
    if (!found.Type) {
        TCommandSetGenerator run(manager);
        for (const auto& i : run.ProcessInterface(device).Instances)
            if (i.Name == fb)
                found.Type = manager.FindType(i.TypeName);
    }
    if (!found.Type)
        return found;
    found.Found = true;
    for (const auto& d : found.Type->DataInputs)
        if (d->Name == port)
            found.Data = d.get();
    for (const auto& d : found.Type->DataOutputs)
        if (d->Name == port)
            found.Data = d.get();
    for (const auto& e : found.Type->EventInputs)
        found.Event = found.Event || e->Name == port;
    for (const auto& e : found.Type->EventOutputs)
        found.Event = found.Event || e->Name == port;
    return found;
}

std::string ForteForceLiteral(const TFBDataMemberType& port, const std::string& text, std::string& error)
{
    error.clear();
    const std::string& type = port.Type;
    if (auto integer = IecIntegerType(type)) {
        bool negative = false;
        uint64_t magnitude = 0;
        if (!TryParseIecInteger(text, negative, magnitude))
            error = "'" + text + "' is no " + type + " value";
        else if (!integer->Holds(negative, magnitude))
            error = text + " does not fit " + type + " (" + integer->RangeText() + ")";
        return error.empty() ? text : std::string();
    }
    if (DataTypeClass(type) == TDataTypeClass::Boolean) {
        std::string upper;
        for (char c : text)
            upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper != "TRUE" && upper != "FALSE" && text != "1" && text != "0") {
            error = "'" + text + "' is no BOOL value (TRUE, FALSE, 1 or 0)";
            return {};
        }
    }
    TFBDataMember trial;
    trial.Decl = const_cast<TFBDataMemberType*>(&port);
    trial.ValueText = text;
    try {
        if (text.empty() && DataTypeClass(type) != TDataTypeClass::String)
            throw EConvertError("an empty text is no " + type + " value");
        trial.SetValueFromText(text);
    } catch (const std::exception& e) {
        error = e.what();
        return {};
    }
    return forte_detail::Literal(trial);
}

int TForteOnline::nextId()
{
    // The runtime takes IDs of up to seven characters.
    if (++id_ > 9999999)
        id_ = 1;
    return id_;
}

std::string TForteOnline::send(const std::string& xml, TForteResponse& answer)
{
    Refused = false;
    std::string error;
    if (!Client.Request(Resource, xml, answer, error))
        return error;
    if (!answer.Reason.empty()) {
        Refused = true;
        return forte_detail::PeerText(answer.Reason);
    }
    return {};
}

std::string TForteOnline::Watch(const std::string& instancePort, bool create)
{
    TForteResponse answer;
    return send(ForteWatchXml(nextId(), create, instancePort), answer);
}

std::string TForteOnline::Poll(std::vector<TForteWatchValue>& values)
{
    values.clear();
    TForteResponse answer;
    if (std::string failed = send(ForteReadWatchesXml(nextId()), answer); !failed.empty())
        return failed;
    std::string error;
    if (!ParseForteWatches(answer, values, error))
        return error;
    return {};
}

std::string TForteOnline::Force(const std::string& instancePort, const std::string& literal)
{
    TForteResponse answer;
    return send(ForteForceXml(nextId(), instancePort, literal), answer);
}

std::string TForteOnline::ClearForce(const std::string& instancePort)
{
    TForteResponse answer;
    return send(ForteClearForceXml(nextId(), instancePort), answer);
}

std::string TForteOnline::Write(const std::string& instancePort, const std::string& literal)
{
    TForteResponse answer;
    return send(onlineRequest(nextId(), "WRITE", forte_detail::ConnectionXml(literal, instancePort)), answer);
}

std::string TForteOnline::Trigger(const std::string& instancePort, bool resetCount)
{
    TForteResponse answer;
    return send(ForteTriggerXml(nextId(), instancePort, resetCount), answer);
}

} // namespace telvo
