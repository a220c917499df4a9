#include "glue/namespace_registrar.h"

trv_namespace_registrar::trv_namespace_registrar(std::string_view name,
                                                 trv_populate_callback callback) {
  trv_get_global_instance()->namespace_registrations[name].push_back(std::move(callback));
}
