#pragma once
#include "tovra_version.h"

// The version the installer carries: shown in the window and required of the
// installed service program's fixed file version, compared as whole strings.
inline constexpr char ProductVersion[] = TOVRA_PRODUCT_VERSION_STR;
