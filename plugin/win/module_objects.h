// Ownership of the objects handed to the Remote Desktop client. The client's
// Release does not free them (they count no references), so the module keeps
// them until it is unloaded, when the client has finished with them. Workers
// pin the module while they run, so none outlives its objects.
#pragma once

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "include/win/owners.h"

namespace zobrik {

class ModuleObjects {
public:
    // Creates a T owned by the module; throws std::bad_alloc.
    template <class T, class... Args>
    static T* Create(Args&&... args) {
        auto object = std::make_shared<T>(std::forward<Args>(args)...);
        Instance().Keep(object);
        return object.get();
    }

private:
    static ModuleObjects& Instance();
    void Keep(std::shared_ptr<void> object);

    SlimLock mutex_;
    std::vector<std::shared_ptr<void>> objects_;
};

}  // namespace zobrik
