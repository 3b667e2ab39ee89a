#include "viewer/live_viewer_registry.h"

#include <mutex>

#include "core/item_list.h"
#include "core/object_item.h"

namespace {

// One type-30 item per engine, linked to it. Engines of other threads may look names up while
// one is built or destroyed, so every access holds the lock.
struct Registry {
    std::mutex lock;
    CObjeto LiveViewerRegistry;
};

Registry& TheRegistry()
{
    static Registry* registry = new Registry;  // outlives every engine, also at process exit
    return *registry;
}

}  // namespace

int RegisterLiveViewer(CMainWnd* engine, bool* added)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    bool listed = false;
    if (engine && !registry.LiveViewerRegistry.FindByLinkedObject(engine)) {
        ItemRecord* record = registry.LiveViewerRegistry.CreateItem(ItemType::ViewerWindowObject);
        if (record) {
            static_cast<ObjectItem*>(record)->linkedObject = engine;
            listed = true;
        }
    }
    if (added)
        *added = listed;
    return registry.LiveViewerRegistry.GetCount();
}

int UnregisterLiveViewer(CMainWnd* engine, bool* removed)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    bool wasListed = false;
    if (engine && registry.LiveViewerRegistry.FindByLinkedObject(engine)) {
        registry.LiveViewerRegistry.RemoveByLinkedObject(engine);
        wasListed = true;
    }
    if (removed)
        *removed = wasListed;
    return registry.LiveViewerRegistry.GetCount();
}

int GetLiveViewerCount()
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    return registry.LiveViewerRegistry.GetCount();
}

bool IsLiveViewer(const CMainWnd* engine)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    return engine && registry.LiveViewerRegistry.FindByLinkedObject(engine) != nullptr;
}

CMainWnd* FindLiveViewer(const char* name)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    ItemRecord* record = registry.LiveViewerRegistry.FindByName(name);
    if (!record)
        return nullptr;
    return static_cast<CMainWnd*>(static_cast<ObjectItem*>(record)->linkedObject);
}

bool SetLiveViewerName(const CMainWnd* engine, const char* name)
{
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.lock);
    ObjectItem* item = engine ? registry.LiveViewerRegistry.FindByLinkedObject(engine) : nullptr;
    if (!item)
        return false;
    item->name = name ? name : "";
    return true;
}
