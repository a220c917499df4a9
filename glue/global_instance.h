#pragma once

// The module's one global instance: everything the module offers a host (namespace populate
// callbacks, class factories and metadata) and the replaceable way to per-thread state. Its
// layout is shared with the host.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "glue/hashing.h"
#include "glue/object_ptr.h"
#include "glue/thread_local.h"

class trv_namespace;
class trvobject_base;
struct trvobject_metadata;

using trv_populate_callback = std::function<void(trv_namespace&)>;
using trv_object_factory = std::function<trvptr_strong<trvobject_base>()>;
using trv_object_factory_table = trv_name_map<trv_object_factory>;
using trv_object_metadata_table = trv_name_map<std::shared_ptr<trvobject_metadata>>;

struct trv_global_instance {
  trv_name_map<uint64_t> host_name_table;  // the host's; module code never touches it
  trv_name_map<std::vector<trv_populate_callback>> namespace_registrations;
  std::shared_ptr<trv_object_factory_table> object_factories;
  std::shared_ptr<trv_object_metadata_table> object_metadata;
  std::function<trv_thread_local&()> thread_local_provider;
  std::vector<trvptr_strong<trvobject_base>> host_object_list;  // the host's

  trv_global_instance();
};

namespace trv_glue_detail {
extern std::atomic<trv_global_instance*> instance;
trv_global_instance* build_instance();
}  // namespace trv_glue_detail

// Built once, under a thread-safe guard, on first use; never destroyed.
inline trv_global_instance* trv_get_global_instance() {
  trv_global_instance* p = trv_glue_detail::instance.load(std::memory_order_acquire);
  return p != nullptr ? p : trv_glue_detail::build_instance();
}
