#pragma once

namespace trvhost {

// Registers the host's own copy of the standard classes (factories, metadata, member tables).
// An object either copy takes from a pool chunk carries the virtual table of the copy that
// built the chunk, so both copies must know every class before any script runs; the module
// registers its copy when its namespaces are populated.
void register_standard_classes();

}  // namespace trvhost
