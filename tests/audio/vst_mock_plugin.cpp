// vst_mock_plugin.cpp - the mock plug-in as a shared library. Built three ways: with
// the entry point "VSTPluginMain", with "main" only, and with neither.
#include "vst_mock_impl.h"

#define VST_MOCK_EXPORT extern "C" __attribute__((visibility("default")))

VST_MOCK_EXPORT VstMockState* vst_mock_state(void)
{
    return &g_vst_mock;
}

VST_MOCK_EXPORT void vst_mock_state_reset(void)
{
    vst_mock_reset();
}

#if defined(VST_MOCK_ENTRY_PLUGIN_MAIN)
VST_MOCK_EXPORT AEffect* VSTPluginMain(VstHostCallback host)
{
    return vst_mock_entry(host);
}
#elif defined(VST_MOCK_ENTRY_MAIN)
// Exported under the name "main", as many Linux plug-ins do.
VST_MOCK_EXPORT AEffect* vst_mock_main(VstHostCallback host) __asm__("main");
AEffect* vst_mock_main(VstHostCallback host)
{
    return vst_mock_entry(host);
}
#endif
