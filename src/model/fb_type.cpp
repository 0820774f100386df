#include "model/fb_type.h"

#include "model/fb_diagram.h"

#include <algorithm>

namespace telvo {

namespace {

template <typename List>
auto findByName(const List& list, const std::string& name) -> decltype(list.front().get())
{
    for (const auto& item : list)
        if (item->Name == name)
            return item.get();
    return nullptr;
}

template <typename List>
int indexByName(const List& list, const std::string& name)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i]->Name == name)
            return static_cast<int>(i);
    return -1;
}

template <typename List>
bool eraseFirstByName(List& list, const std::string& name)
{
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p->Name == name; });
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}

template <typename T, typename List>
T* append(List& list, std::unique_ptr<T> item)
{
    T* raw = item.get();
    list.push_back(std::move(item));
    return raw;
}

} // namespace

void TFBEventType::AddWith(TFBDataMemberType* var)
{
    if (var)
        With.push_back(var);
}

TFB_ServiceTransaction* TFB_ServiceSequence::AddPrimitive(bool isInput, const std::string& interface,
                                                          const std::string& event, const std::string& parameters)
{
    auto p = std::make_unique<TFB_ServiceTransaction>();
    p->IsInput = isInput;
    p->Interface = interface;
    p->Event = event;
    p->Parameters = parameters;
    return append(Primitives, std::move(p));
}

bool TFB_ServiceSequence::DeletePrimitive(const std::string& event)
{
    auto it = std::find_if(Primitives.begin(), Primitives.end(), [&](const auto& p) { return p->Event == event; });
    if (it == Primitives.end())
        return false;
    Primitives.erase(it);
    return true;
}

TFB_ServiceSequence* TFB_Service::AddSequence(const std::string& name, const std::string& comment)
{
    auto s = std::make_unique<TFB_ServiceSequence>();
    s->Name = name;
    s->Comment = comment;
    return append(Sequences, std::move(s));
}

bool TFB_Service::DeleteSequence(const std::string& name)
{
    auto it = std::find_if(Sequences.begin(), Sequences.end(), [&](const auto& s) { return s->Name == name; });
    if (it == Sequences.end())
        return false;
    // Primitives go one by one by their event name, as the editor removes them.
    std::vector<std::string> events;
    for (const auto& p : (*it)->Primitives)
        events.push_back(p->Event);
    for (const auto& e : events)
        (*it)->DeletePrimitive(e);
    Sequences.erase(it);
    return true;
}

TECCAction* TECCState::AddAction(const std::string& algorithm, const std::string& output)
{
    auto a = std::make_unique<TECCAction>();
    a->Algorithm = algorithm;
    a->Output = output;
    return append(Actions, std::move(a));
}

TFBRung* TFBAlgorithm::AddRung(const std::string& output, const std::string& expression, const std::string& comment)
{
    auto r = std::make_unique<TFBRung>();
    r->Output = output;
    r->Expression = expression;
    r->Comment = comment;
    return append(Rungs, std::move(r));
}

// The network is an inner network: its instances are not project records.
TFB_Type::TFB_Type() : Network(TFB_Diagram::MakeInnerNetwork("FBComposite", this, nullptr)) {}

TFB_Type::~TFB_Type() = default;

TFB_Version* TFB_Type::AddVersion(const std::string& organization, const std::string& version,
                                  const std::string& author, const std::string& date, const std::string& remarks)
{
    for (const auto& v : Versions)
        if (v->Version == version)
            return nullptr;
    auto v = std::make_unique<TFB_Version>();
    v->Organization = organization;
    v->Version = version;
    v->Author = author;
    v->Date = date;
    v->Remarks = remarks;
    return append(Versions, std::move(v));
}

TFB_Compiler* TFB_Type::AddCompiler(const std::string& language, const std::string& vendor,
                                    const std::string& product, const std::string& version)
{
    for (const auto& c : Compilers)
        if (c->Language == language && c->Vendor == vendor && c->Version == version)
            return nullptr;
    auto c = std::make_unique<TFB_Compiler>();
    c->Language = language;
    c->Vendor = vendor;
    c->Product = product;
    c->Version = version;
    return append(Compilers, std::move(c));
}

namespace {

template <typename E, typename List>
E* addEvent(TFB_Type* owner, List& list, const std::string& name, const std::string& type,
            const std::string& comment)
{
    for (const auto& e : list)
        if (e->Name == name)
            return e.get();
    auto e = std::make_unique<E>();
    e->Name = name;
    e->Type = type;
    e->Comment = comment;
    e->Owner = owner;
    return append(list, std::move(e));
}

template <typename D, typename List>
D* addData(TFB_Type* owner, List& list, const std::string& name, const std::string& type,
           const std::string& comment, const std::string& initialValue, const std::string& arraySize)
{
    for (const auto& d : list)
        if (d->Name == name)
            return nullptr;
    auto d = std::make_unique<D>();
    d->Name = name;
    d->Type = type;
    d->Comment = comment;
    d->InitialValue = initialValue;
    d->ArraySize = arraySize;
    d->Owner = owner;
    return append(list, std::move(d));
}

template <typename Events>
void dropFromWith(Events& events, const TFBDataMemberType* var)
{
    for (auto& e : events)
        std::erase(e->With, var);
}

} // namespace

TFB_EventInput* TFB_Type::AddEventInput(const std::string& name, const std::string& type,
                                        const std::string& comment)
{
    return addEvent<TFB_EventInput>(this, EventInputs, name, type, comment);
}

