// The C library calls a V4L2 program makes, answered by the test device for the nodes in the
// folder FAKEV4L2_ROOT names and passed on to the C library for every other file.
#include "FakeStream.h"
#include "Libc.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// A sanitizer's runtime calls some of these functions while it starts, before it can take the
// guard of a static variable or allocate: until a node is open, they touch no guarded static and
// allocate nothing. The C library's functions are looked up once, into constant-initialized
// atomics.
template <class F> F Next(std::atomic<F>& cache, const char* name) {
    F next = cache.load(std::memory_order_relaxed);
    if (!next)
        cache.store(next = reinterpret_cast<F>(dlsym(RTLD_NEXT, name)), std::memory_order_relaxed);
    return next;
}

using OpenAtFunction = int (*)(int, const char*, int, ...);
std::atomic<OpenAtFunction> g_openat{nullptr};

// The open files of test device nodes. Never destroyed: files are still closed after exit.
struct Streams {
    std::mutex mutex;
    std::unordered_map<int, std::shared_ptr<CFakeStream>> byFd;
};
std::atomic<size_t> g_open{0}; // how many files of nodes are open

Streams& Table() {
    static Streams* streams = new Streams;
    return *streams;
}

std::shared_ptr<CFakeStream> Find(int fd) {
    if (fd < 0 || g_open == 0)
        return nullptr;
    std::lock_guard lock(Table().mutex);
    const auto it = Table().byFd.find(fd);
    return it == Table().byFd.end() ? nullptr : it->second;
}

// Whether `path` leads (after links) to a node of the test device; `node` is then its path.
bool IsNode(int dirfd, const char* path, char (&node)[PATH_MAX]) {
    const char* root = std::getenv("FAKEV4L2_ROOT");
    char full[PATH_MAX], folder[PATH_MAX];
    if (!root || !*root || !path)
        return false;
    if (path[0] != '/' && dirfd != AT_FDCWD)
        std::snprintf(full, sizeof full, "/proc/self/fd/%d/%s", dirfd, path);
    else
        std::snprintf(full, sizeof full, "%s", path);
    if (!realpath(full, node) || !realpath(root, folder))
        return false;
    const size_t length = std::strlen(folder);
    const char* number = node + length + 6;
    return std::strncmp(node, folder, length) == 0 &&
           std::strncmp(node + length, "/video", 6) == 0 && *number &&
           std::strspn(number, "0123456789") == std::strlen(number);
}

int OpenAt(int dirfd, const char* path, int flags, mode_t mode) {
    const OpenAtFunction next = Next(g_openat, "openat");
    // Only a device's opens: writing the node file or opening it as a folder or a path stays as is.
    const bool device =
        (flags & O_ACCMODE) != O_WRONLY && !(flags & (O_CREAT | O_TRUNC | O_DIRECTORY | O_PATH));
    char node[PATH_MAX];
    if (!device || !IsNode(dirfd, path, node))
        return next(dirfd, path, flags, mode);
    // The program's file is the node file itself, read-only.
    const int fd = next(AT_FDCWD, node, O_RDONLY | (flags & (O_NONBLOCK | O_CLOEXEC)));
    if (fd >= 0) {
        auto stream = std::make_shared<CFakeStream>(node, fd);
        std::lock_guard lock(Table().mutex);
        Table().byFd[fd] = std::move(stream);
        g_open = Table().byFd.size();
    }
    return fd;
}

mode_t ModeArgument(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

// poll() over files of which at least one is a test device node: the nodes' events come from
// their streams, the others' from the C library, waiting in short steps until either shows one.
int Poll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask) {
    static std::atomic<int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*)> cache{nullptr};
    const auto next = Next(cache, "ppoll");
    if (g_open == 0)
        return next(fds, count, timeout, mask);
    std::vector<std::shared_ptr<CFakeStream>> streams(count);
    bool any = false;
    for (nfds_t i = 0; i < count; ++i)
        any |= bool(streams[i] = Find(fds[i].fd));
    if (!any)
        return next(fds, count, timeout, mask);
    constexpr int64_t kSecond = 1'000'000'000;
    const auto now = [] {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return t.tv_sec * kSecond + t.tv_nsec;
    };
    const int64_t deadline =
        timeout ? now() + timeout->tv_sec * kSecond + timeout->tv_nsec : INT64_MAX;
    std::vector<pollfd> others(fds, fds + count);
    for (;;) {
        int ready = 0;
        int64_t wake = std::min(deadline, now() + kSecond / 50);
        for (nfds_t i = 0; i < count; ++i)
            if (streams[i]) {
                others[i].fd = -1; // the C library skips it
                fds[i].revents = streams[i]->Poll(fds[i].events, wake);
                ready += fds[i].revents != 0;
            }
        const int64_t wait = ready ? 0 : std::max(int64_t(0), wake - now());
        const timespec step{time_t(wait / kSecond), long(wait % kSecond)};
        const int result = next(others.data(), count, &step, mask);
        if (result < 0)
            return result;
        for (nfds_t i = 0; i < count; ++i)
            if (!streams[i])
                fds[i].revents = others[i].revents;
        if (ready + result > 0 || now() >= deadline)
            return ready + result;
    }
}

} // namespace

