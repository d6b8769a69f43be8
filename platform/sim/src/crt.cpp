// The runtime's file stream and access test on the simulated disks: a real FILE* whose reads and
// writes go to a simulated file, with the runtime's text-mode line-end translation.
#include "fs_store.h"

#include "platform/os/crt.h"

#include <cstring>

namespace {

struct SimStream {
    std::string path;
    size_t position = 0; // in the stored bytes
    bool text = true;
    bool append = false;
};

simfs::Node* Target(const SimStream* stream) {
    return simfs::Find(stream->path.c_str());
}

ssize_t ReadStream(void* cookie, char* buffer, size_t size) {
    simcore::Guard guard(simcore::MachineLock());
    SimStream* stream = static_cast<SimStream*>(cookie);
    simfs::Node* node = Target(stream);
    if (!node)
        return -1;
    const std::string& bytes = node->content;
    size_t out = 0;
    while (out < size && stream->position < bytes.size()) {
        char c = bytes[stream->position];
        // Text mode drops the carriage return of a CR LF pair.
        if (stream->text && c == '\r' && stream->position + 1 < bytes.size() &&
            bytes[stream->position + 1] == '\n') {
            ++stream->position;
            continue;
        }
        buffer[out++] = c;
        ++stream->position;
    }
    return static_cast<ssize_t>(out);
}

ssize_t WriteStream(void* cookie, const char* buffer, size_t size) {
    simcore::Guard guard(simcore::MachineLock());
    SimStream* stream = static_cast<SimStream*>(cookie);
    simfs::Node* node = Target(stream);
    if (!node || node->locked)
        return -1;
    std::string bytes;
    bytes.reserve(size + size / 8);
    for (size_t i = 0; i < size; ++i) {
        if (stream->text && buffer[i] == '\n')
            bytes += '\r';
        bytes += buffer[i];
    }
    if (stream->append)
        stream->position = node->content.size();
    if (stream->position > node->content.size())
        node->content.resize(stream->position);
    node->content.replace(stream->position, bytes.size(), bytes);
    stream->position += bytes.size();
    return static_cast<ssize_t>(size);
}

int SeekStream(void* cookie, off64_t* offset, int whence) {
    simcore::Guard guard(simcore::MachineLock());
    SimStream* stream = static_cast<SimStream*>(cookie);
    simfs::Node* node = Target(stream);
    if (!node)
        return -1;
    off64_t base = whence == SEEK_SET ? 0
                   : whence == SEEK_CUR ? static_cast<off64_t>(stream->position)
                                        : static_cast<off64_t>(node->content.size());
    off64_t target = base + *offset;
    if (target < 0)
        return -1;
    stream->position = static_cast<size_t>(target);
    *offset = target;
    return 0;
}

int CloseStream(void* cookie) {
    delete static_cast<SimStream*>(cookie);
    return 0;
}

} // namespace

FILE* CrtOpen(const char* path, const char* mode) {
    if (!path || !mode || !*mode)
        return nullptr;
    simcore::Guard guard(simcore::MachineLock());
    DWORD error = 0;
    if (simcore::Faulted("fopen", &error) || simfs::TooLong(path)) {
        SetLastError(error ? error : ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    const char kind = mode[0];
    const bool update = strchr(mode, '+') != nullptr;
    simfs::Node* node = simfs::Find(path, &error);
    if (node && node->IsFolder()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (kind == 'r') {
        if (!node) {
            SetLastError(error);
            return nullptr;
        }
        if (update && (node->locked || (node->attributes & FILE_ATTRIBUTE_READONLY))) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
    } else if (kind == 'w' || kind == 'a') {
        if (node && (node->locked || (node->attributes & FILE_ATTRIBUTE_READONLY))) {
            SetLastError(node->locked ? ERROR_SHARING_VIOLATION : ERROR_ACCESS_DENIED);
            return nullptr;
        }
        if (!node) {
            node = simfs::CreateFileNode(path, &error);
            if (!node) {
                SetLastError(error);
                return nullptr;
            }
        }
        if (kind == 'w')
            node->content.clear();
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* stream = new SimStream;
    stream->path = simfs::PathOf(node);
    stream->text = strchr(mode, 'b') == nullptr;
    stream->append = kind == 'a';
    cookie_io_functions_t io = {ReadStream, WriteStream, SeekStream, CloseStream};
    const char* hostMode = kind == 'r' ? (update ? "r+" : "r") : (update ? "a+" : "w");
    if (kind == 'w' && update)
        hostMode = "w+";
    FILE* file = fopencookie(stream, hostMode, io);
    if (!file) {
        delete stream;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return file;
}

int CrtAccess(const char* path, int mode) {
    simcore::Guard guard(simcore::MachineLock());
    DWORD error = 0;
    if (!path || simcore::Faulted("_access", &error))
        return -1;
    simfs::Node* node = simfs::Find(path);
    if (!node)
        return -1;
    (void)mode; // every existing file is readable on this machine
    return 0;
}
