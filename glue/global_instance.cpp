#include "glue/global_instance.h"

trv_global_instance::trv_global_instance()
    : host_name_table(trv_make_table<trv_name_map<uint64_t>>()),
      namespace_registrations(trv_make_table<trv_name_map<std::vector<trv_populate_callback>>>()),
      object_factories(
          std::make_shared<trv_object_factory_table>(trv_make_table<trv_object_factory_table>())),
      object_metadata(
          std::make_shared<trv_object_metadata_table>(trv_make_table<trv_object_metadata_table>())),
      thread_local_provider(&trv_default_thread_local) {}

namespace trv_glue_detail {

std::atomic<trv_global_instance*> instance{nullptr};

trv_global_instance* build_instance() {
  // A function-local static: one thread builds, concurrent callers wait, and a build that
  // throws leaves the guard open for the next caller.
  static trv_global_instance* const built = [] {
    auto* p = new trv_global_instance();
    instance.store(p, std::memory_order_release);
    return p;
  }();
  return built;
}

}  // namespace trv_glue_detail
