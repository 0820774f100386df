#pragma once
// The in-memory definition of one IEC 61499 function block type: interface,
// internal variables, ECC, algorithms, service sequences and, for a composite
// type, its inner network.

#include "model/object_block.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace telvo {

class TFB_Type;
class TFB_Diagram;
class TFB_EventAssocRef;
class TFB_DataAssocRef;

template <typename T>
using TOwnedList = std::vector<std::unique_ptr<T>>;

struct TFB_Version : TBlockPlaced {
    std::string Organization, Version, Author, Date, Remarks;
};

struct TFB_Compiler : TBlockPlaced {
    std::string Language, Vendor, Product, Version;
};

// Base of data inputs and data outputs.
class TFBDataMemberType : public TBlockPlaced {
public:
    virtual ~TFBDataMemberType() = default;
    std::string Name, Type, Comment, ArraySize, InitialValue;
    TFB_Type* Owner = nullptr;
    virtual bool IsInput() const = 0;
};
class TFB_DataInput final : public TFBDataMemberType {
public:
    bool IsInput() const override { return true; }
};
class TFB_DataOutput final : public TFBDataMemberType {
public:
    bool IsInput() const override { return false; }
};

// Base of event inputs and event outputs. `With` names the data variables
// sampled with the event: data inputs for an input, data outputs for an
// output; never owned, never null.
class TFBEventType : public TBlockPlaced {
public:
    virtual ~TFBEventType() = default;
    std::string Name, Comment, Type;
    std::vector<TFBDataMemberType*> With;
    TFB_Type* Owner = nullptr;
    virtual bool IsInput() const = 0;
    void AddWith(TFBDataMemberType* var);
};
class TFB_EventInput final : public TFBEventType {
public:
    bool IsInput() const override { return true; }
};
class TFB_EventOutput final : public TFBEventType {
public:
    bool IsInput() const override { return false; }
};

struct TFB_InternalVar : TBlockPlaced {
    std::string Name, Comment, Type, ArraySize, InitialValue;
    TFB_Type* Owner = nullptr;
};

struct TFB_Plug : TBlockPlaced {
    std::string Name, Comment, Type;
};
struct TFB_Socket : TBlockPlaced {
    std::string Name, Comment, Type;
};

// One service primitive: an input primitive when IsInput, else an output one.
struct TFB_ServiceTransaction {
    bool IsInput = false;
    std::string Interface, Event, Parameters;
};

class TFB_ServiceSequence {
public:
    std::string Name, Comment;
    TOwnedList<TFB_ServiceTransaction> Primitives;
    TFB_ServiceTransaction* AddPrimitive(bool isInput, const std::string& interface, const std::string& event,
                                         const std::string& parameters);
    // Removes the first primitive whose Event equals the argument.
    bool DeletePrimitive(const std::string& event);
};

class TFB_Service : public TBlockPlaced {
public:
    std::string RightInterface, LeftInterface, Comment;
    TOwnedList<TFB_ServiceSequence> Sequences;
    TFB_ServiceSequence* AddSequence(const std::string& name, const std::string& comment);
    bool DeleteSequence(const std::string& name);
};

struct TECCAction {
    std::string Algorithm, Output;
};

class TECCState : public TBlockPlaced {
public:
    std::string Name, Comment;
    int32_t X = 0, Y = 0; // grid units
    TOwnedList<TECCAction> Actions;
    TECCAction* AddAction(const std::string& algorithm, const std::string& output);
};

struct TECCTransition : TBlockPlaced {
    std::string Source, Destination, Condition;
    int32_t X = 0, Y = 0; // grid units
};

struct TFBRung {
    std::string Output, Expression, Comment;
};

class TFBAlgorithm : public TBlockPlaced {
public:
    std::string Name, Comment, Language;
    std::vector<std::string> STText;
    std::vector<std::string> OtherText;
    TOwnedList<TFBRung> Rungs;
    bool HasFBD = false;
    TFBRung* AddRung(const std::string& output, const std::string& expression, const std::string& comment);
};

class TFB_Type {
    // Where the reader places the declarations: a type's are made together
    // and go together.
    TObjectPool store_{2048};

public:
    TFB_Type();
    ~TFB_Type();
    TFB_Type(const TFB_Type&) = delete;
    TFB_Type& operator=(const TFB_Type&) = delete;

