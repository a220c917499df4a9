#pragma once

// The one place that knows how a symbol leaves the shared library.
#if defined(_WIN32)
#define TRV_EXPORT extern "C" __declspec(dllexport)
#else
#define TRV_EXPORT extern "C" __attribute__((visibility("default")))
#endif
