#pragma once

class trv_namespace;

// The module's own namespace: "testfn", which proves the module is loaded and callable.
void populate_opencv_namespace(trv_namespace& ns);
