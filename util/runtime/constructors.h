#pragma once
// Static constructors for our own entry points (runtime/*_entry.cpp).
#include <cstddef>

namespace tovra_runtime {

// The linker's list of constructors: a count or -1, the functions, then 0.
extern "C" void (*__CTOR_LIST__[])();

// In reverse, as libgcc's __do_global_ctors runs them.
inline void RunConstructors() {
  size_t n = 0;
  while (__CTOR_LIST__[n + 1] != nullptr) ++n;
  for (size_t i = n; i >= 1; --i) __CTOR_LIST__[i]();
}

}  // namespace tovra_runtime
