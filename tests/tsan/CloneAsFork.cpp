// Linked into every program of a thread sanitizer build (see the top-level
// CMakeLists.txt).
//
// Qt 6.4 starts a QProcess's program with clone(CLONE_VM | CLONE_VFORK): the
// child borrows the parent's memory until it runs exec. The sanitizer's clone
// wrapper takes every clone for a fork and, in the child, does its
// after-fork bookkeeping: in a process with threads, it makes the calling
// thread ignore every lock and memory access from then on, and it forgets
// the other threads. In a child that shares the memory, that thread state is
// the parent's. After the first program a test starts, the parent's main
// thread looks as if it held no lock at all, and correct code (a flag set
// under its mutex) is reported as a race.
//
// This clone, found before the sanitizer's, turns such a call into a plain
// fork-like clone (the child gets a copy of the memory and its own
// bookkeeping), which QProcess handles as well: it learns whether the
// program started through a pipe, not through the shared memory. Threads
// (CLONE_THREAD, made by pthread_create through clone3) are left alone.
#include <dlfcn.h>
#include <sched.h>
#include <sys/types.h>

#include <cstdarg>

extern "C" int clone(int (*fn)(void *), void *stack, int flags, void *arg, ...)
{
    va_list more;
    va_start(more, arg);
    auto *parentTid = va_arg(more, pid_t *);
    auto *tls = va_arg(more, void *);
    auto *childTid = va_arg(more, pid_t *);
    va_end(more);

    using Clone = int (*)(int (*)(void *), void *, int, void *, pid_t *, void *, pid_t *);
    static const auto next = reinterpret_cast<Clone>(dlsym(RTLD_NEXT, "clone"));
    constexpr int kBorrowedMemory = CLONE_VM | CLONE_VFORK;
    if ((flags & kBorrowedMemory) == kBorrowedMemory && !(flags & CLONE_THREAD))
        flags &= ~kBorrowedMemory;
    return next(fn, stack, flags, arg, parentTid, tls, childTid);
}
