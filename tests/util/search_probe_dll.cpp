// A DLL no system has, for dll_search_probe to look for by name.
extern "C" __declspec(dllexport) int TovraSearchProbe() {
  return 1;
}
