// The plug-in's COM objects do not count references: the client's AddRef
// and Release have no effect, and QueryInterface offers nothing. The module
// owns every object (see module_objects.h).
#pragma once

#include <windows.h>

template <class Interface>
class UncountedInterface : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 0; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
};
