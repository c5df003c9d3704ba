// CFile64Ex.h: the cached reader of the damaged source file.
//
// Reads are served from two buffers of a fixed size; the disk is read in sector-aligned
// pieces so that a piece that cannot be read comes back as zeros instead of failing the
// read. A forward scan keeps the window it is in and the next one, so reads that straddle
// two windows, and re-reads of overlapping windows, are memory copies.
#ifndef KRV_ENGINE_FILE_CFILE64EX_H
#define KRV_ENGINE_FILE_CFILE64EX_H

#include "engine/file/CFile64.h"

#include <vector>

namespace krv {

class CFile64Ex : public CFile64 {
public:
    static constexpr uint32_t kDefaultBufferSize = 65536;
    static constexpr uint32_t kFallbackSectorSize = 512;

    // bufferSize 0 means kDefaultBufferSize.
    explicit CFile64Ex(uint32_t bufferSize = 0);
    ~CFile64Ex() override;

    [[nodiscard]] bool Open(const std::string& path, uint32_t openMode, CFileException* error = nullptr) override;
    uint64_t GetPosition() const override;
    uint64_t Seek(int64_t offset, uint32_t origin) override;
    void SetLength(uint64_t length) override;
    // Never throws for unreadable data: failing sectors come back as zeros.
    size_t Read(void* buffer, size_t count) override;
    // Reads from `offset` straight into the buffer, past the windows and leaving them as
    // they are, with the same zeros for failing sectors; the position ends just past what
    // was delivered. For small reads far apart, where each refill would bring in a window
    // of bytes that nobody asks for.
    size_t ReadAtUncached(uint64_t offset, void* buffer, size_t count);
    void Write(const void* buffer, size_t count) override;
    std::unique_ptr<CFile64> Duplicate() const override;          // throws CNotSupportedException
    void LockRange(uint64_t position, uint64_t count) override;   // throws CNotSupportedException
    void UnlockRange(uint64_t position, uint64_t count) override; // throws CNotSupportedException
    void Abort() override;
    void Flush() override;
    void Close() override;

    // True when the last Read delivered fewer bytes than asked.
    bool IsEndOfFile() const { return m_endOfFile; }
    uint32_t SectorSize() const { return m_sectorSize; }
    uint32_t BufferSize() const { return m_bufferSize; }

protected:
    // Bytes per sector of the device that holds the open file; 0 when unknown. A test
    // subclass overrides it to read with a chosen sector size.
    virtual uint32_t QuerySectorSize() const;

private:
    struct Window {
        uint8_t* memory = nullptr;
        uint32_t capacity = 0;
        uint64_t start = 0;
        uint32_t valid = 0; // 0: empty
        bool Holds(uint64_t position) const;
        bool Usable() const { return memory != nullptr && capacity != 0 && valid != 0; }
    };

    size_t RawRead(uint64_t offset, uint8_t* destination, size_t count);
    size_t ReadPiece(uint64_t offset, uint8_t* destination, size_t count, bool& stop);
    Window& ChooseRefill();
    void Refill(Window& window);
    void ForgetWindows();
    void MovePosition(uint64_t position);

    bool m_endOfFile = false;
    uint32_t m_bufferSize;
    std::vector<uint8_t> m_memory;
    Window m_a;
    Window m_b;
    uint64_t m_position = 0;
    uint32_t m_sectorSize = kFallbackSectorSize;
};

} // namespace krv

#endif
