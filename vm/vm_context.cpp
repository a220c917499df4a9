#include "vm/vm_context.h"

#include "objects/function_def.h"

trvobject_base* trv_context_native_object(trv_vm_context& context) { return context.native_object; }