TFB_EventOutput* TFB_Type::AddEventOutput(const std::string& name, const std::string& type,
                                          const std::string& comment)
{
    return addEvent<TFB_EventOutput>(this, EventOutputs, name, type, comment);
}

TFB_DataInput* TFB_Type::AddDataInput(const std::string& name, const std::string& type, const std::string& comment,
                                      const std::string& initialValue, const std::string& arraySize)
{
    return addData<TFB_DataInput>(this, DataInputs, name, type, comment, initialValue, arraySize);
}

TFB_DataOutput* TFB_Type::AddDataOutput(const std::string& name, const std::string& type,
                                        const std::string& comment, const std::string& initialValue,
                                        const std::string& arraySize)
{
    return addData<TFB_DataOutput>(this, DataOutputs, name, type, comment, initialValue, arraySize);
}

TFB_InternalVar* TFB_Type::AddInternalVar(const std::string& name, const std::string& type,
                                          const std::string& arraySize, const std::string& comment,
                                          const std::string& initialValue)
{
    auto v = std::make_unique<TFB_InternalVar>();
    v->Name = name;
    v->Type = type;
    v->ArraySize = arraySize;
    v->Comment = comment;
    v->InitialValue = initialValue;
    v->Owner = this;
    return append(InternalVars, std::move(v));
}

TFB_Plug* TFB_Type::AddPlug(const std::string& name, const std::string& type, const std::string& comment)
{
    auto p = std::make_unique<TFB_Plug>();
    p->Name = name;
    p->Comment = comment;
    p->Type = type;
    return append(Plugs, std::move(p));
}

TFB_Socket* TFB_Type::AddSocket(const std::string& name, const std::string& type, const std::string& comment)
{
    auto s = std::make_unique<TFB_Socket>();
    s->Name = name;
    s->Comment = comment;
    s->Type = type;
    return append(Sockets, std::move(s));
}

TFB_Service* TFB_Type::AddService(const std::string& leftInterface, const std::string& rightInterface,
                                  const std::string& comment)
{
    auto s = std::make_unique<TFB_Service>();
    s->LeftInterface = leftInterface;
    s->RightInterface = rightInterface;
    s->Comment = comment;
    return append(Services, std::move(s));
}

TECCState* TFB_Type::AddState(const std::string& name, const std::string& comment)
{
    auto s = std::make_unique<TECCState>();
    s->Name = name;
    s->Comment = comment;
    return append(States, std::move(s));
}

TECCTransition* TFB_Type::AddTransition(const std::string& source, const std::string& destination,
                                        const std::string& condition)
{
    auto t = std::make_unique<TECCTransition>();
    t->Source = source;
    t->Destination = destination;
    t->Condition = condition;
    return append(Transitions, std::move(t));
}

TFBAlgorithm* TFB_Type::AddAlgorithm(const std::string& name, const std::string& comment)
{
    auto a = std::make_unique<TFBAlgorithm>();
    a->Name = name;
    a->Comment = comment;
    return append(Algorithms, std::move(a));
}

int TFB_Type::IndexOfEventInput(const std::string& name) const { return indexByName(EventInputs, name); }
int TFB_Type::IndexOfEventOutput(const std::string& name) const { return indexByName(EventOutputs, name); }
int TFB_Type::IndexOfDataInput(const std::string& name) const { return indexByName(DataInputs, name); }
int TFB_Type::IndexOfDataOutput(const std::string& name) const { return indexByName(DataOutputs, name); }
TFB_EventInput* TFB_Type::FindEventInput(const std::string& name) const { return findByName(EventInputs, name); }
TFB_EventOutput* TFB_Type::FindEventOutput(const std::string& name) const { return findByName(EventOutputs, name); }
TFB_DataInput* TFB_Type::FindDataInput(const std::string& name) const { return findByName(DataInputs, name); }
TFB_DataOutput* TFB_Type::FindDataOutput(const std::string& name) const { return findByName(DataOutputs, name); }
TFB_InternalVar* TFB_Type::FindInternalVar(const std::string& name) const { return findByName(InternalVars, name); }
TECCState* TFB_Type::FindState(const std::string& name) const { return findByName(States, name); }
TFBAlgorithm* TFB_Type::FindAlgorithm(const std::string& name) const { return findByName(Algorithms, name); }

bool TFB_Type::DeleteDataInput(const std::string& name)
{
    if (auto* d = FindDataInput(name))
        dropFromWith(EventInputs, d);
    return eraseFirstByName(DataInputs, name);
}

bool TFB_Type::DeleteDataOutput(const std::string& name)
{
    if (auto* d = FindDataOutput(name))
        dropFromWith(EventOutputs, d);
    return eraseFirstByName(DataOutputs, name);
}

bool TFB_Type::DeleteEventInput(const std::string& name) { return eraseFirstByName(EventInputs, name); }
bool TFB_Type::DeleteEventOutput(const std::string& name) { return eraseFirstByName(EventOutputs, name); }
bool TFB_Type::DeleteInternalVar(const std::string& name) { return eraseFirstByName(InternalVars, name); }
bool TFB_Type::DeleteAlgorithm(const std::string& name) { return eraseFirstByName(Algorithms, name); }
bool TFB_Type::DeletePlug(const std::string& name) { return eraseFirstByName(Plugs, name); }

bool TFB_Type::IsServiceInterface() const
{
    return !Services.empty() && !Services.front()->Sequences.empty();
}

} // namespace telvo
