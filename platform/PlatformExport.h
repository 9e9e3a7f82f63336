#pragma once
// Symbols of libolvplatform; everything else stays hidden.
#define PLATFORM_EXPORT __attribute__((visibility("default")))
