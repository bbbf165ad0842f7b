// Symbol export for the shared platform library that the host and the module both link.
#pragma once

#if defined(_WIN32)
#  if defined(QUILLMERE_PLATFORM_BUILD)
#    define PLATFORM_API __declspec(dllexport)
#  else
#    define PLATFORM_API __declspec(dllimport)
#  endif
#else
#  define PLATFORM_API __attribute__((visibility("default")))
#endif
