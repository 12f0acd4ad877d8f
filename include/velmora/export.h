#ifndef VELMORA_EXPORT_H
#define VELMORA_EXPORT_H
/* Symbol visibility. The library is built with hidden symbols: only what carries VELMORA_API
 * (the classes, functions and variables of the public headers, their explicit template
 * instances, and the flat C interface of the .NET layer) is exported, so a program that links
 * its own copies of the library's dependencies never binds to ours. A class exported this way
 * also exports its typeinfo and vtable, which a `catch` or `dynamic_cast` in the program needs.
 * VELMORA_LOCAL keeps a class nested in a public one (its `Impl`) out of the exports. */

#if defined(__GNUC__) || defined(__clang__)
#define VELMORA_API __attribute__((visibility("default")))
#define VELMORA_LOCAL __attribute__((visibility("hidden")))
#else
#define VELMORA_API
#define VELMORA_LOCAL
#endif

#endif /* VELMORA_EXPORT_H */
