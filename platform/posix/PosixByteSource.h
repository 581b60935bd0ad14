#pragma once
// A file read by offset through one open descriptor (pread), so that readers take only
// the bytes they ask for and never read a file whole. Internal to platform/posix.

#include <cstdint>

#include "platform/shared/XpExecutableImage.h"

class XpPosixFdByteSource final : public XpByteSource {
public:
    XpPosixFdByteSource(int fd, uint64_t size) : m_fd(fd), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) const override;

private:
    int m_fd;
    uint64_t m_size;
};
