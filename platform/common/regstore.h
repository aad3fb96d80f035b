// Between the shared part of platform/registry.h (platform/common/registry.cpp)
// and each system's registry unit, which keeps the values.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace regstore {

// Copies the type and bytes of the value of the program's key in hive h
// out; false when it is missing. A string's bytes come without a
// terminating zero unless it was stored with one.
bool GetValue(Hive h, const std::string& name, std::uint32_t* type, std::string* data);

// Sets the value in the program's key; false when it could not be.
bool StoreValue(Hive h, const std::string& name, std::uint32_t type, std::string data);

}  // namespace regstore
