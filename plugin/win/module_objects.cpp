#include "module_objects.h"

namespace zobrik {

ModuleObjects& ModuleObjects::Instance() {
    static ModuleObjects instance;
    return instance;
}

void ModuleObjects::Keep(std::shared_ptr<void> object) {
    std::lock_guard lock(mutex_);
    objects_.push_back(std::move(object));
}

}  // namespace zobrik
