#include "ModuleState.hpp"

namespace Quillmere {

// Constructed ahead of the objects of default priority, among them the module's load hook.
#if defined(__GNUC__)
__attribute__((init_priority(200)))
#endif
ModuleState TheModule;

// The parts that the lower layers reach by their own names.
HostBinding& Binding = TheModule.binding;

}  // namespace Quillmere
