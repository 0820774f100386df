#include "systemlayer/system_layer.h"

#include <algorithm>
#include <climits>

namespace telvo {

namespace {

bool FileExists(const std::filesystem::path& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

std::string BareName(std::string_view stored)
{
    size_t cut = stored.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? stored : stored.substr(cut + 1));
}

// Inclusive box test; 64-bit so that far scroll offsets cannot overflow.
// Layout sums of positions read from files must not overflow.
int32_t Clamp32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool InBox(int32_t x, int32_t y, int64_t left, int64_t top, int64_t width, int64_t height)
{
    return x >= left && x <= left + width && y >= top && y <= top + height;
}

} // namespace

TSystemLayerManager::TSystemLayerManager(std::filesystem::path programFolder)
    : ProgramFolder(std::move(programFolder))
{
}

TSystemLayerListener::~TSystemLayerListener()
{
    if (layer_)
        layer_->RemoveListener(this);
}

TSystemLayerManager::~TSystemLayerManager()
{
    for (TSystemLayerListener* l : Listeners())
        l->LayerDestroying(*this);
    for (TSystemLayerListener* l : listeners_)
        l->layer_ = nullptr;
    listeners_.clear();
    // Connections first: each one leaves its ends' lists as it goes, so the
    // ends must still be there.
    Connections.clear();
    Objects.clear();
}

void TSystemLayerManager::AddListener(TSystemLayerListener* listener)
{
    if (!listener || listener->layer_ == this)
        return;
    if (listener->layer_)
        listener->layer_->RemoveListener(listener);
    listener->layer_ = this;
    listeners_.push_back(listener);
}

void TSystemLayerManager::RemoveListener(TSystemLayerListener* listener)
{
    if (!listener || listener->layer_ != this)
        return;
    listener->layer_ = nullptr;
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

std::filesystem::path TSystemLayerManager::ImagePath(std::string_view imageName) const
{
    return ImagePathUnder(ProgramFolder, imageName);
}

std::string TSystemLayerManager::ResolveIptImage(const std::string& imageFile) const
{
    if (imageFile.empty())
        return {};
    std::filesystem::path given = ImagePath(imageFile);
    if (FileExists(given))
        return given.generic_string();
    std::string bare = BareName(imageFile);
    if (bare.empty())
        return {};
    std::filesystem::path inImages = ProgramFolder / "images" / bare;
    if (FileExists(inImages))
        return inImages.generic_string();
    if (!ProjectFile.empty()) {
        std::filesystem::path besideProject = ProjectFile.parent_path() / bare;
        if (FileExists(besideProject))
            return besideProject.generic_string();
    }
    return {};
}

TslObject* TSystemLayerManager::AddObject(const std::string& name, uint8_t kind, int iptSubtype,
                                          const std::string& imageFile)
{
    std::string picture;
    if (!KindImageFile(kind).empty())
        picture = ImagePath(KindImageFile(kind)).generic_string();

    std::unique_ptr<TslObject> object;
    switch (kind) {
    case slNetBone: object = std::make_unique<TslNetBone>(this, picture); break;
    case slIECFieldbus: object = std::make_unique<TslIECFieldbus>(this, picture); break;
    case slNonIECFieldbus: object = std::make_unique<TslNonIECFieldbus>(this, picture); break;
    case slIECDevice: object = std::make_unique<TslIECDevice>(this, picture); break;
    case slOPCDevice: object = std::make_unique<TslOPCDevice>(this, picture); break;
    case slNonIECDevice: object = std::make_unique<TslNonIECDevice>(this, picture); break;
    case slComputer: object = std::make_unique<TslComputer>(this, picture); break;
    case slInterunit: object = std::make_unique<TslInterunit>(this, picture); break;
    case slSwitch: object = std::make_unique<TslSwitch>(this, picture); break;
    case slIPT: {
        std::string resolved = ResolveIptImage(imageFile);
        auto ipt = std::make_unique<TslIPT>(this, resolved);
        ipt->SetSubtype(iptSubtype, resolved);
        object = std::move(ipt);
        break;
    }
    default:
        // IPPs live in an IPT or a device; anything else is no kind at all.
        return nullptr;
    }
    object->Name = name;
    Objects.push_back(std::move(object));
    return Objects.back().get();
}

bool TSystemLayerManager::Contains(const TslObject* object) const
{
    return object && std::any_of(Objects.begin(), Objects.end(), [&](const auto& o) { return o.get() == object; });
}

bool TSystemLayerManager::HoldsEnd(const TslObject* end) const
{
    if (!end)
        return false;
    auto* ipp = dynamic_cast<const TslIPPRef*>(end);
    if (!ipp)
        return Contains(end);
    const TslObject* owner = ipp->Owner;
    if (!Contains(owner) || !owner->IppList())
        return false;
    const auto& list = *owner->IppList();
    return std::any_of(list.begin(), list.end(), [&](const auto& p) { return p.get() == end; });
}

TSystemConnection* TSystemLayerManager::Connect(TslObject* source, TslObject* target)
{
    // A connection to something outside this layer would outlive it.
    if (!HoldsEnd(source) || !HoldsEnd(target))
        return nullptr;
    auto connection = std::make_unique<TSystemConnection>(source, target);
    connection->Name = "Connection_" + std::to_string(Connections.size());
    connection->ConnectionType = ConnectionTypeOf(source->Kind, target->Kind);
    if (TslIODevice* device = connection->BoundDevice())
        device->BindIpp(connection->BoundIpp());
    Connections.push_back(std::move(connection));
    return Connections.back().get();
}

void TSystemLayerManager::DeleteConnection(TSystemConnection* connection)
{
    auto it = std::find_if(Connections.begin(), Connections.end(),
                           [&](const auto& c) { return c.get() == connection; });
    if (it == Connections.end())
        return;
    if (TslIODevice* device = connection->BoundDevice())
        device->UnbindIpp(connection->BoundIpp());
    for (TSystemLayerListener* l : Listeners())
        l->ConnectionDeleting(*connection);
    if (SelectedConnection == connection)
        SelectedConnection = nullptr;
    std::unique_ptr<TSystemConnection> owned = std::move(*it);
    Connections.erase(it);
}

void TSystemLayerManager::DeleteConnectionsOf(const TslObject* end)
{
    for (size_t i = Connections.size(); i-- > 0;) {
        if (i >= Connections.size())
            continue;
        TSystemConnection* c = Connections[i].get();
        if (c->SourceObject == end || c->TargetObject == end)
            DeleteConnection(c);
    }
}

void TSystemLayerManager::ForgetObject(const TslObject* object)
{
    if (SelectedObject == object)
        SelectedObject = nullptr;
    if (HoverIpp == object)
        HoverIpp = nullptr;
    if (FirstEnd == object)
        FirstEnd = nullptr;
    if (SecondEnd == object)
        SecondEnd = nullptr;
}

void TSystemLayerManager::FreeIpp(TslObject* owner, TslIPPRef* ipp)
{
    auto& list = *owner->IppList();
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == ipp; });
    if (it == list.end())
        return;
    DeleteConnectionsOf(ipp);
    for (TSystemLayerListener* l : Listeners())
        l->IppDeleting(*ipp);
    ForgetObject(ipp);
    // A binding normally goes with its connection; one left behind (by a
    // device whose inputs were rebuilt, say) must not outlive the IPP.
    for (auto& object : Objects)
        if (auto* device = dynamic_cast<TslIODevice*>(object.get()))
            for (auto* ioList : {&device->InputList, &device->OutputList})
                for (auto& io : *ioList)
                    if (io->BoundObject == ipp)
                        io->BoundObject = nullptr;
    std::unique_ptr<TslIPPRef> owned = std::move(*it);
    list.erase(it);
}

