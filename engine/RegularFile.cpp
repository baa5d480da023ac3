// Opening and reading regular files only; see RegularFile.h.
#include "engine/RegularFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int openRegularFile(const char *path, std::string *error)
{
    std::string unwanted; // the reason is optional
    if (!error)
        error = &unwanted;
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = std::strerror(errno);
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        *error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file";
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool isRegularFile(const char *path, std::string *error)
{
    std::string unwanted; // the reason is optional
    if (!error)
        error = &unwanted;
    const int fd = openRegularFile(path, error);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool mayWriteRegularFile(const char *path, std::string *error)
{
    std::string unwanted; // the reason is optional
    if (!error)
        error = &unwanted;
    struct stat info;
    if (::stat(path, &info) != 0)
        return errno == ENOENT; // to be made; a missing folder fails the writer itself
    if (S_ISREG(info.st_mode))
        return true;
    *error = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file";
    return false;
}

bool readRegularFile(const char *path, std::size_t maxBytes, std::vector<std::uint8_t> *bytes,
                     std::string *error)
{
    std::string unwanted;
    if (!error)
        error = &unwanted;
    const int fd = openRegularFile(path, error);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok) {
        *error = std::strerror(errno);
    } else if (std::uintmax_t(info.st_size) > maxBytes) {
        *error = "the file is too large";
        ok = false;
    }
    if (ok) {
        // The size is a hint: a file that grows or shrinks while it is read
        // gives what was there, never more than maxBytes.
        bytes->assign(std::size_t(info.st_size), 0);
        std::size_t done = 0;
        for (;;) {
            ssize_t n = 0;
            if (done < bytes->size()) {
                n = ::read(fd, bytes->data() + done, bytes->size() - done);
            } else if (done < maxBytes) {
                // Read on past the size only if the file grew; a small probe
                // first, so a file read whole is never copied to a larger block.
                std::array<std::uint8_t, 4096> more;
                n = ::read(fd, more.data(), std::min(more.size(), maxBytes - done));
                if (n > 0)
                    bytes->insert(bytes->end(), more.data(), more.data() + n);
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                *error = std::strerror(errno);
                ok = false;
                break;
            }
            if (n == 0)
                break;
            done += std::size_t(n);
        }
        bytes->resize(done);
        if (ok)
            bytes->shrink_to_fit();
    }
    ::close(fd);
    return ok;
}
