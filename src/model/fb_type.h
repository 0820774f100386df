#pragma once
// The in-memory definition of one IEC 61499 function block type: interface,
// internal variables, ECC, algorithms, service sequences and, for a composite
// type, its inner network.

#include "model/object_block.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

namespace telvo {

class TFB_Type;
class TFB_Diagram;
class TFB_EventAssocRef;
class TFB_DataAssocRef;

template <typename T>
using TOwnedList = std::vector<std::unique_ptr<T>>;

// Where the declarations of a type read from a file live. Such a type holds
// tens of small objects, made and dropped together: they are placed one after
// another in blocks the type owns, which costs one allocation for many of
// them and none to free them. Objects made one at a time (by the editor) come
// from the heap as before. Unlike a TObjectBlock, the store grows as it is
// filled (a reader does not know the sizes ahead) and serves list buffers
// too. As there, the room of a block that holds no live object is poisoned
// under AddressSanitizer.
class TFB_TypeStore {
public:
    TFB_TypeStore() = default;
    ~TFB_TypeStore();
    TFB_TypeStore(const TFB_TypeStore&) = delete;
    TFB_TypeStore& operator=(const TFB_TypeStore&) = delete;

    void* Allocate(size_t size, size_t align);
    // The room of an object or buffer that is gone; it is not used again.
    static void Release(void* p, size_t size) { TELVO_POISON(p, size); }

private:
    struct TBlock {
        TBlock* Next;
        size_t Size;
    };
    void* allocateInNewBlock(size_t size, size_t align);

    TBlock* blocks_ = nullptr;
    char* next_ = nullptr;
    char* end_ = nullptr;
};

// Destroys an object of a type's list: one placed in the type's store is only
// destroyed (its memory goes with the type), any other is deleted. A placed
// object therefore never moves to a list that may outlive its type.
template <typename T>
struct TDeclDelete {
    bool Placed = false;
    TDeclDelete() = default;
    explicit TDeclDelete(bool placed) : Placed(placed) {}
    // Objects made with make_unique join a list as they are.
    TDeclDelete(std::default_delete<T>) {}
    void operator()(T* p) const noexcept
    {
        if (Placed) {
            p->~T();
            TFB_TypeStore::Release(p, sizeof(T));
        } else
            delete p;
    }
};
template <typename T>
using TDeclPtr = std::unique_ptr<T, TDeclDelete<T>>;

// The buffers of a type's lists come from its store too: a list read from a
// file is sized once and lives as long as the type. Memory taken from the
// store goes back with the type, not buffer by buffer; a list that grows
// later (in the editor) leaves its old buffer there. Without a store the
// heap serves.
template <typename T>
class TStoreAllocator {
public:
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;

    TStoreAllocator() = default;
    TStoreAllocator(TFB_TypeStore* store) : store_(store) {}
    template <typename U>
    TStoreAllocator(const TStoreAllocator<U>& other) : store_(other.store_)
    {
    }

    T* allocate(size_t n)
    {
        if (!store_)
            return std::allocator<T>().allocate(n);
        if (n > size_t(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(store_->Allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, size_t n)
    {
        if (!store_)
            std::allocator<T>().deallocate(p, n);
        else
            TFB_TypeStore::Release(p, n * sizeof(T));
    }
    // A copy of a list never shares the type's store: it may outlive the type.
    TStoreAllocator select_on_container_copy_construction() const { return {}; }

    template <typename U>
    bool operator==(const TStoreAllocator<U>& other) const
    {
        return store_ == other.store_;
    }

private:
    template <typename U>
    friend class TStoreAllocator;
    TFB_TypeStore* store_ = nullptr;
};

template <typename T>
using TDeclList = std::vector<TDeclPtr<T>, TStoreAllocator<TDeclPtr<T>>>;

struct TFB_Version {
    std::string Organization, Version, Author, Date, Remarks;
};

struct TFB_Compiler {
    std::string Language, Vendor, Product, Version;
};

// Base of data inputs and data outputs.
class TFBDataMemberType {
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
class TFBEventType {
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

struct TFB_InternalVar {
    std::string Name, Comment, Type, ArraySize, InitialValue;
    TFB_Type* Owner = nullptr;
};

struct TFB_Plug {
    std::string Name, Comment, Type;
};
struct TFB_Socket {
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

class TFB_Service {
public:
    std::string RightInterface, LeftInterface, Comment;
    TOwnedList<TFB_ServiceSequence> Sequences;
    TFB_ServiceSequence* AddSequence(const std::string& name, const std::string& comment);
    bool DeleteSequence(const std::string& name);
};

struct TECCAction {
    std::string Algorithm, Output;
};

class TECCState {
public:
    std::string Name, Comment;
    int32_t X = 0, Y = 0; // grid units
    TOwnedList<TECCAction> Actions;
    TECCAction* AddAction(const std::string& algorithm, const std::string& output);
};

struct TECCTransition {
    std::string Source, Destination, Condition;
    int32_t X = 0, Y = 0; // grid units
};

struct TFBRung {
    std::string Output, Expression, Comment;
};

class TFBAlgorithm {
public:
    std::string Name, Comment, Language;
    std::vector<std::string> STText;
    std::vector<std::string> OtherText;
    TOwnedList<TFBRung> Rungs;
    bool HasFBD = false;
    TFBRung* AddRung(const std::string& output, const std::string& expression, const std::string& comment);
};

class TFB_Type {
    // First, so that it outlives every list holding objects placed in it.
    TFB_TypeStore store_;

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
    TDeclList<TFB_Version> Versions;
    TDeclList<TFB_Compiler> Compilers;
    TDeclList<TFB_EventInput> EventInputs;
    TDeclList<TFB_EventOutput> EventOutputs;
    TDeclList<TFB_DataInput> DataInputs;
    TDeclList<TFB_DataOutput> DataOutputs;
    TDeclList<TFB_InternalVar> InternalVars;
    TDeclList<TFB_Plug> Plugs;
    TDeclList<TFB_Socket> Sockets;
    TDeclList<TFB_Service> Services;
    TDeclList<TECCState> States;
    TDeclList<TECCTransition> Transitions;
    TDeclList<TFBAlgorithm> Algorithms;
    TOwnedList<TFB_EventAssocRef> InnerEventConns;
    TOwnedList<TFB_DataAssocRef> InnerDataConns;
    bool Imported = false;
    bool Composite = false;
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

    // A new object in the type's store, for one of its lists (the reader's).
    // Its fields are left as their initializers set them.
    template <typename T>
    TDeclPtr<T> MakePlaced()
    {
        void* at = store_.Allocate(sizeof(T), alignof(T));
        return TDeclPtr<T>(new (at) T, TDeclDelete<T>(true));
    }
};

} // namespace telvo
