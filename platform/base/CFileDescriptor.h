// Owns one file descriptor and closes it when it goes.
#pragma once

namespace wys::base {

class CFileDescriptor {
public:
    CFileDescriptor() = default;
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    CFileDescriptor(CFileDescriptor&& other) noexcept;
    CFileDescriptor& operator=(CFileDescriptor&& other) noexcept;
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    // Closes without reporting: a written file whose data matters is closed
    // through Close() first.
    ~CFileDescriptor();

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    // Gives the descriptor up to the caller, who then closes it.
    int Release();
    // Closes the descriptor now: 0, or the errno value of close. A failed
    // close of a written file may mean that its data never reached the disk.
    // The descriptor is gone either way; 0 when there was none.
    int Close();

private:
    int m_fd = -1;
};

}  // namespace wys::base
