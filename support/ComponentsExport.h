#pragma once
// Symbols of libolvcomponents, the maker's outside components.
#define COMPONENTS_EXPORT __attribute__((visibility("default")))