void TSystemLayerManager::DeleteIpp(TslObject* owner, TslIPPRef* ipp)
{
    if (!owner || !ipp || !owner->IppList())
        return;
    FreeIpp(owner, ipp);
}

void TSystemLayerManager::DeleteObject(TslObject* object)
{
    if (!object)
        return;
    if (auto* ipp = dynamic_cast<TslIPPRef*>(object)) {
        DeleteIpp(ipp->Owner, ipp);
        return;
    }
    auto it = std::find_if(Objects.begin(), Objects.end(), [&](const auto& o) { return o.get() == object; });
    if (it == Objects.end())
        return;
    // The IPPs go first, last to first, each with its connections; then the
    // object's own connections (an IPT can have some too, from a project
    // file that names it as an end).
    if (auto* ipps = object->IppList())
        while (!ipps->empty()) {
            size_t before = ipps->size();
            FreeIpp(object, ipps->back().get());
            if (ipps->size() == before)
                ipps->pop_back();
        }
    DeleteConnectionsOf(object);
    for (TSystemLayerListener* l : Listeners())
        l->ObjectDeleting(*object);
    if (auto* device = dynamic_cast<TslDevice*>(object))
        device->DownloadedFBInstanceList.clear();
    ForgetObject(object);
    it = std::find_if(Objects.begin(), Objects.end(), [&](const auto& o) { return o.get() == object; });
    std::unique_ptr<TslObject> owned = std::move(*it);
    Objects.erase(it);
}

