#include <gtest/gtest.h>

#include "objects/namespace.h"
#include "values/payloads.h"

namespace {

trvvar_shared nothing(trv_vm_context&, std::vector<trvvar_shared>&) { return {}; }

trv_function_def* definition_of(const trv_namespace& ns, std::string_view name) {
  return ns.functions.at(name)->payload.ext_function_payload->definition.get();
}

TEST(Namespace, LaterFunctionUnderAnExistingNameWinsAndBothStayOwned) {
  trvptr_weak<trv_function_def> outliving;
  {
    trv_namespace ns;
    trv_function_def* first = add_function(ns, "f", nothing, 0, 2, "first");
    trv_function_def* second = add_function(ns, "f", nothing, 0, 999, "second");
    ASSERT_EQ(ns.function_definitions.size(), 2u);
    EXPECT_EQ(definition_of(ns, "f"), second);
    EXPECT_EQ(first->max_params, 2u);
    EXPECT_EQ(second->native_marker, 1u);
    EXPECT_EQ(second->min_params, 0u);
    EXPECT_EQ(ns.functions.at("f")->type, TRVVAR_EXT_FUNCTION);

    // Pointer traffic never destroys an owned definition; the namespace takes it along.
    outliving = ns.functions.at("f")->payload.ext_function_payload->definition;
    trvptr_strong<trv_function_def>(outliving.lock()).reset();  // a call holds and drops it
    ASSERT_NE(outliving.get(), nullptr);
    EXPECT_EQ(outliving.get()->name, "f");
  }
  EXPECT_EQ(outliving.get(), nullptr);
  EXPECT_FALSE(outliving.lock());
}

}  // namespace
