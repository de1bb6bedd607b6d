// The runtime of the shipped programs (the installer and the extractor pair),
// which are built without exceptions: the unwinder, winpthread and the
// demangler that exception support drags into a static MinGW link would be
// most of their size. What would throw ends the process instead, with exit
// code 8 (the extractor's "out of memory"; for the installer, like any
// nonzero code, a failed run): a failed allocation, or a container asked for
// more than it can hold. Requests with std::nothrow still answer nullptr, so
// the code can report those as values. A failed container bounds check
// (_GLIBCXX_ASSERTIONS) or a call of an empty std::function ends it with 1,
// the plain failure code, rather than an abort() box nobody would see.
#include <windows.h>

#include <cstddef>
#include <new>

namespace {

constexpr UINT kExitOutOfMemory = 8;
constexpr UINT kExitFailed = 1;

[[noreturn]] void OutOfMemory() {
  ExitProcess(kExitOutOfMemory);
  __builtin_unreachable();
}

[[noreturn]] void Failed() {
  ExitProcess(kExitFailed);
  __builtin_unreachable();
}

void *Allocate(std::size_t n) {
  return HeapAlloc(GetProcessHeap(), 0, n ? n : 1);
}

}  // namespace

void *operator new(std::size_t n) {
  if (void *p = Allocate(n)) return p;
  OutOfMemory();
}
void *operator new[](std::size_t n) {
  return operator new(n);
}
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
  return Allocate(n);
}
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept {
  return Allocate(n);
}
void operator delete(void *p) noexcept {
  if (p) HeapFree(GetProcessHeap(), 0, p);
}
void operator delete[](void *p) noexcept {
  operator delete(p);
}
void operator delete(void *p, std::size_t) noexcept {
  operator delete(p);
}
void operator delete[](void *p, std::size_t) noexcept {
  operator delete(p);
}

// The library's throw helpers, called by the containers' size checks.
namespace std {
void __throw_bad_alloc() {
  OutOfMemory();
}
void __throw_bad_array_new_length() {
  OutOfMemory();
}
void __throw_length_error(const char *) {
  OutOfMemory();
}
void __throw_logic_error(const char *) {
  OutOfMemory();
}
void __throw_out_of_range(const char *) {
  OutOfMemory();
}
void __throw_out_of_range_fmt(const char *, ...) {
  OutOfMemory();
}
void __throw_bad_function_call() {
  Failed();
}
void __glibcxx_assert_fail(const char *, int, const char *, const char *) noexcept {
  Failed();
}
}  // namespace std
