// Visibility of the platform library's interface. The platform layer is a
// shared library of its own so that the imager library and the application
// see the same stand-ins (windows, clipboard, in-process drivers).
#pragma once

#if defined(QV_BUILDING_PLATFORM)
#define QV_PLATFORM_API __attribute__((visibility("default")))
#else
#define QV_PLATFORM_API
#endif
