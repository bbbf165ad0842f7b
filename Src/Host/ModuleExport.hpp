// Marks the module file's only two exported functions; everything else of the module is hidden.
#pragma once

#if defined(_WIN32)
#  define QM_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#  define QM_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif
