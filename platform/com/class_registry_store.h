// The process-wide store behind class_registry.h: registered classes and categories.
#pragma once

#include "platform/com/class_registry.h"

#include <optional>

namespace class_registry {

struct CategoryEntry {
    CATID catid;
    std::string description;
};

// Copies of the registrations, for lookups made outside the store's lock.
std::optional<ClassRegistration> FindByClsid(REFCLSID clsid);
std::optional<ClassRegistration> FindByProgId(std::string_view progId);
std::vector<ClassRegistration> AllClasses();
std::vector<CategoryEntry> AllCategories();

// The standard component categories manager, answering from the store.
ComPtr<IClassFactory> MakeCategoryManagerFactory();

}  // namespace class_registry
