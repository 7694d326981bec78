// Read-only views of a stream's data files mapped into memory, and copies out of them that
// survive the file being cut short while they run.
//
// A view read copies the points it takes straight out of the page cache this way, instead of
// having the kernel copy every record of an item into a buffer first: at a step of 2 that
// kernel copy alone moved twice the bytes delivered.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

class CMappedFile {
 public:
  CMappedFile() = default;
  ~CMappedFile();
  CMappedFile(const CMappedFile&) = delete;
  CMappedFile& operator=(const CMappedFile&) = delete;

  // Maps the first `size` bytes of the open file; 1 when mapped.
  int Map(std::FILE* file, int64_t size);
  void Unmap();
  bool IsMapped() const { return m_Data != nullptr; }
  // The bytes [position, position + bytes) when they lie within the mapping, else null (the
  // file is not mapped, or it grew since it was mapped).
  const char* Bytes(int64_t position, int64_t bytes) const;

 private:
  void* m_Data = nullptr;
  int64_t m_Size = 0;
};

// The size of an open file now; 0 when it cannot be told.
int64_t OpenFileSize(std::FILE* file);

// Runs `copy`, which reads mapped bytes. 0 when a page it read was gone because the file was
// cut short after it was mapped (another program rewrote the stream): the copy stops there
// instead of the process being killed by SIGBUS.
int CopyFromMapping(const std::function<void()>& copy);