std::string TSystemLayerManager::CountOfKind(uint8_t kind) const
{
    auto n = std::count_if(Objects.begin(), Objects.end(), [&](const auto& o) { return o->Kind == kind; });
    return std::to_string(n);
}

std::string TSystemLayerManager::NewObjectName(uint8_t kind, int iptSubtype) const
{
    if (kind == slIPT) {
        const TslIptSubtype* row = IptSubtype(iptSubtype);
        return std::string(row ? row->NamePrefix : std::string_view()) + CountOfKind(slIPT);
    }
    return std::string(ObjectNamePrefix(kind)) + CountOfKind(kind);
}

std::string TSystemLayerManager::NewIppName(const TslIPT& ipt)
{
    return "IPP_" + std::to_string(ipt.IPPList.size());
}

TslObject* TSystemLayerManager::FindByName(const std::string& name) const
{
    static const std::string Separator = "+||+";
    size_t cut = name.find(Separator);
    std::string objectName = cut == std::string::npos ? name : name.substr(0, cut);
    for (auto& object : Objects) {
        if (object->Name != objectName)
            continue;
        if (cut == std::string::npos)
            return object.get();
        // Only IPTs are named with their IPPs this way.
        auto* ipt = dynamic_cast<TslIPT*>(object.get());
        return ipt ? ipt->getIppByName(name.substr(cut + Separator.size())) : nullptr;
    }
    return nullptr;
}

TslObject* TSystemLayerManager::ObjectAt(int32_t x, int32_t y, bool withIpps)
{
    for (auto& object : Objects)
        object->Selected = false;
    // From the last drawn to the first: the object the user sees on top
    // takes the point, box or IPP marker alike. An IPT's box still wins over
    // its own markers, which only share its top edge.
    TslObject* result = nullptr;
    TslObject* toTop = nullptr;
    for (auto it = Objects.rbegin(); it != Objects.rend() && !result; ++it) {
        TslObject* object = it->get();
        if (InBox(x, y, int64_t{ScrollX} + object->Left, int64_t{ScrollY} + object->Top, object->Width,
                  object->Height)) {
            result = toTop = object;
            break;
        }
        auto* ipt = withIpps ? dynamic_cast<TslIPT*>(object) : nullptr;
        if (!ipt)
            continue;
        for (auto& ipp : ipt->IPPList)
            if (InBox(x, y, int64_t{ScrollX} + ipp->Left, int64_t{ScrollY} + ipp->Top, TslIPPRef::MarkerSize,
                      TslIPPRef::MarkerSize)) {
                result = ipp.get();
                toTop = ipt;
                break;
            }
    }
    if (!result)
        return nullptr;
    // What was hit comes to the top of the drawing.
    auto it = std::find_if(Objects.begin(), Objects.end(), [&](const auto& o) { return o.get() == toTop; });
    if (it != Objects.end())
        std::rotate(it, it + 1, Objects.end());
    return result;
}