namespace libc {

int Open(const char* path, int flags, mode_t mode) {
    const OpenAtFunction next = Next(g_openat, "openat");
    return next(AT_FDCWD, path, flags, mode);
}

int Close(int fd) {
    static std::atomic<int (*)(int)> cache{nullptr};
    const auto next = Next(cache, "close");
    return next(fd);
}

void* Mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    static std::atomic<void* (*)(void*, size_t, int, int, int, off_t)> cache{nullptr};
    const auto next = Next(cache, "mmap");
    return next(addr, length, prot, flags, fd, offset);
}

} // namespace libc

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return OpenAt(AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return OpenAt(AT_FDCWD, path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return OpenAt(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return OpenAt(dirfd, path, flags, mode);
}

// The checked forms a program built with _FORTIFY_SOURCE calls.
int __open_2(const char* path, int flags) {
    return OpenAt(AT_FDCWD, path, flags, 0);
}
int __open64_2(const char* path, int flags) {
    return OpenAt(AT_FDCWD, path, flags, 0);
}
int __openat_2(int dirfd, const char* path, int flags) {
    return OpenAt(dirfd, path, flags, 0);
}
int __openat64_2(int dirfd, const char* path, int flags) {
    return OpenAt(dirfd, path, flags, 0);
}

int close(int fd) {
    std::shared_ptr<CFakeStream> stream = Find(fd);
    if (stream) {
        std::lock_guard lock(Table().mutex);
        Table().byFd.erase(fd);
        g_open = Table().byFd.size();
    }
    stream.reset(); // stops the stream and frees its buffers
    return libc::Close(fd);
}

int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (const auto stream = Find(fd)) {
        // The kernel takes the request as 32 bits, whatever the caller's type sign-extended.
        const int error = stream->Ioctl(static_cast<unsigned int>(request), arg);
        if (error)
            errno = error;
        return error ? -1 : 0;
    }
    static std::atomic<int (*)(int, unsigned long, ...)> cache{nullptr};
    const auto next = Next(cache, "ioctl");
    return next(fd, request, arg);
}

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) noexcept {
    if (const auto stream = Find(fd))
        return stream->Map(addr, length, prot, flags, offset);
    return libc::Mmap(addr, length, prot, flags, fd, offset);
}

void* mmap64(void* addr, size_t length, int prot, int flags, int fd, off_t offset) noexcept {
    return mmap(addr, length, prot, flags, fd, offset);
}

int poll(pollfd* fds, nfds_t count, int timeout) {
    const timespec t{timeout / 1000, timeout % 1000 * 1'000'000L};
    return Poll(fds, count, timeout < 0 ? nullptr : &t, nullptr);
}

int ppoll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask) {
    return Poll(fds, count, timeout, mask);
}

int __poll_chk(pollfd* fds, nfds_t count, int timeout, size_t) {
    return poll(fds, count, timeout);
}

int select(int count, fd_set* readable, fd_set* writable, fd_set* failed, timeval* timeout) {
    static std::atomic<int (*)(int, fd_set*, fd_set*, fd_set*, timeval*)> cache{nullptr};
    const auto next = Next(cache, "select");
    if (g_open == 0)
        return next(count, readable, writable, failed, timeout);
    std::vector<pollfd> fds;
    bool any = false;
    for (int fd = 0; fd < count; ++fd) {
        const short events = short((readable && FD_ISSET(fd, readable) ? POLLIN : 0) |
                                   (writable && FD_ISSET(fd, writable) ? POLLOUT : 0) |
                                   (failed && FD_ISSET(fd, failed) ? POLLPRI : 0));
        if (events) {
            fds.push_back({fd, events, 0});
            any |= bool(Find(fd));
        }
    }
    if (!any)
        return next(count, readable, writable, failed, timeout);
    const timespec t = timeout ? timespec{timeout->tv_sec, timeout->tv_usec * 1000L} : timespec{};
    const int result = Poll(fds.data(), fds.size(), timeout ? &t : nullptr, nullptr);
    if (result < 0)
        return result;
    int bits = 0;
    for (fd_set* set : {readable, writable, failed})
        if (set)
            FD_ZERO(set);
    for (const pollfd& p : fds) { // as the kernel maps poll events onto the three sets
        if (p.events & POLLIN && p.revents & (POLLIN | POLLRDNORM | POLLHUP | POLLERR))
            FD_SET(p.fd, readable), ++bits;
        if (p.events & POLLOUT && p.revents & (POLLOUT | POLLERR))
            FD_SET(p.fd, writable), ++bits;
        if (p.events & POLLPRI && p.revents & POLLPRI)
            FD_SET(p.fd, failed), ++bits;
    }
    return bits;
}

} // extern "C"
