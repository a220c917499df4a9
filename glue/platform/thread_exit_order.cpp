// Thread-local destructors on Windows (mingw-w64 g++, POSIX threads).
//
// There, `thread_local` variables live in emulated TLS, which frees a thread's storage from a
// thread-specific key's destructor, and the C++ runtime runs the variables' destructors from a
// key of its own. Keys are destroyed in the order they were created, and emulated TLS creates
// its key on the first thread_local access: so by default every destructor ran on storage
// already freed. Registering one empty thread-exit destructor before anything else in this
// binary creates the runtime's key first, and storage is freed only after the destructors ran.

#if defined(_WIN32) && defined(__GNUC__)

extern "C" int __cxa_thread_atexit(void (*destructor)(void*), void* object, void* dso_handle);

namespace {

void nothing(void*) {}

// Priority 101 runs before every other constructor of this binary.
__attribute__((constructor(101))) void order_thread_exit() {
  __cxa_thread_atexit(nothing, nullptr, nullptr);
}

}  // namespace

#endif
