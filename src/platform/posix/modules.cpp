// Dynamic loading of helper modules (the USB device enumerator) with dlopen.
#include <dlfcn.h>

#include <cstdlib>

#include "platform/platform.h"
#include "platform/posix/seam.h"

namespace platform {

ModuleHandle LoadModule(const char* fileName, const char* pathVariable) {
  if (posix::CheckInjected(SysCall::LoadModule) != 0) return nullptr;
  const char* path = pathVariable ? std::getenv(pathVariable) : nullptr;
  if (path == nullptr || *path == '\0') path = fileName;
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* ModuleFunction(ModuleHandle module, const char* name) {
  return module ? dlsym(module, name) : nullptr;
}

void FreeModule(ModuleHandle module) {
  if (module) dlclose(module);
}

}  // namespace platform