    std::string Standard;
    std::string Description;
    std::string CompilerHeader;
    std::string CompilerClassDef;
    std::string Name;
    std::string Comment;
    std::string FileName;
    TOwnedList<TFB_Version> Versions;
    TOwnedList<TFB_Compiler> Compilers;
    TOwnedList<TFB_EventInput> EventInputs;
    TOwnedList<TFB_EventOutput> EventOutputs;
    TOwnedList<TFB_DataInput> DataInputs;
    TOwnedList<TFB_DataOutput> DataOutputs;
    TOwnedList<TFB_InternalVar> InternalVars;
    TOwnedList<TFB_Plug> Plugs;
    TOwnedList<TFB_Socket> Sockets;
    TOwnedList<TFB_Service> Services;
    TOwnedList<TECCState> States;
    TOwnedList<TECCTransition> Transitions;
    TOwnedList<TFBAlgorithm> Algorithms;
    TOwnedList<TFB_EventAssocRef> InnerEventConns;
    TOwnedList<TFB_DataAssocRef> InnerDataConns;
    bool Imported = false;
    bool Composite = false;
    // A simple FB: no chart; each event input runs the algorithm of its
    // name. Its variables and algorithms are read from and written to the
    // SimpleFB element.
    bool Simple = false;
    std::unique_ptr<TFB_Diagram> Network;

    TFB_Version* AddVersion(const std::string& organization, const std::string& version, const std::string& author,
                            const std::string& date, const std::string& remarks);
    TFB_Compiler* AddCompiler(const std::string& language, const std::string& vendor, const std::string& product,
                              const std::string& version);
    // A name already present returns the existing event: WITH entries of a
    // duplicate declaration join the first one.
    TFB_EventInput* AddEventInput(const std::string& name, const std::string& type, const std::string& comment);
    TFB_EventOutput* AddEventOutput(const std::string& name, const std::string& type, const std::string& comment);
    TFB_DataInput* AddDataInput(const std::string& name, const std::string& type, const std::string& comment,
                                const std::string& initialValue, const std::string& arraySize);
    TFB_DataOutput* AddDataOutput(const std::string& name, const std::string& type, const std::string& comment,
                                  const std::string& initialValue, const std::string& arraySize);
    TFB_InternalVar* AddInternalVar(const std::string& name, const std::string& type, const std::string& arraySize,
                                    const std::string& comment, const std::string& initialValue);
    TFB_Plug* AddPlug(const std::string& name, const std::string& type, const std::string& comment);
    TFB_Socket* AddSocket(const std::string& name, const std::string& type, const std::string& comment);
    TFB_Service* AddService(const std::string& leftInterface, const std::string& rightInterface,
                            const std::string& comment);
    TECCState* AddState(const std::string& name, const std::string& comment);
    TECCTransition* AddTransition(const std::string& source, const std::string& destination,
                                  const std::string& condition);
    TFBAlgorithm* AddAlgorithm(const std::string& name, const std::string& comment);

    int IndexOfEventInput(const std::string& name) const;
    int IndexOfEventOutput(const std::string& name) const;
    int IndexOfDataInput(const std::string& name) const;
    int IndexOfDataOutput(const std::string& name) const;
    TFB_EventInput* FindEventInput(const std::string& name) const;
    TFB_EventOutput* FindEventOutput(const std::string& name) const;
    TFB_DataInput* FindDataInput(const std::string& name) const;
    TFB_DataOutput* FindDataOutput(const std::string& name) const;
    TFB_InternalVar* FindInternalVar(const std::string& name) const;
    TECCState* FindState(const std::string& name) const;
    TFBAlgorithm* FindAlgorithm(const std::string& name) const;

    // Each removes and destroys the first object of that name. Deleting a
    // data variable also drops it from every event's WITH list, so no event
    // is left pointing at it.
    bool DeleteDataInput(const std::string& name);
    bool DeleteDataOutput(const std::string& name);
    bool DeleteEventInput(const std::string& name);
    bool DeleteEventOutput(const std::string& name);
    bool DeleteInternalVar(const std::string& name);
    bool DeleteAlgorithm(const std::string& name);
    bool DeletePlug(const std::string& name);

    // A service-interface type: its first service has at least one sequence.
    bool IsServiceInterface() const;

    // A new object for one of the type's lists, placed beside the type's
    // other declarations (the reader's). Its fields are left as their
    // initializers set them.
    template <typename T>
    std::unique_ptr<T> MakePlaced()
    {
        return store_.MakeDefault<T>();
    }
};

} // namespace telvo
