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
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

template <class F> F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The open files of test device nodes. Never destroyed: files are still closed after exit.
struct Streams {
    std::mutex mutex;
    std::unordered_map<int, std::shared_ptr<CFakeStream>> byFd;
    std::atomic<size_t> count{0};
};

Streams& Table() {
    static Streams* streams = new Streams;
    return *streams;
}

std::shared_ptr<CFakeStream> Find(int fd) {
    if (fd < 0 || Table().count == 0)
        return nullptr;
    std::lock_guard lock(Table().mutex);
    const auto it = Table().byFd.find(fd);
    return it == Table().byFd.end() ? nullptr : it->second;
}

// The node file `path` leads to (after links), or "" when it is no node of the test device.
std::string NodeOf(int dirfd, const char* path) {
    const char* root = std::getenv("FAKEV4L2_ROOT");
    if (!root || !*root || !path)
        return {};
    std::string full = path;
    if (path[0] != '/' && dirfd != AT_FDCWD)
        full = "/proc/self/fd/" + std::to_string(dirfd) + "/" + full;
    char node[PATH_MAX], folder[PATH_MAX];
    if (!realpath(full.c_str(), node) || !realpath(root, folder))
        return {};
    const std::string prefix = std::string(folder) + "/video";
    const std::string resolved = node;
    if (resolved.size() <= prefix.size() || resolved.compare(0, prefix.size(), prefix) != 0 ||
        resolved.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
        return {};
    return resolved;
}

int OpenAt(int dirfd, const char* path, int flags, mode_t mode) {
    static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
    // Only a device's opens: writing the node file or opening it as a folder or a path stays as is.
    const bool device =
        (flags & O_ACCMODE) != O_WRONLY && !(flags & (O_CREAT | O_TRUNC | O_DIRECTORY | O_PATH));
    const std::string node = device ? NodeOf(dirfd, path) : std::string();
    if (node.empty())
        return next(dirfd, path, flags, mode);
    // The program's file is the node file itself, read-only.
    const int fd = next(AT_FDCWD, node.c_str(), O_RDONLY | (flags & (O_NONBLOCK | O_CLOEXEC)));
    if (fd >= 0) {
        auto stream = std::make_shared<CFakeStream>(node, fd);
        std::lock_guard lock(Table().mutex);
        Table().byFd[fd] = std::move(stream);
        Table().count = Table().byFd.size();
    }
    return fd;
}

mode_t ModeArgument(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

// poll() over files of which at least one is a test device node: the nodes' events come from
// their streams, the others' from the C library, waiting in short steps until either shows one.
int Poll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask) {
    static const auto next =
        Next<int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*)>("ppoll");
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
    static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
    return next(AT_FDCWD, path, flags, mode);
}

int Close(int fd) {
    static const auto next = Next<int (*)(int)>("close");
    return next(fd);
}

void* Mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    static const auto next = Next<void* (*)(void*, size_t, int, int, int, off_t)>("mmap");
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
        Table().count = Table().byFd.size();
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
    static const auto next = Next<int (*)(int, unsigned long, ...)>("ioctl");
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
    static const auto next = Next<int (*)(int, fd_set*, fd_set*, fd_set*, timeval*)>("select");
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
