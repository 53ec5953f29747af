#pragma once
#include <stdint.h>

// The program's version (also in the version resource) and the driver
// interface version it was built for.
constexpr uint32_t kProgramVersionMajor = 1;
constexpr uint32_t kProgramVersionMinor = 35;
constexpr uint32_t kProgramVersionBuild = 20;
constexpr uint32_t kInterfaceVersionMajor = 2;
constexpr uint32_t kInterfaceVersionMinor = 0;
