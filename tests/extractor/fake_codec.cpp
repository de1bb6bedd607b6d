// A library that 7ZG.EXE may find under the codec's name but that lacks the
// codec's exports: the front end must refuse it with a message.
#include <cstdint>

extern "C" __declspec(dllexport) uint32_t __cdecl TzApiVersion(void) {
  return 1;
}
