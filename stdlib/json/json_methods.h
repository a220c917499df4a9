#pragma once

class trv_namespace;

// The "std" namespace's constructor function "json" (and with it the registration of std.json
// and its methods).
void populate_std_json_namespace(trv_namespace& ns);