TslIPPRef* TSystemLayerManager::IppAt(int32_t x, int32_t y) const
{
    TslIPPRef* hit = nullptr;
    for (auto& object : Objects) {
        auto* ipt = dynamic_cast<TslIPT*>(object.get());
        if (!ipt)
            continue;
        for (auto& ipp : ipt->IPPList)
            if (InBox(x, y, int64_t{ScrollX} + ipp->Left, int64_t{ScrollY} + ipp->Top, TslIPPRef::MarkerSize,
                      TslIPPRef::MarkerSize)) {
                hit = ipp.get();
                break;
            }
    }
    return hit;
}

TSystemConnection* TSystemLayerManager::ConnectionAt(int32_t x, int32_t y)
{
    ClearConnectionSelection();
    TSystemConnection* hit = nullptr;
    for (auto& c : Connections)
        if (c->HitTest(x, y)) {
            c->Selected = true;
            hit = c.get();
        }
    return hit;
}

void TSystemLayerManager::ClearConnectionSelection()
{
    for (auto& c : Connections)
        c->Selected = false;
    SelectedConnection = nullptr;
}

TslIECDevice* TSystemLayerManager::FindIecDeviceOfIpp(const TslIPPRef* ipp) const
{
    for (auto& object : Objects)
        if (auto* device = dynamic_cast<TslIECDevice*>(object.get()); device && device->HoldsIpp(ipp))
            return device;
    return nullptr;
}

void TSystemLayerManager::ApplyLayout()
{
    for (auto& object : Objects) {
        if (object->Kind == slIECFieldbus || object->Kind == slNonIECFieldbus)
            object->Width = Clamp32(100 + 40 * static_cast<int64_t>(object->Connections.size()));
        auto* ipt = dynamic_cast<TslIPT*>(object.get());
        if (!ipt)
            continue;
        const int64_t n = static_cast<int64_t>(ipt->IPPList.size());
        if (ipt->TypeName == "Undefined" && !FileExists(ImagePath(ipt->ImageFileName)))
            ipt->Width = Clamp32(30 + 15 * n);
        for (int64_t k = 0; k < n; ++k) {
            TslIPPRef& ipp = *ipt->IPPList[static_cast<size_t>(k)];
            ipp.Left = Clamp32(int64_t{ipt->Left} + 15 * k + 6);
            ipp.Top = Clamp32(int64_t{ipt->Top} - 15);
            ipp.Width = TslIPPRef::MarkerSize;
            ipp.Height = 0;
        }
    }

    auto centre = [](int32_t scroll, int32_t pos, int32_t size) {
        return Clamp32(int64_t{scroll} + pos + size / 2);
    };
    for (auto& c : Connections) {
        if (!c->SourceObject || !c->TargetObject)
            continue;
        const TslObject& s = *c->SourceObject;
        const TslObject& e = *c->TargetObject;
        c->StartX = centre(ScrollX, s.Left, s.Width);
        c->StartY = centre(ScrollY, s.Top, s.Height);
        c->EndX = centre(ScrollX, e.Left, e.Width);
        c->EndY = centre(ScrollY, e.Top, e.Height);
        // The horizontal leg runs close to an IPP end (markers sit on their
        // IPT's top edge), along a fieldbus (drawn as a bar), else half way
        // between the ends.
        int32_t leg;
        if (e.Kind == slIPPRef)
            leg = Clamp32(int64_t{c->EndY} - 5);
        else if (s.Kind == slIPPRef)
            leg = Clamp32(int64_t{c->StartY} - 20);
        else
            leg = Clamp32(int64_t{c->StartY} + (int64_t{c->EndY} - c->StartY) / 2);
        if (s.Kind == slIECFieldbus)
            leg = c->StartY;
        if (e.Kind == slIECFieldbus)
            leg = c->EndY;
        c->ClearPoints();
        c->AddPoint(c->StartX, c->StartY);
        c->AddPoint(c->StartX, leg);
        c->AddPoint(c->EndX, leg);
        c->AddPoint(c->EndX, c->EndY);
    }
}

} // namespace telvo
