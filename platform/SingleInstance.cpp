// The single-instance channel: a Unix stream socket per user. A request travels as the verb and
// each path in UTF-8, every one ended by a NUL byte; the writer then shuts its side down and the
// listener answers "ok\n" once it has handed the request on.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/Platform.h"

namespace platform {

namespace {

constexpr int kReadTimeoutMs = 1000;  // a client that connects and says nothing is dropped

// The folder for the socket: $XDG_RUNTIME_DIR (private to the user by definition), else a folder
// of our own under the temporary folder, created 0700 and checked to be ours.
std::string SocketFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        struct stat st {};
        if (stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()) return runtime;
    }
    std::string folder = ToUtf8(TempFolder()) + "tonewright-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return {};
    chmod(folder.c_str(), 0700);
    return folder;
}

bool MakeAddress(const std::wstring& key, sockaddr_un* addr) {
    std::string path = ToUtf8(SingleInstancePath(key));
    if (path.empty() || path.size() >= sizeof(addr->sun_path)) return false;
    std::memset(addr, 0, sizeof(*addr));
    addr->sun_family = AF_UNIX;
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool WaitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = poll(&p, 1, timeoutMs);
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Connects to the socket of key; -1 when nobody listens there. *refused tells a stale socket
// (the file exists, nobody accepts) from other failures.
int ConnectTo(const std::wstring& key, bool* refused) {
    if (refused) *refused = false;
    sockaddr_un addr{};
    if (!MakeAddress(key, &addr)) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        if (refused) *refused = errno == ECONNREFUSED;
        close(fd);
        return -1;
    }
    return fd;
}

InstanceRequest ParseRequest(const std::string& bytes) {
    InstanceRequest request;
    size_t start = 0;
    bool first = true;
    while (start < bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos) end = bytes.size();
        std::string part = bytes.substr(start, end - start);
        if (first) {
            request.verb = part;
            first = false;
        } else if (!part.empty()) {
            request.paths.push_back(FromUtf8(part));
        }
        start = end + 1;
    }
    return request;
}

}  // namespace

std::wstring SingleInstancePath(const std::wstring& key) {
    std::string folder = SocketFolder();
    if (folder.empty()) return L"";
    if (folder.back() != '/') folder += '/';
    return FromUtf8(folder) + key + L".sock";
}

bool SendToRunningInstance(const std::wstring& key, const InstanceRequest& request, int timeoutMs) {
    int fd = ConnectTo(key, nullptr);
    if (fd < 0) return false;
    std::string bytes = request.verb;
    bytes.push_back('\0');
    for (const std::wstring& path : request.paths) {
        bytes += ToUtf8(path);
        bytes.push_back('\0');
    }
    bool ok = WriteAll(fd, bytes);
    shutdown(fd, SHUT_WR);
    std::string answer;
    while (ok && answer.size() < 3 && WaitFor(fd, POLLIN, timeoutMs)) {
        char buf[8];
        ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        answer.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return ok && answer.rfind("ok", 0) == 0;
}

struct SingleInstanceListener::Impl {
    int listenFd = -1;
    int stopPipe[2] = {-1, -1};
    std::string path;
    std::thread thread;
    std::atomic<bool> listening{false};
    std::function<void(const InstanceRequest&)> handler;

    void Serve() {
        for (;;) {
            pollfd fds[2] = {{listenFd, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
            int r = poll(fds, 2, -1);
            if (r < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            if (!(fds[0].revents & POLLIN)) continue;
            int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            std::string bytes;
            // One request is small; a bound keeps a misbehaving client from growing it.
            while (bytes.size() < (1u << 20) && WaitFor(client, POLLIN, kReadTimeoutMs)) {
                char buf[4096];
                ssize_t n = recv(client, buf, sizeof(buf), 0);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                bytes.append(buf, static_cast<size_t>(n));
            }
            InstanceRequest request = ParseRequest(bytes);
            if (!request.verb.empty()) {
                if (handler) handler(request);
                WriteAll(client, "ok\n");
            }
            close(client);
        }
    }
};

SingleInstanceListener::SingleInstanceListener() : m(std::make_unique<Impl>()) {}
SingleInstanceListener::~SingleInstanceListener() {
    Stop();
}

bool SingleInstanceListener::Start(const std::wstring& key,
                                   std::function<void(const InstanceRequest&)> handler) {
    if (m->listening) return true;
    sockaddr_un addr{};
    if (!MakeAddress(key, &addr)) return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        if (errno != EADDRINUSE) {
            close(fd);
            return false;
        }
        // The file is there: another instance, or one that ended without removing it.
        bool refused = false;
        int probe = ConnectTo(key, &refused);
        if (probe >= 0 || !refused) {
            if (probe >= 0) close(probe);
            close(fd);
            return false;
        }
        unlink(addr.sun_path);
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
            close(fd);
            return false;
        }
    }
    chmod(addr.sun_path, 0600);
    if (listen(fd, 8) != 0 || pipe2(m->stopPipe, O_CLOEXEC) != 0) {
        close(fd);
        unlink(addr.sun_path);
        return false;
    }
    m->listenFd = fd;
    m->path = addr.sun_path;
    m->handler = std::move(handler);
    m->listening = true;
    m->thread = std::thread([impl = m.get()] { impl->Serve(); });
    return true;
}

void SingleInstanceListener::Stop() {
    if (!m->listening) return;
    char byte = 1;
    ssize_t ignored = write(m->stopPipe[1], &byte, 1);
    (void)ignored;
    if (m->thread.joinable()) m->thread.join();
    close(m->listenFd);
    close(m->stopPipe[0]);
    close(m->stopPipe[1]);
    unlink(m->path.c_str());
    m->listenFd = -1;
    m->stopPipe[0] = m->stopPipe[1] = -1;
    m->listening = false;
}

bool SingleInstanceListener::IsListening() const {
    return m->listening;
}

}  // namespace platform
